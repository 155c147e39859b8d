#pragma once

namespace ttservice {

// Price types of a single order. The DBF price-type table of the profile maps the PRICE_TYPE codes of
// instruction lines onto these numbers.
enum EPriceType
{
    PRTP_INVALID = -1,
    PRTP_SALE5 = 0,
    PRTP_SALE4 = 1,
    PRTP_SALE3 = 2,
    PRTP_SALE2 = 3,
    PRTP_SALE1 = 4,
    PRTP_LATEST = 5,
    PRTP_BUY1 = 6,
    PRTP_BUY2 = 7,
    PRTP_BUY3 = 8,
    PRTP_BUY4 = 9,
    PRTP_BUY5 = 10,
    PRTP_FIX = 11,        // the price given in the order (MODE_PRICE)
    PRTP_MARKET = 12,     // market price, best five then cancel
    PRTP_MARKET_BEST = 13,
    PRTP_HANG = 14,       // own side's best price
    PRTP_COMPETE = 15,    // counter side's best price
    PRTP_MODEL = 49,      // a model price computed by the writer of the order (MODE_PRICE)
};

// Algorithm order types carried by an order parameter.
enum EOrderType
{
    OTP_NONE = 0,
    OTP_ALGO_PROVIDER = 13, // algorithm of a third-party provider, parameters passed through
    OTP_TWAP = 24,
    OTP_VWAP = 26,
    OTP_BASKET = 100,       // basket (portfolio) order
    OTP_ICEBERG = 107,
    OTP_FOLLOW = 108,
};

// Kind of trading an order belongs to (brokerType2TradeStrategyType): the broker's business, except
// transfers and cash operations, which are their own kind whatever the broker.
enum ETradeStrategyType
{
    TST_UNKNOWN = 0,  // a broker type the host does not know
    TST_STOCK = 1,    // cash account
    TST_CREDIT = 2,   // margin (credit) account
    TST_FUTURE = 3,
    TST_OPTION = 4,   // stock options
    TST_TRANSFER = 5, // holdings moved between shareholder accounts (order types 37, 38)
    TST_CASH = 6,     // cash operations (order types 500 to 504)
};

} // namespace ttservice
