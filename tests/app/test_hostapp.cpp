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

#include <chrono>

TEST(HostApp, HelpDocumentsEveryOption)
{
    QProcess process;
    process.start(QStringLiteral(BATCHORDER_HOST_EXE), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString strHelp = QString::fromUtf8(process.readAllStandardOutput());
    for (const char* szOption : {"--profile", "--data-dir", "--headless", "--watch", "--auto-dispatch", "--listen",
                                 "--log-config"})
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
