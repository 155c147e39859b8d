#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"

#include "common/clogcapture.h"
#include "common/ctesthost.h"
#include "trading/tradercenter.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <memory>

namespace TC {

// Pins the wall clock of the INSERTTIME check for its lifetime.
class CBatchOrderDataClockOverride
{
public:
    explicit CBatchOrderDataClockOverride(int64_t (*pfnClock)()) { CBatchOrderData::m_pfnWallClock = pfnClock; }
    ~CBatchOrderDataClockOverride() { CBatchOrderData::m_pfnWallClock = nullptr; }
    CBatchOrderDataClockOverride(const CBatchOrderDataClockOverride&) = delete;
    CBatchOrderDataClockOverride& operator=(const CBatchOrderDataClockOverride&) = delete;
};

} // namespace TC

namespace {

using TC::CBatchOrderData;

constexpr int64_t kNow = 1700000000;
int64_t fixedClock()
{
    return kNow;
}

// The line of these leading columns with INSERTTIME in column 11.
QString stamped(QStringList columns, const QString& strInsertTime)
{
    while (columns.size() < 11)
        columns << QString();
    return (columns << strInsertTime).join(QLatin1Char(','));
}

const QString kAccount1Key = QStringLiteral("2____10____DEMO____2____8880000001");

// A data centre that gives one fixed answer to every question.
class CFixedDataCenter : public ttservice::IDataCenter
{
public:
    explicit CFixedDataCenter(std::string strAnswer) : m_strAnswer(std::move(strAnswer)) {}
    std::string getAccountKeyById(const std::string&, int) const override
    {
        return m_strAnswer;
    }
    std::string m_strAnswer;
};

class CBatchOrderDataTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>();
        TC::CBatchOrderManager::initInstance(nullptr);
        m_nFirstMsg = TC::CBatchOrderManager::instance()->getConsoleModel()->getAllMsgs().size();
        m_pHost->orderService().addBatchOrderStrategy(999);
    }

    // Console lines reported since the test began.
    std::vector<boost::shared_ptr<TC::CBatchOrderMessageData>> newMessages() const
    {
        auto all = TC::CBatchOrderManager::instance()->getConsoleModel()->getAllMsgs();
        return {all.begin() + static_cast<long>(m_nFirstMsg), all.end()};
    }

    // Expects exactly one new console line: an error with this text, in the host log exactly when bLogged.
    void expectOneError(const QString& strText, bool bLogged) const
    {
        const auto messages = newMessages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0]->getLevel(), TC::MSG_LEVEL_ERROR);
        EXPECT_TRUE(messages[0]->getMsg().endsWith(QStringLiteral(" [error] ") + strText))
            << messages[0]->getMsg().toStdString();
        EXPECT_EQ(m_log.contains("[order ] " + strText.toStdString()), bLogged);
    }

    CRecordingOrderService& recorder() { return *m_pHost->recorder(); }

    CLogCapture m_log;
    std::unique_ptr<CTestHost> m_pHost;
    size_t m_nFirstMsg = 0;
};

TEST_F(CBatchOrderDataTest, FullLineFillsEveryFieldInColumnOrder)
{
    CBatchOrderData data;
    ASSERT_TRUE(data.parse(QStringLiteral("23,5,10.5,600000,300,8880000001,2,2,策略A,备注,k=v,,basket.csv,extra,"
                                          "col14,col15")));
    EXPECT_EQ(data.m_strOrderType, "23");
    EXPECT_EQ(data.m_strPriceType, "5");
    EXPECT_EQ(data.m_strModePrice, "10.5");
    EXPECT_EQ(data.m_strStockCode, "600000");
    EXPECT_EQ(data.m_nVolume, 300u);
    EXPECT_EQ(data.m_strVolume, "300");
    EXPECT_EQ(data.m_strAccountId, "8880000001");
    EXPECT_EQ(data.m_strBrokerType, "2");
    EXPECT_EQ(data.m_strStrategy, QStringLiteral("策略A"));
    EXPECT_EQ(data.m_strNote, QStringLiteral("备注"));
    EXPECT_EQ(data.m_strTradeParam, "k=v");
    EXPECT_EQ(data.m_strInsertTime, "");
    EXPECT_EQ(data.m_strBasketPath, "basket.csv");
    EXPECT_EQ(data.m_strExtraParam, "extra"); // columns 14 and 15 are ignored
    EXPECT_EQ(data.m_nStatus, 0);
    EXPECT_TRUE(newMessages().empty());
}

TEST_F(CBatchOrderDataTest, ShortLineLeavesTheMissingColumnsUntouched)
{
    CBatchOrderData data;
    ASSERT_TRUE(data.parse(QStringLiteral("1,,,\"60,0000\"")));
    EXPECT_EQ(data.m_strPriceType, "");
    EXPECT_EQ(data.m_strStockCode, "\"60,0000\"");
    EXPECT_EQ(data.m_nVolume, UINT64_MAX);
    EXPECT_TRUE(data.m_strVolume.isEmpty());
    EXPECT_TRUE(data.m_strAccountId.isEmpty());
    EXPECT_TRUE(data.m_strExtraParam.isEmpty());
}

struct CVolumeCase
{
    const char* m_szName;
    const char* m_szVolume;
    uint64_t m_nExpected;
};

class CBatchOrderVolumeTest : public CBatchOrderDataTest, public ::testing::WithParamInterface<CVolumeCase>
{
};

TEST_P(CBatchOrderVolumeTest, KeepsTheTextAndItsSignExtendedNumber)
{
    CBatchOrderData data;
    const QString strVolume = QString::fromLatin1(GetParam().m_szVolume);
    ASSERT_TRUE(data.parse(QStringLiteral("1,5,10,600000,") + strVolume));
    EXPECT_EQ(data.m_nVolume, GetParam().m_nExpected);
    EXPECT_EQ(data.m_strVolume, strVolume);
}

INSTANTIATE_TEST_SUITE_P(Volumes, CBatchOrderVolumeTest,
                         ::testing::Values(CVolumeCase{"Plain", "100", 100u},
                                           CVolumeCase{"NegativeWrapsAround", "-5", 18446744073709551611u},
                                           CVolumeCase{"DigitsThenLettersGiveZero", "100abc", 0u},
                                           CVolumeCase{"EmptyGivesZero", "", 0u},
                                           CVolumeCase{"Beyond32BitsGivesZero", "4294967296", 0u}),
                         [](const auto& info) { return std::string(info.param.m_szName); });

struct CInsertTimeCase
{
    const char* m_szName;
    QString m_strInsertTime;
    bool m_bAccepted;
};

class CBatchOrderInsertTimeTest : public CBatchOrderDataTest, public ::testing::WithParamInterface<CInsertTimeCase>
{
};

TEST_P(CBatchOrderInsertTimeTest, RejectsOnlyLinesOlderThanSixtySeconds)
{
    TC::CBatchOrderDataClockOverride clock(&fixedClock);
    const QString strLine = stamped({"1", "5", "10", "600000", "100"}, GetParam().m_strInsertTime) + ",b.csv";
    CBatchOrderData data;
    EXPECT_EQ(data.parse(strLine), GetParam().m_bAccepted);
    if (GetParam().m_bAccepted)
        EXPECT_TRUE(newMessages().empty());
    else
        expectOneError(QStringLiteral("参数超时(%1)!").arg(strLine), true);
}

INSTANTIATE_TEST_SUITE_P(
    InsertTimes, CBatchOrderInsertTimeTest,
    ::testing::Values(CInsertTimeCase{"ExactlySixtySecondsOldPasses", QString::number(kNow - 60), true},
                      CInsertTimeCase{"SixtyOneSecondsOldIsStale", QString::number(kNow - 61), false},
                      CInsertTimeCase{"CurrentPasses", QString::number(kNow), true},
                      CInsertTimeCase{"FuturePasses", QString::number(kNow + 86400), true},
                      CInsertTimeCase{"EmptyPasses", QString(), true},
                      CInsertTimeCase{"NonNumericPasses", QStringLiteral("abc"), true},
                      CInsertTimeCase{"MinusOneMeansUnstampedAndPasses", QStringLiteral("-1"), true},
                      CInsertTimeCase{"MinusTwoIsStale", QStringLiteral("-2"), false},
                      CInsertTimeCase{"SmallestNumberIsStaleWithoutOverflow",
                                      QString::number(std::numeric_limits<qint64>::min()), false}),
    [](const auto& info) { return std::string(info.param.m_szName); });

// Without the test clock the check reads the real wall clock.
TEST_F(CBatchOrderDataTest, InsertTimeIsCheckedAgainstTheWallClock)
{
    CBatchOrderData fresh;
    EXPECT_TRUE(fresh.parse(stamped({"1"}, QString::number(std::time(nullptr)))));
    CBatchOrderData old;
    EXPECT_FALSE(old.parse(stamped({"1"}, QString::number(std::time(nullptr) - 3600))));
}

struct CKindCase
{
    const char* m_szName;
    const char* m_szOrderType;
    int m_nStatus; // -1: rejected
};

class CBatchOrderKindTest : public CBatchOrderDataTest, public ::testing::WithParamInterface<CKindCase>
{
};

TEST_P(CBatchOrderKindTest, ClassifiesByTheExactOrderTypeText)
{
    const QString strLine = QString::fromLatin1(GetParam().m_szOrderType) + ",8880000001,ORD1,600000,100";
    CBatchOrderData data;
    const bool bAccepted = data.parse(strLine);
    EXPECT_EQ(bAccepted, GetParam().m_nStatus >= 0);
    if (!bAccepted)
    {
        expectOneError(QStringLiteral("参数非法(%1)!").arg(strLine), false);
        return;
    }
    EXPECT_EQ(data.m_nStatus, GetParam().m_nStatus);
    EXPECT_EQ(recorder().cancels().size(), GetParam().m_nStatus == 4 ? 1u : 0u);
    EXPECT_EQ(recorder().taskCalls().size(), GetParam().m_nStatus == 5 ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CBatchOrderKindTest,
                         ::testing::Values(CKindCase{"OrderTypeNumber", "23", 0},
                                           CKindCase{"ZeroIsAnOrder", "0", 0},
                                           CKindCase{"LeadingZeroCancelCodeIsAnOrder", "0200", 0},
                                           CKindCase{"PlusSignedNumberIsAnOrder", "+5", 0},
                                           CKindCase{"Code200Cancels", "200", 4},
                                           CKindCase{"CancelWordCancels", "cancel_order", 4},
                                           CKindCase{"CancelByNumberCancels", "cancel_order_number", 4},
                                           CKindCase{"CapitalisedCancelWordIsIllegal", "Cancel_order", -1},
                                           CKindCase{"Task208", "208", 5},
                                           CKindCase{"Task209", "209", 5},
                                           CKindCase{"Task210", "210", 5},
                                           CKindCase{"NegativeIsIllegal", "-1", -1},
                                           CKindCase{"WordIsIllegal", "abc", -1},
                                           CKindCase{"EmptyIsIllegal", "", -1},
                                           CKindCase{"BackupHeaderRowIsIllegal", "ORDER_TYPE", -1},
                                           CKindCase{"OnlyQuotesIsIllegal", "\"\"\"\"", -1}),
                         [](const auto& info) { return std::string(info.param.m_szName); });

struct CAccountTypeCase
{
    const char* m_szName;
    QString m_strAccountId;
    QString m_strActType;
    QString m_strBrokerType;
    QString m_strExpectedActType;
    QString m_strExpectedOrigActType;
    QString m_strExpectedBrokerType;
};

class CBatchOrderAccountTypeTest : public CBatchOrderDataTest,
                                   public ::testing::WithParamInterface<CAccountTypeCase>
{
};

TEST_P(CBatchOrderAccountTypeTest, NormalisesToAnyTypeUnlessAFullKeyNamesIt)
{
    const CAccountTypeCase& row = GetParam();
    CBatchOrderData data;
    ASSERT_TRUE(data.parse(QStringLiteral("1,5,10,600000,100,%1,%2,%3").arg(row.m_strAccountId, row.m_strActType,
                                                                             row.m_strBrokerType)));
    EXPECT_EQ(data.m_strActType, row.m_strExpectedActType);
    EXPECT_EQ(data.m_strOrigActType, row.m_strExpectedOrigActType);
    EXPECT_EQ(data.m_strBrokerType, row.m_strExpectedBrokerType);
    EXPECT_EQ(data.m_strAccountId, row.m_strAccountId);
}

INSTANTIATE_TEST_SUITE_P(
    AccountTypes, CBatchOrderAccountTypeTest,
    ::testing::Values(
        CAccountTypeCase{"TypeTwoBecomesAny", "8880000001", "2", "2", "49", "2", "2"},
        CAccountTypeCase{"AnyStaysWithoutOriginal", "8880000001", "49", "2", "49", "", "2"},
        CAccountTypeCase{"EmptyBecomesAny", "8880000001", "", "", "49", "", ""},
        CAccountTypeCase{"FivePartKeySetsBrokerAndType", "7____10____BR____3____88", "2", "1", "3", "2", "7"},
        CAccountTypeCase{"SixPartKeyUsesPartsZeroAndThree", "7____10____BR____3____88____x", "", "", "3", "", "7"},
        CAccountTypeCase{"EightUnderscoresMakeAnEmptyPart", "7________BR____3____88", "2", "", "3", "2", "7"},
        CAccountTypeCase{"FourPartKeyChangesNothing", "7____10____BR____88", "2", "1", "49", "2", "1"}),
    [](const auto& info) { return std::string(info.param.m_szName); });

TEST_F(CBatchOrderDataTest, StrategySubstitutionReplacesOnlyAnExactMatch)
{
    m_pHost->setStrategySubstitution(QStringLiteral("old"), QStringLiteral("新策略"));
    CBatchOrderData exact;
    ASSERT_TRUE(exact.parse(QStringLiteral("1,5,10,600000,100,,,,old")));
    EXPECT_EQ(exact.m_strStrategy, QStringLiteral("新策略"));
    CBatchOrderData longer;
    ASSERT_TRUE(longer.parse(QStringLiteral("1,5,10,600000,100,,,,olds")));
    EXPECT_EQ(longer.m_strStrategy, "olds");

    m_pHost->setStrategySubstitution(QStringLiteral("old"), QString());
    CBatchOrderData noTarget;
    ASSERT_TRUE(noTarget.parse(QStringLiteral("1,5,10,600000,100,,,,old")));
    EXPECT_EQ(noTarget.m_strStrategy, "old");
}

struct CCancelAccountCase
{
    const char* m_szName;
    QString m_strLine;
    std::string m_strDataCentreAnswer;
    std::string m_strExpectedAccount;
};

class CBatchOrderCancelAccountTest : public CBatchOrderDataTest,
                                     public ::testing::WithParamInterface<CCancelAccountCase>
{
};

TEST_P(CBatchOrderCancelAccountTest, SendsCodeResolvedAccountAndOrderUnderTheBatchStrategy)
{
    const CCancelAccountCase& row = GetParam();
    CFixedDataCenter dataCentre(row.m_strDataCentreAnswer);
    ttservice::TraderCenter::instance()->setDataCenter(&dataCentre);
    CBatchOrderData data;
    const bool bAccepted = data.parse(row.m_strLine);
    ttservice::TraderCenter::instance()->setDataCenter(nullptr);

    ASSERT_TRUE(bAccepted);
    EXPECT_EQ(data.m_nStatus, 4);
    EXPECT_EQ(data.m_strAccountId.toStdString(), row.m_strExpectedAccount);
    const auto cancels = recorder().cancels();
    ASSERT_EQ(cancels.size(), 1u);
    EXPECT_EQ(cancels[0].m_fields, (std::vector<std::string>{"cancel_order", row.m_strExpectedAccount, "ORD1"}));
    EXPECT_EQ(cancels[0].m_nReserved, -1);
    EXPECT_EQ(cancels[0].m_nStrategyNo, 999);
}

INSTANTIATE_TEST_SUITE_P(
    CancelAccounts, CBatchOrderCancelAccountTest,
    ::testing::Values(
        CCancelAccountCase{"HostMappingWinsOverDataCentre", "cancel_order,8880000001,ORD1,,,,2,2", "DC_KEY",
                           kAccount1Key.toStdString()},
        // The host lookup insists on the account type (the profile's account is type 2).
        CCancelAccountCase{"DataCentreAnswersWhenHostDoesNot", "cancel_order,8880000001,ORD1,,,,3,2", "DC_KEY",
                           "DC_KEY"},
        CCancelAccountCase{"DataCentreUnderscoreFallsBackToId", "cancel_order,8889,ORD1,,,,2,2", "_", "8889"},
        CCancelAccountCase{"DataCentreEmptyFallsBackToId", "cancel_order,8889,ORD1,,,,2,2", "", "8889"},
        CCancelAccountCase{"EmptyBrokerTypeSkipsDataCentre", "cancel_order,8889,ORD1,,,,3,", "DC_KEY", "8889"}),
    [](const auto& info) { return std::string(info.param.m_szName); });

TEST_F(CBatchOrderDataTest, CancelWithoutDataCentreFallsBackToId)
{
    ttservice::TraderCenter::instance()->setDataCenter(nullptr);
    CBatchOrderData data;
    ASSERT_TRUE(data.parse(QStringLiteral("cancel_order,8889,ORD1,,,,2,2")));
    EXPECT_EQ(data.m_strAccountId, "8889");
}

TEST_F(CBatchOrderDataTest, CancelledAccountKeyThenSetsBrokerAndType)
{
    CBatchOrderData data;
    ASSERT_TRUE(data.parse(QStringLiteral("200,8880000003,ORD1,,,,3,11")));
    EXPECT_EQ(data.m_strAccountId, QStringLiteral("11____10____DEMO____3____8880000003"));
    EXPECT_EQ(data.m_strBrokerType, "11");
    EXPECT_EQ(data.m_strActType, "3");
    EXPECT_EQ(data.m_strOrigActType, "3");
}

TEST_F(CBatchOrderDataTest, OnlyCancelByNumberSetsTheByNumberFlag)
{
    for (const char* szCode : {"200", "cancel_order", "cancel_order_number"})
        CBatchOrderData(QString::fromLatin1(szCode) + ",8880000001,ORD1,,,,2,2");
    const auto cancels = recorder().cancels();
    ASSERT_EQ(cancels.size(), 3u);
    EXPECT_EQ(cancels[0].m_fields[0], "200");
    EXPECT_FALSE(cancels[0].m_bByNumber);
    EXPECT_FALSE(cancels[1].m_bByNumber);
    EXPECT_TRUE(cancels[2].m_bByNumber);
}

TEST_F(CBatchOrderDataTest, TwoCancelsAreTwoCallsInLineOrder)
{
    CBatchOrderData first(QStringLiteral("cancel_order,8880000001,ORD1,,,,2,2"));
    CBatchOrderData second(QStringLiteral("cancel_order,8880000001,ORD2,,,,2,2"));
    const auto cancels = recorder().cancels();
    ASSERT_EQ(cancels.size(), 2u);
    EXPECT_EQ(cancels[0].m_fields[2], "ORD1");
    EXPECT_EQ(cancels[1].m_fields[2], "ORD2");
}

TEST_F(CBatchOrderDataTest, TaskLineSendsOneTaskWithMinusOne)
{
    CBatchOrderData data;
    ASSERT_TRUE(data.parse(QStringLiteral("209,任务参数,ignored,600000,100,8880000001,2,2")));
    EXPECT_EQ(data.m_nStatus, 5);
    const auto calls = recorder().taskCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].m_tasks,
              (std::vector<std::vector<std::string>>{{"209", QStringLiteral("任务参数").toUtf8().toStdString()}}));
    EXPECT_EQ(calls[0].m_params, std::vector<int>{-1});
    EXPECT_EQ(calls[0].m_nStrategyNo, 999);
    EXPECT_TRUE(recorder().cancels().empty());
}

TEST_F(CBatchOrderDataTest, StaleCancelAndTaskSendNothing)
{
    TC::CBatchOrderDataClockOverride clock(&fixedClock);
    const QString strStale = QString::number(kNow - 61);
    EXPECT_FALSE(CBatchOrderData().parse(stamped({"cancel_order", "8880000001", "ORD1"}, strStale)));
    EXPECT_FALSE(CBatchOrderData().parse(stamped({"208", "arg"}, strStale)));
    EXPECT_TRUE(recorder().cancels().empty());
    EXPECT_TRUE(recorder().taskCalls().empty());
}

TEST_F(CBatchOrderDataTest, WithoutTheBatchStrategyNothingIsSentButLinesAreAccepted)
{
    QString strError;
    m_pHost->orderService().stopOrderStrategy(999, strError);
    CBatchOrderData cancel;
    CBatchOrderData task;
    ASSERT_TRUE(cancel.parse(QStringLiteral("cancel_order,8880000001,ORD1,,,,2,2")));
    ASSERT_TRUE(task.parse(QStringLiteral("210,arg")));
    EXPECT_EQ(cancel.m_nStatus, 4);
    EXPECT_EQ(task.m_nStatus, 5);
    EXPECT_TRUE(recorder().cancels().empty());
    EXPECT_TRUE(recorder().taskCalls().empty());
    EXPECT_TRUE(newMessages().empty());
}

TEST_F(CBatchOrderDataTest, WithoutAnOrderServiceCancelsAreStillAccepted)
{
    utils::CManualSingletonT<TC::COrderService>::setInstance(nullptr);
    CBatchOrderData cancel;
    CBatchOrderData task;
    EXPECT_TRUE(cancel.parse(QStringLiteral("cancel_order,8880000001,ORD1,,,,2,2")));
    EXPECT_TRUE(task.parse(QStringLiteral("208,arg")));
    utils::CManualSingletonT<TC::COrderService>::setInstance(&m_pHost->orderService());
    EXPECT_EQ(cancel.m_nStatus, 4);
    EXPECT_EQ(task.m_nStatus, 5);
}

TEST_F(CBatchOrderDataTest, SequenceAdvancesOnlyOnAcceptedLines)
{
    CBatchOrderData first(QStringLiteral("1,5,10,600000,100"));
    CBatchOrderData rejected(QStringLiteral("abc,5"));
    CBatchOrderData cancel(QStringLiteral("200,8880000001,ORD1"));
    CBatchOrderData task(QStringLiteral("208,arg"));
    EXPECT_GE(first.m_nSeq, 0);
    EXPECT_EQ(rejected.m_nSeq, -1);
    EXPECT_EQ(rejected.m_nTimetag, UINT64_MAX);
    EXPECT_EQ(cancel.m_nSeq, first.m_nSeq + 1);
    EXPECT_EQ(task.m_nSeq, first.m_nSeq + 2);
    EXPECT_NE(first.m_nTimetag, UINT64_MAX);
    EXPECT_LE(first.m_nTimetag, task.m_nTimetag);
}

TEST_F(CBatchOrderDataTest, SerialisesInBackupColumnOrder)
{
    EXPECT_EQ(CBatchOrderData::columnNames().join(','),
              "ORDER_TYPE,PRICE_TYPE,MODE_PRICE,STOCK_CODE,VOLUME,ACCOUNT_ID,ACT_TYPE,BROKERTYPE,STRATEGY,NOTE,"
              "NOTE1,TRADEPARAM,COMMAND_ID,BASKETPATH,INSERTTIME,EXTRAPARAM");

    CBatchOrderData data(QStringLiteral("23,5,10.5,600000,-5,8880000001,2,2,策略,备注,k=v,-1,b.csv,x"));
    const QString strExpected =
        QStringLiteral("23,5,10.5,600000,18446744073709551611,8880000001,49,2,策略,备注,,k=v,-5,b.csv,-1,x");
    EXPECT_EQ(data.toStringList().size(), 16);
    EXPECT_EQ(data.toString(), strExpected);
    EXPECT_EQ(data.toStdString(), strExpected.toUtf8().toStdString());

    CBatchOrderData noVolume(QStringLiteral("23,5,10.5,600000"));
    EXPECT_EQ(noVolume.toString(), "23,5,10.5,600000,18446744073709551615,,49,,,,,,,,,");
}

// Damaged or hostile lines finish and get the verdict the format gives them.
TEST_F(CBatchOrderDataTest, BadInputGetsItsVerdict)
{
    const QString strMegabyte(1 << 20, QLatin1Char('x'));
    CBatchOrderData huge;
    EXPECT_TRUE(huge.parse("1,5,10,600000,100,,,,,," + strMegabyte));
    EXPECT_EQ(huge.m_strTradeParam.size(), strMegabyte.size());

    QStringList columns{"1"};
    for (int i = 1; i < 10000; ++i)
        columns << QStringLiteral("c%1").arg(i);
    CBatchOrderData wide;
    EXPECT_TRUE(wide.parse(columns.join(',')));
    EXPECT_EQ(wide.m_strExtraParam, "c13");

    EXPECT_FALSE(CBatchOrderData().parse(QString(1 << 20, QLatin1Char('"'))));
    EXPECT_FALSE(CBatchOrderData().parse(QStringLiteral("\uFFFD\uFFFD,5")));

    CBatchOrderData replaced;
    EXPECT_TRUE(replaced.parse(QStringLiteral("1,5,10,\uFFFD\uFFFD,100,\x01\x02\t\x1b,,,,\x7f")));
    EXPECT_EQ(replaced.m_strStockCode, QStringLiteral("\uFFFD\uFFFD"));
    EXPECT_EQ(replaced.m_strAccountId, QStringLiteral("\x01\x02\t\x1b"));

    // Two illegal lines, nothing else reported.
    EXPECT_EQ(newMessages().size(), 2u);
}

} // namespace
