#include "ui/cshortcutmanager.h"

#include "base/clogger.h"
#include "ui/ckeyeventfilter.h"
#include "ui/cx11keyhook.h"

#include <fmt/format.h>

#include <QCoreApplication>
#include <QGuiApplication>

namespace TC {

CShortcutManager::CShortcutManager() = default;

CShortcutManager::~CShortcutManager()
{
    removeHook();
}

void CShortcutManager::setHook()
{
    if (isHooked())
        return;
    auto deliver = [this](int nKey, int nState) { deliverKey(nKey, nState); };

    QString strWhy = x11Unavailable();
    if (strWhy.isEmpty())
    {
        auto pHook = std::make_unique<CX11KeyHook>(deliver);
        if (pHook->start(QByteArray(), strWhy))
        {
            // Under Wayland the X server is XWayland, which sees only the keys typed into X11 clients.
            const char* pszScope = qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                       ? "every application"
                                       : "every X11 application (not native Wayland ones)";
            LOG4CXX_INFO(g_TTStdLogger,
                         fmt::format("global key hook: watching the keys of {0} on X display {1}", pszScope,
                                     pHook->displayName().toStdString()));
            m_pX11Hook = std::move(pHook);
            m_eHook = HOOK_X11_RECORD;
            return;
        }
    }

    QCoreApplication* pApp = QCoreApplication::instance();
    if (!pApp)
    {
        LOG4CXX_WARN(
            g_TTStdLogger,
            fmt::format("global key hook unavailable ({0}) and no application: the order key is not seen",
                        strWhy.toStdString()));
        return;
    }
    m_pFilter = new CKeyEventFilter(deliver, pApp);
    pApp->installEventFilter(m_pFilter);
    m_eHook = HOOK_APPLICATION;
    LOG4CXX_WARN(
        g_TTStdLogger,
        fmt::format("global key hook unavailable ({0}): the order key is seen only while a host window "
                    "has the focus",
                    strWhy.toStdString()));
}

void CShortcutManager::removeHook()
{
    m_eHook = HOOK_NONE;
    if (m_pX11Hook)
    {
        m_pX11Hook->stop();
        m_pX11Hook.reset();
    }
    // The filter dies with the application object, which may be gone already at process exit.
    delete m_pFilter.data();
}

void CShortcutManager::deliverKey(int nKey, int nState)
{
    m_sigGlobalKey(nKey, nState);
}

QString CShortcutManager::x11Unavailable()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
    {
        return qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? QStringLiteral("no X display")
                                                              : QStringLiteral("Wayland without XWayland");
    }
    // A host that shows nothing on the display does not take keys from it either.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    {
        const QString strPlatform = QGuiApplication::platformName();
        if (strPlatform == QLatin1String("offscreen") || strPlatform == QLatin1String("minimal"))
            return QStringLiteral("the host runs on the %1 platform").arg(strPlatform);
    }
    return QString();
}

void setHook()
{
    utils::CSingletonT<CShortcutManager>::instance()->setHook();
}

} // namespace TC

template <> TC::CShortcutManager* utils::CSingletonT<TC::CShortcutManager>::instance()
{
    static TC::CShortcutManager s_manager;
    return &s_manager;
}
