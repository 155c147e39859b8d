#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordersettingdialog.h"
#include "cbatchordertabledata.h"
#include "cbatchordertablemodel.h"
#include "cbatchorderwidget.h"

#include "common/ctestmanager.h"
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

// Remarks n<nFrom>, n<nFrom + 1>, ..., and the order lines of those remarks, one a line.
QStringList notes(int nFrom, int nCount)
{
    QStringList result;
    for (int i = nFrom; i < nFrom + nCount; ++i)
        result << QStringLiteral("n%1").arg(i);
    return result;
}
QString orderLines(int nFrom, int nCount)
{
    QStringList lines = notes(nFrom, nCount);
    for (QString& strLine : lines)
        strLine = orderLine(strLine);
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
    static WQ::CPushButton* button(const Panel& panel, int nId)
    {
        return control<WQ::CPushButton>(&panel, nId);
    }
    static void click(const Panel& panel, int nId) { QTest::mouseClick(button(panel, nId), Qt::LeftButton); }

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
    const auto* pOrder = button(panel, Panel::ID_ORDER_BUTTON);
    const auto* pClear = button(panel, Panel::ID_CLEAR_BUTTON);
    EXPECT_EQ(QList<QRect>({pSplit->geometry(), pOrder->geometry(), pClear->parentWidget()->geometry()}),
              QList<QRect>({{0, 0, 800, 554}, {5, 559, 90, 36}, {110, 571, 690, 22}}));
    EXPECT_EQ(QStringList({pOrder->text(), pClear->text(), button(panel, Panel::ID_CONSOLE_BUTTON)->text()}),
              QStringList({"下单", "清空待处理", "执行信息"}));
    EXPECT_NE(button(panel, Panel::ID_SETTING_BUTTON), nullptr);
    auto* pTabs = panel.findChild<WQ::CStandardTabControl*>();
    ASSERT_EQ(pTabs->count(), 2);
    EXPECT_EQ(pTabs->tabText(0) + '|' + pTabs->tabText(1), QStringLiteral("待处理|已处理"));
    EXPECT_EQ(pTabs->widget(0), table(panel, Panel::ID_PENDING_TABLE));
    EXPECT_EQ(pTabs->widget(1), table(panel, Panel::ID_PROCESSED_TABLE));
    // The console starts closed; its button opens and closes it.
    for (bool bOpen : {false, true, false, true}) {
        EXPECT_EQ(pSplit->isOpen(false), bOpen);
        click(panel, Panel::ID_CONSOLE_BUTTON);
    }
}

// The remark columns show, and can be chosen, only with their feature modules (the order module first).
TEST(PanelModules, RemarkColumnsFollowTheFeatureModules)
{
    const std::tuple<const char*, QStringList, bool, bool> rows[] = {
        {"All", {"mdl_order", "mdl_order_command_remark", "mdl_order_command_remark_extra"}, true, true},
        {"WithoutRemark", {"mdl_order", "mdl_order_command_remark_extra"}, false, true},
        {"WithoutExtra", {"mdl_order", "mdl_order_command_remark"}, true, false},
        {"WithoutOrder", {"mdl_order_command_remark", "mdl_order_command_remark_extra"}, false, false}};
    QFile sample(CTestHost::sampleProfilePath());
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    QJsonObject profile = QJsonDocument::fromJson(sample.readAll()).object();
    for (const auto& [szName, modules, bNoteShown, bNote1Shown] : rows) {
        SCOPED_TRACE(szName);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("profile.json")));
        profile[QStringLiteral("modules")] = QJsonArray::fromStringList(modules);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(profile).toJson()) > 0);
        file.close();
        CTestManager setup(true, file.fileName());
        Panel panel;
        for (int nId : {Panel::ID_PENDING_TABLE, Panel::ID_PROCESSED_TABLE}) {
            const auto* pTable = control<WQ::CStandardHpfTable>(&panel, nId);
            EXPECT_EQ(QList<bool>({pTable->isColumnVisible(9), pTable->isColListVisible(9),
                                   pTable->isColumnVisible(10), pTable->isColListVisible(10),
                                   pTable->isColumnVisible(8)}),
                      QList<bool>({bNoteShown, bNoteShown, bNote1Shown, bNote1Shown, true}));
        }
    }
}

// The record keeps its cells, quantity and price in bold, from one table to the other.
TEST_F(PanelTest, RecordMovesToProcessedWithTheSameCells)
{
    Panel panel;
    m_setup.intake(orderLine("n0"));
    EXPECT_EQ(pending(panel), QStringList{QStringLiteral("n0")});
    const auto cells = [&](int nId) { // the cells of n0's row, "(bold)" marking a bold one
        const WQ::CStandardHpfTable* pTable = table(panel, nId);
        const QAbstractItemModel* pModel = pTable->view()->model();
        QStringList result;
        for (int nRow = 0; nRow < pTable->rowCount(); ++nRow) {
            for (int nColumn = 0; pTable->cellText(nRow, 9) == QStringLiteral("n0") && nColumn < 11;
                 ++nColumn) {
                const QFont font = pModel->data(pModel->index(nRow, nColumn), Qt::FontRole).value<QFont>();
                result << pTable->cellText(nRow, nColumn) + (font.bold() ? "(bold)" : "");
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
    EXPECT_EQ(processed(panel), QStringList{QStringLiteral("n0")});
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
    QWidget* pOrder = button(panel, Panel::ID_ORDER_BUTTON);
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

// Announces records in random small batches once go is set (until *pStop with pStop); with bDispatch it
// first marks them dispatched, but for remarks ending in 0. Equal seeds walk the records in equal order.
std::thread announcer(const Batch& records, unsigned nSeed, bool bDispatch, const std::atomic<bool>& go,
                      const std::atomic<bool>* pStop = nullptr)
{
    return std::thread([records, nSeed, bDispatch, &go, pStop] {
        std::mt19937 random(nSeed);
        while (!go.load())
            std::this_thread::yield();
        do {
            Batch shuffled = records;
            std::shuffle(shuffled.begin(), shuffled.end(), random);
            for (int i = 0; i < shuffled.size();) {
                Batch batch = shuffled.mid(i, 1 + static_cast<int>(random() % 4));
                i += batch.size();
                const auto staysPending = [](const auto& pData) { return pData->m_strNote.endsWith('0'); };
                if (bDispatch) {
                    batch.erase(std::remove_if(batch.begin(), batch.end(), staysPending), batch.end());
                    for (const auto& pData : batch)
                        pData->m_nStatus = 1;
                }
                CBatchOrderManager::instance()->m_sigNewDatas(batch);
            }
        } while (pStop && !pStop->load());
    });
}

// Two threads announce every record pending while two race them dispatching it: each ends in the table of
// its status. A second panel, destroyed while a fifth thread announces, drops its queued focus tasks.
TEST_F(PanelTest, ConcurrentAnnouncementsLeaveEveryRecordInTheTableOfItsStatus)
{
    for (unsigned nRound = 0; nRound < 100; ++nRound) {
        const Batch records = parsedRecords(100);
        Panel panel;
        auto pDoomed = std::make_unique<Panel>();
        pDoomed->show();
        std::atomic<bool> go{false}, stop{false};
        std::vector<std::thread> threads;
        threads.push_back(announcer(records, nRound, false, go, &stop));
        for (unsigned nSeed : {nRound * 2, nRound * 2 + 1}) {
            threads.push_back(announcer(records, nSeed, false, go));
            threads.push_back(announcer(records, nSeed, true, go));
        }
        go = true;
        EXPECT_TRUE(waitUntil([&] { // the announcements have begun
            QCoreApplication::processEvents();
            return !pending(*pDoomed).isEmpty() || !processed(*pDoomed).isEmpty();
        }));
        pDoomed.reset();
        stop = true;
        for (std::thread& thread : threads) {
            pending(panel); // the GUI thread refreshes meanwhile, as its timer does
            processed(panel);
            thread.join();
        }
        QCoreApplication::processEvents();
        ASSERT_EQ(pending(panel), notesOf(records, 0)) << "round " << nRound;
        ASSERT_EQ(processed(panel), notesOf(records, 1)) << "round " << nRound;
    }
}

// Every panel shows every record; a clear shows at once and everywhere; a new panel shows what there is
// before any refresh; a record without price type is reported and shown nowhere.
TEST_F(PanelTest, SeveralPanelsEachShowEveryRecord)
{
    auto pFirst = std::make_unique<Panel>();
    Panel second;
    m_setup.intake(orderLines(0, 3));
    EXPECT_EQ(pending(*pFirst), notes(0, 3));
    EXPECT_EQ(pending(second), notes(0, 3));
    click(second, Panel::ID_CLEAR_BUTTON);
    EXPECT_EQ(table(second, Panel::ID_PENDING_TABLE)->rowCount(), 0);
    EXPECT_EQ(table(second, Panel::ID_PROCESSED_TABLE)->rowCount(), 3);
    EXPECT_EQ(m_setup.consoleTexts().last(), QStringLiteral("[order] 用户清空当前未处理数据!"));
    EXPECT_EQ(processed(*pFirst), notes(0, 3));
    pFirst.reset();
    m_setup.intake(orderLines(3, 2) + QStringLiteral("\ncancel_order,8880000001,123456,,,,2,2\n"
                                                     "23,,10.50,600000,100,8880000001,2,2,,bare"));
    EXPECT_EQ(m_setup.consoleTexts().filter(QStringLiteral("[error] [参数错误] 报价方式为空!!")).size(), 1);
    Panel third;
    EXPECT_EQ(table(third, Panel::ID_PENDING_TABLE)->rowCount(), 2);
    EXPECT_EQ(pending(third), notes(3, 2));
    EXPECT_EQ(processed(third), QStringList{QString()} + notes(0, 3)) << "the cancel has no remark";
    EXPECT_EQ(pending(second), notes(3, 2));
}

// Columns: 0 market, 1 code, 2 name, 3 operation, 4 price type, 5 quantity, 6 price, 7 account, 8 algorithm,
// 9 remark, 10 remark 1. A row checks the cells it names, "column=text" items split by ";".
TEST_F(PanelTest, RowCellsShowTheInstruction)
{
    const auto check = [](const char* szLine, const char* szCells) {
        const CBatchOrderData data(QString::fromUtf8(szLine));
        const auto pRow = CBatchOrderTableData::build(data);
        EXPECT_EQ(pRow->qsKey(), CBatchOrderTableData::makeQsKey(data.m_nSeq));
        for (const QString& strCell : QString::fromUtf8(szCells).split(';')) {
            const int nColumn = strCell.section('=', 0, 0).toInt();
            EXPECT_EQ(pRow->getDisplayQString(nColumn).toStdString(), strCell.section('=', 1).toStdString())
                << "column " << nColumn;
        }
        return pRow;
    };
    const char* const rows[][3] = {
        {"PlainOrder", "23,0,10.5,600000,100,8880000001,2,2,策略,备注",
         "0=SH;1=600000;2=浦发银行;3=买入;4=指定价;5=100;6=10.500;7=8880000001;8=;9=备注;10="},
        {"CreditAccountTradeType", "23,0,10.5,600000,100,8880000003,3,11", "3=担保品买入;7=8880000003"},
        {"PriceType9003IsTheAlgorithmProvider", "23,9003,10.5,600000,100,8880000001,2,2",
         "4=无效报价;8=第三方算法"},
        {"AlgorithmSetting", "23,2004,10.5,600000,100,8880000001,2,2", "4=最新价;8=跟量"},
        {"CodeKnownOnShenzhenOnly", "23,0,10,000001,100,8880000001,2,2", "0=SZ;1=000001;2=平安银行"},
        {"LowerCaseMarketPrefix", "23,0,10,sh600000,100,8880000001,2,2", "0=SH;1=600000;2=浦发银行"},
        {"CrossMarketEtfStaysUnresolved", "23,0,10,510300,100,8880000001,2,2", "0=;1=;2=;4=指定价"},
        {"CombinationShowsWholeCodeAndFirstMarket", "138,0,1,SH600000/SZ000001,100,8880000001,2,2",
         "0=SH;1=SH600000/SZ000001;2=-"},
        {"CashOperationShowsCodeAsWritten", "502,0,100,600000,100,8880000001,2,2",
         "0=;1=600000;2=;4=人民币;5=100"},
        {"CancelShowsItsTextsAsWritten", "cancel_order,8880000001,123456,,,,2,2",
         "0=;1=;2=;3=cancel_order;4=8880000001;5=;6=123456;8="},
        {"TaskShowsItsTextsAsWritten", "209,任务参数", "3=209;4=任务参数;5=;6=;8="},
        {"PriceThatIsNoNumberIsZero", "23,0,abc,600000,100,8880000001,2,2", "6=0.000"},
        {"PriceTheFormatterRejects", "23,0,inf,600000,100,8880000001,2,2", "6=非法值"},
        {"UnknownAccountIsEmpty", "23,0,1,600000,100,9999999999,2,2", "7="},
        {"MissingVolumeIsNotAHugeNumber", "23,0,10.5,600000", "5=-1"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        check(row[1], row[2]);
    }
    // A saved algorithm setting names the algorithm and sets the price type, not the DBF table.
    QString strError;
    ASSERT_TRUE(m_host.userConfig().setDbfAlgoParams(
        {CDbfAlgoParam{QStringLiteral("2001"), QStringLiteral("时间加权"), 24, ttservice::PRTP_MARKET}},
        strError));
    EXPECT_EQ(check("23,2001,10.5,600000,100,8880000001,2,2", "4=市价;8=时间加权")->getInt(8), 24);
    // The row key is right-aligned in eight characters.
    for (const auto& [nSeq, szKey] : {std::pair<int32_t, const char*>{7, "       7"},
                                      {12345678, "12345678"},
                                      {123456789, "123456789"},
                                      {-1, "      -1"}}) {
        CBatchOrderTableData data;
        data.m_nSeq = nSeq;
        EXPECT_EQ(data.key() + '|' + data.qsKey().toStdString(), szKey + ('|' + std::string(szKey)));
    }
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
