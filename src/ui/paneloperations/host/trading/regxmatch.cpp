#include "trading/regxmatch.h"

#include <cmath>

namespace TC {

QString regxMatchStr(const QString& strKey, const QString& strSeparator, const QString& strText)
{
    if (strKey.isEmpty() || strSeparator.isEmpty())
    {
        return QString();
    }
    int nFrom = 0;
    while (nFrom <= strText.size())
    {
        const int nAt = strText.indexOf(strKey, nFrom, Qt::CaseSensitive);
        if (nAt < 0)
        {
            return QString();
        }
        // A key counts only where a pair starts, never inside another key or a value.
        const bool bPairStart =
            nAt == 0
            || (nAt >= strSeparator.size()
                && strText.midRef(nAt - strSeparator.size(), strSeparator.size()) == strSeparator);
        if (bPairStart)
        {
            const int nValue = nAt + strKey.size();
            const int nEnd = strText.indexOf(strSeparator, nValue, Qt::CaseSensitive);
            return strText.mid(nValue, nEnd < 0 ? -1 : nEnd - nValue);
        }
        nFrom = nAt + 1;
    }
    return QString();
}

double regxMatchDouble(const QString& strKey, const QString& strSeparator, const QString& strText)
{
    bool bOk = false;
    const double dValue = regxMatchStr(strKey, strSeparator, strText).toDouble(&bOk);
    return bOk && std::isfinite(dValue) ? dValue : 0.0;
}

} // namespace TC
