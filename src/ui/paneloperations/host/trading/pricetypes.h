#pragma once

#include <QString>

#include <string>

namespace TC {

// Price type (ttservice::EPriceType) that a DBF price-type code (the PRICE_TYPE column of an instruction
// line) stands for, from the profile's dbfPriceTypes table. The code is compared exactly (no trimming);
// -1 for a code the table does not hold, or while no user configuration is installed.
int getPriceTypeByDbf(const QString& strCode);

// Trade strategy type (ttservice::ETradeStrategyType) of an order: transfers (order types 37, 38) and
// cash operations (500 to 504) are their own kind; every other order takes the kind of its broker type
// (1 futures; 2 and 7 stock; 3 and 11 credit; 6 stock options; anything else unknown).
int brokerType2TradeStrategyType(int nOrderType, int nBroker);

// Display texts of the pending table. All are pure lookups; any thread.
// Algorithm order type (ttservice::EOrderType): the profile's algorithm name for it, else the host's
// own name; "" for 0 (no algorithm).
QString ttOrderTypeToString(int nAlgoOrderType);
// Price type (ttservice::EPriceType); bShort gives the two-character form used in narrow cells. The
// instrument code is part of the host interface for exchange-specific wording; the reference host words
// every exchange alike.
QString ttPriceTypeToString(int nPriceType, const std::string& strCode, bool bShort);
// Operation of an instruction's order type; a buy or sell on a credit account reads as a collateral
// trade. Order types without a name of their own read "操作<number>".
QString orderStrategyOrderTypeToString(int nOrderType, int nTradeStrategyType);

} // namespace TC
