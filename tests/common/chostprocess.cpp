#include "common/chostprocess.h"

#include "common/ctesthost.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextCodec>
#include <QVariant>

#include <signal.h>

CHostProcess::CHostProcess(const QStringList& extraArguments, const QString& strDataDir,
                           const QString& strStdoutFile)
    : CHostProcess([&] {
          CStart start;
          start.m_arguments = extraArguments;
          start.m_strDataDir = strDataDir.isEmpty() ? start.m_strDataDir : strDataDir;
          start.m_strStdoutFile = strStdoutFile;
          return start;
      }())
{
}

CHostProcess::CHostProcess(const CStart& start)
{
    const QDir dir(m_dir.path());
    m_strData = dir.filePath(start.m_strDataDir);
    m_strInbox = dir.filePath(start.m_strInbox);
    QStringList arguments;
    if (start.m_bHeadless)
        arguments << QStringLiteral("--headless");
    if (start.m_bSampleProfile)
        arguments << QStringLiteral("--profile") << CTestHost::sampleProfilePath();
    arguments << QStringLiteral("--data-dir") << m_strData;
    m_process.setProgram(start.m_strProgram.isEmpty() ? QStringLiteral(BATCHORDER_HOST_EXE)
                                                      : start.m_strProgram);
    m_process.setArguments(arguments + start.m_arguments);
    m_process.setWorkingDirectory(m_dir.path());
    m_process.setProcessEnvironment(start.m_environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    if (!start.m_strStdoutFile.isEmpty())
        m_process.setStandardOutputFile(start.m_strStdoutFile);
    m_process.start();
}

CHostProcess::~CHostProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

void CHostProcess::drain()
{
    // QProcess moves pipe data into its buffers (both channels) only inside its waits.
    m_process.waitForReadyRead(1);
    m_strOut += QString::fromUtf8(m_process.readAllStandardOutput());
    m_strErr += QString::fromUtf8(m_process.readAllStandardError());
}

::testing::AssertionResult CHostProcess::waitForText(const QString& strFragment, const QString& strText)
{
    if (waitUntil([&] { return strText.contains(strFragment); }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the host did not say \"" << strFragment.toStdString() << "\"; stdout:\n"
           << m_strOut.right(4000).toStdString() << "\nstderr:\n"
           << m_strErr.right(4000).toStdString();
}

bool CHostProcess::writeInstructions(const QString& strText)
{
    if (!waitUntil([&] { return !QFile::exists(m_strInbox); }))
        return false;
    const QString strPart = m_strInbox + QStringLiteral(".part");
    return writeFile(strPart, QTextCodec::codecForName("GBK")->fromUnicode(strText)) &&
           QFile::rename(strPart, m_strInbox);
}

QByteArray CHostProcess::send(const QString& strSocket, const QByteArray& text, int nWaitMSec)
{
    QLocalSocket socket;
    socket.connectToServer(strSocket);
    if (!socket.waitForConnected(5000))
        return QByteArray("no connection");
    socket.write(text + '\0');
    socket.waitForBytesWritten(5000);
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(nWaitMSec))
        reply += socket.readAll();
    return reply;
}

int CHostProcess::terminate(int nSignal)
{
    ::kill(static_cast<pid_t>(m_process.processId()), nSignal);
    if (!m_process.waitForFinished(20000))
        return -1;
    drain();
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString CHostProcess::backupText() const
{
    QFile file(m_strData + QStringLiteral("/batchorder/batchOrder_back_") +
               QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString CHostProcess::logFileText() const
{
    QString strText;
    for (const QFileInfo& info : QDir(m_strData + QStringLiteral("/logs")).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            strText += QString::fromUtf8(file.readAll());
    }
    return strText;
}

QStringList CHostProcess::journalRows(const QString& strSql) const
{
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("e2e"));
        db.setDatabaseName(m_strData + QStringLiteral("/orders.db"));
        if (db.open()) {
            QSqlQuery query(strSql, db);
            while (query.next()) {
                QStringList columns;
                for (int i = 0; i < query.record().count(); ++i)
                    columns << query.value(i).toString();
                rows << columns.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("e2e"));
    return rows;
}

QStringList CHostProcess::journalOrders() const
{
    return journalRows(
        QStringLiteral("SELECT stock_code, volume, price, strategy_no FROM orders ORDER BY id"));
}

QStringList CHostProcess::journalNotes() const
{
    return journalRows(QStringLiteral("SELECT note FROM orders ORDER BY id"));
}

bool writeFile(const QString& strPath, const QByteArray& data)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}
