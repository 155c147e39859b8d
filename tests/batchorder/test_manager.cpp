#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"
#include "base/crpcengine.h"
#include "base/utils.h"
#include "common/clatch.h"
#include "common/clogcapture.h"
#include "common/ctestmanager.h"
#include "common/rowname.h"
#include "common/waituntil.h"
#include "ui/cshortcutmanager.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <boost/thread/exceptions.hpp>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <pthread.h>

using namespace TC;

namespace {

constexpr int kStrategy = 999;
const QString kBuy = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2");
const QString kSell = QStringLiteral("24,0,12.30,000001,200,8880000001,2,2");
const QString kCancel = QStringLiteral("cancel_order,8880000001,123456,,,,2,2");
const QString kUnsupported = QStringLiteral("33,0,1,600000,100,8880000001,2,2");

using Batch = QVector<boost::shared_ptr<CBatchOrderData>>;

CShortcutManager* shortcuts()
{
    return utils::CSingletonT<CShortcutManager>::instance();
}

// A fresh host; the test makes the process-wide manager once it has set the host up.
class ManagerTest : public ::testing::Test
{
protected:
    CBatchOrderManager* create(bool bStrategy = false)
    {
        if (bStrategy)
            m_host.orderService().addBatchOrderStrategy(kStrategy);
        return m_setup.create();
    }
    bool monitoring() { return m_host.orderService().isStrategyRunning(kStrategy); }
    // Writes the file under another name and renames it in, as a writer should.
    static void putFile(const QString& strPath, const QByteArray& bytes)
    {
        QFile file(strPath + QStringLiteral(".part"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        ASSERT_TRUE(file.rename(strPath));
    }

    CTestManager m_setup{false};
    CTestHost& m_host = m_setup.host();
    const QString m_strPath = m_host.dataDir() + QStringLiteral("/orders.csv");
};

// A manager, strategy running, whose announcements are recorded.
class Dispatch : public ManagerTest
{
protected:
    Dispatch()
    {
        m_pManager = create(true);
        m_connection = m_pManager->m_sigNewDatas.connect([this](const Batch& batch) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_emissions.push_back(batch);
        });
    }
    std::vector<Batch> emissions()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_emissions;
    }
    bool consoleHas(const QString& strText) const { return m_setup.consoleTexts().contains(strText); }

    CBatchOrderManager* m_pManager = nullptr;
    CRecordingOrderService& m_recorder = m_setup.recorder();
    std::mutex m_mutex;
    std::vector<Batch> m_emissions;
    boost::signals2::scoped_connection m_connection;
};

} // namespace

// ---- life cycle -----------------------------------------------------------------------------------------

// Init reads the settings and starts nothing; a second init keeps the first manager. An empty order key
// matches no key event, not even key 0 (the key setting itself is read in the failed-construction test).
TEST_F(ManagerTest, InitAndAStartWithEmptyPathStartNothing)
{
    m_host.userConfig().setUserDataString(USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/tmp/指令.csv"), false);
    CLogCapture capture;
    CBatchOrderManager* pManager = create();
    ASSERT_NE(pManager, nullptr);
    EXPECT_TRUE(capture.contains("[order ] BatchOrderManager init , path = /tmp/指令.csv, key = "));
    EXPECT_NE(CBatchOrderSmartKeyChecker::instance(), nullptr);
    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager::initInstance(reinterpret_cast<CBatchOrderManager*>(0x1));
    EXPECT_EQ(CBatchOrderManager::instance(), pManager) << "a second init keeps the first manager";

    for (int nKey : {0, int(Qt::Key_F9), int(Qt::Key_Space), int(Qt::Key_A | Qt::ControlModifier)})
        shortcuts()->deliverKey(nKey, 0);
    pManager->startFileMonitor(QString());
    EXPECT_EQ(m_setup.consoleTexts(), (QStringList{"[system] start!", "[error] start path empty!"}));
    EXPECT_FALSE(monitoring());
    EXPECT_EQ(capture.count("start thread!"), 0) << "no reader thread for an empty path";
    EXPECT_TRUE(capture.contains("[order ] start path empty!"));
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

// In a process of its own, where the checker's thread is still to be made, the manager's construction
// fails; exits 0 when nothing of it is left connected and the next manager works.
[[noreturn]] void failInitThenPressTheKey()
{
    CTestHost host;
    host.userConfig().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F9"), false);
    utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder"); // its workers run already
    const size_t nSlots = shortcuts()->m_sigGlobalKey.num_slots();
    bool bThrew = false;
    pthread_attr_t saved = forbidNewThreads();
    try {
        CBatchOrderManager::initInstance(nullptr);
    } catch (const boost::thread_resource_error&) {
        bThrew = true;
    }
    pthread_setattr_default_np(&saved);
    std::string strFault;
    if (!bThrew || CBatchOrderManager::instance())
        strFault += "the construction did not fail; ";
    if (shortcuts()->m_sigGlobalKey.num_slots() != nSlots)
        strFault += "the failed manager is still connected to the global key; ";
    shortcuts()->deliverKey(Qt::Key_F9, 0);

    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (!pManager)
        strFault += "the next manager was not made; ";
    else {
        shortcuts()->deliverKey(Qt::Key_F9, 0);
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
struct CQueuedRow : CNamedRow
{
    std::function<void(CTestManager&)> m_prepare;
    std::function<void(CBatchOrderManager*)> m_queue;
};

class ManagerDestroyedWithWorkQueued : public ManagerTest, public ::testing::WithParamInterface<CQueuedRow>
{
};

const CQueuedRow kQueuedRows[] = {
    {"ShortcutIntake", [](CTestManager&) {},
     [](CBatchOrderManager* pManager) { pManager->shortcutOrder(QStringLiteral("BatchOrder:") + kCancel); }},
    {"OrderKeyDispatch",
     [](CTestManager& setup) {
         setup.manager()->setOrderSequence(QKeySequence(Qt::Key_F9));
         setup.intake(kBuy);
     },
     [](CBatchOrderManager*) { shortcuts()->deliverKey(Qt::Key_F9, 0); }},
};

} // namespace

TEST_P(ManagerDestroyedWithWorkQueued, TheWorkDoesNothing)
{
    create(true);
    GetParam().m_prepare(m_setup);
    CLatch latch;
    utils::CSingletonT<net::RPCEngine>::instance()->getStrand("batchorder")->post([&] { latch.wait(); });
    GetParam().m_queue(m_setup.manager());
    delete m_setup.takeManager();
    latch.open();
    drainBatchOrderStrand();
    EXPECT_TRUE(m_setup.recorder().cancels().empty());
    EXPECT_TRUE(m_setup.recorder().batches().empty());
}

INSTANTIATE_TEST_SUITE_P(Rows, ManagerDestroyedWithWorkQueued, ::testing::ValuesIn(kQueuedRows), rowName);

namespace {

// Work on the manager under way on another thread, held inside its announcement of changed records.
struct CRunningRow : CNamedRow
{
    std::function<void(CTestManager&)> m_prepare;
    std::function<void(CBatchOrderManager*)> m_work; // run on a thread of its own
    // The work ran to its end.
    std::function<bool(CTestManager&)> m_finished;
};

class ManagerDestroyedWithWorkUnderWay : public ManagerTest, public ::testing::WithParamInterface<CRunningRow>
{
};

const CRunningRow kRunningRows[] = {
    {"Intake", [](CTestManager&) {},
     [](CBatchOrderManager* pManager) { pManager->shortcutOrder(QStringLiteral("BatchOrder:") + kBuy); },
     [](CTestManager& setup) { return setup.backupLines().value(1).startsWith("23,0,10.5,600000,100,"); }},
    {"CheckerFire",
     [](CTestManager& setup) {
         setup.intake(kBuy);
         setup.manager()->getAllDatas().front()->m_nTimetag =
             static_cast<uint64_t>(utils::clockMSec()) - 5000;
         CMonitorProcessChecker::configure({}, true);
     },
     [](CBatchOrderManager*) { CBatchOrderSmartKeyChecker::instance()->doChecker(); },
     [](CTestManager& setup) { return setup.recorder().batches().size() == 1; }},
};

} // namespace

TEST_P(ManagerDestroyedWithWorkUnderWay, TheDestructorWaitsForIt)
{
    CBatchOrderManager* pManager = create(true);
    GetParam().m_prepare(m_setup);
    CLatch latch;
    pManager->m_sigNewDatas.connect([&](const Batch&) { latch.wait(); });
    std::thread worker([&] { GetParam().m_work(pManager); });
    EXPECT_TRUE(waitUntil([&] { return latch.entered(); }));

    // Uninstalled before the latch opens, so the work sees it once it goes on.
    m_setup.takeManager();
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
    worker.join();
    drainBatchOrderStrand();
    EXPECT_FALSE(bDestroyedWhileHeld) << "the manager was gone while work on it was under way";
    EXPECT_TRUE(GetParam().m_finished(m_setup));
}

INSTANTIATE_TEST_SUITE_P(Rows, ManagerDestroyedWithWorkUnderWay, ::testing::ValuesIn(kRunningRows), rowName);

// ---- intake and dispatch ---------------------------------------------------------------------------------

// Two starts leave one reader and connection. While the backup cannot be written a taken file's copy stays
// and the console says so once; then a GBK file is taken in once, backed up whole, and its copy goes. A
// stop leaves the records pending; destroying a monitoring manager stops its reader.
TEST_F(Dispatch, FilesThroughTwoStartsAreTakenInOnceAndTheirCopiesGoOnceBackedUp)
{
    CLogCapture capture;
    QString strError;
    m_host.orderService().stopOrderStrategy(kStrategy, strError);
    m_pManager->stopFileMonitor(); // without a start it still says so
    EXPECT_EQ(m_setup.consoleTexts(), QStringList{"[system] stop!"});
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), m_setup.backupPath()));
    m_pManager->startFileMonitor(m_strPath);
    m_pManager->startFileMonitor(m_strPath);
    EXPECT_TRUE(monitoring());
    EXPECT_EQ(capture.count("start thread!"), 2);
    const auto deliver = [&](const QByteArray& bytes) {
        const size_t nBefore = emissions().size();
        putFile(m_strPath, bytes);
        // The reader logs the file before it hands the lines over; wait for the intake itself.
        EXPECT_TRUE(waitUntil([&] { return emissions().size() > nBefore; }));
        drainBatchOrderStrand();
    };
    const auto copies = [&] {
        return QDir(m_host.dataDir()).entryList({QStringLiteral("orders_tmp*")}, QDir::Files);
    };
    deliver(kBuy.toUtf8() + ",,first\n");
    EXPECT_EQ(copies(), QStringList{QStringLiteral("orders_tmp1.csv")});

    ASSERT_TRUE(QFile::remove(m_setup.backupPath()));
    deliver(QTextCodec::codecForName("GBK")->fromUnicode(kBuy + "\n" + kCancel + "\n" + kSell + ",策略一\n"));
    EXPECT_TRUE(waitUntil([&] { return copies() == QStringList{QStringLiteral("orders_tmp1.csv")}; }))
        << copies().join(' ').toStdString();
    const auto all = emissions();
    ASSERT_EQ(all.size(), 2u);
    ASSERT_EQ(all[1].size(), 3);
    EXPECT_EQ(all[1][1]->m_nStatus, 4);
    EXPECT_EQ(all[1][2]->m_strStrategy, QStringLiteral("策略一"));
    EXPECT_EQ(m_pManager->getAllDatas(), (Batch{all[0][0], all[1][0], all[1][2], all[1][1]}));
    const QStringList backup = m_setup.backupLines();
    ASSERT_EQ(backup.size(), 4) << "the header and the second file: " << backup.join('\n').toStdString();
    for (const auto& [nRow, szStart] :
         {std::pair(0, "ORDER_TYPE,PRICE_TYPE"), std::pair(1, "23,0,10.5,600000,100,"),
          std::pair(2, "cancel_order,"), std::pair(3, "24,0,12.30,000001,200,")})
        EXPECT_TRUE(backup[nRow].startsWith(QString::fromUtf8(szStart))) << backup[nRow].toStdString();
    const QStringList errors =
        m_setup.consoleTexts().filter(QRegExp(QStringLiteral("^\\[(error|warning)\\] ")));
    ASSERT_EQ(errors.size(), 2) << "one error for the failure, one note on recovery";
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("[error] ")) && errors[0].contains(m_setup.backupPath()))
        << errors[0].toStdString();
    EXPECT_TRUE(errors[1].startsWith(QStringLiteral("[warning] "))) << errors[1].toStdString();

    m_pManager->stopFileMonitor();
    EXPECT_FALSE(monitoring());
    EXPECT_EQ(all[1][0]->m_nStatus, 0);
    EXPECT_EQ(all[1][2]->m_nStatus, 0);
    m_pManager->startFileMonitor(m_strPath);
    delete m_setup.takeManager();
    EXPECT_EQ(capture.count("stop thread!"), 2);
}

// The summary counts every line of the payload; blank and carriage-return lines are dropped before
// parsing, and a batch with nothing accepted writes no backup.
TEST_F(Dispatch, ShortcutIntakeSummary)
{
    CLogCapture capture;
    const std::pair<QString, const char*> rows[] = {
        {QStringLiteral(" \r\n\r\n \t \r"), "3 条下单参数(下单: 0条, 撤单: 0条, 操作任务: 0条)"},
        {kBuy + "\n", "2 条下单参数(下单: 1条, 撤单: 0条, 操作任务: 0条)"},
        {kBuy + "\n" + kCancel + "\n208,arg\nnot-a-line",
         "4 条下单参数(下单: 1条, 撤单: 1条, 操作任务: 1条)"}};
    for (const auto& [strPayload, szSummary] : rows) {
        m_setup.intake(strPayload);
        EXPECT_EQ(m_setup.consoleTexts().last(),
                  "[order] [快捷键下单] 接收到 " + QString::fromUtf8(szSummary) + '.');
        EXPECT_EQ(emissions().empty(), strPayload == rows[0].first)
            << "announced only with something accepted";
        EXPECT_EQ(m_setup.backupLines().isEmpty(), strPayload == rows[0].first) << "nor backed up";
    }
    EXPECT_TRUE(capture.contains("[order ] shortcut BatchOrder:" + kBuy.toStdString()));
    // The prefix is case-insensitive but needs its colon.
    const int nBefore = m_pManager->getAllDatas().size();
    EXPECT_FALSE(m_pManager->shortcutOrder(QStringLiteral("BatchOrder ") + kBuy));
    EXPECT_FALSE(m_pManager->shortcutOrder(kBuy));
    EXPECT_TRUE(m_pManager->shortcutOrder(QStringLiteral("batchorder:") + kBuy));
    drainBatchOrderStrand();
    EXPECT_EQ(m_pManager->getAllDatas().size(), nBefore + 1);
}

// Without the strategy nothing is converted or placed and the console says how many stay; once it runs,
// a trigger converts every pending record (an unsupported one fails with its error) and places one batch.
TEST_F(Dispatch, TryOrderPlacesEveryPendingRecordInOneBatchOnceTheStrategyRuns)
{
    m_pManager->tryOrder();
    EXPECT_TRUE(emissions().empty() && m_setup.consoleTexts().isEmpty()) << "an empty queue does nothing";
    QString strError;
    m_host.orderService().stopOrderStrategy(kStrategy, strError);
    m_setup.intake(kBuy + "\n" + kUnsupported + "\n" + kSell);
    m_emissions.clear();

    m_pManager->tryOrder();
    EXPECT_TRUE(m_recorder.batches().empty());
    EXPECT_TRUE(emissions().empty());
    EXPECT_EQ(m_setup.consoleTexts().last(), QStringLiteral("[error] 批量下单策略未运行, 3 条指令未下出!"));
    EXPECT_FALSE(consoleHas(QStringLiteral("[error] [参数错误] 不支持当前操作类型!!"))) << "converted";
    for (const auto& pData : m_pManager->getAllDatas())
        EXPECT_EQ(pData->m_nStatus, 0);

    m_host.orderService().addBatchOrderStrategy(kStrategy);
    m_pManager->tryOrder();
    const auto all = emissions();
    ASSERT_EQ(all.size(), 1u);
    ASSERT_EQ(all[0].size(), 3);
    for (const auto& pData : all[0])
        EXPECT_EQ(pData->m_nStatus, 1);
    EXPECT_FALSE(all[0][1]->m_strErrorMsg.isEmpty());
    EXPECT_TRUE(consoleHas(QStringLiteral("[error] [参数错误] 不支持当前操作类型!!")));
    EXPECT_TRUE(consoleHas(QStringLiteral("[order] 用户下出 2 条指令!")));
    const auto batches = m_recorder.batches();
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].size(), 2);
    EXPECT_EQ(batches[0][0].m_nStrategyNo, kStrategy);
    EXPECT_EQ(batches[0][0].m_singleParams.value(0).m_strStockCode, QStringLiteral("600000"));
    EXPECT_EQ(batches[0][1].m_singleParams.value(0).m_strStockCode, QStringLiteral("000001"));
    EXPECT_EQ(m_pManager->getFrontTimetag(), UINT64_MAX);
}

// A stop that comes while a dispatch hands its batch over waits for it: the batch is not refused half-way.
TEST_F(Dispatch, StopWaitsForTheDispatchUnderWay)
{
    m_setup.intake(kBuy);
    m_recorder.hold();
    std::thread dispatcher([this] { m_pManager->tryOrder(); });
    ASSERT_TRUE(m_recorder.waitForHeldCall());
    std::atomic<bool> bStopped{false};
    std::thread stopper([&] {
        m_pManager->stopFileMonitor();
        bStopped = true;
    });
    EXPECT_FALSE(waitUntil([&] { return bStopped.load(); }, std::chrono::milliseconds(300)))
        << "the strategy was stopped while its batch was being placed";
    m_recorder.release();
    dispatcher.join();
    stopper.join();
    EXPECT_EQ(m_recorder.orderCount(), 1);
    EXPECT_TRUE(bStopped.load());
}

// Cleared records go behind the pending ones, marked handled, and no longer count as the oldest pending.
TEST_F(Dispatch, ClearPendingMovesRecordsBehindThePendingOnes)
{
    m_pManager->clearPending();
    EXPECT_TRUE(emissions().empty()) << "clearing an empty queue announces nothing";

    m_setup.intake(kBuy);
    m_pManager->clearPending();
    m_setup.intake(kSell);
    const auto datas = m_pManager->getAllDatas();
    ASSERT_EQ(datas.size(), 2);
    EXPECT_EQ(datas[0]->m_strStockCode, QStringLiteral("000001"));
    EXPECT_EQ(datas[0]->m_nStatus, 0);
    EXPECT_EQ(datas[1]->m_strStockCode, QStringLiteral("600000"));
    EXPECT_EQ(datas[1]->m_nStatus, 2);
    EXPECT_EQ(m_pManager->getFrontTimetag(), datas[0]->m_nTimetag);
}

// Only a press of the order key, with something pending, dispatches, on the strand. The checker's own
// timer fires on a pending record and dispatches it; the order key resets its trigger.
TEST_F(Dispatch, OrderKeyPressAndTheCheckersTimerDispatch)
{
    CLogCapture capture;
    m_pManager->setOrderSequence(
        QKeySequence::fromString(QStringLiteral("Ctrl+F9"), QKeySequence::NativeText));
    auto deliver = [&](int nKey, int nState) {
        shortcuts()->deliverKey(nKey, nState);
        drainBatchOrderStrand();
    };
    deliver(Qt::Key_F9 | Qt::ControlModifier, 0);
    EXPECT_TRUE(consoleHas(QStringLiteral("[order] user batch order !")));
    m_setup.intake(kBuy);
    deliver(Qt::Key_F9 | Qt::ControlModifier, 1);
    deliver(Qt::Key_F9, 0); // another key
    EXPECT_TRUE(m_recorder.batches().empty()) << "nothing pending, a release, another key";
    deliver(Qt::Key_F9 | Qt::ControlModifier, 0);
    ASSERT_EQ(m_recorder.batches().size(), 1u);
    EXPECT_EQ(m_recorder.batches()[0].size(), 1);

    CMonitorProcessChecker::configure({}, true);
    CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance();
    m_setup.intake(kSell);
    pChecker->start();
    // The first tick comes a second after start and the record is old enough by then.
    ASSERT_TRUE(m_recorder.waitForBatches(2));
    EXPECT_TRUE(pChecker->isTriggered());
    EXPECT_TRUE(capture.contains("[order ] user checker trigger order"));
    deliver(Qt::Key_F9 | Qt::ControlModifier, 0);
    EXPECT_FALSE(pChecker->isTriggered());
}
