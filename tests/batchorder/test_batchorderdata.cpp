#include "cbatchorderdata.h"
#include "cbatchordermanager.h"

#include "common/clogcapture.h"
#include "common/ctestmanager.h"
#include "trading/tradercenter.h"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <iterator>
#include <tuple>
#include <utility>

namespace TC {

// Pins the wall clock of the INSERTTIME check for its lifetime.
class CBatchOrderDataClockOverride
{
public:
    explicit CBatchOrderDataClockOverride(int64_t (*pfn)()) { CBatchOrderData::m_pfnWallClock = pfn; }
    ~CBatchOrderDataClockOverride() { CBatchOrderData::m_pfnWallClock = nullptr; }
};

} // namespace TC

namespace {

using TC::CBatchOrderData;

constexpr int64_t kNow = 1700000000;

// The line of these leading columns with INSERTTIME in column 11.
QString stamped(QStringList columns, const QString& strInsertTime)
{
    while (columns.size() < 11)
        columns << QString();
    return (columns << strInsertTime).join(QLatin1Char(','));
}

// One row of a table: its name, what goes in, what must come out, and what else the row needs.
struct CRow
{
    const char* m_szName;
    QString m_strIn;
    QString m_strOut;
    const char* m_szExtra = nullptr;
};

// A data centre that gives one fixed answer to every question.
class CFixedDataCenter : public ttservice::IDataCenter
{
public:
    explicit CFixedDataCenter(std::string strAnswer) : m_strAnswer(std::move(strAnswer)) {}
    std::string getAccountKeyById(const std::string&, int) const override { return m_strAnswer; }
    std::string m_strAnswer;
};

class CBatchOrderDataTest : public ::testing::Test
{
protected:
    CBatchOrderDataTest() { m_setup.host().orderService().addBatchOrderStrategy(999); }

    // The console lines reported since the last call, each as "[level] text" without its time.
    QStringList takeMessages()
    {
        const QStringList all = m_setup.consoleTexts();
        const QStringList texts = all.mid(m_nSeenMsgs);
        m_nSeenMsgs = all.size();
        return texts;
    }
    // Expects exactly one new console line, this error, in the host log exactly when bLogged.
    void expectOneError(const QString& strText, bool bLogged)
    {
        EXPECT_EQ(takeMessages(), QStringList{"[error] " + strText});
        EXPECT_EQ(m_log.contains("[order ] " + strText.toStdString()), bLogged);
    }
    CRecordingOrderService& recorder() { return m_setup.recorder(); }

    CLogCapture m_log;
    CTestManager m_setup;
    int m_nSeenMsgs = 0;
};

// Columns past EXTRAPARAM are ignored. In the backup row VOLUME holds the number, COMMAND_ID the text as
// written, NOTE1 stays empty and the account type is normalised.
TEST_F(CBatchOrderDataTest, ReadsColumnsAndSerialisesInBackupColumnOrder)
{
    EXPECT_EQ(CBatchOrderData::columnNames().join(','),
              "ORDER_TYPE,PRICE_TYPE,MODE_PRICE,STOCK_CODE,VOLUME,ACCOUNT_ID,ACT_TYPE,BROKERTYPE,STRATEGY,"
              "NOTE,NOTE1,TRADEPARAM,COMMAND_ID,BASKETPATH,INSERTTIME,EXTRAPARAM");
    const CBatchOrderData data(
        QStringLiteral("23,5,10.5,600000,-5,8880000001,2,2,策略,备注,k=v,-1,b.csv,x,c14"));
    EXPECT_EQ(data.toString(),
              QStringLiteral("23,5,10.5,600000,18446744073709551611,8880000001,49,2,策略,备注,,"
                             "k=v,-5,b.csv,-1,x"));
    // A short line leaves the missing fields as they were; a quoted comma stays in its column.
    CBatchOrderData shortLine(QStringLiteral("23,5,10.5,\"60,0000\""));
    EXPECT_EQ(shortLine.m_strStockCode, "\"60,0000\"");
    EXPECT_EQ(shortLine.toString(), "23,5,10.5,\"60,0000\",18446744073709551615,,49,,,,,,,,,");
    // A VOLUME that is there but no 32-bit number gives 0.
    EXPECT_EQ(CBatchOrderData(QStringLiteral("1,5,10,600000,")).m_nVolume, 0u);
    EXPECT_EQ(CBatchOrderData(QStringLiteral("1,5,10,600000,4294967296")).m_nVolume, 0u);
    EXPECT_TRUE(takeMessages().isEmpty());
}

TEST_F(CBatchOrderDataTest, RejectsOnlyLinesOlderThanSixtySeconds)
{
    // Without the test clock the check reads the real wall clock.
    EXPECT_TRUE(CBatchOrderData().parse(stamped({"1"}, QString::number(std::time(nullptr)))));
    EXPECT_FALSE(CBatchOrderData().parse(stamped({"1"}, QString::number(std::time(nullptr) - 3600))));
    takeMessages();

    const CRow rows[] = {{"ExactlySixtySecondsOldPasses", QString::number(kNow - 60), "accepted"},
                         {"SixtyOneSecondsOldIsStale", QString::number(kNow - 61), "stale"},
                         {"FuturePasses", QString::number(kNow + 86400), "accepted"},
                         {"EmptyPasses", "", "accepted"},
                         {"NonNumericPasses", "abc", "accepted"},
                         {"MinusOneMeansUnstamped", "-1", "accepted"},
                         {"MinusTwoIsStale", "-2", "stale"},
                         {"SmallestNumberIsStaleWithoutOverflow", QString::number(LLONG_MIN), "stale"}};
    TC::CBatchOrderDataClockOverride clock([] { return kNow; });
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        const QString strLine = stamped({"1", "5", "10", "600000", "100"}, row.m_strIn) + ",b.csv";
        EXPECT_EQ(CBatchOrderData().parse(strLine) ? "accepted" : "stale", row.m_strOut);
        if (row.m_strOut == "stale")
            expectOneError(QStringLiteral("参数超时(%1)!").arg(strLine), true);
        EXPECT_TRUE(takeMessages().isEmpty());
    }
    // A stale cancel or task is not sent.
    EXPECT_FALSE(CBatchOrderData().parse(stamped({"cancel_order", "8880000001", "ORD1"}, rows[1].m_strIn)));
    EXPECT_FALSE(CBatchOrderData().parse(stamped({"208", "arg"}, rows[1].m_strIn)));
    EXPECT_TRUE(recorder().cancels().empty() && recorder().taskCalls().empty());
}

// Out: the status the line leaves (0 order, 4 cancel, 5 task) and the calls it made, or "illegal".
TEST_F(CBatchOrderDataTest, ClassifiesByTheExactOrderTypeText)
{
    const CRow rows[] = {{"OrderTypeNumber", "23", "0"},
                         {"ZeroIsAnOrder", "0", "0"},
                         {"LeadingZeroCancelCode", "0200", "0"},
                         {"PlusSignedNumber", "+5", "0"},
                         {"Code200", "200", "4 cancel"},
                         {"Task208", "208", "5 task"},
                         {"CancelWord", "cancel_order", "4 cancel"},
                         {"CapitalisedCancelWord", "Cancel_order", "illegal"},
                         {"CancelByNumber", "cancel_order_number", "4 cancel by number"},
                         {"Task209", "209", "5 task"},
                         {"Task210", "210", "5 task"},
                         {"Negative", "-1", "illegal"},
                         {"Empty", "", "illegal"},
                         {"BackupHeaderRow", "ORDER_TYPE", "illegal"},
                         {"OnlyQuotes", "\"\"\"\"", "illegal"}};
    for (const CRow& row : rows) {
        const QString strLine = row.m_strIn + ",8880000001,ORD1,600000,100";
        const size_t nCancels = recorder().cancels().size(), nTasks = recorder().taskCalls().size();
        CBatchOrderData data;
        QString strGot = data.parse(strLine) ? QString::number(data.m_nStatus) : QStringLiteral("illegal");
        for (size_t i = nCancels; i < recorder().cancels().size(); ++i)
            strGot += recorder().cancels()[i].m_bByNumber ? " cancel by number" : " cancel";
        strGot += QStringLiteral(" task").repeated(static_cast<int>(recorder().taskCalls().size() - nTasks));
        EXPECT_EQ(strGot, row.m_strOut) << row.m_szName;
        if (row.m_strOut == "illegal")
            expectOneError(QStringLiteral("参数非法(%1)!").arg(strLine), false);
    }
}

// "49" lets the host accept any account type; only a key of at least five parts pins broker and type.
TEST_F(CBatchOrderDataTest, AccountTypeBecomesAnyUnlessAFullKeyNamesIt)
{
    // In: ACCOUNT_ID,ACT_TYPE,BROKERTYPE. Out: the account type, the original one and the broker type.
    const CRow rows[] = {{"TypeTwoBecomesAny", "8880000001,2,2", "49|2|2"},
                         {"AnyStaysWithoutOriginal", "8880000001,49,2", "49||2"},
                         {"EmptyBecomesAny", "8880000001,,", "49||"},
                         {"FivePartKeySetsBrokerAndType", "7____10____BR____3____88,2,1", "3|2|7"},
                         {"SixPartKeyUsesPartsZeroAndThree", "7____10____BR____3____88____x,,", "3||7"},
                         {"EightUnderscoresMakeAnEmptyPart", "7________BR____3____88,2,", "3|2|7"},
                         {"FourPartKeyChangesNothing", "7____10____BR____88,2,1", "49|2|1"}};
    for (const CRow& row : rows) {
        const CBatchOrderData data(QStringLiteral("1,5,10,600000,100,") + row.m_strIn);
        const QString strGot = data.m_strActType + '|' + data.m_strOrigActType + '|' + data.m_strBrokerType;
        EXPECT_EQ(strGot, row.m_strOut) << row.m_szName;
        EXPECT_EQ(data.m_strAccountId, row.m_strIn.section(',', 0, 0)) << row.m_szName;
    }
}

TEST_F(CBatchOrderDataTest, StrategySubstitutionReplacesOnlyAnExactMatch)
{
    const auto strategyOf = [](const char* szStrategy) {
        return CBatchOrderData(QStringLiteral("1,5,10,600000,100,,,,") + szStrategy).m_strStrategy;
    };
    m_setup.host().setStrategySubstitution(QStringLiteral("old"), QStringLiteral("新策略"));
    EXPECT_EQ(strategyOf("old"), QStringLiteral("新策略"));
    EXPECT_EQ(strategyOf("olds"), "olds");
    m_setup.host().setStrategySubstitution(QStringLiteral("old"), QString());
    EXPECT_EQ(strategyOf("old"), "old");
}

// The account sent with a cancel: the host's key, else the data centre's, else the id as written. The
// account-type normalisation runs after it, so a resolved key sets the type.
TEST_F(CBatchOrderDataTest, CancelSendsTheResolvedAccountUnderTheBatchStrategy)
{
    // Out: the account and the account type. Extra: the data centre's answer; none without it.
    const CRow rows[] = {
        {"HostKeyWinsOverDataCentre", "cancel_order,8880000001,ORD1,,,,2,2",
         "2____10____DEMO____2____8880000001|2", "DC"},
        {"HostKeySetsTheType", "200,8880000003,ORD1,,,,3,11", "11____10____DEMO____3____8880000003|3", "DC"},
        // The host lookup insists on the account type (the profile's account is type 2).
        {"DataCentreWhenHostHasNone", "cancel_order,8880000001,ORD1,,,,3,2", "DC|49", "DC"},
        {"DataCentreUnderscoreFallsBackToId", "cancel_order,8889,ORD1,,,,2,2", "8889|49", "_"},
        {"DataCentreEmptyFallsBackToId", "cancel_order,8889,ORD1,,,,2,2", "8889|49", ""},
        {"NoDataCentreFallsBackToId", "cancel_order,8889,ORD1,,,,2,2", "8889|49"},
        {"EmptyBrokerTypeSkipsDataCentre", "cancel_order,8889,ORD1,,,,3,", "8889|49", "DC"}};
    for (const CRow& row : rows) {
        SCOPED_TRACE(row.m_szName);
        CFixedDataCenter dataCentre(row.m_szExtra ? row.m_szExtra : "");
        ttservice::TraderCenter::instance()->setDataCenter(row.m_szExtra ? &dataCentre : nullptr);
        CBatchOrderData data;
        EXPECT_TRUE(data.parse(row.m_strIn));
        ttservice::TraderCenter::instance()->setDataCenter(nullptr);
        EXPECT_EQ(data.m_nStatus, 4);
        EXPECT_EQ(data.m_strAccountId + '|' + data.m_strActType, row.m_strOut);
        const auto cancel = recorder().cancels().back();
        const std::string strCode = row.m_strIn.section(',', 0, 0).toStdString();
        const std::string strAccount = data.m_strAccountId.toStdString();
        EXPECT_EQ(cancel.m_fields, (std::vector<std::string>{strCode, strAccount, "ORD1"}));
        EXPECT_EQ(std::make_pair(cancel.m_nReserved, cancel.m_nStrategyNo), std::make_pair(-1, 999));
    }
    EXPECT_EQ(recorder().cancels().size(), std::size(rows)) << "one call per line, in line order";
}

// Without the batch order strategy, or without an order service at all, nothing is sent, silently, and
// the lines still count as executed.
TEST_F(CBatchOrderDataTest, UnsentCancelsAndTasksAreStillAccepted)
{
    const auto statuses = [] {
        return std::make_pair(
            CBatchOrderData(QStringLiteral("cancel_order,888,ORD1,,,,2,2")).m_nStatus.load(),
            CBatchOrderData(QStringLiteral("210,arg")).m_nStatus.load());
    };
    QString strError;
    m_setup.host().orderService().stopOrderStrategy(999, strError);
    EXPECT_EQ(statuses(), std::make_pair(4, 5));
    utils::CManualSingletonT<TC::COrderService>::setInstance(nullptr);
    EXPECT_EQ(statuses(), std::make_pair(4, 5));
    utils::CManualSingletonT<TC::COrderService>::setInstance(&m_setup.host().orderService());
    EXPECT_TRUE(recorder().cancels().empty() && recorder().taskCalls().empty() && takeMessages().isEmpty());
}

// A task line sends its code and UTF-8 parameter as one task, with -1, under the batch strategy. Only
// accepted lines take a sequence number and a time tag.
TEST_F(CBatchOrderDataTest, TaskCallAndSequenceAndTimetagOnlyForAcceptedLines)
{
    const CBatchOrderData first(QStringLiteral("1,5,10,600000,100"));
    const CBatchOrderData rejected(QStringLiteral("abc,5"));
    const CBatchOrderData cancel(QStringLiteral("200,8880000001,ORD1"));
    const CBatchOrderData task(QStringLiteral("208,任务参数,ignored,600000,100,8880000001,2,2"));
    EXPECT_GE(first.m_nSeq, 0);
    EXPECT_EQ(std::make_pair(cancel.m_nSeq, task.m_nSeq), std::make_pair(first.m_nSeq + 1, first.m_nSeq + 2));
    EXPECT_EQ(std::make_pair(rejected.m_nSeq, rejected.m_nTimetag), std::make_pair(-1, UINT64_MAX));
    EXPECT_TRUE(first.m_nTimetag <= task.m_nTimetag && task.m_nTimetag != UINT64_MAX);
    ASSERT_EQ(recorder().taskCalls().size(), 1u);
    const auto call = recorder().taskCalls()[0];
    EXPECT_EQ(std::make_tuple(call.m_tasks, call.m_params, call.m_nStrategyNo),
              std::make_tuple(std::vector<std::vector<std::string>>{{"208", u8"任务参数"}},
                              std::vector<int>{-1}, 999));
}

// Damaged or hostile lines finish and get the verdict the format gives them.
TEST_F(CBatchOrderDataTest, BadInputGetsItsVerdict)
{
    const QString strMegabyte(1 << 20, QLatin1Char('x'));
    EXPECT_EQ(CBatchOrderData("1,5,10,600000,100,,,,,," + strMegabyte).m_strTradeParam, strMegabyte);
    QStringList columns{"1"};
    for (int i = 1; i < 10000; ++i)
        columns << QStringLiteral("c%1").arg(i);
    EXPECT_EQ(CBatchOrderData(columns.join(',')).m_strExtraParam, "c13");

    EXPECT_FALSE(CBatchOrderData().parse(QString(1 << 20, QLatin1Char('"'))));
    EXPECT_FALSE(CBatchOrderData().parse(QStringLiteral("\uFFFD\uFFFD,5")));
    EXPECT_EQ(takeMessages().size(), 2) << "the two illegal lines, nothing else";

    const CBatchOrderData replaced(QStringLiteral("1,5,10,\uFFFD\uFFFD,100,\x01\x02\t\x1b,,,,\x7f"));
    EXPECT_GE(replaced.m_nSeq, 0);
    EXPECT_EQ(replaced.m_strStockCode + '|' + replaced.m_strAccountId,
              QStringLiteral("\uFFFD\uFFFD|\x01\x02\t\x1b"));
}

} // namespace
