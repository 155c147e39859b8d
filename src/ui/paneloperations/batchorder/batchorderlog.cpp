#include "batchorderlog.h"

#include <log4cxx/spi/location/locationinfo.h>

#include <cstring>

namespace TC {

void writeOrderLog(const log4cxx::LevelPtr& level, const std::string& strText, const char* szFile,
                   const char* szFunction, int nLine)
{
    const char* szShort = std::strrchr(szFile, '/');
    szShort = szShort ? szShort + 1 : szFile;
    g_TTStdLogger->forcedLog(level, fmt::format("[order ] {}", strText),
                             log4cxx::spi::LocationInfo(szFile, szShort, szFunction, nLine));
}

} // namespace TC
