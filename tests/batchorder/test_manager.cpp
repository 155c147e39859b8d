#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"
#include "base/crpcengine.h"
#include "base/utils.h"
#include "common/clatch.h"
#include "common/clogcapture.h"
#include "common/ctesthost.h"
#include "common/waituntil.h"
#include "ui/cshortcutmanager.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>

#include <boost/thread/exceptions.hpp>

#include <functional>
#include <thread>

#include <pthread.h>

using namespace TC;

namespace {

constexpr int kStrategy = 999;
const QString kBuy = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2");
const QString kCancel = QStringLiteral("cancel_order,8880000001,123456,,,,2,2");

// The manager is a process-wide object; each test builds a fresh one on a fresh host.
class ManagerLifecycle : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>();
    }

    void TearDown() override
    {
        destroyManager();
        // The checker outlives every manager: leave it stopped and untriggered for the next test.
        if (CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance())
            pChecker->stop();
        m_pHost.reset();
    }

    CBatchOrderManager* createManager()
    {
        CBatchOrderManager::initInstance(nullptr);
        return CBatchOrderManager::instance();
    }

    CBatchOrderManager* createManagerWithStrategy()
    {
        m_pHost->orderService().addBatchOrderStrategy(kStrategy);
        return createManager();
    }

    static void destroyManager()
    {
        if (CBatchOrderManager* pManager = CBatchOrderManager::instance())
        {
            pManager->stopFileMonitor();
            drainBatchOrderStrand();
            CBatchOrderManager::m_pInstance = nullptr;
            delete pManager;
        }
    }

    static std::vector<QString> consoleTails(CBatchOrderManager* pManager)
    {
        std::vector<QString> tails;
        for (const auto& pMsg : pManager->getConsoleModel()->getAllMsgs())
            tails.push_back(pMsg->getMsg().mid(12));
        return tails;
    }

    std::unique_ptr<CTestHost> m_pHost;
};

} // namespace

TEST_F(ManagerLifecycle, InitReadsTheSettingsAndLogsThem)
{
    m_pHost->userConfig().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F9"), false);
    m_pHost->userConfig().setUserDataString(USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/tmp/指令.csv"), false);
    CLogCapture capture;
    CBatchOrderManager* pManager = createManager();
    ASSERT_NE(pManager, nullptr);
    EXPECT_TRUE(capture.contains("[order ] BatchOrderManager init , path = /tmp/指令.csv, key = F9"));
    EXPECT_FALSE(m_pHost->orderService().isStrategyRunning(kStrategy)) << "init must not start monitoring";
    EXPECT_NE(CBatchOrderSmartKeyChecker::instance(), nullptr);
}

TEST_F(ManagerLifecycle, SecondInitInstanceKeepsTheFirst)
{
    CBatchOrderManager* pFirst = createManager();
    CBatchOrderManager::initInstance(nullptr);
    EXPECT_EQ(CBatchOrderManager::instance(), pFirst);
    CBatchOrderManager::initInstance(reinterpret_cast<CBatchOrderManager*>(0x1));
    EXPECT_EQ(CBatchOrderManager::instance(), pFirst);
}

TEST_F(ManagerLifecycle, StartWithEmptyPathOnlyStartsTheChecker)
{
    CLogCapture capture;
    CBatchOrderManager* pManager = createManager();
    pManager->startFileMonitor(QString());
    EXPECT_EQ(consoleTails(pManager),
              (std::vector<QString>{QStringLiteral(" [system] start!"), QStringLiteral(" [error] start path empty!")}));
    EXPECT_FALSE(m_pHost->orderService().isStrategyRunning(kStrategy));
    EXPECT_EQ(capture.count("start thread!"), 0) << "no reader thread for an empty path";
    EXPECT_TRUE(capture.contains("[order ] start!"));
    EXPECT_TRUE(capture.contains("[order ] start path empty!"));
}

TEST_F(ManagerLifecycle, StartTwiceRegistersAgainButKeepsOneReader)
{
    const QString strPath = m_pHost->dataDir() + QStringLiteral("/orders.csv");
    CLogCapture capture;
    CBatchOrderManager* pManager = createManager();
    pManager->startFileMonitor(strPath);
    pManager->startFileMonitor(strPath);
    EXPECT_TRUE(m_pHost->orderService().isStrategyRunning(kStrategy));
    EXPECT_EQ(capture.count("start thread!"), 2);

    // One reader, one connection: a file is delivered exactly once.
    std::atomic<int> nBatches{0};
    boost::signals2::scoped_connection connection =
        pManager->m_sigNewDatas.connect([&](const QVector<boost::shared_ptr<CBatchOrderData>>&) { ++nBatches; });
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("23,0,10.5,600000,100,8880000001,2,2\n");
    file.close();
    // The reader logs the file before it hands the lines over; wait for the intake itself.
    EXPECT_TRUE(waitUntil([&] { return nBatches.load() != 0; }));
    drainBatchOrderStrand();
    EXPECT_EQ(nBatches.load(), 1);
    EXPECT_EQ(pManager->getAllDatas().size(), 1);
}

TEST_F(ManagerLifecycle, StopEndsTheStrategyAndLeavesPendingRecords)
{
    const QString strPath = m_pHost->dataDir() + QStringLiteral("/orders.csv");
    CBatchOrderManager* pManager = createManager();
    pManager->stopFileMonitor(); // without a start it still says so
    EXPECT_EQ(consoleTails(pManager), (std::vector<QString>{QStringLiteral(" [system] stop!")}));
    pManager->startFileMonitor(strPath);
    ASSERT_TRUE(pManager->shortcutOrder(QStringLiteral("BatchOrder:23,0,10.5,600000,100,8880000001,2,2")));
    drainBatchOrderStrand();
    pManager->stopFileMonitor();
    EXPECT_FALSE(m_pHost->orderService().isStrategyRunning(kStrategy));
    const auto datas = pManager->getAllDatas();
    ASSERT_EQ(datas.size(), 1);
    EXPECT_EQ(datas[0]->m_nStatus, 0);
}

TEST_F(ManagerLifecycle, EmptyOrderKeyMatchesNoKeyEvent)
{
    CBatchOrderManager* pManager = createManager();
    auto* pShortcuts = utils::CSingletonT<CShortcutManager>::instance();
    for (int nKey : {0, int(Qt::Key_F9), int(Qt::Key_Space), int(Qt::Key_A | Qt::ControlModifier)})
        pShortcuts->deliverKey(nKey, 0);
    EXPECT_TRUE(consoleTails(pManager).empty());
}

TEST_F(ManagerLifecycle, DestroyingWhileMonitoringStopsTheReader)
{
    const QString strPath = m_pHost->dataDir() + QStringLiteral("/orders.csv");
    CLogCapture capture;
    CBatchOrderManager* pManager = createManager();
    pManager->startFileMonitor(strPath);
    CBatchOrderManager::m_pInstance = nullptr;
    delete pManager;
    EXPECT_TRUE(capture.contains("stop thread!"));

    // Nothing reads the path any more.
    QFile file(strPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("23,0,10.5,600000,100,8880000001,2,2\n");
    file.close();
    // An absence cannot be waited for: give a running reader fifty polls' time to take the file.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(QFile::exists(strPath));
}

namespace {

// Makes every later thread ask for more stack than the address space holds (hence fail to start);
// returns the default to restore.
pthread_attr_t forbidNewThreads()
{
    pthread_attr_t saved;
    pthread_getattr_default_np(&saved);
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, size_t(1) << 47);
    pthread_setattr_default_np(&huge);
    pthread_attr_destroy(&huge);
    return saved;
}

// Runs in a process of its own, where the process-wide checker is still to be made: its thread cannot
// be created, so the manager's construction fails. Exits 0 when nothing of the failed manager is left
// connected and the next manager works.
[[noreturn]] void failInitThenPressTheKey()
{
    CTestHost host;
    host.userConfig().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F9"), false);
    auto* pShortcuts = utils::CSingletonT<CShortcutManager>::instance();
    utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder"); // its workers run already
    const size_t nSlots = pShortcuts->m_sigGlobalKey.num_slots();
    bool bThrew = false;
    pthread_attr_t saved = forbidNewThreads();
    try
    {
        CBatchOrderManager::initInstance(nullptr);
    }
    catch (const boost::thread_resource_error&)
    {
        bThrew = true;
    }
    pthread_setattr_default_np(&saved);
    std::string strFault;
    if (!bThrew || CBatchOrderManager::instance())
        strFault += "the construction did not fail; ";
    if (pShortcuts->m_sigGlobalKey.num_slots() != nSlots)
        strFault += "the failed manager is still connected to the global key; ";
    pShortcuts->deliverKey(Qt::Key_F9, 0);

    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (!pManager)
        strFault += "the next manager was not made; ";
    else
    {
        pShortcuts->deliverKey(Qt::Key_F9, 0);
        const auto messages = pManager->getConsoleModel()->getAllMsgs();
        if (messages.size() != 1 || !messages[0]->getMsg().endsWith(QStringLiteral("user batch order !")))
            strFault += "the next manager did not take the key; ";
        CBatchOrderManager::m_pInstance = nullptr;
        delete pManager;
    }
    std::fputs(strFault.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(strFault.empty() ? 0 : 1);
}

} // namespace

TEST(ManagerInit, AFailedConstructionLeavesNothingConnected)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(failInitThenPressTheKey(), ::testing::ExitedWithCode(0), "");
}

namespace {

// Work that reaches the manager from another thread, queued on the strand behind a task that waits.
struct CQueuedCase
{
    const char* m_szName;
    std::function<void(CBatchOrderManager*)> m_prepare;
    std::function<void(CBatchOrderManager*)> m_queue;
};

void PrintTo(const CQueuedCase& row, std::ostream* pStream)
{
    *pStream << row.m_szName;
}

class ManagerDestroyedWithWorkQueued : public ManagerLifecycle,
                                       public ::testing::WithParamInterface<CQueuedCase>
{
};

void readShortcut(CBatchOrderManager* pManager, const QString& strLines)
{
    ASSERT_TRUE(pManager->shortcutOrder(QStringLiteral("BatchOrder:") + strLines));
    drainBatchOrderStrand();
}

const CQueuedCase kQueuedCases[] = {
    {"ShortcutIntake", [](CBatchOrderManager*) {},
     [](CBatchOrderManager* pManager) { pManager->shortcutOrder(QStringLiteral("BatchOrder:") + kCancel); }},
    {"OrderKeyDispatch",
     [](CBatchOrderManager* pManager) {
         pManager->setOrderSequence(QKeySequence(Qt::Key_F9));
         readShortcut(pManager, kBuy);
     },
     [](CBatchOrderManager*) {
         utils::CSingletonT<CShortcutManager>::instance()->deliverKey(Qt::Key_F9, 0);
     }},
};

} // namespace

TEST_P(ManagerDestroyedWithWorkQueued, TheWorkDoesNothing)
{
    const CQueuedCase& row = GetParam();
    CBatchOrderManager* pManager = createManagerWithStrategy();
    row.m_prepare(pManager);
    CLatch latch;
    utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder")->post([&] { latch.wait(); });
    row.m_queue(pManager);

    CBatchOrderManager::m_pInstance = nullptr;
    delete pManager;
    latch.open();
    drainBatchOrderStrand();
    EXPECT_TRUE(m_pHost->recorder()->cancels().empty());
    EXPECT_TRUE(m_pHost->recorder()->batches().empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ManagerDestroyedWithWorkQueued, ::testing::ValuesIn(kQueuedCases),
                         [](const auto& info) { return std::string(info.param.m_szName); });

namespace {

// Work on the manager under way on another thread, held inside its announcement of changed records.
struct CRunningCase
{
    const char* m_szName;
    std::function<void(CBatchOrderManager*)> m_prepare;
    // Starts the work; a thread it runs on is returned to be joined.
    std::function<std::thread(CBatchOrderManager*)> m_start;
    // The work ran to its end.
    std::function<bool(CTestHost&)> m_finished;
};

void PrintTo(const CRunningCase& row, std::ostream* pStream)
{
    *pStream << row.m_szName;
}

class ManagerDestroyedWithWorkUnderWay : public ManagerLifecycle,
                                         public ::testing::WithParamInterface<CRunningCase>
{
};

bool backupHolds(CTestHost& host, const QString& strFragment)
{
    const QDir dir(host.batchOrderDir());
    for (const QString& strName : dir.entryList({QStringLiteral("batchOrder_back_*.csv")}))
    {
        QFile file(dir.filePath(strName));
        if (file.open(QIODevice::ReadOnly) && QString::fromUtf8(file.readAll()).contains(strFragment))
            return true;
    }
    return false;
}

const CRunningCase kRunningCases[] = {
    {"Intake", [](CBatchOrderManager*) {},
     [](CBatchOrderManager* pManager) {
         pManager->shortcutOrder(QStringLiteral("BatchOrder:") + kBuy);
         return std::thread();
     },
     [](CTestHost& host) { return backupHolds(host, QStringLiteral("23,0,10.5,600000,100,")); }},
    {"CheckerFire",
     [](CBatchOrderManager* pManager) {
         readShortcut(pManager, kBuy);
         pManager->getAllDatas().front()->m_nTimetag = static_cast<uint64_t>(utils::clockMSec()) - 5000;
         CMonitorProcessChecker::configure({}, true);
     },
     [](CBatchOrderManager*) {
         return std::thread([] { CBatchOrderSmartKeyChecker::instance()->doChecker(); });
     },
     [](CTestHost& host) { return host.recorder()->batches().size() == 1; }},
};

} // namespace

TEST_P(ManagerDestroyedWithWorkUnderWay, TheDestructorWaitsForIt)
{
    const CRunningCase& row = GetParam();
    CBatchOrderManager* pManager = createManagerWithStrategy();
    row.m_prepare(pManager);
    CLatch latch;
    pManager->m_sigNewDatas.connect(
        [&](const QVector<boost::shared_ptr<CBatchOrderData>>&) { latch.wait(); });
    std::thread worker = row.m_start(pManager);
    EXPECT_TRUE(waitUntil([&] { return latch.entered(); }));

    // Set before the latch opens, so the work sees it once it goes on.
    CBatchOrderManager::m_pInstance = nullptr;
    std::atomic<pid_t> nDestroyer{0};
    std::atomic<bool> bDestroyed{false};
    std::thread destroyer([&] {
        nDestroyer = currentThreadId();
        delete pManager;
        bDestroyed = true;
    });
    EXPECT_TRUE(waitUntil([&] {
        const pid_t nThread = nDestroyer.load();
        return bDestroyed.load() || (nThread != 0 && threadAsleep(nThread));
    }));
    const bool bDestroyedWhileHeld = bDestroyed.load();
    latch.open();
    destroyer.join();
    if (worker.joinable())
        worker.join();
    drainBatchOrderStrand();
    CMonitorProcessChecker::configure({}, false);
    EXPECT_FALSE(bDestroyedWhileHeld) << "the manager was gone while work on it was under way";
    EXPECT_TRUE(row.m_finished(*m_pHost));
}

INSTANTIATE_TEST_SUITE_P(Rows, ManagerDestroyedWithWorkUnderWay, ::testing::ValuesIn(kRunningCases),
                         [](const auto& info) { return std::string(info.param.m_szName); });

// The temporary copy of an instruction file goes once its records are in the backup file; while the
// backup cannot be written the copies stay, and the console says so once.
TEST_F(ManagerLifecycle, TakenFileStaysUntilItsRecordsAreBackedUp)
{
    const QString strInbox = m_pHost->dataDir() + QStringLiteral("/inbox");
    ASSERT_TRUE(QDir().mkpath(strInbox));
    const QString strBackup = m_pHost->batchOrderDir() + QStringLiteral("/batchOrder_back_") +
                              QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                              QStringLiteral(".csv");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), strBackup));
    CBatchOrderManager* pManager = createManager();
    pManager->startFileMonitor(strInbox + QStringLiteral("/orders.csv"));
    const auto deliver = [&](const QByteArray& line) {
        QFile file(strInbox + QStringLiteral("/orders.part"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(line);
        file.close();
        const int nBefore = pManager->getAllDatas().size();
        ASSERT_TRUE(file.rename(strInbox + QStringLiteral("/orders.csv")));
        ASSERT_TRUE(waitUntil([&] { return pManager->getAllDatas().size() > nBefore; }));
        drainBatchOrderStrand();
    };
    const auto inbox = [&] { return QDir(strInbox).entryList(QDir::Files); };
    deliver("23,0,10.5,600000,100,8880000001,2,2,,first\n");
    EXPECT_EQ(inbox(), QStringList{QStringLiteral("orders_tmp1.csv")});

    ASSERT_TRUE(QFile::remove(strBackup));
    deliver("23,0,10.5,600000,100,8880000001,2,2,,second\n");
    // The second file goes once the backup is synced; the first stays.
    EXPECT_TRUE(waitUntil([&] { return inbox() == QStringList{QStringLiteral("orders_tmp1.csv")}; }))
        << inbox().join(' ').toStdString();
    QFile backup(strBackup);
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll().count('\n'), 2) << "the header and the second order";

    std::vector<QString> errors;
    for (const QString& strTail : consoleTails(pManager))
    {
        if (strTail.startsWith(QStringLiteral(" [error] ")) ||
            strTail.startsWith(QStringLiteral(" [warning] ")))
            errors.push_back(strTail);
    }
    ASSERT_EQ(errors.size(), 2u) << "one error for the failure, one note on recovery";
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral(" [error] ")) && errors[0].contains(strBackup))
        << errors[0].toStdString();
    EXPECT_TRUE(errors[1].startsWith(QStringLiteral(" [warning] "))) << errors[1].toStdString();
}
