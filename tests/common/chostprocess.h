#pragma once

#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One batchorder-host process on a temporary data directory, headless with the sample profile unless
// told otherwise, for end-to-end tests that drive it as an outside program would.
class CHostProcess
{
public:
    // How a host is started where the defaults do not fit.
    struct CStart
    {
        QStringList m_arguments;                                 // after the ones below
        QString m_strProgram;                                    // the build's host when empty
        bool m_bHeadless = true;                                 // --headless
        bool m_bSampleProfile = true;                            // --profile with the sample profile
        QString m_strDataDir = QStringLiteral("data");           // --data-dir; relative to the directory
        QString m_strInbox = QStringLiteral("inbox/orders.csv"); // where writeInstructions puts files
        QString m_strStdoutFile;                                 // collected as it comes when empty
        QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    };
    explicit CHostProcess(const CStart& start);

    explicit CHostProcess(const QStringList& extraArguments, const QString& strDataDir = QString(),
                          const QString& strStdoutFile = QString());
    ~CHostProcess();
    CHostProcess(const CHostProcess&) = delete;
    CHostProcess& operator=(const CHostProcess&) = delete;

    // Moves what the host wrote so far into the collected output (both channels).
    void drain();
    QString stdoutText()
    {
        drain();
        return m_strOut;
    }
    QString stderrText()
    {
        drain();
        return m_strErr;
    }
    // Until stdout (the console) or stderr (the log) holds the fragment; a failure shows both.
    ::testing::AssertionResult waitForOutput(const QString& strFragment)
    {
        return waitForText(strFragment, m_strOut);
    }
    ::testing::AssertionResult waitForLog(const QString& strFragment)
    {
        return waitForText(strFragment, m_strErr);
    }
    ::testing::AssertionResult waitForStart() { return waitForOutput(QStringLiteral(" [system] start!")); }
    // waitUntil that keeps reading the host's output meanwhile: a full pipe would block its logging.
    template <class Predicate>
    bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        return ::waitUntil(
            [&] {
                drain();
                return predicate();
            },
            timeout);
    }

    // Writes an instruction file as an outside program must: GBK, complete under a temporary name,
    // renamed into place once the previous file is gone from the path.
    bool writeInstructions(const QString& strText);

    // Sends one text over the local socket; the host's answer, or what went wrong.
    QByteArray send(const QString& strSocket, const QByteArray& text, int nWaitMSec = 5000);

    // Ends the host with the signal; its exit code, or -1 when it did not exit normally.
    int terminate(int nSignal = SIGTERM);

    QString backupText() const;
    QString logFileText() const;
    // Rows of a query on the journal, columns joined with "|".
    QStringList journalRows(const QString& strSql) const;
    QStringList journalOrders() const;
    QStringList journalNotes() const;

    QString inbox() const { return m_strInbox; }
    QString dataDir() const { return m_strData; }
    QString path(const QString& strName) const { return m_dir.filePath(strName); }
    QProcess& process() { return m_process; }

private:
    ::testing::AssertionResult waitForText(const QString& strFragment, const QString& strText);

    QTemporaryDir m_dir;
    QString m_strData;
    QString m_strInbox;
    QProcess m_process;
    QString m_strOut;
    QString m_strErr;
};

// Writes the file whole; false when it cannot.
bool writeFile(const QString& strPath, const QByteArray& data);
