#pragma once

#include <QString>

namespace TC {

// Algorithm setting attached to a DBF price-type code: orders written with that code are sent as
// this algorithm order type, priced with this price type.
struct CDbfAlgoParam
{
    QString m_strPriceTypeCode; // the PRICE_TYPE text that selects this setting
    QString m_strName;          // display name of the algorithm
    int m_nOrderType = 0;       // algorithm order type (ttservice::EOrderType)
    int m_nPriceType = -1;      // price type (ttservice::EPriceType)
};

} // namespace TC
