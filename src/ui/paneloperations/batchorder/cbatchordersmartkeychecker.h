#pragma once

#include <boost/asio/deadline_timer.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/system/error_code.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <cstdint>
#include <optional>

namespace TC {

class CMonitorProcessChecker;

// Dispatches pending instructions without a key press: once a second, while the host's monitoring
// condition holds and the oldest pending instruction has waited a second, it fires m_sigTrigger.
// Ticks, the monitor checker's work and the triggered dispatch run on the checker's own I/O thread;
// start, stop, resetTrigger and isTriggered may be called from any thread.
class CBatchOrderSmartKeyChecker
{
public:
    CBatchOrderSmartKeyChecker();
    ~CBatchOrderSmartKeyChecker();
    CBatchOrderSmartKeyChecker(const CBatchOrderSmartKeyChecker&) = delete;
    CBatchOrderSmartKeyChecker& operator=(const CBatchOrderSmartKeyChecker&) = delete;

    // The process-wide checker: the first one installed wins.
    static void setInstance(const boost::shared_ptr<CBatchOrderSmartKeyChecker>& pChecker);
    static CBatchOrderSmartKeyChecker* instance();

    void init();
    void start();
    void stop();
    void doChecker();
    bool isTriggered() const { return m_bTriggered.load(); }
    // Number of ticks that ran a check since construction (for diagnostics and tests).
    uint64_t tickCount() const { return m_nTicks.load(); }
    void resetTrigger() { m_bTriggered.store(false); }

    boost::signals2::signal<void()> m_sigTrigger;

private:
    void startTimer(unsigned nGeneration);
    void onTimer(const boost::system::error_code& ec, unsigned nGeneration);
    bool isCurrent(unsigned nGeneration);

    boost::shared_ptr<boost::asio::deadline_timer> m_pTimer;
    boost::system::error_code m_ec;
    boost::thread* m_pThread = nullptr;
    boost::asio::io_service m_ioService;
    std::optional<boost::asio::io_service::work> m_work;
    std::atomic<bool> m_bTriggered{false};
    boost::shared_ptr<CMonitorProcessChecker> m_pMonitorChecker;
    int m_nTriggerMSec = 1000;
    std::atomic<uint64_t> m_nTicks{0};

    // Guards the started state against a tick that is already running: a tick re-arms only while the
    // generation it was armed under is still current.
    boost::mutex m_stateMutex;
    bool m_bStarted = false;
    unsigned m_nGeneration = 0;
    // Held while a tick checks and fires, so that stop() can wait for a tick already under way.
    boost::mutex m_tickMutex;
};

} // namespace TC
