#include "runinmainthread.h"

#include <QCoreApplication>
#include <QObject>

namespace TC {

void runInMainThread(std::function<void()> fn, QObject* pContext)
{
    QObject* pApp = QCoreApplication::instance();
    if (!pApp) {
        fn();
        return;
    }
    // Automatic type: a direct call on the context's thread, a queued one from any other. The queued
    // call and its copy of fn belong to the posted event alone, so they are freed on the GUI thread,
    // and dropped with the context's pending events when it is destroyed first.
    QMetaObject::invokeMethod(
        pContext ? pContext : pApp, [fn = std::move(fn)] { fn(); }, Qt::AutoConnection);
}

} // namespace TC
