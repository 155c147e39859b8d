// The journal's receipts: rows queued without waiting from several threads, interleaved with batches
// that link their orders to their lines and queue their placed rows behind; table order is lifecycle
// order and the CSV follows the table.
#include "trading/corderjournal.h"
#include "trading/corderservice.h"

#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include <boost/make_shared.hpp>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

using namespace TC;

void PrintTo(const QString& str, std::ostream* pStream)
{
    *pStream << str.toStdString();
}

namespace {

constexpr int kStrategy = 999;

// A row of a source given by its digest, or with nKey by its key and bytes (the journal digests them).
COrderReceipt receipt(const QString& strSha, int nLine, const char* szState, const QString& strPath,
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
        QString strError;
        ASSERT_TRUE(m_pJournal->open(m_dir.filePath(QStringLiteral("orders.db")), strError))
            << strError.toStdString();
        m_pJournal->setReceiptsDir(m_dir.path());
        m_failures = m_pJournal->m_sigRecordFailed.connect([this](COrderJournal::ERecord eRecord, int) {
            if (eRecord == COrderJournal::RECORD_RECEIPTS)
                ++m_nReceiptFailures;
        });
    }

    // Runs statements on a connection of the test's own, e.g. to add triggers.
    void exec(const QStringList& statements) const
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("exec"));
            db.setDatabaseName(m_dir.filePath(QStringLiteral("orders.db")));
            ASSERT_TRUE(db.open());
            QSqlQuery query(db);
            for (const QString& strSql : statements)
                ASSERT_TRUE(query.exec(strSql)) << query.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("exec"));
    }

    QStringList rows(const QString& strSql) const
    {
        QStringList result;
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("receipts"));
            db.setDatabaseName(m_dir.filePath(QStringLiteral("orders.db")));
            if (db.open()) {
                QSqlQuery query(db);
                if (!query.exec(strSql))
                    result << QStringLiteral("error: ") + query.lastError().text();
                while (query.next()) {
                    QStringList columns;
                    for (int i = 0; i < query.record().count(); ++i)
                        columns << query.value(i).toString();
                    result << columns.join(QLatin1Char('|'));
                }
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("receipts"));
        return result;
    }

    // The receipt file's rows without the time column, for comparison with the table.
    QStringList csvRows(const QString& strPath) const
    {
        QFile file(strPath);
        if (!file.open(QIODevice::ReadOnly))
            return {QStringLiteral("missing ") + strPath};
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
                              QStringLiteral(".csv"));
    }

    QTemporaryDir m_dir;
    boost::shared_ptr<COrderJournal> m_pJournal;
    boost::signals2::scoped_connection m_failures;
    std::atomic<int> m_nReceiptFailures{0};
};

} // namespace

// Threads queue taken and pending rows without waiting and then place the line's batch: every line's
// rows stay in lifecycle order with the digest of their source, each placed row carries its own batch's
// id, each order names its line, and the CSV holds the table's rows in the table's order, header once.
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
            const bool bPlaced = nLine % 2 == 0;
            const QStringList expected{QStringLiteral("taken|"), QStringLiteral("pending|"),
                                       bPlaced ? QStringLiteral("placed|%1").arg(batchIds[t][nLine])
                                               : QStringLiteral("cleared|")};
            EXPECT_EQ(
                rows(QStringLiteral("SELECT state, batch_id FROM receipts WHERE sha256 = '%1' AND line = %2 "
                                    "ORDER BY id")
                         .arg(strSha)
                         .arg(nLine)),
                expected)
                << t << " line " << nLine;
            if (bPlaced) {
                EXPECT_EQ(rows(QStringLiteral("SELECT s.sha256, o.source_line, o.note FROM orders o JOIN "
                                              "receipt_sources s ON s.id = o.source_id WHERE o.batch_id = %1")
                                   .arg(batchIds[t][nLine])),
                          QStringList{QStringLiteral("%1|%2|bytes %3").arg(strSha).arg(nLine).arg(t)});
            }
        }
    }
    QStringList table =
        rows(QStringLiteral("SELECT source, sha256, line, state, COALESCE(batch_id, ''), reason, "
                            "text FROM receipts ORDER BY id"));
    table.prepend(QStringLiteral("source|sha256|line|state|batch_id|reason|text"));
    QStringList csv = csvRows(csvOf(QStringLiteral("orders_receipts_")));
    for (QString& row : csv)
        row.replace(QLatin1Char(','), QLatin1Char('|'));
    EXPECT_EQ(csv, table);
    EXPECT_EQ(QFileInfo(csvOf(QStringLiteral("orders_receipts_"))).permissions() & 0x0077, 0);
    EXPECT_EQ(m_nReceiptFailures.load(), 0);
}

// A batch queued while receipt rows wait is written before them; the placed row it queues still
// comes after the rows of its line queued before it, also when those were made on the journal's thread.
TEST_F(ReceiptsJournal, RecordsGoAheadOfWaitingReceiptRows)
{
    exec({QStringLiteral("CREATE TABLE seen (what TEXT)"),
          QStringLiteral("CREATE TRIGGER seen_order AFTER INSERT ON orders BEGIN INSERT INTO seen VALUES "
                         "('batch ' || NEW.note); END"),
          QStringLiteral("CREATE TRIGGER seen_receipt AFTER INSERT ON receipts BEGIN INSERT INTO seen VALUES "
                         "(NEW.line || ' ' || NEW.state); END")});
    // The test's connection holds the write lock until both batches wait in the journal.
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lock"));
    db.setDatabaseName(m_dir.filePath(QStringLiteral("orders.db")));
    ASSERT_TRUE(db.open());
    QSqlQuery lock(db);
    ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
    const qint64 nKey = nextKey();
    const auto row = [&](int nLine, const char* szState) {
        return receipt(QStringLiteral("ahead"), nLine, szState, QString(), nKey);
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
    // Made on the journal's thread, as the recorder hands a file's rows over; more than one
    // transaction holds, so they are written in parts.
    constexpr int kLines = 2100;
    QVector<COrderReceipt> lines;
    QStringList expected{QStringLiteral("batch first"), QStringLiteral("batch second")};
    for (int nLine = 1; nLine <= kLines; ++nLine) {
        lines << row(nLine, "taken") << row(nLine, "pending");
        expected << QStringLiteral("%1 taken").arg(nLine) << QStringLiteral("%1 pending").arg(nLine);
    }
    expected << QStringLiteral("1 placed");
    m_pJournal->recordReceipts([lines] { return lines; });
    std::thread second = placeInThread("second", {row(1, "placed")});
    ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
    first.join();
    second.join();
    m_pJournal->flush();
    lock.finish();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("lock"));

    EXPECT_EQ(rows(QStringLiteral("SELECT what FROM seen ORDER BY rowid")), expected);
    EXPECT_EQ(csvRows(csvOf(QStringLiteral("receipts_"))).size(), 1 + 2 * kLines + 1);
}

// A batch that cannot be journaled places nothing: the service turns its staged receipts into
// dispatch_rejected ones. Rows refused on the journal's thread are reported once per spell.
TEST_F(ReceiptsJournal, LinesOfAnUnjournaledBatchAreDispatchRejected)
{
    exec({QStringLiteral("CREATE TRIGGER refuse_order BEFORE INSERT ON orders WHEN NEW.note = 'refused' "
                         "BEGIN SELECT RAISE(ABORT, 'disk full'); END"),
          QStringLiteral("CREATE TRIGGER refuse_receipt BEFORE INSERT ON receipts WHEN NEW.sha256 = 'full' "
                         "BEGIN SELECT RAISE(ABORT, 'disk full'); END")});

    COrderService service(m_pJournal);
    service.addBatchOrderStrategy(kStrategy);
    const auto place = [&](const boost::shared_ptr<COrderStrategy>& pStrategy, const char* szSha,
                           const char* szNote) {
        // Staged on another thread than the test's: staging belongs to the placing thread only.
        std::thread([&] {
            COrderService::stageReceipts({receipt(QString::fromLatin1(szSha), 1, "placed", QString())});
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
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 2, "taken", QString())});
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 3, "taken", QString())});
    m_pJournal->flush();
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 4, "taken", QString())});
    m_pJournal->flush();

    EXPECT_EQ(rows(QStringLiteral("SELECT note FROM orders ORDER BY id")),
              QStringList{QStringLiteral("placed")});
    EXPECT_EQ(
        rows(QStringLiteral("SELECT sha256, line, state, batch_id = (SELECT batch_id FROM orders), reason "
                            "FROM receipts ORDER BY sha256")),
        (QStringList{QStringLiteral("ok|1|placed|1|"),
                     QStringLiteral("refused|1|dispatch_rejected||委托日志写入失败, 未下出!"),
                     QStringLiteral("stopped|1|dispatch_rejected||批量下单策略已停止, 未下出!")}));
    // Rows without an instruction file go to the receipts directory, beside nothing else.
    EXPECT_EQ(csvRows(csvOf(QStringLiteral("receipts_"))).size(), 4);
    EXPECT_EQ(m_nReceiptFailures.load(), 1);
}

// At a start, each line still pending gets one unfinished row per pending row without an end; a
// second start finds nothing left.
TEST_F(ReceiptsJournal, OpenLinesAreFinishedOnceAtTheNextStart)
{
    const QString strPath = m_dir.filePath(QStringLiteral("in.csv"));
    m_pJournal->recordReceipts({receipt(QStringLiteral("a"), 1, "pending", strPath),
                                receipt(QStringLiteral("a"), 1, "placed", strPath),
                                receipt(QStringLiteral("a"), 2, "pending", strPath),
                                receipt(QStringLiteral("b"), 1, "pending", strPath),
                                receipt(QStringLiteral("b"), 1, "pending", strPath),
                                receipt(QStringLiteral("b"), 1, "unfinished", strPath),
                                receipt(QStringLiteral("c"), 1, "pending", strPath),
                                receipt(QStringLiteral("c"), 1, "cleared", strPath),
                                receipt(QStringLiteral("d"), 5, "taken", strPath)});
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 2);
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 0);
    EXPECT_EQ(
        rows(QStringLiteral("SELECT source, sha256, line, reason, path = '%1' FROM receipts WHERE id > 9 "
                            "ORDER BY id")
                 .arg(strPath)),
        (QStringList{QStringLiteral("file|a|2|previous run ended|1"),
                     QStringLiteral("file|b|1|previous run ended|1")}));
    // A line pending after the last start is found by the next one.
    m_pJournal->recordReceipts({receipt(QStringLiteral("e"), 1, "pending", strPath)});
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 1);
    EXPECT_EQ(csvRows(m_dir.filePath(QStringLiteral("in_receipts_") +
                                     QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                                     QStringLiteral(".csv")))
                  .size(),
              1 + 10 + 3);
}

// A run that ended after committing a batch but before writing its placed rows: the orders table says
// the line was placed, so the next start writes its placed row rather than calling it unfinished. The
// source ids of that run are not handed out again.
TEST_F(ReceiptsJournal, ALinePlacedWhosePlacedRowWasLostIsPlacedAtTheNextStart)
{
    const qint64 nKey = nextKey();
    const auto row = [&](int nLine, const char* szState) {
        return receipt(QStringLiteral("crash"), nLine, szState, QString(), nKey);
    };
    m_pJournal->recordReceipts({row(1, "taken"), row(1, "pending"), row(2, "taken"), row(2, "pending")});
    m_pJournal->flush();
    // The batch of line 1 as the crashed run committed it, its placed row never written.
    exec({QStringLiteral("INSERT INTO orders (batch_id, placed_at, note, source_id, source_line) SELECT 7, "
                         "'2026-01-02T03:04:05', 'lost', id, 1 FROM receipt_sources")});
    m_pJournal->close();
    QString strError;
    ASSERT_TRUE(m_pJournal->open(m_dir.filePath(QStringLiteral("orders.db")), strError));
    m_pJournal->setReceiptsDir(m_dir.path());

    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 1);
    const QString strSha = sha256(QStringLiteral("crash"));
    EXPECT_EQ(
        rows(QStringLiteral("SELECT sha256 = '%1', line, state, COALESCE(batch_id, ''), reason FROM "
                            "receipts WHERE id > 4 ORDER BY id")
                 .arg(strSha)),
        (QStringList{QStringLiteral("1|1|placed|7|"), QStringLiteral("1|2|unfinished||previous run ended")}));
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 0);

    // The same key in a new run is a new source.
    m_pJournal->recordReceipts({row(1, "taken")});
    m_pJournal->recordBatch(kStrategy, oneOrder(QStringLiteral("next")), {row(1, "placed")});
    m_pJournal->flush();
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(DISTINCT id), COUNT(DISTINCT sha256) FROM receipt_sources")),
              QStringList{QStringLiteral("2|1")});
    EXPECT_EQ(rows(QStringLiteral("SELECT o.source_id = MAX(s.id) FROM orders o, receipt_sources s WHERE "
                                  "o.note = 'next'")),
              QStringList{QStringLiteral("1")});
}

// A journal file of the version before lines were linked to orders gets the new columns and table at
// open, its rows kept.
TEST_F(ReceiptsJournal, AnOlderFileGetsTheLinkColumnsAtOpen)
{
    m_pJournal->recordBatch(kStrategy, oneOrder(QStringLiteral("old")));
    m_pJournal->close();
    exec({QStringLiteral("ALTER TABLE orders DROP COLUMN source_line"),
          QStringLiteral("ALTER TABLE orders DROP COLUMN source_id"),
          QStringLiteral("ALTER TABLE receipt_starts DROP COLUMN first_order_id"),
          QStringLiteral("ALTER TABLE receipt_starts DROP COLUMN last_source_id"),
          QStringLiteral("DROP TABLE receipt_sources")});
    QString strError;
    ASSERT_TRUE(m_pJournal->open(m_dir.filePath(QStringLiteral("orders.db")), strError))
        << strError.toStdString();
    EXPECT_EQ(rows(QStringLiteral("SELECT note, source_id IS NULL, source_line IS NULL FROM orders")),
              QStringList{QStringLiteral("old|1|1")});
    EXPECT_EQ(m_pJournal->finishOpenReceipts(QStringLiteral("previous run ended")), 0);
    EXPECT_EQ(rows(QStringLiteral("SELECT first_order_id, last_source_id FROM receipt_starts")),
              QStringList{QStringLiteral("2|0")});
}
