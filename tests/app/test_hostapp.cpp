// End-to-end: the real batchorder-host process, driven as an outside program would drive it.
#include "common/chostprocess.h"
#include "common/ctesthost.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTextCodec>

#include <chrono>
#include <thread>

#include <signal.h>

namespace {
using Clock = std::chrono::steady_clock;
}

TEST(HostApp, HelpDocumentsEveryOption)
{
    QProcess process;
    process.start(QStringLiteral(BATCHORDER_HOST_EXE), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString strHelp = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* szOption : {"--profile", "--data-dir", "--headless", "--watch", "--auto-dispatch",
                                 "--listen", "--log-config", "--max-file-size"})
        EXPECT_TRUE(strHelp.contains(QLatin1String(szOption))) << szOption;
}

TEST(HostApp, BrokenProfileStopsTheHostNamingFileAndKey)
{
    QTemporaryDir dir;
    const QString strProfile = dir.filePath(QStringLiteral("broken.json"));
    // The sample profile without its instrument directory.
    QFile sample(CTestHost::sampleProfilePath());
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(sample.readAll()).object();
    ASSERT_TRUE(root.contains(QStringLiteral("instruments")));
    root.remove(QStringLiteral("instruments"));
    QFile file(strProfile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(root).toJson());
    file.close();

    QProcess process;
    process.start(QStringLiteral(BATCHORDER_HOST_EXE),
                  {QStringLiteral("--headless"), QStringLiteral("--profile"), strProfile, QStringLiteral("--data-dir"),
                   dir.filePath(QStringLiteral("data"))});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 1);
    const QString strError = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(strError.contains(strProfile)) << strError.toStdString();
    EXPECT_TRUE(strError.contains(QStringLiteral("instruments"))) << strError.toStdString();
}

TEST(HostApp, WatchedFilesEndInTheBackupAndTheJournal)
{
    CHostProcess host(
        {QStringLiteral("--watch"), QStringLiteral("inbox/orders.csv"), QStringLiteral("--auto-dispatch")});
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.stderrText().toStdString();

    ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,买入测试\n"
                                                      "cancel_order,8880000001,123456,,,,2,2\n")));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("用户下出 1 条指令!"))) << host.stdoutText().toStdString();
    ASSERT_TRUE(host.writeInstructions(QStringLiteral("24,0,12.3,000001,200,8880000001,2,2\nnot,a,line\n")));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("参数非法(not,a,line)!")));
    ASSERT_TRUE(waitUntil([&] { return host.journalOrders().size() == 2; }));

    EXPECT_EQ(host.terminate(), 0);
    const QString strOut = host.stdoutText();
    EXPECT_TRUE(strOut.contains(QStringLiteral(" [system] stop!")));

    EXPECT_EQ(host.journalOrders(),
              (QStringList{QStringLiteral("600000|100|10.5|999"), QStringLiteral("000001|200|12.3|999")}));
    const QString strBackup = host.backupText();
    EXPECT_TRUE(strBackup.contains(QStringLiteral("买入测试")));
    EXPECT_EQ(strBackup.count(QLatin1Char('\n')), 4) << "header, order, cancel, order";
}

TEST(HostApp, ShortcutTextsArriveOverTheLocalSocket)
{
    CHostProcess host({QStringLiteral("--listen"), QStringLiteral("bo.sock")});
    ASSERT_TRUE(host.process().waitForStarted());
    const QString strSocket = host.dataDir() + QStringLiteral("/bo.sock");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(strSocket); })) << host.stderrText().toStdString();
    EXPECT_EQ(QFileInfo(strSocket).permissions() &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions()) << "only the owner may hand over orders";

    auto send = [&](const QByteArray& text) {
        QLocalSocket socket;
        socket.connectToServer(strSocket);
        if (!socket.waitForConnected(5000))
            return QByteArray("no connection");
        socket.write(text + '\0');
        socket.waitForBytesWritten(5000);
        QByteArray reply;
        while (!reply.contains('\n') && socket.waitForReadyRead(5000))
            reply += socket.readAll();
        return reply;
    };
    EXPECT_EQ(send("BatchOrder:23,0,10.5,600000,100,8880000001,2,2\n"), QByteArray("OK taken\n"));
    EXPECT_TRUE(send("23,0,10.5,600000,100,8880000001,2,2").startsWith("ERROR"));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("接收到 2 条下单参数(下单: 1条")));

    EXPECT_EQ(host.terminate(), 0);
    EXPECT_TRUE(host.stderrText().contains(QStringLiteral("1 record(s) still pending")));
    EXPECT_TRUE(host.journalOrders().isEmpty()) << "nothing triggered a dispatch";
}

TEST(HostApp, ThousandFilesBackToBackEachOrderPlacedAndBackedUpExactlyOnce)
{
    constexpr int kFiles = 1000;
    CHostProcess host(
        {QStringLiteral("--watch"), QStringLiteral("inbox/orders.csv"), QStringLiteral("--auto-dispatch")});
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.stderrText().toStdString();

    // The first order waits out its second and triggers the checker; from then on every file goes out
    // as soon as it is read.
    ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,warm-up\n")));
    ASSERT_TRUE(waitUntil([&] { return host.journalNotes().size() == 1; }));

    for (int i = 0; i < kFiles; ++i)
    {
        ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,f%1-a\n"
                                                          "24,0,9.8,000001,200,8880000001,2,2,,f%1-b\n")
                                               .arg(i)))
            << "file " << i;
    }
    ASSERT_TRUE(waitUntil(
        [&] {
            host.drain();
            return host.journalNotes().size() >= 1 + 2 * kFiles;
        },
        std::chrono::seconds(120)))
        << host.journalNotes().size();
    EXPECT_EQ(host.terminate(), 0);

    const QStringList notes = host.journalNotes();
    EXPECT_EQ(notes.size(), 1 + 2 * kFiles);
    EXPECT_EQ(QSet<QString>(notes.begin(), notes.end()).size(), notes.size()) << "an order was placed twice";
    QStringList backupNotes;
    for (const QString& strRow : host.backupText().split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1))
        backupNotes << strRow.section(QLatin1Char(','), 9, 9);
    EXPECT_EQ(backupNotes.size(), 1 + 2 * kFiles);
    EXPECT_EQ(QSet<QString>(backupNotes.begin(), backupNotes.end()).size(), backupNotes.size());
    for (int i = 0; i < kFiles; i += 97)
    {
        EXPECT_TRUE(notes.contains(QStringLiteral("f%1-a").arg(i)));
        EXPECT_TRUE(backupNotes.contains(QStringLiteral("f%1-b").arg(i)));
    }
}

// A file over the size limit is not read: it is left aside, and the console says where; the next file
// is taken as usual. A limit that is not a size stops the host at start.
TEST(HostApp, FileOverTheSizeLimitIsLeftAsideWithAConsoleError)
{
    for (const char* szBad : {"0", "1X", "513M"})
    {
        QProcess process;
        process.start(
            QStringLiteral(BATCHORDER_HOST_EXE),
            {QStringLiteral("--headless"), QStringLiteral("--max-file-size"), QLatin1String(szBad)});
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 2) << szBad;
        EXPECT_TRUE(process.readAllStandardError().contains("--max-file-size")) << szBad;
    }

    CHostProcess host({QStringLiteral("--watch"), QStringLiteral("inbox/orders.csv"),
                      QStringLiteral("--max-file-size"), QStringLiteral("1K")});
    ASSERT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!"))) << host.stderrText().toStdString();
    const QString strLine = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,big\n");
    ASSERT_TRUE(host.writeInstructions(strLine.repeated(1025 / strLine.size() + 1)));
    const QString strAside = QFileInfo(host.inbox()).dir().filePath(QStringLiteral("orders_tmp1.csv"));
    ASSERT_TRUE(
        host.waitForOutput(QStringLiteral(" [error] 指令文件已留置在 %1: 超过大小上限(").arg(strAside)))
        << host.stdoutText().toStdString();
    ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,small\n")));
    ASSERT_TRUE(waitUntil([&] { return host.backupText().contains(QStringLiteral("small")); }));
    EXPECT_EQ(host.terminate(), 0);
    EXPECT_TRUE(QFile::exists(strAside));
    EXPECT_FALSE(host.backupText().contains(QStringLiteral("big")));
}

// A crash at any moment keeps every line of a file taken: until its records are in the backup file,
// the temporary copy stays on disk. The host is killed at moments spread over the handling of one
// 10,000-line file, each time in a fresh data directory, and once after the handling ended.
TEST(HostApp, KillAtAnyMomentKeepsEveryLineInTheTemporaryFileOrTheBackup)
{
    constexpr int kLines = 10000;
    QString strText;
    for (int i = 0; i < kLines; ++i)
        strText += QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,n%1\n").arg(i);
    // The NOTE column of rows and lines.
    const auto notes = [](const QString& strRows, QSet<QString>& found) {
        for (const QString& strRow : strRows.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            found.insert(strRow.section(QLatin1Char(','), 9, 9));
    };

    // The log goes to a file only: nothing reads the host's stderr during the kill.
    QTemporaryDir logDir;
    const QString strLogConfig = logDir.filePath(QStringLiteral("log4cxx.properties"));
    QFile logConfig(strLogConfig);
    ASSERT_TRUE(logConfig.open(QIODevice::WriteOnly));
    logConfig.write("log4j.rootLogger=INFO, file\n"
                    "log4j.appender.file=org.apache.log4j.FileAppender\n"
                    "log4j.appender.file.File=${BATCHORDER_LOG_DIR}/host.log\n"
                    "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n");
    logConfig.close();

    // One run: the file is written and the host killed after the delay (or, with none, stopped once the
    // file is handled); the temporary files left, and whether every line is in one of them, the backup
    // or the file still at the path.
    struct CRun
    {
        QStringList m_temporary;
        bool m_bAtPath = false;
        int m_nMissing = 0;
        int m_nHandledMSec = 0;
    };
    const auto run = [&](int nDelayMSec) {
        CRun result;
        CHostProcess host({QStringLiteral("--watch"), QStringLiteral("inbox/orders.csv"),
                          QStringLiteral("--log-config"), strLogConfig});
        const QDir inbox = QFileInfo(host.inbox()).dir();
        const auto temporary = [&] {
            return inbox.entryList({QStringLiteral("orders_tmp*.csv")}, QDir::Files);
        };
        EXPECT_TRUE(host.waitForOutput(QStringLiteral(" [system] start!")))
            << host.stderrText().toStdString();
        EXPECT_TRUE(host.writeInstructions(strText));
        const auto start = Clock::now();
        if (nDelayMSec >= 0)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(nDelayMSec));
            ::kill(static_cast<pid_t>(host.process().processId()), SIGKILL);
            EXPECT_TRUE(host.process().waitForFinished(20000));
        }
        else
        {
            // Handled: taken, every row in the backup and the temporary file gone.
            EXPECT_TRUE(waitUntil(
                [&] {
                    return !QFile::exists(host.inbox()) && temporary().isEmpty() &&
                           host.backupText().contains(QStringLiteral(",n%1,").arg(kLines - 1));
                },
                std::chrono::seconds(60)));
            result.m_nHandledMSec = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
            EXPECT_EQ(host.terminate(), 0);
        }

        QSet<QString> found;
        notes(host.backupText(), found);
        result.m_temporary = temporary();
        result.m_bAtPath = QFile::exists(host.inbox());
        for (const QString& strName : result.m_temporary + QStringList{QFileInfo(host.inbox()).fileName()})
        {
            QFile file(inbox.filePath(strName));
            if (file.open(QIODevice::ReadOnly))
                notes(QTextCodec::codecForName("GBK")->toUnicode(file.readAll()), found);
        }
        for (int i = 0; i < kLines; ++i)
            result.m_nMissing += found.contains(QStringLiteral("n%1").arg(i)) ? 0 : 1;
        return result;
    };

    // How long a file takes here, then kills spread over that time and beyond.
    const int nHandledMSec = run(-1).m_nHandledMSec;
    ASSERT_GT(nHandledMSec, 0);
    std::vector<int> delays;
    for (int k = 0; k <= 24; ++k)
        delays.push_back(k * nHandledMSec / 20);
    delays.push_back(2 * nHandledMSec);
    delays.push_back(3 * nHandledMSec);
    int nInTheMiddle = 0;
    bool bHandled = false;
    for (int nDelayMSec : delays)
    {
        const CRun killed = run(nDelayMSec);
        EXPECT_EQ(killed.m_nMissing, 0)
            << "killed " << nDelayMSec
            << " ms after the rename; temporary files: " << killed.m_temporary.join(' ').toStdString();
        nInTheMiddle += killed.m_temporary.isEmpty() ? 0 : 1;
        bHandled = bHandled || (killed.m_temporary.isEmpty() && !killed.m_bAtPath);
    }
    EXPECT_TRUE(bHandled) << "no kill came after the file was handled (" << nHandledMSec << " ms)";
    EXPECT_GT(nInTheMiddle, 0) << "no kill came while the file was handled";
}
