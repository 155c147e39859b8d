#pragma once

#include "config/caccountdata.h"
#include "trading/corderparam.h"

#include <boost/shared_ptr.hpp>

#include <QString>

namespace TC {

// Reads the trading parameter text of DBF-style orders (key=value pairs) into an order parameter.
// Stateless; any thread.
class COrderServiceDbfHelper
{
public:
    // Checks and normalises strParam and fills fields of orderParam from it. On a malformed text returns
    // false with a reason in strError and leaves strParam as it was.
    // On success strParam becomes "DBF+KEY=value+KEY=value..." (pairs in the order written). A third-party
    // algorithm order (algorithm order type 13, or a named strategy) is checked as
    // COrderServiceAlgoParam::checkProviderPairs says; any other order may carry only BJFS, ZDJ, ZDCLBD and
    // SBLX, and needs ZDJ when BJFS names a fixed price. orderParam itself is not changed.
    bool parseTradPara(COrderParam& orderParam, QString& strParam, QString& strError) const;

    // Trade strategy type (ttservice::ETradeStrategyType) of an order on this account: the account's own
    // broker type decides when the account is known, nBrokerType otherwise.
    static int getTradeStraType(const boost::shared_ptr<CAccountData>& pAccount, int nOrderType,
                                int nBrokerType);
};

} // namespace TC
