#include "trading/corderservicedbfhelper.h"

#include "trading/corderservicealgoparam.h"
#include "trading/pricetypes.h"
#include "trading/tradetypes.h"

#include <iterator>

namespace TC {

namespace {

// Keys of an order priced by code. DDLX and XJJG price third-party algorithm orders only, so here they
// are refused rather than silently ignored.
const CAlgoParamRule s_priceCodeRules[] = {
    {"BJFS", ALGO_PARAM_CODE, false},
    {"ZDJ", ALGO_PARAM_PRICE, false},
    {"ZDCLBD", ALGO_PARAM_CODE, false},
    {"SBLX", ALGO_PARAM_FLAG, false},
};

} // namespace

bool COrderServiceDbfHelper::parseTradPara(COrderParam& orderParam, QString& strParam,
                                           QString& strError) const
{
    QVector<CAlgoParamPair> pairs;
    if (!COrderServiceAlgoParam::readPairs(strParam, pairs, strError))
    {
        return false;
    }
    if (pairs.isEmpty())
    {
        strError = QStringLiteral("交易参数为空");
        return false;
    }
    const bool bProvider =
        orderParam.m_nAlgoOrderType == ttservice::OTP_ALGO_PROVIDER || orderParam.m_bNamedStrategy;
    if (bProvider)
    {
        if (!COrderServiceAlgoParam::checkProviderPairs(pairs, strError))
        {
            return false;
        }
    }
    else
    {
        if (!COrderServiceAlgoParam::checkPairs(
                pairs, s_priceCodeRules, static_cast<int>(std::size(s_priceCodeRules)), false, strError))
        {
            return false;
        }
        // A missing or unknown BJFS is left to the caller, which reports it as an invalid price type.
        if (!COrderServiceAlgoParam::checkFixedPriceHasPrice(pairs, strError))
            return false;
    }
    strParam = COrderServiceAlgoParam::joinPairs(QStringLiteral("DBF"), pairs);
    return true;
}

int COrderServiceDbfHelper::getTradeStraType(const boost::shared_ptr<CAccountData>& pAccount, int nOrderType,
                                             int nBrokerType)
{
    return brokerType2TradeStrategyType(nOrderType, pAccount ? pAccount->m_nBroker : nBrokerType);
}

} // namespace TC
