#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// One batchorder-host process on a temporary data directory, run with the sample profile, headless;
// stdout is collected as it comes. End-to-end tests drive it as an outside program would.
class CHostProcess
{
public:
    explicit CHostProcess(const QStringList& extraArguments);
    ~CHostProcess();
    CHostProcess(const CHostProcess&) = delete;
    CHostProcess& operator=(const CHostProcess&) = delete;

    QString stdoutText();
    // Moves what the host wrote so far into the collected output (both channels).
    void drain();
    QString stderrText();
    bool waitForOutput(const QString& strFragment);

    // Writes an instruction file as an outside program must: GBK, complete under a temporary name,
    // renamed into place once the previous file is gone from the path.
    bool writeInstructions(const QString& strText);

    // SIGTERM, then the exit code (-1 when the host did not end normally).
    int terminate();

    QString backupText() const;
    // Rows of a query on the journal, columns joined with "|".
    QStringList journalRows(const QString& strSql) const;
    QStringList journalOrders() const;
    QStringList journalNotes() const;

    QString inbox() const { return m_strInbox; }
    QString dataDir() const { return m_strData; }
    QProcess& process() { return m_process; }

private:
    QTemporaryDir m_dir;
    QString m_strData;
    QString m_strInbox;
    QProcess m_process;
    QString m_strOut;
    QString m_strErr;
};
