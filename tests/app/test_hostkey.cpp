// The real batchorder-host with its window under an X server of the test's own: --watch starts
// monitoring as the settings dialog's start button does, so the order key kept in user.ini places the
// pending orders at once, pressed in whatever application has the keyboard.
#include "common/chostprocess.h"
#include "common/waituntil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

// X headers last: they define macros that clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// A key press and release through XTest, as the user's keyboard.
bool pressKey(KeySym keySym)
{
    Display* pDisplay = XOpenDisplay(nullptr);
    if (!pDisplay) {
        return false;
    }
    const KeyCode code = XKeysymToKeycode(pDisplay, keySym);
    const bool bSent =
        XTestFakeKeyEvent(pDisplay, code, True, 0) && XTestFakeKeyEvent(pDisplay, code, False, 0);
    XSync(pDisplay, False);
    XCloseDisplay(pDisplay);
    return bSent;
}

} // namespace

TEST(HostWindowKey, WatchArmsTheOrderKeyKeptInTheUserSettings)
{
    QTemporaryDir dir;
    CHostProcess::CStart start;
    start.m_bHeadless = false;
    start.m_strDataDir = dir.filePath(QStringLiteral("data"));
    start.m_arguments = QStringList{QStringLiteral("--watch"), start.m_strInbox};
    ASSERT_TRUE(QDir().mkpath(start.m_strDataDir));
    {
        QSettings ini(start.m_strDataDir + QStringLiteral("/user.ini"), QSettings::IniFormat);
        ini.setIniCodec("UTF-8");
        ini.setValue(QStringLiteral("batchorder/shortcutEnabled"), true);
        ini.setValue(QStringLiteral("batchorder/shortcutKey"), QStringLiteral("F9"));
    }
    // On a real display Qt's xcb plugin and the D-Bus library keep a few allocations to the end of the
    // process; the headless host tests look for leaks of our own.
    start.m_environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               start.m_environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":detect_leaks=0"));
    CHostProcess host(start);
    ASSERT_TRUE(host.waitForLog(QStringLiteral("global key hook: watching")))
        << host.stderrText().toStdString();
    ASSERT_TRUE(host.waitForLog(QStringLiteral("watching instruction file")))
        << host.stderrText().toStdString();

    ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.50,600000,100,8880000001,2,2,,按键下单\n")));
    ASSERT_TRUE(waitUntil([&] {
        host.drain();
        return host.backupText().contains(QStringLiteral("按键下单"));
    })) << "the order is pending";
    EXPECT_EQ(host.journalRows(QStringLiteral("SELECT COUNT(*) FROM orders")),
              QStringList{QStringLiteral("0")})
        << "nothing places it but the key";

    ASSERT_TRUE(pressKey(XK_F9));
    EXPECT_TRUE(waitUntil([&] {
        host.drain();
        return host.journalOrders().size() == 1;
    })) << host.stderrText().toStdString();
    EXPECT_EQ(host.terminate(), 0) << host.stderrText().right(6000).toStdString();
}
