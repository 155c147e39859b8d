// The real batchorder-host with its window under an X server of the test's own: --watch starts
// monitoring as the settings dialog's start button does, so the order key kept in user.ini places the
// pending orders at once, pressed in whatever application has the keyboard.
#include "common/chostprocess.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

// X headers last: they define macros that clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

TEST(HostWindowKey, WatchArmsTheOrderKeyKeptInTheUserSettings)
{
    QTemporaryDir dir;
    CHostProcess::CStart start;
    start.m_bHeadless = false;
    start.m_strDataDir = dir.filePath(QStringLiteral("data"));
    start.m_arguments = QStringList{"--watch", start.m_strInbox};
    ASSERT_TRUE(QDir().mkpath(start.m_strDataDir));
    {
        QSettings ini(start.m_strDataDir + QStringLiteral("/user.ini"), QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        ini.setValue(QStringLiteral("batchorder/shortcutEnabled"), true);
        ini.setValue(QStringLiteral("batchorder/shortcutKey"), QStringLiteral("F9"));
    }
    // Qt's xcb plugin and D-Bus keep a few allocations to the end; the headless tests look for our leaks.
    start.m_environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               start.m_environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":detect_leaks=0"));
    CHostProcess host(start);
    ASSERT_TRUE(host.waitForLog(QStringLiteral("global key hook: watching")));
    ASSERT_TRUE(host.waitForLog(QStringLiteral("watching instruction file")));

    ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.50,600000,100,8880000001,2,2,,按键下单\n")));
    ASSERT_TRUE(host.waitUntil([&] { return host.backupText().contains(QStringLiteral("按键下单")); }))
        << "the order is pending";
    EXPECT_TRUE(host.journalOrders().isEmpty()) << "nothing places it but the key";

    // Pressed through XTest, as the user's keyboard.
    Display* pDisplay = XOpenDisplay(nullptr);
    ASSERT_NE(pDisplay, nullptr);
    const KeyCode code = XKeysymToKeycode(pDisplay, XK_F9);
    EXPECT_TRUE(XTestFakeKeyEvent(pDisplay, code, True, 0) && XTestFakeKeyEvent(pDisplay, code, False, 0));
    XSync(pDisplay, False);
    XCloseDisplay(pDisplay);
    EXPECT_TRUE(host.waitUntil([&] { return host.journalOrders().size() == 1; }))
        << host.stderrText().toStdString();
    EXPECT_EQ(host.terminate(), 0) << host.stderrText().right(6000).toStdString();
}
