#include "trading/pricetypes.h"

#include "config/cuserconfig.h"
#include "trading/tradetypes.h"

namespace TC {

namespace {

struct CPriceTypeText
{
    int m_nPriceType;
    const char* m_szText;
    const char* m_szShort;
};

const CPriceTypeText s_priceTypeTexts[] = {
    {ttservice::PRTP_SALE5, "卖五价", "卖5"},     {ttservice::PRTP_SALE4, "卖四价", "卖4"},
    {ttservice::PRTP_SALE3, "卖三价", "卖3"},     {ttservice::PRTP_SALE2, "卖二价", "卖2"},
    {ttservice::PRTP_SALE1, "卖一价", "卖1"},     {ttservice::PRTP_LATEST, "最新价", "最新"},
    {ttservice::PRTP_BUY1, "买一价", "买1"},      {ttservice::PRTP_BUY2, "买二价", "买2"},
    {ttservice::PRTP_BUY3, "买三价", "买3"},      {ttservice::PRTP_BUY4, "买四价", "买4"},
    {ttservice::PRTP_BUY5, "买五价", "买5"},      {ttservice::PRTP_FIX, "指定价", "指定"},
    {ttservice::PRTP_MARKET, "市价", "市价"},     {ttservice::PRTP_MARKET_BEST, "最优市价", "最优"},
    {ttservice::PRTP_HANG, "本方最优价", "本方"}, {ttservice::PRTP_COMPETE, "对手方最优价", "对手"},
    {ttservice::PRTP_MODEL, "模型价", "模型"},
};

struct COrderTypeText
{
    int m_nOrderType;
    const char* m_szText;
    const char* m_szCreditText; // on a credit account, or null when the same
};

const COrderTypeText s_orderTypeTexts[] = {
    {23, "买入", "担保品买入"}, {24, "卖出", "担保品卖出"}, {25, "组合买入", nullptr},
    {26, "组合卖出", nullptr},  {27, "融资买入", nullptr},  {28, "融券卖出", nullptr},
    {29, "买券还券", nullptr},  {30, "直接还券", nullptr},  {31, "卖券还款", nullptr},
    {32, "直接还款", nullptr},  {37, "划入", nullptr},      {38, "划出", nullptr},
    {39, "专项还款", nullptr},
};

struct CAlgoTypeText
{
    int m_nOrderType;
    const char* m_szText;
};

const CAlgoTypeText s_algoTypeTexts[] = {
    {ttservice::OTP_ALGO_PROVIDER, "第三方算法"},
    {ttservice::OTP_TWAP, "TWAP"},
    {ttservice::OTP_VWAP, "VWAP"},
    {ttservice::OTP_BASKET, "篮子"},
    {ttservice::OTP_ICEBERG, "冰山"},
    {ttservice::OTP_FOLLOW, "跟量"},
};

int brokerFamily(int nBroker)
{
    switch (nBroker)
    {
    case 1:
        return ttservice::TST_FUTURE;
    case 2:
    case 7:
        return ttservice::TST_STOCK;
    case 3:
    case 11:
        return ttservice::TST_CREDIT;
    case 6:
        return ttservice::TST_OPTION;
    default:
        return ttservice::TST_UNKNOWN;
    }
}

} // namespace

int getPriceTypeByDbf(const QString& strCode)
{
    const CUserConfig* pConfig = getUserConfig();
    if (!pConfig)
    {
        return ttservice::PRTP_INVALID;
    }
    return pConfig->profile().m_dbfPriceTypes.value(strCode, ttservice::PRTP_INVALID);
}

int brokerType2TradeStrategyType(int nOrderType, int nBroker)
{
    if (nOrderType == 37 || nOrderType == 38)
    {
        return ttservice::TST_TRANSFER;
    }
    if (nOrderType >= 500 && nOrderType <= 504)
    {
        return ttservice::TST_CASH;
    }
    return brokerFamily(nBroker);
}

QString ttOrderTypeToString(int nAlgoOrderType)
{
    if (nAlgoOrderType == ttservice::OTP_NONE)
    {
        return QString();
    }
    // The profile names the algorithms the user configured; its name is the one the user knows.
    if (const CUserConfig* pConfig = getUserConfig())
    {
        for (const boost::shared_ptr<CDbfAlgoParam>& pSetting : pConfig->getDbfAlgoParams())
        {
            if (pSetting->m_nOrderType == nAlgoOrderType && !pSetting->m_strName.isEmpty())
            {
                return pSetting->m_strName;
            }
        }
    }
    for (const CAlgoTypeText& text : s_algoTypeTexts)
    {
        if (text.m_nOrderType == nAlgoOrderType)
        {
            return QString::fromUtf8(text.m_szText);
        }
    }
    return QStringLiteral("算法%1").arg(nAlgoOrderType);
}

QString ttPriceTypeToString(int nPriceType, const std::string& strCode, bool bShort)
{
    (void)strCode;
    for (const CPriceTypeText& text : s_priceTypeTexts)
    {
        if (text.m_nPriceType == nPriceType)
        {
            return QString::fromUtf8(bShort ? text.m_szShort : text.m_szText);
        }
    }
    if (nPriceType == ttservice::PRTP_INVALID)
    {
        return QStringLiteral("无效报价");
    }
    return QStringLiteral("报价%1").arg(nPriceType);
}

QString orderStrategyOrderTypeToString(int nOrderType, int nTradeStrategyType)
{
    for (const COrderTypeText& text : s_orderTypeTexts)
    {
        if (text.m_nOrderType == nOrderType)
        {
            const bool bCredit = nTradeStrategyType == ttservice::TST_CREDIT && text.m_szCreditText;
            return QString::fromUtf8(bCredit ? text.m_szCreditText : text.m_szText);
        }
    }
    return QStringLiteral("操作%1").arg(nOrderType);
}

} // namespace TC
