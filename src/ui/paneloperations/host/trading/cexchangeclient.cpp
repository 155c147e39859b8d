#include "trading/cexchangeclient.h"

#include "config/cuserconfig.h"

#include <boost/make_shared.hpp>

namespace TC {

namespace {

// The directory is small and read-only; a scan keeps no index that could outlive a replaced profile.
const CInstrument* findByKey(const QString& strKey)
{
    const CUserConfig* pConfig = getUserConfig();
    if (!pConfig)
    {
        return nullptr;
    }
    for (const CInstrument& instrument : pConfig->profile().m_instruments)
    {
        const int nMarket = instrument.m_strMarket.size();
        if (strKey.size() == nMarket + instrument.m_strCode.size()
            && strKey.startsWith(instrument.m_strMarket) && strKey.midRef(nMarket) == instrument.m_strCode)
        {
            return &instrument;
        }
    }
    return nullptr;
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
