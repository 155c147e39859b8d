#include "common/clogcapture.h"
#include "common/waituntil.h"
#include "journalfile.h"
#include "trading/corderjournal.h"
#include "trading/corderservice.h"

#include <boost/signals2/connection.hpp>

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>

#include <mutex>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace TC;

namespace {

// An order of the batch strategy with one single order per code: volume 100, 200, ..., price 10.25, 11.25,
// ...
COrderParam makeOrder(int nOrderType, const std::string& strNote, const QStringList& codes = {})
{
    COrderParam order;
    order.m_nOrderType = nOrderType;
    order.m_nStrategyNo = 999;
    order.m_nStrategyFlag = 10;
    order.m_strAccountType = QStringLiteral("2");
    order.m_strAccountKey = QStringLiteral("2____10001____1____49");
    order.m_strBrokerType = QStringLiteral("2");
    order.m_strNote = strNote;
    for (int i = 0; i < codes.size(); ++i) {
        COrderSingleParam single;
        single.m_strStockCode = codes[i];
        single.m_nVolume = 100 * (i + 1);
        single.m_dPrice = 10.25 + i;
        single.m_dAmount = single.m_dPrice * single.m_nVolume;
        single.m_nExtra = 7 + i;
        single.m_nPriceType = 11;
        order.m_singleParams << single;
    }
    return order;
}

const COrderParam kOneSingle = makeOrder(23, "n", {"600000"});

class OrderServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString strError;
        const mode_t nOldMask = umask(022); // the files must be owner-only whatever the umask
        const bool bOpened = m_journal.open(m_strPath, strError);
        umask(nOldMask);
        ASSERT_TRUE(bOpened) << strError.toStdString();
        m_service.addBatchOrderStrategy(999);
        ASSERT_TRUE(m_service.getStrategy(999, m_param));
    }
    QStringList rows(const char* szSql) const { return sqlRows(m_strPath, QString::fromUtf8(szSql)); }
    void place(const std::string& strNote, const QStringList& codes = {})
    {
        m_service.placeOrders(m_service.getStrategyRef(999), {makeOrder(23, strNote, codes)});
    }

    QTemporaryDir m_dir;
    QString m_strPath = m_dir.filePath(QStringLiteral("journal.db"));
    COrderJournal m_journal;
    COrderService m_service{boost::shared_ptr<COrderJournal>(&m_journal, [](COrderJournal*) {})};
    COrderStrategyParam m_param;
};

// Every field lands under its public column name, which outside tools rely on; ids go on after a reopen.
TEST_F(OrderServiceTest, BatchGivesOneRowPerSingleOrderAndOneForAnOrderWithoutAndIdsGoOnAfterReopening)
{
    // The parameter text arrives in the local 8-bit encoding, GBK on the trading desks' machines.
    QTextCodec* pLocalCodec = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("GBK"));
    COrderParam order = makeOrder(23, "单笔备注", {"600000"});
    order.m_nAlgoOrderType = 24;
    order.m_strParamText = QTextCodec::codecForLocale()->fromUnicode(QStringLiteral("参数=1")).toStdString();
    order.m_strCounterpart = "B123";
    order.m_strAlgoText = "TWAP";
    order.m_nTradeStrategyType = 3;
    order.m_strSeq = QStringLiteral("17");
    order.m_strDbfPriceText = QStringLiteral("3");
    order.m_strStrategyName = "策略甲";
    order.m_strVolumeText = "100";
    order.m_strGivenAccountType = QStringLiteral("1");
    order.m_nZdclIndex = 2;
    order.m_bNamedStrategy = true;
    order.m_nHedgeFlag = 1;
    const QString strBefore = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    const qint64 nBatch = m_journal.recordBatch(
        999, {order, makeOrder(24, "basket", {"000001", "000002"}), makeOrder(25, "empty")});
    QTextCodec::setCodecForLocale(pLocalCodec);
    const QString strAfter = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    ASSERT_GT(nBatch, 0);

    // One placed_at for the whole batch.
    EXPECT_EQ(sqlRows(m_strPath, QStringLiteral("SELECT DISTINCT batch_id, strategy_no, strategy_flag, "
                                                "account_key, placed_at BETWEEN '%1' AND '%2' FROM orders")
                                     .arg(strBefore, strAfter)),
              QStringList{QStringLiteral("%1|999|10|2____10001____1____49|1").arg(nBatch)});
    EXPECT_EQ(
        rows("SELECT seq, order_type, account_type, broker_type, algo_order_type, algo_text, param_text, "
             "dbf_price_text, strategy_name, note, volume_text, given_account_type, zdcl_index, "
             "named_strategy, hedge_flag, counterpart, trade_strategy_type, single_index, stock_code, "
             "volume, price, amount, extra, price_type FROM orders WHERE order_type = 23"),
        QStringList{
            "17|23|2|2|24|TWAP|参数=1|3|策略甲|单笔备注|100|1|2|1|1|B123|3|0|600000|100|10.25|1025|7|11"});
    // A basket's single orders in order; an order without any keeps one row of NULLs, its empty texts ''.
    EXPECT_EQ(
        rows("SELECT note, single_index, stock_code, volume, price, amount, extra, price_type, param_text "
             "FROM orders WHERE order_type <> 23 ORDER BY id"),
        (QStringList{"basket|0|000001|100|10.25|1025|7|11|", "basket|1|000002|200|11.25|2250|8|11|",
                     "empty|NULL|NULL|NULL|NULL|NULL|NULL|NULL|"}));

    m_journal.close();
    EXPECT_EQ(m_journal.recordBatch(999, {kOneSingle}), -1) << "a closed journal records nothing";
    QString strError;
    ASSERT_TRUE(m_journal.open(m_strPath, strError)) << strError.toStdString();
    EXPECT_EQ(m_journal.recordBatch(999, {kOneSingle}), nBatch + 1);
}

// A batch of nOrders orders with 0, 1 and 2 single orders in turn, codes "<order>-<single>"; the order of
// index nMarker gets the code MARKER on its first single order.
QVector<COrderParam> mixedBatch(int nOrders, int nMarker)
{
    QVector<COrderParam> batch;
    for (int i = 0; i < nOrders; ++i) {
        QStringList codes;
        for (int k = 0; k < i % 3; ++k)
            codes << (i == nMarker && k == 0 ? QStringLiteral("MARKER")
                                             : QStringLiteral("%1-%2").arg(i).arg(k));
        batch << makeOrder(23, std::to_string(i), codes);
    }
    return batch;
}

// A batch goes in whole or not at all, each failure is announced and logged, and the journal stays usable.
TEST_F(OrderServiceTest, FailedInsertLeavesNoRowOfTheBatchAndTheJournalUsable)
{
    rows("CREATE TRIGGER fail_on_marker BEFORE INSERT ON orders WHEN NEW.stock_code = 'MARKER' "
         "BEGIN SELECT RAISE(ABORT, 'marker'); END");
    rows("CREATE TRIGGER fail_cancel BEFORE INSERT ON cancels BEGIN SELECT RAISE(ABORT, 'marker'); END");
    const struct
    {
        const char* pName;
        QVector<COrderParam> batch;
        const char* pRows;
    } cases[] = {
        {"last row of a small batch",
         {makeOrder(24, "x", {"1", "2"}), makeOrder(24, "x", {"1", "2", "MARKER"})},
         "5"},
        {"a row in the middle of a large batch", mixedBatch(75, 40), "100"},
    };
    // The host shows these to the user: the log may sit on the very disk that failed.
    std::vector<std::pair<COrderJournal::ERecord, int>> failures, expected;
    boost::signals2::scoped_connection connection = m_journal.m_sigRecordFailed.connect(
        [&failures](COrderJournal::ERecord eRecord, int nCount) { failures.emplace_back(eRecord, nCount); });
    for (const auto& row : cases) {
        CLogCapture log;
        EXPECT_EQ(m_journal.recordBatch(999, row.batch), -1) << row.pName;
        expected.emplace_back(COrderJournal::RECORD_BATCH, row.batch.size());
        EXPECT_TRUE(log.contains("rolled back") && log.contains("marker")) << row.pName << ": not logged";
        EXPECT_EQ(rows("SELECT COUNT(*) FROM orders"), QStringList{"0"}) << row.pName;
    }
    EXPECT_FALSE(m_journal.recordCancel("cancel_order", "1001", "42", false));
    expected.emplace_back(COrderJournal::RECORD_CANCEL, 1);
    EXPECT_EQ(failures, expected);

    // Not left inside the failed transaction: the same batches now go in whole.
    rows("DROP TRIGGER fail_on_marker");
    for (const auto& row : cases) {
        rows("DELETE FROM orders");
        EXPECT_GT(m_journal.recordBatch(999, row.batch), 0) << row.pName;
        EXPECT_EQ(rows("SELECT COUNT(*) FROM orders"), QStringList{row.pRows}) << row.pName;
    }
    // The large one goes partly through multi-row inserts, the rest one at a time: rows in order, each with
    // its own values and the batch's shared ones.
    EXPECT_EQ(rows("SELECT note, single_index FROM orders ORDER BY id"),
              rows("SELECT note, single_index FROM orders ORDER BY CAST(note AS INTEGER), single_index"));
    EXPECT_EQ(rows("SELECT COUNT(*) FROM orders WHERE volume <> 100 * (single_index + 1) OR (stock_code <> "
                   "note || '-' || single_index AND stock_code <> 'MARKER')"),
              QStringList{"0"});
    EXPECT_EQ(rows("SELECT COUNT(DISTINCT batch_id), COUNT(DISTINCT placed_at), COUNT(DISTINCT strategy_no), "
                   "COUNT(strategy_no), MIN(strategy_no), COUNT(*) - COUNT(single_index) FROM orders"),
              QStringList{"1|1|1|100|999|25"});
}

// A file that is not a usable journal is refused with its name and the reason, and left as it was.
TEST(OrderJournalOpenTest, RefusesWhatIsNotAUsableJournalNamingTheFileAndLeavesItAlone)
{
    QTemporaryDir dir;
    const QString strNotes = dir.filePath(QStringLiteral("notes.txt"));
    // Long enough to hold a full database file header, so that SQLite really reads one.
    const QByteArray notes = QByteArray("Plain notes, not a database.\n").repeated(8);
    QFile file(strNotes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(notes) == notes.size());
    file.close();
    const QString strForeign = dir.filePath(QStringLiteral("other.db"));
    sqlRows(strForeign, QStringLiteral("CREATE TABLE orders (id INTEGER PRIMARY KEY, what TEXT)"));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("dir.db"))));
    const std::pair<QString, const char*> cases[] = {
        {dir.filePath(QStringLiteral("no/such/dir/journal.db")), "does not exist"},
        {strNotes, "not a usable database"},
        {dir.filePath(QStringLiteral("dir.db")), "is a directory"},
        {strForeign, "no column batch_id"},
    };
    for (const auto& [strPath, szReason] : cases) {
        COrderJournal journal;
        QString strError;
        EXPECT_FALSE(journal.open(strPath, strError));
        EXPECT_TRUE(strError.contains(strPath) && strError.contains(QLatin1String(szReason)))
            << strError.toStdString();
        EXPECT_EQ(journal.recordBatch(999, {kOneSingle}), -1);
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), notes);
    EXPECT_EQ(sqlRows(strForeign, QStringLiteral("SELECT name FROM sqlite_master")), QStringList{"orders"});

    // SQLite quietly falls back to reading a read-only file. Root may write anything, so that open runs in a
    // child that gives up root first.
    const QString strReadOnly = dir.filePath(QStringLiteral("journal.db"));
    QString strError;
    ASSERT_TRUE(COrderJournal().open(strReadOnly, strError)) << strError.toStdString();
    ASSERT_EQ(chmod(QFile::encodeName(strReadOnly).constData(), 0444), 0);
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const auto openAsNobody = [&strReadOnly, &strError] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 2;
        const bool bOpened = COrderJournal().open(strReadOnly, strError);
        fprintf(stderr, "%s\n", strError.toUtf8().constData());
        return !bOpened && strError.contains(strReadOnly) ? 0 : 1;
    };
    EXPECT_EXIT(_exit(openAsNobody()), ::testing::ExitedWithCode(0), "read-only");
}

// Files are owner-only whatever the umask; an idle journal copies its write-ahead log into the file
// itself, where a copy of that file alone finds the rows.
TEST_F(OrderServiceTest, FilesAreOwnerOnlyAndAnIdleJournalFoldsItsLogBackIntoTheFile)
{
    ASSERT_GT(m_journal.recordBatch(999, QVector<COrderParam>(200, kOneSingle)), 0);
    const QString strCopy = m_dir.filePath(QStringLiteral("copy.db"));
    EXPECT_TRUE(waitUntil([&] {
        QFile::remove(strCopy);
        return QFile::copy(m_strPath, strCopy) &&
               sqlRows(strCopy, QStringLiteral("SELECT COUNT(*) FROM orders")) == QStringList{"200"};
    }));
    for (const char* pSuffix : {"", "-wal", "-shm"})
        EXPECT_EQ(QFileInfo(m_strPath + QLatin1String(pSuffix)).permissions() & 0x0077, 0)
            << "journal" << pSuffix;
}

// Only a running strategy answers and places; a stop between look-up and call is refused and logged.
TEST_F(OrderServiceTest, StrategyAnswersAndPlacesOnlyWhileItRuns)
{
    const auto expectRunning = [this](int nStrategyNo, bool bRunning) {
        COrderStrategyParam param;
        EXPECT_EQ(m_service.isStrategyRunning(nStrategyNo), bRunning) << nStrategyNo;
        EXPECT_EQ(m_service.getStrategy(nStrategyNo, param) && param.m_nStrategyNo == nStrategyNo, bRunning);
        EXPECT_EQ(m_service.getStrategyRef(nStrategyNo) != nullptr, bRunning);
    };
    expectRunning(999, true);
    expectRunning(1000, false);
    const boost::shared_ptr<COrderStrategy> pKept = m_service.getStrategyRef(999);
    m_service.addBatchOrderStrategy(999);
    EXPECT_EQ(m_service.getStrategyRef(999), pKept) << "a second start keeps the running object";
    m_service.placeOrders(pKept, {kOneSingle});

    QString strError;
    EXPECT_EQ(m_service.stopOrderStrategy(999, strError), 0);
    expectRunning(999, false);
    CLogCapture log;
    m_service.placeOrders(pKept, {kOneSingle}); // stopped between the caller's look-up and the call
    m_service.placeOrders(m_service.getStrategyRef(999), {kOneSingle});
    EXPECT_EQ(log.count("placeOrders refused"), 2);
    for (int nStrategyNo : {999, 1000}) { // already stopped, never started
        strError.clear();
        EXPECT_NE(m_service.stopOrderStrategy(nStrategyNo, strError), 0);
        EXPECT_TRUE(strError.contains(QString::number(nStrategyNo))) << strError.toStdString();
    }

    m_service.addBatchOrderStrategy(999);
    expectRunning(999, true);
    EXPECT_EQ(m_service.getStrategyRef(999), pKept) << "callers that kept it see it running again";
    m_service.placeOrders(pKept, {kOneSingle});
    m_journal.flush();
    EXPECT_EQ(rows("SELECT COUNT(*) FROM orders"), QStringList{"2"});
}

// Calls from several threads each stay one whole batch of contiguous rows.
TEST_F(OrderServiceTest, ConcurrentBatchesStayWholeAndContiguous)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (int b = 0; b < 25; ++b) {
                const std::string strTag = std::to_string(t * 100 + b);
                m_service.placeOrders(
                    m_service.getStrategyRef(999),
                    {makeOrder(23, strTag), makeOrder(24, strTag, {"1", "2"}), makeOrder(25, strTag)});
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    m_journal.flush();
    // Per batch: rows, id span, calls it mixes, order types in row order.
    const QStringList batches = rows("SELECT COUNT(*), MAX(id) - MIN(id), COUNT(DISTINCT note), "
                                     "group_concat(order_type) FROM (SELECT * FROM orders ORDER BY id) "
                                     "GROUP BY batch_id");
    EXPECT_EQ(batches.count(QStringLiteral("4|3|1|23,24,24,25")), 100) << batches.join(' ').toStdString();
}

// placeOrders returns without waiting for the journal: batches placed while another writer holds the file
// are written, in their order, once it lets go, and each reports back once.
TEST_F(OrderServiceTest, PlacingDoesNotWaitForTheJournal)
{
    std::vector<qint64> journaled;
    std::mutex mutex;
    boost::signals2::scoped_connection connection =
        m_service.m_sigBatchJournaled.connect([&](int nStrategyNo, qint64 nBatchId, int nOrders) {
            EXPECT_EQ(nStrategyNo, 999);
            EXPECT_EQ(nOrders, 1);
            std::lock_guard<std::mutex> lock(mutex);
            journaled.push_back(nBatchId);
        });
    {
        CWriteLock lock(m_strPath);
        ASSERT_TRUE(lock.isHeld());
        place("first", {"600000"});
        place("second", {"600036"});
        {
            std::lock_guard<std::mutex> guard(mutex);
            EXPECT_TRUE(journaled.empty()) << "placeOrders waited for a journal it could not write to";
        }
        lock.release();
        ASSERT_FALSE(lock.isHeld());
    }
    m_journal.flush();
    EXPECT_EQ(rows("SELECT batch_id, note FROM orders ORDER BY id"), (QStringList{"1|first", "2|second"}));
    std::lock_guard<std::mutex> guard(mutex);
    EXPECT_EQ(journaled, (std::vector<qint64>{1, 2}));
}

// Cancels and tasks give one row each, surplus arguments dropped; incomplete ones give none.
TEST_F(OrderServiceTest, CancelsAndTasksGiveOneRowEachAndIncompleteOnesNone)
{
    m_service.cancelOrders({"cancel_order", "10001", "A-17"}, m_param, -1, false);
    m_service.cancelOrders({"cancel_order_number", "资金账号一", "4711", "surplus"}, m_param, -1, true);
    m_service.cancelOrders({"200", "10001"}, m_param, -1, false);
    m_service.cancelOrders({}, m_param, -1, false);
    m_service.tryOptTasks(m_param, {{"208", "任务一"}, {}, {"210"}, {"209", "B", "surplus"}},
                          {-1, -1, -1, -1});

    const QString strToday = QDate::currentDate().toString(Qt::ISODate);
    EXPECT_EQ(rows("SELECT code, account, order_id, by_number, substr(placed_at, 1, 10) FROM cancels"),
              (QStringList{"cancel_order|10001|A-17|0|" + strToday,
                           "cancel_order_number|资金账号一|4711|1|" + strToday}));
    EXPECT_EQ(rows("SELECT code, argument FROM tasks ORDER BY id"),
              (QStringList{"208|任务一", "210|", "209|B"}));
}

} // namespace
