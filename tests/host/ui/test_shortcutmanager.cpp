#include "ui/cshortcutmanager.h"

#include "common/clogcapture.h"
#include "keyrecorder.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

using namespace TC;

namespace {

using CKeys = std::vector<CKeyRecorder::CKey>;

// On the offscreen platform the hook falls back to the application's event filter: keys typed into a
// host window reach the global key signal on the GUI thread.
class ShortcutManagerFallback : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto* pLayout = new QVBoxLayout(&m_window);
        pLayout->addWidget(m_pEdit);
        m_window.show();
        m_pEdit->setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    void TearDown() override { m_manager.removeHook(); }

    // A key typed into the window: it reaches the window first, then the focused edit and its parent.
    void type(Qt::Key eKey, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(m_window.windowHandle(), eKey, modifiers);
    }

    CShortcutManager m_manager;
    CKeyRecorder m_recorder{m_manager};
    QWidget m_window;
    QLineEdit* m_pEdit = new QLineEdit(&m_window);
};

// A second setHook neither logs again nor adds a second filter (which would announce every key twice).
TEST_F(ShortcutManagerFallback, SetHookFallsBackWithOneLogLineAndAnnouncesEachKeyOnceWithItsModifiers)
{
    CLogCapture capture;
    m_manager.setHook();
    m_manager.setHook();
    EXPECT_EQ(m_manager.hookKind(), CShortcutManager::HOOK_APPLICATION);
    EXPECT_EQ(capture.count("global key hook unavailable"), 1);
    EXPECT_EQ(capture.count("the order key is seen only while a host window has the focus"), 1);
    EXPECT_EQ(capture.lines().size(), 1u);

    type(Qt::Key_F9);
    type(Qt::Key_1, Qt::ControlModifier); // also presses and releases Ctrl itself, which is not announced
    type(Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(
        m_recorder.keys(),
        (CKeys{
            {"F9", 0}, {"F9", 1}, {"Ctrl+1", 0}, {"Ctrl+1", 1}, {"Ctrl+Shift+A", 0}, {"Ctrl+Shift+A", 1}}));
}

TEST_F(ShortcutManagerFallback, HeldKeyIsAnnouncedOnce)
{
    m_manager.setHook();
    QWindow* pWindow = m_window.windowHandle();
    qt_handleKeyEvent(pWindow, QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier);
    for (int i = 0; i < 3; ++i) {
        qt_handleKeyEvent(pWindow, QEvent::KeyRelease, Qt::Key_F9, Qt::NoModifier, QString(), true);
        qt_handleKeyEvent(pWindow, QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier, QString(), true);
    }
    qt_handleKeyEvent(pWindow, QEvent::KeyRelease, Qt::Key_F9, Qt::NoModifier);
    EXPECT_EQ(m_recorder.keys(), (CKeys{{"F9", 0}, {"F9", 1}}));
}

TEST_F(ShortcutManagerFallback, RemovedHookAnnouncesNothingAndRemovingTwiceIsHarmless)
{
    m_manager.setHook();
    m_manager.removeHook();
    m_manager.removeHook();
    EXPECT_EQ(m_manager.hookKind(), CShortcutManager::HOOK_NONE);
    type(Qt::Key_F9); // delivered synchronously: had a filter been left, it would have announced it
    EXPECT_TRUE(m_recorder.keys().empty());

    m_manager.setHook();
    type(Qt::Key_F9);
    EXPECT_EQ(m_recorder.keys(), (CKeys{{"F9", 0}, {"F9", 1}}));
}

} // namespace
