#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"

#include "common/clogcapture.h"
#include "common/ctesthost.h"
#include "common/waituntil.h"
#include "ui/cshortcutmanager.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>

#include <thread>

using namespace TC;

namespace {

constexpr int kStrategy = 999;

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
        m_pHost.reset();
    }

    CBatchOrderManager* createManager()
    {
        CBatchOrderManager::initInstance(nullptr);
        return CBatchOrderManager::instance();
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

TEST_F(ManagerLifecycle, ConsoleModelIsCreatedOnceAndKeptForLife)
{
    CBatchOrderManager* pManager = createManager();
    const auto pModel = pManager->getConsoleModel();
    ASSERT_TRUE(pModel);
    pManager->showMsg(MSG_LEVEL_SYSTEM, QStringLiteral("hello"), false);
    EXPECT_EQ(pManager->getConsoleModel(), pModel);
    ASSERT_EQ(pModel->getAllMsgs().size(), 1u);
    EXPECT_EQ(pModel->getAllMsgs()[0]->getMsg().mid(12), QStringLiteral(" [system] hello"));
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (nBatches.load() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    drainBatchOrderStrand();
    EXPECT_EQ(nBatches.load(), 1);
    EXPECT_EQ(pManager->getAllDatas().size(), 1);
}

TEST_F(ManagerLifecycle, StopWithoutStartStillStopsTheStrategyAndSaysSo)
{
    CBatchOrderManager* pManager = createManager();
    pManager->stopFileMonitor();
    EXPECT_EQ(consoleTails(pManager), (std::vector<QString>{QStringLiteral(" [system] stop!")}));
    EXPECT_FALSE(m_pHost->orderService().isStrategyRunning(kStrategy));
}

TEST_F(ManagerLifecycle, StopEndsTheStrategyAndLeavesPendingRecords)
{
    const QString strPath = m_pHost->dataDir() + QStringLiteral("/orders.csv");
    CBatchOrderManager* pManager = createManager();
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
