#include "cbatchorderdata.h"
#include "cbatchorderhelper.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"

#include "base/utils.h"
#include "common/ctesthost.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <limits>

using namespace TC;

namespace {

const QString kNormalKey = QStringLiteral("2____10____T____2____1000001");
const QString kDualKey = QStringLiteral("7____10____T____2____7000001");
const QString kDualShKey = QStringLiteral("7____10____T-SH____2____7000001");
const QString kDualSzKey = QStringLiteral("7____10____T-SZ____2____7000001");
const QString kCreditKey = QStringLiteral("11____10____T____3____1100001");
const char* const kMaxDouble = "1.7976931348623157e308";

QString dataPath(const char* szName)
{
    return QStringLiteral(BATCHORDER_TEST_DATA_DIR "/batchorder/data/") + QString::fromUtf8(szName);
}

// The volume columns as the instruction parser fills them.
void setVolume(CBatchOrderData& data, const QString& strVolume)
{
    data.m_strVolume = strVolume;
    data.m_nVolume = static_cast<uint64_t>(static_cast<int64_t>(strVolume.toInt()));
}

// A record as the parser leaves a valid general-path line: a buy of 100 at the latest price.
boost::shared_ptr<CBatchOrderData> makeRecord(const QString& strOrderType = QStringLiteral("23"))
{
    auto pData = boost::make_shared<CBatchOrderData>();
    pData->m_nSeq = 7;
    pData->m_strOrderType = strOrderType;
    pData->m_strPriceType = QStringLiteral("1");
    pData->m_strModePrice = QStringLiteral("10.5");
    pData->m_strStockCode = QStringLiteral("600000");
    setVolume(*pData, QStringLiteral("100"));
    pData->m_strAccountId = QStringLiteral("1000001");
    pData->m_strActType = QStringLiteral("49");
    pData->m_strOrigActType = QStringLiteral("2");
    pData->m_strStrategy = QStringLiteral("策略1");
    pData->m_strNote = QStringLiteral("备注");
    return pData;
}

class OrderHelperTest : public ::testing::Test
{
protected:
    QVector<COrderParam> build(const boost::shared_ptr<CBatchOrderData>& pData)
    {
        QVector<COrderParam> orders;
        m_helper.buildOrderParam(pData, orders);
        return orders;
    }

    // Builds the record and expects exactly one order; fails the test otherwise.
    COrderParam buildOne(const boost::shared_ptr<CBatchOrderData>& pData)
    {
        const QVector<COrderParam> orders = build(pData);
        EXPECT_EQ(orders.size(), 1) << "rejected: " << pData->m_strErrorMsg.toStdString();
        return orders.value(0);
    }

    // The reason a record is rejected with, or "" when it is accepted; a rejected record adds no order.
    QString outcome(const boost::shared_ptr<CBatchOrderData>& pData)
    {
        const QVector<COrderParam> orders = build(pData);
        EXPECT_EQ(orders.isEmpty(), !pData->m_strErrorMsg.isEmpty());
        return pData->m_strErrorMsg;
    }

    QString writeFile(const QString& strName, const QByteArray& bytes)
    {
        const QString strPath = m_dir.filePath(strName);
        QFile file(strPath);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return strPath;
    }

    CTestHost m_host{CTestHost::RECORDING_SERVICE, dataPath("orderhelper_profile.json")};
    CBatchOrderHelper m_helper;
    QTemporaryDir m_dir;
};

// ---- order type groups ----------------------------------------------------------------------------

enum EGroup
{
    A,
    B,
    C,
    D,
    E,
    F,
    G,
    GENERAL
};

struct CGroupRow
{
    const char* m_szName;
    const char* m_szOrderType;
    EGroup m_eGroup;
};

void PrintTo(const CGroupRow& row, std::ostream* pStream)
{
    *pStream << row.m_szName;
}

class OrderTypeGroups : public OrderHelperTest, public ::testing::WithParamInterface<CGroupRow>
{
};

// Two probes tell the groups apart: empty columns, and a TRADEPARAM that is no key=value pair.
TEST_P(OrderTypeGroups, EachOrderTypeTakesItsGroupsPath)
{
    const EGroup eGroup = GetParam().m_eGroup;
    const QString strType = QString::fromLatin1(GetParam().m_szOrderType);

    auto pEmpty = makeRecord(strType);
    pEmpty->m_strStockCode.clear();
    pEmpty->m_strModePrice.clear();
    pEmpty->m_strPriceType.clear();
    setVolume(*pEmpty, QStringLiteral("0"));
    static const char* const s_emptyReasons[] = {"组合策略文件路径为空!",
                                                 "还款金额为空或非法!",
                                                 "不支持当前操作类型!",
                                                 "划转合约代码为空!",
                                                 "合约代码为空!",
                                                 "合约代码为空!",
                                                 "",
                                                 "合约代码为空!"};
    EXPECT_EQ(outcome(pEmpty), QString::fromUtf8(s_emptyReasons[eGroup]));

    auto pOddParam = makeRecord(strType);
    pOddParam->m_strTradeParam = QStringLiteral("X");
    static const char* const s_oddReasons[] = {"算法参数解析失败", "", "不支持当前操作类型!", "", "", "", "",
                                               "算法参数解析失败"};
    const QVector<COrderParam> orders = build(pOddParam);
    EXPECT_EQ(pOddParam->m_strErrorMsg, QString::fromUtf8(s_oddReasons[eGroup]));
    if (eGroup == E || eGroup == F)
    {
        ASSERT_EQ(orders.size(), 1);
        EXPECT_EQ(orders[0].m_strAlgoText, eGroup == F ? "X" : "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, OrderTypeGroups,
    ::testing::Values(CGroupRow{"Type24General", "24", GENERAL}, CGroupRow{"Type25A", "25", A},
                      CGroupRow{"Type26A", "26", A}, CGroupRow{"Type31General", "31", GENERAL},
                      CGroupRow{"Type32B", "32", B}, CGroupRow{"Type33C", "33", C},
                      CGroupRow{"Type36C", "36", C}, CGroupRow{"Type37D", "37", D},
                      CGroupRow{"Type38D", "38", D}, CGroupRow{"Type39B", "39", B},
                      CGroupRow{"Type40General", "40", GENERAL}, CGroupRow{"Type109General", "109", GENERAL},
                      CGroupRow{"Type110A", "110", A}, CGroupRow{"Type111A", "111", A},
                      CGroupRow{"Type112C", "112", C}, CGroupRow{"Type119C", "119", C},
                      CGroupRow{"Type120A", "120", A}, CGroupRow{"Type125A", "125", A},
                      CGroupRow{"Type126General", "126", GENERAL}, CGroupRow{"Type137E", "137", E},
                      CGroupRow{"Type138E", "138", E}, CGroupRow{"Type139F", "139", F},
                      CGroupRow{"Type140General", "140", GENERAL},
                      CGroupRow{"Type499General", "499", GENERAL}, CGroupRow{"Type500G", "500", G},
                      CGroupRow{"Type504G", "504", G}, CGroupRow{"Type505General", "505", GENERAL},
                      CGroupRow{"Type0200IsGeneralNotCancel", "0200", GENERAL}),
    [](const ::testing::TestParamInfo<CGroupRow>& info) { return std::string(info.param.m_szName); });

// ---- group A: single order or basket --------------------------------------------------------------

struct CVolumeRow
{
    const char* m_szName;
    const char* m_szVolume;
    bool m_bBasket;
    bool m_bAlgoBasket; // algorithm order type 100
};

void PrintTo(const CVolumeRow& row, std::ostream* pStream)
{
    *pStream << row.m_szName;
}

class GroupAVolume : public OrderHelperTest, public ::testing::WithParamInterface<CVolumeRow>
{
};

TEST_P(GroupAVolume, VolumeChoosesSingleOrderOrBasket)
{
    auto pData = makeRecord(QStringLiteral("25"));
    setVolume(*pData, QString::fromLatin1(GetParam().m_szVolume));
    pData->m_strModePrice = QStringLiteral("9.9");
    pData->m_strBasketPath = dataPath("basket_third_line_empty.csv");
    const COrderParam order = buildOne(pData);

    EXPECT_EQ(order.m_nAlgoOrderType, GetParam().m_bAlgoBasket ? 100 : 0);
    if (!GetParam().m_bBasket)
    {
        ASSERT_EQ(order.m_singleParams.size(), 1);
        EXPECT_EQ(order.m_singleParams[0].m_strStockCode, QStringLiteral("600000"));
        EXPECT_EQ(order.m_singleParams[0].m_nVolume, pData->m_strVolume.toInt());
        return;
    }
    // The basket's lines, each on the pattern built from the record (price type 5, MODE_PRICE).
    ASSERT_EQ(order.m_singleParams.size(), 2);
    EXPECT_EQ(order.m_singleParams[0].m_strStockCode, QStringLiteral("600000"));
    EXPECT_EQ(order.m_singleParams[0].m_nVolume, 100);
    EXPECT_EQ(order.m_singleParams[0].m_nExtra, 1);
    EXPECT_DOUBLE_EQ(order.m_singleParams[0].m_dPrice, 10.5);
    EXPECT_EQ(order.m_singleParams[1].m_strStockCode, QStringLiteral("000001"));
    EXPECT_EQ(order.m_singleParams[1].m_nVolume, 200);
    EXPECT_DOUBLE_EQ(order.m_singleParams[1].m_dPrice, 9.9);
    EXPECT_EQ(order.m_singleParams[1].m_nPriceType, 5);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, GroupAVolume,
                         ::testing::Values(CVolumeRow{"One", "1", false, true},
                                           CVolumeRow{"IntMaxMinusOne", "2147483646", false, true},
                                           CVolumeRow{"IntMaxIsBasket", "2147483647", true, false},
                                           CVolumeRow{"ZeroIsBasket", "0", true, false},
                                           CVolumeRow{"NegativeIsBasketOrder", "-5", true, true},
                                           CVolumeRow{"NotANumberIsBasket", "abc", true, false}),
                         [](const ::testing::TestParamInfo<CVolumeRow>& info) {
                             return std::string(info.param.m_szName);
                         });

TEST_F(OrderHelperTest, GroupASingleOrderNeedsCodeAndBasketNeedsPath)
{
    auto pNoCode = makeRecord(QStringLiteral("26"));
    pNoCode->m_strStockCode.clear();
    EXPECT_EQ(outcome(pNoCode), QStringLiteral("合约代码为空!"));

    auto pNoPath = makeRecord(QStringLiteral("120"));
    setVolume(*pNoPath, QStringLiteral("-5"));
    EXPECT_EQ(outcome(pNoPath), QStringLiteral("组合策略文件路径为空!"));
}

TEST_F(OrderHelperTest, GroupAMissingBasketFileGivesOrderWithoutSingles)
{
    auto pData = makeRecord(QStringLiteral("25"));
    setVolume(*pData, QStringLiteral("-5"));
    pData->m_strBasketPath = m_dir.filePath(QStringLiteral("absent.csv"));
    const COrderParam order = buildOne(pData);
    EXPECT_TRUE(order.m_singleParams.isEmpty());
    EXPECT_EQ(order.m_nAlgoOrderType, 100);
}

// ---- groups B to G ---------------------------------------------------------------------------------

TEST_F(OrderHelperTest, GroupBRepaymentNeedsAnAmount)
{
    const struct
    {
        const char* m_szType;
        const char* m_szAmount;
        const char* m_szReason;
        double m_dAmount;
    } rows[] = {
        {"32", "1000.5", "", 1000.5},
        {"39", "abc", "", 0.0}, // not a number reads as 0 and passes
        {"32", "", "还款金额为空或非法!", 0.0},
        {"39", kMaxDouble, "还款金额为空或非法!", 0.0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szAmount);
        auto pData = makeRecord(QString::fromLatin1(row.m_szType));
        pData->m_strModePrice = QString::fromLatin1(row.m_szAmount);
        pData->m_strTradeParam = QStringLiteral("HK=1");
        const QVector<COrderParam> orders = build(pData);
        EXPECT_EQ(pData->m_strErrorMsg, QString::fromUtf8(row.m_szReason));
        if (!orders.isEmpty())
        {
            EXPECT_DOUBLE_EQ(orders[0].m_singleParams.value(0).m_dAmount, row.m_dAmount);
            EXPECT_EQ(orders[0].m_strAlgoText, "HK=1"); // repayments carry TRADEPARAM as algorithm text
        }
    }
}

TEST_F(OrderHelperTest, GroupCIsRejectedWhateverTheColumns)
{
    for (const char* szType : {"33", "34", "35", "36", "112", "115", "119"})
    {
        auto pData = makeRecord(QString::fromLatin1(szType));
        pData->m_strTradeParam = QStringLiteral("BJFS=1");
        EXPECT_EQ(outcome(pData), QStringLiteral("不支持当前操作类型!")) << szType;
    }
}

TEST_F(OrderHelperTest, GroupDTransferChecksCodeVolumeAndCounterpart)
{
    const struct
    {
        const char* m_szCode;
        const char* m_szVolume;
        const char* m_szCounterpart;
        const char* m_szReason;
    } rows[] = {
        {"", "100", "A123", "划转合约代码为空!"},
        {"600000", "0", "A123", "划转数量非法!"},
        {"600000", "-1", "A123", "划转数量非法!"},
        {"600000", "100", "", "划入/划出股东号为空!"},
        {"600000", "100", "A123", ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szReason);
        auto pData = makeRecord(QStringLiteral("37"));
        pData->m_strStockCode = QString::fromLatin1(row.m_szCode);
        setVolume(*pData, QString::fromLatin1(row.m_szVolume));
        pData->m_strTradeParam = QString::fromLatin1(row.m_szCounterpart);
        const QVector<COrderParam> orders = build(pData);
        EXPECT_EQ(pData->m_strErrorMsg, QString::fromUtf8(row.m_szReason));
        if (!orders.isEmpty())
        {
            EXPECT_EQ(orders[0].m_strCounterpart, "A123");
            EXPECT_EQ(orders[0].m_singleParams.value(0).m_strStockCode, QStringLiteral("600000"));
        }
    }
}

TEST_F(OrderHelperTest, GroupEAndFIgnoreTradeParamForPricing)
{
    for (const char* szType : {"137", "139"})
    {
        auto pData = makeRecord(QString::fromLatin1(szType));
        pData->m_strTradeParam = QStringLiteral("BJFS=0, ZDJ=1");
        const COrderParam order = buildOne(pData);
        ASSERT_EQ(order.m_singleParams.size(), 1);
        EXPECT_EQ(order.m_singleParams[0].m_nPriceType, 5);
        EXPECT_DOUBLE_EQ(order.m_singleParams[0].m_dPrice, 10.5);
        EXPECT_EQ(order.m_singleParams[0].m_nVolume, 100);
        EXPECT_TRUE(order.m_strParamText.empty());
        // Group F hands TRADEPARAM over as written.
        EXPECT_EQ(order.m_strAlgoText, QByteArray(szType) == "139" ? "BJFS=0, ZDJ=1" : "");
    }
    auto pBadPrice = makeRecord(QStringLiteral("138"));
    pBadPrice->m_strPriceType = QStringLiteral("0");
    pBadPrice->m_strModePrice = QString::fromLatin1(kMaxDouble);
    EXPECT_EQ(outcome(pBadPrice), QStringLiteral("模型价格为空或非法!"));
}

TEST_F(OrderHelperTest, GroupGKeepsVolumeTextAndAcceptsEmptyCode)
{
    auto pData = makeRecord(QStringLiteral("502"));
    pData->m_strStockCode.clear();
    setVolume(*pData, QStringLiteral("5000"));
    const COrderParam order = buildOne(pData);
    EXPECT_EQ(order.m_strVolumeText, "5000");
    EXPECT_EQ(order.m_singleParams.value(0).m_nVolume, 5000);

    // The model-price result is not looked at, but its reason still rejects the record.
    auto pBadPrice = makeRecord(QStringLiteral("500"));
    pBadPrice->m_strPriceType = QStringLiteral("49");
    pBadPrice->m_strModePrice = QString::fromLatin1(kMaxDouble);
    EXPECT_EQ(outcome(pBadPrice), QStringLiteral("模型价格为空或非法!"));
}

// ---- general path and finishing --------------------------------------------------------------------

TEST_F(OrderHelperTest, FinishedOrderCarriesTheRecordsFields)
{
    auto pData = makeRecord();
    pData->m_nVolume = (uint64_t(1) << 32) + 300; // only the low 32 bits are the quantity
    pData->m_strTradeParam = QStringLiteral("BJFS=3");
    pData->m_strBrokerType = QStringLiteral("2");
    const COrderParam order = buildOne(pData);
    EXPECT_EQ(order.m_nOrderType, 23);
    EXPECT_EQ(order.m_nStrategyNo, 999);
    EXPECT_EQ(order.m_nStrategyFlag, 10);
    EXPECT_EQ(order.m_strSeq, QStringLiteral("7"));
    EXPECT_EQ(order.m_strStrategyName, "策略1");
    EXPECT_EQ(order.m_strNote, "备注");
    EXPECT_EQ(order.m_strGivenAccountType, QStringLiteral("2"));
    EXPECT_EQ(order.m_strAccountType, QStringLiteral("49"));
    EXPECT_EQ(order.m_strAccountKey, kNormalKey);
    EXPECT_EQ(order.m_strBrokerType, QStringLiteral("2"));
    EXPECT_EQ(order.m_nTradeStrategyType, 1);       // stock, from broker 2
    EXPECT_TRUE(order.m_strDbfPriceText.isEmpty()); // kept only for algorithm settings and unmapped codes
    EXPECT_EQ(order.m_strParamText, "BJFS=3");
    ASSERT_EQ(order.m_singleParams.size(), 1);
    EXPECT_EQ(order.m_singleParams[0].m_nVolume, 300);
    EXPECT_EQ(order.m_singleParams[0].m_nPriceType, 6); // from BJFS, not from PRICE_TYPE
    EXPECT_DOUBLE_EQ(order.m_singleParams[0].m_dPrice, 10.5);
}

TEST_F(OrderHelperTest, GeneralPathSblxSetsAlgoTextOnlyForBrokers7And11)
{
    const struct
    {
        const char* m_szAccount;
        const char* m_szBroker;
        const char* m_szTradeParam;
        const char* m_szAlgoText;
        const char* m_szLeft; // TRADEPARAM of the record afterwards
    } rows[] = {
        {"7000001", "7", "sblx=1", "93", ""},
        {"1100001", "11", "BJFS=1,SBLX=0", "92", "BJFS=1,"},
        {"7000001", "7", "BJFS=1,SBLX = 1", "93", "BJFS=1,"},
        {"1000001", "2", "sblx=1", "", ""},
        {"7000001", "7", "SBLX=2", "", ""},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szTradeParam);
        auto pData = makeRecord();
        pData->m_strAccountId = QString::fromLatin1(row.m_szAccount);
        pData->m_strBrokerType = QString::fromLatin1(row.m_szBroker);
        pData->m_strTradeParam = QString::fromLatin1(row.m_szTradeParam);
        const COrderParam order = buildOne(pData);
        EXPECT_EQ(order.m_strAlgoText, row.m_szAlgoText);
        EXPECT_EQ(pData->m_strTradeParam, QString::fromLatin1(row.m_szLeft));
    }
}

TEST_F(OrderHelperTest, ZdclPrefixes)
{
    const struct
    {
        const char* m_szTradeParam;
        int m_nZdclIndex;
        bool m_bNamed;
        const char* m_szParamText;
        double m_dPrice;
    } rows[] = {
        {"ZDCLBD=3", 3, false, "", 10.5}, // the index prices the order: no price-type step
        {"zdclbd = 3", 3, false, "", 10.5},
        {"ZDCLBD=3,BJFS=0", 0, false, "", 10.5}, // the whole rest is the number: not one, so 0
        {"BJFS=1,ZDCLBD=3", -1, false, "BJFS=1+ZDCLBD=3", 10.5},
        {"ZDCLMC=策略A;sfmc=alpha1,ddlx=1,xjjg=10.8", -1, true, "DBF+SFMC=ALPHA1+DDLX=1+XJJG=10.8", 10.8},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szTradeParam);
        auto pData = makeRecord();
        pData->m_strTradeParam = QString::fromUtf8(row.m_szTradeParam);
        const COrderParam order = buildOne(pData);
        EXPECT_EQ(order.m_nZdclIndex, row.m_nZdclIndex);
        EXPECT_EQ(order.m_bNamedStrategy, row.m_bNamed);
        EXPECT_EQ(order.m_strParamText, row.m_szParamText);
        EXPECT_DOUBLE_EQ(order.m_singleParams.value(0).m_dPrice, row.m_dPrice);
    }
}

TEST_F(OrderHelperTest, ZdclNamedStrategyKeepsOnlyTheRealParametersAndChecksRights)
{
    auto pData = makeRecord();
    pData->m_strTradeParam = QStringLiteral("ZDCLMC=策略A;sfmc=alpha1");
    buildOne(pData);
    EXPECT_EQ(pData->m_strTradeParam, QStringLiteral("SFMC=ALPHA1"));

    auto pNoRights = makeRecord();
    pNoRights->m_strAccountId = QStringLiteral("1100001");
    pNoRights->m_strTradeParam = QStringLiteral("ZDCLMC=策略A;SFMC=ALPHA1");
    const QString strReason = outcome(pNoRights);
    EXPECT_TRUE(strReason.contains(kCreditKey) && strReason.contains(QStringLiteral("ALPHA1")))
        << strReason.toStdString();

    auto pNoList = makeRecord();
    pNoList->m_strTradeParam = QStringLiteral("ZDCLMC=策略A");
    EXPECT_EQ(outcome(pNoList), QStringLiteral("算法参数解析失败"));
}

TEST_F(OrderHelperTest, TradeParamIsCleanedBeforeTheHostReadsIt)
{
    const struct
    {
        const char* m_szTradeParam;
        const char* m_szParamText;
        int m_nPriceType;
        double m_dPrice;
    } rows[] = {
        {"bjfs=0 + zdj=10.25", "BJFS=0+ZDJ=10.25", 11, 10.25},
        {"BJFS=0\xef\xbc\x8cZDJ=9.8", "BJFS=0+ZDJ=9.8", 11, 9.8}, // full-width comma
        {"\"BJFS=1\",\"ZDJ=5\"", "BJFS=1+ZDJ=5", 5, 10.5},        // ZDJ counts only for a fixed price
        {"BJFS=3,,", "BJFS=3", 6, 10.5},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szTradeParam);
        auto pData = makeRecord();
        pData->m_strTradeParam = QString::fromUtf8(row.m_szTradeParam);
        const COrderParam order = buildOne(pData);
        EXPECT_EQ(order.m_strParamText, row.m_szParamText);
        EXPECT_EQ(order.m_singleParams.value(0).m_nPriceType, row.m_nPriceType);
        EXPECT_DOUBLE_EQ(order.m_singleParams.value(0).m_dPrice, row.m_dPrice);
    }
}

TEST_F(OrderHelperTest, PriceTypeStepRejections)
{
    const struct
    {
        const char* m_szTradeParam;
        const char* m_szReason;
    } rows[] = {
        {"BJFS=7", "无效的报价类型"},          // a code the profile does not map
        {"ZDJ=10", "无效的报价类型"},          // no BJFS at all
        {"BJFS=0", "算法参数解析失败"},        // fixed price without ZDJ would go out at 0
        {"BJFS=1,XJJG=3", "算法参数解析失败"}, // a key this kind of order does not read
        {"BJFS=abc", "算法参数解析失败"},      {"BJFS=1,bjfs=1", "算法参数解析失败"},
        {"BJFS=1,=5", "算法参数解析失败"},
    };
    for (const auto& row : rows)
    {
        auto pData = makeRecord();
        pData->m_strTradeParam = QString::fromLatin1(row.m_szTradeParam);
        EXPECT_EQ(outcome(pData), QString::fromUtf8(row.m_szReason)) << row.m_szTradeParam;
    }
}

TEST_F(OrderHelperTest, SpecialPriceCode9003TakesTheAlgorithmProviderPath)
{
    auto pData = makeRecord();
    pData->m_strPriceType = QStringLiteral("9003");
    pData->m_strTradeParam = QStringLiteral("sfmc = alpha1 , ddlx=1, xjjg=12.3, memo=Ab");
    const COrderParam order = buildOne(pData);
    EXPECT_EQ(order.m_nAlgoOrderType, 13);
    EXPECT_EQ(order.m_strParamText, "DBF+SFMC=ALPHA1+DDLX=1+XJJG=12.3+MEMO=Ab");
    EXPECT_DOUBLE_EQ(order.m_singleParams.value(0).m_dPrice, 12.3);
    EXPECT_TRUE(order.m_strDbfPriceText.isEmpty());

    auto pNoParams = makeRecord();
    pNoParams->m_strPriceType = QStringLiteral("9003");
    EXPECT_EQ(outcome(pNoParams), QStringLiteral("算法参数解析失败"));
}

TEST_F(OrderHelperTest, AlgorithmSettingRoutesToTheAlgorithmParser)
{
    auto pData = makeRecord();
    pData->m_strPriceType = QStringLiteral("2001");
    pData->m_strTradeParam = QStringLiteral("BJFS=0,ZDJ=10.2,KSSJ=093000,JSSJ=100000");
    const COrderParam order = buildOne(pData);
    EXPECT_EQ(order.m_nAlgoOrderType, 24);
    EXPECT_EQ(order.m_strDbfPriceText, QStringLiteral("2001"));
    EXPECT_EQ(order.m_strParamText, "BJFS=0+ZDJ=10.2+KSSJ=093000+JSSJ=100000");
    EXPECT_DOUBLE_EQ(order.m_singleParams.value(0).m_dPrice, 10.2);

    pData = makeRecord();
    pData->m_strPriceType = QStringLiteral("2001");
    pData->m_strTradeParam = QStringLiteral("BJFS=1,KSSJ=093000");
    EXPECT_EQ(outcome(pData), QStringLiteral("算法参数解析失败"));
}

TEST_F(OrderHelperTest, ModelPriceCheckForPriceTypes11And49)
{
    const struct
    {
        const char* m_szPriceType;
        const char* m_szModePrice;
        const char* m_szReason;
        double m_dPrice;
    } rows[] = {
        {"0", kMaxDouble, "模型价格为空或非法!", 0},
        {"49", kMaxDouble, "模型价格为空或非法!", 0},
        {"5001", kMaxDouble, "模型价格为空或非法!", 0}, // the setting's price type 49 is checked
        {"1", kMaxDouble, "", std::numeric_limits<double>::max()},
        {"0", "abc", "", 0.0},
        {"49", "", "", 0.0},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szPriceType);
        auto pData = makeRecord();
        pData->m_strPriceType = QString::fromLatin1(row.m_szPriceType);
        pData->m_strModePrice = QString::fromLatin1(row.m_szModePrice);
        const QVector<COrderParam> orders = build(pData);
        EXPECT_EQ(pData->m_strErrorMsg, QString::fromUtf8(row.m_szReason));
        if (!orders.isEmpty())
        {
            EXPECT_DOUBLE_EQ(orders[0].m_singleParams.value(0).m_dPrice, row.m_dPrice);
        }
    }
}

TEST_F(OrderHelperTest, UnmappedPriceCodeIsKeptAsDbfPriceText)
{
    auto pData = makeRecord();
    pData->m_strPriceType = QStringLiteral("77");
    const COrderParam order = buildOne(pData);
    EXPECT_EQ(order.m_strDbfPriceText, QStringLiteral("77"));
    EXPECT_EQ(order.m_singleParams.value(0).m_nPriceType, -1);
    EXPECT_EQ(order.m_nAlgoOrderType, 0);
}

TEST_F(OrderHelperTest, HedgeFlagLastPairWins)
{
    const struct
    {
        const char* m_szExtra;
        int m_nHedgeFlag;
    } rows[] = {
        {"HEDGEFLAG=1|hedgeflag = 3", 3},
        {"HEDGEFLAG=2|X=5", 2},
        {"", -1},
        {"HEDGEFLAG", -1},
        {"HEDGEFLAG=1=2", -1},
        {"HEDGEFLAG=1|HEDGEFLAG=x", 0},
    };
    for (const auto& row : rows)
    {
        auto pData = makeRecord();
        pData->m_strExtraParam = QString::fromLatin1(row.m_szExtra);
        EXPECT_EQ(buildOne(pData).m_nHedgeFlag, row.m_nHedgeFlag) << row.m_szExtra;
    }
}

// ---- account resolution ----------------------------------------------------------------------------

TEST_F(OrderHelperTest, AccountResolutionRoutesDualCentreAccountsByInstrument)
{
    const struct
    {
        const char* m_szName;
        const char* m_szAccount;
        const char* m_szBroker;
        const char* m_szCode;
        QString m_strKeyOrReason;
    } rows[] = {
        {"ShStock", "7000001", "", "600000", kDualShKey},
        {"SzStock", "7000001", "", "000001", kDualSzKey},
        {"CentreWithoutKeyUsesMain", "7000001", "", "430047", kDualKey},
        {"CrossMarketEtfUsesMain", "7000001", "", "510300", kDualKey},
        {"CrossMarketInShOwnInSz", "7000001", "", "888888", kDualSzKey},
        {"NotOwnCentreTypeUsesMain", "7000001", "", "511990", kDualKey},
        {"UnknownCodeByPrefix", "7000001", "", "SZ123456", kDualSzKey},
        {"PrefixIsCaseSensitive", "7000001", "", "sz123456", kDualKey},
        {"FullKeyIsNotRouted", "7____10____T____2____7000001", "", "600000", kDualKey},
        {"PlainAccountIgnoresCode", "1000001", "", "000001", kNormalKey},
        {"BrokerPicksAmongSameId", "2000002", "11", "600000",
         QStringLiteral("11____10____T____3____2000002")},
        {"FirstInProfileWithoutBroker", "2000002", "", "600000",
         QStringLiteral("2____10____T____2____2000002")},
        {"UnknownAccount", "9999999", "", "600000", QStringLiteral("账号不存在!")},
        {"WrongBroker", "1000001", "7", "600000", QStringLiteral("账号不存在!")},
        {"EmptyAccount", "", "", "600000", QStringLiteral("账号为空!")},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szName);
        auto pData = makeRecord();
        pData->m_strAccountId = QString::fromLatin1(row.m_szAccount);
        pData->m_strBrokerType = QString::fromLatin1(row.m_szBroker);
        pData->m_strStockCode = QString::fromLatin1(row.m_szCode);
        COrderParam order;
        QString strError;
        const bool bOk = m_helper.resolveAccount(pData, order, strError);
        EXPECT_EQ(bOk ? order.m_strAccountKey : strError, row.m_strKeyOrReason);
    }
}

// ---- basket files ----------------------------------------------------------------------------------

TEST_F(OrderHelperTest, BasketLinesWithFewerThanTwoFieldsAreSkipped)
{
    const QString strPath =
        writeFile(QStringLiteral("b.csv"),
                  "600000\r\n000001,200,3,9.75xyz\r\n430047,300,,\r\n,\r\n510300,1\r\n\r\nX,1\n");
    COrderSingleParam pattern;
    pattern.m_dPrice = 1.25;
    pattern.m_nPriceType = 11;
    COrderParam order;
    m_helper.readBasketFile(order, pattern, strPath);

    ASSERT_EQ(order.m_singleParams.size(), 4); // up to the empty line; the one-field line skipped
    EXPECT_EQ(order.m_singleParams[0].m_strStockCode, QStringLiteral("000001"));
    EXPECT_EQ(order.m_singleParams[0].m_nExtra, 3);
    EXPECT_DOUBLE_EQ(order.m_singleParams[0].m_dPrice, 9.75); // atof reads the leading number
    EXPECT_EQ(order.m_singleParams[1].m_nVolume, 300);
    EXPECT_DOUBLE_EQ(order.m_singleParams[1].m_dPrice, 0.0); // an empty price field is price 0
    EXPECT_TRUE(order.m_singleParams[2].m_strStockCode.isEmpty());
    EXPECT_EQ(order.m_singleParams[3].m_nVolume, 1); // no "\r" left on the last field
    EXPECT_DOUBLE_EQ(order.m_singleParams[3].m_dPrice, 1.25);
    EXPECT_EQ(order.m_singleParams[3].m_nPriceType, 11);
}

TEST_F(OrderHelperTest, BadBasketFilesYieldWhatTheirLinesSay)
{
    COrderSingleParam pattern;
    const auto singles = [&](const QString& strPath) {
        COrderParam order;
        m_helper.readBasketFile(order, pattern, strPath);
        return order.m_singleParams;
    };
    EXPECT_TRUE(singles(m_dir.filePath(QStringLiteral("missing.csv"))).isEmpty());
    EXPECT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("dir.csv")));
    EXPECT_TRUE(singles(m_dir.filePath(QStringLiteral("dir.csv"))).isEmpty());
    EXPECT_TRUE(singles(QString()).isEmpty());

    const QByteArray binary("\x00\xff,\xfe"
                            "12\n\x01\x02\x03\n\xff\xff,7,\x00\n",
                            18);
    const auto binarySingles = singles(writeFile(QStringLiteral("bin.csv"), binary));
    ASSERT_EQ(binarySingles.size(), 2);
    EXPECT_EQ(binarySingles[0].m_nVolume, 0); // not a number
    EXPECT_EQ(binarySingles[1].m_nVolume, 7);

    QByteArray large;
    const int nLines = 200000;
    for (int i = 0; i < nLines; ++i)
        large += QByteArray::number(600000 + i % 1000) + ',' + QByteArray::number(i) + ",0,1.5\n";
    const auto largeSingles = singles(writeFile(QStringLiteral("large.csv"), large));
    ASSERT_EQ(largeSingles.size(), nLines);
    EXPECT_EQ(largeSingles.last().m_nVolume, nLines - 1);
}

TEST_F(OrderHelperTest, BasketPathFallsBackToItsGbkName)
{
    const QString strName = QStringLiteral("组合篮子.csv");
    std::string strGbkPath = (m_dir.path() + QLatin1Char('/') + strName).toUtf8().toStdString();
    utils::safeUtf82Gbk(strGbkPath);
    {
        std::ofstream file(strGbkPath, std::ios::binary);
        file << "600000,100\n";
    }
    COrderParam order;
    m_helper.readBasketFile(order, COrderSingleParam(), m_dir.filePath(strName));
    EXPECT_EQ(order.m_singleParams.size(), 1);

    // A file of that name in UTF-8 wins over the GBK one.
    writeFile(strName, "600000,1\n000001,2\n");
    COrderParam utf8Order;
    m_helper.readBasketFile(utf8Order, COrderSingleParam(), m_dir.filePath(strName));
    EXPECT_EQ(utf8Order.m_singleParams.size(), 2);
}

// ---- the example lines of docs/order-building.md, on the sample profile ---------------------------

TEST(OrderBuildingDocExamples, ExampleLinesBuildAsDocumented)
{
    CTestHost host;
    const struct
    {
        const char* m_szLine;
        int m_nAlgoOrderType;
        int m_nPriceType;
        double m_dPrice;
        const char* m_szParamText;
    } rows[] = {
        {"23,1,10.5,600000,100,8880000001,2,2,策略A,,BJFS=0+ZDJ=10.6,,,", 0, 11, 10.6, "BJFS=0+ZDJ=10.6"},
        {"23,2001,10.5,600000,1000,8880000001,2,2,,,BJFS=0+ZDJ=10.5+KSSJ=093000+JSSJ=100000,,,", 24, 11, 10.5,
         "BJFS=0+ZDJ=10.5+KSSJ=093000+JSSJ=100000"},
        {"23,9003,0,600000,1000,8880000002,2,7,,,SFMC=TWAP+DDLX=1+XJJG=10.5,,,", 13, -1, 10.5,
         "DBF+SFMC=TWAP+DDLX=1+XJJG=10.5"},
    };
    CBatchOrderHelper helper;
    for (const auto& row : rows)
    {
        SCOPED_TRACE(row.m_szLine);
        auto pData = boost::make_shared<CBatchOrderData>();
        ASSERT_TRUE(pData->parse(QString::fromUtf8(row.m_szLine)));
        QVector<COrderParam> orders;
        helper.buildOrderParam(pData, orders);
        ASSERT_EQ(orders.size(), 1) << pData->m_strErrorMsg.toStdString();
        EXPECT_EQ(orders[0].m_nAlgoOrderType, row.m_nAlgoOrderType);
        EXPECT_EQ(orders[0].m_singleParams.value(0).m_nPriceType, row.m_nPriceType);
        EXPECT_DOUBLE_EQ(orders[0].m_singleParams.value(0).m_dPrice, row.m_dPrice);
        EXPECT_EQ(orders[0].m_strParamText, row.m_szParamText);
    }
}

// ---- rejection reporting ---------------------------------------------------------------------------

TEST_F(OrderHelperTest, NullRecordIsIgnored)
{
    EXPECT_TRUE(build(boost::shared_ptr<CBatchOrderData>()).isEmpty());
}

TEST_F(OrderHelperTest, RejectionIsShownOnTheConsole)
{
    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    ASSERT_NE(pManager, nullptr);
    auto pData = makeRecord();
    pData->m_strStockCode.clear();
    build(pData);

    bool bShown = false;
    for (const auto& pMsg : pManager->getConsoleModel()->getAllMsgs())
    {
        bShown = bShown
                 || (pMsg->getLevel() == MSG_LEVEL_ERROR
                     && pMsg->getMsg().endsWith(QStringLiteral("[参数错误] 合约代码为空!!")));
    }
    EXPECT_TRUE(bShown);
    CBatchOrderManager::m_pInstance = nullptr;
    drainBatchOrderStrand();
    delete pManager;
}

} // namespace
