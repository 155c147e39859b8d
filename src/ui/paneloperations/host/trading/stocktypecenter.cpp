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
    const QString strWantedCode = QString::fromUtf8(strCode.data(), static_cast<int>(strCode.size()));
    for (const TC::CInstrument& instrument : pConfig->profile().m_instruments)
    {
        if (instrument.m_strCode == strWantedCode && instrument.m_strMarket == strWantedMarket)
        {
            return instrument.m_types.contains(nType);
        }
    }
    return false;
}

} // namespace ttservice
