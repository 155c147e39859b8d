#pragma once

#include <QString>

namespace TC {

// Reads one value out of a parameter text of the form "KEY1=v1<sep>KEY2=v2...". strKey includes its "="
// ("BJFS="); it matches only at the start of the text or right after a separator, case-sensitively, so
// "ZDJ=" does not match inside "XZDJ=". The first match wins; the value runs up to the next separator or
// the end. Returns "" when the key is absent or strSeparator is empty. Pure; any thread.
QString regxMatchStr(const QString& strKey, const QString& strSeparator, const QString& strText);

// regxMatchStr's value as a number; 0 when the key is absent or its value is not a finite number.
double regxMatchDouble(const QString& strKey, const QString& strSeparator, const QString& strText);

} // namespace TC
