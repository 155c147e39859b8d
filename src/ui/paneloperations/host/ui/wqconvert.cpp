#include "ui/wqconvert.h"

namespace WQ {

QString sToQs(const std::string& str)
{
    return QString::fromUtf8(str.data(), static_cast<int>(str.size()));
}

QString formatDoubleNumber(double dValue, int nDecimals)
{
    return QString::number(dValue, 'f', nDecimals);
}

} // namespace WQ
