#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"
#include "common/clogcapture.h"
#include "common/ctesthost.h"
#include "common/waituntil.h"
#include "ui/cshortcutmanager.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <chrono>
#include <mutex>
#include <thread>

using namespace TC;

namespace {

constexpr int kStrategy = 999;
const QString kBuy = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2");
const QString kSell = QStringLiteral("24,0,12.30,000001,200,8880000001,2,2");
const QString kCancel = QStringLiteral("cancel_order,8880000001,123456,,,,2,2");
const QString kUnsupported = QStringLiteral("33,0,1,600000,100,8880000001,2,2");

using Batch = QVector<boost::shared_ptr<CBatchOrderData>>;

// A fresh manager on a fresh reference host (orders recorded in memory), strategy 999 running.
class Dispatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>();
        CMonitorProcessChecker::configure({}, false);
        CBatchOrderManager::initInstance(nullptr);
        m_pManager = CBatchOrderManager::instance();
        m_connection = m_pManager->m_sigNewDatas.connect([this](const Batch& batch) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_emissions.push_back(batch);
        });
        m_pHost->orderService().addBatchOrderStrategy(kStrategy);
    }

    void TearDown() override
    {
        m_connection.disconnect();
        m_pManager->stopFileMonitor();
        drainBatchOrderStrand();
        CBatchOrderManager::m_pInstance = nullptr;
        delete m_pManager;
        m_pHost.reset();
    }

    void intake(const QString& strPayload)
    {
        ASSERT_TRUE(m_pManager->shortcutOrder(QStringLiteral("BatchOrder:") + strPayload));
        drainBatchOrderStrand();
    }

    std::vector<Batch> emissions()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_emissions;
    }

    std::vector<QString> console()
    {
        std::vector<QString> tails;
        for (const auto& pMsg : m_pManager->getConsoleModel()->getAllMsgs())
            tails.push_back(pMsg->getMsg().mid(12));
        return tails;
    }

    bool consoleHas(const QString& strTail)
    {
        for (const QString& strLine : console())
            if (strLine == strTail)
                return true;
        return false;
    }

    QStringList backupLines() const
    {
        QFile file(m_pHost->batchOrderDir() + QStringLiteral("/batchOrder_back_") +
                   QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QString strText = QString::fromUtf8(file.readAll());
        strText.remove(QChar(0xFEFF));
        QStringList lines = strText.split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    std::unique_ptr<CTestHost> m_pHost;
    CBatchOrderManager* m_pManager = nullptr;
    boost::signals2::connection m_connection;
    std::mutex m_mutex;
    std::vector<Batch> m_emissions;
};

} // namespace

TEST_F(Dispatch, FileOfTwoOrdersACancelAndAnEmptyLastLine)
{
    const QString strPath = m_pHost->dataDir() + QStringLiteral("/orders.csv");
    m_pManager->startFileMonitor(strPath);

    // Written as an outside program would: GBK, into a temporary name, then renamed into place.
    QFile file(strPath + QStringLiteral(".part"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QTextCodec::codecForName("GBK")->fromUnicode(kBuy + "\n" + kCancel + "\n" + kSell + ",策略一\n"));
    file.close();
    ASSERT_TRUE(QFile::rename(file.fileName(), strPath));
    // The reader logs the file before it hands the lines over; wait for the intake itself.
    EXPECT_TRUE(waitUntil([&] { return !emissions().empty(); }));
    drainBatchOrderStrand();

    const auto all = emissions();
    ASSERT_EQ(all.size(), 1u);
    ASSERT_EQ(all[0].size(), 3);
    EXPECT_EQ(all[0][0]->m_nStatus, 0);
    EXPECT_EQ(all[0][1]->m_nStatus, 4);
    EXPECT_EQ(all[0][2]->m_nStatus, 0);
    EXPECT_EQ(all[0][2]->m_strStrategy, QStringLiteral("策略一"));

    // Pending first, then handled.
    const auto datas = m_pManager->getAllDatas();
    ASSERT_EQ(datas.size(), 3);
    EXPECT_EQ(datas[0], all[0][0]);
    EXPECT_EQ(datas[1], all[0][2]);
    EXPECT_EQ(datas[2], all[0][1]);

    const QStringList backup = backupLines();
    ASSERT_EQ(backup.size(), 4) << backup.join('\n').toStdString();
    EXPECT_TRUE(backup[0].startsWith(QStringLiteral("ORDER_TYPE,PRICE_TYPE")));
    EXPECT_TRUE(backup[1].startsWith(QStringLiteral("23,0,10.5,600000,100,")));
    EXPECT_TRUE(backup[2].startsWith(QStringLiteral("cancel_order,")));
    EXPECT_TRUE(backup[3].startsWith(QStringLiteral("24,0,12.30,000001,200,")));
}

TEST_F(Dispatch, BlankAndCarriageReturnLinesAreDroppedBeforeParsing)
{
    intake(QStringLiteral(" \r\n\r\n \t \r"));
    EXPECT_TRUE(emissions().empty());
    EXPECT_TRUE(backupLines().isEmpty()) << "a batch with nothing accepted writes nothing";
    EXPECT_TRUE(consoleHas(QStringLiteral(
        " [order] [快捷键下单] 接收到 3 条下单参数(下单: 0条, 撤单: 0条, 操作任务: 0条).")));
}

TEST_F(Dispatch, ShortcutPrefixIsCaseInsensitiveButNeedsItsColon)
{
    EXPECT_FALSE(m_pManager->shortcutOrder(QStringLiteral("BatchOrder ") + kBuy));
    EXPECT_FALSE(m_pManager->shortcutOrder(kBuy));
    EXPECT_TRUE(m_pManager->shortcutOrder(QStringLiteral("batchorder:") + kBuy));
    drainBatchOrderStrand();
    EXPECT_EQ(m_pManager->getAllDatas().size(), 1);
}

TEST_F(Dispatch, ShortcutSummaryCountsEveryLineOfThePayload)
{
    CLogCapture capture;
    intake(kBuy + "\n");
    EXPECT_TRUE(consoleHas(QStringLiteral(
        " [order] [快捷键下单] 接收到 2 条下单参数(下单: 1条, 撤单: 0条, 操作任务: 0条).")));
    EXPECT_TRUE(capture.contains("[order ] shortcut BatchOrder:" + kBuy.toStdString()));

    intake(kBuy + "\n" + kCancel + "\n208,arg\nnot-a-line");
    EXPECT_TRUE(consoleHas(QStringLiteral(
        " [order] [快捷键下单] 接收到 4 条下单参数(下单: 1条, 撤单: 1条, 操作任务: 1条).")));
}

TEST_F(Dispatch, TryOrderConvertsEveryPendingRecordAndPlacesOneBatch)
{
    intake(kBuy + "\n" + kUnsupported + "\n" + kSell);
    m_emissions.clear();

    m_pManager->tryOrder();

    const auto all = emissions();
    ASSERT_EQ(all.size(), 1u);
    ASSERT_EQ(all[0].size(), 3);
    for (const auto& pData : all[0])
        EXPECT_EQ(pData->m_nStatus, 1);
    EXPECT_FALSE(all[0][1]->m_strErrorMsg.isEmpty());
    EXPECT_TRUE(consoleHas(QStringLiteral(" [error] [参数错误] 不支持当前操作类型!!")));
    EXPECT_TRUE(consoleHas(QStringLiteral(" [order] 用户下出 2 条指令!")));

    const auto batches = m_pHost->recorder()->batches();
    ASSERT_EQ(batches.size(), 1u);
    ASSERT_EQ(batches[0].size(), 2);
    EXPECT_EQ(batches[0][0].m_nStrategyNo, kStrategy);
    EXPECT_EQ(batches[0][0].m_singleParams.value(0).m_strStockCode, QStringLiteral("600000"));
    EXPECT_EQ(batches[0][1].m_singleParams.value(0).m_strStockCode, QStringLiteral("000001"));
    EXPECT_EQ(m_pManager->getFrontTimetag(), UINT64_MAX);
}

TEST_F(Dispatch, TryOrderWithAnEmptyQueueDoesNothing)
{
    m_pManager->tryOrder();
    EXPECT_TRUE(emissions().empty());
    EXPECT_TRUE(console().empty());
    EXPECT_TRUE(m_pHost->recorder()->batches().empty());
}

TEST_F(Dispatch, WithoutStrategyRecordsStayPendingAndTheConsoleSaysHowMany)
{
    QString strError;
    m_pHost->orderService().stopOrderStrategy(kStrategy, strError);
    intake(kBuy + "\n" + kUnsupported);
    m_emissions.clear();

    m_pManager->tryOrder();
    EXPECT_TRUE(m_pHost->recorder()->batches().empty());
    EXPECT_TRUE(emissions().empty());
    EXPECT_TRUE(consoleHas(QStringLiteral(" [error] 批量下单策略未运行, 2 条指令未下出!")));
    EXPECT_FALSE(consoleHas(QStringLiteral(" [order] 用户下出 1 条指令!")));
    EXPECT_FALSE(consoleHas(QStringLiteral(" [error] [参数错误] 不支持当前操作类型!!")))
        << "nothing was converted";
    for (const auto& pData : m_pManager->getAllDatas())
        EXPECT_EQ(pData->m_nStatus, 0);

    m_pHost->orderService().addBatchOrderStrategy(kStrategy);
    m_pManager->tryOrder();
    ASSERT_EQ(m_pHost->recorder()->batches().size(), 1u) << "a later trigger places what was left";
    EXPECT_EQ(m_pHost->recorder()->batches()[0].size(), 1);
}

TEST_F(Dispatch, ClearPendingMovesRecordsBehindThePendingOnes)
{
    m_pManager->clearPending();
    EXPECT_TRUE(emissions().empty()) << "clearing an empty queue announces nothing";
    EXPECT_TRUE(consoleHas(QStringLiteral(" [order] 用户清空当前未处理数据!")));

    intake(kBuy);
    m_pManager->clearPending();
    intake(kSell);
    const auto datas = m_pManager->getAllDatas();
    ASSERT_EQ(datas.size(), 2);
    EXPECT_EQ(datas[0]->m_strStockCode, QStringLiteral("000001"));
    EXPECT_EQ(datas[0]->m_nStatus, 0);
    EXPECT_EQ(datas[1]->m_strStockCode, QStringLiteral("600000"));
    EXPECT_EQ(datas[1]->m_nStatus, 2);
    EXPECT_EQ(m_pManager->getFrontTimetag(), datas[0]->m_nTimetag);
}

// Only a press of the order key, with something pending, dispatches; on the strand.
TEST_F(Dispatch, OrderKeyPressDispatchesOnTheStrand)
{
    CLogCapture capture;
    m_pManager->setOrderSequence(QKeySequence::fromString(QStringLiteral("Ctrl+F9"), QKeySequence::NativeText));
    auto* pShortcuts = utils::CSingletonT<CShortcutManager>::instance();
    auto deliver = [&](int nKey, int nState) {
        pShortcuts->deliverKey(nKey, nState);
        drainBatchOrderStrand();
    };

    deliver(Qt::Key_F9 | Qt::ControlModifier, 0);
    EXPECT_TRUE(consoleHas(QStringLiteral(" [order] user batch order !")));
    intake(kBuy);
    deliver(Qt::Key_F9 | Qt::ControlModifier, 1);
    EXPECT_TRUE(capture.contains("[order ] receive global key state : 1"));
    deliver(Qt::Key_F9, 0); // another key
    EXPECT_TRUE(m_pHost->recorder()->batches().empty()) << "nothing pending, a release, another key";

    deliver(Qt::Key_F9 | Qt::ControlModifier, 0);
    ASSERT_EQ(m_pHost->recorder()->batches().size(), 1u);
    EXPECT_EQ(m_pHost->recorder()->batches()[0].size(), 1);
}

TEST_F(Dispatch, TriggeredCheckerDispatchesEveryIntakeAtOnceUntilTheKeyResetsIt)
{
    CLogCapture capture;
    CMonitorProcessChecker::configure({}, true);
    m_pManager->setOrderSequence(QKeySequence(Qt::Key_F9));
    CBatchOrderSmartKeyChecker* pChecker = CBatchOrderSmartKeyChecker::instance();
    intake(kBuy);
    pChecker->start();
    // The first tick comes a second after start and the record is old enough by then.
    ASSERT_TRUE(m_pHost->recorder()->waitForBatches(1));
    EXPECT_TRUE(pChecker->isTriggered());
    EXPECT_TRUE(capture.contains("[order ] user checker trigger order"));

    intake(kSell);
    EXPECT_EQ(m_pHost->recorder()->batches().size(), 2u) << "a batch read while triggered goes out at once";
    EXPECT_TRUE(capture.contains("[order ] user trigger shortcut order"));

    utils::CSingletonT<CShortcutManager>::instance()->deliverKey(Qt::Key_F9, 0);
    EXPECT_FALSE(pChecker->isTriggered());
    pChecker->stop();
    intake(kBuy);
    EXPECT_EQ(m_pHost->recorder()->batches().size(), 2u);
    EXPECT_EQ(m_pManager->getAllDatas().front()->m_nStatus, 0);
    CMonitorProcessChecker::configure({}, false);
}
