#include "trading/cexchangeclient.h"

#include "config/cuserconfig.h"

#include <boost/make_shared.hpp>

namespace TC {

namespace {

const CInstrument* findByKey(const QString& strKey)
{
    const CUserConfig* pConfig = getUserConfig();
    return pConfig ? pConfig->profile().findInstrument(strKey) : nullptr;
}

boost::shared_ptr<ttservice::CInstrumentDetail> detailOf(const CInstrument* pInstrument)
{
    if (!pInstrument)
    {
        return boost::shared_ptr<ttservice::CInstrumentDetail>();
    }
    auto pDetail = boost::make_shared<ttservice::CInstrumentDetail>();
    pDetail->m_strMarket = pInstrument->m_strMarket.toStdString();
    pDetail->m_strCode = pInstrument->m_strCode.toStdString();
    pDetail->m_strName = pInstrument->m_strName.toStdString();
    return pDetail;
}

} // namespace

QString CExchangeClient::pzStockKey(const QString& strMarket, const QString& strCode)
{
    return strMarket + strCode;
}

bool CExchangeClient::hasStock(const QString& strKey)
{
    return findByKey(strKey) != nullptr;
}

boost::shared_ptr<ttservice::CInstrumentDetail> CExchangeClient::getCodeInfo(const QString& strKey)
{
    return detailOf(findByKey(strKey));
}

boost::shared_ptr<ttservice::CInstrumentDetail> CExchangeClient::getCodeInfo(const QString& strMarket,
                                                                             const QString& strCode)
{
    return getCodeInfo(pzStockKey(strMarket, strCode));
}

} // namespace TC
