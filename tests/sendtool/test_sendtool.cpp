// batchorder-send against a real batchorder-host watching its instruction file.
#include "common/chostprocess.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct CSendResult
{
    int m_nExit = -1;
    QString m_strError;
};

// Runs batchorder-send to completion with the given arguments and standard input.
CSendResult send(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral(BATCHORDER_SEND_EXE), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

// Everything in the inbox directory, hidden files included.
QStringList inboxEntries(const CHostProcess& host)
{
    return QDir(QFileInfo(host.inbox()).path()).entryList(QDir::Files | QDir::Hidden);
}

class SendTool : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_host.waitForOutput(QStringLiteral(" [system] start!")))
            << m_host.stderrText().toStdString();
    }

    // Waits until the journal holds this many orders; their notes in placing order.
    QStringList notesOnceThereAre(int nCount)
    {
        waitUntil([&] {
            m_host.drain();
            return m_host.journalNotes().size() >= nCount;
        });
        return m_host.journalNotes();
    }

    CHostProcess m_host{
        {QStringLiteral("--watch"), QStringLiteral("inbox/orders.csv"), QStringLiteral("--auto-dispatch")}};
};

TEST_F(SendTool, EverySourceAndEncodingReachesTheJournalIntact)
{
    const QString strPath = m_host.inbox();
    QTemporaryDir dir;
    const QString strFile = dir.filePath(QStringLiteral("lines.csv"));
    QFile file(strFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("\r\n24,0,9.8,000001,200,8880000001,2,2,,文件 卖出\r\n").toUtf8());
    file.close();

    // Each run waits for the host to take the previous file before its own goes into place.
    EXPECT_EQ(send({"--path", strPath, "23,0,10.5,600000,100,8880000001,2,2,,参数 买入"}).m_nExit, 0);
    EXPECT_EQ(send({"--path", strPath, "--encoding", "utf8"},
                   QStringLiteral("23,0,10.6,600000,300,8880000001,2,2,,标准输入 €\n").toUtf8())
                  .m_nExit,
              0);
    EXPECT_EQ(send({"--path", strPath, "--file", strFile}).m_nExit, 0);

    EXPECT_EQ(notesOnceThereAre(3), (QStringList{QStringLiteral("参数 买入"), QStringLiteral("标准输入 €"),
                                                 QStringLiteral("文件 卖出")}));
    EXPECT_EQ(m_host.terminate(), 0);
    EXPECT_FALSE(m_host.stdoutText().contains(QStringLiteral("参数非法")))
        << m_host.stdoutText().toStdString();
}

TEST_F(SendTool, TakenPathIsWaitedForAndNeverReplaced)
{
    // The reader leaves an empty file alone, so the path stays taken for as long as the test likes.
    QFile blocker(m_host.inbox());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const CSendResult busy =
        send({"--path", m_host.inbox(), "--busy-timeout", "0.2", "23,0,10.5,600000,100,8880000001,2,2"});
    EXPECT_EQ(busy.m_nExit, 2);
    EXPECT_TRUE(busy.m_strError.contains(QStringLiteral("still taken"))) << busy.m_strError.toStdString();
    EXPECT_EQ(QFileInfo(m_host.inbox()).size(), 0) << "the waiting file was replaced";
    EXPECT_EQ(inboxEntries(m_host), QStringList{QStringLiteral("orders.csv")})
        << "a temporary file was left behind";

    // A sender started while the path is taken puts its file in place as soon as the path is free.
    QProcess waiting;
    waiting.start(QStringLiteral(BATCHORDER_SEND_EXE),
                  {"--path", m_host.inbox(), "23,0,10.5,600000,100,8880000001,2,2,,等待后送达"});
    ASSERT_TRUE(waiting.waitForStarted());
    // Its hidden file beside the taken path: written, and waiting to go into place.
    ASSERT_TRUE(waitUntil([&] { return inboxEntries(m_host).size() == 2; }));
    ASSERT_TRUE(QFile::remove(m_host.inbox()));
    ASSERT_TRUE(waiting.waitForFinished(30000));
    EXPECT_EQ(waiting.exitCode(), 0) << waiting.readAllStandardError().toStdString();
    EXPECT_EQ(notesOnceThereAre(1), QStringList{QStringLiteral("等待后送达")});
}

TEST(SendToolUsage, RefusesWhatItCannotDeliverAsWritten)
{
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("orders.csv"));
    struct CRow
    {
        const char* m_szName;
        QStringList m_arguments;
        QByteArray m_input;
        int m_nExit;
        const char* m_szMessage;
    };
    const CRow rows[] = {
        {"path is required", {"23,0,1,600000,100,1,2,2"}, {}, 3, "--path FILE is required"},
        {"unknown option", {"--path", strPath, "--wiat"}, {}, 3, "unknown option --wiat"},
        {"lines twice", {"--path", strPath, "--file", "x.csv", "23"}, {}, 3, "not both"},
        {"input not UTF-8", {"--path", strPath}, "23,0,1,600000,100,1,2,2,,\xc4\xe3\n", 3, "not UTF-8"},
        {"outside GBK", {"--path", strPath, "23,0,1,600000,100,1,2,2,,😀"}, {}, 3, "GBK cannot hold"},
        {"only blank lines", {"--path", strPath}, "\n \r\n", 3, "no instruction lines"},
        {"missing directory",
         {"--path", dir.filePath(QStringLiteral("inbox/orders.csv")), "23"},
         {},
         1,
         "does not exist"},
    };
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        const CSendResult result = send(row.m_arguments, row.m_input);
        EXPECT_EQ(result.m_nExit, row.m_nExit);
        EXPECT_TRUE(result.m_strError.contains(QString::fromUtf8(row.m_szMessage)))
            << result.m_strError.toStdString();
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "nothing was written";
}

} // namespace
