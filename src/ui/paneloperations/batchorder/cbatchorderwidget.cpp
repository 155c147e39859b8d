#include "cbatchorderwidget.h"

#include "cbatchorderdata.h"
#include "cbatchorderlazytabledata.h"
#include "cbatchordermanager.h"
#include "cbatchordermessageconsole.h"
#include "cbatchordersettingdialog.h"
#include "cbatchordertabledata.h"
#include "cbatchordertablemodel.h"
#include "runinmainthread.h"

#include "config/luamodulectrl.h"
#include "ui/cautoexpandtoolbar.h"
#include "ui/cpushbutton.h"
#include "ui/csmallnonormalbutton.h"
#include "ui/csmallnormalbutton.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cstandardhpftable.h"
#include "ui/cstandardtabcontrol.h"
#include "ui/cuiresource.h"

#include <boost/make_shared.hpp>

#include <QCoreApplication>
#include <QResizeEvent>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <mutex>

namespace TC {

// What an announcement on another thread may reach of a panel: the panel itself while it lives.
// The slot holds the mutex while it places rows; the destructor takes it to clear the pointer, so
// once the destructor has it no announcement is inside the panel and none will enter.
class CBatchOrderWidgetGuard
{
public:
    std::recursive_mutex m_mutex;
    CBatchOrderWidget* m_pPanel = nullptr;
    // A focus task is queued to the GUI thread and has not run yet; announcements from other threads
    // then need not queue another, the queued one runs after them.
    std::atomic<bool> m_bFocusQueued{false};
};

namespace {

const int kRefreshIntervalMs = 500;
const int kMenuFlags = 511;
const int kBottomStrip = 46;
const int kOrderButtonWidth = 90;
const int kOrderButtonHeight = 36;
const int kConsoleWidth = 210;
const int kNoteColumn = 9;
const int kNote1Column = 10;

bool onGuiThread()
{
    const QCoreApplication* pApp = QCoreApplication::instance();
    return !pApp || QThread::currentThread() == pApp->thread();
}

bool moduleAvailable(const char* szModule)
{
    return luawrapper::LuaModuleCtrl::instance()->checkModule(
        {QStringLiteral("mdl_order"), QString::fromLatin1(szModule)}, false);
}

} // namespace

CBatchOrderWidget::CBatchOrderWidget(QWidget* pParent)
    : WQ::CBaseWidget(QStringLiteral("batch_order"), false, pParent),
      m_pGuard(boost::make_shared<CBatchOrderWidgetGuard>())
{
    createUi();
    m_pGuard->m_pPanel = this;
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (pManager) {
        m_connection = pManager->m_sigNewDatas.connect(
            [pGuard = m_pGuard](const QVector<boost::shared_ptr<CBatchOrderData>>& datas) {
                std::lock_guard<std::recursive_mutex> lock(pGuard->m_mutex);
                if (pGuard->m_pPanel) {
                    pGuard->m_pPanel->onNewDatas(datas);
                }
            });
    }
    m_pTimer = new QTimer();
    connect(m_pTimer, SIGNAL(timeout()), this, SLOT(slotTimeout()));
    m_pTimer->start(kRefreshIntervalMs);

    if (!m_pPendingTable || !m_pProcessedTable) {
        return;
    }
    if (!moduleAvailable("mdl_order_command_remark")) {
        hideColumn(kNoteColumn);
    }
    if (!moduleAvailable("mdl_order_command_remark_extra")) {
        hideColumn(kNote1Column);
    }
    for (WQ::CStandardHpfTable* pTable : {m_pPendingTable, m_pProcessedTable}) {
        pTable->setColumnBoldFont(5, true);
        pTable->setColumnBoldFont(6, true);
    }
    // Announcements since the connection above may already have placed some of these rows; placing a
    // record again by its current status keeps it in one table.
    onNewDatas(pManager ? pManager->getAllDatas() : QVector<boost::shared_ptr<CBatchOrderData>>());
    // The rows the panel opens with are shown at once, not at the first refresh.
    slotTimeout();
}

CBatchOrderWidget::~CBatchOrderWidget()
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_pGuard->m_mutex);
        m_pGuard->m_pPanel = nullptr;
    }
    m_connection.disconnect();
    QObject::disconnect(this, nullptr, nullptr, nullptr);
    delete m_pTimer;
    m_pTimer = nullptr;
    delete m_pSettingDialog;
    m_pSettingDialog = nullptr;
    // The tables go before the models they show.
    delete m_pSplitContainer;
    m_pSplitContainer = nullptr;
    m_pTabControl = nullptr;
    m_pPendingTable = nullptr;
    m_pProcessedTable = nullptr;
    m_pConsole = nullptr;
    delete m_pPendingModel;
    m_pPendingModel = nullptr;
    delete m_pProcessedModel;
    m_pProcessedModel = nullptr;
}

void CBatchOrderWidget::createUi()
{
    m_pSplitContainer = new WQ::CSplitButtonContainer(WQ::CSplitButtonContainer::SPLITTER_HORIZONTAL,
                                                      WQ::CSplitButtonContainer::BUTTON_STYLE_TAB, 2,
                                                      WQ::CSplitButtonContainer::BUTTON_ALIGN_CENTER, this);
    m_pTabControl = new WQ::CStandardTabControl(m_pSplitContainer);
    m_pPendingModel = new CBatchOrderTableModel();
    m_pPendingTable = new WQ::CStandardHpfTable(ID_PENDING_TABLE, m_pTabControl, kMenuFlags);
    m_pPendingTable->setDataModel(m_pPendingModel);
    m_pTabControl->addTabWidget(QStringLiteral("待处理"), m_pPendingTable, nullptr);
    m_pProcessedModel = new CBatchOrderTableModel();
    m_pProcessedTable = new WQ::CStandardHpfTable(ID_PROCESSED_TABLE, m_pTabControl, kMenuFlags);
    m_pProcessedTable->setDataModel(m_pProcessedModel);
    m_pTabControl->addTabWidget(QStringLiteral("已处理"), m_pProcessedTable, nullptr);

    m_pConsole = new CBatchOrderMessageConsole(m_pSplitContainer);
    m_pSplitContainer->openAndClose(false, false);
    m_pSplitContainer->setSplitterInfo(0, QString());
    m_pSplitContainer->setSplitterVisible(true);
    m_pSplitContainer->addChildWidget(m_pTabControl, m_pConsole, true, kConsoleWidth);

    m_pOrderButton =
        new WQ::CSmallNormalButton(ID_ORDER_BUTTON, false, this, WQ::CSmallNormalButton::BUTTON_TYPE_PRIMARY);
    m_pOrderButton->setText(QStringLiteral("下单"));
    m_pOrderButton->setTextFontKey(QStringLiteral("tc_fnt_operation_btn_text_option"));

    m_pToolBar = new WQ::CAutoExpandToolBar(this, 24);
    const int nButtonHeight =
        WQ::CUiResource::instance()->getSize(QStringLiteral("tc_siz_account_btn_height"));
    auto addTextButton = [this, nButtonHeight](int nId, const QString& strText, int nWidth) {
        auto* pButton = new WQ::CSmallNoNormalButton(nId, false, m_pToolBar, false);
        pButton->setText(strText);
        pButton->setTextFontKey(QStringLiteral("fnt_default_normal_fix"));
        pButton->setFixedSize(nWidth, nButtonHeight);
        m_pToolBar->addToolItem(pButton, false);
    };
    addTextButton(ID_CLEAR_BUTTON, QStringLiteral("清空待处理"), 70);
    addTextButton(ID_CONSOLE_BUTTON, QStringLiteral("执行信息"), 60);
    m_pToolBar->addFixedSpace(5);
    m_pToolBar->addSeperator();
    m_pToolBar->addToolItem(
        new WQ::CPushButton(QStringLiteral("tc_img_btn_set_small"), ID_SETTING_BUTTON, m_pToolBar), false);
}

void CBatchOrderWidget::hideColumn(int nColumn)
{
    for (WQ::CStandardHpfTable* pTable : {m_pPendingTable, m_pProcessedTable}) {
        pTable->setColumnVisible(nColumn, false);
        pTable->setColListVisible(nColumn, false);
    }
}

void CBatchOrderWidget::onNewDatas(const QVector<boost::shared_ptr<CBatchOrderData>>& datas)
{
    std::lock_guard<std::recursive_mutex> lock(m_pGuard->m_mutex);
    if (!m_pPendingModel || !m_pProcessedModel) {
        return;
    }
    for (const boost::shared_ptr<CBatchOrderData>& pData : datas) {
        if (!pData) {
            continue;
        }
        // The status now, not the one announced: a later announcement of the record may have been
        // placed already, and the last placement must leave the row where the record stands.
        const int32_t nStatus = pData->m_nStatus;
        const QString strKey = CBatchOrderTableData::makeQsKey(pData->m_nSeq);
        boost::shared_ptr<WQ::IBaseHpfTableData> pRow = m_pPendingModel->getDataByKey(strKey);
        const bool bInPending = pRow != nullptr;
        if (nStatus == 0 ? bInPending : !bInPending && m_pProcessedModel->getDataByKey(strKey)) {
            continue; // already where it belongs; a record never returns to pending
        }
        if (!pRow) {
            if (pData->m_strPriceType.isEmpty()) {
                CBatchOrderTableData::build(*pData); // reports it; the record is shown in neither table
                continue;
            }
            pRow = boost::make_shared<CBatchOrderLazyTableData>(pData, strKey);
        }
        if (nStatus == 0) {
            m_pPendingModel->addData(pRow);
        } else {
            m_pPendingModel->removeData(pRow);
            m_pProcessedModel->addData(pRow);
        }
    }
    focusOrderButton();
}

void CBatchOrderWidget::focusOrderButton()
{
    WQ::CSmallNormalButton* pButton = m_pOrderButton;
    if (!pButton) {
        return;
    }
    // Called with the guard held, so the button outlives the queuing; a queued task is tied to the
    // button and dropped with it.
    const bool bQueued = !onGuiThread();
    if (bQueued && m_pGuard->m_bFocusQueued.exchange(true)) {
        return;
    }
    runInMainThread(
        [pButton, pGuard = m_pGuard, bQueued] {
            if (bQueued) {
                pGuard->m_bFocusQueued = false;
            }
            pButton->setFocus();
        },
        pButton);
}

bool CBatchOrderWidget::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    if (nType == WQ::EVENT_BUTTON_CLICKED) {
        handlePushButtonClicked(nId, strText);
        return true;
    }
    return WQ::CBaseWidget::handleEvent(nType, nId, nParam, strText, pData);
}

void CBatchOrderWidget::handlePushButtonClicked(int nId, const QString& strText)
{
    Q_UNUSED(strText);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    switch (nId) {
    case ID_ORDER_BUTTON:
        if (pManager) {
            pManager->showMsg(MSG_LEVEL_ORDER, QStringLiteral("用户手动触发下单按钮!"), true);
            pManager->tryOrder();
        }
        break;
    case ID_SETTING_BUTTON:
        if (!m_pSettingDialog) {
            m_pSettingDialog = new CBatchOrderSettingDialog(nullptr);
        }
        m_pSettingDialog->show();
        m_pSettingDialog->raise();
        m_pSettingDialog->refreshUi();
        break;
    case ID_CLEAR_BUTTON:
        if (m_pPendingTable && pManager) {
            // The manager announces the cleared records on this thread before it returns, and they
            // move to the processed table then. Emptying the whole pending model here instead could
            // drop a record that arrived meanwhile and is still pending.
            pManager->clearPending();
            m_pPendingTable->updateTable();
            if (m_pProcessedTable) {
                m_pProcessedTable->updateTable();
            }
        }
        break;
    case ID_CONSOLE_BUTTON:
        if (m_pSplitContainer) {
            m_pSplitContainer->openAndClose(false, !m_pSplitContainer->isOpen(false));
        }
        break;
    default:
        break;
    }
}

void CBatchOrderWidget::resizeEvent(QResizeEvent* pEvent)
{
    WQ::CBaseWidget::resizeEvent(pEvent);
    const int nWidth = pEvent->size().width();
    const int nHeight = pEvent->size().height();
    int nX = 0;
    int nY = 0;
    if (m_pSplitContainer) {
        m_pSplitContainer->setGeometry(0, 0, nWidth, nHeight - kBottomStrip);
        nY = m_pSplitContainer->height() + 5;
    }
    if (m_pOrderButton) {
        m_pOrderButton->setGeometry(5, nY, kOrderButtonWidth, kOrderButtonHeight);
        nX = m_pOrderButton->width() + 20;
        nY += 12;
    }
    if (m_pToolBar) {
        m_pToolBar->setGeometry(nX, nY, nWidth - nX, 22);
    }
}

void CBatchOrderWidget::slotTimeout()
{
    const std::pair<WQ::CStandardHpfTable*, CBatchOrderTableModel*> tables[] = {
        {m_pPendingTable, m_pPendingModel}, {m_pProcessedTable, m_pProcessedModel}};
    for (const auto& table : tables) {
        if (table.first && table.second && table.second->updated()) {
            table.second->setUpdated(false);
            table.first->updateTable();
        }
    }
}

} // namespace TC
