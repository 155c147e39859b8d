#include "base/clogger.h"

#include "base/utils.h"

#include <log4cxx/appenderskeleton.h>
#include <log4cxx/basicconfigurator.h>
#include <log4cxx/consoleappender.h>
#include <log4cxx/helpers/pool.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/patternlayout.h>
#include <log4cxx/propertyconfigurator.h>
#include <log4cxx/spi/errorhandler.h>
#include <log4cxx/spi/loggingevent.h>

#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <map>

log4cxx::LoggerPtr g_TTStdLogger = log4cxx::Logger::getLogger("TTStd");

namespace {

// The log4cxx object macros name its namespaces unqualified.
using namespace log4cxx;

// Notes the failures an appender reports instead of throwing them.
class CFailureNote : public virtual log4cxx::spi::ErrorHandler, public virtual log4cxx::helpers::Object
{
public:
    DECLARE_LOG4CXX_OBJECT(CFailureNote)
    BEGIN_LOG4CXX_CAST_MAP()
    LOG4CXX_CAST_ENTRY(log4cxx::spi::OptionHandler)
    LOG4CXX_CAST_ENTRY(log4cxx::spi::ErrorHandler)
    END_LOG4CXX_CAST_MAP()

    void setLogger(const log4cxx::LoggerPtr&) override {}
    void activateOptions(log4cxx::helpers::Pool&) override {}
    void setOption(const log4cxx::LogString&, const log4cxx::LogString&) override {}
    void error(const log4cxx::LogString& strMessage, const std::exception& e, int) const override
    {
        note(strMessage + ": " + e.what());
    }
    void error(const log4cxx::LogString& strMessage, const std::exception& e, int,
               const log4cxx::spi::LoggingEventPtr&) const override
    {
        note(strMessage + ": " + e.what());
    }
    void error(const log4cxx::LogString& strMessage) const override { note(strMessage); }
    void setAppender(const log4cxx::AppenderPtr&) override {}
    void setBackupAppender(const log4cxx::AppenderPtr&) override {}

    // The failure noted since the last call, or "" (called under the guarding appender's lock).
    std::string take() const
    {
        std::string strReason;
        strReason.swap(m_strReason);
        return strReason;
    }

private:
    void note(const std::string& strReason) const
    {
        if (m_strReason.empty())
            m_strReason = strReason.empty() ? std::string("unknown failure") : strReason;
    }

    mutable std::string m_strReason;
};

// Stands in front of a configured appender, so that a log call never fails its caller: whatever the
// appender throws or reports is swallowed and said once on stderr, and said again when it writes again.
// Control characters of the message are escaped on the way, as the log also goes to a terminal.
class CGuardAppender : public log4cxx::AppenderSkeleton
{
public:
    DECLARE_LOG4CXX_OBJECT(CGuardAppender)
    BEGIN_LOG4CXX_CAST_MAP()
    LOG4CXX_CAST_ENTRY(CGuardAppender)
    LOG4CXX_CAST_ENTRY_CHAIN(log4cxx::AppenderSkeleton)
    END_LOG4CXX_CAST_MAP()

    CGuardAppender() = default;
    explicit CGuardAppender(const log4cxx::AppenderPtr& pInner)
        : m_pInner(pInner), m_pNote(std::make_shared<CFailureNote>())
    {
        setName(pInner->getName());
        if (auto pSkeleton = log4cxx::cast<log4cxx::AppenderSkeleton>(pInner))
            pSkeleton->setErrorHandler(m_pNote);
    }

    // AppenderSkeleton::doAppend serialises the calls.
    void append(const log4cxx::spi::LoggingEventPtr& pEvent, log4cxx::helpers::Pool& pool) override
    {
        std::string strReason;
        try {
            m_pInner->doAppend(escaped(pEvent), pool);
            strReason = m_pNote->take();
        } catch (const std::exception& e) {
            strReason = m_pNote->take();
            if (strReason.empty())
                strReason = e.what();
        } catch (...) {
            strReason = "unknown exception";
        }
        if (!strReason.empty() && !m_bFailing) {
            m_bFailing = true;
            std::fprintf(stderr,
                         "batchorder-host: log appender %s cannot write (%s); its log lines are lost "
                         "until it can\n",
                         getName().c_str(), strReason.c_str());
        } else if (strReason.empty() && m_bFailing) {
            m_bFailing = false;
            std::fprintf(stderr, "batchorder-host: log appender %s writes again\n", getName().c_str());
        }
    }

    void close() override
    {
        try {
            m_pInner->close();
        } catch (...) {
        }
    }

    bool requiresLayout() const override { return false; }

private:
    static log4cxx::spi::LoggingEventPtr escaped(const log4cxx::spi::LoggingEventPtr& pEvent)
    {
        const log4cxx::LogString& strMessage = pEvent->getMessage();
        const std::string strEscaped = utils::escapeControlChars(strMessage);
        if (strEscaped.size() == strMessage.size())
            return pEvent;
        return std::make_shared<log4cxx::spi::LoggingEvent>(pEvent->getLoggerName(), pEvent->getLevel(),
                                                            strEscaped, pEvent->getLocationInformation());
    }

    log4cxx::AppenderPtr m_pInner;
    std::shared_ptr<CFailureNote> m_pNote;
    bool m_bFailing = false;
};

} // namespace

// At global scope: the macros open namespace log4cxx.
IMPLEMENT_LOG4CXX_OBJECT(CFailureNote)
IMPLEMENT_LOG4CXX_OBJECT(CGuardAppender)

namespace utils {

void guardLogAppenders()
{
    // An appender shared by several loggers gets one guard, which alone handles its errors.
    std::map<const log4cxx::Appender*, log4cxx::AppenderPtr> guards;
    log4cxx::LoggerList loggers = log4cxx::LogManager::getCurrentLoggers();
    loggers.push_back(log4cxx::Logger::getRootLogger());
    for (const log4cxx::LoggerPtr& pLogger : loggers) {
        for (const log4cxx::AppenderPtr& pAppender : pLogger->getAllAppenders()) {
            if (log4cxx::cast<CGuardAppender>(pAppender))
                continue;
            log4cxx::AppenderPtr& pGuard = guards[pAppender.get()];
            if (!pGuard)
                pGuard = std::make_shared<CGuardAppender>(pAppender);
            pLogger->removeAppender(pAppender);
            pLogger->addAppender(pGuard);
        }
    }
}

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
    guardLogAppenders();
    return true;
}

void initConsoleLogger(const log4cxx::LevelPtr& level)
{
    log4cxx::LogManager::resetConfiguration();
    auto pLayout = std::make_shared<log4cxx::PatternLayout>("%d{HH:mm:ss.SSS} %-5p [%t] %m%n");
    auto pAppender = std::make_shared<log4cxx::ConsoleAppender>(pLayout, log4cxx::ConsoleAppender::getSystemErr());
    log4cxx::Logger::getRootLogger()->addAppender(pAppender);
    log4cxx::Logger::getRootLogger()->setLevel(level);
    guardLogAppenders();
}

} // namespace utils
