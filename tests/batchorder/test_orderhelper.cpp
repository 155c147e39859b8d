#include "cbatchorderdata.h"
#include "cbatchorderhelper.h"
#include "cbatchordermanager.h"

#include "base/utils.h"
#include "common/ctestmanager.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <tuple>

// The host's mark for a missing number (the largest double), spliced into the row texts.
#define NO_NUMBER "1.7976931348623157e308"

using namespace TC;

namespace {

QString dataPath(const QString& strName)
{
    return QStringLiteral(BATCHORDER_TEST_DATA_DIR "/batchorder/data/") + strName;
}

// A record as the parser leaves a valid general-path line (a buy of 100 at the latest price, with a basket
// file for group A), with the columns that strColumns names changed: "COLUMN=value" items split by ";".
boost::shared_ptr<CBatchOrderData> makeRecord(const QString& strColumns, const QString& strTradeParam = {})
{
    auto pData = boost::make_shared<CBatchOrderData>();
    pData->m_nSeq = 7;
    pData->m_strActType = QStringLiteral("49");
    pData->m_strOrigActType = QStringLiteral("2");
    pData->m_strStrategy = QStringLiteral("策略1");
    pData->m_strNote = QStringLiteral("备注");
    pData->m_strTradeParam = strTradeParam;
    const QMap<QString, QString*> columns = {
        {"ORDER_TYPE", &pData->m_strOrderType},  {"PRICE_TYPE", &pData->m_strPriceType},
        {"MODE_PRICE", &pData->m_strModePrice},  {"STOCK_CODE", &pData->m_strStockCode},
        {"VOLUME", &pData->m_strVolume},         {"ACCOUNT_ID", &pData->m_strAccountId},
        {"BROKERTYPE", &pData->m_strBrokerType}, {"BASKETPATH", &pData->m_strBasketPath},
        {"EXTRAPARAM", &pData->m_strExtraParam}};
    const QString strDefaults = "ORDER_TYPE=23;PRICE_TYPE=1;MODE_PRICE=10.5;STOCK_CODE=600000;VOLUME=100;"
                                "ACCOUNT_ID=1001;BASKETPATH=basket_third_line_empty.csv;";
    for (const QString& strItem : (strDefaults + strColumns).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int nEquals = strItem.indexOf(QLatin1Char('='));
        QString* pColumn = columns.value(strItem.left(nEquals));
        EXPECT_TRUE(pColumn) << "no column " << strItem.toStdString();
        if (pColumn)
            *pColumn = strItem.mid(nEquals + 1);
    }
    pData->m_nVolume = static_cast<uint64_t>(static_cast<int64_t>(pData->m_strVolume.toInt()));
    if (!pData->m_strBasketPath.isEmpty())
        pData->m_strBasketPath = dataPath(pData->m_strBasketPath);
    return pData;
}

// Checks the fields of an order that strFields names: "field=value" items split by blanks. Values of the
// single orders are joined with ",".
void expectFields(const COrderParam& order, const QString& strFields, const CBatchOrderData& data = {})
{
    QStringList codes, volumes, priceTypes, prices, amounts, extras;
    for (const COrderSingleParam& single : order.m_singleParams) {
        codes << single.m_strStockCode;
        volumes << QString::number(single.m_nVolume);
        priceTypes << QString::number(single.m_nPriceType);
        prices << QString::number(single.m_dPrice);
        amounts << QString::number(single.m_dAmount);
        extras << QString::number(single.m_nExtra);
    }
    const auto text = [](const std::string& strText) { return QString::fromStdString(strText); };
    const auto number = [](double dValue) { return QString::number(dValue); };
    const QMap<QString, QString> fields = {
        {"singles", number(order.m_singleParams.size())},
        {"code", codes.join(',')},
        {"vol", volumes.join(',')},
        {"pt", priceTypes.join(',')},
        {"price", prices.join(',')},
        {"amount", amounts.join(',')},
        {"extra", extras.join(',')},
        {"algo", number(order.m_nAlgoOrderType)},
        {"param", text(order.m_strParamText)},
        {"algotext", text(order.m_strAlgoText)},
        {"dbf", order.m_strDbfPriceText},
        {"zdcl", number(order.m_nZdclIndex)},
        {"named", number(order.m_bNamedStrategy)},
        {"hedge", number(order.m_nHedgeFlag)},
        {"voltext", text(order.m_strVolumeText)},
        {"counterpart", text(order.m_strCounterpart)},
        {"key", order.m_strAccountKey},
        {"broker", order.m_strBrokerType},
        {"acttype", order.m_strGivenAccountType + '/' + order.m_strAccountType},
        {"strategy", QStringLiteral("%1/%2").arg(order.m_nStrategyNo).arg(order.m_nStrategyFlag)},
        {"tst", number(order.m_nTradeStrategyType)},
        {"seq", order.m_strSeq},
        {"name", text(order.m_strStrategyName)},
        {"note", text(order.m_strNote)},
        {"left", data.m_strTradeParam}}; // the record's TRADEPARAM after building
    for (const QString& strItem : strFields.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString strName = strItem.left(strItem.indexOf(QLatin1Char('=')));
        EXPECT_TRUE(fields.contains(strName)) << "no field " << strItem.toStdString();
        EXPECT_EQ(fields.value(strName).toStdString(), strItem.mid(strName.size() + 1).toStdString())
            << strName.toStdString();
    }
}

struct CRow
{
    const char* m_szName;       // what the row guards
    const char* m_szColumns;    // columns changed from makeRecord's valid record
    const char* m_szTradeParam; // TRADEPARAM
    const char* m_szReason;     // the rejection reason, "" when the record is accepted
    const char* m_szFields;     // fields of the accepted order
};

class OrderHelperTest : public ::testing::Test
{
protected:
    // A rejected record adds no order and carries its reason; an accepted one adds exactly one order.
    QVector<COrderParam> build(const boost::shared_ptr<CBatchOrderData>& pData, const QString& strReason)
    {
        QVector<COrderParam> orders;
        m_helper.buildOrderParam(pData, orders);
        EXPECT_EQ(pData->m_strErrorMsg.toStdString(), strReason.toStdString());
        EXPECT_EQ(orders.size(), strReason.isEmpty() ? 1 : 0);
        return orders;
    }
    void check(std::initializer_list<CRow> rows)
    {
        for (const CRow& row : rows) {
            SCOPED_TRACE(row.m_szName);
            const auto pData = makeRecord(QString::fromUtf8(row.m_szColumns), row.m_szTradeParam);
            for (const COrderParam& order : build(pData, QString::fromUtf8(row.m_szReason)))
                expectFields(order, QString::fromUtf8(row.m_szFields), *pData);
        }
    }
    COrderParam readBasket(const QString& strPath, const COrderSingleParam& pattern = {})
    {
        COrderParam order;
        m_helper.readBasketFile(order, pattern, strPath);
        return order;
    }
    QString writeFile(const QString& strName, const QByteArray& bytes)
    {
        QFile file(m_dir.filePath(strName));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    CTestManager m_setup{false, dataPath(QStringLiteral("orderhelper_profile.json"))};
    CBatchOrderHelper m_helper;
    QTemporaryDir m_dir;
};

// Two probes tell the groups apart: a record with empty columns, and one whose TRADEPARAM is no
// key=value pair. The types sit on both sides of every group boundary.
TEST_F(OrderHelperTest, EachOrderTypeTakesItsGroupsPath)
{
    // Types, reason for the empty record, reason for the odd TRADEPARAM, algorithm text of the odd order.
    const std::tuple<const char*, const char*, const char*, const char*> groups[] = {
        {"25 26 110 111 120 125", "组合策略文件路径为空!", "算法参数解析失败", ""},     // A
        {"32 39", "还款金额为空或非法!", "", "X"},                                      // B
        {"33 34 35 36 112 115 119", "不支持当前操作类型!", "不支持当前操作类型!", ""},  // C
        {"37 38", "划转合约代码为空!", "", ""},                                         // D
        {"137 138", "合约代码为空!", "", ""},                                           // E
        {"139", "合约代码为空!", "", "X"},                                              // F
        {"500 504", "", "", ""},                                                        // G
        {"24 31 40 109 126 140 499 505 0200", "合约代码为空!", "算法参数解析失败", ""}, // general
    };
    for (const auto& [szTypes, szEmptyReason, szOddReason, szAlgoText] : groups) {
        for (const QString& strType : QString::fromLatin1(szTypes).split(QLatin1Char(' '))) {
            SCOPED_TRACE(strType.toStdString());
            const QString strEmpty = ";STOCK_CODE=;MODE_PRICE=;PRICE_TYPE=;VOLUME=0;BASKETPATH=";
            build(makeRecord("ORDER_TYPE=" + strType + strEmpty), QString::fromUtf8(szEmptyReason));
            for (const COrderParam& order : build(makeRecord("ORDER_TYPE=" + strType, "X"), szOddReason))
                EXPECT_EQ(order.m_strAlgoText, szAlgoText);
        }
    }
}

// A VOLUME of 1 to INT_MAX-1 is a single order; anything else reads the basket file, whose empty third line
// ends it. Only a negative VOLUME makes the basket a basket algorithm order (100).
TEST_F(OrderHelperTest, GroupAVolumeChoosesSingleOrderOrBasket)
{
    check({
        {"VolumeOneIsSingle", "ORDER_TYPE=25;VOLUME=1", "", "", "algo=100 code=600000 vol=1"},
        {"IntMaxMinusOneIsSingle", "ORDER_TYPE=110;VOLUME=2147483646", "", "", "algo=100 vol=2147483646"},
        {"IntMaxIsBasket", "ORDER_TYPE=25;VOLUME=2147483647", "", "", "algo=0 code=600000,000001"},
        {"ZeroIsBasket", "ORDER_TYPE=26;VOLUME=0", "", "", "algo=0 code=600000,000001"},
        {"NegativeIsBasketOrder", "ORDER_TYPE=120;VOLUME=-5", "", "", "algo=100 code=600000,000001"},
        {"NotANumberIsBasket", "ORDER_TYPE=125;VOLUME=abc", "", "", "algo=0 code=600000,000001"},
        // Basket lines take the record's price type and MODE_PRICE unless they give a price.
        {"LinesOnRecordsPattern", "ORDER_TYPE=25;VOLUME=0;MODE_PRICE=9.9", "", "",
         "vol=100,200 pt=5,5 price=10.5,9.9 extra=1,0"},
        {"MissingBasketFile", "ORDER_TYPE=25;VOLUME=-5;BASKETPATH=absent.csv", "", "", "singles=0 algo=100"},
        {"SingleNeedsCode", "ORDER_TYPE=26;STOCK_CODE=", "", "合约代码为空!", ""},
    });
}

TEST_F(OrderHelperTest, GroupsBToGCheckTheirOwnColumns)
{
    check({
        {"BAmount", "ORDER_TYPE=32;MODE_PRICE=1000.5", "HK=1", "", "amount=1000.5 algotext=HK=1"},
        {"BNotANumberIsZero", "ORDER_TYPE=39;MODE_PRICE=abc", "", "", "amount=0"},
        {"BMissingMark", "ORDER_TYPE=39;MODE_PRICE=" NO_NUMBER, "", "还款金额为空或非法!", ""},
        {"DZeroVolume", "ORDER_TYPE=38;VOLUME=0", "A123", "划转数量非法!", ""},
        {"DNegativeVolume", "ORDER_TYPE=37;VOLUME=-1", "A123", "划转数量非法!", ""},
        {"DNoCounterpart", "ORDER_TYPE=37", "", "划入/划出股东号为空!", ""},
        {"DAccepted", "ORDER_TYPE=38", "A123", "", "counterpart=A123 code=600000"},
        // E, F and G price from PRICE_TYPE and MODE_PRICE alone; F hands TRADEPARAM over, G keeps VOLUME's
        // text.
        {"E", "ORDER_TYPE=137", "BJFS=0,ZDJ=1", "", "pt=5 price=10.5 vol=100 param= algotext= voltext="},
        {"F", "ORDER_TYPE=139", "BJFS=0,ZDJ=1", "", "pt=5 price=10.5 param= algotext=BJFS=0,ZDJ=1"},
        {"GWithoutCode", "ORDER_TYPE=502;STOCK_CODE=;VOLUME=5000", "", "", "pt=5 vol=5000 voltext=5000"},
        {"EChecksModelPrice", "ORDER_TYPE=138;PRICE_TYPE=0;MODE_PRICE=" NO_NUMBER, "", "模型价格为空或非法!",
         ""},
        // G does not look at the model price result, but its reason still rejects the record.
        {"GChecksModelPrice", "ORDER_TYPE=500;PRICE_TYPE=49;MODE_PRICE=" NO_NUMBER, "", "模型价格为空或非法!",
         ""},
    });
}

TEST_F(OrderHelperTest, FinishedOrderCarriesTheRecordsFields)
{
    const auto pData = makeRecord(QStringLiteral("BROKERTYPE=2"), QStringLiteral("BJFS=3"));
    pData->m_nVolume = (uint64_t(1) << 32) + 300; // only the low 32 bits are the quantity
    // The price type comes from BJFS, not PRICE_TYPE; the code text is kept for algorithm settings and
    // unmapped codes only. Broker 2 trades stocks (1).
    expectFields(build(pData, {}).value(0), "vol=300 pt=6 price=10.5 param=BJFS=3 dbf= strategy=999/10 seq=7 "
                                            "name=策略1 note=备注 acttype=2/49 broker=2 tst=1 "
                                            "key=2____1____T____2____1001");
}

// The general path: SBLX (brokers 7 and 11), HEDGEFLAG, ZDCL prefixes, TRADEPARAM cleaning (blanks,
// full-width commas, "+", quotes, case) and price codes; whatever the host refuses shows as one reason.
TEST_F(OrderHelperTest, GeneralPathReadsTradeParamAndPriceCodes)
{
    check({
        {"Sblx1Broker7", "ACCOUNT_ID=7001;BROKERTYPE=7", "sblx=1", "", "algotext=93 left="},
        {"Sblx0Broker11", "ACCOUNT_ID=1101;BROKERTYPE=11", "BJFS=1,SBLX=0", "", "algotext=92 left=BJFS=1,"},
        {"SblxWithBlanks", "ACCOUNT_ID=7001;BROKERTYPE=7", "BJFS=1,SBLX = 1", "", "algotext=93 left=BJFS=1,"},
        {"SblxIgnoredForBroker2", "BROKERTYPE=2", "sblx=1", "", "algotext= left="},
        {"SblxOtherValueIgnored", "ACCOUNT_ID=7001;BROKERTYPE=7", "SBLX=2", "", "algotext= left="},
        {"HedgeFlagLastPairWins", "EXTRAPARAM=HEDGEFLAG=1|hedgeflag = 3", "", "", "hedge=3"},
        {"HedgeFlagAmongOtherPairs", "EXTRAPARAM=HEDGEFLAG=2|X=5", "", "", "hedge=2"},
        {"HedgeFlagWithoutValue", "EXTRAPARAM=HEDGEFLAG", "", "", "hedge=-1"},
        {"HedgeFlagTwoEquals", "EXTRAPARAM=HEDGEFLAG=1=2", "", "", "hedge=-1"},
        {"HedgeFlagNotANumberIsZero", "EXTRAPARAM=HEDGEFLAG=1|HEDGEFLAG=x", "", "", "hedge=0"},
        {"IndexPricesTheOrderItself", "", "ZDCLBD=3", "", "zdcl=3 named=0 param= pt=5 price=10.5"},
        {"IndexCleaned", "", "zdclbd = 3", "", "zdcl=3 param="},
        {"IndexIsTheWholeRest", "", "ZDCLBD=3,BJFS=0", "", "zdcl=0 param="},
        {"PrefixOnlyAtTheStart", "", "BJFS=1,ZDCLBD=3", "", "zdcl=-1 param=BJFS=1+ZDCLBD=3"},
        {"NamedStrategy", "", "ZDCLMC=策略A;sfmc=alpha1,ddlx=1,xjjg=10.8", "",
         "named=1 zdcl=-1 param=DBF+SFMC=ALPHA1+DDLX=1+XJJG=10.8 price=10.8"},
        {"NamedKeepsOnlyTheParameters", "", "ZDCLMC=策略A;sfmc=alpha1", "", "left=SFMC=ALPHA1"},
        {"NamedWithoutParameters", "", "ZDCLMC=策略A", "算法参数解析失败", ""},
        {"BlanksPlusAndCase", "", "bjfs=0 + zdj=10.25", "", "pt=11 price=10.25 param=BJFS=0+ZDJ=10.25"},
        {"FullWidthComma", "", "BJFS=0\xef\xbc\x8cZDJ=9.8", "", "pt=11 price=9.8 param=BJFS=0+ZDJ=9.8"},
        {"QuotesAndZdjOnlyForFixed", "", "\"BJFS=1\",\"ZDJ=5\"", "", "pt=5 price=10.5 param=BJFS=1+ZDJ=5"},
        {"EmptyItems", "", "BJFS=3,,", "", "pt=6 param=BJFS=3"},
        {"UnmappedBjfs", "", "BJFS=7", "无效的报价类型", ""},
        {"NoBjfs", "", "ZDJ=10", "无效的报价类型", ""},
        {"FixedPriceWithoutZdj", "", "BJFS=0", "算法参数解析失败", ""},
        {"KeyThisOrderDoesNotRead", "", "BJFS=1,XJJG=3", "算法参数解析失败", ""},
        {"Code9003IsProviderAlgorithm", "PRICE_TYPE=9003", "sfmc = alpha1 , ddlx=1, xjjg=12.3, memo=Ab", "",
         "algo=13 pt=-1 dbf= price=12.3 param=DBF+SFMC=ALPHA1+DDLX=1+XJJG=12.3+MEMO=Ab"},
        {"Code9003NeedsParameters", "PRICE_TYPE=9003", "", "算法参数解析失败", ""},
        {"AlgorithmSetting", "PRICE_TYPE=2001", "BJFS=0,ZDJ=10.2,KSSJ=093000,JSSJ=100000", "",
         "algo=24 pt=11 dbf=2001 price=10.2 param=BJFS=0+ZDJ=10.2+KSSJ=093000+JSSJ=100000"},
        {"AlgorithmSettingChecksKeys", "PRICE_TYPE=2001", "BJFS=1,KSSJ=093000", "算法参数解析失败", ""},
        {"UnmappedCodeKeptAsText", "PRICE_TYPE=77", "", "", "algo=0 pt=-1 dbf=77 price=10.5"},
        {"FixedPriceMissing", "PRICE_TYPE=0;MODE_PRICE=" NO_NUMBER, "", "模型价格为空或非法!", ""},
        {"ModelPriceMissing", "PRICE_TYPE=49;MODE_PRICE=" NO_NUMBER, "", "模型价格为空或非法!", ""},
        {"SettingsPriceTypeChecked", "PRICE_TYPE=5001;MODE_PRICE=" NO_NUMBER, "", "模型价格为空或非法!", ""},
        {"OtherPriceTypeNotChecked", "PRICE_TYPE=1;MODE_PRICE=" NO_NUMBER, "", "", "price=1.79769e+308"},
        {"NotANumberIsZero", "PRICE_TYPE=0;MODE_PRICE=abc", "", "", "pt=11 price=0"},
        {"EmptyIsZero", "PRICE_TYPE=49;MODE_PRICE=", "", "", "pt=49 price=0"},
    });
    // A named strategy needs the account's right to the algorithm; the reason names both.
    const auto pNoRights = makeRecord("ACCOUNT_ID=1101", "ZDCLMC=A;SFMC=ALPHA1");
    QVector<COrderParam> orders;
    m_helper.buildOrderParam(pNoRights, orders);
    const std::string strReason = pNoRights->m_strErrorMsg.toStdString();
    EXPECT_TRUE(orders.isEmpty() && strReason.find("11____1____T____3____1101") != std::string::npos &&
                strReason.find("ALPHA1") != std::string::npos)
        << strReason;
}

// Account 7001 is dual-centre; its SH and SZ keys end in -SH and -SZ.
TEST_F(OrderHelperTest, AccountResolutionRoutesDualCentreAccountsByInstrument)
{
    check({
        {"ShStock", "ACCOUNT_ID=7001", "", "", "key=7____1____T-SH____2____7001"},
        {"SzStock", "ACCOUNT_ID=7001;STOCK_CODE=000001", "", "", "key=7____1____T-SZ____2____7001"},
        {"CrossMarketEtf", "ACCOUNT_ID=7001;STOCK_CODE=510300", "", "", "key=7____1____T____2____7001"},
        {"InShCrossInSzOwn", "ACCOUNT_ID=7001;STOCK_CODE=888888", "", "", "key=7____1____T-SZ____2____7001"},
        {"NotOwnCentre", "ACCOUNT_ID=7001;STOCK_CODE=511990", "", "", "key=7____1____T____2____7001"},
        {"UnknownByPrefix", "ACCOUNT_ID=7001;STOCK_CODE=SZ123456", "", "", "key=7____1____T-SZ____2____7001"},
        {"LowerCasePrefix", "ACCOUNT_ID=7001;STOCK_CODE=sz123456", "", "", "key=7____1____T____2____7001"},
        {"FullKeyIsNotRouted", "ACCOUNT_ID=7____1____T____2____7001", "", "", "key=7____1____T____2____7001"},
        {"PlainAccountIgnoresCode", "STOCK_CODE=000001", "", "", "key=2____1____T____2____1001"},
        {"UnknownAccount", "ACCOUNT_ID=9999999", "", "账号不存在!", ""},
        {"EmptyAccount", "ACCOUNT_ID=", "", "账号为空!", ""},
    });
}

TEST_F(OrderHelperTest, BasketFilesYieldWhatTheirLinesSay)
{
    COrderSingleParam pattern;
    pattern.m_dPrice = 1.25;
    pattern.m_nPriceType = 11;
    const QByteArray lines = "600000\r\n000001,200,3,9.75xyz\r\n430047,300,,\r\n,\r\n510300,1\r\n\r\nX,1\n";
    // Up to the empty line; the one-field line skipped; atof reads a price's leading number; an empty price
    // field is 0; no "\r" is left on the last field.
    expectFields(readBasket(writeFile("b.csv", lines), pattern),
                 "code=000001,430047,,510300 vol=200,300,0,1 extra=3,0,0,0 "
                 "price=9.75,0,1.25,1.25 pt=11,11,11,11");
    // Missing, directory and empty paths give nothing; binary lines what they say; a large file all of it.
    EXPECT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("dir.csv")));
    for (const QString& strPath : {m_dir.filePath("missing.csv"), m_dir.filePath("dir.csv"), QString()})
        expectFields(readBasket(strPath), "singles=0");
    const QByteArray binary("\x00\xff,\xfe"
                            "12\n\x01\x02\x03\n\xff\xff,7,\x00\n",
                            18);
    expectFields(readBasket(writeFile("bin.csv", binary)), "vol=0,7");

    QByteArray large;
    const int nLines = 200000;
    for (int i = 0; i < nLines; ++i)
        large += QByteArray::number(600000 + i % 1000) + ',' + QByteArray::number(i) + ",0,1.5\n";
    const COrderParam largeOrder = readBasket(writeFile("large.csv", large));
    ASSERT_EQ(largeOrder.m_singleParams.size(), nLines);
    EXPECT_EQ(largeOrder.m_singleParams.last().m_nVolume, nLines - 1);
}

TEST_F(OrderHelperTest, BasketPathFallsBackToItsGbkName)
{
    const QString strPath = m_dir.filePath(QStringLiteral("组合篮子.csv"));
    std::string strGbkPath = strPath.toStdString();
    utils::safeUtf82Gbk(strGbkPath);
    std::ofstream(strGbkPath, std::ios::binary) << "600000,100\n";
    expectFields(readBasket(strPath), "singles=1");
    writeFile(QStringLiteral("组合篮子.csv"), "600000,1\n000001,2\n"); // a UTF-8 name wins over the GBK one
    expectFields(readBasket(strPath), "singles=2");
    std::remove(strGbkPath.c_str()); // the temporary directory cannot remove a name that is not UTF-8
}

TEST_F(OrderHelperTest, RejectionIsShownOnTheConsoleAndANullRecordIgnored)
{
    QVector<COrderParam> orders;
    m_helper.buildOrderParam(boost::shared_ptr<CBatchOrderData>(), orders);
    EXPECT_TRUE(orders.isEmpty());

    m_setup.create();
    build(makeRecord(QStringLiteral("STOCK_CODE=")), QStringLiteral("合约代码为空!"));
    EXPECT_EQ(m_setup.consoleTexts(), QStringList{"[error] [参数错误] 合约代码为空!!"});
}

} // namespace
