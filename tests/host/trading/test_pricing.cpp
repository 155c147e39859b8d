#include "common/ctesthost.h"
#include "trading/calgorithmauthorityconfig.h"
#include "trading/calgorithmtradehelper.h"
#include "trading/cexchangeclient.h"
#include "trading/corderservicealgoparam.h"
#include "trading/corderservicedbfhelper.h"
#include "trading/pricetypes.h"
#include "trading/regxmatch.h"
#include "trading/stocktypecenter.h"
#include "trading/tradetypes.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

using namespace TC;

namespace {

const std::string kNormalKey = "2____10____P____2____1000001";
const std::string kDualKey = "7____10____P____2____7000001";
const std::string kDualShKey = "7____10____P-SH____2____7000001";
const std::string kDualSzKey = "7____10____P-SZ____2____7000001";
const std::string kCreditKey = "11____10____P____3____1100001";

class PricingTest : public ::testing::Test
{
protected:
    CTestHost m_host{CTestHost::RECORDING_SERVICE,
                     QStringLiteral(BATCHORDER_TEST_DATA_DIR "/host/data/pricing_profile.json")};
};

QString u(const char* szText)
{
    return QString::fromUtf8(szText);
}

TEST_F(PricingTest, PriceTypeByDbfCodeComesFromTheProfileByExactCode)
{
    const struct
    {
        const char* m_szCode;
        int m_nPriceType;
    } rows[] = {{"0", 11}, {"1", 5}, {"6", 12},  {"49", 49}, {"2001", 11},
                {"7", -1}, {"", -1}, {" 1", -1}, {"01", -1}};
    for (const auto& row : rows)
    {
        EXPECT_EQ(getPriceTypeByDbf(u(row.m_szCode)), row.m_nPriceType) << row.m_szCode;
    }
}

TEST(PricingWithoutHost, LookupsAnswerNothingWithoutAConfiguration)
{
    QString strError;
    EXPECT_EQ(getPriceTypeByDbf(QStringLiteral("1")), -1);
    EXPECT_FALSE(CExchangeClient::hasStock(QStringLiteral("SH600000")));
    EXPECT_FALSE(ttservice::StockTypeCenter::instance()->isTypedStock(1, "SH", "600000"));
    EXPECT_FALSE(
        CAlgorithmAuthorityConfig::bCheckTrdAuthority(13, kNormalKey, QStringLiteral("ALPHA1"), strError));
    EXPECT_FALSE(strError.isEmpty());
    EXPECT_EQ(ttOrderTypeToString(ttservice::OTP_TWAP), QStringLiteral("TWAP"));
}

TEST(RegxMatch, ValueOfAKeyAtAPairStart)
{
    const struct
    {
        const char* m_szName;
        const char* m_szKey;
        const char* m_szSeparator;
        const char* m_szText;
        const char* m_szValue;
    } rows[] = {
        {"AfterTag", "BJFS=", "+", "DBF+BJFS=1+ZDJ=10.5", "1"},
        {"LastPairRunsToEnd", "ZDJ=", "+", "DBF+BJFS=1+ZDJ=10.5", "10.5"},
        {"AtStart", "BJFS=", "+", "BJFS=2+X=1", "2"},
        {"NotInsideAnotherKey", "ZDJ=", "+", "XZDJ=5+ZDJ=3", "3"},
        {"NotInsideAValue", "ZDJ=", "+", "A=ZDJ=5", ""},
        {"EmptyValue", "ZDJ=", "+", "ZDJ=+A=1", ""},
        {"Absent", "SFMC=", "+", "A=1", ""},
        {"EmptySeparator", "A=", "", "A=1", ""},
        {"LongSeparator", "B=", "||", "A=1||B=2||C=3", "2"},
        {"FirstWins", "A=", "+", "A=1+A=2", "1"},
        {"CaseSensitive", "bjfs=", "+", "BJFS=1", ""},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(regxMatchStr(u(row.m_szKey), u(row.m_szSeparator), u(row.m_szText)), u(row.m_szValue))
            << row.m_szName;
    }
    EXPECT_DOUBLE_EQ(
        regxMatchDouble(QStringLiteral("ZDJ="), QStringLiteral("+"), QStringLiteral("A=1+ZDJ=-2.5")), -2.5);
    for (const char* szText : {"ZDJ=abc", "A=1", "ZDJ=inf", "ZDJ=nan"})
    {
        EXPECT_EQ(regxMatchDouble(QStringLiteral("ZDJ="), QStringLiteral("+"), u(szText)), 0.0) << szText;
    }
}

// ---- parameter texts -------------------------------------------------------------------------------

struct CParamRow
{
    const char* m_szName;
    int m_nOrderType; // algorithm order type of the order (parseTradPara) or parser's order type
    bool m_bNamed;
    const char* m_szInput;
    const char* m_szResult; // canonical text, or "" when refused
    const char* m_szReason; // a fragment of the reason when refused
};

void PrintTo(const CParamRow& row, std::ostream* pStream)
{
    *pStream << row.m_szName;
}

class ParseTradPara : public PricingTest, public ::testing::WithParamInterface<CParamRow>
{
};

TEST_P(ParseTradPara, AcceptsCanonicalisesOrRefusesWithAReason)
{
    const CParamRow& row = GetParam();
    COrderParam order;
    order.m_nAlgoOrderType = row.m_nOrderType;
    order.m_bNamedStrategy = row.m_bNamed;
    QString strParam = u(row.m_szInput);
    QString strError;
    const bool bOk = COrderServiceDbfHelper().parseTradPara(order, strParam, strError);
    if (*row.m_szResult)
    {
        EXPECT_TRUE(bOk) << strError.toStdString();
        EXPECT_EQ(strParam, u(row.m_szResult));
        EXPECT_TRUE(strError.isEmpty());
    }
    else
    {
        EXPECT_FALSE(bOk);
        EXPECT_EQ(strParam, u(row.m_szInput)); // a refused text is left as it was
        EXPECT_TRUE(strError.contains(u(row.m_szReason))) << strError.toStdString();
    }
    EXPECT_EQ(order.m_nAlgoOrderType, row.m_nOrderType);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseTradPara,
    ::testing::Values(
        CParamRow{"PriceByCode", 0, false, "BJFS=1,ZDJ=10.5", "DBF+BJFS=1+ZDJ=10.5", ""},
        CParamRow{"BlanksAndCase", 0, false, "bjfs = 0 , zdj=9", "DBF+BJFS=0+ZDJ=9", ""},
        CParamRow{"PlusSeparates", 0, false, "BJFS=1+ZDJ=2", "DBF+BJFS=1+ZDJ=2", ""},
        CParamRow{"EmptyItemsSkipped", 0, false, "BJFS=1,,SBLX=1,", "DBF+BJFS=1+SBLX=1", ""},
        CParamRow{"UnmappedCodeLeftToCaller", 0, false, "BJFS=7", "DBF+BJFS=7", ""},
        CParamRow{"OtherAlgorithmTypeIsPricedByCode", 50, false, "BJFS=49", "DBF+BJFS=49", ""},
        CParamRow{"ItemWithoutEquals", 0, false, "BJFS", "", "缺少\"=\""},
        CParamRow{"TwoEquals", 0, false, "BJFS=1=2", "", "多个"},
        CParamRow{"EmptyKey", 0, false, "BJFS=1,=5", "", "缺少参数名"},
        CParamRow{"BadKeyCharacters", 0, false, "BJ-FS=1", "", "只能由"},
        CParamRow{"EmptyValue", 0, false, "BJFS=", "", "值为空"},
        CParamRow{"DuplicateKeyAnyCase", 0, false, "BJFS=1,bjfs=2", "", "重复"},
        CParamRow{"CodeNotANumber", 0, false, "BJFS=x", "", "非负整数"},
        CParamRow{"FixedPriceNeedsZdj", 0, false, "BJFS=0", "", "必须给出ZDJ"},
        CParamRow{"PriceMustBePositive", 0, false, "BJFS=0,ZDJ=0", "", "大于0"},
        CParamRow{"PriceMustBeFinite", 0, false, "BJFS=0,ZDJ=nan", "", "大于0"},
        CParamRow{"ProviderKeyRefusedForPriceByCode", 0, false, "BJFS=1,SFMC=A", "", "不支持的参数SFMC"},
        CParamRow{"SblxIsAFlag", 0, false, "BJFS=1,SBLX=2", "", "0或1"},
        CParamRow{"EmptyText", 0, false, "", "", "为空"},
        CParamRow{"ProviderPassesItsOwnKeys", 13, false, "SFMC=alpha1,Note=x", "DBF+SFMC=ALPHA1+NOTE=x", ""},
        CParamRow{"ProviderGivenPrice", 13, false, "SFMC=A,DDLX=1,XJJG=10", "DBF+SFMC=A+DDLX=1+XJJG=10", ""},
        CParamRow{"ProviderGivenPriceNeedsXjjg", 13, false, "SFMC=A,DDLX=1", "", "XJJG"},
        CParamRow{"ProviderNeedsSfmc", 13, false, "NOTE=x", "", "缺少参数SFMC"},
        CParamRow{"ProviderDdlxIsAFlag", 13, false, "SFMC=A,DDLX=2", "", "0或1"},
        CParamRow{"NamedStrategyIsProvider", 0, true, "SFMC=A,X=1", "DBF+SFMC=A+X=1", ""}),
    [](const ::testing::TestParamInfo<CParamRow>& info) { return std::string(info.param.m_szName); });

class AlgoParamParser : public PricingTest, public ::testing::WithParamInterface<CParamRow>
{
};

TEST_P(AlgoParamParser, ChecksTheKeysOfEachAlgorithm)
{
    const CParamRow& row = GetParam();
    QString strError;
    const QString strResult = COrderServiceAlgoParam::parser(row.m_nOrderType, u(row.m_szInput), strError);
    EXPECT_EQ(strResult, u(row.m_szResult));
    if (*row.m_szResult)
        EXPECT_TRUE(strError.isEmpty()) << strError.toStdString();
    else
        EXPECT_TRUE(strError.contains(u(row.m_szReason))) << strError.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AlgoParamParser,
    ::testing::Values(
        CParamRow{"Twap", 24, false, "BJFS=1,KSSJ=093000,JSSJ=100000", "ALG+BJFS=1+KSSJ=093000+JSSJ=100000",
                  ""},
        CParamRow{"TwapFixedPriceWithInterval", 24, false, "BJFS=0,ZDJ=10,KSSJ=093000,JSSJ=100000,WTJG=30",
                  "ALG+BJFS=0+ZDJ=10+KSSJ=093000+JSSJ=100000+WTJG=30", ""},
        CParamRow{"TwapNeedsEndTime", 24, false, "BJFS=1,KSSJ=093000", "", "缺少参数JSSJ"},
        CParamRow{"TwapNeedsPriceCode", 24, false, "KSSJ=093000,JSSJ=100000", "", "缺少参数BJFS"},
        CParamRow{"StartBeforeEnd", 24, false, "BJFS=1,KSSJ=100000,JSSJ=093000", "", "早于"},
        CParamRow{"HourOutOfRange", 24, false, "BJFS=1,KSSJ=250000,JSSJ=260000", "", "HHmmss"},
        CParamRow{"TimeNeedsSixDigits", 24, false, "BJFS=1,KSSJ=93000,JSSJ=100000", "", "HHmmss"},
        CParamRow{"FixedPriceNeedsZdj", 24, false, "BJFS=0,KSSJ=093000,JSSJ=100000", "", "必须给出ZDJ"},
        CParamRow{"VwapKeyRefusedForTwap", 24, false, "BJFS=1,KSSJ=093000,JSSJ=100000,CYBL=10", "",
                  "不支持的参数CYBL"},
        CParamRow{"Vwap", 26, false, "BJFS=1,KSSJ=093000,JSSJ=100000,CYBL=20",
                  "ALG+BJFS=1+KSSJ=093000+JSSJ=100000+CYBL=20", ""},
        CParamRow{"VwapRateAboveZero", 26, false, "BJFS=1,KSSJ=093000,JSSJ=100000,CYBL=0", "", "百分比"},
        CParamRow{"VwapRateAtMost100", 26, false, "BJFS=1,KSSJ=093000,JSSJ=100000,CYBL=101", "", "百分比"},
        CParamRow{"Iceberg", 107, false, "BJFS=1,DBSL=500", "ALG+BJFS=1+DBSL=500", ""},
        CParamRow{"IcebergNeedsVisibleQuantity", 107, false, "BJFS=1", "", "缺少参数DBSL"},
        CParamRow{"IcebergQuantityPositive", 107, false, "BJFS=1,DBSL=0", "", "正整数"},
        CParamRow{"Follow", 108, false, "bjfs=1,glbl=50", "ALG+BJFS=1+GLBL=50", ""},
        CParamRow{"FollowRatioIsANumber", 108, false, "BJFS=1,GLBL=abc", "", "百分比"},
        CParamRow{"Provider", 13, false, "SFMC=x,ANY=1", "ALG+SFMC=X+ANY=1", ""},
        CParamRow{"UnknownAlgorithm", 99, false, "BJFS=1", "", "不支持的算法类型99"},
        CParamRow{"EmptyText", 24, false, "", "", "为空"}),
    [](const ::testing::TestParamInfo<CParamRow>& info) { return std::string(info.param.m_szName); });

// ---- algorithms and rights -------------------------------------------------------------------------

TEST_F(PricingTest, AlgorithmNameFromSfmcOrFromTheProfileSetting)
{
    const struct
    {
        const char* m_szParam;
        int m_nOrderType;
        const char* m_szName;
    } rows[] = {
        {"DBF+SFMC=ALPHA1+DDLX=1", 13, "ALPHA1"}, {"SFMC=A1,X=2", 13, "A1"}, {"X=1", 13, ""},
        {"DBF+SFMC=A", 24, "时间加权"},           {"", 108, "跟量"},         {"", 26, ""},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(CAlgorithmTradeHelper::get3rdAlgoTypeByDbfParam(u(row.m_szParam), row.m_nOrderType),
                  u(row.m_szName))
            << row.m_szParam << " " << row.m_nOrderType;
    }
}

TEST_F(PricingTest, TradingRightsPerAccountKey)
{
    const struct
    {
        const char* m_szName;
        int m_nOrderType;
        std::string m_strKey;
        const char* m_szAlgo;
        bool m_bAllowed;
    } rows[] = {
        {"NameCaseIgnored", 13, kNormalKey, "ALPHA1", true},
        {"NotListed", 13, kNormalKey, "BETA", false},
        {"EmptyList", 13, kCreditKey, "ALPHA1", false},
        {"CentreKeyOwnEntry", 13, kDualShKey, "BETA", true},
        {"CentreKeyOwnEntryOverridesMain", 13, kDualShKey, "ALPHA1", false},
        {"CentreKeyWithoutEntryTakesMain", 13, kDualSzKey, "ALPHA1", true},
        {"UnknownAccount", 13, "nobody", "ALPHA1", false},
        {"OwnAlgorithmByOrderType", 24, kNormalKey, "", true},
        {"OwnAlgorithmNotGranted", 108, kNormalKey, "", false},
        {"ProviderWithoutName", 13, kNormalKey, "", false},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szName);
        QString strError;
        EXPECT_EQ(CAlgorithmAuthorityConfig::bCheckTrdAuthority(row.m_nOrderType, row.m_strKey,
                                                                u(row.m_szAlgo), strError),
                  row.m_bAllowed);
        // A refusal names the account, so the writer of the line knows which one to fix.
        EXPECT_EQ(strError.isEmpty(), row.m_bAllowed);
        EXPECT_EQ(strError.contains(QString::fromStdString(row.m_strKey)), !row.m_bAllowed);
    }
    QString strError;
    CAlgorithmAuthorityConfig::bCheckTrdAuthority(13, kCreditKey, QStringLiteral("ALPHA1"), strError);
    EXPECT_TRUE(strError.contains(QStringLiteral("ALPHA1")));
}

// ---- instruments -----------------------------------------------------------------------------------

TEST_F(PricingTest, InstrumentDirectoryByStockKey)
{
    EXPECT_EQ(CExchangeClient::pzStockKey(QStringLiteral("SH"), QStringLiteral("600000")),
              QStringLiteral("SH600000"));
    const struct
    {
        const char* m_szKey;
        bool m_bKnown;
    } rows[] = {{"SH600000", true},  {"SZ000001", true}, {"SZ600000", false},
                {"sh600000", false}, {"SH60000", false}, {"", false}};
    for (const auto& row : rows)
    {
        EXPECT_EQ(CExchangeClient::hasStock(u(row.m_szKey)), row.m_bKnown) << row.m_szKey;
        EXPECT_EQ(CExchangeClient::getCodeInfo(u(row.m_szKey)) != nullptr, row.m_bKnown) << row.m_szKey;
    }
    const auto pDetail = CExchangeClient::getCodeInfo(QStringLiteral("SZ"), QStringLiteral("000001"));
    ASSERT_NE(pDetail, nullptr);
    EXPECT_EQ(pDetail->m_strMarket, "SZ");
    EXPECT_EQ(pDetail->m_strCode, "000001");
    EXPECT_EQ(pDetail->m_strName, "深股");
}

TEST_F(PricingTest, InstrumentTypeMembership)
{
    const struct
    {
        int m_nType;
        const char* m_szMarket;
        const char* m_szCode;
        bool m_bMember;
    } rows[] = {
        {300, "SH", "510300", true}, {100028, "SH", "510300", true}, {300, "SH", "600000", false},
        {1, "SZ", "000001", true},   {1, "SH", "000001", false},     {1, "XX", "600000", false},
    };
    const ttservice::StockTypeCenter* pCenter = ttservice::StockTypeCenter::instance();
    for (const auto& row : rows)
    {
        EXPECT_EQ(pCenter->isTypedStock(row.m_nType, row.m_szMarket, row.m_szCode), row.m_bMember)
            << row.m_nType << " " << row.m_szMarket << row.m_szCode;
    }
}

// ---- trade strategy types and display texts --------------------------------------------------------

TEST_F(PricingTest, TradeStrategyTypeFromBrokerExceptTransfersAndCash)
{
    const struct
    {
        int m_nOrderType;
        int m_nBroker;
        int m_nType;
    } rows[] = {
        {23, 2, ttservice::TST_STOCK},    {23, 7, ttservice::TST_STOCK},     {23, 11, ttservice::TST_CREDIT},
        {23, 3, ttservice::TST_CREDIT},   {23, 1, ttservice::TST_FUTURE},    {23, 6, ttservice::TST_OPTION},
        {23, 99, ttservice::TST_UNKNOWN}, {37, 11, ttservice::TST_TRANSFER}, {38, 2, ttservice::TST_TRANSFER},
        {500, 2, ttservice::TST_CASH},    {504, 1, ttservice::TST_CASH},     {505, 2, ttservice::TST_STOCK},
    };
    for (const auto& row : rows)
    {
        EXPECT_EQ(brokerType2TradeStrategyType(row.m_nOrderType, row.m_nBroker), row.m_nType)
            << row.m_nOrderType << " " << row.m_nBroker;
    }
    // The account's own broker decides over the line's broker text.
    auto pCredit = m_host.userConfig().getAccountData(QString::fromStdString(kCreditKey));
    ASSERT_NE(pCredit, nullptr);
    EXPECT_EQ(COrderServiceDbfHelper::getTradeStraType(pCredit, 23, 2), ttservice::TST_CREDIT);
    EXPECT_EQ(COrderServiceDbfHelper::getTradeStraType(nullptr, 23, 1), ttservice::TST_FUTURE);
}

TEST_F(PricingTest, DisplayTexts)
{
    EXPECT_EQ(ttOrderTypeToString(ttservice::OTP_TWAP), u("时间加权")); // the profile's name wins
    EXPECT_EQ(ttOrderTypeToString(ttservice::OTP_VWAP), u("VWAP"));
    EXPECT_EQ(ttOrderTypeToString(ttservice::OTP_NONE), QString());
    EXPECT_EQ(ttOrderTypeToString(999), u("算法999"));
    EXPECT_EQ(orderStrategyOrderTypeToString(23, ttservice::TST_CREDIT), u("担保品买入"));
    EXPECT_EQ(orderStrategyOrderTypeToString(23, ttservice::TST_STOCK), u("买入"));
    EXPECT_EQ(orderStrategyOrderTypeToString(27, ttservice::TST_CREDIT), u("融资买入"));
    EXPECT_EQ(orderStrategyOrderTypeToString(137, ttservice::TST_STOCK), u("操作137"));
    EXPECT_EQ(ttPriceTypeToString(ttservice::PRTP_FIX, "600000", false), u("指定价"));
    EXPECT_EQ(ttPriceTypeToString(ttservice::PRTP_FIX, "600000", true), u("指定"));
    EXPECT_EQ(ttPriceTypeToString(77, "600000", false), u("报价77"));
}

} // namespace
