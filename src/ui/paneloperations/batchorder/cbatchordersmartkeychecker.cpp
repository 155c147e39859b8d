#include "cbatchordersmartkeychecker.h"

#include "batchorderlog.h"
#include "cbatchordermanager.h"

#include "base/cmonitorprocesschecker.h"
#include "base/utils.h"

#include <boost/asio/placeholders.hpp>
#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include <atomic>

namespace TC {

namespace {

constexpr long kTickMicroseconds = 1000000;

boost::mutex g_instanceMutex;
boost::shared_ptr<CBatchOrderSmartKeyChecker> g_pInstance;
std::atomic<CBatchOrderSmartKeyChecker*> g_pInstanceRaw{nullptr};

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
        m_bStarted = false;
        ++m_nGeneration;
    }
    m_pMonitorChecker.reset();
    if (m_pThread)
    {
        m_ioService.post([this] {
            if (m_pTimer)
                m_pTimer->cancel();
        });
    }
    m_work.reset();
    if (m_pThread)
    {
        // Whatever is still queued belongs to a checker that is going away.
        m_ioService.stop();
        m_pThread->join();
        delete m_pThread;
        m_pThread = nullptr;
    }
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
        m_bStarted = true;
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
        m_bStarted = false;
        ++m_nGeneration;
    }
    if (m_pTimer)
        m_ioService.post([this] { m_pTimer->cancel(); });
    if (m_pMonitorChecker)
        m_pMonitorChecker->stop();
    // A tick already past its check may still be firing; wait for it so that nothing fires after stop
    // returns. On the I/O thread itself there is no such tick to wait for.
    if (m_pThread && boost::this_thread::get_id() != m_pThread->get_id())
    {
        boost::mutex::scoped_lock tickLock(m_tickMutex);
    }
    m_bTriggered.store(false);
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
    return m_bStarted && nGeneration == m_nGeneration;
}

void CBatchOrderSmartKeyChecker::onTimer(const boost::system::error_code& ec, unsigned nGeneration)
{
    if (ec)
        return;
    {
        boost::mutex::scoped_lock tickLock(m_tickMutex);
        if (!isCurrent(nGeneration))
            return;
        ++m_nTicks;
        doChecker();
    }
    // The next tick comes a second after this check finished, and only while this start still holds.
    if (isCurrent(nGeneration))
        startTimer(nGeneration);
}

void CBatchOrderSmartKeyChecker::doChecker()
{
    if (!m_pMonitorChecker || !m_pMonitorChecker->isMonitor())
    {
        m_bTriggered.store(false);
        return;
    }
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (!pManager)
        return;
    const uint64_t nFront = pManager->getFrontTimetag();
    if (nFront == UINT64_MAX)
        return;
    const uint64_t nNow = static_cast<uint64_t>(utils::clockMSec());
    if (nNow - nFront < static_cast<uint64_t>(m_nTriggerMSec))
        return;
    m_bTriggered.store(true);
    m_sigTrigger();
    BO_LOG_INFO("checker trigger.");
}

} // namespace TC
