#include "cbatchordersettingdialog.h"

#include "cbatchordermanager.h"

#include "common/ctestmanager.h"
#include "config/cuserconfig.h"
#include "ui/ccheckbox.h"
#include "ui/cdbfalgoparamssettingdialog.h"
#include "ui/clineedit.h"
#include "ui/cshortcutkeylineedit.h"
#include "ui/cshortcutmanager.h"
#include "ui/csimpletextwidget.h"
#include "ui/csmallnormalbutton.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <tuple>

using namespace TC;
using Dialog = CBatchOrderSettingDialog;

namespace {

class SettingDialogTest : public ::testing::Test
{
protected:
    // Stores the settings, then builds the dialog on them and shows it, as the panel does.
    void open(bool bShortcut, const QString& strKey, const QString& strPath)
    {
        config().setUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED, bShortcut, false);
        config().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, strKey, false);
        config().setUserDataString(USER_BATCH_ORDER_FILE_PATH, strPath, false);
        m_pDialog = std::make_unique<Dialog>();
        m_pDialog->show();
        m_pDialog->refreshUi();
    }
    CUserConfig& config() { return m_setup.host().userConfig(); }
    QString setting(EUserMember eMember) { return config().getUserDataString(eMember); }
    template <class T = WQ::CPushButton> T* find(int nId) const { return control<T>(m_pDialog.get(), nId); }
    WQ::CCheckBox* checkBox() const { return find<WQ::CCheckBox>(Dialog::ID_SHORTCUT_CHECKBOX); }
    WQ::CLineEdit* keyEdit() const { return find<WQ::CLineEdit>(Dialog::ID_SHORTCUT_EDIT); }
    WQ::CLineEdit* pathEdit() const { return find<WQ::CLineEdit>(Dialog::ID_PATH_EDIT); }
    void click(QWidget* pWidget) { QTest::mouseClick(pWidget, Qt::LeftButton); }
    // "1" or "0" for enabled check box, key edit, path edit and choose-path button, then the monitor label.
    QString controlState() const
    {
        QString strState;
        const QWidget* controls[] = {checkBox(), keyEdit(), pathEdit(), find(Dialog::ID_CHOOSE_PATH_BUTTON)};
        for (const QWidget* pWidget : controls)
            strState += pWidget->isEnabled() ? '1' : '0';
        return strState + ' ' + find(Dialog::ID_MONITOR_BUTTON)->text();
    }
    bool monitoring() { return m_setup.host().orderService().isStrategyRunning(999); }
    QStringList consoleTexts() const { return m_setup.consoleTexts(); }
    // Whether the manager holds the key as its order key: the key then dispatches (and says so).
    bool managerTakesKey(int nKey)
    {
        const int nBefore = consoleTexts().count(QStringLiteral("[order] user batch order !"));
        utils::CSingletonT<CShortcutManager>::instance()->deliverKey(nKey, 0);
        return consoleTexts().count(QStringLiteral("[order] user batch order !")) > nBefore;
    }

    CTestManager m_setup;
    std::unique_ptr<Dialog> m_pDialog; // goes before the manager
};

TEST_F(SettingDialogTest, BuildsTheControlsWithTheirTextsAndSizes)
{
    open(false, QString(), QString());
    const auto* pChoose = find(Dialog::ID_CHOOSE_PATH_BUTTON);
    const auto* pAlgoText = find<WQ::CSimpleTextWidget>(Dialog::ID_ALGO_PARAMS_TEXT);
    ASSERT_NE(pAlgoText, nullptr);
    EXPECT_EQ(QStringList({m_pDialog->title(), checkBox()->text(), pChoose->text(), pAlgoText->text()}),
              QStringList({"设置", "启动快捷交易", "选择路径", "批量下单参数设置"}));
    EXPECT_EQ(QList<QSize>({m_pDialog->size(), pChoose->size(), pathEdit()->size(),
                            find(Dialog::ID_MONITOR_BUTTON)->size()}),
              QList<QSize>({{600, 280}, {60, 22}, {300, 22}, {84, 30}}));
    EXPECT_FALSE(m_pDialog->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_TRUE(m_pDialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(pAlgoText->isClickable());
    EXPECT_NE(qobject_cast<CShortcutKeyLineEdit*>(keyEdit()), nullptr);
    // Every control lies inside the dialog, none clipped at its right edge.
    for (const QWidget* pWidget : m_pDialog->findChildren<QWidget*>()) {
        const QRect rect(pWidget->mapTo(m_pDialog.get(), QPoint(0, 0)), pWidget->size());
        const bool bOwnAndShown = pWidget->isVisible() && pWidget->window() == m_pDialog.get();
        EXPECT_TRUE(!bOwnAndShown || m_pDialog->rect().contains(rect)) << pWidget->metaObject()->className();
    }
}

// The key edit follows the check box, which forgets the key when unchecked; an edited key reaches the
// manager only at start or refresh; a path is stored when changed and confirmed with Enter.
TEST_F(SettingDialogTest, EditsWriteTheirSettingsAndReportThem)
{
    open(false, QStringLiteral("F9"), QStringLiteral("/old/指令.csv"));
    const auto expectState = [&](bool bOn, const char* szKey, const char* szMessage) {
        EXPECT_EQ(config().getUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED), bOn);
        EXPECT_EQ(keyEdit()->isEnabled(), bOn);
        EXPECT_EQ(setting(USER_BATCH_ORDER_SHORTCUT_KEY), QString::fromUtf8(szKey));
        EXPECT_EQ(keyEdit()->text(), QString::fromUtf8(szKey));
        EXPECT_EQ(consoleTexts().last(), "[system] " + QString::fromUtf8(szMessage));
    };
    click(checkBox());
    expectState(true, "", "用户开启快捷下单()!");
    QTest::keyClick(keyEdit(), Qt::Key_K, Qt::ControlModifier);
    expectState(true, "Ctrl+K", "用户设置下单快捷键为 Ctrl+K");
    EXPECT_FALSE(managerTakesKey(Qt::ControlModifier | Qt::Key_K));
    click(checkBox());
    expectState(false, "", "用户关闭快捷下单!");
    click(checkBox());
    expectState(true, "", "用户开启快捷下单()!");

    pathEdit()->setText(QStringLiteral("/新/orders.csv")); // QTest types ASCII only
    pathEdit()->setModified(true);
    QTest::keyClick(pathEdit(), Qt::Key_Return);
    EXPECT_EQ(setting(USER_BATCH_ORDER_FILE_PATH), QStringLiteral("/新/orders.csv"));
    EXPECT_EQ(consoleTexts().last(), QStringLiteral("[system] 用户设置监控路径为 /新/orders.csv"));
}

// Building hands the key to the manager, starting hands the stored one; while monitoring every setting is
// locked, and stopping unlocks them with the key edit only when the shortcut is on.
TEST_F(SettingDialogTest, MonitorButtonStartsStopsAndShowsTheStateOfTheMoment)
{
    const QString strPath = m_setup.host().dataDir() + QStringLiteral("/inbox/orders.csv");
    QDir().mkpath(m_setup.host().dataDir() + QStringLiteral("/inbox"));
    for (const auto& [szName, bShortcut, szStopped] : {std::tuple("ShortcutOn", true, "1111 开始监控"),
                                                       std::tuple("ShortcutOff", false, "1011 开始监控")}) {
        SCOPED_TRACE(szName);
        open(bShortcut, QStringLiteral("Ctrl+F7"), strPath);
        EXPECT_TRUE(managerTakesKey(Qt::ControlModifier | Qt::Key_F7));
        config().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F6"), false);
        const int nMessages = consoleTexts().size();
        click(find(Dialog::ID_MONITOR_BUTTON));
        ASSERT_TRUE(monitoring());
        EXPECT_TRUE(utils::CSingletonT<CShortcutManager>::instance()->isHooked());
        EXPECT_TRUE(managerTakesKey(Qt::Key_F6));
        EXPECT_EQ(controlState(), QStringLiteral("0000 停止监控"));
        EXPECT_TRUE(consoleTexts().mid(nMessages).contains(QStringLiteral("[system] start!")));
        click(find(Dialog::ID_MONITOR_BUTTON));
        EXPECT_FALSE(monitoring());
        EXPECT_EQ(consoleTexts().last(), QStringLiteral("[system] stop!"));
        EXPECT_EQ(controlState(), QString::fromUtf8(szStopped));
    }
    // A start without a path is refused by the manager; monitoring started elsewhere shows at the refresh.
    open(true, QStringLiteral("F9"), QString());
    click(find(Dialog::ID_MONITOR_BUTTON));
    EXPECT_FALSE(monitoring());
    EXPECT_EQ(consoleTexts().mid(consoleTexts().size() - 2),
              (QStringList{"[system] start!", "[error] start path empty!"}));
    EXPECT_EQ(controlState(), QStringLiteral("1111 开始监控"));
    m_setup.host().orderService().addBatchOrderStrategy(999);
    m_pDialog->refreshUi();
    EXPECT_EQ(controlState(), QStringLiteral("0000 停止监控"));
    EXPECT_EQ(keyEdit()->text(), QStringLiteral("F9"));
}

// The file dialog opens in the current file's directory; a cancelled dialog (which names its directory)
// keeps the old path. Choosing is not reported.
TEST_F(SettingDialogTest, ChooseFileOpensInTheCurrentDirectoryAndTakesTheChosenFile)
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const QString strOldDir = m_setup.host().dataDir() + QStringLiteral("/旧");
    const QString strNew = m_setup.host().dataDir() + QStringLiteral("/新/指令.csv");
    QDir().mkpath(strOldDir);
    QDir().mkpath(QFileInfo(strNew).path());
    const QString strOld = strOldDir + QStringLiteral("/orders.csv");
    for (const bool bAccept : {true, false}) {
        SCOPED_TRACE(bAccept ? "Accepted" : "Cancelled");
        open(false, QString(), strOld);
        const int nMessages = consoleTexts().size();
        QString strOpenedIn;
        QTimer::singleShot(0, [&] {
            auto* pFileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!pFileDialog)
                return; // exec() below would then hang; the deadline of the test run catches it
            strOpenedIn = pFileDialog->directory().absolutePath();
            EXPECT_EQ(pFileDialog->windowTitle(), QStringLiteral("选择文件"));
            EXPECT_EQ(pFileDialog->fileMode(), QFileDialog::AnyFile);
            pFileDialog->selectFile(strNew);
            bAccept ? static_cast<QDialog*>(pFileDialog)->accept() : pFileDialog->reject();
        });
        click(find(Dialog::ID_CHOOSE_PATH_BUTTON));
        EXPECT_EQ(strOpenedIn, strOldDir);
        EXPECT_EQ(setting(USER_BATCH_ORDER_FILE_PATH), bAccept ? strNew : strOld);
        EXPECT_EQ(pathEdit()->text(), bAccept ? strNew : strOld);
        EXPECT_EQ(consoleTexts().size(), nMessages);
    }
}

TEST_F(SettingDialogTest, AlgorithmParameterTextOpensOneDialogAndRaisesItAgain)
{
    open(false, QString(), QString());
    auto algoDialogs = [] {
        QList<CDbfAlgoParamsSettingDialog*> dialogs;
        for (QWidget* pWidget : QApplication::allWidgets()) {
            if (auto* pDialog = qobject_cast<CDbfAlgoParamsSettingDialog*>(pWidget))
                dialogs << pDialog;
        }
        return dialogs;
    };
    click(find<WQ::CSimpleTextWidget>(Dialog::ID_ALGO_PARAMS_TEXT));
    ASSERT_EQ(algoDialogs().size(), 1);
    CDbfAlgoParamsSettingDialog* pFirst = algoDialogs().first();
    EXPECT_TRUE(pFirst->isVisible());
    pFirst->hide();
    click(find<WQ::CSimpleTextWidget>(Dialog::ID_ALGO_PARAMS_TEXT));
    EXPECT_EQ(algoDialogs(), QList<CDbfAlgoParamsSettingDialog*>{pFirst});
    EXPECT_TRUE(pFirst->isVisible());
}

} // namespace
