#include "cbatchordersmartkeychecker.h"

#include "batchorderlog.h"
#include "cbatchordermanager.h"

#include "base/cmonitorprocesschecker.h"
#include "base/utils.h"

#include <boost/asio/placeholders.hpp>
#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include <atomic>
#include <utility>

namespace TC {

namespace {

constexpr long kTickMicroseconds = 1000000;

boost::mutex g_instanceMutex;
boost::shared_ptr<CBatchOrderSmartKeyChecker> g_pInstance;
std::atomic<CBatchOrderSmartKeyChecker*> g_pInstanceRaw{nullptr};

// The check under way on this thread and whether it fires: stop or detach called from a slot of the
// trigger must not wait for the fire that called it.
thread_local const CBatchOrderSmartKeyChecker* t_pChecking = nullptr;
thread_local bool t_bFiring = false;

template <class Function> class CScopeExit
{
public:
    explicit CScopeExit(Function function) : m_function(std::move(function)) {}
    ~CScopeExit() { m_function(); }
    CScopeExit(const CScopeExit&) = delete;
    CScopeExit& operator=(const CScopeExit&) = delete;

private:
    Function m_function;
};

} // namespace

void CBatchOrderSmartKeyChecker::setInstance(const boost::shared_ptr<CBatchOrderSmartKeyChecker>& pChecker)
{
    boost::mutex::scoped_lock lock(g_instanceMutex);
    if (g_pInstance || !pChecker)
        return;
    g_pInstance = pChecker;
    g_pInstanceRaw.store(pChecker.get());
}

CBatchOrderSmartKeyChecker* CBatchOrderSmartKeyChecker::instance()
{
    return g_pInstanceRaw.load();
}

CBatchOrderSmartKeyChecker::CBatchOrderSmartKeyChecker()
{
    m_work.emplace(m_ioService);
    m_pMonitorChecker = boost::make_shared<CMonitorProcessChecker>(m_ioService);
}

CBatchOrderSmartKeyChecker::~CBatchOrderSmartKeyChecker()
{
    {
        boost::mutex::scoped_lock lock(m_stateMutex);
        ++m_nGeneration; // ends the tick chain
        m_pManager = nullptr;
    }
    if (m_pThread)
    {
        // The ticks read the monitor checker and the timer: release them on the I/O thread, behind any
        // tick under way, then let run return once their last handlers are done.
        m_ioService.post([this] {
            m_pMonitorChecker.reset();
            m_pTimer->cancel();
        });
        m_work.reset();
        m_pThread->join();
        delete m_pThread;
        m_pThread = nullptr;
    }
    m_pMonitorChecker.reset();
    m_pTimer.reset();
}

void CBatchOrderSmartKeyChecker::init()
{
    // A manager created again in the same process finds the checker already running.
    if (m_pThread)
        return;
    m_pTimer = boost::make_shared<boost::asio::deadline_timer>(m_ioService);
    m_pMonitorChecker->init();
    m_pThread = new boost::thread([this] {
        utils::setThreadName("batch_order_checker");
        m_ioService.run(m_ec);
    });
}

void CBatchOrderSmartKeyChecker::start()
{
    unsigned nGeneration = 0;
    {
        boost::mutex::scoped_lock lock(m_stateMutex);
        nGeneration = ++m_nGeneration;
    }
    // The timer is only ever touched on the I/O thread; arming it again there ends the previous chain.
    m_ioService.post([this, nGeneration] {
        if (isCurrent(nGeneration))
            startTimer(nGeneration);
    });
    if (m_pMonitorChecker)
        m_pMonitorChecker->start();
}

void CBatchOrderSmartKeyChecker::stop()
{
    {
        boost::mutex::scoped_lock lock(m_stateMutex);
        ++m_nGeneration;
        // A check that is still reading the queue will not fire now; one already firing ends first.
        const int nOwn = (t_pChecking == this && t_bFiring) ? 1 : 0;
        m_stateCond.wait(lock, [&] { return m_nFiring <= nOwn; });
    }
    if (m_pTimer)
        m_ioService.post([this] { m_pTimer->cancel(); });
    if (m_pMonitorChecker)
        m_pMonitorChecker->stop();
    m_bTriggered.store(false);
}

void CBatchOrderSmartKeyChecker::attach(CBatchOrderManager* pManager)
{
    boost::mutex::scoped_lock lock(m_stateMutex);
    m_pManager = pManager;
}

void CBatchOrderSmartKeyChecker::detach(CBatchOrderManager* pManager)
{
    boost::mutex::scoped_lock lock(m_stateMutex);
    if (m_pManager == pManager)
        m_pManager = nullptr;
    const int nOwn = t_pChecking == this ? 1 : 0;
    m_stateCond.wait(lock, [&] { return m_nChecking <= nOwn; });
}

void CBatchOrderSmartKeyChecker::startTimer(unsigned nGeneration)
{
    m_pTimer->expires_from_now(boost::posix_time::microseconds(kTickMicroseconds));
    m_pTimer->async_wait(boost::bind(&CBatchOrderSmartKeyChecker::onTimer, this,
                                     boost::asio::placeholders::error, nGeneration));
}

bool CBatchOrderSmartKeyChecker::isCurrent(unsigned nGeneration)
{
    boost::mutex::scoped_lock lock(m_stateMutex);
    return nGeneration == m_nGeneration;
}

unsigned CBatchOrderSmartKeyChecker::currentGeneration()
{
    boost::mutex::scoped_lock lock(m_stateMutex);
    return m_nGeneration;
}

void CBatchOrderSmartKeyChecker::onTimer(const boost::system::error_code& ec, unsigned nGeneration)
{
    if (ec || !isCurrent(nGeneration))
        return;
    ++m_nTicks;
    check(nGeneration);
    // The next tick comes a second after this check finished, and only while this start still holds.
    if (isCurrent(nGeneration))
        startTimer(nGeneration);
}

void CBatchOrderSmartKeyChecker::doChecker()
{
    check(currentGeneration());
}

void CBatchOrderSmartKeyChecker::check(unsigned nGeneration)
{
    if (!m_pMonitorChecker || !m_pMonitorChecker->isMonitor())
    {
        m_bTriggered.store(false);
        return;
    }
    CBatchOrderManager* pManager = nullptr;
    {
        boost::mutex::scoped_lock lock(m_stateMutex);
        if (nGeneration != m_nGeneration || !m_pManager)
            return;
        pManager = m_pManager;
        ++m_nChecking;
    }
    const CBatchOrderSmartKeyChecker* pOuter = std::exchange(t_pChecking, this);
    const CScopeExit leave([&] {
        t_pChecking = pOuter;
        boost::mutex::scoped_lock lock(m_stateMutex);
        --m_nChecking;
        m_stateCond.notify_all();
    });

    // No lock of the checker is held here: the queue's lock may be held for long by an intake.
    const uint64_t nFront = pManager->getFrontTimetag();
    if (nFront == UINT64_MAX)
        return;
    const uint64_t nNow = static_cast<uint64_t>(utils::clockMSec());
    if (nNow - nFront < static_cast<uint64_t>(m_nTriggerMSec))
        return;
    {
        boost::mutex::scoped_lock lock(m_stateMutex);
        // Stopped (or started again) while the queue was read: this check no longer fires.
        if (nGeneration != m_nGeneration)
            return;
        ++m_nFiring;
    }
    t_bFiring = true;
    const CScopeExit endFire([&] {
        t_bFiring = false;
        boost::mutex::scoped_lock lock(m_stateMutex);
        --m_nFiring;
        m_stateCond.notify_all();
    });
    m_bTriggered.store(true);
    m_sigTrigger();
    BO_LOG_INFO("checker trigger.");
}

} // namespace TC
