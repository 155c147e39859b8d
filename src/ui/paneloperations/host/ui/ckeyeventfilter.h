#pragma once

#include <QObject>

#include <functional>

namespace TC {

// The keyboard hook of last resort: an application-wide event filter that sees the keys typed into the
// host's own windows (and only while one of them has the focus). Lives and runs on the GUI thread; the
// handler is called there with (Qt key code with modifiers, 0 for a press or 1 for a release).
class CKeyEventFilter : public QObject
{
public:
    using KeyHandler = std::function<void(int nKey, int nState)>;

    CKeyEventFilter(KeyHandler handler, QObject* pParent);

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    KeyHandler m_handler;
};

} // namespace TC
