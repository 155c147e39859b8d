#include "ui/cshortcutmanager.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QObject>

namespace TC {

namespace {

// Application-wide event filter standing in for the desktop keyboard hook: it sees every key event the
// application receives, whichever window has the focus.
class CKeyHookFilter : public QObject
{
public:
    explicit CKeyHookFilter(CShortcutManager* pManager) : m_pManager(pManager) {}

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        const QEvent::Type eType = pEvent->type();
        if (eType == QEvent::KeyPress || eType == QEvent::KeyRelease)
        {
            auto* pKey = static_cast<QKeyEvent*>(pEvent);
            // A key event reaches the filter once per object it propagates through (window, widgets);
            // announce each physical event once.
            if (!pKey->isAutoRepeat() && pKey->spontaneous() && pWatched->isWidgetType() &&
                (pKey->timestamp() != m_nLastTimestamp || eType != m_eLastType))
            {
                m_nLastTimestamp = pKey->timestamp();
                m_eLastType = eType;
                const int nKey = pKey->key() | static_cast<int>(pKey->modifiers());
                m_pManager->deliverKey(nKey, eType == QEvent::KeyPress ? 0 : 1);
            }
        }
        return QObject::eventFilter(pWatched, pEvent);
    }

private:
    CShortcutManager* m_pManager;
    ulong m_nLastTimestamp = 0;
    QEvent::Type m_eLastType = QEvent::None;
};

} // namespace

CShortcutManager::CShortcutManager() = default;

CShortcutManager::~CShortcutManager()
{
    // The filter belongs to the application object, which may already be gone at process exit.
    m_pFilter = nullptr;
}

void CShortcutManager::setHook()
{
    QCoreApplication* pApp = QCoreApplication::instance();
    if (!pApp || m_bHooked.exchange(true))
        return;
    auto* pFilter = new CKeyHookFilter(this);
    pFilter->setParent(pApp);
    pApp->installEventFilter(pFilter);
    m_pFilter = pFilter;
}

void CShortcutManager::deliverKey(int nKey, int nState)
{
    m_sigGlobalKey(nKey, nState);
}

void setHook()
{
    utils::CSingletonT<CShortcutManager>::instance()->setHook();
}

} // namespace TC

template <>
TC::CShortcutManager* utils::CSingletonT<TC::CShortcutManager>::instance()
{
    static TC::CShortcutManager s_manager;
    return &s_manager;
}
