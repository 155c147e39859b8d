#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordersettingdialog.h"
#include "cbatchordertabledata.h"
#include "cbatchordertablemodel.h"
#include "cbatchorderwidget.h"

#include "common/ctestmanager.h"
#include "common/rowname.h"
#include "common/waituntil.h"
#include "ui/cpushbutton.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cstandardhpftable.h"
#include "ui/cstandardtabcontrol.h"

#include <boost/make_shared.hpp>

#include <gtest/gtest.h>

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

// Remarks n<nFrom>, n<nFrom + 1>, ..., and the order lines of the remarks, one a line.
QStringList notes(int nFrom, int nCount)
{
    QStringList result;
    for (int i = nFrom; i < nFrom + nCount; ++i)
        result << QStringLiteral("n%1").arg(i);
    return result;
}
QString orderLines(const QStringList& names)
{
    QStringList lines;
    for (const QString& strName : names)
        lines << orderLine(strName);
    return lines.join(QLatin1Char('\n'));
}

class PanelTest : public ::testing::Test
{
protected:
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
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow)
            result << pTable->cellText(nRow, 9);
        std::sort(result.begin(), result.end());
        return result;
    }
    static QStringList pending(const Panel& panel) { return shown(panel, Panel::ID_PENDING_TABLE); }
    static QStringList processed(const Panel& panel) { return shown(panel, Panel::ID_PROCESSED_TABLE); }
    static void click(const Panel& panel, int nId)
    {
        QTest::mouseClick(control<WQ::CPushButton>(&panel, nId), Qt::LeftButton);
    }

    CTestManager m_setup;
    CTestHost& m_host = m_setup.host();
    CBatchOrderManager* m_pManager = m_setup.manager();
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
    const auto* pClear = control<WQ::CPushButton>(&panel, Panel::ID_CLEAR_BUTTON);
    EXPECT_EQ(pClear->parentWidget()->geometry(), QRect(110, 571, 690, 22)) << "the tool bar";
    EXPECT_EQ(pClear->text(), QStringLiteral("清空待处理"));
    EXPECT_EQ(control<WQ::CPushButton>(&panel, Panel::ID_CONSOLE_BUTTON)->text(), QStringLiteral("执行信息"));
    EXPECT_NE(control<WQ::CPushButton>(&panel, Panel::ID_SETTING_BUTTON), nullptr);

    auto* pTabs = panel.findChild<WQ::CStandardTabControl*>();
    ASSERT_EQ(pTabs->count(), 2);
    EXPECT_EQ(pTabs->tabText(0) + '|' + pTabs->tabText(1), QStringLiteral("待处理|已处理"));
    EXPECT_EQ(pTabs->widget(0), table(panel, Panel::ID_PENDING_TABLE));
    EXPECT_EQ(pTabs->widget(1), table(panel, Panel::ID_PROCESSED_TABLE));
    EXPECT_FALSE(pSplit->isOpen(false)) << "the console starts closed";
    // The console button opens and closes it.
    for (bool bOpen : {true, false, true}) {
        click(panel, Panel::ID_CONSOLE_BUTTON);
        EXPECT_EQ(pSplit->isOpen(false), bOpen);
    }
}

struct ModulesRow : CNamedRow
{
    QStringList m_modules;
    bool m_bNoteShown;
    bool m_bNote1Shown;
};

// A host whose profile enables the row's feature modules.
class PanelModules : public ::testing::TestWithParam<ModulesRow>
{
protected:
    static QString writeProfile(const QTemporaryDir& dir, const QStringList& modules)
    {
        QFile sample(CTestHost::sampleProfilePath());
        EXPECT_TRUE(sample.open(QIODevice::ReadOnly));
        QJsonObject profile = QJsonDocument::fromJson(sample.readAll()).object();
        profile[QStringLiteral("modules")] = QJsonArray::fromStringList(modules);
        QFile file(dir.filePath(QStringLiteral("profile.json")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(profile).toJson());
        return file.fileName();
    }

    QTemporaryDir m_dir;
    CTestManager m_setup{true, writeProfile(m_dir, GetParam().m_modules)};
};

TEST_P(PanelModules, RemarkColumnsFollowTheFeatureModules)
{
    const ModulesRow& row = GetParam();
    Panel panel;
    for (int nId : {Panel::ID_PENDING_TABLE, Panel::ID_PROCESSED_TABLE}) {
        const auto* pTable = control<WQ::CStandardHpfTable>(&panel, nId);
        EXPECT_EQ(pTable->isColumnVisible(9), row.m_bNoteShown);
        EXPECT_EQ(pTable->isColListVisible(9), row.m_bNoteShown) << "a hidden remark cannot be chosen";
        EXPECT_EQ(pTable->isColumnVisible(10), row.m_bNote1Shown);
        EXPECT_EQ(pTable->isColListVisible(10), row.m_bNote1Shown);
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
    rowName);

TEST_F(PanelTest, NewPanelShowsEveryRecordInItsTableAtOnce)
{
    m_setup.intake(orderLines(notes(0, 3)));
    m_pManager->clearPending();
    // A record without price type is reported and shown nowhere.
    m_setup.intake(orderLines(notes(3, 2)) + QStringLiteral("\ncancel_order,8880000001,123456,,,,2,2\n"
                                                            "23,,10.50,600000,100,8880000001,2,2,,bare"));
    Panel panel;
    EXPECT_EQ(m_setup.consoleTexts().filter(QStringLiteral("[error] [参数错误] 报价方式为空!!")).size(), 1);
    // No refresh tick has run: the panel shows what it opens with straight away.
    EXPECT_EQ(table(panel, Panel::ID_PENDING_TABLE)->rowCount(), 2);
    EXPECT_EQ(pending(panel), notes(3, 2));
    EXPECT_EQ(processed(panel), QStringList{QString()} + notes(0, 3)) << "the cancel has no remark";
}

// The record keeps its cells, quantity and price in bold, from one table to the other.
TEST_F(PanelTest, RecordMovesToProcessedWithTheSameCells)
{
    Panel panel;
    // A cancel goes straight to processed.
    m_setup.intake(orderLine("n0") + QStringLiteral("\ncancel_order,8880000001,123456,,,,2,2"));
    EXPECT_EQ(pending(panel), QStringList{QStringLiteral("n0")});
    EXPECT_EQ(processed(panel), QStringList{QString()});
    const auto cells = [&](int nId) {
        const WQ::CStandardHpfTable* pTable = table(panel, nId);
        const QAbstractItemModel* pModel = pTable->view()->model();
        QStringList result;
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow) {
            if (pTable->cellText(nRow, 9) == QStringLiteral("n0")) {
                for (int nColumn = 0; nColumn < 11; ++nColumn)
                    result
                        << pTable->cellText(nRow, nColumn) +
                               (pModel->data(pModel->index(nRow, nColumn), Qt::FontRole).value<QFont>().bold()
                                    ? "(bold)"
                                    : "");
            }
        }
        return result;
    };
    const QStringList before = cells(Panel::ID_PENDING_TABLE);
    ASSERT_EQ(before.size(), 11);
    EXPECT_EQ(before.filter(QStringLiteral("(bold)")), (QStringList{"100(bold)", "10.500(bold)"}));
    m_host.orderService().addBatchOrderStrategy(999);
    click(panel, Panel::ID_ORDER_BUTTON);
    EXPECT_EQ(m_setup.consoleTexts().mid(m_setup.consoleTexts().size() - 2),
              (QStringList{"[order] 用户手动触发下单按钮!", "[order] 用户下出 1 条指令!"}));
    EXPECT_EQ(m_setup.recorder().orderCount(), 1);
    EXPECT_EQ(pending(panel), QStringList());
    EXPECT_EQ(processed(panel), (QStringList{QString(), QStringLiteral("n0")}));
    EXPECT_EQ(cells(Panel::ID_PROCESSED_TABLE), before);
}

TEST_F(PanelTest, SettingsButtonShowsOneDialogRefreshedAtEveryShow)
{
    Panel panel;
    auto dialogs = [] {
        QList<CBatchOrderSettingDialog*> result;
        for (QWidget* pWidget : QApplication::topLevelWidgets()) {
            if (auto* pDialog = qobject_cast<CBatchOrderSettingDialog*>(pWidget))
                result << pDialog;
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
    m_host.orderService().addBatchOrderStrategy(999);
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
    m_setup.intake(orderLine(QStringLiteral("n0")));
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
        if (pData->m_nStatus == nStatus)
            names << pData->m_strNote;
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
        while (!pGo->load())
            std::this_thread::yield();
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
                    for (const auto& pData : batch)
                        pData->m_nStatus = 1;
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
    for (int i = 0; i < records.size(); i += 2)
        records[i]->m_nStatus = 1;
    Panel survivor;
    const std::atomic<bool> go{true};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (unsigned nSeed = 1; nSeed <= 3; ++nSeed)
        threads.push_back(announcer(records, nSeed, false, &go, &stop));
    for (int i = 0; i < 25; ++i) {
        auto pPanel = std::make_unique<Panel>();
        pPanel->show();
        QCoreApplication::processEvents(); // focus tasks queued for it run or are dropped with it
        pPanel.reset();
        QCoreApplication::processEvents();
    }
    stop = true;
    for (std::thread& thread : threads)
        thread.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(pending(survivor), notesOf(records, 0));
    EXPECT_EQ(processed(survivor), notesOf(records, 1));
}

// A clear from one panel empties its pending table at once and shows in every other panel.
TEST_F(PanelTest, SeveralPanelsEachShowEveryRecord)
{
    auto pFirst = std::make_unique<Panel>();
    Panel second;
    m_setup.intake(orderLines(notes(0, 3)));
    EXPECT_EQ(pending(*pFirst), notes(0, 3));
    EXPECT_EQ(pending(second), notes(0, 3));
    click(second, Panel::ID_CLEAR_BUTTON);
    // Read without a refresh: the button itself shows the change.
    EXPECT_EQ(table(second, Panel::ID_PENDING_TABLE)->rowCount(), 0);
    EXPECT_EQ(table(second, Panel::ID_PROCESSED_TABLE)->rowCount(), 3);
    EXPECT_EQ(m_setup.consoleTexts().last(), QStringLiteral("[order] 用户清空当前未处理数据!"));
    EXPECT_EQ(processed(*pFirst), notes(0, 3));
    pFirst.reset();
    m_setup.intake(orderLines(notes(3, 2)));
    EXPECT_EQ(pending(second), notes(3, 2)) << "later records are pending again";
}

// ---- the rows of the tables ----------------------------------------------------------------------------

// Cells: market, code, name, operation, price type, quantity, price, account, algorithm, remark, remark 1,
// joined by "|"; "*" is a cell the row does not check.
TEST_F(PanelTest, RowCellsShowTheInstruction)
{
    const char* const rows[][3] = {
        {"PlainOrder", "23,0,10.5,600000,100,8880000001,2,2,策略,备注",
         "SH|600000|浦发银行|买入|指定价|100|10.500|8880000001||备注|"},
        {"CreditAccountTradeType", "23,0,10.5,600000,100,8880000003,3,11",
         "*|*|*|担保品买入|*|*|*|8880000003|*|*|*"},
        {"PriceType9003IsTheAlgorithmProvider", "23,9003,10.5,600000,100,8880000001,2,2",
         "*|*|*|*|无效报价|*|*|*|第三方算法|*|*"},
        {"AlgorithmSetting", "23,2004,10.5,600000,100,8880000001,2,2", "*|*|*|*|最新价|*|*|*|跟量|*|*"},
        {"CodeKnownOnShenzhenOnly", "23,0,10,000001,100,8880000001,2,2",
         "SZ|000001|平安银行|*|*|*|*|*|*|*|*"},
        {"LowerCaseMarketPrefix", "23,0,10,sh600000,100,8880000001,2,2",
         "SH|600000|浦发银行|*|*|*|*|*|*|*|*"},
        {"CrossMarketEtfStaysUnresolved", "23,0,10,510300,100,8880000001,2,2", "|||*|指定价|*|*|*|*|*|*"},
        {"CombinationShowsWholeCodeAndFirstMarket", "138,0,1,SH600000/SZ000001,100,8880000001,2,2",
         "SH|SH600000/SZ000001|-|*|*|*|*|*|*|*|*"},
        {"CashOperationShowsCodeAsWritten", "502,0,100,600000,100,8880000001,2,2",
         "|600000||*|人民币|100|*|*|*|*|*"},
        {"CancelShowsItsTextsAsWritten", "cancel_order,8880000001,123456,,,,2,2",
         "|||cancel_order|8880000001||123456|*||*|*"},
        {"TaskShowsItsTextsAsWritten", "209,任务参数", "*|*|*|209|任务参数|||*||*|*"},
        {"PriceThatIsNoNumberIsZero", "23,0,abc,600000,100,8880000001,2,2", "*|*|*|*|*|*|0.000|*|*|*|*"},
        {"PriceTheFormatterRejects", "23,0,inf,600000,100,8880000001,2,2", "*|*|*|*|*|*|非法值|*|*|*|*"},
        {"UnknownAccountIsEmpty", "23,0,1,600000,100,9999999999,2,2", "*|*|*|*|*|*|*||*|*|*"},
        {"MissingVolumeIsNotAHugeNumber", "23,0,10.5,600000", "*|*|*|*|*|-1|*|*|*|*|*"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        const CBatchOrderData data(QString::fromUtf8(row[1]));
        const auto pRow = CBatchOrderTableData::build(data);
        ASSERT_NE(pRow, nullptr);
        const QStringList expected = QString::fromUtf8(row[2]).split(QLatin1Char('|'));
        ASSERT_EQ(expected.size(), 11);
        for (int nColumn = 0; nColumn < 11; ++nColumn) {
            if (expected[nColumn] != QStringLiteral("*")) {
                EXPECT_EQ(pRow->getDisplayQString(nColumn), expected[nColumn]) << "column " << nColumn;
            }
        }
        EXPECT_EQ(pRow->qsKey(), CBatchOrderTableData::makeQsKey(data.m_nSeq));
    }
    // The row key is right-aligned in eight characters.
    for (const auto& [nSeq, szKey] : {std::pair<int32_t, const char*>{7, "       7"},
                                      {12345678, "12345678"},
                                      {123456789, "123456789"},
                                      {-1, "      -1"}}) {
        CBatchOrderTableData data;
        data.m_nSeq = nSeq;
        EXPECT_EQ(data.key(), szKey);
        EXPECT_EQ(data.qsKey(), QString::fromLatin1(szKey));
    }
}

TEST_F(PanelTest, AlgorithmSettingReplacesThePriceTypeAndFollowsSavedChanges)
{
    QString strError;
    ASSERT_TRUE(m_host.userConfig().setDbfAlgoParams(
        {CDbfAlgoParam{QStringLiteral("2001"), QStringLiteral("时间加权"), 24, ttservice::PRTP_MARKET}},
        strError));
    const auto pRow = CBatchOrderTableData::build(
        CBatchOrderData(QStringLiteral("23,2001,10.5,600000,100,8880000001,2,2")));
    ASSERT_NE(pRow, nullptr);
    EXPECT_EQ(pRow->getDisplayQString(4), QStringLiteral("市价"))
        << "the setting's price type, not the DBF table's";
    EXPECT_EQ(pRow->getDisplayQString(8), QStringLiteral("时间加权"));
    EXPECT_EQ(pRow->getInt(8), 24);
}

TEST(TableModel, ElevenColumnsWithNamesAndValueTypes)
{
    const CBatchOrderTableModel model;
    QStringList names;
    QList<int> types;
    for (int nColumn = -1; nColumn <= model.columnCount(); ++nColumn) {
        names << model.columnName(nColumn);
        types << model.columnType(nColumn);
    }
    EXPECT_EQ(names.join(QLatin1Char('|')),
              QStringLiteral("|证券市场|合约代码|合约名称|操作类型|价格类型|委托数量|委托价格|账号|算法类型|"
                             "投资备注|投资备注1|"));
    EXPECT_EQ(types, (QList<int>{0, 10, 10, 10, 2, 2, 4, 6, 10, 2, 10, 10, 0}));
}

} // namespace
