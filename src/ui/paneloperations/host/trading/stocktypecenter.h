#pragma once

#include <string>

namespace ttservice {

// Instrument type numbers of the profile's instrument directory.
enum EStockType
{
    STOCK_TYPE_STOCK = 1,
    STOCK_TYPE_ETF = 2,
    STOCK_TYPE_CROSS_MARKET_ETF = 300, // holds instruments of more than one exchange
    STOCK_TYPE_OWN_CENTER = 100028,    // traded through the account of its own exchange's centre
};

// Instrument type membership, from the instrument types of the profile. Read-only data; any thread.
class StockTypeCenter
{
public:
    static StockTypeCenter* instance();

    // True when the directory holds the instrument (market and code in UTF-8, compared exactly) and it
    // belongs to the type; false for an unknown instrument or while no configuration is installed.
    bool isTypedStock(int nType, const std::string& strMarket, const std::string& strCode) const;
};

} // namespace ttservice
