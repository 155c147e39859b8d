#pragma once

#include <string>

// Names each instance of a parameterised test after its row's m_szName, which says what the row guards.
inline constexpr auto rowName = [](const auto& info) { return std::string(info.param.m_szName); };
