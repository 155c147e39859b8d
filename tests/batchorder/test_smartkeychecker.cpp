#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"
#include "base/utils.h"
#include "common/clatch.h"
#include "common/clogcapture.h"
#include "common/ctestmanager.h"
#include "common/rowname.h"
#include "common/waituntil.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

using namespace TC;
using Clock = std::chrono::steady_clock;

namespace {

const QString kBuy = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2");
const QString kCancel = QStringLiteral("cancel_order,8880000001,123456,,,,2,2");

// A fresh manager and host, strategy running, the monitoring condition forced; the checker not started.
class SmartKeyChecker : public ::testing::Test
{
protected:
    SmartKeyChecker()
    {
        m_setup.host().orderService().addBatchOrderStrategy(999);
        CMonitorProcessChecker::configure({}, true);
        m_setup.create();
        m_pChecker = CBatchOrderSmartKeyChecker::instance();
        m_connection = m_pChecker->m_sigTrigger.connect([this] { ++m_nFired; });
    }

    // Reads one order and dates it a second back, the age at which a check fires (unless triggered already).
    boost::shared_ptr<CBatchOrderData> agedPending()
    {
        m_setup.intake(kBuy);
        const auto datas = m_setup.manager()->getAllDatas();
        const auto pData = *std::max_element(
            datas.begin(), datas.end(), [](const auto& a, const auto& b) { return a->m_nSeq < b->m_nSeq; });
        pData->m_nTimetag = static_cast<uint64_t>(utils::clockMSec()) - 1000;
        return pData;
    }

    // Leaves the intake of a cancel line waiting inside the host's cancel call, with the queue's lock
    // held, behind one old pending record, which it returns. The fixture lets the intake go on.
    boost::shared_ptr<CBatchOrderData> holdIntakeBehindAnOldRecord()
    {
        auto pData = agedPending();
        m_setup.recorder().hold();
        EXPECT_TRUE(m_setup.manager()->shortcutOrder(QStringLiteral("BatchOrder:") + kCancel));
        EXPECT_TRUE(m_setup.recorder().waitForHeldCall());
        return pData;
    }

    CTestManager m_setup{false};
    CBatchOrderSmartKeyChecker* m_pChecker = nullptr;
    std::atomic<int> m_nFired{0};
    boost::signals2::scoped_connection m_connection;
};

// After a fire has set the flag: what the next check leaves, and what becomes of a record read then.
struct CNextCheckCase : CNamedRow
{
    bool m_bMonitor;   // the monitoring condition holds at the next check
    bool m_bTriggered; // the flag after it: a record read while it is set goes out at once
};

class SmartKeyCheckerNextCheck : public SmartKeyChecker, public ::testing::WithParamInterface<CNextCheckCase>
{
};

const CNextCheckCase kNextCheckCases[] = {
    {"EmptyQueueKeepsTheFlag", true, true},
    {"ConditionGoneClearsTheFlagAndFiresNothing", false, false},
};

} // namespace

TEST_P(SmartKeyCheckerNextCheck, FlagAndLaterRecord)
{
    const CNextCheckCase& row = GetParam();
    CLogCapture capture;
    auto pFirst = agedPending();
    m_pChecker->doChecker();
    ASSERT_EQ(m_nFired.load(), 1);
    ASSERT_TRUE(m_pChecker->isTriggered());
    ASSERT_EQ(pFirst->m_nStatus, 1) << "the fire dispatched the record";
    EXPECT_TRUE(capture.contains("[order ] checker trigger."));
    EXPECT_EQ(m_setup.recorder().batches().size(), 1u);

    CMonitorProcessChecker::configure({}, row.m_bMonitor);
    m_pChecker->doChecker();
    EXPECT_EQ(m_pChecker->isTriggered(), row.m_bTriggered);

    auto pLater = agedPending();
    m_pChecker->doChecker();
    EXPECT_EQ(pLater->m_nStatus, row.m_bTriggered ? 1 : 0);
    EXPECT_EQ(m_nFired.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(Rows, SmartKeyCheckerNextCheck, ::testing::ValuesIn(kNextCheckCases), rowName);

// 999 ms is not yet a full second. Only runs in which the check read the same millisecond as the test are
// judged, so that the age it saw is known; the firing age is every other test's agedPending().
TEST_F(SmartKeyChecker, NoFireBeforeTheOldestHasWaitedAFullSecond)
{
    auto pData = agedPending();
    bool bJudged = false;
    for (int nTry = 0; nTry < 200 && !bJudged; ++nTry) {
        const uint64_t nNow = static_cast<uint64_t>(utils::clockMSec());
        pData->m_nTimetag = nNow - 999;
        m_pChecker->doChecker();
        bJudged = static_cast<uint64_t>(utils::clockMSec()) == nNow;
        if (!bJudged && m_nFired.load() != 0) { // the clock ticked into the firing age; start over
            pData = agedPending();
            m_nFired = 0;
            m_pChecker->resetTrigger();
        }
    }
    ASSERT_TRUE(bJudged) << "the clock never stood still for one check";
    EXPECT_EQ(m_nFired.load(), 0);
    EXPECT_FALSE(m_pChecker->isTriggered());
    EXPECT_EQ(pData->m_nStatus, 0);
}

// Shutdown during a long intake: the tick waits for the queue's lock that the intake holds. Stopping
// must neither wait for that tick nor let it fire once the intake lets go.
TEST_F(SmartKeyChecker, StopDuringATickThatWaitsForTheIntakeReturnsAndNothingFiresLater)
{
    auto pData = holdIntakeBehindAnOldRecord();
    const uint64_t nTicks = m_pChecker->tickCount();
    m_pChecker->start();
    EXPECT_TRUE(waitUntil([&] { return m_pChecker->tickCount() > nTicks; }));

    auto stopped = std::async(std::launch::async, [&] { m_setup.manager()->stopFileMonitor(); });
    const bool bStopReturned = stopped.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    m_setup.recorder().release();
    stopped.wait();
    EXPECT_TRUE(bStopReturned) << "stop waited for a tick that waits for the intake";

    m_setup.destroy(); // lets the tick finish with the manager
    EXPECT_EQ(m_nFired.load(), 0);
    EXPECT_FALSE(m_pChecker->isTriggered());
    EXPECT_EQ(pData->m_nStatus, 0) << "the record stays pending for a later start";
    EXPECT_TRUE(m_setup.recorder().batches().empty());
}

TEST_F(SmartKeyChecker, StopWaitsForAFireUnderWayAndLeavesTheFlagCleared)
{
    agedPending();
    CLatch latch;
    boost::signals2::scoped_connection blocker = m_pChecker->m_sigTrigger.connect([&] { latch.wait(); });
    std::thread firing([&] { m_pChecker->doChecker(); });
    EXPECT_TRUE(waitUntil([&] { return latch.entered(); }));

    std::atomic<pid_t> nStopper{0};
    std::atomic<bool> bStopped{false};
    std::atomic<bool> bFireEndedFirst{false};
    std::thread stopper([&] {
        nStopper = currentThreadId();
        m_pChecker->stop();
        bFireEndedFirst = latch.left();
        bStopped = true;
    });
    EXPECT_TRUE(waitUntil([&] {
        const pid_t nThread = nStopper.load();
        return bStopped.load() || (nThread != 0 && threadAsleep(nThread));
    }));
    latch.open();
    firing.join();
    stopper.join();
    EXPECT_TRUE(bFireEndedFirst.load()) << "stop returned while a fire was under way";
    EXPECT_FALSE(m_pChecker->isTriggered()) << "the fire set the flag, the stop after it clears it";
}

// Destroying a checker whose tick waits for the queue: that tick has read the monitor checker, which
// may be released only after it, and it must not fire into a checker that is going away.
TEST_F(SmartKeyChecker, DestroyingACheckerWhileItsTickWaitsForTheQueue)
{
    auto pData = holdIntakeBehindAnOldRecord();
    auto pChecker = boost::make_shared<CBatchOrderSmartKeyChecker>();
    pChecker->init();
    pChecker->attach(m_setup.manager());
    std::atomic<int> nFired{0};
    pChecker->m_sigTrigger.connect([&] { ++nFired; });
    pChecker->start();
    EXPECT_TRUE(waitUntil([&] { return pChecker->tickCount() > 0; }));

    std::atomic<pid_t> nDestroyer{0};
    std::thread destroyer([&nDestroyer, pDoomed = std::move(pChecker)]() mutable {
        nDestroyer = currentThreadId();
        pDoomed.reset();
    });
    EXPECT_TRUE(waitUntil([&] {
        const pid_t nThread = nDestroyer.load();
        return nThread != 0 && threadAsleep(nThread);
    }));
    m_setup.recorder().release();
    destroyer.join();
    EXPECT_EQ(nFired.load(), 0) << "the checker fired while it was being destroyed";
    EXPECT_EQ(pData->m_nStatus, 0);
}

// The condition (forced above) follows a process of the name: a copy of sleep(1) under a unique name.
TEST(MonitorProcessChecker, ConditionFollowsANamedProcess)
{
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
        checker.stop();
    }
    CMonitorProcessChecker::configure({}, false);
    ioService.stop();
    thread.join();
}

// Two starts in a row leave one chain; a stop ends it; a start after it ticks a second later.
TEST_F(SmartKeyChecker, OneTickChainASecondApartAcrossStartsAndStops)
{
    const uint64_t nBefore = m_pChecker->tickCount();
    const auto started = Clock::now();
    m_pChecker->start();
    m_pChecker->start();
    ASSERT_TRUE(waitUntil([&] { return m_pChecker->tickCount() >= nBefore + 2; }));
    // One chain ticks once a second: the second tick cannot come before about two seconds.
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(1900));

    m_pChecker->stop();
    const uint64_t nStopped = m_pChecker->tickCount();
    // A live chain would tick within this time.
    EXPECT_FALSE(
        waitUntil([&] { return m_pChecker->tickCount() != nStopped; }, std::chrono::milliseconds(1300)));

    const auto restarted = Clock::now();
    m_pChecker->start();
    ASSERT_TRUE(waitUntil([&] { return m_pChecker->tickCount() > nStopped; }));
    EXPECT_GE(Clock::now() - restarted, std::chrono::milliseconds(950));
}
