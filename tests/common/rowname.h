#pragma once

#include <ostream>
#include <string>

// The base of a table row: m_szName says what the row guards. It names the row's instance of a
// parameterised test (rowName) and is how the row prints in test names and failures.
struct CNamedRow
{
    const char* m_szName;
};

inline std::ostream& operator<<(std::ostream& stream, const CNamedRow& row)
{
    return stream << row.m_szName;
}

inline constexpr auto rowName = [](const auto& info) { return std::string(info.param.m_szName); };
