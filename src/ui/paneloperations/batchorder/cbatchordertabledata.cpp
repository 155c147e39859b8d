#include "cbatchordertabledata.h"

#include "batchordercommon.h"
#include "cbatchorderdata.h"
#include "cbatchordermanager.h"

#include "config/accountlookup.h"
#include "config/cuserconfig.h"
#include "trading/cexchangeclient.h"
#include "trading/corderservicedbfhelper.h"
#include "trading/pricetypes.h"
#include "trading/stocktypecenter.h"
#include "ui/cuiresource.h"
#include "ui/wqconvert.h"

#include <boost/make_shared.hpp>
#include <fmt/format.h>

#include <cfloat>
#include <climits>

namespace TC {

namespace {

const int kAlgoProviderPriceType = 9003;

bool isExecutedAtOnce(int32_t nStatus)
{
    return nStatus == 4 || nStatus == 5; // cancels and operation tasks
}

// An instrument that trades as itself on its own exchange's centre.
bool qualifies(const QString& strMarket, const QString& strCode)
{
    const ttservice::StockTypeCenter* pTypes = ttservice::StockTypeCenter::instance();
    const std::string strMarketUtf8 = toUtf8(strMarket);
    const std::string strCodeUtf8 = toUtf8(strCode);
    return !pTypes->isTypedStock(ttservice::STOCK_TYPE_CROSS_MARKET_ETF, strMarketUtf8, strCodeUtf8) &&
           pTypes->isTypedStock(ttservice::STOCK_TYPE_OWN_CENTER, strMarketUtf8, strCodeUtf8);
}

// The instrument code as the directory knows it: with its market in front when the code alone names
// one instrument there, upper-cased when it was written with its market in lower case.
QString resolveCode(const QString& strCode)
{
    for (const QString& strMarket : {QStringLiteral("SH"), QStringLiteral("SZ")}) {
        if (CExchangeClient::hasStock(WQ::pzStockKey(strMarket, strCode)) && qualifies(strMarket, strCode)) {
            return strMarket + strCode;
        }
    }
    const QString strUpper = strCode.toUpper();
    if (strCode.size() == 8 && CExchangeClient::hasStock(strUpper) &&
        qualifies(strCode.left(2).toUpper(), strCode.mid(2, 6))) {
        return strUpper;
    }
    return strCode;
}

} // namespace

CBatchOrderTableData::~CBatchOrderTableData() = default;

boost::shared_ptr<CBatchOrderTableData> CBatchOrderTableData::build(const CBatchOrderData& data)
{
    const int nOperation = data.m_strOrderType.toInt(nullptr, 10);
    auto pRow = boost::make_shared<CBatchOrderTableData>();

    CUserConfig* pConfig = getUserConfig();
    const QString strAccountKey =
        getAccountFromOrderParam(data.m_strActType, data.m_strAccountId, data.m_strBrokerType);
    pRow->m_pAccount = pConfig ? pConfig->getAccountData(strAccountKey) : nullptr;
    pRow->m_strPrice = data.m_strModePrice;
    pRow->m_nSeq = data.m_nSeq;
    pRow->m_nVolume = static_cast<int64_t>(data.m_nVolume);
    pRow->m_strNote = data.m_strNote;
    pRow->m_strNote1 = data.m_strNote1;
    pRow->m_strOperation = orderStrategyOrderTypeToString(
        nOperation,
        COrderServiceDbfHelper::getTradeStraType(pConfig ? pConfig->getAccountData(strAccountKey) : nullptr,
                                                 nOperation, data.m_strBrokerType.toInt(nullptr, 10)));

    if (data.m_strPriceType.isEmpty()) {
        if (CBatchOrderManager* pManager = CBatchOrderManager::instance()) {
            pManager->showMsg(MSG_LEVEL_ERROR, QStringLiteral("[参数错误] 报价方式为空!!"), true);
        }
        return nullptr;
    }

    int nPriceType = getPriceTypeByDbf(data.m_strPriceType);
    if (data.m_strPriceType.toInt(nullptr, 10) == kAlgoProviderPriceType) {
        pRow->m_eAlgoOrderType = ttservice::OTP_ALGO_PROVIDER;
    } else if (const auto pSetting = pConfig ? pConfig->getDbfAlgoParam(data.m_strPriceType) : nullptr) {
        pRow->m_eAlgoOrderType = static_cast<ttservice::EOrderType>(pSetting->m_nOrderType);
        nPriceType = pSetting->m_nPriceType;
    }

    const QString strCode = resolveCode(data.m_strStockCode);
    if (const auto pInfo = CExchangeClient::getCodeInfo(strCode)) {
        pRow->m_strMarket = pInfo->m_strMarket;
        pRow->m_strCode = pInfo->m_strCode;
        pRow->m_strName = pInfo->m_strName;
    }
    if (nOperation == 138 || nOperation == 139) {
        // A combination: the code names several instruments; the market is the first one's.
        const QStringList parts = strCode.split(QStringLiteral("/"), Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (!parts.isEmpty()) {
            if (const auto pFirst = CExchangeClient::getCodeInfo(parts.first())) {
                pRow->m_strMarket = pFirst->m_strMarket;
            }
        }
        pRow->m_strCode = toUtf8(strCode);
        pRow->m_strName = "-";
    }
    pRow->m_strPriceTypeText = ttPriceTypeToString(nPriceType, pRow->m_strCode, false);

    pRow->m_nStatus = data.m_nStatus;
    if (isExecutedAtOnce(pRow->m_nStatus)) {
        pRow->m_strPriceTypeText = data.m_strPriceType;
        pRow->m_strOperation = data.m_strOrderType;
    }
    if (nOperation >= 500 && nOperation <= 504) {
        // Cash operations name no instrument; the code column carries what was written.
        pRow->m_strMarket.clear();
        pRow->m_strName.clear();
        pRow->m_strCode = toUtf8(data.m_strStockCode);
        pRow->m_strPriceTypeText = QStringLiteral("人民币");
    }
    return pRow;
}

std::string CBatchOrderTableData::makeKey(int32_t nSeq)
{
    return fmt::format("{:>8}", nSeq);
}

QString CBatchOrderTableData::makeQsKey(int32_t nSeq)
{
    return QString::fromStdString(makeKey(nSeq));
}

QString CBatchOrderTableData::getDisplayQString(int nColumn) const
{
    switch (nColumn) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 7:
    case 9:
    case 10:
        return getQString(nColumn);
    case 4:
        return m_strPriceTypeText;
    case 5:
        if (isExecutedAtOnce(m_nStatus)) {
            return QString();
        }
        // A line without VOLUME holds -1, and a negative quantity stays negative: shown as written
        // rather than as a huge unsigned number.
        return m_nVolume < 0 ? QString::number(m_nVolume)
                             : QString::number(static_cast<qulonglong>(m_nVolume));
    case 6:
        return isExecutedAtOnce(m_nStatus)
                   ? m_strPrice
                   : WQ::formatDoubleNumber(m_strPrice.toDouble(), 3, 0, false, QStringLiteral("非法值"));
    case 8:
        return isExecutedAtOnce(m_nStatus) ? QString() : ttOrderTypeToString(m_eAlgoOrderType);
    default:
        return QString();
    }
}

QString CBatchOrderTableData::getQString(int nColumn) const
{
    switch (nColumn) {
    case 0:
        return WQ::sToQs(m_strMarket);
    case 1:
        return WQ::sToQs(m_strCode);
    case 2:
        return WQ::sToQs(m_strName);
    case 3:
        return m_strOperation;
    case 4:
        return m_strPriceTypeText;
    case 7:
        return m_pAccount ? accountDisplayIDQs(*m_pAccount) : QString();
    case 9:
        return m_strNote;
    case 10:
        return m_strNote1;
    default:
        return QString();
    }
}

int CBatchOrderTableData::getInt(int nColumn) const
{
    return nColumn == 8 ? static_cast<int>(m_eAlgoOrderType) : INT_MAX;
}

double CBatchOrderTableData::getDouble(int) const
{
    return DBL_MAX;
}

long long CBatchOrderTableData::getLonglong(int nColumn) const
{
    return nColumn == 5 ? m_nVolume : LLONG_MAX;
}

const QColor* CBatchOrderTableData::getTextColor(int) const
{
    return &WQ::CUiResource::instance()->getColor(QStringLiteral("clr_text_default"));
}

std::string CBatchOrderTableData::key() const
{
    return makeKey(m_nSeq);
}

} // namespace TC
