#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"
#include "base/utils.h"
#include "common/clogcapture.h"
#include "common/ctesthost.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <thread>

using namespace TC;
using Clock = std::chrono::steady_clock;

namespace {

const QString kBuy = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2");

// Waits until the predicate holds or the deadline passes.

class SmartKeyChecker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>();
        m_pHost->orderService().addBatchOrderStrategy(999);
        CMonitorProcessChecker::configure({}, true);
        CBatchOrderManager::initInstance(nullptr);
        m_pManager = CBatchOrderManager::instance();
        m_pChecker = CBatchOrderSmartKeyChecker::instance();
        m_nFired = 0;
        m_connection = m_pChecker->m_sigTrigger.connect([this] { ++m_nFired; });
    }

    void TearDown() override
    {
        m_connection.disconnect();
        m_pChecker->stop();
        CMonitorProcessChecker::configure({}, false);
        drainBatchOrderStrand();
        CBatchOrderManager::m_pInstance = nullptr;
        delete m_pManager;
        m_pHost.reset();
    }

    // One pending record whose parse time the test sets.
    boost::shared_ptr<CBatchOrderData> addPending()
    {
        EXPECT_TRUE(m_pManager->shortcutOrder(QStringLiteral("BatchOrder:") + kBuy));
        drainBatchOrderStrand();
        return m_pManager->getAllDatas().front();
    }

    std::unique_ptr<CTestHost> m_pHost;
    CBatchOrderManager* m_pManager = nullptr;
    CBatchOrderSmartKeyChecker* m_pChecker = nullptr;
    boost::signals2::connection m_connection;
    std::atomic<int> m_nFired{0};
};

} // namespace

TEST_F(SmartKeyChecker, EmptyQueueNeverFiresAndKeepsAnEarlierFlag)
{
    auto pData = addPending();
    pData->m_nTimetag = static_cast<uint64_t>(utils::clockMSec()) - 5000;
    m_pChecker->doChecker();
    ASSERT_EQ(m_nFired.load(), 1);
    ASSERT_TRUE(m_pChecker->isTriggered());

    m_pChecker->doChecker(); // the dispatch emptied the queue
    EXPECT_EQ(m_nFired.load(), 1);
    EXPECT_TRUE(m_pChecker->isTriggered());
}

TEST_F(SmartKeyChecker, FiresOnceTheOldestHasWaitedAFullSecond)
{
    CLogCapture capture;
    auto pData = addPending();
    // 999 ms old: only judge runs in which the check read the same millisecond as the test, so that
    // the age it saw is known to be exactly 999.
    bool bJudged = false;
    for (int nTry = 0; nTry < 200 && !bJudged; ++nTry)
    {
        const uint64_t nNow = static_cast<uint64_t>(utils::clockMSec());
        pData->m_nTimetag = nNow - 999;
        m_pChecker->doChecker();
        if (static_cast<uint64_t>(utils::clockMSec()) == nNow)
        {
            bJudged = true;
            EXPECT_EQ(m_nFired.load(), 0);
            EXPECT_FALSE(m_pChecker->isTriggered());
        }
        else if (m_nFired.load() != 0)
        {
            pData = addPending(); // the clock ticked into the firing age; start over
            m_nFired = 0;
            m_pChecker->resetTrigger();
        }
    }
    ASSERT_TRUE(bJudged) << "the clock never stood still for one check";

    pData->m_nTimetag = static_cast<uint64_t>(utils::clockMSec()) - 1000;
    m_pChecker->doChecker();
    EXPECT_EQ(m_nFired.load(), 1);
    EXPECT_TRUE(m_pChecker->isTriggered());
    EXPECT_TRUE(capture.contains("[order ] checker trigger."));
    EXPECT_EQ(pData->m_nStatus, 1) << "the trigger dispatched the record";
    EXPECT_EQ(m_pHost->recorder()->batches().size(), 1u);
}

TEST_F(SmartKeyChecker, FlagClearsAsSoonAsTheConditionStopsHolding)
{
    auto pData = addPending();
    pData->m_nTimetag = static_cast<uint64_t>(utils::clockMSec()) - 5000;
    m_pChecker->doChecker();
    ASSERT_TRUE(m_pChecker->isTriggered());

    CMonitorProcessChecker::configure({}, false);
    m_pChecker->doChecker();
    EXPECT_FALSE(m_pChecker->isTriggered());

    auto pLater = addPending();
    pLater->m_nTimetag = static_cast<uint64_t>(utils::clockMSec()) - 5000;
    m_pChecker->doChecker();
    EXPECT_EQ(m_nFired.load(), 1) << "no fire while the condition does not hold";
    EXPECT_EQ(pLater->m_nStatus, 0);
}

TEST(MonitorProcessChecker, ConditionFollowsANamedProcess)
{
    // A process with a name no other process has: a copy of sleep(1) under a unique name.
    QTemporaryDir dir;
    const QString strName = QStringLiteral("bo-runner-%1").arg(QCoreApplication::applicationPid());
    const QString strProgram = dir.filePath(strName);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), strProgram));
    QFile::setPermissions(strProgram, QFile::ReadOwner | QFile::ExeOwner);

    boost::asio::io_service ioService;
    boost::asio::io_service::work work(ioService);
    boost::thread thread([&] { ioService.run(); });
    {
        CMonitorProcessChecker::configure({strName}, false);
        CMonitorProcessChecker checker(ioService);
        checker.init();
        checker.start();
        EXPECT_FALSE(checker.isMonitor());

        QProcess process;
        process.start(strProgram, {QStringLiteral("30")});
        ASSERT_TRUE(process.waitForStarted());
        EXPECT_TRUE(waitUntil([&] { return checker.isMonitor(); }));

        process.kill();
        process.waitForFinished();
        EXPECT_TRUE(waitUntil([&] { return !checker.isMonitor(); }));

        CMonitorProcessChecker::configure({strName}, true);
        EXPECT_TRUE(checker.isMonitor()) << "forced condition";
        checker.stop();
    }
    CMonitorProcessChecker::configure({}, false);
    ioService.stop();
    thread.join();
}

TEST_F(SmartKeyChecker, TwoStartsLeaveOneTickChain)
{
    const uint64_t nBefore = m_pChecker->tickCount();
    const auto started = Clock::now();
    m_pChecker->start();
    m_pChecker->start();
    ASSERT_TRUE(waitUntil([&] { return m_pChecker->tickCount() >= nBefore + 3; }));
    // One chain ticks once a second: the third tick cannot come before about three seconds.
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(2900));
}

TEST_F(SmartKeyChecker, StopHaltsTheTicksAndStartResumesThemASecondLater)
{
    m_pChecker->start();
    ASSERT_TRUE(waitUntil([&] { return m_pChecker->tickCount() >= 1; }));
    m_pChecker->stop();
    const uint64_t nStopped = m_pChecker->tickCount();
    EXPECT_FALSE(m_pChecker->isTriggered());
    // An absence cannot be waited for: give a live chain more than one tick's time.
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    EXPECT_EQ(m_pChecker->tickCount(), nStopped);

    const auto restarted = Clock::now();
    m_pChecker->start();
    ASSERT_TRUE(waitUntil([&] { return m_pChecker->tickCount() > nStopped; }));
    EXPECT_GE(Clock::now() - restarted, std::chrono::milliseconds(950));
}
