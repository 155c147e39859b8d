#pragma once

#include "base/clogger.h"

#include <fmt/format.h>
#include <log4cxx/level.h>

#include <string>

namespace TC {

// Writes one module log line: "[order ] " + text, at the caller's file and function.
void writeOrderLog(const log4cxx::LevelPtr& level, const std::string& strText, const char* szFile,
                   const char* szFunction, int nLine);

} // namespace TC

// Module logging. The level is checked before the arguments are formatted (or even evaluated); the text
// is formatted with fmt positional arguments ("{0}", "{1}").
#define BO_LOG(levelPtr, ...)                                                                              \
    do                                                                                                     \
    {                                                                                                      \
        const ::log4cxx::LevelPtr& boLogLevel_ = (levelPtr);                                               \
        if (g_TTStdLogger && g_TTStdLogger->isEnabledFor(boLogLevel_))                                     \
            ::TC::writeOrderLog(boLogLevel_, ::fmt::format(__VA_ARGS__), __FILE__, __func__, __LINE__);  \
    } while (0)

#define BO_LOG_DEBUG(...) BO_LOG(::log4cxx::Level::getDebug(), __VA_ARGS__)
#define BO_LOG_INFO(...) BO_LOG(::log4cxx::Level::getInfo(), __VA_ARGS__)
#define BO_LOG_ERROR(...) BO_LOG(::log4cxx::Level::getError(), __VA_ARGS__)
