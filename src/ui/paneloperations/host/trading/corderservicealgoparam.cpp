#include "trading/corderservicealgoparam.h"

#include "trading/pricetypes.h"
#include "trading/tradetypes.h"

#include <QTime>

#include <cmath>
#include <iterator>

namespace TC {

namespace {

const CAlgoParamRule s_providerRules[] = {
    {"SFMC", ALGO_PARAM_TEXT, true},  {"BJFS", ALGO_PARAM_CODE, false},  {"ZDJ", ALGO_PARAM_PRICE, false},
    {"DDLX", ALGO_PARAM_FLAG, false}, {"XJJG", ALGO_PARAM_PRICE, false}, {"ZDCLBD", ALGO_PARAM_CODE, false},
    {"SBLX", ALGO_PARAM_FLAG, false},
};

const CAlgoParamRule s_twapRules[] = {
    {"BJFS", ALGO_PARAM_CODE, true},  {"KSSJ", ALGO_PARAM_TIME, true},   {"JSSJ", ALGO_PARAM_TIME, true},
    {"ZDJ", ALGO_PARAM_PRICE, false}, {"WTJG", ALGO_PARAM_COUNT, false}, {"ZDCLBD", ALGO_PARAM_CODE, false},
    {"SBLX", ALGO_PARAM_FLAG, false},
};

const CAlgoParamRule s_vwapRules[] = {
    {"BJFS", ALGO_PARAM_CODE, true},  {"KSSJ", ALGO_PARAM_TIME, true},     {"JSSJ", ALGO_PARAM_TIME, true},
    {"ZDJ", ALGO_PARAM_PRICE, false}, {"CYBL", ALGO_PARAM_PERCENT, false}, {"ZDCLBD", ALGO_PARAM_CODE, false},
    {"SBLX", ALGO_PARAM_FLAG, false},
};

const CAlgoParamRule s_icebergRules[] = {
    {"BJFS", ALGO_PARAM_CODE, true},  {"DBSL", ALGO_PARAM_COUNT, true}, {"ZDJ", ALGO_PARAM_PRICE, false},
    {"KSSJ", ALGO_PARAM_TIME, false}, {"JSSJ", ALGO_PARAM_TIME, false}, {"ZDCLBD", ALGO_PARAM_CODE, false},
    {"SBLX", ALGO_PARAM_FLAG, false},
};

const CAlgoParamRule s_followRules[] = {
    {"BJFS", ALGO_PARAM_CODE, true},  {"GLBL", ALGO_PARAM_PERCENT, true}, {"ZDJ", ALGO_PARAM_PRICE, false},
    {"KSSJ", ALGO_PARAM_TIME, false}, {"JSSJ", ALGO_PARAM_TIME, false},   {"ZDCLBD", ALGO_PARAM_CODE, false},
    {"SBLX", ALGO_PARAM_FLAG, false},
};

bool isKeyChar(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
}

// The reason why the value does not fit the kind, or "" when it fits.
QString checkValue(const CAlgoParamPair& pair, EAlgoParamKind eKind)
{
    const QString& strValue = pair.m_strValue;
    bool bOk = false;
    switch (eKind)
    {
    case ALGO_PARAM_TEXT:
        return QString();
    case ALGO_PARAM_CODE:
        if (strValue.toInt(&bOk, 10) >= 0 && bOk)
            return QString();
        return QStringLiteral("参数%1的值\"%2\"不是非负整数").arg(pair.m_strKey, strValue);
    case ALGO_PARAM_COUNT:
        if (strValue.toInt(&bOk, 10) >= 1 && bOk)
            return QString();
        return QStringLiteral("参数%1的值\"%2\"不是正整数").arg(pair.m_strKey, strValue);
    case ALGO_PARAM_PRICE:
    {
        const double dValue = strValue.toDouble(&bOk);
        if (bOk && std::isfinite(dValue) && dValue > 0.0)
            return QString();
        return QStringLiteral("参数%1的值\"%2\"不是大于0的价格").arg(pair.m_strKey, strValue);
    }
    case ALGO_PARAM_PERCENT:
    {
        const double dValue = strValue.toDouble(&bOk);
        if (bOk && dValue > 0.0 && dValue <= 100.0)
            return QString();
        return QStringLiteral("参数%1的值\"%2\"不是0到100之间的百分比").arg(pair.m_strKey, strValue);
    }
    case ALGO_PARAM_TIME:
    {
        bool bDigits = strValue.size() == 6;
        for (const QChar c : strValue)
            bDigits = bDigits && c.isDigit() && c.unicode() < 0x80;
        if (bDigits && QTime::fromString(strValue, QStringLiteral("HHmmss")).isValid())
            return QString();
        return QStringLiteral("参数%1的值\"%2\"不是HHmmss格式的时间").arg(pair.m_strKey, strValue);
    }
    case ALGO_PARAM_FLAG:
        if (strValue == QLatin1String("0") || strValue == QLatin1String("1"))
            return QString();
        return QStringLiteral("参数%1的值\"%2\"只能是0或1").arg(pair.m_strKey, strValue);
    }
    return QString();
}

// Checks across keys of the host's own algorithms.
bool checkAlgorithmPairs(const QVector<CAlgoParamPair>& pairs, QString& strError)
{
    const QString strStart = COrderServiceAlgoParam::value(pairs, QStringLiteral("KSSJ"));
    const QString strEnd = COrderServiceAlgoParam::value(pairs, QStringLiteral("JSSJ"));
    // Both are six digits by now, so text order is time order.
    if (!strStart.isEmpty() && !strEnd.isEmpty() && strStart >= strEnd)
    {
        strError = QStringLiteral("开始时间KSSJ(%1)必须早于结束时间JSSJ(%2)").arg(strStart, strEnd);
        return false;
    }
    return COrderServiceAlgoParam::checkFixedPriceHasPrice(pairs, strError);
}

} // namespace

QString COrderServiceAlgoParam::parser(int nOrderType, const QString& strText, QString& strError)
{
    const CAlgoParamRule* pRules = nullptr;
    int nRules = 0;
    switch (nOrderType)
    {
    case ttservice::OTP_ALGO_PROVIDER:
        break;
    case ttservice::OTP_TWAP:
        pRules = s_twapRules;
        nRules = static_cast<int>(std::size(s_twapRules));
        break;
    case ttservice::OTP_VWAP:
        pRules = s_vwapRules;
        nRules = static_cast<int>(std::size(s_vwapRules));
        break;
    case ttservice::OTP_ICEBERG:
        pRules = s_icebergRules;
        nRules = static_cast<int>(std::size(s_icebergRules));
        break;
    case ttservice::OTP_FOLLOW:
        pRules = s_followRules;
        nRules = static_cast<int>(std::size(s_followRules));
        break;
    default:
        strError = QStringLiteral("不支持的算法类型%1").arg(nOrderType);
        return QString();
    }

    QVector<CAlgoParamPair> pairs;
    if (!readPairs(strText, pairs, strError))
    {
        return QString();
    }
    if (pairs.isEmpty())
    {
        strError = QStringLiteral("算法参数为空");
        return QString();
    }
    const bool bOk =
        pRules ? checkPairs(pairs, pRules, nRules, false, strError) && checkAlgorithmPairs(pairs, strError)
               : checkProviderPairs(pairs, strError);
    return bOk ? joinPairs(QStringLiteral("ALG"), pairs) : QString();
}

bool COrderServiceAlgoParam::readPairs(const QString& strText, QVector<CAlgoParamPair>& pairs,
                                       QString& strError)
{
    pairs.clear();
    int nFrom = 0;
    while (nFrom <= strText.size())
    {
        int nEnd = nFrom;
        while (nEnd < strText.size() && strText.at(nEnd) != QLatin1Char(',')
               && strText.at(nEnd) != QLatin1Char('+'))
        {
            ++nEnd;
        }
        // References into the text: only the pairs that are kept get strings of their own.
        const QStringRef item = strText.midRef(nFrom, nEnd - nFrom).trimmed();
        nFrom = nEnd + 1;
        if (item.isEmpty())
        {
            continue;
        }
        const int nEquals = item.count(QLatin1Char('='));
        if (nEquals != 1)
        {
            strError = nEquals == 0 ? QStringLiteral("参数项\"%1\"缺少\"=\"").arg(item)
                                    : QStringLiteral("参数项\"%1\"含有多个\"=\"").arg(item);
            return false;
        }
        const int nAt = item.indexOf(QLatin1Char('='));
        CAlgoParamPair pair;
        pair.m_strKey = item.left(nAt).trimmed().toString().toUpper();
        pair.m_strValue = item.mid(nAt + 1).trimmed().toString();
        if (pair.m_strKey.isEmpty())
        {
            strError = QStringLiteral("参数项\"%1\"缺少参数名").arg(item);
            return false;
        }
        for (const QChar c : pair.m_strKey)
        {
            if (!isKeyChar(c))
            {
                strError = QStringLiteral("参数名\"%1\"只能由字母、数字和下划线组成").arg(pair.m_strKey);
                return false;
            }
        }
        if (pair.m_strValue.isEmpty())
        {
            strError = QStringLiteral("参数%1的值为空").arg(pair.m_strKey);
            return false;
        }
        if (!value(pairs, pair.m_strKey).isEmpty())
        {
            strError = QStringLiteral("参数%1重复").arg(pair.m_strKey);
            return false;
        }
        if (pair.m_strKey == QLatin1String("SFMC"))
        {
            pair.m_strValue = pair.m_strValue.toUpper();
        }
        pairs.append(pair);
    }
    return true;
}

bool COrderServiceAlgoParam::checkPairs(const QVector<CAlgoParamPair>& pairs, const CAlgoParamRule* pRules,
                                        int nRules, bool bPassUnknown, QString& strError)
{
    for (const CAlgoParamPair& pair : pairs)
    {
        const CAlgoParamRule* pRule = nullptr;
        for (int i = 0; i < nRules && !pRule; ++i)
        {
            if (pair.m_strKey == QLatin1String(pRules[i].m_szKey))
            {
                pRule = &pRules[i];
            }
        }
        if (!pRule)
        {
            if (bPassUnknown)
            {
                continue;
            }
            strError = QStringLiteral("不支持的参数%1").arg(pair.m_strKey);
            return false;
        }
        // A fitting value leaves strError alone: the caller may already hold a reason of its own.
        const QString strReason = checkValue(pair, pRule->m_eKind);
        if (!strReason.isEmpty())
        {
            strError = strReason;
            return false;
        }
    }
    for (int i = 0; i < nRules; ++i)
    {
        const QString strKey = QLatin1String(pRules[i].m_szKey);
        if (pRules[i].m_bRequired && value(pairs, strKey).isEmpty())
        {
            strError = QStringLiteral("缺少参数%1").arg(strKey);
            return false;
        }
    }
    return true;
}

bool COrderServiceAlgoParam::checkProviderPairs(const QVector<CAlgoParamPair>& pairs, QString& strError)
{
    if (!checkPairs(pairs, s_providerRules, static_cast<int>(std::size(s_providerRules)), true, strError))
    {
        return false;
    }
    if (value(pairs, QStringLiteral("DDLX")) == QLatin1String("1")
        && value(pairs, QStringLiteral("XJJG")).isEmpty())
    {
        strError = QStringLiteral("DDLX为1(指定价格)时必须给出XJJG");
        return false;
    }
    return true;
}

bool COrderServiceAlgoParam::checkFixedPriceHasPrice(const QVector<CAlgoParamPair>& pairs, QString& strError)
{
    // Without ZDJ a fixed-price order would go out at price 0.
    const QString strCode = value(pairs, QStringLiteral("BJFS"));
    if (getPriceTypeByDbf(strCode) == ttservice::PRTP_FIX && value(pairs, QStringLiteral("ZDJ")).isEmpty())
    {
        strError = QStringLiteral("报价方式%1是指定价，必须给出ZDJ").arg(strCode);
        return false;
    }
    return true;
}

QString COrderServiceAlgoParam::value(const QVector<CAlgoParamPair>& pairs, const QString& strKey)
{
    for (const CAlgoParamPair& pair : pairs)
    {
        if (pair.m_strKey == strKey)
        {
            return pair.m_strValue;
        }
    }
    return QString();
}

QString COrderServiceAlgoParam::joinPairs(const QString& strTag, const QVector<CAlgoParamPair>& pairs)
{
    QString strText = strTag;
    strText.reserve(64);
    for (const CAlgoParamPair& pair : pairs)
    {
        strText += QLatin1Char('+') + pair.m_strKey + QLatin1Char('=') + pair.m_strValue;
    }
    return strText;
}

} // namespace TC
