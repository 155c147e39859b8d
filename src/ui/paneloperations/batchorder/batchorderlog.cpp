#include "batchorderlog.h"

#include <log4cxx/logstring.h>
#include <log4cxx/spi/location/locationinfo.h>

#include <cstring>

static_assert(LOG4CXX_LOGCHAR_IS_UTF8, "log4cxx must keep its strings in UTF-8, the module's log texts");

namespace TC {

void writeOrderLog(const log4cxx::LevelPtr& level, const std::string& strText, const char* szFile,
                   const char* szFunction, int nLine)
{
    const char* szShort = std::strrchr(szFile, '/');
    szShort = szShort ? szShort + 1 : szFile;
    // The module's texts are UTF-8, which is also log4cxx's own string form here: handed over as they are,
    // they skip the transcoding from the locale's character set, which goes byte by byte and costs more
    // than the rest of the call for a long line (a whole instruction file is logged in one).
    static const char s_szPrefix[] = "[order ] ";
    log4cxx::LogString strMessage;
    strMessage.reserve(sizeof(s_szPrefix) - 1 + strText.size());
    strMessage.append(s_szPrefix, sizeof(s_szPrefix) - 1).append(strText);
    g_TTStdLogger->forcedLogLS(level, strMessage,
                               log4cxx::spi::LocationInfo(szFile, szShort, szFunction, nLine));
}

} // namespace TC
