#pragma once

#include <boost/shared_ptr.hpp>

#include <QString>

#include <string>

namespace ttservice {

// One instrument of the directory as the trading libraries hand it out; texts in UTF-8.
struct CInstrumentDetail
{
    std::string m_strMarket; // "SH", "SZ" or "BJ"
    std::string m_strCode;   // exchange code, e.g. "600000"
    std::string m_strName;
};

} // namespace ttservice

namespace TC {

// The instrument directory: the instruments of the profile, looked up by stock key (market followed by
// code, "SH600000"). Keys compare case-sensitively. Read-only data; any thread.
class CExchangeClient
{
public:
    static QString pzStockKey(const QString& strMarket, const QString& strCode);
    static bool hasStock(const QString& strKey);
    // Null for an instrument the directory does not hold (or while no configuration is installed).
    static boost::shared_ptr<ttservice::CInstrumentDetail> getCodeInfo(const QString& strKey);
    static boost::shared_ptr<ttservice::CInstrumentDetail> getCodeInfo(const QString& strMarket,
                                                                       const QString& strCode);
};

} // namespace TC

namespace WQ {

// The UI toolkit's name for the stock key, used by the panel's tables.
inline QString pzStockKey(const QString& strMarket, const QString& strCode)
{
    return TC::CExchangeClient::pzStockKey(strMarket, strCode);
}

} // namespace WQ
