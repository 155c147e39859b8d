// Following the host's receipt files: record cutting, rows for one file's bytes, and the outcome of
// each line.
#include "ccsvrecords.h"
#include "clineoutcomes.h"
#include "creceiptfollower.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

namespace {

using TC::CCsvRecords;
using TC::CLineOutcomes;
using TC::CReceipt;
using TC::CReceiptFollower;

TEST(CsvRecords, CutsCompleteRecordsAndLeavesTheRest)
{
    struct CRow
    {
        const char* m_szName;
        QByteArray m_data;
        std::vector<QStringList> m_records;
        int m_nConsumed;
    };
    const CRow rows[] = {
        {"plain fields, CRLF line end", "a,b,\r\nc\n", {{"a", "b", ""}, {"c"}}, 8},
        {"quoted comma and doubled quote", "\"x,y\",\"say \"\"hi\"\"\"\n", {{"x,y", "say \"hi\""}}, 19},
        {"quoted line ends belong to the field", "\"l1\r\nl2\",z\n", {{"l1\r\nl2", "z"}}, 11},
        {"UTF-8 text", "参数超时(x)!,1\n", {{QStringLiteral("参数超时(x)!"), "1"}}, 19},
        {"unfinished last record is left", "a,b\nc,d", {{"a", "b"}}, 4},
        {"line end inside open quotes is not the end", "a,\"b\nc", {}, 0},
        {"closing quote as the last byte read", "a,\"b\"", {}, 0},
    };
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        std::vector<QStringList> records;
        EXPECT_EQ(CCsvRecords::parse(row.m_data, records), row.m_nConsumed);
        EXPECT_EQ(records, row.m_records);
    }
}

TEST(ReceiptFollower, ReceiptFileIsNamedAfterTheInstructionFileAndDate)
{
    const QDate date(2026, 12, 7);
    EXPECT_EQ(CReceiptFollower::receiptPath("var/inbox/orders.csv", date),
              "var/inbox/orders_receipts_20261207.csv");
    EXPECT_EQ(CReceiptFollower::receiptPath("/in/a.b.csv", date), "/in/a.b_receipts_20261207.csv");
    EXPECT_EQ(CReceiptFollower::receiptPath("orders", date), "orders_receipts_20261207.csv");
}

class ReceiptFollowerFiles : public ::testing::Test
{
protected:
    // One receipt row as the host writes it, for the followed bytes unless another hash is given.
    QByteArray row(int nLine, const char* szState, const QByteArray& tail = ",,,",
                   const QByteArray& source = "file") const
    {
        return "2026-12-07T10:00:00.000," + source + "," + m_follower.sha256() + "," +
               QByteArray::number(nLine) + "," + szState + tail + "\n";
    }

    void append(const QDate& day, const QByteArray& data)
    {
        QFile file(CReceiptFollower::receiptPath(m_strPath, day));
        ASSERT_TRUE(file.open(QIODevice::Append));
        ASSERT_EQ(file.write(data), data.size());
    }

    // "LINE STATE BATCH REASON TEXT" of each row read.
    QStringList poll(const QDate& today)
    {
        QStringList rows;
        for (const CReceipt& receipt : m_follower.poll(today))
            rows << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(receipt.m_nLine)
                        .arg(receipt.m_strState, receipt.m_strBatchId, receipt.m_strReason,
                             receipt.m_strText);
        return rows;
    }

    const QByteArray m_header = "time,source,sha256,line,state,batch_id,reason,text\n";
    const QDate m_day{2026, 12, 7};
    QTemporaryDir m_dir;
    QString m_strPath = m_dir.filePath(QStringLiteral("orders.csv"));
    CReceiptFollower m_follower{m_strPath, "23,0,10.5,600000,100,8880000001,2,2\n"};
};

TEST_F(ReceiptFollowerFiles, ReadsOnlyItsOwnRowsAppendedAfterStartOnceComplete)
{
    EXPECT_EQ(m_follower.sha256(),
              QCryptographicHash::hash("23,0,10.5,600000,100,8880000001,2,2\n", QCryptographicHash::Sha256)
                  .toHex());
    // The same bytes sent before: their rows are not this delivery's.
    append(m_day, m_header + row(1, "taken", ",,,old") + row(1, "rejected", ",,stale,"));
    m_follower.start(m_day);
    EXPECT_EQ(poll(m_day), QStringList());

    const QByteArray rejected = row(1, "rejected", ",,\"[参数错误] a,\"\"b\"\"\nc!\",");
    const QByteArray otherBytes =
        QByteArray(row(1, "pending")).replace(m_follower.sha256(), QByteArray(64, 'a'));
    append(m_day, otherBytes + row(1, "pending", ",,,", "socket") + row(1, "taken", ",,,\"x,y\"") +
                      rejected.left(40));
    EXPECT_EQ(poll(m_day), QStringList{QStringLiteral("1 taken   x,y")});
    // Cut after the line end inside the quotes, then after the closing quote.
    const int nQuotedEnd = rejected.indexOf("\nc!") + 1;
    const int nClosingQuote = rejected.lastIndexOf('"') + 1;
    append(m_day, rejected.mid(40, nQuotedEnd - 40));
    EXPECT_EQ(poll(m_day), QStringList()) << "a row still being written is read once complete";
    append(m_day, rejected.mid(nQuotedEnd, nClosingQuote - nQuotedEnd));
    EXPECT_EQ(poll(m_day), QStringList());
    append(m_day, rejected.mid(nClosingQuote) + row(1, "placed", ",17,,"));
    EXPECT_EQ(poll(m_day), (QStringList{"1 rejected  [参数错误] a,\"b\"\nc! ", "1 placed 17  "}));
}

TEST_F(ReceiptFollowerFiles, FollowsIntoTheNextDaysFile)
{
    // No receipt file yet on the start day: all of it is new once it appears.
    m_follower.start(m_day);
    append(m_day, m_header + row(1, "taken"));
    EXPECT_EQ(poll(m_day), QStringList{QStringLiteral("1 taken   ")});

    // After midnight the host writes to the next day's file; a late row of the old day still counts.
    append(m_day.addDays(1), m_header + row(1, "pending"));
    append(m_day, row(2, "taken"));
    EXPECT_EQ(poll(m_day.addDays(1)), (QStringList{"2 taken   ", "1 pending   "}));
    append(m_day.addDays(1), row(2, "task_sent"));
    EXPECT_EQ(poll(m_day.addDays(1)), QStringList{QStringLiteral("2 task_sent   ")});
}

// Receipts "LINE STATE DETAIL" (the text of taken, the batch of placed, the reason otherwise) and the lines
// printed, each joined with ";", for three lines sent.
TEST(LineOutcomes, PrintsEachLinesOutcomeAndJudgesTheWhole)
{
    struct CRow
    {
        const char* m_szName;
        CLineOutcomes::EGoal m_eGoal;
        const char* m_szReceipts;
        const char* m_szPrinted;
        bool m_bComplete;
        bool m_bFailed;
    };
    const auto accepted = CLineOutcomes::ACCEPTED;
    const auto placed = CLineOutcomes::PLACED;
    const CRow rows[] = {
        {"accepted: order, cancel, task; repeats, other lines and unknown states print nothing", accepted,
         "1 taken L1;1 pending;1 rejected late;0 pending;4 rejected x;2 taken L2;2 paused;2 taken L2;"
         "2 cancel_sent;3 taken L3;3 task_sent",
         "1 pending L1;2 cancel_sent L2;3 task_sent L3", true, false},
        {"a rejected line fails the whole", accepted,
         "1 taken L1;2 taken L2;1 rejected 参数超时(x)!;3 taken L3;2 pending;3 pending",
         "1 rejected 参数超时(x)!;2 pending L2;3 pending L3", true, true},
        {"accepted: lines without their answer stay open", accepted, "1 taken L1;2 taken L2;1 pending",
         "1 pending L1", false, false},
        {"accepted: done at pending, later states print nothing", accepted,
         "1 taken L1;2 taken L2;3 taken L3;1 pending;1 placed 5;2 pending;2 cleared;3 task_sent",
         "1 pending L1;2 pending L2;3 task_sent L3", true, false},
        {"until placed: pending then placed; cancels done when sent", placed,
         "1 taken L1;2 taken L2;3 taken L3;1 pending;2 cancel_sent;3 pending;3 placed 17;1 placed 18",
         "1 pending L1;2 cancel_sent L2;3 pending L3;3 placed batch=17;1 placed batch=18", true, false},
        {"until placed: a pending line is not done", placed,
         "1 taken L1;2 taken L2;3 taken L3;1 pending;2 pending;3 pending;1 placed 1;2 placed 1",
         "1 pending L1;2 pending L2;3 pending L3;1 placed batch=1;2 placed batch=1", false, false},
        {"until placed: refused, cleared and unfinished fail", placed,
         "1 taken L1;2 taken L2;3 taken L3;1 pending;2 pending;3 pending;1 dispatch_rejected [参数错误] x!;"
         "2 cleared;3 unfinished host stopped",
         "1 pending L1;2 pending L2;3 pending L3;1 dispatch_rejected [参数错误] x!;2 cleared;"
         "3 unfinished host stopped",
         true, true},
        {"control characters cannot break a printed line", accepted,
         "1 taken a\tb;2 taken L2;3 taken L3;1 pending;2 rejected x\ny;3 pending",
         "1 pending a\\x09b;2 rejected x\\x0ay;3 pending L3", true, true},
    };
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        CLineOutcomes outcomes(3, row.m_eGoal);
        QStringList printed;
        for (const QString& strReceipt : QString::fromUtf8(row.m_szReceipts).split(QLatin1Char(';'))) {
            const QStringList parts = strReceipt.split(QLatin1Char(' '));
            CReceipt receipt;
            receipt.m_nLine = parts[0].toInt();
            receipt.m_strState = parts[1];
            const QString strDetail = parts.mid(2).join(QLatin1Char(' '));
            (receipt.m_strState == QLatin1String("taken")    ? receipt.m_strText
             : receipt.m_strState == QLatin1String("placed") ? receipt.m_strBatchId
                                                             : receipt.m_strReason) = strDetail;
            const QString strLine = outcomes.add(receipt);
            if (!strLine.isEmpty())
                printed << strLine;
        }
        EXPECT_EQ(printed.join(QLatin1Char(';')), QString::fromUtf8(row.m_szPrinted));
        EXPECT_EQ(outcomes.complete(), row.m_bComplete);
        EXPECT_EQ(outcomes.anyFailed(), row.m_bFailed);
    }
}

} // namespace
