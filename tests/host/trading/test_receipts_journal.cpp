// The journal's receipts: rows queued from several threads between batches that link their orders to their
// lines; table order is lifecycle order and the CSV follows the table.
#include "trading/corderjournal.h"
#include "trading/corderservice.h"

#include "common/waituntil.h"
#include "journalfile.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <boost/make_shared.hpp>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

using namespace TC;

namespace {

constexpr int kStrategy = 999;

// A row of a source given by its digest, or with nKey by its key and bytes (the journal digests them).
COrderReceipt receipt(const QString& strSha, int nLine, const char* szState, const QString& strPath = {},
                      qint64 nKey = 0)
{
    COrderReceipt row;
    row.m_strAt = QStringLiteral("2026-01-02T03:04:05.678");
    row.m_strSource = QStringLiteral("file");
    if (nKey > 0)
        row.m_source = strSha.toUtf8();
    else
        row.m_strSha256 = strSha;
    row.m_nSourceKey = nKey;
    row.m_nLine = nLine;
    row.m_strState = QString::fromLatin1(szState);
    row.m_strPath = strPath;
    if (row.m_strState == QLatin1String("placed"))
        row.m_nOrder = 0;
    return row;
}

QString sha256(const QString& strBytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(strBytes.toUtf8(), QCryptographicHash::Sha256).toHex());
}

// Process-unique source keys, as the module hands them out.
qint64 nextKey()
{
    static std::atomic<qint64> s_nKey{1000};
    return ++s_nKey;
}

QVector<COrderParam> oneOrder(const QString& strNote)
{
    QVector<COrderParam> orders(1);
    orders[0].m_nOrderType = 23;
    orders[0].m_strNote = strNote.toStdString();
    orders[0].m_singleParams.push_back(COrderSingleParam{QStringLiteral("600000"), 100, 10.5, 0, 0, 11});
    return orders;
}

class ReceiptsJournal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_pJournal = boost::make_shared<COrderJournal>();
        ASSERT_NO_FATAL_FAILURE(open());
        m_failures = m_pJournal->m_sigRecordFailed.connect([this](COrderJournal::ERecord eRecord, int) {
            if (eRecord == COrderJournal::RECORD_RECEIPTS)
                ++m_nReceiptFailures;
        });
    }
    void open()
    {
        QString strError;
        ASSERT_TRUE(m_pJournal->open(m_strDb, strError)) << strError.toStdString();
        m_pJournal->setReceiptsDir(m_dir.path());
    }
    QStringList rows(const QString& strSql) const { return sqlRows(m_strDb, strSql); }

    // The rows of the receipt file named after strBaseName and today, without the time column.
    QStringList csvRows(const QString& strBaseName) const
    {
        QFile file(csvOf(strBaseName));
        if (!file.open(QIODevice::ReadOnly))
            return {QStringLiteral("missing ") + file.fileName()};
        QStringList result;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty())
                result << QString::fromUtf8(line.mid(line.indexOf(',') + 1));
        }
        return result;
    }
    QString csvOf(const QString& strBaseName) const
    {
        return m_dir.filePath(strBaseName + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                              ".csv");
    }

    QTemporaryDir m_dir;
    QString m_strDb = m_dir.filePath(QStringLiteral("orders.db"));
    boost::shared_ptr<COrderJournal> m_pJournal;
    boost::signals2::scoped_connection m_failures;
    std::atomic<int> m_nReceiptFailures{0};
};

} // namespace

// Threads queue rows without waiting and place their lines' batches: each line's rows stay in lifecycle
// order with their source's digest, each placed row carries its batch's id, each order names its line, and
// the owner-only CSV holds the table's rows in the table's order, header once.
TEST_F(ReceiptsJournal, QueuedRowsAndBatchesFromManyThreadsKeepLifecycleOrder)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 40;
    const QString strInstructions = m_dir.filePath(QStringLiteral("orders.csv"));
    std::vector<std::map<int, qint64>> batchIds(kThreads);
    std::vector<qint64> keys;
    for (int t = 0; t < kThreads; ++t)
        keys.push_back(nextKey());
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const QString strBytes = QStringLiteral("bytes %1").arg(t);
            const auto row = [&](int nLine, const char* szState) {
                return receipt(strBytes, nLine, szState, strInstructions, keys[t]);
            };
            for (int nLine = 1; nLine <= kLines; ++nLine) {
                m_pJournal->recordReceipts({row(nLine, "taken"), row(nLine, "pending")});
                if (nLine % 2 == 0)
                    batchIds[t][nLine] =
                        m_pJournal->recordBatch(kStrategy, oneOrder(strBytes), {row(nLine, "placed")});
                else
                    m_pJournal->recordReceipts({row(nLine, "cleared")});
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    m_pJournal->flush();

    for (int t = 0; t < kThreads; ++t) {
        const QString strSha = sha256(QStringLiteral("bytes %1").arg(t));
        for (int nLine = 1; nLine <= kLines; ++nLine) {
            SCOPED_TRACE(QStringLiteral("thread %1 line %2").arg(t).arg(nLine).toStdString());
            const bool bPlaced = nLine % 2 == 0;
            EXPECT_EQ(
                rows(QStringLiteral("SELECT state, batch_id FROM receipts WHERE sha256 = '%1' AND line = %2 "
                                    "ORDER BY id")
                         .arg(strSha)
                         .arg(nLine)),
                (QStringList{"taken|NULL", "pending|NULL",
                             bPlaced ? QStringLiteral("placed|%1").arg(batchIds[t][nLine])
                                     : "cleared|NULL"}));
            if (bPlaced) {
                EXPECT_EQ(rows(QStringLiteral("SELECT s.sha256, o.source_line, o.note FROM orders o JOIN "
                                              "receipt_sources s ON s.id = o.source_id WHERE o.batch_id = %1")
                                   .arg(batchIds[t][nLine])),
                          QStringList{QStringLiteral("%1|%2|bytes %3").arg(strSha).arg(nLine).arg(t)});
            }
        }
    }
    QStringList table =
        rows(QStringLiteral("SELECT source, sha256, line, state, COALESCE(batch_id, ''), "
                            "COALESCE(reason, ''), COALESCE(text, '') FROM receipts ORDER BY id"));
    table.prepend(QStringLiteral("source|sha256|line|state|batch_id|reason|text"));
    QStringList csv = csvRows(QStringLiteral("orders_receipts_"));
    for (QString& row : csv)
        row.replace(QLatin1Char(','), QLatin1Char('|'));
    EXPECT_EQ(csv, table);
    EXPECT_EQ(QFileInfo(csvOf(QStringLiteral("orders_receipts_"))).permissions() & 0x0077, 0);
    EXPECT_EQ(m_nReceiptFailures.load(), 0);
}

// A batch queued while receipt rows wait is written before them; the placed row it queues still comes after
// the rows of its line queued before it, also when those were made on the journal's thread.
TEST_F(ReceiptsJournal, RecordsGoAheadOfWaitingReceiptRows)
{
    rows("CREATE TABLE seen (what TEXT)");
    rows("CREATE TRIGGER seen_order AFTER INSERT ON orders BEGIN INSERT INTO seen VALUES ('batch ' || "
         "NEW.note); "
         "END");
    rows("CREATE TRIGGER seen_receipt AFTER INSERT ON receipts BEGIN INSERT INTO seen VALUES "
         "(NEW.line || ' ' || NEW.state); END");
    auto pLock = std::make_unique<CWriteLock>(m_strDb); // held until both batches wait in the journal
    ASSERT_TRUE(pLock->isHeld());
    const qint64 nKey = nextKey();
    const auto row = [&](int nLine, const char* szState) {
        return receipt("ahead", nLine, szState, {}, nKey);
    };
    const auto placeInThread = [&](const char* szNote, QVector<COrderReceipt> placed) {
        std::atomic<pid_t> nThread{0};
        std::thread thread([&, szNote, placed] {
            nThread = currentThreadId();
            m_pJournal->recordBatch(kStrategy, oneOrder(QString::fromLatin1(szNote)), placed);
        });
        EXPECT_TRUE(waitUntil([&] { return nThread != 0 && threadAsleep(nThread); }));
        return thread;
    };
    std::thread first = placeInThread("first", {});
    // Made on the journal's thread, as the recorder hands a file's rows over; more than one transaction
    // holds, so they are written in parts.
    constexpr int kLines = 2100;
    QVector<COrderReceipt> lines;
    QStringList expected{"batch first", "batch second"};
    for (int nLine = 1; nLine <= kLines; ++nLine) {
        lines << row(nLine, "taken") << row(nLine, "pending");
        expected << QStringLiteral("%1 taken").arg(nLine) << QStringLiteral("%1 pending").arg(nLine);
    }
    expected << "1 placed";
    m_pJournal->recordReceipts([lines] { return lines; });
    std::thread second = placeInThread("second", {row(1, "placed")});
    pLock.reset();
    first.join();
    second.join();
    m_pJournal->flush();

    EXPECT_EQ(rows("SELECT what FROM seen ORDER BY rowid"), expected);
    EXPECT_EQ(csvRows(QStringLiteral("receipts_")).size(), 1 + 2 * kLines + 1);
}

// A batch that cannot be journaled places nothing: the service turns its staged receipts into
// dispatch_rejected ones. Rows refused on the journal's thread are announced once per spell.
TEST_F(ReceiptsJournal, LinesOfAnUnjournaledBatchAreDispatchRejected)
{
    rows("CREATE TRIGGER refuse_order BEFORE INSERT ON orders WHEN NEW.note = 'refused' "
         "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    rows("CREATE TRIGGER refuse_receipt BEFORE INSERT ON receipts WHEN NEW.sha256 = 'full' "
         "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    COrderService service(m_pJournal);
    service.addBatchOrderStrategy(kStrategy);
    const auto place = [&](const boost::shared_ptr<COrderStrategy>& pStrategy, const char* szSha,
                           const char* szNote) {
        // Staging belongs to the placing thread only: another thread than the test's.
        std::thread([&] {
            COrderService::stageReceipts({receipt(QString::fromLatin1(szSha), 1, "placed")});
            service.placeOrders(pStrategy, oneOrder(QString::fromLatin1(szNote)));
        }).join();
    };
    place(service.getStrategyRef(kStrategy), "ok", "placed");
    place(service.getStrategyRef(kStrategy), "refused", "refused");
    const boost::shared_ptr<COrderStrategy> pStopped = service.getStrategyRef(kStrategy);
    QString strError;
    service.stopOrderStrategy(kStrategy, strError);
    place(pStopped, "stopped", "stopped");
    // Rows queued back to back share a transaction: the refused ones below must not take these along.
    m_pJournal->flush();
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 2, "taken")});
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 3, "taken")});
    m_pJournal->flush();
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 4, "taken")});
    m_pJournal->flush();

    EXPECT_EQ(rows("SELECT note FROM orders ORDER BY id"), QStringList{"placed"});
    EXPECT_EQ(rows("SELECT sha256, line, state, COALESCE(batch_id = (SELECT batch_id FROM orders), ''), "
                   "COALESCE(reason, '') FROM receipts ORDER BY sha256"),
              (QStringList{"ok|1|placed|1|", "refused|1|dispatch_rejected||委托日志写入失败, 未下出!",
                           "stopped|1|dispatch_rejected||批量下单策略已停止, 未下出!"}));
    // Rows without an instruction file go to the receipts directory, beside nothing else.
    EXPECT_EQ(csvRows(QStringLiteral("receipts_")).size(), 4);
    EXPECT_EQ(m_nReceiptFailures.load(), 1);
}

// At a start, each line still pending gets one unfinished row per pending row without an end; a second
// start finds nothing left, a line pending since the last start is found by the next.
TEST_F(ReceiptsJournal, OpenLinesAreFinishedOnceAtTheNextStart)
{
    const QString strPath = m_dir.filePath(QStringLiteral("in.csv"));
    const auto at = [&](const char* szSha, int nLine, const char* szState) {
        return receipt(QString::fromLatin1(szSha), nLine, szState, strPath);
    };
    m_pJournal->recordReceipts({at("a", 1, "pending"), at("a", 1, "placed"), at("a", 2, "pending"),
                                at("b", 1, "pending"), at("b", 1, "pending"), at("b", 1, "unfinished"),
                                at("c", 1, "pending"), at("c", 1, "cleared"), at("d", 5, "taken")});
    const QString strReason = QStringLiteral("previous run ended");
    EXPECT_EQ(m_pJournal->finishOpenReceipts(strReason), 2);
    EXPECT_EQ(m_pJournal->finishOpenReceipts(strReason), 0);
    EXPECT_EQ(
        rows(QStringLiteral("SELECT source, sha256, line, state, reason, path = '%1' FROM receipts WHERE "
                            "id > 9 ORDER BY id")
                 .arg(strPath)),
        (QStringList{"file|a|2|unfinished|previous run ended|1",
                     "file|b|1|unfinished|previous run ended|1"}));
    m_pJournal->recordReceipts({at("e", 1, "pending")});
    EXPECT_EQ(m_pJournal->finishOpenReceipts(strReason), 1);
    EXPECT_EQ(csvRows(QStringLiteral("in_receipts_")).size(), 1 + 10 + 3);
}

// A run that ended after committing a batch but before writing its placed row: the next start writes the
// placed row rather than calling the line unfinished, and does not hand that run's source ids out again.
TEST_F(ReceiptsJournal, ALinePlacedWhosePlacedRowWasLostIsPlacedAtTheNextStart)
{
    const qint64 nKey = nextKey();
    const auto row = [&](int nLine, const char* szState) {
        return receipt("crash", nLine, szState, {}, nKey);
    };
    m_pJournal->recordReceipts({row(1, "taken"), row(1, "pending"), row(2, "taken"), row(2, "pending")});
    m_pJournal->flush();
    rows("INSERT INTO orders (batch_id, placed_at, note, source_id, source_line) SELECT 7, "
         "'2026-01-02T03:04:05', 'lost', id, 1 FROM receipt_sources");
    m_pJournal->close();
    ASSERT_NO_FATAL_FAILURE(open());

    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 1);
    EXPECT_EQ(
        rows(QStringLiteral("SELECT sha256 = '%1', line, state, batch_id, reason FROM receipts WHERE id > 4 "
                            "ORDER BY id")
                 .arg(sha256(QStringLiteral("crash")))),
        (QStringList{"1|1|placed|7|", "1|2|unfinished|NULL|previous run ended"}));
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 0);

    // The same key in a new run is a new source.
    m_pJournal->recordReceipts({row(1, "taken")});
    m_pJournal->recordBatch(kStrategy, oneOrder(QStringLiteral("next")), {row(1, "placed")});
    m_pJournal->flush();
    EXPECT_EQ(rows("SELECT COUNT(DISTINCT id), COUNT(DISTINCT sha256) FROM receipt_sources"),
              QStringList{"2|1"});
    EXPECT_EQ(rows("SELECT o.source_id = MAX(s.id) FROM orders o, receipt_sources s WHERE o.note = 'next'"),
              QStringList{"1"});
}

// A journal file of the version before lines were linked to orders gets the new columns and table at open,
// its rows kept.
TEST_F(ReceiptsJournal, AnOlderFileGetsTheLinkColumnsAtOpen)
{
    m_pJournal->recordBatch(kStrategy, oneOrder(QStringLiteral("old")));
    m_pJournal->close();
    for (const char* szSql :
         {"ALTER TABLE orders DROP COLUMN source_line", "ALTER TABLE orders DROP COLUMN source_id",
          "ALTER TABLE receipt_starts DROP COLUMN first_order_id",
          "ALTER TABLE receipt_starts DROP COLUMN last_source_id", "DROP TABLE receipt_sources"})
        ASSERT_EQ(rows(szSql), QStringList());
    ASSERT_NO_FATAL_FAILURE(open());
    EXPECT_EQ(rows("SELECT note, source_id IS NULL, source_line IS NULL FROM orders"),
              QStringList{"old|1|1"});
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 0);
    EXPECT_EQ(rows("SELECT first_order_id, last_source_id FROM receipt_starts"), QStringList{"2|0"});
}
