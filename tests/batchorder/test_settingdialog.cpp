#include "cbatchordersettingdialog.h"

#include "cbatchordermanager.h"

#include "common/ctestmanager.h"
#include "common/rowname.h"
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
#include <QTest>
#include <QTimer>

using namespace TC;
using Dialog = CBatchOrderSettingDialog;

namespace {

class SettingDialogTest : public ::testing::Test
{
protected:
    // Builds the dialog on the settings as they are now and shows it, as the panel does.
    void open()
    {
        m_pDialog = std::make_unique<Dialog>();
        m_pDialog->show();
        m_pDialog->refreshUi();
    }

    CUserConfig& config() { return m_setup.host().userConfig(); }
    void setSettings(bool bShortcut, const QString& strKey, const QString& strPath)
    {
        config().setUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED, bShortcut, false);
        config().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, strKey, false);
        config().setUserDataString(USER_BATCH_ORDER_FILE_PATH, strPath, false);
    }
    QString setting(EUserMember eMember) { return config().getUserDataString(eMember); }

    WQ::CCheckBox* checkBox() const
    {
        return control<WQ::CCheckBox>(m_pDialog.get(), Dialog::ID_SHORTCUT_CHECKBOX);
    }
    WQ::CLineEdit* keyEdit() const
    {
        return control<WQ::CLineEdit>(m_pDialog.get(), Dialog::ID_SHORTCUT_EDIT);
    }
    WQ::CLineEdit* pathEdit() const { return control<WQ::CLineEdit>(m_pDialog.get(), Dialog::ID_PATH_EDIT); }
    WQ::CPushButton* button(int nId) const { return control<WQ::CPushButton>(m_pDialog.get(), nId); }

    // The enabled state of check box, key edit, path edit and choose-path button, and the monitor
    // button's label.
    QString controlState() const
    {
        return QStringLiteral("%1%2%3%4 %5")
            .arg(checkBox()->isEnabled())
            .arg(keyEdit()->isEnabled())
            .arg(pathEdit()->isEnabled())
            .arg(button(Dialog::ID_CHOOSE_PATH_BUTTON)->isEnabled())
            .arg(button(Dialog::ID_MONITOR_BUTTON)->text());
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
    open();
    EXPECT_EQ(m_pDialog->title(), QStringLiteral("设置"));
    EXPECT_EQ(m_pDialog->size(), QSize(600, 280));
    EXPECT_FALSE(m_pDialog->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_TRUE(m_pDialog->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(checkBox()->text(), QStringLiteral("启动快捷交易"));
    EXPECT_EQ(button(Dialog::ID_CHOOSE_PATH_BUTTON)->text(), QStringLiteral("选择路径"));
    EXPECT_EQ(button(Dialog::ID_CHOOSE_PATH_BUTTON)->size(), QSize(60, 22));
    EXPECT_EQ(pathEdit()->size(), QSize(300, 22));
    EXPECT_EQ(button(Dialog::ID_MONITOR_BUTTON)->size(), QSize(84, 30));
    const auto* pAlgoText = control<WQ::CSimpleTextWidget>(m_pDialog.get(), Dialog::ID_ALGO_PARAMS_TEXT);
    ASSERT_NE(pAlgoText, nullptr);
    EXPECT_TRUE(pAlgoText->isClickable());
    EXPECT_EQ(pAlgoText->text(), QStringLiteral("批量下单参数设置"));
    EXPECT_NE(qobject_cast<CShortcutKeyLineEdit*>(keyEdit()), nullptr);
    // Every control lies inside the dialog, none clipped at its right edge.
    for (const QWidget* pWidget : m_pDialog->findChildren<QWidget*>()) {
        if (pWidget->isVisible() && pWidget->window() == m_pDialog.get()) {
            const QRect rect(pWidget->mapTo(m_pDialog.get(), QPoint(0, 0)), pWidget->size());
            EXPECT_TRUE(m_pDialog->rect().contains(rect)) << pWidget->metaObject()->className();
        }
    }
}

// The key edit follows the check box; unchecking forgets the key, and checking again does not revive a
// stored key the edit never showed.
TEST_F(SettingDialogTest, ShortcutCheckBoxWritesTheSettingsAndReportsThem)
{
    setSettings(false, QStringLiteral("F9"), QString());
    open();
    const auto expectState = [&](bool bOn, const char* szKey, const char* szMessage) {
        EXPECT_EQ(config().getUserDataBool(USER_BATCH_ORDER_SHORTCUT_ENABLED), bOn);
        EXPECT_EQ(keyEdit()->isEnabled(), bOn);
        EXPECT_EQ(setting(USER_BATCH_ORDER_SHORTCUT_KEY), QString::fromUtf8(szKey));
        EXPECT_EQ(keyEdit()->text(), QString::fromUtf8(szKey));
        EXPECT_EQ(consoleTexts().last(), "[system] " + QString::fromUtf8(szMessage));
    };
    QTest::mouseClick(checkBox(), Qt::LeftButton);
    expectState(true, "", "用户开启快捷下单()!");
    QTest::keyClick(keyEdit(), Qt::Key_K, Qt::ControlModifier);
    expectState(true, "Ctrl+K", "用户设置下单快捷键为 Ctrl+K");
    QTest::mouseClick(checkBox(), Qt::LeftButton);
    expectState(false, "", "用户关闭快捷下单!");
    QTest::mouseClick(checkBox(), Qt::LeftButton);
    expectState(true, "", "用户开启快捷下单()!");
}

TEST_F(SettingDialogTest, EditsWriteTheirSettingAndReport)
{
    setSettings(true, QString(), QStringLiteral("/old/指令.csv"));
    open();
    QTest::keyClick(keyEdit(), Qt::Key_F8, Qt::ControlModifier);
    EXPECT_EQ(setting(USER_BATCH_ORDER_SHORTCUT_KEY), QStringLiteral("Ctrl+F8"));
    EXPECT_EQ(consoleTexts().last(), QStringLiteral("[system] 用户设置下单快捷键为 Ctrl+F8"));
    EXPECT_FALSE(managerTakesKey(Qt::ControlModifier | Qt::Key_F8))
        << "an edited key reaches the manager only when monitoring starts or the dialog refreshes";

    // As typed (QTest types ASCII only): the text changed by the user, then Enter.
    pathEdit()->setText(QStringLiteral("/新/orders.csv"));
    pathEdit()->setModified(true);
    QTest::keyClick(pathEdit(), Qt::Key_Return);
    EXPECT_EQ(setting(USER_BATCH_ORDER_FILE_PATH), QStringLiteral("/新/orders.csv"));
    EXPECT_EQ(consoleTexts().last(), QStringLiteral("[system] 用户设置监控路径为 /新/orders.csv"));
}

struct MonitorRow : CNamedRow
{
    bool m_bShortcut;
    const char* m_szStateStopped; // controlState() after stopping again
};

class MonitorButton : public SettingDialogTest, public ::testing::WithParamInterface<MonitorRow>
{
};

TEST_P(MonitorButton, StartsAndStopsWithTheEnablingRules)
{
    const MonitorRow& row = GetParam();
    const QString strPath = m_setup.host().dataDir() + QStringLiteral("/inbox/orders.csv");
    QDir().mkpath(m_setup.host().dataDir() + QStringLiteral("/inbox"));
    setSettings(row.m_bShortcut, QStringLiteral("Ctrl+F7"), strPath);
    open();
    EXPECT_TRUE(managerTakesKey(Qt::ControlModifier | Qt::Key_F7))
        << "the dialog hands the key over when built";
    config().setUserDataString(USER_BATCH_ORDER_SHORTCUT_KEY, QStringLiteral("F6"), false);

    QTest::mouseClick(button(Dialog::ID_MONITOR_BUTTON), Qt::LeftButton);
    ASSERT_TRUE(monitoring());
    EXPECT_TRUE(utils::CSingletonT<CShortcutManager>::instance()->isHooked());
    EXPECT_TRUE(managerTakesKey(Qt::Key_F6)) << "starting hands the stored key to the manager";
    EXPECT_EQ(controlState(), QStringLiteral("0000 停止监控"));
    EXPECT_TRUE(consoleTexts().contains(QStringLiteral("[system] start!")));

    QTest::mouseClick(button(Dialog::ID_MONITOR_BUTTON), Qt::LeftButton);
    EXPECT_FALSE(monitoring());
    EXPECT_EQ(consoleTexts().last(), QStringLiteral("[system] stop!"));
    EXPECT_EQ(controlState(), QString::fromUtf8(row.m_szStateStopped));
}

INSTANTIATE_TEST_SUITE_P(States, MonitorButton,
                         ::testing::Values(MonitorRow{"ShortcutOn", true, "1111 开始监控"},
                                           MonitorRow{"ShortcutOff", false, "1011 开始监控"}),
                         rowName);

// A start without a path is refused by the manager; monitoring started elsewhere shows at the refresh.
TEST_F(SettingDialogTest, MonitorButtonShowsTheStateOfTheMoment)
{
    setSettings(true, QStringLiteral("F9"), QString());
    open();
    QTest::mouseClick(button(Dialog::ID_MONITOR_BUTTON), Qt::LeftButton);
    EXPECT_FALSE(monitoring());
    EXPECT_EQ(consoleTexts().mid(consoleTexts().size() - 2),
              (QStringList{"[system] start!", "[error] start path empty!"}));
    EXPECT_EQ(controlState(), QStringLiteral("1111 开始监控"));
    m_setup.host().orderService().addBatchOrderStrategy(999);
    m_pDialog->refreshUi();
    EXPECT_EQ(controlState(), QStringLiteral("0000 停止监控"));
    EXPECT_EQ(keyEdit()->text(), QStringLiteral("F9"));
}

struct FileRow : CNamedRow
{
    bool m_bAccept;
};

class ChooseFile : public SettingDialogTest, public ::testing::WithParamInterface<FileRow>
{
};

TEST_P(ChooseFile, OpensInTheCurrentDirectoryAndTakesTheChosenFile)
{
    const FileRow& row = GetParam();
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const QString strOldDir = m_setup.host().dataDir() + QStringLiteral("/旧");
    const QString strNewDir = m_setup.host().dataDir() + QStringLiteral("/新");
    QDir().mkpath(strOldDir);
    QDir().mkpath(strNewDir);
    const QString strOld = strOldDir + QStringLiteral("/orders.csv");
    const QString strNew = strNewDir + QStringLiteral("/指令.csv");
    setSettings(false, QString(), strOld);
    open();
    const int nMessages = consoleTexts().size();

    QString strOpenedIn;
    bool bFound = false;
    QTimer::singleShot(0, [&] {
        auto* pFileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!pFileDialog) {
            return; // exec() below would then hang; the deadline of the test run catches it
        }
        bFound = true;
        strOpenedIn = pFileDialog->directory().absolutePath();
        EXPECT_EQ(pFileDialog->windowTitle(), QStringLiteral("选择文件"));
        EXPECT_EQ(pFileDialog->fileMode(), QFileDialog::AnyFile);
        if (row.m_bAccept) {
            pFileDialog->selectFile(strNew);
            static_cast<QDialog*>(pFileDialog)->accept(); // QFileDialog::accept, as the Open button
        } else {
            pFileDialog->reject();
        }
    });
    QTest::mouseClick(button(Dialog::ID_CHOOSE_PATH_BUTTON), Qt::LeftButton);
    ASSERT_TRUE(bFound);
    EXPECT_EQ(strOpenedIn, strOldDir);
    const QString strExpected = row.m_bAccept ? strNew : strOld;
    EXPECT_EQ(setting(USER_BATCH_ORDER_FILE_PATH), strExpected);
    EXPECT_EQ(pathEdit()->text(), strExpected);
    EXPECT_EQ(consoleTexts().size(), nMessages) << "choosing a file is not reported";
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ChooseFile,
                         ::testing::Values(FileRow{"Accepted", true},
                                           // A cancelled dialog names its directory; that is no file.
                                           FileRow{"Cancelled", false}),
                         rowName);

TEST_F(SettingDialogTest, AlgorithmParameterTextOpensOneDialogAndRaisesItAgain)
{
    open();
    auto* pText = control<WQ::CSimpleTextWidget>(m_pDialog.get(), Dialog::ID_ALGO_PARAMS_TEXT);
    auto algoDialogs = [] {
        QList<CDbfAlgoParamsSettingDialog*> dialogs;
        for (QWidget* pWidget : QApplication::allWidgets()) {
            if (auto* pDialog = qobject_cast<CDbfAlgoParamsSettingDialog*>(pWidget))
                dialogs << pDialog;
        }
        return dialogs;
    };
    QTest::mouseClick(pText, Qt::LeftButton);
    ASSERT_EQ(algoDialogs().size(), 1);
    CDbfAlgoParamsSettingDialog* pFirst = algoDialogs().first();
    EXPECT_TRUE(pFirst->isVisible());
    pFirst->hide();
    QTest::mouseClick(pText, Qt::LeftButton);
    EXPECT_EQ(algoDialogs(), QList<CDbfAlgoParamsSettingDialog*>{pFirst});
    EXPECT_TRUE(pFirst->isVisible());
}

} // namespace
