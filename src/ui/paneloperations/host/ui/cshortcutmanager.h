#pragma once

#include "base/csingletont.h"

#include <boost/signals2/signal.hpp>

#include <atomic>

class QObject;

namespace TC {

// The host's global keyboard shortcuts. Once the hook is installed, every key press and release the
// application sees is announced on m_sigGlobalKey as (key code with modifiers, state), state 0 for a
// press and 1 for a release. Slots run on the thread that delivers the key (the GUI thread for real
// keys); they must be quick.
class CShortcutManager
{
public:
    CShortcutManager();
    ~CShortcutManager();
    CShortcutManager(const CShortcutManager&) = delete;
    CShortcutManager& operator=(const CShortcutManager&) = delete;

    boost::signals2::signal<void(int nKey, int nState)> m_sigGlobalKey;

    // Installs the keyboard hook on the running application; a second call changes nothing. Without an
    // application object (headless) nothing is hooked and keys arrive only through deliverKey.
    void setHook();
    bool isHooked() const { return m_bHooked.load(); }

    // Announces one key event, as the hook does.
    void deliverKey(int nKey, int nState);

private:
    std::atomic<bool> m_bHooked{false};
    QObject* m_pFilter = nullptr;
};

// Installs the global keyboard hook (CShortcutManager::setHook on the process-wide manager).
void setHook();

} // namespace TC

template <>
TC::CShortcutManager* utils::CSingletonT<TC::CShortcutManager>::instance();
