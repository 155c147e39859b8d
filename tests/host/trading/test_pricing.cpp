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

#include <gtest/gtest.h>

#include <tuple>

// Readable failure messages for QString comparisons.
void PrintTo(const QString& strText, std::ostream* pStream)
{
    *pStream << '"' << strText.toStdString() << '"';
}

// A valid start and end time of an algorithm, spliced into the row texts.
#define TIMES "KSSJ=093000,JSSJ=100000"

using namespace TC;
using namespace ttservice;

namespace {

const std::string kNormalKey = "2____1____P____2____1001";
const std::string kCreditKey = "11____1____P____3____1101";

class PricingTest : public ::testing::Test
{
protected:
    CTestHost m_host{CTestHost::RECORDING_SERVICE,
                     QStringLiteral(BATCHORDER_TEST_DATA_DIR "/host/data/pricing_profile.json")};
};

TEST(PricingWithoutHost, LookupsAnswerNothingWithoutAConfiguration)
{
    QString strError;
    EXPECT_EQ(getPriceTypeByDbf("1"), -1);
    EXPECT_FALSE(CExchangeClient::hasStock("SH600000"));
    EXPECT_FALSE(StockTypeCenter::instance()->isTypedStock(1, "SH", "600000"));
    EXPECT_FALSE(CAlgorithmAuthorityConfig::bCheckTrdAuthority(13, kNormalKey, "ALPHA1", strError));
    EXPECT_EQ(ttOrderTypeToString(OTP_TWAP), "TWAP");
}

TEST_F(PricingTest, PriceTypeByDbfCodeComesFromTheProfileByExactCode)
{
    const std::pair<const char*, int> rows[] = {{"0", 11}, {"6", 12},  {"49", 49},  {"2001", 11},
                                                {"7", -1}, {"", -1},   {" 1", -1},  {"01", -1}};
    for (const auto& [szCode, nPriceType] : rows)
        EXPECT_EQ(getPriceTypeByDbf(szCode), nPriceType) << szCode;
}

// A key counts only where a pair starts, never inside another key or a value; the first match wins.
TEST(RegxMatch, ValueOfAKeyAtAPairStart)
{
    // Key, separator, text, value.
    const std::tuple<const char*, const char*, const char*, const char*> rows[] = {
        {"BJFS=", "+", "DBF+BJFS=1+ZDJ=10.5", "1"}, {"ZDJ=", "+", "DBF+BJFS=1+ZDJ=10.5", "10.5"},
        {"BJFS=", "+", "BJFS=2+X=1", "2"},          {"ZDJ=", "+", "XZDJ=5+ZDJ=3", "3"},
        {"ZDJ=", "+", "A=ZDJ=5", ""},               {"A=", "+", "A=1+A=2", "1"},
        {"B=", "||", "A=1||B=2||C=3", "2"},         {"A=", "", "A=1", ""},
        {"bjfs=", "+", "BJFS=1", ""}};
    for (const auto& [szKey, szSeparator, szText, szValue] : rows)
        EXPECT_EQ(regxMatchStr(szKey, szSeparator, szText), szValue) << szKey << " in " << szText;
    EXPECT_DOUBLE_EQ(regxMatchDouble("ZDJ=", "+", "A=1+ZDJ=-2.5"), -2.5);
    for (const char* szText : {"ZDJ=abc", "A=1", "ZDJ=inf"})
        EXPECT_EQ(regxMatchDouble("ZDJ=", "+", szText), 0.0) << szText;
}

// parseTradPara (prices by BJFS unless the order is a third-party algorithm, 13) and the algorithm
// parser give the canonical text, or refuse with a reason; a refused text is left as it was. The caller
// may already hold a reason (a bad model price) when the text is fine: a parser never erases it.
TEST_F(PricingTest, ParameterTextsAreCanonicalisedOrRefusedWithAReason)
{
    // Algorithm parser (else parseTradPara), algorithm order type, text, canonical text or reason fragment.
    const std::tuple<bool, int, const char*, const char*> rows[] = {
        // Priced by code: blanks, case, "+" and empty items; the caller refuses an unknown code.
        {false, 0, "BJFS=1,ZDJ=2", "DBF+BJFS=1+ZDJ=2"},  {false, 0, "bjfs = 0 + zdj=9", "DBF+BJFS=0+ZDJ=9"},
        {false, 0, "BJFS=1,,SBLX=1,", "DBF+BJFS=1+SBLX=1"},    {false, 0, "BJFS=7", "DBF+BJFS=7"},
        {false, 50, "BJFS=49", "DBF+BJFS=49"},                 {false, 0, "BJFS=1,SFMC=A", "不支持的参数SFMC"},
        {false, 0, "BJFS=x", "非负整数"},                      {false, 0, "BJFS=0", "必须给出ZDJ"},
        {false, 0, "BJFS=0,ZDJ=0", "大于0"},                   {false, 0, "BJFS=0,ZDJ=inf", "大于0"},
        {false, 0, "BJFS=1,SBLX=2", "0或1"},
        // Malformed items, refused whatever the order.
        {false, 0, "", "为空"},                                {false, 0, "BJFS", "缺少\"=\""},
        {false, 0, "BJFS=1=2", "多个"},                        {false, 0, "BJFS=1,=5", "缺少参数名"},
        {false, 0, "BJ-FS=1", "只能由"},                       {false, 0, "BJFS=", "值为空"},
        {false, 0, "BJFS=1,bjfs=2", "重复"},
        // A third-party algorithm: SFMC (upper-cased) required, its own keys passed, DDLX=1 needs XJJG.
        {false, 13, "SFMC=a,Note=x", "DBF+SFMC=A+NOTE=x"},     {false, 13, "NOTE=x", "缺少参数SFMC"},
        {false, 13, "SFMC=A,DDLX=1", "XJJG"},                  {true, 13, "SFMC=x,ANY=1", "ALG+SFMC=X+ANY=1"},
        // The host's own algorithms check their keys.
        {true, 99, "BJFS=1", "不支持的算法类型99"},            {true, 24, "", "为空"},
        {true, 24, "BJFS=0,ZDJ=10," TIMES ",WTJG=30", "ALG+BJFS=0+ZDJ=10+KSSJ=093000+JSSJ=100000+WTJG=30"},
        {true, 24, "BJFS=1,KSSJ=093000", "缺少参数JSSJ"},      {true, 24, "BJFS=0," TIMES, "必须给出ZDJ"},
        {true, 24, "BJFS=1,KSSJ=100000,JSSJ=100000", "早于"},  {true, 24, "BJFS=1,KSSJ=93000", "HHmmss"},
        {true, 24, "BJFS=1,KSSJ=250000", "HHmmss"},            {true, 26, "BJFS=1," TIMES ",CYBL=0", "百分比"},
        {true, 24, "BJFS=1," TIMES ",CYBL=10", "不支持的参数CYBL"},
        {true, 26, "BJFS=1," TIMES ",CYBL=100", "ALG+BJFS=1+KSSJ=093000+JSSJ=100000+CYBL=100"},
        {true, 26, "BJFS=1," TIMES ",CYBL=101", "百分比"},     {true, 107, "BJFS=1,DBSL=0", "正整数"},
        {true, 107, "BJFS=1,DBSL=5", "ALG+BJFS=1+DBSL=5"},
        {true, 108, "bjfs=1,glbl=5", "ALG+BJFS=1+GLBL=5"}};
    for (const auto& [bParser, nOrderType, szText, szExpected] : rows)
    {
        SCOPED_TRACE(szText);
        const QString strExpected = QString::fromUtf8(szExpected);
        const bool bAccepted = strExpected.startsWith("DBF+") || strExpected.startsWith("ALG+");
        const QString strEarlier = QStringLiteral("模型价格为空或非法!");
        QString strResult = szText;
        QString strError = bAccepted ? strEarlier : QString();
        COrderParam order;
        order.m_nAlgoOrderType = nOrderType;
        if (bParser)
            strResult = COrderServiceAlgoParam::parser(nOrderType, szText, strError);
        else
            EXPECT_EQ(COrderServiceDbfHelper().parseTradPara(order, strResult, strError), bAccepted);
        EXPECT_EQ(strResult, bAccepted ? strExpected : bParser ? QString() : QString(szText));
        if (bAccepted)
            EXPECT_EQ(strError, strEarlier);
        else
            EXPECT_TRUE(strError.contains(strExpected)) << strError.toStdString();
    }
}

TEST_F(PricingTest, AlgorithmNameFromSfmcOrFromTheProfileSetting)
{
    const std::tuple<const char*, int, const char*> rows[] = {
        {"DBF+SFMC=ALPHA1+DDLX=1", 13, "ALPHA1"}, {"SFMC=A1,X=2", 13, "A1"}, {"X=1", 13, ""},
        {"DBF+SFMC=A", 24, "时间加权"},           {"", 108, "跟量"},         {"", 26, ""}};
    for (const auto& [szParam, nOrderType, szName] : rows)
        EXPECT_EQ(CAlgorithmTradeHelper::get3rdAlgoTypeByDbfParam(szParam, nOrderType), szName) << szParam;
}

// Rights come from the profile by account key; a centre key without an entry of its own takes its main
// account's. A refusal names the account, so the writer of the line knows which one to fix.
TEST_F(PricingTest, TradingRightsPerAccountKey)
{
    const std::string strSh = "7____1____P-SH____2____7001", strSz = "7____1____P-SZ____2____7001";
    // Algorithm order type, account key, algorithm name, allowed.
    const std::tuple<int, std::string, const char*, bool> rows[] = {
        {13, kNormalKey, "ALPHA1", true}, // the name's case does not matter
        {13, kNormalKey, "BETA", false},   {13, kCreditKey, "ALPHA1", false}, {13, "nobody", "ALPHA1", false},
        {13, strSh, "BETA", true},         {13, strSh, "ALPHA1", false},      {13, strSz, "ALPHA1", true},
        {24, kNormalKey, "", true}, // the host's own algorithms are named by the profile's setting
        {108, kNormalKey, "", false},      {13, kNormalKey, "", false}};
    for (const auto& [nOrderType, strKey, szAlgo, bAllowed] : rows)
    {
        SCOPED_TRACE(strKey + " " + szAlgo);
        QString strError;
        EXPECT_EQ(CAlgorithmAuthorityConfig::bCheckTrdAuthority(nOrderType, strKey, szAlgo, strError),
                  bAllowed);
        EXPECT_EQ(strError.isEmpty(), bAllowed);
        EXPECT_EQ(strError.contains(QString::fromStdString(strKey)), !bAllowed) << strError.toStdString();
    }
}

TEST_F(PricingTest, InstrumentDirectoryAndTypes)
{
    EXPECT_EQ(CExchangeClient::pzStockKey("SH", "600000"), "SH600000");
    const std::pair<const char*, bool> keys[] = {{"SH600000", true}, {"SZ000001", true}, {"SZ600000", false},
                                                 {"sh600000", false}, {"SH60000", false},  {"", false}};
    for (const auto& [szKey, bKnown] : keys)
    {
        EXPECT_EQ(CExchangeClient::hasStock(szKey), bKnown) << szKey;
        EXPECT_EQ(CExchangeClient::getCodeInfo(szKey) != nullptr, bKnown) << szKey;
    }
    const auto pDetail = CExchangeClient::getCodeInfo("SZ", "000001");
    ASSERT_NE(pDetail, nullptr);
    EXPECT_EQ(pDetail->m_strMarket + pDetail->m_strCode + pDetail->m_strName, "SZ000001深股");
    const StockTypeCenter* pTypes = StockTypeCenter::instance();
    EXPECT_TRUE(pTypes->isTypedStock(300, "SH", "510300") && pTypes->isTypedStock(1, "SZ", "000001"));
    EXPECT_FALSE(pTypes->isTypedStock(300, "SH", "600000") || pTypes->isTypedStock(1, "SH", "000001"));
}

TEST_F(PricingTest, TradeStrategyTypeAndDisplayTexts)
{
    // Order type, broker, trade strategy type.
    const std::tuple<int, int, int> rows[] = {
        {23, 2, TST_STOCK},      {23, 7, TST_STOCK},     {23, 11, TST_CREDIT},     {23, 3, TST_CREDIT},
        {23, 1, TST_FUTURE},     {23, 6, TST_OPTION},    {23, 99, TST_UNKNOWN},    {37, 11, TST_TRANSFER},
        {38, 2, TST_TRANSFER},   {500, 2, TST_CASH},     {504, 1, TST_CASH},       {505, 2, TST_STOCK}};
    for (const auto& [nOrderType, nBroker, nType] : rows)
        EXPECT_EQ(brokerType2TradeStrategyType(nOrderType, nBroker), nType) << nOrderType << "/" << nBroker;
    // The account's own broker decides over the line's broker text.
    const auto pCredit = m_host.userConfig().getAccountData(QString::fromStdString(kCreditKey));
    ASSERT_NE(pCredit, nullptr);
    EXPECT_EQ(COrderServiceDbfHelper::getTradeStraType(pCredit, 23, 2), TST_CREDIT);
    EXPECT_EQ(COrderServiceDbfHelper::getTradeStraType(nullptr, 23, 1), TST_FUTURE);
    EXPECT_EQ(ttOrderTypeToString(OTP_TWAP), "时间加权"); // the profile's name wins
    EXPECT_EQ(ttOrderTypeToString(999), "算法999");
    EXPECT_EQ(orderStrategyOrderTypeToString(23, TST_CREDIT), "担保品买入");
    EXPECT_EQ(ttPriceTypeToString(PRTP_FIX, "600000", true), "指定");
}

} // namespace
