#include "cbatchorderhelper.h"

#include "batchordercommon.h"
#include "batchorderlog.h"
#include "cbatchorderdata.h"
#include "cbatchordermanager.h"

#include "base/utils.h"
#include "config/accountlookup.h"
#include "config/cuserconfig.h"
#include "trading/calgorithmauthorityconfig.h"
#include "trading/calgorithmtradehelper.h"
#include "trading/cexchangeclient.h"
#include "trading/corderservice.h"
#include "trading/corderservicealgoparam.h"
#include "trading/corderservicedbfhelper.h"
#include "trading/pricetypes.h"
#include "trading/regxmatch.h"
#include "trading/stocktypecenter.h"
#include "trading/tradetypes.h"
#include "ui/wqconvert.h"

#include <boost/filesystem/operations.hpp>

#include <QStringList>

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace TC {

namespace {

enum EOrderGroup
{
    GROUP_A,       // priced order, single or basket
    GROUP_B,       // repayment
    GROUP_C,       // not supported
    GROUP_D,       // transfer
    GROUP_E,       // plain single order
    GROUP_F,       // plain single order carrying TRADEPARAM
    GROUP_G,       // single order carrying the volume text
    GROUP_GENERAL, // single order with the full TRADEPARAM treatment
};

EOrderGroup groupOf(int nOrderType)
{
    if (nOrderType == 25 || nOrderType == 26 || nOrderType == 110 || nOrderType == 111
        || (nOrderType >= 120 && nOrderType <= 125))
        return GROUP_A;
    if (nOrderType == 32 || nOrderType == 39)
        return GROUP_B;
    if ((nOrderType >= 33 && nOrderType <= 36) || (nOrderType >= 112 && nOrderType <= 119))
        return GROUP_C;
    if (nOrderType == 37 || nOrderType == 38)
        return GROUP_D;
    if (nOrderType == 137 || nOrderType == 138)
        return GROUP_E;
    if (nOrderType == 139)
        return GROUP_F;
    if (nOrderType >= 500 && nOrderType <= 504)
        return GROUP_G;
    return GROUP_GENERAL;
}

const int s_nBatchOrderStrategyFlag = 10;
const int s_nSpecialPriceCode = 9003;

// The host marks a missing price with the largest double; such a value is no price.
bool isMissingNumber(double dValue)
{
    return std::fabs(dValue - std::numeric_limits<double>::max()) < 0.00001;
}

// The low 32 bits of the record's volume as a signed quantity.
int volumeOf(const CBatchOrderData& data)
{
    return static_cast<int32_t>(static_cast<uint32_t>(data.m_nVolume));
}

void cleanParamText(QString& strText)
{
    strText.remove(QLatin1Char(' '));
    strText.replace(QChar(0xFF0C), QLatin1Char(','));
}

// Trading centre of an instrument for a dual-centre account: the first exchange that lists the code as
// an instrument traded through its own centre (and not as a cross-market ETF), else the code's prefix.
EAccCenterType centerOfCode(const QString& strCode)
{
    static const struct
    {
        const char* m_szMarket;
        EAccCenterType m_eCenter;
    } s_markets[] = {{"SH", ACC_CENTER_SH}, {"SZ", ACC_CENTER_SZ}, {"BJ", ACC_CENTER_BJ}};

    const std::string strCodeUtf8 = toUtf8(strCode);
    const ttservice::StockTypeCenter* pTypes = ttservice::StockTypeCenter::instance();
    for (const auto& market : s_markets)
    {
        const QString strMarket = QLatin1String(market.m_szMarket);
        if (CExchangeClient::hasStock(CExchangeClient::pzStockKey(strMarket, strCode))
            && !pTypes->isTypedStock(ttservice::STOCK_TYPE_CROSS_MARKET_ETF, market.m_szMarket, strCodeUtf8)
            && pTypes->isTypedStock(ttservice::STOCK_TYPE_OWN_CENTER, market.m_szMarket, strCodeUtf8))
        {
            return market.m_eCenter;
        }
    }
    for (const auto& market : s_markets)
    {
        if (strCode.startsWith(QLatin1String(market.m_szMarket), Qt::CaseSensitive))
        {
            return market.m_eCenter;
        }
    }
    return ACC_CENTER_NONE;
}

// C atof as in the "C" locale. Qt applications run with the user's LC_NUMERIC, under which the C
// library may read "10.5" as 10.
double atofC(const std::string& strText)
{
    const char* p = strText.c_str();
    const char* const pEnd = p + strText.size();
    while (p < pEnd && std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    if (p < pEnd && *p == '+')
    {
        ++p;
        if (p < pEnd && *p == '-')
            return 0.0;
    }
    double dValue = 0.0;
    const std::from_chars_result result = std::from_chars(p, pEnd, dValue);
    return result.ec == std::errc() ? dValue : 0.0;
}

// The bytes of the basket file's name on disk: the path as given (UTF-8, as Linux names are), else its
// GBK form (a file named by a GBK program, as on Windows). "" when neither names a regular file.
std::string basketFileBytes(const QString& strPath)
{
    const auto isFile = [](const std::string& strBytes) {
        boost::system::error_code ec;
        return !strBytes.empty() && boost::filesystem::is_regular_file(boost::filesystem::path(strBytes), ec);
    };
    const std::string strUtf8 = toUtf8(strPath);
    if (isFile(strUtf8))
        return strUtf8;
    std::string strGbk = strUtf8;
    utils::safeUtf82Gbk(strGbk);
    if (strGbk != strUtf8 && isFile(strGbk))
        return strGbk;
    return std::string();
}

COrderServiceDbfHelper* dbfHelper()
{
    // The helper is stateless; without an installed order service a local one reads the text alike.
    static COrderServiceDbfHelper s_fallback;
    COrderService* pService = orderService();
    COrderServiceDbfHelper* pHelper = pService ? pService->getDbfHelper() : nullptr;
    return pHelper ? pHelper : &s_fallback;
}

} // namespace

void CBatchOrderHelper::buildOrderParam(const boost::shared_ptr<CBatchOrderData>& pData,
                                        QVector<COrderParam>& orders)
{
    if (!pData)
    {
        return;
    }
    COrderParam orderParam;
    COrderSingleParam single;
    QString strError;
    QString strSblx;
    orderParam.m_nOrderType = pData->m_strOrderType.toInt(nullptr, 10);

    switch (groupOf(orderParam.m_nOrderType))
    {
    case GROUP_A:
        buildGroupA(pData, orderParam, single, strError);
        break;
    case GROUP_B:
        buildGroupB(pData, orderParam, single, strError);
        break;
    case GROUP_C:
        strError = QStringLiteral("不支持当前操作类型!");
        break;
    case GROUP_D:
        buildGroupD(pData, orderParam, single, strError);
        break;
    case GROUP_F:
        orderParam.m_strAlgoText = toUtf8(pData->m_strTradeParam);
        buildGroupE(pData, orderParam, single, strError);
        break;
    case GROUP_E:
        buildGroupE(pData, orderParam, single, strError);
        break;
    case GROUP_G:
        buildGroupG(pData, orderParam, single, strError);
        break;
    case GROUP_GENERAL:
        strSblx = buildGeneral(pData, orderParam, single, strError);
        break;
    }

    if (!strError.isEmpty())
    {
        pData->m_strErrorMsg = strError;
        if (CBatchOrderManager* pManager = CBatchOrderManager::instance())
        {
            pManager->showMsg(MSG_LEVEL_ERROR, QStringLiteral("[参数错误] %1!").arg(strError), true);
        }
        return;
    }
    finish(pData, orderParam, strSblx);
    orders.append(std::move(orderParam));
}

bool CBatchOrderHelper::resolveAccount(const boost::shared_ptr<CBatchOrderData>& pData,
                                       COrderParam& orderParam, QString& strError)
{
    orderParam.m_strAccountKey = pData->m_strAccountId;
    if (orderParam.m_strAccountKey.isEmpty())
    {
        strError = QStringLiteral("账号为空!");
        return false;
    }
    orderParam.m_strAccountType = pData->m_strActType;
    orderParam.m_strBrokerType = pData->m_strBrokerType;

    QString strKey = getAccountFromOrderParam(orderParam.m_strAccountType, orderParam.m_strAccountKey,
                                              orderParam.m_strBrokerType);
    const CUserConfig* pConfig = getUserConfig();
    const boost::shared_ptr<CAccountData> pAccount = pConfig ? pConfig->getAccountData(strKey) : nullptr;
    // A line that names the full key picks its account itself; only an account id is routed by centre.
    if (pAccount && strKey != pData->m_strAccountId && pConfig->isDualCenterAccount(pAccount))
    {
        strKey = getAccountFromOrderParam(orderParam.m_strAccountType, orderParam.m_strAccountKey,
                                          orderParam.m_strBrokerType, centerOfCode(pData->m_strStockCode));
    }

    orderParam.m_strAccountKey = strKey;
    if (strKey.isEmpty())
    {
        strError = QStringLiteral("账号不存在!");
        return false;
    }
    return true;
}

void CBatchOrderHelper::readBasketFile(COrderParam& orderParam, const COrderSingleParam& pattern,
                                       const QString& strPath)
{
    const std::string strBytes = basketFileBytes(strPath);
    if (strBytes.empty())
    {
        BO_LOG_ERROR("basket file {0} not found or not a regular file", toUtf8(strPath));
        return;
    }
    std::ifstream file(strBytes, std::ios::in | std::ios::binary);
    if (!file)
    {
        BO_LOG_ERROR("basket file {0} cannot be opened", toUtf8(strPath));
        return;
    }

    int nLines = 0;
    std::string strLine;
    std::vector<std::string> fields;
    while (std::getline(file, strLine))
    {
        // Files written on Windows end their lines with "\r\n"; the "\r" is not part of the last field.
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (strLine.empty())
            break;
        fields.clear();
        size_t nFrom = 0;
        for (;;)
        {
            const size_t nComma = strLine.find(',', nFrom);
            fields.push_back(
                strLine.substr(nFrom, nComma == std::string::npos ? std::string::npos : nComma - nFrom));
            if (nComma == std::string::npos)
                break;
            nFrom = nComma + 1;
        }
        if (fields.size() < 2)
            continue;

        COrderSingleParam single = pattern;
        single.m_strStockCode = WQ::sToQs(fields[0]);
        single.m_nVolume = WQ::sToQs(fields[1]).toInt(nullptr, 10);
        if (fields.size() > 2)
            single.m_nExtra = WQ::sToQs(fields[2]).toInt(nullptr, 10);
        if (fields.size() > 3)
            single.m_dPrice = atofC(fields[3]);
        orderParam.m_singleParams.append(single);
        ++nLines;
    }
    BO_LOG_DEBUG("basket file {0}: {1} orders", toUtf8(strPath), nLines);
}

void CBatchOrderHelper::buildGroupA(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                                    COrderSingleParam& single, QString& strError)
{
    if (!resolveAccount(pData, orderParam, strError))
        return;
    const bool bSpecialPrice = checkModelPrice(pData, orderParam, single, strError);
    if (bSpecialPrice || !pData->m_strTradeParam.isEmpty())
    {
        parseZdcl(pData, orderParam);
        if (!parsePriceType(pData, orderParam, single, strError))
            return;
    }
    else if (!strError.isEmpty())
    {
        return;
    }

    const int nVolume = pData->m_strVolume.toInt(nullptr, 10);
    if (nVolume >= 1 && nVolume <= std::numeric_limits<int>::max() - 1)
    {
        single.m_strStockCode = pData->m_strStockCode;
        if (single.m_strStockCode.isEmpty())
        {
            strError = QStringLiteral("合约代码为空!");
            return;
        }
        single.m_nVolume = volumeOf(*pData);
        orderParam.m_singleParams.append(single);
        orderParam.m_nAlgoOrderType = ttservice::OTP_BASKET;
        return;
    }
    // No usable quantity of its own (0, negative, not a number, or the largest int): the order is a basket.
    if (pData->m_strBasketPath.isEmpty())
    {
        strError = QStringLiteral("组合策略文件路径为空!");
        return;
    }
    readBasketFile(orderParam, single, pData->m_strBasketPath);
    if (nVolume < 0)
        orderParam.m_nAlgoOrderType = ttservice::OTP_BASKET;
}

void CBatchOrderHelper::buildGroupB(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                                    COrderSingleParam& single, QString& strError)
{
    if (!resolveAccount(pData, orderParam, strError))
        return;
    single.m_dAmount = pData->m_strModePrice.toDouble();
    if (isMissingNumber(single.m_dAmount) || pData->m_strModePrice.isEmpty())
    {
        strError = QStringLiteral("还款金额为空或非法!");
        return;
    }
    orderParam.m_singleParams.append(single);
}

void CBatchOrderHelper::buildGroupD(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                                    COrderSingleParam& single, QString& strError)
{
    if (!resolveAccount(pData, orderParam, strError))
        return;
    single.m_strStockCode = pData->m_strStockCode;
    if (single.m_strStockCode.isEmpty())
    {
        strError = QStringLiteral("划转合约代码为空!");
        return;
    }
    if (volumeOf(*pData) < 1)
    {
        strError = QStringLiteral("划转数量非法!");
        return;
    }
    orderParam.m_strCounterpart = toUtf8(pData->m_strTradeParam);
    if (orderParam.m_strCounterpart.empty())
    {
        strError = QStringLiteral("划入/划出股东号为空!");
        return;
    }
    orderParam.m_singleParams.append(single);
}

void CBatchOrderHelper::buildGroupE(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                                    COrderSingleParam& single, QString& strError)
{
    single.m_strStockCode = pData->m_strStockCode;
    if (single.m_strStockCode.isEmpty())
    {
        strError = QStringLiteral("合约代码为空!");
        return;
    }
    if (!resolveAccount(pData, orderParam, strError))
        return;
    if (!checkModelPrice(pData, orderParam, single, strError) && !strError.isEmpty())
        return;
    single.m_nVolume = volumeOf(*pData);
    orderParam.m_singleParams.append(single);
}

void CBatchOrderHelper::buildGroupG(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                                    COrderSingleParam& single, QString& strError)
{
    single.m_strStockCode = pData->m_strStockCode;
    if (!resolveAccount(pData, orderParam, strError))
        return;
    // A model-price failure still rejects the record, through the error text, once the order is built.
    checkModelPrice(pData, orderParam, single, strError);
    single.m_nVolume = volumeOf(*pData);
    orderParam.m_strVolumeText = toUtf8(pData->m_strVolume);
    orderParam.m_singleParams.append(single);
}

QString CBatchOrderHelper::buildGeneral(const boost::shared_ptr<CBatchOrderData>& pData,
                                        COrderParam& orderParam, COrderSingleParam& single, QString& strError)
{
    single.m_strStockCode = pData->m_strStockCode;
    if (single.m_strStockCode.isEmpty())
    {
        strError = QStringLiteral("合约代码为空!");
        return QString();
    }
    if (!resolveAccount(pData, orderParam, strError))
        return QString();

    // The declaration type is not a parameter of the price: it leaves TRADEPARAM here and is applied by
    // the finishing step.
    QString strSblx;
    // The case-blind search (which folds the long s as upper-casing does) finds every text that holds an
    // SBLX item and spares the split for all the others.
    const QStringList parts =
        pData->m_strTradeParam.contains(QLatin1String("SBLX"), Qt::CaseInsensitive)
            ? pData->m_strTradeParam.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive)
            : QStringList();
    for (const QString& strPart : parts)
    {
        if (strPart.toUpper().contains(QLatin1String("SBLX")))
        {
            strSblx = strPart;
            pData->m_strTradeParam.remove(strPart, Qt::CaseSensitive);
            break;
        }
    }

    const bool bSpecialPrice = checkModelPrice(pData, orderParam, single, strError);
    if (bSpecialPrice || !pData->m_strTradeParam.isEmpty())
    {
        parseZdcl(pData, orderParam);
        // A ZDCL index names a strategy that prices the order itself.
        if (orderParam.m_nZdclIndex < 0 && !parsePriceType(pData, orderParam, single, strError))
            return strSblx;
    }
    else if (!strError.isEmpty())
    {
        return strSblx;
    }

    parseHedgeFlag(pData, orderParam);
    single.m_nVolume = volumeOf(*pData);
    orderParam.m_singleParams.append(single);
    return strSblx;
}

void CBatchOrderHelper::finish(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam,
                               const QString& strSblx)
{
    const int nBroker = orderParam.m_strBrokerType.toInt(nullptr, 10);
    orderParam.m_nStrategyNo = kBatchOrderStrategy;
    orderParam.m_nStrategyFlag = s_nBatchOrderStrategyFlag;
    orderParam.m_strSeq = QString::number(pData->m_nSeq);
    orderParam.m_strStrategyName = toUtf8(pData->m_strStrategy);
    orderParam.m_nTradeStrategyType = brokerType2TradeStrategyType(orderParam.m_nOrderType, nBroker);
    orderParam.m_strNote = toUtf8(pData->m_strNote);
    orderParam.m_strGivenAccountType = pData->m_strOrigActType;
    const int nOrderType = orderParam.m_nOrderType;
    if (nOrderType == 39 || (nOrderType >= 29 && nOrderType <= 32))
    {
        orderParam.m_strAlgoText = toUtf8(pData->m_strTradeParam);
    }
    if (nBroker == 7 || nBroker == 11)
    {
        const QStringList sblx =
            strSblx.toUpper().split(QLatin1Char('='), Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (!strSblx.isEmpty() && sblx.size() == 2)
        {
            const QString strValue = sblx.at(1).trimmed();
            if (strValue == QLatin1String("0"))
                orderParam.m_strAlgoText = "92";
            else if (strValue == QLatin1String("1"))
                orderParam.m_strAlgoText = "93";
        }
    }
    BO_LOG_DEBUG("order {0} built: type {1}, account {2}, {3} single orders", pData->m_nSeq, nOrderType,
                 toUtf8(orderParam.m_strAccountKey), orderParam.m_singleParams.size());
}

bool CBatchOrderHelper::checkModelPrice(const boost::shared_ptr<CBatchOrderData>& pData,
                                        COrderParam& orderParam, COrderSingleParam& single, QString& strError)
{
    int nPriceType = getPriceTypeByDbf(pData->m_strPriceType);
    single.m_dPrice = pData->m_strModePrice.toDouble();
    if (nPriceType != ttservice::PRTP_INVALID)
    {
        const CUserConfig* pConfig = getUserConfig();
        const boost::shared_ptr<CDbfAlgoParam> pSetting =
            pConfig ? pConfig->getDbfAlgoParam(pData->m_strPriceType) : nullptr;
        if (pSetting)
        {
            orderParam.m_nAlgoOrderType = pSetting->m_nOrderType;
            nPriceType = pSetting->m_nPriceType;
            orderParam.m_strDbfPriceText = pData->m_strPriceType;
        }
        else
        {
            orderParam.m_nAlgoOrderType = ttservice::OTP_NONE;
        }
        if ((nPriceType == ttservice::PRTP_FIX || nPriceType == ttservice::PRTP_MODEL)
            && isMissingNumber(single.m_dPrice))
        {
            strError = QStringLiteral("模型价格为空或非法!");
        }
        single.m_nPriceType = nPriceType;
        return false;
    }
    if (pData->m_strPriceType.toInt(nullptr, 10) == s_nSpecialPriceCode)
    {
        orderParam.m_nAlgoOrderType = ttservice::OTP_ALGO_PROVIDER;
        return true;
    }
    orderParam.m_strDbfPriceText = pData->m_strPriceType;
    return false;
}

void CBatchOrderHelper::parseZdcl(const boost::shared_ptr<CBatchOrderData>& pData, COrderParam& orderParam)
{
    QString strText = pData->m_strTradeParam;
    cleanParamText(strText);
    strText.remove(QLatin1Char('"'));
    // No character outside ASCII upper-cases into these letters, so a text that does not start with them
    // in any case has neither prefix.
    if (!strText.startsWith(QLatin1String("ZDCL"), Qt::CaseInsensitive))
        return;
    const int nValue = strText.indexOf(QLatin1Char('=')) + 1;
    const int nLength = strText.size();
    strText = strText.toUpper();

    if (strText.startsWith(QLatin1String("ZDCLMC=")))
    {
        orderParam.m_bNamedStrategy = true;
        const int nSemicolon = strText.indexOf(QLatin1Char(';'));
        pData->m_strTradeParam = nSemicolon < 0 ? strText : strText.mid(nSemicolon + 1);
    }
    else if (strText.startsWith(QLatin1String("ZDCLBD=")))
    {
        orderParam.m_nZdclIndex = strText.mid(nValue, nLength - nValue).toInt(nullptr, 10);
    }
}

bool CBatchOrderHelper::parsePriceType(const boost::shared_ptr<CBatchOrderData>& pData,
                                       COrderParam& orderParam, COrderSingleParam& single, QString& strError)
{
    QString strText = pData->m_strTradeParam;
    cleanParamText(strText);
    strText.replace(QLatin1Char('+'), QLatin1Char(','));
    strText.remove(QLatin1Char('"'));

    QStringList parts = strText.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (QString& strPart : parts)
    {
        // Only a part of exactly two pieces around "=" is a pair.
        const int nEquals = strPart.indexOf(QLatin1Char('='));
        if (nEquals < 0 || strPart.indexOf(QLatin1Char('='), nEquals + 1) >= 0)
            continue;
        const QString strKey = strPart.left(nEquals).toUpper();
        const bool bName = strKey == QLatin1String("SFMC");
        if (!bName && strKey == strPart.leftRef(nEquals))
            continue;
        strPart = strKey + QLatin1Char('=')
                  + (bName ? strPart.mid(nEquals + 1).toUpper() : strPart.mid(nEquals + 1));
    }
    strText = parts.join(QLatin1Char(','));

    const int nAlgoOrderType = orderParam.m_nAlgoOrderType;
    if (nAlgoOrderType == ttservice::OTP_TWAP || nAlgoOrderType == ttservice::OTP_VWAP
        || nAlgoOrderType == ttservice::OTP_ICEBERG || nAlgoOrderType == ttservice::OTP_FOLLOW)
    {
        strText = COrderServiceAlgoParam::parser(
            orderParam.m_bNamedStrategy ? static_cast<int>(ttservice::OTP_ALGO_PROVIDER) : nAlgoOrderType,
            strText, strError);
    }
    else if (!strText.isEmpty() || nAlgoOrderType != ttservice::OTP_NONE)
    {
        dbfHelper()->parseTradPara(orderParam, strText, strError);
    }
    if (!strError.isEmpty() || strText.isEmpty())
    {
        // The console shows one reason for every parameter text the host refuses; the log keeps the host's.
        BO_LOG_ERROR("order {0}: trading parameters \"{1}\" refused: {2}", pData->m_nSeq,
                     toUtf8(pData->m_strTradeParam),
                     toUtf8(strError.isEmpty() ? QStringLiteral("empty parameter text") : strError));
        strError = QStringLiteral("算法参数解析失败");
        return false;
    }

    if (nAlgoOrderType != ttservice::OTP_ALGO_PROVIDER && !orderParam.m_bNamedStrategy)
    {
        const QString strSeparator = QStringLiteral("+");
        const int nPriceType =
            getPriceTypeByDbf(regxMatchStr(QStringLiteral("BJFS="), strSeparator, strText));
        if (nPriceType == ttservice::PRTP_INVALID)
        {
            strError = QStringLiteral("无效的报价类型");
            return false;
        }
        single.m_nPriceType = nPriceType;
        if (nPriceType == ttservice::PRTP_FIX)
            single.m_dPrice = regxMatchDouble(QStringLiteral("ZDJ="), strSeparator, strText);
        // Drops the host's four-character tag ("DBF+", "ALG+").
        strText.remove(0, 4);
    }
    else
    {
        const QString strSeparator = QStringLiteral("+");
        const QString strAlgo =
            CAlgorithmTradeHelper::get3rdAlgoTypeByDbfParam(strText, ttservice::OTP_ALGO_PROVIDER);
        if (!CAlgorithmAuthorityConfig::bCheckTrdAuthority(
                ttservice::OTP_ALGO_PROVIDER, toUtf8(orderParam.m_strAccountKey), strAlgo, strError))
        {
            return false;
        }
        if (regxMatchStr(QStringLiteral("DDLX="), strSeparator, strText) == QLatin1String("1"))
            single.m_dPrice = regxMatchDouble(QStringLiteral("XJJG="), strSeparator, strText);
    }
    orderParam.m_strParamText = strText.toLocal8Bit().toStdString();
    return true;
}

void CBatchOrderHelper::parseHedgeFlag(const boost::shared_ptr<CBatchOrderData>& pData,
                                       COrderParam& orderParam)
{
    if (pData->m_strExtraParam.isEmpty())
        return;
    const QStringList parts =
        pData->m_strExtraParam.split(QLatin1Char('|'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (const QString& strPart : parts)
    {
        const QStringList pair = strPart.split(QLatin1Char('='), Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (pair.size() == 2 && pair.at(0).trimmed().toUpper() == QLatin1String("HEDGEFLAG"))
            orderParam.m_nHedgeFlag = pair.at(1).trimmed().toInt(nullptr, 10);
    }
}

} // namespace TC
