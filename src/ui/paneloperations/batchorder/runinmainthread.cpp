#include "runinmainthread.h"

#include <QCoreApplication>
#include <QObject>

#include <memory>

namespace TC {

void runInMainThread(std::function<void()> fn, QObject* pContext)
{
    QObject* pApp = QCoreApplication::instance();
    if (!pApp) {
        fn();
        return;
    }
    // The destroyed signal of a temporary object, connected with automatic type, is a direct call on the
    // context's thread and a queued one from any other.
    auto pTemp = std::make_unique<QObject>();
    QObject::connect(pTemp.get(), &QObject::destroyed, pContext ? pContext : pApp,
                     [fn = std::move(fn)] { fn(); });
}

} // namespace TC
