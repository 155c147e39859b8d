#pragma once

#include <QString>

#include <string>

namespace WQ {

// UTF-8 std::string to QString; invalid bytes become U+FFFD.
QString sToQs(const std::string& str);
// A number as the host shows it: fixed with nDecimals decimals, trailing zeros kept.
QString formatDoubleNumber(double dValue, int nDecimals = 2);

enum EFormatFlag
{
    FORMAT_GROUP_THOUSANDS = 1, // "1,234,567.000"
};

// As above with options: nFlags of EFormatFlag, bTrimZeros drops trailing zeros of the decimals (and a
// dangling point). A value the formatter rejects (not finite) is shown as strInvalid.
QString formatDoubleNumber(double dValue, int nDecimals, int nFlags, bool bTrimZeros,
                           const QString& strInvalid);

} // namespace WQ
