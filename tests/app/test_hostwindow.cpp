// The host's window and journal view, in-process on the offscreen platform.
#include "chostmainwindow.h"
#include "cjournalentry.h"
#include "cjournalview.h"

#include "cbatchordermanager.h"
#include "cbatchorderwidget.h"

#include "common/ctestmanager.h"
#include "config/cuserconfig.h"
#include "trading/corderjournal.h"
#include "ui/cdbfalgoparamssettingdialog.h"
#include "ui/cpushbutton.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cstandardhpftable.h"
#include "ui/cuiresource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDockWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace TC;

namespace {

COrderParam order(const char* szCode, int nVolume, double dPrice, const char* szNote)
{
    COrderParam param;
    param.m_nOrderType = 23;
    param.m_nStrategyNo = 999;
    param.m_strAccountKey = QStringLiteral("2____10____0____2____8880000001");
    param.m_strNote = szNote;
    COrderSingleParam single;
    single.m_strStockCode = szCode;
    single.m_nVolume = nVolume;
    single.m_dPrice = dPrice;
    single.m_nPriceType = 11;
    param.m_singleParams.append(single);
    return param;
}

class JournalViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString strError;
        ASSERT_TRUE(m_journal.open(path(), strError)) << strError.toStdString();
    }
    QString path() const { return m_dir.filePath(QStringLiteral("orders.db")); }
    static QStringList row(const CJournalView& view, int nRow)
    {
        QStringList cells;
        for (int nColumn = CJournalEntry::COLUMN_KIND; nColumn < CJournalEntry::COLUMN_COUNT; ++nColumn)
            cells << view.table()->cellText(nRow, nColumn);
        cells.removeAt(CJournalEntry::COLUMN_TIME - 1); // the time of day varies
        return cells;
    }

    QTemporaryDir m_dir;
    COrderJournal m_journal;
};

TEST_F(JournalViewTest, ShowsWhatTheBrokerWasHandedNewestFirst)
{
    CJournalView view(path());
    EXPECT_EQ(view.table()->rowCount(), 0);
    const qint64 nBatch = m_journal.recordBatch(
        999, {order("600000", 100, 10.5, "first"), order("000001", 200, 9.87654, "second")});
    ASSERT_GT(nBatch, 0);
    ASSERT_TRUE(m_journal.recordCancel("cancel_order", "8880000001", "123456", false));
    ASSERT_TRUE(m_journal.recordTask("208", "daily-close"));
    while (view.poll()) {
    }
    ASSERT_EQ(view.table()->rowCount(), 4);
    const QString strBatch = QString::number(nBatch);
    // kind, batch, account, code, volume, price, price type, note
    const QList<QStringList> expected = {
        {"任务", "", "", "", "", "", "", "208 daily-close"},
        {"撤单", "", "8880000001", "", "", "", "", "撤委托 123456 (cancel_order)"},
        {"委托", strBatch, "8880000001", "000001", "200", "9.877", "指定价", "second"},
        {"委托", strBatch, "8880000001", "600000", "100", "10.500", "指定价", "first"},
    };
    for (int nRow = 0; nRow < expected.size(); ++nRow)
        EXPECT_EQ(row(view, nRow), expected[nRow]) << nRow;
    EXPECT_EQ(view.table()->cellText(0, CJournalEntry::COLUMN_TIME).size(), 12) << "hh:mm:ss.zzz";
}

TEST_F(JournalViewTest, CatchesUpInChunksAndKeepsTheNewestEntries)
{
    const int nBacklog = CJournalView::kKeptEntries + 700;
    QVector<COrderParam> orders;
    for (int i = 0; i < nBacklog; ++i)
        orders.append(order("600000", i + 1, 10.0, "backlog"));
    ASSERT_GT(m_journal.recordBatch(999, orders), 0);
    CJournalView view(path()); // reads its first chunk at once
    int nReads = 1;
    do {
        ++nReads;
    } while (view.poll());
    EXPECT_EQ(nReads, CJournalView::kKeptEntries / CJournalView::kChunk) << "older entries are not read";
    EXPECT_EQ(view.table()->rowCount(), CJournalView::kKeptEntries);
    EXPECT_EQ(view.table()->cellText(0, CJournalEntry::COLUMN_VOLUME), QString::number(nBacklog));

    ASSERT_GT(m_journal.recordBatch(999, {order("000001", 7, 1.0, "live")}), 0);
    EXPECT_FALSE(view.poll());
    EXPECT_EQ(view.table()->rowCount(), CJournalView::kKeptEntries) << "the oldest entry made room";
    EXPECT_EQ(view.table()->cellText(0, CJournalEntry::COLUMN_NOTE), QStringLiteral("live"));
}

// A host with its journal and a manager, as batchorder-host has them when it opens its window.
class HostWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pHost = std::make_unique<CTestHost>(CTestHost::JOURNAL_SERVICE);
        CBatchOrderManager::initInstance(nullptr);
    }
    void TearDown() override
    {
        m_pWindow.reset();
        CBatchOrderManager* pManager = CBatchOrderManager::instance();
        pManager->stopFileMonitor();
        drainBatchOrderStrand();
        QCoreApplication::processEvents();
        CBatchOrderManager::m_pInstance = nullptr;
        delete pManager;
        m_pHost.reset();
        WQ::CUiResource::instance()->setTheme(WQ::CUiResource::THEME_DARK);
    }
    CHostMainWindow& openWindow()
    {
        m_pWindow = std::make_unique<CHostMainWindow>(m_pHost->journalPath());
        return *m_pWindow;
    }
    WQ::CSplitButtonContainer* console() const
    {
        return m_pWindow->panel()->findChild<WQ::CSplitButtonContainer*>();
    }
    std::unique_ptr<CTestHost> m_pHost;
    std::unique_ptr<CHostMainWindow> m_pWindow;
};

// The theme reaches every widget, the window's own parts too; theme, geometry, dock and console are
// remembered for the next window.
TEST_F(HostWindowTest, ThemeGeometryDockAndConsoleAreAppliedAndRemembered)
{
    CHostMainWindow& window = openWindow();
    WQ::CUiResource* pResource = WQ::CUiResource::instance();
    const QColor darkPanel = pResource->getColor(QStringLiteral("clr_panel_background"));
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), darkPanel);
    window.setLightTheme(true);
    EXPECT_EQ(pResource->theme(), WQ::CUiResource::THEME_LIGHT);
    const QColor lightPanel = pResource->getColor(QStringLiteral("clr_panel_background"));
    EXPECT_NE(lightPanel, darkPanel);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), lightPanel);
    EXPECT_TRUE(m_pHost->userConfig().getUserDataBool(USER_HOST_THEME_LIGHT));
    window.resize(1000, 640);
    window.findChild<QDockWidget*>()->hide();
    EXPECT_FALSE(console()->isOpen(false)) << "closed until the user opens it";
    QTest::mouseClick(control<WQ::CPushButton>(window.panel(), CBatchOrderWidget::ID_CONSOLE_BUTTON),
                      Qt::LeftButton);
    console()->setSecondSize(333);
    m_pWindow.reset();
    pResource->setTheme(WQ::CUiResource::THEME_DARK);

    CHostMainWindow& again = openWindow();
    EXPECT_EQ(pResource->theme(), WQ::CUiResource::THEME_LIGHT);
    EXPECT_EQ(again.size(), QSize(1000, 640));
    EXPECT_TRUE(again.findChild<QDockWidget*>()->isHidden());
    EXPECT_TRUE(console()->isOpen(false));
    EXPECT_EQ(console()->secondSize(), 333);
}

TEST_F(HostWindowTest, StatusBarShowsMonitoringFileAndPendingCount)
{
    m_pHost->userConfig().setUserDataString(USER_BATCH_ORDER_FILE_PATH, QStringLiteral("/收件/orders.csv"),
                                            false);
    CHostMainWindow& window = openWindow();
    EXPECT_EQ(window.statusText(), QStringLiteral("○ 未监控 | 指令文件: /收件/orders.csv | 待处理指令: 0"));
    m_pHost->orderService().addBatchOrderStrategy(999);
    ASSERT_TRUE(CBatchOrderManager::instance()->shortcutOrder(
        QStringLiteral("BatchOrder:23,0,10.5,600000,100,8880000001,2,2\n24,0,9,000001,100,8880000001,2,2")));
    drainBatchOrderStrand();
    control<WQ::CStandardHpfTable>(window.panel(), CBatchOrderWidget::ID_PENDING_TABLE)
        ->updateTable(); // a tick
    window.updateStatus();
    EXPECT_EQ(window.statusText(), QStringLiteral("● 监控中 | 指令文件: /收件/orders.csv | 待处理指令: 2"));
}

TEST_F(HostWindowTest, MenuOpensTheSettingsAndTheAlgorithmDialogOnceEach)
{
    CHostMainWindow& window = openWindow();
    window.openSettings();
    window.openSettings();
    int nSettings = 0;
    for (QWidget* pWidget : QApplication::topLevelWidgets())
        nSettings += pWidget->isVisible() && pWidget->windowTitle() == QStringLiteral("设置") ? 1 : 0;
    EXPECT_EQ(nSettings, 1) << "the panel's own dialog, reused";
    window.openAlgoParams();
    window.openAlgoParams();
    EXPECT_EQ(window.findChildren<CDbfAlgoParamsSettingDialog*>().size(), 1);
    EXPECT_TRUE(window.findChild<CDbfAlgoParamsSettingDialog*>()->isVisible());
}

} // namespace
