#include "chostmainwindow.h"

#include "cbatchorderwidget.h"
#include "cjournalview.h"

#include "config/cuserconfig.h"
#include "trading/corderservice.h"
#include "ui/cdbfalgoparamssettingdialog.h"
#include "ui/cpushbutton.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cstandardhpftable.h"
#include "ui/cuiresource.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace TC {

namespace {

// Ids of the panel's controls the window drives, as the panel defines them.
const int kPanelSettingButton = 3;
const int kPanelPendingTable = 12;
const int kStatusIntervalMs = 500;
const int kBatchOrderStrategy = 999;

QString userString(EUserMember eMember)
{
    const CUserConfig* pConfig = getUserConfig();
    return pConfig ? pConfig->getUserDataString(eMember) : QString();
}

void setUserString(EUserMember eMember, const QString& strValue)
{
    if (CUserConfig* pConfig = getUserConfig()) {
        pConfig->setUserDataString(eMember, strValue, false);
    }
}

// The application palette of a theme: which resource colour each role takes.
const struct
{
    QPalette::ColorGroup m_eGroup;
    QPalette::ColorRole m_eRole;
    const char* m_szKey;
} s_paletteRoles[] = {
    {QPalette::All, QPalette::Window, "clr_panel_background"},
    {QPalette::All, QPalette::WindowText, "clr_text_default"},
    {QPalette::All, QPalette::Base, "clr_input_background"},
    {QPalette::All, QPalette::AlternateBase, "clr_table_alternate_background"},
    {QPalette::All, QPalette::Text, "clr_text_default"},
    {QPalette::All, QPalette::Button, "clr_button_background"},
    {QPalette::All, QPalette::ButtonText, "clr_button_text"},
    {QPalette::All, QPalette::Highlight, "clr_table_selection"},
    {QPalette::All, QPalette::HighlightedText, "clr_title_text"},
    {QPalette::All, QPalette::ToolTipBase, "clr_dialog_background"},
    {QPalette::All, QPalette::ToolTipText, "clr_text_default"},
    {QPalette::All, QPalette::Mid, "clr_border_default"},
    {QPalette::All, QPalette::Dark, "clr_border_default"},
    {QPalette::Disabled, QPalette::WindowText, "clr_text_disabled"},
    {QPalette::Disabled, QPalette::Text, "clr_text_disabled"},
    {QPalette::Disabled, QPalette::ButtonText, "clr_text_disabled"},
};

template <class T> T* childWithId(const QWidget* pParent, int nId)
{
    for (T* pChild : pParent->findChildren<T*>()) {
        if (pChild->id() == nId) {
            return pChild;
        }
    }
    return nullptr;
}

} // namespace

CHostMainWindow::CHostMainWindow(const QString& strJournalPath, QWidget* pParent) : QMainWindow(pParent)
{
    const CUserConfig* pConfig = getUserConfig();
    // The theme first, so that every widget is built in it.
    WQ::CUiResource::instance()->setTheme(pConfig && pConfig->getUserDataBool(USER_HOST_THEME_LIGHT)
                                              ? WQ::CUiResource::THEME_LIGHT
                                              : WQ::CUiResource::THEME_DARK);
    setWindowTitle(QStringLiteral("批量下单 - batchorder-host"));
    setObjectName(QStringLiteral("host_main_window"));

    m_pPanel = new CBatchOrderWidget(this);
    setCentralWidget(m_pPanel);

    m_pJournalDock = new QDockWidget(QStringLiteral("委托流水"), this);
    m_pJournalDock->setObjectName(QStringLiteral("journal_dock"));
    m_pJournalDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable);
    m_pJournalView = new CJournalView(strJournalPath, m_pJournalDock);
    m_pJournalDock->setWidget(m_pJournalView);
    addDockWidget(Qt::BottomDockWidgetArea, m_pJournalDock);

    createMenus();
    createStatusBar();
    themeChanged();
    resize(1280, 760);
    resizeDocks({m_pJournalDock}, {200}, Qt::Vertical);
    restoreLayout();

    m_pStatusTimer = new QTimer(this);
    connect(m_pStatusTimer, &QTimer::timeout, this, &CHostMainWindow::updateStatus);
    m_pStatusTimer->start(kStatusIntervalMs);
    updateStatus();
}

CHostMainWindow::~CHostMainWindow()
{
    saveLayout();
}

void CHostMainWindow::createMenus()
{
    QMenu* pOrderMenu = menuBar()->addMenu(QStringLiteral("批量下单(&B)"));
    QAction* pSettings =
        pOrderMenu->addAction(QStringLiteral("设置..."), this, &CHostMainWindow::openSettings);
    pSettings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    pOrderMenu->addAction(QStringLiteral("批量下单参数设置..."), this, &CHostMainWindow::openAlgoParams);
    pOrderMenu->addSeparator();
    QAction* pQuit = pOrderMenu->addAction(QStringLiteral("退出"), qApp, &QCoreApplication::quit);
    pQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* pViewMenu = menuBar()->addMenu(QStringLiteral("视图(&V)"));
    auto* pThemes = new QActionGroup(this);
    m_pDarkAction = pViewMenu->addAction(QStringLiteral("深色主题"), this, [this] { setLightTheme(false); });
    m_pLightAction = pViewMenu->addAction(QStringLiteral("浅色主题"), this, [this] { setLightTheme(true); });
    for (QAction* pAction : {m_pDarkAction, m_pLightAction}) {
        pAction->setCheckable(true);
        pThemes->addAction(pAction);
    }
    const bool bLight = WQ::CUiResource::instance()->theme() == WQ::CUiResource::THEME_LIGHT;
    (bLight ? m_pLightAction : m_pDarkAction)->setChecked(true);
    pViewMenu->addSeparator();
    pViewMenu->addAction(m_pJournalDock->toggleViewAction());
}

void CHostMainWindow::createStatusBar()
{
    m_pMonitorLabel = new QLabel(this);
    m_pPathLabel = new QLabel(this);
    m_pPendingLabel = new QLabel(this);
    m_pPathLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(m_pMonitorLabel);
    statusBar()->addWidget(m_pPathLabel, 1);
    statusBar()->addPermanentWidget(m_pPendingLabel);
}

void CHostMainWindow::openSettings()
{
    // Through the panel's own button: one dialog per panel, refreshed at every show.
    if (auto* pButton = childWithId<WQ::CPushButton>(m_pPanel, kPanelSettingButton)) {
        pButton->click();
    }
}

void CHostMainWindow::openAlgoParams()
{
    if (!m_pAlgoParamsDialog) {
        m_pAlgoParamsDialog = new CDbfAlgoParamsSettingDialog(this);
    }
    m_pAlgoParamsDialog->show();
    m_pAlgoParamsDialog->raise();
}

void CHostMainWindow::setLightTheme(bool bLight)
{
    if (CUserConfig* pConfig = getUserConfig()) {
        pConfig->setUserDataBool(USER_HOST_THEME_LIGHT, bLight, false);
    }
    (bLight ? m_pLightAction : m_pDarkAction)->setChecked(true);
    // Every toolkit widget restyles itself, this window included.
    WQ::CUiResource::instance()->setTheme(bLight ? WQ::CUiResource::THEME_LIGHT
                                                 : WQ::CUiResource::THEME_DARK);
}

void CHostMainWindow::themeChanged()
{
    // The window's own parts (menus, dock title, status bar) are plain Qt widgets: they follow the
    // application palette, built from the theme's colours.
    const WQ::CUiResource* pRes = WQ::CUiResource::instance();
    QPalette pal = QApplication::palette();
    for (const auto& role : s_paletteRoles) {
        pal.setColor(role.m_eGroup, role.m_eRole, pRes->getColor(QString::fromLatin1(role.m_szKey)));
    }
    QApplication::setPalette(pal);
    setStyleSheet(QStringLiteral("QMainWindow::separator {background: %1; width: 3px; height: 3px;}"
                                 "QDockWidget::title {background: %2; padding: 4px 6px;}"
                                 "QStatusBar {border-top: 1px solid %1;}")
                      .arg(pRes->getColorSheetByKey(QStringLiteral("clr_splitter")),
                           pRes->getColorSheetByKey(QStringLiteral("clr_title_background"))));
    updateStatus();
}

void CHostMainWindow::updateStatus()
{
    if (!m_pMonitorLabel) {
        return;
    }
    const COrderService* pService = utils::CManualSingletonT<COrderService>::instance();
    const bool bMonitoring = pService && pService->isStrategyRunning(kBatchOrderStrategy);
    const WQ::CUiResource* pRes = WQ::CUiResource::instance();
    m_pMonitorLabel->setText(bMonitoring ? QStringLiteral("● 监控中") : QStringLiteral("○ 未监控"));
    m_pMonitorLabel->setStyleSheet(
        QStringLiteral("color: %1;")
            .arg(pRes->getColorSheetByKey(bMonitoring ? QStringLiteral("clr_confirm_orange")
                                                      : QStringLiteral("clr_text_secondary"))));
    const QString strPath = userString(USER_BATCH_ORDER_FILE_PATH);
    m_pPathLabel->setText(
        QStringLiteral("指令文件: %1").arg(strPath.isEmpty() ? QStringLiteral("(未设置)") : strPath));
    const auto* pPending = childWithId<WQ::CStandardHpfTable>(m_pPanel, kPanelPendingTable);
    m_pPendingLabel->setText(QStringLiteral("待处理指令: %1").arg(pPending ? pPending->rowCount() : 0));
}

QString CHostMainWindow::statusText() const
{
    return QStringList{m_pMonitorLabel->text(), m_pPathLabel->text(), m_pPendingLabel->text()}.join(
        QStringLiteral(" | "));
}

WQ::CSplitButtonContainer* CHostMainWindow::consoleContainer() const
{
    return m_pPanel ? m_pPanel->findChild<WQ::CSplitButtonContainer*>() : nullptr;
}

void CHostMainWindow::restoreLayout()
{
    const QByteArray geometry = QByteArray::fromBase64(userString(USER_HOST_WINDOW_GEOMETRY).toLatin1());
    if (!geometry.isEmpty()) {
        restoreGeometry(geometry);
    }
    const QByteArray state = QByteArray::fromBase64(userString(USER_HOST_WINDOW_STATE).toLatin1());
    if (!state.isEmpty()) {
        restoreState(state);
    }
    const CUserConfig* pConfig = getUserConfig();
    if (WQ::CSplitButtonContainer* pConsole = consoleContainer()) {
        const int nWidth = userString(USER_HOST_CONSOLE_WIDTH).toInt();
        if (nWidth > 0) {
            pConsole->setSecondSize(nWidth);
        }
        pConsole->openAndClose(false, pConfig && pConfig->getUserDataBool(USER_HOST_CONSOLE_OPEN));
    }
}

void CHostMainWindow::saveLayout()
{
    setUserString(USER_HOST_WINDOW_GEOMETRY, QString::fromLatin1(saveGeometry().toBase64()));
    setUserString(USER_HOST_WINDOW_STATE, QString::fromLatin1(saveState().toBase64()));
    if (const WQ::CSplitButtonContainer* pConsole = consoleContainer()) {
        if (CUserConfig* pConfig = getUserConfig()) {
            pConfig->setUserDataBool(USER_HOST_CONSOLE_OPEN, pConsole->isOpen(false), false);
        }
        setUserString(USER_HOST_CONSOLE_WIDTH, QString::number(pConsole->secondSize()));
    }
}

void CHostMainWindow::closeEvent(QCloseEvent* pEvent)
{
    // Saved while the window is still shown: its geometry then is the one to come back to.
    saveLayout();
    QMainWindow::closeEvent(pEvent);
    // The host ends with its window, even while a settings dialog of its own is still open.
    QCoreApplication::quit();
}

} // namespace TC
