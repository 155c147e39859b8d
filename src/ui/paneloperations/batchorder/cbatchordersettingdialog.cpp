#include "cbatchordersettingdialog.h"

#include "batchordercommon.h"
#include "cbatchordermanager.h"

#include "config/cuserconfig.h"
#include "ui/ccheckbox.h"
#include "ui/cdbfalgoparamssettingdialog.h"
#include "ui/clineedit.h"
#include "ui/cshortcutkeylineedit.h"
#include "ui/cshortcutmanager.h"
#include "ui/csimpletextwidget.h"
#include "ui/csmallnormalbutton.h"
#include "ui/cuiresource.h"
#include "ui/cwidgetlist.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>

namespace TC {

namespace {

const int kRowHeight = 22;
const int kShortcutEditWidth = 100;

bool monitoring()
{
    const COrderService* pService = orderService();
    return pService && pService->isStrategyRunning(kBatchOrderStrategy);
}

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

// The order key of the user settings, handed to the manager.
void applyOrderKey()
{
    if (CBatchOrderManager* pManager = CBatchOrderManager::instance()) {
        pManager->setOrderSequence(
            QKeySequence(userString(USER_BATCH_ORDER_SHORTCUT_KEY), QKeySequence::NativeText));
    }
}

void report(const QString& strText)
{
    if (CBatchOrderManager* pManager = CBatchOrderManager::instance()) {
        pManager->showMsg(MSG_LEVEL_SYSTEM, strText, true);
    }
}

WQ::CWidgetList* createRow(QWidget* pParent, int nHeight)
{
    auto* pRow = new WQ::CWidgetList(Qt::Horizontal, pParent);
    pRow->setMargin(0);
    pRow->setSpacing(0);
    pRow->setFixedHeight(nHeight);
    return pRow;
}

} // namespace

CBatchOrderSettingDialog::CBatchOrderSettingDialog(QWidget* pParent) : WQ::CCommonDialog(pParent)
{
    setTitle(QStringLiteral("设置"));
    resize(600, 280);
    createUi();
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    refreshUi();
}

CBatchOrderSettingDialog::~CBatchOrderSettingDialog()
{
    if (!m_pAlgoParamsDialog) {
        return;
    }
    disconnect(m_pAlgoParamsDialog, nullptr, this, nullptr);
    // Opened without a window to belong to, the algorithm dialog is ours to release.
    if (!m_pAlgoParamsDialog->parent()) {
        delete m_pAlgoParamsDialog;
    }
}

void CBatchOrderSettingDialog::createUi()
{
    auto* pRoot = new WQ::CWidgetList(Qt::Vertical, this);
    pRoot->setMargin(10);
    pRoot->setSpacing(10);

    WQ::CWidgetList* pShortcutRow = createRow(pRoot, kRowHeight);
    m_pShortcutCheckBox =
        new WQ::CCheckBox(ID_SHORTCUT_CHECKBOX, QStringLiteral("启动快捷交易"), pShortcutRow);
    m_pShortcutCheckBox->setFixedHeight(kRowHeight);
    m_pShortcutEdit = new CShortcutKeyLineEdit(ID_SHORTCUT_EDIT, pShortcutRow, true);
    m_pShortcutEdit->setFixedSize(kShortcutEditWidth, kRowHeight);
    m_pHintText = new WQ::CSimpleTextWidget(
        QStringLiteral("(支持功能键、Ctrl+数字或字母,且不能与本机常用快捷键冲突)"), pShortcutRow);
    m_pHintText->setColorKey(QStringLiteral("clr_confirm_orange"));
    m_pHintText->setFontKey(QStringLiteral("fnt_default_normal_fix"));
    m_pHintText->setFixedHeight(kRowHeight);
    // A text's width apart between neighbouring controls, so that labels do not run into edits.
    const int nGap = WQ::CUiResource::instance()->getSize(QStringLiteral("tc_siz_text_padding"));
    pShortcutRow->addFixedWidget(m_pShortcutCheckBox, WQ::CWidgetList::ANCHOR_FILL, false);
    pShortcutRow->addFixedSpace(nGap);
    pShortcutRow->addFixedWidget(m_pShortcutEdit, WQ::CWidgetList::ANCHOR_FILL, false);
    pShortcutRow->addFixedSpace(nGap);
    pShortcutRow->addFixedWidget(m_pHintText, WQ::CWidgetList::ANCHOR_FILL, false);

    WQ::CWidgetList* pPathRow = createRow(pRoot, kRowHeight);
    m_pChoosePathButton = new WQ::CSmallNormalButton(ID_CHOOSE_PATH_BUTTON, true, pPathRow,
                                                     WQ::CSmallNormalButton::BUTTON_TYPE_PRIMARY);
    m_pChoosePathButton->setText(QStringLiteral("选择路径"));
    m_pChoosePathButton->setFixedSize(60, kRowHeight);
    m_pPathEdit = new WQ::CLineEdit(ID_PATH_EDIT, pPathRow, false);
    m_pPathEdit->setFixedSize(300, kRowHeight);
    pPathRow->addFixedWidget(m_pChoosePathButton, WQ::CWidgetList::ANCHOR_FILL, false);
    pPathRow->addFixedSpace(nGap);
    pPathRow->addFixedWidget(m_pPathEdit, WQ::CWidgetList::ANCHOR_FILL, false);
    // Without a stretch at their end the rows would share their spare width out between the controls.
    pShortcutRow->addStretchSpace(1);
    pPathRow->addStretchSpace(1);

    m_pAlgoParamsText =
        new WQ::CSimpleTextWidget(true, ID_ALGO_PARAMS_TEXT, QStringLiteral("批量下单参数设置"), pRoot);
    m_pAlgoParamsText->setColorKey(QStringLiteral("clr_clickable_simple_text"));

    WQ::CWidgetList* pMonitorRow = createRow(pRoot, 30);
    m_pMonitorButton = new WQ::CSmallNormalButton(ID_MONITOR_BUTTON, true, pMonitorRow,
                                                  WQ::CSmallNormalButton::BUTTON_TYPE_PRIMARY);
    m_pMonitorButton->setText(QStringLiteral("开始监控"));
    m_pMonitorButton->setFixedSize(84, 30);
    pMonitorRow->addStretchSpace(1);
    pMonitorRow->addFixedWidget(m_pMonitorButton, WQ::CWidgetList::ANCHOR_END, false);

    // Enter in an edit finishes the edit; it must not also press a button of the dialog.
    for (WQ::CSmallNormalButton* pButton : {m_pChoosePathButton, m_pMonitorButton}) {
        pButton->setAutoDefault(false);
    }

    pRoot->addFixedWidget(pShortcutRow, WQ::CWidgetList::ANCHOR_FILL, false);
    pRoot->addFixedWidget(pPathRow, WQ::CWidgetList::ANCHOR_FILL, false);
    pRoot->addFixedWidget(m_pAlgoParamsText, WQ::CWidgetList::ANCHOR_START, false);
    pRoot->addStretchSpace(1);
    pRoot->addFixedWidget(pMonitorRow, WQ::CWidgetList::ANCHOR_FILL, false);
    setInnerWidget(pRoot);

    applyOrderKey();
}

void CBatchOrderSettingDialog::refreshUi()
{
    const CUserConfig* pConfig = getUserConfig();
    if (m_pShortcutCheckBox) {
        m_pShortcutCheckBox->setChecked(pConfig &&
                                        pConfig->getUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED));
    }
    if (m_pPathEdit) {
        m_pPathEdit->setText(userString(USER_BATCH_ORDER_FILE_PATH));
    }
    const bool bShortcut = m_pShortcutCheckBox && m_pShortcutCheckBox->isChecked();
    if (m_pShortcutEdit && bShortcut) {
        m_pShortcutEdit->setText(userString(USER_BATCH_ORDER_SHORTCUT_KEY));
    }
    // While monitoring runs, the file and the key it was started with stay as they are.
    const bool bRunning = monitoring();
    if (m_pShortcutCheckBox) {
        m_pShortcutCheckBox->setEnabled(!bRunning);
    }
    if (m_pShortcutEdit) {
        m_pShortcutEdit->setEnabled(!bRunning && bShortcut);
    }
    if (m_pPathEdit) {
        m_pPathEdit->setEnabled(!bRunning);
    }
    if (m_pChoosePathButton) {
        m_pChoosePathButton->setEnabled(!bRunning);
    }
    if (m_pMonitorButton) {
        m_pMonitorButton->setText(bRunning ? QStringLiteral("停止监控") : QStringLiteral("开始监控"));
    }
    applyOrderKey();
}

bool CBatchOrderSettingDialog::handleEvent(int nType, int nId, int nParam, QString strText, void* pData)
{
    switch (nType) {
    case WQ::EVENT_TEXT_CLICKED:
        if (nId == ID_ALGO_PARAMS_TEXT) {
            showAlgoParamsDialog();
        }
        return true;
    case WQ::EVENT_CHECKBOX_TOGGLED:
        if (nId == ID_SHORTCUT_CHECKBOX) {
            onShortcutToggled();
        }
        return true;
    case WQ::EVENT_LINE_EDIT:
        if (nId == ID_SHORTCUT_EDIT && m_pShortcutEdit) {
            setUserString(USER_BATCH_ORDER_SHORTCUT_KEY, m_pShortcutEdit->text());
            report(QStringLiteral("用户设置下单快捷键为 %1").arg(m_pShortcutEdit->text()));
        } else if (nId == ID_PATH_EDIT && m_pPathEdit) {
            setUserString(USER_BATCH_ORDER_FILE_PATH, m_pPathEdit->text());
            report(QStringLiteral("用户设置监控路径为 %1").arg(m_pPathEdit->text()));
        }
        return true;
    case WQ::EVENT_BUTTON_CLICKED:
        if (nId == ID_CHOOSE_PATH_BUTTON) {
            chooseFile();
            return true;
        }
        if (nId == ID_MONITOR_BUTTON) {
            onMonitorClicked();
            return true;
        }
        break;
    default:
        break;
    }
    return WQ::CBaseDialog::handleEvent(nType, nId, nParam, strText, pData);
}

void CBatchOrderSettingDialog::onShortcutToggled()
{
    if (!m_pShortcutCheckBox || !m_pShortcutEdit) {
        return;
    }
    const bool bChecked = m_pShortcutCheckBox->isChecked();
    if (CUserConfig* pConfig = getUserConfig()) {
        pConfig->setUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED, bChecked, false);
    }
    m_pShortcutEdit->setEnabled(bChecked);
    if (bChecked) {
        setUserString(USER_BATCH_ORDER_SHORTCUT_KEY, m_pShortcutEdit->text());
        report(QStringLiteral("用户开启快捷下单(%1)!").arg(m_pShortcutEdit->text()));
    } else {
        m_pShortcutEdit->clear();
        setUserString(USER_BATCH_ORDER_SHORTCUT_KEY, QString());
        report(QStringLiteral("用户关闭快捷下单!"));
    }
}

void CBatchOrderSettingDialog::onMonitorClicked()
{
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    if (!pManager) {
        return;
    }
    if (monitoring()) {
        pManager->stopFileMonitor();
    } else {
        applyOrderKey();
        setHook();
        pManager->startFileMonitor(userString(USER_BATCH_ORDER_FILE_PATH));
    }
    refreshUi();
}

void CBatchOrderSettingDialog::chooseFile()
{
    if (!m_pFileDialog) {
        m_pFileDialog = new QFileDialog(this, QString(), QString(), QString());
        m_pFileDialog->setAttribute(Qt::WA_DeleteOnClose, false);
        m_pFileDialog->setWindowTitle(QStringLiteral("选择文件"));
        m_pFileDialog->setAcceptMode(QFileDialog::AcceptOpen);
        m_pFileDialog->setFileMode(QFileDialog::AnyFile);
        m_pFileDialog->setOptions(QFileDialog::Options());
    }
    m_pFileDialog->setDirectory(
        QDir::toNativeSeparators(QFileInfo(userString(USER_BATCH_ORDER_FILE_PATH)).absolutePath()));
    // A cancelled dialog still names its current directory as the selection; that must not become the
    // instruction file.
    if (m_pFileDialog->exec() != QDialog::Accepted) {
        return;
    }
    const QStringList files = m_pFileDialog->selectedFiles();
    const QString strFile = files.isEmpty() ? QString() : files.first();
    if (strFile.isEmpty()) {
        return;
    }
    setUserString(USER_BATCH_ORDER_FILE_PATH, strFile);
    if (m_pPathEdit) {
        m_pPathEdit->setText(strFile);
    }
}

void CBatchOrderSettingDialog::showAlgoParamsDialog()
{
    if (!m_pAlgoParamsDialog) {
        m_pAlgoParamsDialog = new CDbfAlgoParamsSettingDialog(QApplication::activeWindow());
        // The window it belongs to may close before this dialog does.
        connect(m_pAlgoParamsDialog, &QObject::destroyed, this, [this] { m_pAlgoParamsDialog = nullptr; });
    }
    m_pAlgoParamsDialog->show();
    m_pAlgoParamsDialog->raise();
}

} // namespace TC
