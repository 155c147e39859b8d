#pragma once

#include <boost/asio/deadline_timer.hpp>
#include <boost/asio/io_service.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/signals2/signal.hpp>
#include <boost/system/error_code.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <cstdint>
#include <optional>

namespace TC {

class CBatchOrderManager;
class CMonitorProcessChecker;

// Dispatches pending instructions without a key press: once a second, while the host's monitoring
// condition holds and the oldest pending instruction has waited a second, it fires m_sigTrigger.
// Ticks, the monitor checker's work and the triggered dispatch run on the checker's own I/O thread;
// start, stop, attach, detach, resetTrigger and isTriggered may be called from any thread.
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
    // After stop returns nothing fires until the next start; a fire under way is waited for.
    void stop();
    void doChecker();
    bool isTriggered() const { return m_bTriggered.load(); }
    // Number of ticks that ran a check since construction (for diagnostics and tests).
    uint64_t tickCount() const { return m_nTicks.load(); }
    void resetTrigger() { m_bTriggered.store(false); }

    // The manager whose pending queue the checks read. detach waits for every check that still uses the
    // manager, its fire included, so that the manager may be destroyed once it returns.
    void attach(CBatchOrderManager* pManager);
    void detach(CBatchOrderManager* pManager);

    boost::signals2::signal<void()> m_sigTrigger;

private:
    void startTimer(unsigned nGeneration);
    void onTimer(const boost::system::error_code& ec, unsigned nGeneration);
    // One check, which fires only while no start or stop came after nGeneration was current.
    void check(unsigned nGeneration);
    bool isCurrent(unsigned nGeneration);
    unsigned currentGeneration();
    // Waits, with the state lock held, until only the calling thread's own check (if any) is left in
    // the given count.
    void waitForOthers(boost::mutex::scoped_lock& lock, const int& nCount);

    boost::shared_ptr<boost::asio::deadline_timer> m_pTimer;
    boost::system::error_code m_ec;
    boost::thread* m_pThread = nullptr;
    boost::asio::io_service m_ioService;
    std::optional<boost::asio::io_service::work> m_work;
    std::atomic<bool> m_bTriggered{false};
    boost::shared_ptr<CMonitorProcessChecker> m_pMonitorChecker;
    int m_nTriggerMSec = 1000;
    std::atomic<uint64_t> m_nTicks{0};

    // Every start and stop begins a new generation; a tick or a check fires only while the generation it
    // began under is still current. No check holds this lock while it reads the queue or fires.
    boost::mutex m_stateMutex;
    boost::condition_variable m_stateCond;
    unsigned m_nGeneration = 0;
    CBatchOrderManager* m_pManager = nullptr;
    int m_nChecking = 0; // checks that hold m_pManager
    int m_nFiring = 0;   // of those, the ones emitting m_sigTrigger
};

} // namespace TC
