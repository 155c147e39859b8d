#include "common/clogcapture.h"
#include "trading/corderjournal.h"
#include "trading/corderservice.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QVariantMap>

#include <atomic>
#include <map>
#include <set>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace TC;

namespace {

// Reads the journal file through a connection of its own on the test thread, as an outside tool would.
class CJournalReader
{
public:
    explicit CJournalReader(const QString& strPath)
        : m_strName(QStringLiteral("journal_reader_%1").arg(++s_nCounter))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strName);
        db.setDatabaseName(strPath);
        EXPECT_TRUE(db.open()) << strPath.toStdString();
    }
    ~CJournalReader()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_strName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_strName);
    }
    CJournalReader(const CJournalReader&) = delete;
    CJournalReader& operator=(const CJournalReader&) = delete;

    std::vector<QVariantMap> rows(const QString& strSql) const
    {
        std::vector<QVariantMap> result;
        QSqlQuery query(QSqlDatabase::database(m_strName, false));
        EXPECT_TRUE(query.exec(strSql))
            << strSql.toStdString() << ": " << query.lastError().text().toStdString();
        while (query.next())
        {
            QVariantMap row;
            const QSqlRecord record = query.record();
            for (int i = 0; i < record.count(); ++i)
            {
                row.insert(record.fieldName(i), record.value(i));
            }
            result.push_back(row);
        }
        return result;
    }

    QVariant scalar(const QString& strSql) const
    {
        const std::vector<QVariantMap> result = rows(strSql);
        return result.empty() ? QVariant() : result.front().first();
    }

    bool exec(const QString& strSql) const
    {
        QSqlQuery query(QSqlDatabase::database(m_strName, false));
        const bool bOk = query.exec(strSql);
        EXPECT_TRUE(bOk) << strSql.toStdString() << ": " << query.lastError().text().toStdString();
        return bOk;
    }

private:
    static std::atomic<int> s_nCounter;
    QString m_strName;
};

std::atomic<int> CJournalReader::s_nCounter{0};

// Makes the local 8-bit encoding GBK for one test, as on the trading desks' machines.
class CLocaleCodecGuard
{
public:
    explicit CLocaleCodecGuard(const char* pName)
    {
        QTextCodec::setCodecForLocale(QTextCodec::codecForName(pName));
    }
    ~CLocaleCodecGuard() { QTextCodec::setCodecForLocale(nullptr); }
};

COrderSingleParam makeSingle(const QString& strCode, int nVolume, double dPrice, int nExtra, int nPriceType)
{
    COrderSingleParam single;
    single.m_strStockCode = strCode;
    single.m_nVolume = nVolume;
    single.m_dPrice = dPrice;
    single.m_dAmount = dPrice * nVolume;
    single.m_nExtra = nExtra;
    single.m_nPriceType = nPriceType;
    return single;
}

COrderParam makeOrder(int nOrderType, const std::string& strNote, const QVector<COrderSingleParam>& singles)
{
    COrderParam order;
    order.m_nOrderType = nOrderType;
    order.m_nStrategyNo = 999;
    order.m_nStrategyFlag = 10;
    order.m_singleParams = singles;
    order.m_strAccountType = QStringLiteral("2");
    order.m_strAccountKey = QStringLiteral("2____10001____1____49");
    order.m_strBrokerType = QStringLiteral("2");
    order.m_strNote = strNote;
    return order;
}

QString isoNow()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}

class OrderJournalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_strPath = m_dir.filePath(QStringLiteral("journal.db"));
        QString strError;
        ASSERT_TRUE(m_journal.open(m_strPath, strError)) << strError.toStdString();
    }

    QTemporaryDir m_dir;
    QString m_strPath;
    COrderJournal m_journal;
};

TEST_F(OrderJournalTest, MixedBatchGivesOneRowPerSingleOrderAndOneForAnOrderWithout)
{
    CLocaleCodecGuard gbk("GBK");
    COrderParam single = makeOrder(23, "单笔备注", {makeSingle(QStringLiteral("600000"), 100, 10.5, 7, 11)});
    single.m_nAlgoOrderType = 24;
    single.m_strParamText =
        QTextCodec::codecForName("GBK")->fromUnicode(QStringLiteral("参数=1")).toStdString();
    single.m_strCounterpart = "B123";
    single.m_strAlgoText = "TWAP";
    single.m_nTradeStrategyType = 3;
    single.m_strSeq = QStringLiteral("17");
    single.m_strDbfPriceText = QStringLiteral("3");
    single.m_strStrategyName = "策略甲";
    single.m_strVolumeText = "100";
    single.m_strGivenAccountType = QStringLiteral("1");
    single.m_nZdclIndex = 2;
    single.m_bNamedStrategy = true;
    single.m_nHedgeFlag = 1;
    const COrderParam basket = makeOrder(24, "basket",
                                         {makeSingle(QStringLiteral("000001"), 200, 12.0, 1, 5),
                                          makeSingle(QStringLiteral("000002"), 300, 8.25, 2, 6),
                                          makeSingle(QStringLiteral("000003"), 400, 3.5, 3, 12)});
    const COrderParam empty = makeOrder(25, "empty", {});

    const QString strBefore = isoNow();
    const qint64 nBatch = m_journal.recordBatch(999, {single, basket, empty});
    const QString strAfter = isoNow();
    ASSERT_GT(nBatch, 0);

    CJournalReader reader(m_strPath);
    const std::vector<QVariantMap> rows = reader.rows(QStringLiteral("SELECT * FROM orders ORDER BY id"));
    ASSERT_EQ(rows.size(), 5u);
    const QString strPlacedAt = rows[0].value(QStringLiteral("placed_at")).toString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"))
                    .match(strPlacedAt)
                    .hasMatch())
        << strPlacedAt.toStdString();
    EXPECT_LE(strBefore.toStdString(), strPlacedAt.toStdString());
    EXPECT_GE(strAfter.toStdString(), strPlacedAt.toStdString());
    for (const QVariantMap& row : rows)
    {
        EXPECT_EQ(row.value(QStringLiteral("batch_id")).toLongLong(), nBatch);
        EXPECT_EQ(row.value(QStringLiteral("placed_at")).toString(), strPlacedAt) << "one time for one batch";
        EXPECT_EQ(row.value(QStringLiteral("strategy_no")).toInt(), 999);
        EXPECT_EQ(row.value(QStringLiteral("strategy_flag")).toInt(), 10);
        EXPECT_EQ(row.value(QStringLiteral("account_key")).toString(),
                  QStringLiteral("2____10001____1____49"));
    }

    // Every field of the single order, under its public column name.
    // clang-format off
    const std::vector<std::pair<const char*, QVariant>> expected = {
        {"order_type", 23}, {"account_type", "2"}, {"broker_type", "2"}, {"stock_code", "600000"},
        {"volume", 100}, {"price", 10.5}, {"amount", 1050.0}, {"price_type", 11}, {"algo_order_type", 24},
        {"algo_text", "TWAP"}, {"param_text", "参数=1"}, {"dbf_price_text", "3"}, {"strategy_name", "策略甲"},
        {"note", "单笔备注"}, {"volume_text", "100"}, {"given_account_type", "1"}, {"zdcl_index", 2},
        {"named_strategy", 1}, {"hedge_flag", 1}, {"counterpart", "B123"}, {"trade_strategy_type", 3},
        {"single_index", 0}, {"extra", 7}, {"seq", "17"},
    };
    // clang-format on
    for (const auto& column : expected)
    {
        const QVariant value = rows[0].value(QLatin1String(column.first));
        EXPECT_EQ(value.toString().toStdString(), column.second.toString().toStdString()) << column.first;
    }

    // The basket: its single orders in their order, the order's own fields repeated on each row.
    const char* const codes[] = {"000001", "000002", "000003"};
    for (int i = 0; i < 3; ++i)
    {
        const QVariantMap& row = rows[1 + i];
        EXPECT_EQ(row.value(QStringLiteral("order_type")).toInt(), 24);
        EXPECT_EQ(row.value(QStringLiteral("note")).toString(), QStringLiteral("basket"));
        EXPECT_EQ(row.value(QStringLiteral("single_index")).toInt(), i);
        EXPECT_EQ(row.value(QStringLiteral("stock_code")).toString(), QLatin1String(codes[i]));
        EXPECT_EQ(row.value(QStringLiteral("volume")).toInt(), 200 + 100 * i);
        EXPECT_EQ(row.value(QStringLiteral("extra")).toInt(), 1 + i);
        EXPECT_EQ(row.value(QStringLiteral("zdcl_index")).toInt(), -1) << "not given";
    }
    EXPECT_DOUBLE_EQ(rows[2].value(QStringLiteral("price")).toDouble(), 8.25);

    // The order without single orders is still there, with empty single-order columns.
    const QVariantMap& none = rows[4];
    EXPECT_EQ(none.value(QStringLiteral("order_type")).toInt(), 25);
    EXPECT_EQ(none.value(QStringLiteral("note")).toString(), QStringLiteral("empty"));
    for (const char* pColumn :
         {"single_index", "stock_code", "volume", "price", "amount", "extra", "price_type"})
    {
        EXPECT_TRUE(none.value(QLatin1String(pColumn)).isNull()) << pColumn;
    }
    EXPECT_FALSE(none.value(QStringLiteral("param_text")).isNull()) << "empty texts are '' not NULL";
}

TEST_F(OrderJournalTest, BatchIdsIncreaseAndContinueAfterReopening)
{
    const COrderParam order = makeOrder(23, "n", {makeSingle(QStringLiteral("600000"), 100, 1.0, 0, 11)});
    const qint64 nFirst = m_journal.recordBatch(999, {order, order});
    const qint64 nSecond = m_journal.recordBatch(999, {order});
    EXPECT_GT(nFirst, 0);
    EXPECT_EQ(nSecond, nFirst + 1);

    m_journal.close();
    EXPECT_EQ(m_journal.recordBatch(999, {order}), -1) << "a closed journal records nothing";
    COrderJournal reopened;
    QString strError;
    ASSERT_TRUE(reopened.open(m_strPath, strError)) << strError.toStdString();
    EXPECT_EQ(reopened.recordBatch(999, {order}), nSecond + 1);

    CJournalReader reader(m_strPath);
    EXPECT_EQ(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM orders")).toInt(), 4);
    EXPECT_EQ(reader.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
}

// Where the insert fails inside the batch; whatever came before it in the batch must be gone too.
struct CFailureRow
{
    const char* pName;
    int nOrder;
    int nSingle;
};

// Names the row in failure messages instead of dumping its bytes.
void PrintTo(const CFailureRow& row, std::ostream* pOut)
{
    *pOut << row.pName;
}

class OrderJournalAtomicityTest : public OrderJournalTest, public ::testing::WithParamInterface<CFailureRow>
{
};

TEST_P(OrderJournalAtomicityTest, FailedInsertLeavesNoRowOfTheBatch)
{
    const CFailureRow& failure = GetParam();
    const COrderParam good = makeOrder(23, "good", {makeSingle(QStringLiteral("600000"), 100, 1.0, 0, 11)});
    const qint64 nBefore = m_journal.recordBatch(999, {good});
    ASSERT_GT(nBefore, 0);

    CJournalReader reader(m_strPath);
    ASSERT_TRUE(reader.exec(
        QStringLiteral("CREATE TRIGGER fail_on_marker BEFORE INSERT ON orders "
                       "WHEN NEW.stock_code = 'MARKER' BEGIN SELECT RAISE(ABORT, 'marker'); END")));
    QVector<COrderParam> batch;
    for (int i = 0; i < 3; ++i)
    {
        QVector<COrderSingleParam> singles;
        for (int j = 0; j < 3; ++j)
        {
            const bool bMarker = i == failure.nOrder && j == failure.nSingle;
            singles << makeSingle(bMarker ? QStringLiteral("MARKER") : QStringLiteral("00000%1").arg(j), 100,
                                  1.0, j, 11);
        }
        batch << makeOrder(23, "doomed", singles);
    }
    CLogCapture log;
    EXPECT_EQ(m_journal.recordBatch(999, batch), -1);
    EXPECT_TRUE(log.contains("rolled back")) << "the SQL error is logged";
    EXPECT_TRUE(log.contains("marker"));
    EXPECT_EQ(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM orders WHERE note = 'doomed'")).toInt(), 0);
    EXPECT_EQ(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM orders")).toInt(), 1);

    // The journal is not left inside the failed transaction.
    ASSERT_TRUE(reader.exec(QStringLiteral("DROP TRIGGER fail_on_marker")));
    EXPECT_EQ(m_journal.recordBatch(999, batch), nBefore + 1);
    EXPECT_EQ(reader.scalar(QStringLiteral("SELECT COUNT(*) FROM orders WHERE note = 'doomed'")).toInt(), 9);
    EXPECT_TRUE(m_journal.recordCancel("200", "acc", "1", false));
}

INSTANTIATE_TEST_SUITE_P(Positions, OrderJournalAtomicityTest,
                         ::testing::Values(CFailureRow{"FirstSingleOfSecondOrder", 1, 0},
                                           CFailureRow{"LastSingleOfSecondOrder", 1, 2},
                                           CFailureRow{"LastSingleOfLastOrder", 2, 2}),
                         [](const ::testing::TestParamInfo<CFailureRow>& info) { return info.param.pName; });

TEST_F(OrderJournalTest, TablesHaveTheirPublicColumns)
{
    const std::map<QString, QStringList> tables = {
        {QStringLiteral("orders"),
         QStringLiteral(
             "id batch_id placed_at seq strategy_no order_type account_type account_key broker_type "
             "stock_code volume price amount price_type algo_order_type algo_text param_text "
             "dbf_price_text strategy_name note volume_text given_account_type zdcl_index "
             "named_strategy hedge_flag counterpart trade_strategy_type single_index extra "
             "strategy_flag")
             .split(QLatin1Char(' '))},
        {QStringLiteral("cancels"),
         QStringLiteral("id code account order_id by_number placed_at").split(' ')},
        {QStringLiteral("tasks"), QStringLiteral("id code argument placed_at").split(QLatin1Char(' '))},
    };
    CJournalReader reader(m_strPath);
    for (const auto& table : tables)
    {
        QStringList columns;
        for (const QVariantMap& row : reader.rows(QStringLiteral("PRAGMA table_info(%1)").arg(table.first)))
        {
            columns << row.value(QStringLiteral("name")).toString();
        }
        EXPECT_EQ(columns.join(' ').toStdString(), table.second.join(' ').toStdString())
            << table.first.toStdString();
    }
}

// ---------------------------------------------------------------------------------------------------------
// Opening

struct COpenFailureRow
{
    const char* pName;
    const char* pFileName; // relative to the temporary directory
    const char* pContent;  // written first when not null; a directory is made for ""
    const char* pReasonPart;
};

void PrintTo(const COpenFailureRow& row, std::ostream* pOut)
{
    *pOut << row.pName;
}

class OrderJournalOpenFailureTest : public ::testing::TestWithParam<COpenFailureRow>
{
};

TEST_P(OrderJournalOpenFailureTest, FailsWithAReasonNamingTheFileAndKeepsItUntouched)
{
    const COpenFailureRow& row = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath(QLatin1String(row.pFileName));
    if (row.pContent && *row.pContent == '\0')
    {
        ASSERT_TRUE(QDir().mkpath(strPath));
    }
    else if (row.pContent)
    {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.pContent);
    }

    COrderJournal journal;
    QString strError;
    EXPECT_FALSE(journal.open(strPath, strError));
    EXPECT_TRUE(strError.contains(strPath)) << strError.toStdString();
    EXPECT_TRUE(strError.contains(QLatin1String(row.pReasonPart))) << strError.toStdString();
    EXPECT_EQ(journal.recordBatch(999, {makeOrder(23, "x", {})}), -1);
    EXPECT_FALSE(journal.recordTask("208", "x"));
    if (row.pContent && *row.pContent != '\0')
    {
        QFile file(strPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray(row.pContent)) << "a file that is not ours is left as it was";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OrderJournalOpenFailureTest,
    ::testing::Values(
        COpenFailureRow{"MissingDirectory", "no/such/dir/journal.db", nullptr, "does not exist"},
        COpenFailureRow{"NotADatabase", "notes.txt",
                        "These are plain notes, not a database; long enough to hold a full file header.\n"
                        "Second line of the notes so the file is not tiny at all, whatever SQLite reads.\n",
                        "not a usable database"},
        COpenFailureRow{"Directory", "journal.db", "", "is a directory"}),
    [](const ::testing::TestParamInfo<COpenFailureRow>& info) { return info.param.pName; });

TEST(OrderJournalOpenTest, RefusesADatabaseWhoseOrdersTableLacksColumns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath(QStringLiteral("other.db"));
    {
        CJournalReader other(strPath);
        ASSERT_TRUE(other.exec(QStringLiteral("CREATE TABLE orders (id INTEGER PRIMARY KEY, what TEXT)")));
    }
    COrderJournal journal;
    QString strError;
    EXPECT_FALSE(journal.open(strPath, strError));
    EXPECT_TRUE(strError.contains(strPath)) << strError.toStdString();
    EXPECT_TRUE(strError.contains(QStringLiteral("no column batch_id"))) << strError.toStdString();
    CJournalReader other(strPath);
    EXPECT_EQ(other.scalar(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")).toInt(), 1)
        << "nothing was added to a file that is not a journal";
}

// Opens a read-only journal file and exits 0 when the open failed with a reason naming the file.
int openReadOnlyExitCode(const QString& strPath)
{
    COrderJournal journal;
    QString strError;
    const bool bOpened = journal.open(strPath, strError);
    fprintf(stderr, "%s\n", strError.toUtf8().constData());
    return !bOpened && strError.contains(strPath) && strError.contains(QLatin1String("read-only")) ? 0 : 1;
}

TEST(OrderJournalOpenTest, FailsOnAReadOnlyFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath(QStringLiteral("journal.db"));
    {
        COrderJournal journal;
        QString strError;
        ASSERT_TRUE(journal.open(strPath, strError)) << strError.toStdString();
    }
    ASSERT_EQ(chmod(QFile::encodeName(strPath).constData(), 0444), 0);
    if (geteuid() != 0)
    {
        EXPECT_EQ(openReadOnlyExitCode(strPath), 0);
        return;
    }
    // Root may write anything, so the open runs in a child that gives up root first.
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    EXPECT_EXIT(
        {
            if (setgid(65534) != 0 || setuid(65534) != 0)
            {
                _exit(2);
            }
            _exit(openReadOnlyExitCode(strPath));
        },
        ::testing::ExitedWithCode(0), "read-only");
}

// ---------------------------------------------------------------------------------------------------------
// Order service

class OrderServiceTest : public OrderJournalTest
{
protected:
    void SetUp() override
    {
        OrderJournalTest::SetUp();
        m_pJournal = boost::shared_ptr<COrderJournal>(&m_journal, [](COrderJournal*) {});
        m_pService = std::make_unique<COrderService>(m_pJournal);
    }

    // The three ways of asking agree on whether the strategy runs.
    void expectRunning(int nStrategyNo, bool bRunning)
    {
        COrderStrategyParam param;
        EXPECT_EQ(m_pService->isStrategyRunning(nStrategyNo), bRunning);
        EXPECT_EQ(m_pService->getStrategy(nStrategyNo, param), bRunning);
        EXPECT_EQ(m_pService->getStrategyRef(nStrategyNo) != nullptr, bRunning);
        if (bRunning)
        {
            EXPECT_EQ(param.m_nStrategyNo, nStrategyNo);
            EXPECT_EQ(param.m_strName, QStringLiteral("batch order"));
        }
    }

    int orderRows()
    {
        CJournalReader reader(m_strPath);
        return reader.scalar(QStringLiteral("SELECT COUNT(*) FROM orders")).toInt();
    }

    boost::shared_ptr<COrderJournal> m_pJournal;
    std::unique_ptr<COrderService> m_pService;
};

TEST_F(OrderServiceTest, StrategyLifeStartStopRestart)
{
    const QVector<COrderParam> batch = {
        makeOrder(23, "n", {makeSingle(QStringLiteral("600000"), 100, 1.0, 0, 11)})};
    QString strError;

    expectRunning(999, false);
    EXPECT_NE(m_pService->stopOrderStrategy(999, strError), 0);
    EXPECT_TRUE(strError.contains(QStringLiteral("999"))) << strError.toStdString();
    m_pService->placeOrders(m_pService->getStrategyRef(999), batch);
    EXPECT_EQ(orderRows(), 0) << "no strategy, nothing placed";

    m_pService->addBatchOrderStrategy(999);
    expectRunning(999, true);
    expectRunning(1000, false);
    const boost::shared_ptr<COrderStrategy> pKept = m_pService->getStrategyRef(999);
    m_pService->addBatchOrderStrategy(999);
    EXPECT_EQ(m_pService->getStrategyRef(999), pKept) << "a second start keeps the running object";
    m_pService->placeOrders(pKept, batch);
    EXPECT_EQ(orderRows(), 1);

    strError.clear();
    EXPECT_EQ(m_pService->stopOrderStrategy(999, strError), 0);
    EXPECT_TRUE(strError.isEmpty());
    expectRunning(999, false);
    EXPECT_FALSE(pKept->isRunning());
    m_pService->placeOrders(pKept, batch);
    EXPECT_EQ(orderRows(), 1) << "stopped between the caller's look-up and the call";
    EXPECT_NE(m_pService->stopOrderStrategy(999, strError), 0);
    EXPECT_TRUE(strError.contains(QStringLiteral("999"))) << strError.toStdString();

    m_pService->addBatchOrderStrategy(999);
    expectRunning(999, true);
    EXPECT_EQ(m_pService->getStrategyRef(999), pKept);
    m_pService->placeOrders(pKept, batch);
    EXPECT_EQ(orderRows(), 2);
}

TEST_F(OrderServiceTest, ConcurrentBatchesStayWholeAndContiguous)
{
    m_pService->addBatchOrderStrategy(999);
    const int nThreads = 4;
    const int nBatches = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t)
    {
        threads.emplace_back([this, t] {
            for (int b = 0; b < nBatches; ++b)
            {
                const std::string strTag = "t" + std::to_string(t) + "b" + std::to_string(b);
                m_pService->placeOrders(
                    m_pService->getStrategyRef(999),
                    {makeOrder(23, strTag, {makeSingle(QStringLiteral("600000"), 100, 1.0, 0, 11)}),
                     makeOrder(24, strTag,
                               {makeSingle(QStringLiteral("000001"), 100, 1.0, 0, 11),
                                makeSingle(QStringLiteral("000002"), 100, 1.0, 1, 11)}),
                     makeOrder(25, strTag, {})});
            }
        });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }

    struct CBatch
    {
        std::vector<qint64> ids;
        std::set<QString> tags;
        std::vector<int> orderTypes;
    };
    std::map<qint64, CBatch> batches;
    CJournalReader reader(m_strPath);
    for (const QVariantMap& row :
         reader.rows(QStringLiteral("SELECT id, batch_id, note, order_type FROM orders ORDER BY id")))
    {
        CBatch& batch = batches[row.value(QStringLiteral("batch_id")).toLongLong()];
        batch.ids.push_back(row.value(QStringLiteral("id")).toLongLong());
        batch.tags.insert(row.value(QStringLiteral("note")).toString());
        batch.orderTypes.push_back(row.value(QStringLiteral("order_type")).toInt());
    }
    ASSERT_EQ(batches.size(), static_cast<size_t>(nThreads * nBatches));
    std::set<QString> allTags;
    for (const auto& entry : batches)
    {
        const CBatch& batch = entry.second;
        ASSERT_EQ(batch.ids.size(), 4u) << "batch " << entry.first;
        EXPECT_EQ(batch.ids.back() - batch.ids.front(), 3)
            << "rows of batch " << entry.first << " interleaved";
        EXPECT_EQ(batch.tags.size(), 1u) << "batch " << entry.first << " mixes calls";
        EXPECT_EQ(batch.orderTypes, (std::vector<int>{23, 24, 24, 25}));
        allTags.insert(*batch.tags.begin());
    }
    EXPECT_EQ(allTags.size(), static_cast<size_t>(nThreads * nBatches)) << "every call is one batch";
}

struct CCancelRow
{
    const char* pName;
    std::vector<std::string> cancel;
    bool bByNumber;
    bool bRecorded;
};

void PrintTo(const CCancelRow& row, std::ostream* pOut)
{
    *pOut << row.pName;
}

class OrderServiceCancelTest : public OrderServiceTest, public ::testing::WithParamInterface<CCancelRow>
{
};

TEST_P(OrderServiceCancelTest, JournalsOneCancelRow)
{
    const CCancelRow& row = GetParam();
    m_pService->addBatchOrderStrategy(999);
    COrderStrategyParam param;
    ASSERT_TRUE(m_pService->getStrategy(999, param));
    m_pService->cancelOrders(row.cancel, param, -1, row.bByNumber);

    CJournalReader reader(m_strPath);
    const std::vector<QVariantMap> rows = reader.rows(QStringLiteral("SELECT * FROM cancels"));
    if (!row.bRecorded)
    {
        EXPECT_TRUE(rows.empty());
        return;
    }
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].value(QStringLiteral("code")).toString().toStdString(), row.cancel[0]);
    EXPECT_EQ(rows[0].value(QStringLiteral("account")).toString().toStdString(), row.cancel[1]);
    EXPECT_EQ(rows[0].value(QStringLiteral("order_id")).toString().toStdString(), row.cancel[2]);
    EXPECT_EQ(rows[0].value(QStringLiteral("by_number")).toInt(), row.bByNumber ? 1 : 0);
    EXPECT_EQ(rows[0].value(QStringLiteral("placed_at")).toString().left(10), isoNow().left(10));
}

INSTANTIATE_TEST_SUITE_P(
    Cancels, OrderServiceCancelTest,
    ::testing::Values(CCancelRow{"ByOrderId", {"cancel_order", "10001", "A-17"}, false, true},
                      CCancelRow{"ByOrderNumber", {"cancel_order_number", "10001", "4711"}, true, true},
                      CCancelRow{"ChineseAccountKeptAsUtf8", {"200", "资金账号一", "9"}, false, true},
                      CCancelRow{"ExtraValuesIgnored", {"200", "10001", "9", "surplus"}, false, true},
                      CCancelRow{"TwoValuesRefused", {"200", "10001"}, false, false},
                      CCancelRow{"NothingRefused", {}, false, false}),
    [](const ::testing::TestParamInfo<CCancelRow>& info) { return info.param.pName; });

TEST_F(OrderServiceTest, TasksGiveOneRowEachInOrder)
{
    m_pService->addBatchOrderStrategy(999);
    COrderStrategyParam param;
    ASSERT_TRUE(m_pService->getStrategy(999, param));
    m_pService->tryOptTasks(param, {{"208", "任务一"}, {}, {"210"}, {"209", "B", "surplus"}},
                            {-1, -1, -1, -1});

    CJournalReader reader(m_strPath);
    const std::vector<QVariantMap> rows =
        reader.rows(QStringLiteral("SELECT code, argument FROM tasks ORDER BY id"));
    ASSERT_EQ(rows.size(), 3u) << "a task without a code is skipped";
    const std::pair<std::string, std::string> expected[] = {{"208", "任务一"}, {"210", ""}, {"209", "B"}};
    for (size_t i = 0; i < rows.size(); ++i)
    {
        EXPECT_EQ(rows[i].value(QStringLiteral("code")).toString().toStdString(), expected[i].first) << i;
        EXPECT_EQ(rows[i].value(QStringLiteral("argument")).toString().toStdString(), expected[i].second)
            << i;
    }
}

TEST_F(OrderServiceTest, LogsOneInfoLinePerBatchCancelAndTaskAndAnErrorPerRefusal)
{
    m_pService->addBatchOrderStrategy(999);
    COrderStrategyParam param;
    ASSERT_TRUE(m_pService->getStrategy(999, param));
    const QVector<COrderParam> batch = {makeOrder(23, "n", {}), makeOrder(24, "n", {})};

    CLogCapture log;
    m_pService->placeOrders(m_pService->getStrategyRef(999), batch);
    m_pService->cancelOrders({"200", "10001", "9"}, param, -1, false);
    m_pService->tryOptTasks(param, {{"208", "a"}, {"209", "b"}}, {-1, -1});
    const int nInfo = 20000;
    const int nError = 40000;
    auto countAt = [&log](int nLevel, const std::string& strFragment) {
        int nCount = 0;
        for (const CLogCapture::CLine& line : log.lines())
        {
            nCount +=
                line.m_nLevel == nLevel && line.m_strText.find(strFragment) != std::string::npos ? 1 : 0;
        }
        return nCount;
    };
    EXPECT_EQ(countAt(nInfo, "placeOrders"), 1);
    EXPECT_EQ(countAt(nInfo, "cancelOrders"), 1);
    EXPECT_EQ(countAt(nInfo, "tryOptTasks"), 2);
    for (const std::string& strText : log.texts())
    {
        EXPECT_NE(strText.rfind("[order ]", 0), 0u) << "the module's prefix is not the host's: " << strText;
    }

    log.clear();
    m_pService->cancelOrders({"200", "10001"}, param, -1, false);
    m_pService->placeOrders(boost::shared_ptr<COrderStrategy>(), batch);
    QString strError;
    ASSERT_EQ(m_pService->stopOrderStrategy(999, strError), 0);
    m_pService->placeOrders(m_pService->getStrategyRef(999), batch);
    EXPECT_EQ(countAt(nError, "cancelOrders"), 1);
    EXPECT_EQ(countAt(nError, "placeOrders refused"), 2);
    EXPECT_EQ(countAt(nInfo, "placeOrders strategy"), 0);
}

} // namespace
