#pragma once

#include <QString>

#include <string>

namespace WQ {

// UTF-8 std::string to QString; invalid bytes become U+FFFD.
QString sToQs(const std::string& str);
// A number as the host shows it: fixed with nDecimals decimals, trailing zeros kept.
QString formatDoubleNumber(double dValue, int nDecimals = 2);

} // namespace WQ
