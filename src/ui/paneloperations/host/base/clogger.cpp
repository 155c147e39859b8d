#include "base/clogger.h"

#include <log4cxx/basicconfigurator.h>
#include <log4cxx/consoleappender.h>
#include <log4cxx/helpers/pool.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/patternlayout.h>
#include <log4cxx/propertyconfigurator.h>

#include <QDir>
#include <QFileInfo>

#include <cstdlib>

log4cxx::LoggerPtr g_TTStdLogger = log4cxx::Logger::getLogger("TTStd");

namespace utils {

bool initLogger(const QString& strPropertiesFile, const QString& strLogDir, QString& strError)
{
    QFileInfo info(strPropertiesFile);
    if (!info.isFile() || !info.isReadable())
    {
        strError = QStringLiteral("%1: log configuration not found or not readable").arg(strPropertiesFile);
        return false;
    }
    if (!QDir().mkpath(strLogDir))
    {
        strError = QStringLiteral("%1: cannot create the log directory").arg(strLogDir);
        return false;
    }
    // The properties file refers to the log directory as ${BATCHORDER_LOG_DIR}; log4cxx expands
    // variables from the environment.
    setenv("BATCHORDER_LOG_DIR", QDir(strLogDir).absolutePath().toLocal8Bit().constData(), 1);
    log4cxx::LogManager::resetConfiguration();
    log4cxx::PropertyConfigurator::configure(log4cxx::File(info.absoluteFilePath().toStdString()));
    return true;
}

void initConsoleLogger(const log4cxx::LevelPtr& level)
{
    log4cxx::LogManager::resetConfiguration();
    auto pLayout = std::make_shared<log4cxx::PatternLayout>("%d{HH:mm:ss.SSS} %-5p [%t] %m%n");
    auto pAppender = std::make_shared<log4cxx::ConsoleAppender>(pLayout, log4cxx::ConsoleAppender::getSystemErr());
    log4cxx::Logger::getRootLogger()->addAppender(pAppender);
    log4cxx::Logger::getRootLogger()->setLevel(level);
}

} // namespace utils
