#pragma once

#include <log4cxx/logger.h>

#include <QString>

// The host's logger. Every component, the module included, logs through it.
extern log4cxx::LoggerPtr g_TTStdLogger;

namespace utils {

// Configures log4cxx from a properties file. ${BATCHORDER_LOG_DIR} inside the file expands to strLogDir,
// which is created if missing. Returns false and a reason naming the file when it cannot be used.
bool initLogger(const QString& strPropertiesFile, const QString& strLogDir, QString& strError);

// Puts a guard in front of every appender configured so far: a log call then never throws, whatever
// the appender meets (a full disk, a closed stderr), and control characters of messages are escaped.
// The two functions below call it; call it again after adding appenders by other means.
void guardLogAppenders();

// Configures a plain console logger at the given level (for tools and tests without a properties file).
void initConsoleLogger(const log4cxx::LevelPtr& level);

} // namespace utils
