#pragma once

#include <QString>

namespace TC {

// One instrument order inside an order parameter.
struct COrderSingleParam
{
    QString m_strStockCode;   // instrument code
    int m_nVolume = 0;        // quantity
    double m_dPrice = 0.0;    // price
    double m_dAmount = 0.0;   // amount (repayments)
    int m_nExtra = 0;         // third integer field (a basket line's third column)
    int m_nPriceType = -1;    // ttservice::EPriceType, -1 when not set
};

} // namespace TC
