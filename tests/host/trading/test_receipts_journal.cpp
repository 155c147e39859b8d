// The journal's receipts: rows queued without waiting from several threads, interleaved with batches
// whose placed rows commit with them; table order is lifecycle order and the CSV follows the table.
#include "trading/corderjournal.h"
#include "trading/corderservice.h"

#include <gtest/gtest.h>

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

COrderReceipt receipt(const QString& strSha, int nLine, const char* szState, const QString& strPath)
{
    COrderReceipt row;
    row.m_strAt = QStringLiteral("2026-01-02T03:04:05.678");
    row.m_strSource = QStringLiteral("file");
    row.m_strSha256 = strSha;
    row.m_nLine = nLine;
    row.m_strState = QString::fromLatin1(szState);
    row.m_strPath = strPath;
    return row;
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
// rows stay in lifecycle order, each placed row carries its own batch's id, and the CSV holds the
// table's rows in the table's order, header once.
TEST_F(ReceiptsJournal, QueuedRowsAndBatchesFromManyThreadsKeepLifecycleOrder)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 40;
    const QString strInstructions = m_dir.filePath(QStringLiteral("orders.csv"));
    std::vector<std::map<int, qint64>> batchIds(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const QString strSha = QStringLiteral("sha%1").arg(t);
            for (int nLine = 1; nLine <= kLines; ++nLine) {
                m_pJournal->recordReceipts({receipt(strSha, nLine, "taken", strInstructions),
                                            receipt(strSha, nLine, "pending", strInstructions)});
                if (nLine % 2 == 0) {
                    batchIds[t][nLine] = m_pJournal->recordBatch(
                        kStrategy, oneOrder(strSha), {receipt(strSha, nLine, "placed", strInstructions)});
                } else {
                    m_pJournal->recordReceipts({receipt(strSha, nLine, "cleared", strInstructions)});
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    m_pJournal->waitForReceipts();

    for (int t = 0; t < kThreads; ++t) {
        const QString strSha = QStringLiteral("sha%1").arg(t);
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
                << strSha.toStdString() << " line " << nLine;
            if (bPlaced)
                EXPECT_EQ(rows(QStringLiteral("SELECT note FROM orders WHERE batch_id = %1")
                                   .arg(batchIds[t][nLine])),
                          QStringList{strSha});
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

// A batch whose receipts cannot be written is not committed either, and the service turns its staged
// receipts into dispatch_rejected ones; rows refused on the journal's thread are reported once per spell.
TEST_F(ReceiptsJournal, PlacedReceiptsCommitWithTheirBatchOrNotAtAll)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("trigger"));
        db.setDatabaseName(m_dir.filePath(QStringLiteral("orders.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(
            query.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON receipts WHEN NEW.sha256 = "
                                      "'full' AND NEW.state <> 'dispatch_rejected' BEGIN SELECT "
                                      "RAISE(ABORT, 'disk full'); END")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("trigger"));

    COrderService service(m_pJournal);
    service.addBatchOrderStrategy(kStrategy);
    const auto place = [&](const char* szSha, const char* szNote) {
        // Staged on another thread than the test's: staging belongs to the placing thread only.
        std::thread([&] {
            COrderService::stageReceipts({receipt(QString::fromLatin1(szSha), 1, "placed", QString())});
            service.placeOrders(service.getStrategyRef(kStrategy), oneOrder(QString::fromLatin1(szNote)));
        }).join();
    };
    place("ok", "placed");
    place("full", "refused");
    const boost::shared_ptr<COrderStrategy> pStopped = service.getStrategyRef(kStrategy);
    QString strError;
    service.stopOrderStrategy(kStrategy, strError);
    std::thread([&] {
        COrderService::stageReceipts({receipt(QStringLiteral("stopped"), 1, "placed", QString())});
        service.placeOrders(pStopped, oneOrder(QStringLiteral("stopped")));
    }).join();
    // Rows queued back to back share a transaction: the refused ones below must not take these along.
    m_pJournal->waitForReceipts();
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 2, "taken", QString())});
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 3, "taken", QString())});
    m_pJournal->waitForReceipts();
    m_pJournal->recordReceipts({receipt(QStringLiteral("full"), 4, "taken", QString())});
    m_pJournal->waitForReceipts();

    EXPECT_EQ(rows(QStringLiteral("SELECT note FROM orders ORDER BY id")),
              QStringList{QStringLiteral("placed")});
    EXPECT_EQ(
        rows(QStringLiteral("SELECT sha256, line, state, batch_id = (SELECT batch_id FROM orders), reason "
                            "FROM receipts ORDER BY id")),
        (QStringList{QStringLiteral("ok|1|placed|1|"),
                     QStringLiteral("full|1|dispatch_rejected||委托日志写入失败, 未下出!"),
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
