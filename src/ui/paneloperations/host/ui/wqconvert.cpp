#include "ui/wqconvert.h"

#include <QLocale>

#include <cmath>

namespace WQ {

QString sToQs(const std::string& str)
{
    return QString::fromUtf8(str.data(), static_cast<int>(str.size()));
}

QString formatDoubleNumber(double dValue, int nDecimals)
{
    return QString::number(dValue, 'f', nDecimals);
}

QString formatDoubleNumber(double dValue, int nDecimals, int nFlags, bool bTrimZeros,
                           const QString& strInvalid)
{
    if (!std::isfinite(dValue)) {
        return strInvalid;
    }
    QString strText;
    if (nFlags & FORMAT_GROUP_THOUSANDS) {
        QLocale locale = QLocale::c(); // the C locale omits group separators unless told otherwise
        locale.setNumberOptions(QLocale::DefaultNumberOptions);
        strText = locale.toString(dValue, 'f', nDecimals);
    } else {
        strText = QString::number(dValue, 'f', nDecimals);
    }
    if (bTrimZeros && strText.contains(QLatin1Char('.'))) {
        while (strText.endsWith(QLatin1Char('0'))) {
            strText.chop(1);
        }
        if (strText.endsWith(QLatin1Char('.'))) {
            strText.chop(1);
        }
    }
    return strText;
}

} // namespace WQ
