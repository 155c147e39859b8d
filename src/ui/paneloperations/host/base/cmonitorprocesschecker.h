#pragma once

#include <boost/asio/deadline_timer.hpp>
#include <boost/asio/io_service.hpp>

#include <QStringList>

#include <atomic>
#include <memory>

namespace TC {

// The host's monitoring condition for automatic dispatch: it holds while at least one of the named
// processes runs (or always, when forced). The check runs on the io_service it is given (the smart key
// checker's thread) and its answer is cached, so isMonitor() is cheap and callable from any thread.
// start() and stop() may be called from any thread.
class CMonitorProcessChecker
{
public:
    explicit CMonitorProcessChecker(boost::asio::io_service& ioService);
    ~CMonitorProcessChecker();
    CMonitorProcessChecker(const CMonitorProcessChecker&) = delete;
    CMonitorProcessChecker& operator=(const CMonitorProcessChecker&) = delete;

    // Process-wide condition, set by the host before the module starts: the process names to look for
    // and whether the condition always holds.
    static void configure(const QStringList& processNames, bool bAlwaysMonitor);

    void init();
    void start();
    void stop();
    bool isMonitor() const;

private:
    struct CState;
    std::shared_ptr<CState> m_pState;
};

} // namespace TC
