#include "trading/stocktypecenter.h"

#include "config/cuserconfig.h"

#include <QString>

namespace ttservice {

StockTypeCenter* StockTypeCenter::instance()
{
    // Stateless: every answer is read from the configuration installed at the time of the call.
    static StockTypeCenter s_center;
    return &s_center;
}

bool StockTypeCenter::isTypedStock(int nType, const std::string& strMarket, const std::string& strCode) const
{
    const TC::CUserConfig* pConfig = TC::getUserConfig();
    if (!pConfig)
    {
        return false;
    }
    const QString strWantedMarket = QString::fromUtf8(strMarket.data(), static_cast<int>(strMarket.size()));
    const TC::CInstrument* pInstrument = pConfig->profile().findInstrument(
        strWantedMarket + QString::fromUtf8(strCode.data(), static_cast<int>(strCode.size())));
    return pInstrument && pInstrument->m_strMarket == strWantedMarket && pInstrument->m_types.contains(nType);
}

} // namespace ttservice
