#pragma once

#include "base/csingletont.h"

#include <boost/signals2/signal.hpp>

#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>

namespace TC {

class CKeyEventFilter;
class CX11KeyHook;

// The host's global keyboard shortcuts. Once the hook is installed, every key press and release is
// announced on m_sigGlobalKey as (Qt key code with modifiers, state), state 0 for a press and 1 for a
// release; a held key is announced once. On X11 the hook sees the keys typed into every application
// and its slots run on the hook's own thread; elsewhere it sees only the keys typed into the host's
// windows and its slots run on the GUI thread. Slots must be quick, thread-safe and must not remove
// the hook. setHook and removeHook are called on the GUI thread; deliverKey on any thread.
class CShortcutManager
{
public:
    enum EHookKind
    {
        HOOK_NONE,
        HOOK_X11_RECORD,  // every key on the X server, through the RECORD extension
        HOOK_APPLICATION, // an event filter on the host's own windows
    };

    CShortcutManager();
    ~CShortcutManager();
    CShortcutManager(const CShortcutManager&) = delete;
    CShortcutManager& operator=(const CShortcutManager&) = delete;

    boost::signals2::signal<void(int nKey, int nState)> m_sigGlobalKey;

    // Installs the keyboard hook: the X11 one where an X display with RECORD is at hand, otherwise the
    // application's event filter, which is logged. A second call changes nothing.
    void setHook();
    // Removes the hook; once it returns no slot runs from it any more. Harmless without a hook.
    void removeHook();
    EHookKind hookKind() const { return m_eHook.load(); }
    bool isHooked() const { return hookKind() != HOOK_NONE; }

    // Announces one key event, as the hook does.
    void deliverKey(int nKey, int nState);

private:
    // Why the X11 hook cannot be used in this process; empty when it can be tried.
    static QString x11Unavailable();

    std::atomic<EHookKind> m_eHook{HOOK_NONE};
    std::unique_ptr<CX11KeyHook> m_pX11Hook;
    QPointer<CKeyEventFilter> m_pFilter; // owned by the application object
};

// Installs the global keyboard hook (CShortcutManager::setHook on the process-wide manager).
void setHook();

} // namespace TC

template <> TC::CShortcutManager* utils::CSingletonT<TC::CShortcutManager>::instance();
