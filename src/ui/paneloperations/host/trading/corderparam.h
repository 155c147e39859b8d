#pragma once

#include "trading/cordersingleparam.h"

#include <QString>
#include <QVector>

#include <string>

namespace TC {

// One order as handed to the order service: common fields plus one or more single orders (a basket).
// std::string fields are UTF-8 except m_strParamText, which is in the local 8-bit encoding.
struct COrderParam
{
    int m_nOrderType = -1;            // order type number of the instruction line
    int m_nStrategyNo = 0;            // strategy that places it (999 for batch orders)
    int m_nStrategyFlag = 0;          // set to 10 by the batch order module
    QVector<COrderSingleParam> m_singleParams;
    QString m_strAccountType;
    QString m_strAccountKey;
    QString m_strBrokerType;
    std::string m_strNote;
    int m_nAlgoOrderType = 0;         // ttservice::EOrderType of the algorithm, 0 for none
    std::string m_strParamText;       // algorithm parameter text (local 8-bit)
    std::string m_strCounterpart;     // counterpart shareholder of a transfer
    std::string m_strAlgoText;
    int m_nTradeStrategyType = 0;
    QString m_strSeq;                 // sequence number of the instruction record
    QString m_strDbfPriceText;        // the PRICE_TYPE code as written
    std::string m_strStrategyName;
    std::string m_strVolumeText;
    QString m_strGivenAccountType;    // ACT_TYPE as written, before normalisation
    int m_nZdclIndex = -1;            // -1: no ZDCL index
    bool m_bNamedStrategy = false;
    int m_nHedgeFlag = -1;            // -1: not given
};

} // namespace TC
