#include "base/clogger.h"

#include <gtest/gtest.h>

#include <log4cxx/appenderskeleton.h>
#include <log4cxx/helpers/exception.h>
#include <log4cxx/spi/loggingevent.h>

#include <string>
#include <vector>

using namespace log4cxx;

namespace {

// An appender as a file appender behaves on a full disk: it throws while bFailing is set (or reports to
// its error handler instead, when bReport is set). Keeps what it was given.
class CFlakyAppender : public AppenderSkeleton
{
public:
    DECLARE_LOG4CXX_OBJECT(CFlakyAppender)
    BEGIN_LOG4CXX_CAST_MAP()
    LOG4CXX_CAST_ENTRY(CFlakyAppender)
    LOG4CXX_CAST_ENTRY_CHAIN(AppenderSkeleton)
    END_LOG4CXX_CAST_MAP()

    void append(const spi::LoggingEventPtr& pEvent, helpers::Pool&) override
    {
        if (m_bFailing && m_bReport)
            getErrorHandler()->error("cannot write", helpers::IOException(LogString("no space")), 1);
        else if (m_bFailing)
            throw helpers::IOException(LogString("no space"));
        else
            m_messages.push_back(pEvent->getMessage());
    }
    void close() override {}
    bool requiresLayout() const override { return false; }

    bool m_bFailing = false;
    bool m_bReport = false;
    std::vector<std::string> m_messages;
};

} // namespace

IMPLEMENT_LOG4CXX_OBJECT(CFlakyAppender)

// A log call never fails its caller (a throw on the smart key checker's thread ended the process): the
// failure is said once on stderr, and again once the appender writes again.
TEST(Logger, FailingAppenderNeverThrowsAndIsReportedOncePerFailure)
{
    for (const bool bReport : {false, true}) {
        SCOPED_TRACE(bReport ? "reported to the error handler" : "thrown");
        const LoggerPtr pLogger = Logger::getLogger("guarded");
        pLogger->setAdditivity(false);
        auto pFlaky = std::make_shared<CFlakyAppender>();
        pFlaky->setName("flaky");
        pFlaky->m_bReport = bReport;
        pLogger->addAppender(pFlaky);
        utils::guardLogAppenders();

        testing::internal::CaptureStderr();
        pFlaky->m_bFailing = true;
        for (int i = 0; i < 3; ++i)
            EXPECT_NO_THROW(LOG4CXX_ERROR(pLogger, "lost " << i));
        pFlaky->m_bFailing = false;
        LOG4CXX_ERROR(pLogger, "kept");
        const std::string strErr = testing::internal::GetCapturedStderr();
        EXPECT_EQ(pFlaky->m_messages, std::vector<std::string>{"kept"});
        EXPECT_NE(strErr.find("log appender flaky cannot write ("), std::string::npos) << strErr;
        EXPECT_EQ(strErr.find("flaky cannot write"), strErr.rfind("flaky cannot write")) << strErr;
        EXPECT_NE(strErr.find("log appender flaky writes again"), std::string::npos) << strErr;
        pLogger->removeAllAppenders();
    }
}
