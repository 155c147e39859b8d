#include "ui/cshortcutmanager.h"
#include "ui/cx11keyhook.h"

#include "common/clogcapture.h"
#include "common/rowname.h"
#include "keyrecorder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

#include <future>
#include <vector>

// X headers last: they define macros that clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <poll.h>
#include <signal.h>

using namespace TC;

namespace {

using CKeys = std::vector<CKeyRecorder::CKey>;

const auto kDeadline = std::chrono::seconds(10);

// Names of this process's threads, from /proc.
QStringList threadNames()
{
    QStringList names;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strTid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(strTid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromLatin1(comm.readAll()).trimmed();
    }
    return names;
}

// Runs the call on another thread; false if it has not returned by the deadline. A hang is the fault
// looked for: the deadline only reports it (the test then waits for the call all the same).
template <class Call> bool returnsInTime(Call call)
{
    auto returned = std::async(std::launch::async, call);
    return returned.wait_for(kDeadline) == std::future_status::ready;
}

// Another application on the X server: a window of its own connection that holds the input focus and
// counts the key presses it receives, and a keyboard that types through XTest as a user would.
class COtherApplication
{
public:
    COtherApplication() : m_pDisplay(XOpenDisplay(nullptr))
    {
        if (!m_pDisplay)
            return;
        const int nScreen = DefaultScreen(m_pDisplay);
        m_window = XCreateSimpleWindow(m_pDisplay, RootWindow(m_pDisplay, nScreen), 0, 0, 200, 100, 0,
                                       BlackPixel(m_pDisplay, nScreen), WhitePixel(m_pDisplay, nScreen));
        XSelectInput(m_pDisplay, m_window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapRaised(m_pDisplay, m_window);
        m_bMapped = waitForEvent([](const XEvent& event) { return event.type == MapNotify; });
        XSetInputFocus(m_pDisplay, m_window, RevertToParent, CurrentTime);
        XSync(m_pDisplay, False);
    }

    ~COtherApplication()
    {
        if (!m_pDisplay)
            return;
        if (m_nRepeatDelay)
            XkbSetAutoRepeatRate(m_pDisplay, XkbUseCoreKbd, m_nRepeatDelay, m_nRepeatInterval);
        XCloseDisplay(m_pDisplay);
    }

    bool isReady() const { return m_pDisplay && m_bMapped; }

    KeyCode keyCode(KeySym nKeySym) const { return XKeysymToKeycode(m_pDisplay, nKeySym); }

    // Presses the keys in order and releases them in reverse, as a chord like Ctrl+1 is typed.
    void typeChord(const std::vector<KeySym>& keySyms)
    {
        std::vector<KeyCode> keyCodes;
        for (KeySym nKeySym : keySyms)
            keyCodes.push_back(keyCode(nKeySym));
        typeKeyCodes(keyCodes);
    }

    void typeKeyCodes(const std::vector<KeyCode>& keyCodes)
    {
        for (KeyCode nKeyCode : keyCodes)
            XTestFakeKeyEvent(m_pDisplay, nKeyCode, True, CurrentTime);
        for (auto it = keyCodes.rbegin(); it != keyCodes.rend(); ++it)
            XTestFakeKeyEvent(m_pDisplay, *it, False, CurrentTime);
        // Sent without a round trip, as a keyboard's keys come: nothing but the keys themselves may
        // make the server hand the recording over.
        XFlush(m_pDisplay);
    }

    void press(KeySym nKeySym, bool bDown)
    {
        XTestFakeKeyEvent(m_pDisplay, keyCode(nKeySym), bDown, CurrentTime);
        XFlush(m_pDisplay);
    }

    // Gives the focus to the root window, where no application listens for keys.
    void focusRoot()
    {
        XSetInputFocus(m_pDisplay, PointerRoot, RevertToPointerRoot, CurrentTime);
        XSync(m_pDisplay, False);
    }

    // Waits until this window has received nCount presses of the key; false on time-out.
    bool waitForPresses(KeySym nKeySym, int nCount)
    {
        const KeyCode nKeyCode = keyCode(nKeySym);
        int nSeen = 0;
        return waitForEvent([&](const XEvent& event) {
            if (event.type == KeyPress && event.xkey.keycode == nKeyCode)
                ++nSeen;
            return nSeen >= nCount;
        });
    }

    // Lets the server repeat a held key after 50 ms, every 20 ms.
    void setFastAutoRepeat()
    {
        XkbGetAutoRepeatRate(m_pDisplay, XkbUseCoreKbd, &m_nRepeatDelay, &m_nRepeatInterval);
        XkbSetAutoRepeatRate(m_pDisplay, XkbUseCoreKbd, 50, 20);
        XAutoRepeatOn(m_pDisplay);
        XSync(m_pDisplay, False);
    }

private:
    template <class Predicate> bool waitForEvent(Predicate predicate)
    {
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(m_pDisplay) > 0) {
                XEvent event;
                XNextEvent(m_pDisplay, &event);
                if (predicate(event))
                    return true;
            }
            pollfd fd{ConnectionNumber(m_pDisplay), POLLIN, 0};
            ::poll(&fd, 1, 100);
        }
        return false;
    }

    Display* m_pDisplay;
    Window m_window = 0;
    bool m_bMapped = false;
    unsigned int m_nRepeatDelay = 0; // the server's own rate while the test has changed it
    unsigned int m_nRepeatInterval = 0;
};

// The real hook of the process-wide shortcut manager on the X server the test runs under.
class X11KeyHookTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "needs an X server and the xcb platform: ctest runs this under xvfb-run";
        ASSERT_TRUE(m_other.isReady()) << "the other application's window did not appear";
        m_pShortcuts->setHook();
        ASSERT_EQ(m_pShortcuts->hookKind(), CShortcutManager::HOOK_X11_RECORD);
    }

    void TearDown() override { m_pShortcuts->removeHook(); }

    CShortcutManager* m_pShortcuts = utils::CSingletonT<CShortcutManager>::instance();
    CKeyRecorder m_recorder{*m_pShortcuts};
    COtherApplication m_other;
};

struct CChordRow : CNamedRow
{
    std::vector<KeySym> m_keySyms;
    const char* m_szNativeText;
    bool m_bNobodyListens = false; // typed with the focus on the root window
};

class X11KeyChord : public X11KeyHookTest, public ::testing::WithParamInterface<CChordRow>
{
};

// The translation itself is tabled in test_x11keytranslator; these rows prove the modifier masks and the
// symbols the real server hands over, and that the hook never takes the key from the focused window.
const CChordRow kChords[] = {
    {{"CtrlDigit"}, {XK_Control_L, XK_1}, "Ctrl+1"},
    {{"AltFunctionKey"}, {XK_Alt_L, XK_F4}, "Alt+F4"},
    {{"ShiftDigitTypesItsSymbol"}, {XK_Control_L, XK_Shift_L, XK_1}, "Ctrl+Shift+!"},
    {{"SuperIsMeta"}, {XK_Super_L, XK_F2}, "Meta+F2"},
    {{"KeyWhereNoApplicationListens"}, {XK_F7}, "F7", true},
};

TEST_P(X11KeyChord, KeyTypedIntoAnotherApplicationIsAnnouncedAndStillReachesIt)
{
    const CChordRow& row = GetParam();
    if (row.m_bNobodyListens)
        m_other.focusRoot();
    m_other.typeChord(row.m_keySyms);
    ASSERT_TRUE(m_recorder.waitForCount(2));
    EXPECT_EQ(m_recorder.keys(), (CKeys{{row.m_szNativeText, 0}, {row.m_szNativeText, 1}}))
        << "modifier keys alone are not announced";
    EXPECT_TRUE(row.m_bNobodyListens || m_other.waitForPresses(row.m_keySyms.back(), 1))
        << "the hook must not take the key from the focused window";
}

INSTANTIATE_TEST_SUITE_P(Rows, X11KeyChord, ::testing::ValuesIn(kChords), rowName);

TEST_F(X11KeyHookTest, LayoutSwitchedWhileHookedNamesTheKeysAnew)
{
    const QString strSetxkbmap = QStandardPaths::findExecutable(QStringLiteral("setxkbmap"));
    if (strSetxkbmap.isEmpty())
        GTEST_SKIP() << "setxkbmap not installed";
    const KeyCode nYKey = m_other.keyCode(XK_y); // German keyboards swap Y and Z
    ASSERT_EQ(QProcess::execute(strSetxkbmap, {QStringLiteral("de")}), 0);
    m_other.typeKeyCodes({m_other.keyCode(XK_Control_L), nYKey});
    const bool bArrived = m_recorder.waitForCount(2);
    QProcess::execute(strSetxkbmap, {QStringLiteral("us")});
    ASSERT_TRUE(bArrived);
    EXPECT_EQ(m_recorder.keys(), (CKeys{{"Ctrl+Z", 0}, {"Ctrl+Z", 1}}));
}

TEST_F(X11KeyHookTest, HeldKeyIsAnnouncedOnceWhileTheServerRepeatsIt)
{
    m_other.setFastAutoRepeat();
    m_other.press(XK_F9, true);
    ASSERT_TRUE(m_other.waitForPresses(XK_F9, 4)) << "the server did not repeat the held key";
    m_other.press(XK_F9, false);
    m_other.typeChord({XK_F8}); // the hook reports in order: once F8 is in, the F9 repeats were seen
    ASSERT_TRUE(m_recorder.waitForCount(4));
    EXPECT_EQ(m_recorder.keys(), (CKeys{{"F9", 0}, {"F9", 1}, {"F8", 0}, {"F8", 1}}));
}

TEST_F(X11KeyHookTest, RemovingTheHookEndsItsThreadPromptlyAndTwiceIsHarmless)
{
    CLogCapture capture;
    for (int nRound = 0; nRound < 3; ++nRound) {
        EXPECT_TRUE(threadNames().contains(QStringLiteral("global_key_hook")));
        ASSERT_TRUE(returnsInTime([this] { m_pShortcuts->removeHook(); }));
        m_pShortcuts->removeHook();
        EXPECT_EQ(m_pShortcuts->hookKind(), CShortcutManager::HOOK_NONE);
        EXPECT_FALSE(threadNames().contains(QStringLiteral("global_key_hook")));

        m_pShortcuts->setHook();
        m_pShortcuts->setHook();
        ASSERT_EQ(m_pShortcuts->hookKind(), CShortcutManager::HOOK_X11_RECORD);
    }
    m_other.typeChord({XK_F9});
    ASSERT_TRUE(m_recorder.waitForCount(2));
    EXPECT_EQ(m_recorder.keys(), (CKeys{{"F9", 0}, {"F9", 1}})) << "one hook after all the rounds";
    EXPECT_EQ(capture.count("watching the keys of every application on X display"), 3);
    EXPECT_EQ(capture.count("unavailable"), 0);
}

// An X server of the test's own, for the failures the shared one cannot show.
class CPrivateXServer
{
public:
    explicit CPrivateXServer(const QStringList& extraArguments = {})
    {
        // -displayfd 1: the server picks a free display number and writes it to its standard output.
        m_process.start(QStringLiteral("Xvfb"),
                        QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                                    QStringLiteral("-nolisten"), QStringLiteral("tcp")} +
                            extraArguments);
        if (m_process.waitForStarted() && m_process.waitForReadyRead(10000))
            m_display = ":" + m_process.readLine().trimmed();
    }

    ~CPrivateXServer() { kill(); }

    QByteArray display() const { return m_display; }
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // A server that stops answering, as a hung one does; SIGCONT lets it go on.
    void signal(int nSignal) { ::kill(static_cast<pid_t>(m_process.processId()), nSignal); }

private:
    QProcess m_process;
    QByteArray m_display;
};

// A hook on a server of the test's own, which the test can take away.
class X11KeyHookFailures : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb not installed (scripts/bootstrap.sh installs it)";
    }

    void startOn(const CPrivateXServer& server)
    {
        ASSERT_FALSE(server.display().isEmpty()) << "Xvfb did not start";
        QString strError;
        ASSERT_TRUE(m_hook.start(server.display(), strError)) << strError.toStdString();
    }

    CLogCapture m_capture;
    CX11KeyHook m_hook{[](int, int) {}};
};

TEST_F(X11KeyHookFailures, RefusedStartsSayWhyAndLeaveNothingRunning)
{
    QString strError;
    EXPECT_FALSE(m_hook.start(":1999", strError));
    EXPECT_EQ(strError, QStringLiteral("cannot open X display :1999"));
    EXPECT_FALSE(m_hook.isRunning());

    CPrivateXServer server({QStringLiteral("-extension"), QStringLiteral("RECORD")});
    ASSERT_FALSE(server.display().isEmpty()) << "Xvfb did not start";
    EXPECT_FALSE(m_hook.start(server.display(), strError));
    EXPECT_EQ(strError,
              QStringLiteral("X display %1 has no RECORD extension").arg(QString(server.display())));
    EXPECT_FALSE(m_hook.isRunning());
}

TEST_F(X11KeyHookFailures, LostServerIsLoggedAndTheProcessCarriesOn)
{
    CPrivateXServer server;
    ASSERT_NO_FATAL_FAILURE(startOn(server));
    server.kill();
    EXPECT_TRUE(m_capture.waitForCount(
        "the connection to X display " + server.display().toStdString() + " ended", 1));
    ASSERT_TRUE(returnsInTime([this] { m_hook.stop(); }));
    EXPECT_FALSE(m_hook.isRunning());
}

TEST_F(X11KeyHookFailures, ServerThatStopsAnsweringIsLeftAndStopReturns)
{
    CPrivateXServer server;
    ASSERT_NO_FATAL_FAILURE(startOn(server));
    server.signal(SIGSTOP);
    const bool bStopped = returnsInTime([this] { m_hook.stop(); });
    server.signal(SIGCONT);
    ASSERT_TRUE(bStopped);
    EXPECT_FALSE(m_hook.isRunning());
    EXPECT_TRUE(m_capture.contains("global key hook: X display " + server.display().toStdString() +
                                   " does not end the recording; leaving it"));
}

} // namespace
