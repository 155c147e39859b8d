#include "cbatchorderdata.h"
#include "cbatchordersettingdialog.h"
#include "cbatchorderwidget.h"

#include "batchorder/cpaneltestfixture.h"
#include "common/waituntil.h"
#include "ui/cpushbutton.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cstandardhpftable.h"
#include "ui/cstandardtabcontrol.h"

#include <boost/make_shared.hpp>

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

using namespace TC;
using Panel = CBatchOrderWidget;
using Batch = QVector<boost::shared_ptr<CBatchOrderData>>;

namespace {

// An order line whose remark (column 9) names it.
QString orderLine(const QString& strNote)
{
    return QStringLiteral("23,0,10.50,600000,100,8880000001,2,2,,%1").arg(strNote);
}

class PanelTest : public CPanelTestFixture
{
protected:
    // Lines through the manager's intake, announced on its strand.
    void feed(const QStringList& lines)
    {
        ASSERT_TRUE(m_pManager->shortcutOrder(QStringLiteral("BatchOrder:") + lines.join(QLatin1Char('\n'))));
        drainBatchOrderStrand();
    }
    static QStringList notes(int nFrom, int nCount)
    {
        QStringList result;
        for (int i = nFrom; i < nFrom + nCount; ++i) {
            result << QStringLiteral("n%1").arg(i);
        }
        return result;
    }
    static QStringList orderLines(const QStringList& names)
    {
        QStringList lines;
        for (const QString& strName : names) {
            lines << orderLine(strName);
        }
        return lines;
    }

    static WQ::CStandardHpfTable* table(const Panel& panel, int nId)
    {
        return control<WQ::CStandardHpfTable>(&panel, nId);
    }
    // The remarks of a table's rows as shown after a refresh, sorted.
    static QStringList shown(const Panel& panel, int nId)
    {
        WQ::CStandardHpfTable* pTable = table(panel, nId);
        pTable->updateTable();
        QStringList result;
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow) {
            result << pTable->cellText(nRow, 9);
        }
        std::sort(result.begin(), result.end());
        return result;
    }
    static QStringList pending(const Panel& panel) { return shown(panel, Panel::ID_PENDING_TABLE); }
    static QStringList processed(const Panel& panel) { return shown(panel, Panel::ID_PROCESSED_TABLE); }
    static void click(const Panel& panel, int nId)
    {
        QTest::mouseClick(control<WQ::CPushButton>(&panel, nId), Qt::LeftButton);
    }
    static QStringList sorted(QStringList list)
    {
        std::sort(list.begin(), list.end());
        return list;
    }
};

TEST_F(PanelTest, LaysOutTablesConsoleButtonAndToolBar)
{
    Panel panel;
    panel.resize(800, 600);
    panel.show();
    auto* pSplit = panel.findChild<WQ::CSplitButtonContainer*>();
    ASSERT_NE(pSplit, nullptr);
    EXPECT_EQ(pSplit->geometry(), QRect(0, 0, 800, 554));
    auto* pOrder = control<WQ::CPushButton>(&panel, Panel::ID_ORDER_BUTTON);
    EXPECT_EQ(pOrder->geometry(), QRect(5, 559, 90, 36));
    EXPECT_EQ(pOrder->text(), QStringLiteral("下单"));
    const QWidget* pToolBar = control<WQ::CPushButton>(&panel, Panel::ID_CLEAR_BUTTON)->parentWidget();
    EXPECT_EQ(pToolBar->geometry(), QRect(110, 571, 690, 22));
    EXPECT_EQ(control<WQ::CPushButton>(&panel, Panel::ID_CLEAR_BUTTON)->text(), QStringLiteral("清空待处理"));
    EXPECT_EQ(control<WQ::CPushButton>(&panel, Panel::ID_CONSOLE_BUTTON)->text(), QStringLiteral("执行信息"));
    EXPECT_NE(control<WQ::CPushButton>(&panel, Panel::ID_SETTING_BUTTON), nullptr);

    auto* pTabs = panel.findChild<WQ::CStandardTabControl*>();
    ASSERT_EQ(pTabs->count(), 2);
    EXPECT_EQ(pTabs->tabText(0), QStringLiteral("待处理"));
    EXPECT_EQ(pTabs->tabText(1), QStringLiteral("已处理"));
    EXPECT_EQ(pTabs->widget(0), table(panel, Panel::ID_PENDING_TABLE));
    EXPECT_EQ(pTabs->widget(1), table(panel, Panel::ID_PROCESSED_TABLE));
    EXPECT_FALSE(pSplit->isOpen(false)) << "the console starts closed";
}

TEST_F(PanelTest, QuantityAndPriceColumnsAreBold)
{
    feed({orderLine(QStringLiteral("n0"))});
    Panel panel;
    for (int nId : {Panel::ID_PENDING_TABLE, Panel::ID_PROCESSED_TABLE}) {
        WQ::CStandardHpfTable* pTable = table(panel, nId);
        if (nId == Panel::ID_PROCESSED_TABLE) {
            click(panel, Panel::ID_CLEAR_BUTTON); // one row in each table in turn
        }
        pTable->updateTable();
        ASSERT_EQ(pTable->rowCount(), 1);
        const QAbstractItemModel* pModel = pTable->view()->model();
        QString strBold;
        for (int nColumn = 0; nColumn < 11; ++nColumn) {
            strBold +=
                pModel->data(pModel->index(0, nColumn), Qt::FontRole).value<QFont>().bold() ? 'B' : '.';
        }
        EXPECT_EQ(strBold, QStringLiteral(".....BB....")) << nId;
    }
}

struct ModulesRow
{
    const char* szName;
    QStringList modules;
    bool bNoteShown;
    bool bNote1Shown;
};

class PanelModules : public PanelTest, public ::testing::WithParamInterface<ModulesRow>
{
};

TEST_P(PanelModules, RemarkColumnsFollowTheFeatureModules)
{
    const ModulesRow& row = GetParam();
    QFile sample(CTestHost::sampleProfilePath());
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    QJsonObject profile = QJsonDocument::fromJson(sample.readAll()).object();
    profile[QStringLiteral("modules")] = QJsonArray::fromStringList(row.modules);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("profile.json")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(profile).toJson());
    file.close();
    TearDown();
    m_pHost = std::make_unique<CTestHost>(CTestHost::RECORDING_SERVICE, file.fileName());
    CBatchOrderManager::initInstance(nullptr);
    m_pManager = CBatchOrderManager::instance();

    Panel panel;
    for (int nId : {Panel::ID_PENDING_TABLE, Panel::ID_PROCESSED_TABLE}) {
        const WQ::CStandardHpfTable* pTable = table(panel, nId);
        EXPECT_EQ(pTable->isColumnVisible(9), row.bNoteShown);
        EXPECT_EQ(pTable->isColListVisible(9), row.bNoteShown) << "a hidden remark cannot be chosen";
        EXPECT_EQ(pTable->isColumnVisible(10), row.bNote1Shown);
        EXPECT_EQ(pTable->isColListVisible(10), row.bNote1Shown);
        EXPECT_TRUE(pTable->isColumnVisible(8));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Modules, PanelModules,
    ::testing::Values(
        ModulesRow{
            "All", {"mdl_order", "mdl_order_command_remark", "mdl_order_command_remark_extra"}, true, true},
        ModulesRow{"WithoutRemark", {"mdl_order", "mdl_order_command_remark_extra"}, false, true},
        ModulesRow{"WithoutExtra", {"mdl_order", "mdl_order_command_remark"}, true, false},
        ModulesRow{
            "WithoutOrder", {"mdl_order_command_remark", "mdl_order_command_remark_extra"}, false, false}),
    [](const ::testing::TestParamInfo<ModulesRow>& info) { return info.param.szName; });

TEST_F(PanelTest, NewPanelShowsEveryRecordInItsTableAtOnce)
{
    feed(orderLines(notes(0, 3)));
    m_pManager->clearPending();
    feed(orderLines(notes(3, 2)) + QStringList{QStringLiteral("cancel_order,8880000001,123456,,,,2,2")});
    Panel panel;
    // No refresh tick has run: the panel shows what it opens with straight away.
    EXPECT_EQ(table(panel, Panel::ID_PENDING_TABLE)->rowCount(), 2);
    EXPECT_EQ(pending(panel), notes(3, 2));
    EXPECT_EQ(processed(panel), QStringList{QString()} + notes(0, 3)) << "the cancel has no remark";
}

TEST_F(PanelTest, RecordMovesToProcessedWithTheSameCells)
{
    Panel panel;
    feed({orderLine(QStringLiteral("n0")), QStringLiteral("cancel_order,8880000001,123456,,,,2,2")});
    EXPECT_EQ(pending(panel), QStringList{QStringLiteral("n0")});
    EXPECT_EQ(processed(panel), QStringList{QString()}) << "a cancel goes straight to processed";
    const WQ::CStandardHpfTable* pPending = table(panel, Panel::ID_PENDING_TABLE);
    QStringList cells;
    for (int nColumn = 0; nColumn < 11; ++nColumn) {
        cells << pPending->cellText(0, nColumn);
    }
    m_pHost->orderService().addBatchOrderStrategy(999);
    click(panel, Panel::ID_ORDER_BUTTON);
    EXPECT_EQ(consoleTexts().mid(consoleTexts().size() - 2),
              (QStringList{QStringLiteral("用户手动触发下单按钮!"), QStringLiteral("用户下出 1 条指令!")}));
    EXPECT_EQ(m_pHost->recorder()->orderCount(), 1);
    EXPECT_EQ(pending(panel), QStringList());
    EXPECT_EQ(processed(panel), (QStringList{QString(), QStringLiteral("n0")}));
    const WQ::CStandardHpfTable* pProcessed = table(panel, Panel::ID_PROCESSED_TABLE);
    for (int nRow = 0; nRow < pProcessed->rowCount(); ++nRow) {
        if (pProcessed->cellText(nRow, 9) == QStringLiteral("n0")) {
            for (int nColumn = 0; nColumn < 11; ++nColumn) {
                EXPECT_EQ(pProcessed->cellText(nRow, nColumn), cells[nColumn]) << nColumn;
            }
        }
    }
}

TEST_F(PanelTest, RecordWithoutPriceTypeIsReportedAndShownNowhere)
{
    Panel panel;
    feed({QStringLiteral("23,,10.50,600000,100,8880000001,2,2,,bare"), orderLine(QStringLiteral("n0"))});
    EXPECT_EQ(pending(panel), QStringList{QStringLiteral("n0")});
    EXPECT_EQ(processed(panel), QStringList());
    EXPECT_TRUE(consoleTexts().contains(QStringLiteral("[参数错误] 报价方式为空!!")));
}

TEST_F(PanelTest, ClearPendingEmptiesThePendingTableAtOnce)
{
    Panel panel;
    feed(orderLines(notes(0, 4)));
    EXPECT_EQ(pending(panel).size(), 4);
    click(panel, Panel::ID_CLEAR_BUTTON);
    // Read without a refresh: the button itself shows the change.
    EXPECT_EQ(table(panel, Panel::ID_PENDING_TABLE)->rowCount(), 0);
    EXPECT_EQ(table(panel, Panel::ID_PROCESSED_TABLE)->rowCount(), 4);
    EXPECT_EQ(consoleTexts().last(), QStringLiteral("用户清空当前未处理数据!"));
    feed(orderLines(notes(4, 1)));
    EXPECT_EQ(pending(panel), notes(4, 1)) << "later records are pending again";
}

TEST_F(PanelTest, ConsoleButtonOpensAndClosesTheConsole)
{
    Panel panel;
    auto* pSplit = panel.findChild<WQ::CSplitButtonContainer*>();
    for (bool bOpen : {true, false, true}) {
        click(panel, Panel::ID_CONSOLE_BUTTON);
        EXPECT_EQ(pSplit->isOpen(false), bOpen);
    }
}

TEST_F(PanelTest, SettingsButtonShowsOneDialogRefreshedAtEveryShow)
{
    Panel panel;
    auto dialogs = [] {
        QList<CBatchOrderSettingDialog*> result;
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (auto* pDialog = qobject_cast<CBatchOrderSettingDialog*>(pWidget)) {
                result << pDialog;
            }
        }
        return result;
    };
    click(panel, Panel::ID_SETTING_BUTTON);
    ASSERT_EQ(dialogs().size(), 1);
    CBatchOrderSettingDialog* pDialog = dialogs().first();
    EXPECT_TRUE(pDialog->isVisible());
    EXPECT_EQ(pDialog->parent(), nullptr);
    auto* pMonitor = control<WQ::CPushButton>(pDialog, CBatchOrderSettingDialog::ID_MONITOR_BUTTON);
    EXPECT_EQ(pMonitor->text(), QStringLiteral("开始监控"));
    pDialog->close();
    m_pHost->orderService().addBatchOrderStrategy(999);
    click(panel, Panel::ID_SETTING_BUTTON);
    EXPECT_EQ(dialogs(), QList<CBatchOrderSettingDialog*>{pDialog});
    EXPECT_TRUE(pDialog->isVisible());
    EXPECT_EQ(pMonitor->text(), QStringLiteral("停止监控")) << "shown again with the state of the moment";
}

TEST_F(PanelTest, PlaceOrderButtonTakesTheFocusAfterEveryAnnouncement)
{
    Panel panel;
    panel.show();
    QWidget* pOrder = control<WQ::CPushButton>(&panel, Panel::ID_ORDER_BUTTON);
    EXPECT_EQ(panel.focusWidget(), pOrder) << "after the panel's own first placement, even of nothing";
    QWidget* pView = table(panel, Panel::ID_PENDING_TABLE)->view();
    pView->setFocus();
    ASSERT_EQ(panel.focusWidget(), pView);
    std::thread([this] { m_pManager->m_sigNewDatas(Batch()); }).join();
    EXPECT_EQ(panel.focusWidget(), pView) << "from another thread only once the event loop runs";
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return panel.focusWidget() == pOrder;
    }));
    feed({orderLine(QStringLiteral("n0"))});
    QCoreApplication::processEvents();
    pView->setFocus();
    click(panel, Panel::ID_CLEAR_BUTTON); // the manager announces the cleared record on this thread
    EXPECT_EQ(panel.focusWidget(), pOrder) << "on the GUI thread at once";
}

// Records parsed from order lines, all pending, remarks n0, n1, ...
Batch parsedRecords(int nCount)
{
    Batch records;
    for (int i = 0; i < nCount; ++i) {
        auto pData = boost::make_shared<CBatchOrderData>();
        EXPECT_TRUE(pData->parse(orderLine(QStringLiteral("n%1").arg(i))));
        records << pData;
    }
    return records;
}

QStringList notesOf(const Batch& records, int32_t nStatus)
{
    QStringList names;
    for (const auto& pData : records) {
        if (pData->m_nStatus == nStatus) {
            names << pData->m_strNote;
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Announces records in random small batches from a thread of its own, as intake and dispatch do: with
// bDispatch it first marks each batch dispatched, as a trigger does. Threads given the same seed walk
// the records in the same order, so that their announcements of a record meet. The thread waits for
// pGo, and with pStop it goes on until told.
std::thread announcer(const Batch& records, unsigned nSeed, bool bDispatch, const std::atomic<bool>* pGo,
                      const std::atomic<bool>* pStop = nullptr)
{
    return std::thread([records, nSeed, bDispatch, pGo, pStop] {
        std::mt19937 random(nSeed);
        CBatchOrderManager* pManager = CBatchOrderManager::instance();
        while (!pGo->load()) {
            std::this_thread::yield();
        }
        do {
            Batch shuffled = records;
            std::shuffle(shuffled.begin(), shuffled.end(), random);
            for (int i = 0; i < shuffled.size();) {
                const int nSize = std::min(1 + static_cast<int>(random() % 4), shuffled.size() - i);
                Batch batch = shuffled.mid(i, nSize);
                if (bDispatch) {
                    batch.erase(
                        std::remove_if(batch.begin(), batch.end(),
                                       [](const auto& pData) { return pData->m_strNote.endsWith('0'); }),
                        batch.end());
                    for (const auto& pData : batch) {
                        pData->m_nStatus = 1;
                    }
                }
                pManager->m_sigNewDatas(batch);
                i += nSize;
            }
        } while (pStop && !pStop->load());
    });
}

TEST_F(PanelTest, ConcurrentAnnouncementsLeaveEveryRecordInTheTableOfItsStatus)
{
    // Short rounds: the announcements meet most often just after the threads are let go together.
    for (unsigned nRound = 0; nRound < 100; ++nRound) {
        const Batch records = parsedRecords(100);
        Panel panel;
        // Every record is announced pending by two threads and, unless its remark ends in 0, dispatched
        // by two others, each dispatch racing a pending announcement of the same record.
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (unsigned nPair = 0; nPair < 2; ++nPair) {
            const unsigned nSeed = nRound * 2 + nPair;
            threads.push_back(announcer(records, nSeed, false, &go));
            threads.push_back(announcer(records, nSeed, true, &go));
        }
        go = true;
        for (std::thread& thread : threads) {
            pending(panel); // the GUI thread refreshes meanwhile, as its timer does
            processed(panel);
            thread.join();
        }
        ASSERT_EQ(pending(panel), notesOf(records, 0)) << "round " << nRound;
        ASSERT_EQ(processed(panel), notesOf(records, 1)) << "round " << nRound;
    }
}

TEST_F(PanelTest, PanelDestroyedWhileAnnouncementsArriveIsLeftAlone)
{
    Batch records = parsedRecords(200);
    for (int i = 0; i < records.size(); i += 2) {
        records[i]->m_nStatus = 1;
    }
    Panel survivor;
    const std::atomic<bool> go{true};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (unsigned nSeed = 1; nSeed <= 3; ++nSeed) {
        threads.push_back(announcer(records, nSeed, false, &go, &stop));
    }
    for (int i = 0; i < 25; ++i) {
        auto pPanel = std::make_unique<Panel>();
        pPanel->show();
        QCoreApplication::processEvents(); // focus tasks queued for it run or are dropped with it
        pPanel.reset();
        QCoreApplication::processEvents();
    }
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(pending(survivor), notesOf(records, 0));
    EXPECT_EQ(processed(survivor), notesOf(records, 1));
}

TEST_F(PanelTest, SeveralPanelsEachShowEveryRecord)
{
    auto pFirst = std::make_unique<Panel>();
    Panel second;
    feed(orderLines(notes(0, 3)));
    EXPECT_EQ(pending(*pFirst), notes(0, 3));
    EXPECT_EQ(pending(second), notes(0, 3));
    click(second, Panel::ID_CLEAR_BUTTON);
    EXPECT_EQ(processed(*pFirst), notes(0, 3)) << "a clear from one panel shows in the other";
    pFirst.reset();
    feed(orderLines(notes(3, 2)));
    EXPECT_EQ(pending(second), notes(3, 2));
    Panel third;
    EXPECT_EQ(pending(third), notes(3, 2));
    EXPECT_EQ(processed(third), notes(0, 3));
}

} // namespace
