#include "common/clogcapture.h"

#include "base/clogger.h"

#include <log4cxx/appenderskeleton.h>
#include <log4cxx/spi/loggingevent.h>

#include <condition_variable>
#include <mutex>

using namespace log4cxx;
using namespace log4cxx::helpers;

class CCaptureAppender : public AppenderSkeleton
{
public:
    DECLARE_LOG4CXX_OBJECT(CCaptureAppender)
    BEGIN_LOG4CXX_CAST_MAP()
    LOG4CXX_CAST_ENTRY(CCaptureAppender)
    LOG4CXX_CAST_ENTRY_CHAIN(AppenderSkeleton)
    END_LOG4CXX_CAST_MAP()

    void append(const log4cxx::spi::LoggingEventPtr& event, log4cxx::helpers::Pool&) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back({event->getLevel()->toInt(), event->getMessage()});
        m_cond.notify_all();
    }
    void close() override {}
    bool requiresLayout() const override { return false; }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cond;
    std::vector<CLogCapture::CLine> m_lines;
};

IMPLEMENT_LOG4CXX_OBJECT(CCaptureAppender)

CLogCapture::CLogCapture() : m_pAppender(std::make_shared<CCaptureAppender>())
{
    g_TTStdLogger->addAppender(m_pAppender);
}

CLogCapture::~CLogCapture()
{
    g_TTStdLogger->removeAppender(m_pAppender);
}

std::vector<CLogCapture::CLine> CLogCapture::lines() const
{
    std::lock_guard<std::mutex> lock(m_pAppender->m_mutex);
    return m_pAppender->m_lines;
}

std::vector<std::string> CLogCapture::texts() const
{
    std::vector<std::string> result;
    for (const CLine& line : lines())
        result.push_back(line.m_strText);
    return result;
}

int CLogCapture::count(const std::string& strFragment) const
{
    int nCount = 0;
    for (const CLine& line : lines())
        nCount += line.m_strText.find(strFragment) != std::string::npos ? 1 : 0;
    return nCount;
}

bool CLogCapture::waitForCount(const std::string& strFragment, int nCount,
                               std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_pAppender->m_mutex);
    return m_pAppender->m_cond.wait_for(lock, timeout, [&] {
        int n = 0;
        for (const CLine& line : m_pAppender->m_lines)
            n += line.m_strText.find(strFragment) != std::string::npos ? 1 : 0;
        return n >= nCount;
    });
}
