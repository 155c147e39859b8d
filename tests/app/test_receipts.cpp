// End-to-end: every line of an instruction file or "BatchOrder:" text is answered by receipts, in the
// journal's receipts table and in the daily receipt file beside the instruction file.
#include "ccsvrecords.h"
#include "common/chostprocess.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

namespace {

const QStringList kHost{QStringLiteral("--watch"), QStringLiteral("inbox/orders.csv")};

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString receiptFile(CHostProcess& host)
{
    return QFileInfo(host.inbox()).absolutePath() + QStringLiteral("/orders_receipts_") +
           QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

// The receipt file's rows as the sender reads them, without the time column, fields joined with "|".
QStringList csvRows(const QString& strPath)
{
    QFile file(strPath);
    std::vector<QStringList> records;
    if (file.open(QIODevice::ReadOnly))
        TC::CCsvRecords::parse(file.readAll(), records);
    QStringList rows;
    for (const QStringList& fields : records)
        rows << fields.mid(1).join(QLatin1Char('|'));
    return rows;
}

QStringList tableRows(CHostProcess& host, const QString& strWhere = QStringLiteral("1"))
{
    return host.journalRows(
        QStringLiteral("SELECT source, sha256, line, state, COALESCE(batch_id, ''), reason, "
                       "text FROM receipts WHERE %1 ORDER BY id")
            .arg(strWhere));
}

// "STATE|REASON" of each receipt of the line, joined with ";".
QString states(CHostProcess& host, const QString& strSha, int nLine)
{
    return host
        .journalRows(QStringLiteral("SELECT state || '|' || reason FROM receipts WHERE sha256 = '%1' AND "
                                    "line = %2 ORDER BY id")
                         .arg(strSha)
                         .arg(nLine))
        .join(QLatin1Char(';'));
}

} // namespace

TEST(Receipts, EveryLineOfAFileAndOfASocketTextIsAnsweredInTheTableAndTheReceiptFile)
{
    CHostProcess host(kHost + QStringList{QStringLiteral("--auto-dispatch"), QStringLiteral("--listen"),
                                          QStringLiteral("bo.sock")});
    const QString strFile = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,备注1\n"
                                           "cancel_order,8880000001,12345\n"
                                           "\n"
                                           "208,arg\n"
                                           "x1,0\n"
                                           "23,0,10.5,600000,100,8880000001,2,2,,stale,,1\n"
                                           "23,0,10.5,600000,100,,2,2,,no-account\r\n");
    const QString strSha = sha256(QTextCodec::codecForName("GBK")->fromUnicode(strFile));
    ASSERT_TRUE(host.waitForStart());
    ASSERT_TRUE(host.writeInstructions(strFile));
    // The placed receipt follows the batch, after the refused line's receipt.
    ASSERT_TRUE(waitUntil([&] { return states(host, strSha, 1).count(QLatin1Char(';')) == 2; }))
        << host.stdoutText().toStdString();

    const QString strBatch =
        host.journalRows(QStringLiteral("SELECT batch_id FROM orders WHERE volume = 100")).value(0);
    ASSERT_FALSE(strBatch.isEmpty());
    // The batch's order names its line, in the batch's own transaction.
    EXPECT_EQ(host.journalRows(QStringLiteral("SELECT s.sha256 = '%1', s.source, o.source_line FROM orders o "
                                              "JOIN receipt_sources s ON s.id = o.source_id")
                                   .arg(strSha)),
              QStringList{QStringLiteral("1|file|1")});
    const std::tuple<const char*, int, QString> cases[] = {
        {"an order is placed in its batch", 1, "taken|;pending|;placed|"},
        {"a cancel is sent", 2, "taken|;cancel_sent|"},
        {"a blank line has no receipt but counts", 3, ""},
        {"a task is sent", 4, "taken|;task_sent|"},
        {"an illegal order type is rejected with its console text", 5, "taken|;rejected|参数非法(x1,0)!"},
        {"a stale line is rejected with its console text", 6,
         "taken|;rejected|参数超时(23,0,10.5,600000,100,8880000001,2,2,,stale,,1)!"},
        {"an order that fails building is dispatch_rejected with its console text", 7,
         "taken|;pending|;dispatch_rejected|[参数错误] 账号为空!!"},
    };
    for (const auto& [szGuards, nLine, strStates] : cases)
        EXPECT_EQ(states(host, strSha, nLine), strStates) << szGuards;
    EXPECT_EQ(host.journalRows(
                  QStringLiteral("SELECT text, COALESCE(batch_id, '') FROM receipts WHERE sha256 = '%1' "
                                 "AND line = 1 ORDER BY id")
                      .arg(strSha)),
              (QStringList{QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,备注1|"), QStringLiteral("|"),
                           QStringLiteral("|") + strBatch}));

    // A socket text: the digest of its UTF-8 bytes after the prefix, in the watched file's receipt file.
    const QByteArray text = "23,0,10.5,600000,200,8880000001,2,2,,socket\n";
    const QString strTextSha = sha256(text);
    ASSERT_EQ(host.send(host.dataDir() + QStringLiteral("/bo.sock"), "BatchOrder:" + text),
              QByteArray("OK taken\n"));
    ASSERT_TRUE(waitUntil([&] { return states(host, strTextSha, 1).count(QLatin1Char(';')) == 2; }));
    const QString strSocketBatch =
        host.journalRows(QStringLiteral("SELECT batch_id FROM orders WHERE volume = 200")).value(0);
    EXPECT_EQ(
        tableRows(host, QStringLiteral("sha256 = '%1'").arg(strTextSha)),
        (QStringList{
            QStringLiteral("socket|%1|1|taken|||23,0,10.5,600000,200,8880000001,2,2,,socket").arg(strTextSha),
            QStringLiteral("socket|%1|1|pending|||").arg(strTextSha),
            QStringLiteral("socket|%1|1|placed|%2||").arg(strTextSha, strSocketBatch)}));

    // The receipt file holds the table, row for row, after its header; only its owner reads it.
    QStringList expected = tableRows(host);
    expected.prepend(QStringLiteral("source|sha256|line|state|batch_id|reason|text"));
    // A batch's rows reach the file right after its commit.
    waitUntil([&] { return csvRows(receiptFile(host)) == expected; });
    EXPECT_EQ(csvRows(receiptFile(host)), expected);
    EXPECT_EQ(QFileInfo(receiptFile(host)).permissions() & 0x0077, 0);
    EXPECT_EQ(host.terminate(), 0);
}

// A host killed with orders pending: the next start marks them unfinished once, with one console error.
// A clean stop marks what is still pending itself (the journal's own test shows a marked line is not
// marked again at the next start).
TEST(Receipts, LinesLeftPendingAreMarkedUnfinishedAtTheNextStartOrAtACleanStop)
{
    const QString strOrders = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,a\n"
                                             "23,0,10.5,600000,100,8880000001,2,2,,b\n");
    const QString strSha = sha256(strOrders.toLatin1());
    CHostProcess killed(kHost);
    ASSERT_TRUE(killed.waitForStart());
    ASSERT_TRUE(killed.writeInstructions(strOrders));
    ASSERT_TRUE(waitUntil([&] { return csvRows(receiptFile(killed)).count() == 5; }))
        << killed.stdoutText().toStdString();
    killed.terminate(SIGKILL);

    CHostProcess restarted(kHost, killed.dataDir());
    ASSERT_TRUE(restarted.waitForStart());
    EXPECT_EQ(restarted.stdoutText().count(QStringLiteral("上次运行有")), 1);
    EXPECT_TRUE(restarted.stdoutText().contains(
        QStringLiteral("[error] 上次运行有 2 条已接收的指令未下出, 已在回执中标记为 unfinished!")));
    // Written later, the rows still go to the receipt file of the instruction file the lines came from.
    ASSERT_TRUE(waitUntil([&] { return csvRows(receiptFile(killed)).count() == 7; }));
    for (int nLine : {1, 2})
        EXPECT_EQ(states(restarted, strSha, nLine), "taken|;pending|;unfinished|previous run ended");

    const QString strMore = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,c\n");
    ASSERT_TRUE(restarted.writeInstructions(strMore));
    ASSERT_TRUE(
        waitUntil([&] { return states(restarted, sha256(strMore.toLatin1()), 1) == "taken|;pending|"; }));
    EXPECT_EQ(restarted.terminate(SIGTERM), 0);
    EXPECT_EQ(states(restarted, sha256(strMore.toLatin1()), 1), "taken|;pending|;unfinished|host stopped");
    EXPECT_EQ(csvRows(receiptFile(restarted)).count(), 4);
}
