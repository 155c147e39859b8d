#include "ui/ckeyeventfilter.h"

#include <QEvent>
#include <QKeyEvent>

#include <utility>

namespace TC {

namespace {

bool isModifierOnly(int nKey)
{
    switch (nKey)
    {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_unknown:
    case 0:
        return true;
    default:
        return false;
    }
}

} // namespace

CKeyEventFilter::CKeyEventFilter(KeyHandler handler, QObject* pParent)
    : QObject(pParent), m_handler(std::move(handler))
{
}

bool CKeyEventFilter::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QEvent::Type eType = pEvent->type();
    // A typed key reaches its window first and is then passed on to the focus widget and its parents,
    // each time through this filter: take it at the window only, so each key is announced once.
    if ((eType == QEvent::KeyPress || eType == QEvent::KeyRelease) && pEvent->spontaneous() &&
        pWatched->isWindowType())
    {
        const auto* pKey = static_cast<const QKeyEvent*>(pEvent);
        if (!pKey->isAutoRepeat() && !isModifierOnly(pKey->key()))
            m_handler(pKey->key() | static_cast<int>(pKey->modifiers()), eType == QEvent::KeyPress ? 0 : 1);
    }
    return QObject::eventFilter(pWatched, pEvent);
}

} // namespace TC
