#include "ui/cx11keyhook.h"

#include "base/clogger.h"
#include "base/utils.h"

#include <fmt/format.h>

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

// X headers last: they define macros (None, KeyPress, Bool, Status) that clash with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>

namespace TC {

namespace {

// How long start waits for the server to begin recording, and stop for it to end, before giving up
// on the server (start) or cutting the connection under the thread (stop).
constexpr int kStartTimeoutSeconds = 5;
constexpr int kStopGraceSeconds = 2;

// Xlib reports a protocol error or a lost connection through process-wide handlers whose defaults
// end the process. The hook's own connections are answered here instead: an error is remembered for
// the caller, a lost connection makes the blocked call return; every other connection keeps the
// handlers it had.
std::mutex g_displaysMutex;
std::map<Display*, int> g_lastErrors; // the hook's connections and their last protocol error code
XErrorHandler g_previousErrorHandler = nullptr;
XIOErrorHandler g_previousIoErrorHandler = nullptr;

int onXError(Display* pDisplay, XErrorEvent* pError)
{
    {
        std::lock_guard<std::mutex> lock(g_displaysMutex);
        auto it = g_lastErrors.find(pDisplay);
        if (it != g_lastErrors.end())
        {
            it->second = pError->error_code;
            return 0;
        }
    }
    return g_previousErrorHandler ? g_previousErrorHandler(pDisplay, pError) : 0;
}

int onXIoError(Display* pDisplay)
{
    {
        std::lock_guard<std::mutex> lock(g_displaysMutex);
        if (g_lastErrors.count(pDisplay))
            return 0;
    }
    return g_previousIoErrorHandler ? g_previousIoErrorHandler(pDisplay) : 0;
}

void keepProcessOnIoError(Display*, void*)
{
    // The hook thread notices the failed call and reports the lost connection.
}

void installErrorHandlers()
{
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        g_previousErrorHandler = XSetErrorHandler(onXError);
        g_previousIoErrorHandler = XSetIOErrorHandler(onXIoError);
    });
}

Display* openHookDisplay(const char* pszName)
{
    Display* pDisplay = XOpenDisplay(pszName);
    if (pDisplay)
    {
        XSetIOErrorExitHandler(pDisplay, keepProcessOnIoError, nullptr);
        std::lock_guard<std::mutex> lock(g_displaysMutex);
        g_lastErrors[pDisplay] = Success;
    }
    return pDisplay;
}

// The last protocol error on one of the hook's connections (Success when none), cleared.
int takeLastError(Display* pDisplay)
{
    std::lock_guard<std::mutex> lock(g_displaysMutex);
    return std::exchange(g_lastErrors[pDisplay], Success);
}

// Connections to a server that is gone or does not answer. Xlib cannot close them safely (closing
// talks to the server, and Xlib's state after a lost connection is fit only for exiting), so their
// sockets are closed and the rest is kept, never touched again (and never destroyed, so that it stays
// reachable and no leak checker mistakes it for lost memory).
std::vector<Display*>* g_pAbandonedDisplays = new std::vector<Display*>;

void closeHookDisplay(Display* pDisplay, bool bAbandon)
{
    if (!pDisplay)
        return;
    if (!bAbandon)
        XCloseDisplay(pDisplay);
    std::lock_guard<std::mutex> lock(g_displaysMutex);
    g_lastErrors.erase(pDisplay);
    if (bAbandon)
    {
        ::close(ConnectionNumber(pDisplay));
        g_pAbandonedDisplays->push_back(pDisplay);
    }
}

} // namespace

// Entry points called by Xlib on the hook thread.
struct CX11RecordCallbacks
{
    static void intercept(XPointer pClosure, XRecordInterceptData* pData)
    {
        auto* pHook = reinterpret_cast<CX11KeyHook*>(pClosure);
        if (pData->category == XRecordStartOfData)
        {
            pHook->setRecordState(CX11KeyHook::RECORD_RUNNING);
        }
        else if (pData->category == XRecordFromServer && pData->data_len * 4 >= sizeof(xEvent))
        {
            const auto* pEvent = reinterpret_cast<const xEvent*>(pData->data);
            const int nType = pEvent->u.u.type & 0x7f;
            if (nType == KeyPress || nType == KeyRelease)
                pHook->onKeyEvent(nType == KeyPress, pEvent->u.u.detail, pEvent->u.keyButtonPointer.state);
        }
        XRecordFreeData(pData);
    }
};

CX11KeyHook::CX11KeyHook(KeyHandler handler) : m_handler(std::move(handler))
{
}

CX11KeyHook::~CX11KeyHook()
{
    stop();
}

bool CX11KeyHook::start(const QByteArray& displayName, QString& strError)
{
    if (isRunning())
        return true;
    installErrorHandlers();
    const char* pszName = displayName.isEmpty() ? nullptr : displayName.constData();
    m_strDisplay = QString::fromLocal8Bit(XDisplayName(pszName));

    m_pControl = openHookDisplay(pszName);
    m_pData = openHookDisplay(pszName);
    m_pKeymap = openHookDisplay(pszName);
    if (!m_pControl || !m_pData || !m_pKeymap)
    {
        closeDisplays();
        strError = QStringLiteral("cannot open X display %1").arg(m_strDisplay);
        return false;
    }
    int nMajor = 0;
    int nMinor = 0;
    if (!XRecordQueryVersion(m_pControl, &nMajor, &nMinor))
    {
        closeDisplays();
        strError = QStringLiteral("X display %1 has no RECORD extension").arg(m_strDisplay);
        return false;
    }
    refreshModifierMasks();
    // The server hands the recording over only when it has output for some client anyway. A key
    // typed while no application listens (the focus on the root window) would wait for the next
    // unrelated output; listening to the root window's keys ourselves makes that output.
    XSelectInput(m_pKeymap, DefaultRootWindow(m_pKeymap), KeyPressMask | KeyReleaseMask);
    XSync(m_pKeymap, False);

    XRecordRange* pRange = XRecordAllocRange();
    if (pRange)
    {
        pRange->device_events.first = KeyPress;
        pRange->device_events.last = KeyRelease;
        XRecordClientSpec clients = XRecordAllClients;
        m_nContext = XRecordCreateContext(m_pControl, 0, &clients, 1, &pRange, 1);
        XFree(pRange);
    }
    // The context must exist on the server before the data connection enables it.
    XSync(m_pControl, False);
    if (!m_nContext || takeLastError(m_pControl) != Success)
    {
        m_nContext = 0;
        closeDisplays();
        strError = QStringLiteral("X display %1 refused to record keys").arg(m_strDisplay);
        return false;
    }

    m_nDataSocket = ConnectionNumber(m_pData);
    m_bClosingData = false;
    m_bAbandoned = false;
    setRecordState(RECORD_STARTING);
    m_thread = std::thread([this] { run(); });
    if (!waitForState(RECORD_RUNNING, kStartTimeoutSeconds))
    {
        stop();
        strError = QStringLiteral("X display %1 did not start recording keys").arg(m_strDisplay);
        return false;
    }
    return true;
}

void CX11KeyHook::stop()
{
    if (m_thread.joinable())
    {
        m_bStopping = true;
        if (!waitForState(RECORD_ENDED, 0)) // a recording that ended by itself has lost its server
        {
            XRecordDisableContext(m_pControl, m_nContext);
            XFlush(m_pControl);
        }
        if (!waitForState(RECORD_ENDED, kStopGraceSeconds))
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            if (!m_bClosingData)
            {
                LOG4CXX_WARN(g_TTStdLogger, fmt::format("global key hook: X display {0} does not end the "
                                                        "recording; leaving it",
                                                        m_strDisplay.toStdString()));
                // Unblocks the thread's read whatever the server does.
                m_bAbandoned = true;
                ::shutdown(m_nDataSocket, SHUT_RDWR);
            }
        }
        m_thread.join();
        m_bStopping = false;
    }
    if (m_pControl && m_nContext && !m_bAbandoned)
        XRecordFreeContext(m_pControl, m_nContext);
    m_nContext = 0;
    closeDisplays();
    m_keysDown.reset();
}

void CX11KeyHook::run()
{
    utils::setThreadName("global_key_hook");
    // Blocks in a read on the data connection until the recording is disabled or the connection is
    // lost; the intercept callback runs inside this call.
    XRecordEnableContext(m_pData, m_nContext, &CX11RecordCallbacks::intercept,
                         reinterpret_cast<XPointer>(this));

    bool bLost = false;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        // A recording that ends without being asked to has lost its server (or never had it).
        m_bAbandoned = m_bAbandoned || !m_bStopping;
        bLost = m_eRecordState == RECORD_RUNNING && !m_bStopping;
        // From here on stop must not cut the socket: it is about to be closed, and its number reused.
        m_bClosingData = true;
    }
    closeHookDisplay(m_pData, m_bAbandoned);
    closeHookDisplay(m_pKeymap, m_bAbandoned);
    m_pData = nullptr;
    m_pKeymap = nullptr;
    setRecordState(RECORD_ENDED);
    if (bLost)
        LOG4CXX_ERROR(
            g_TTStdLogger,
            fmt::format("global key hook: the connection to X display {0} ended; keys typed outside "
                        "the host are no longer seen",
                        m_strDisplay.toStdString()));
}

void CX11KeyHook::setRecordState(ERecordState eState)
{
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_eRecordState = eState;
    }
    m_stateChanged.notify_all();
}

bool CX11KeyHook::waitForState(ERecordState eWanted, int nSeconds)
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    m_stateChanged.wait_for(lock, std::chrono::seconds(nSeconds),
                            [&] { return m_eRecordState == eWanted || m_eRecordState == RECORD_ENDED; });
    return m_eRecordState == eWanted;
}

void CX11KeyHook::onKeyEvent(bool bPress, unsigned int nKeyCode, unsigned int nState)
{
    if (nKeyCode >= m_keysDown.size())
        return;
    if (bPress)
    {
        // A held key repeats as further presses without releases.
        if (m_keysDown.test(nKeyCode))
            return;
        m_keysDown.set(nKeyCode);
    }
    else
    {
        m_keysDown.reset(nKeyCode);
    }

    // Keyboard and modifier map changes arrive as events on the keymap connection; reading them lets
    // Xlib refresh its copy of the map before the lookup. The root window's keys arrive there too.
    bool bMapChanged = false;
    while (XPending(m_pKeymap) > 0)
    {
        XEvent event;
        XNextEvent(m_pKeymap, &event);
        bMapChanged = bMapChanged || (event.type != KeyPress && event.type != KeyRelease);
    }
    if (bMapChanged)
        refreshModifierMasks();
    int nKey = 0;
    KeySym nKeySym = NoSymbol;
    unsigned int nConsumed = 0;
    if (XkbLookupKeySym(m_pKeymap, static_cast<KeyCode>(nKeyCode), nState, &nConsumed, &nKeySym))
        nKey = m_translator.toQtKey(nKeySym, nState);
    if (nKey == 0)
        return;
    try
    {
        m_handler(nKey, bPress ? 0 : 1);
    }
    catch (const std::exception& e)
    {
        // Xlib's C frames are above us; nothing may unwind through them.
        LOG4CXX_ERROR(g_TTStdLogger, fmt::format("global key hook: key handler failed: {0}", e.what()));
    }
    catch (...)
    {
        LOG4CXX_ERROR(g_TTStdLogger, "global key hook: key handler failed");
    }
}

void CX11KeyHook::refreshModifierMasks()
{
    XModifierKeymap* pMap = XGetModifierMapping(m_pKeymap);
    if (!pMap)
        return;
    unsigned int nAlt = 0;
    unsigned int nMeta = 0;
    unsigned int nSuper = 0;
    for (int nModifier = 0; nModifier < 8; ++nModifier)
    {
        for (int i = 0; i < pMap->max_keypermod; ++i)
        {
            const KeyCode nKeyCode = pMap->modifiermap[nModifier * pMap->max_keypermod + i];
            if (nKeyCode == 0)
                continue;
            const KeySym nKeySym = XkbKeycodeToKeysym(m_pKeymap, nKeyCode, 0, 0);
            if (nKeySym == XK_Alt_L || nKeySym == XK_Alt_R)
                nAlt |= 1u << nModifier;
            else if (nKeySym == XK_Meta_L || nKeySym == XK_Meta_R)
                nMeta |= 1u << nModifier;
            else if (nKeySym == XK_Super_L || nKeySym == XK_Super_R)
                nSuper |= 1u << nModifier;
        }
    }
    XFreeModifiermap(pMap);
    // Where Meta shares Alt's modifier, as in most layouts, Qt takes Super for Meta.
    if (nMeta == 0 || nMeta == nAlt)
        nMeta = nSuper;
    m_translator.setModifierMasks(nAlt ? nAlt : Mod1Mask, nMeta ? nMeta : Mod4Mask);
}

void CX11KeyHook::closeDisplays()
{
    closeHookDisplay(m_pKeymap, m_bAbandoned);
    closeHookDisplay(m_pData, m_bAbandoned);
    closeHookDisplay(m_pControl, m_bAbandoned);
    m_pKeymap = nullptr;
    m_pData = nullptr;
    m_pControl = nullptr;
    m_nDataSocket = -1;
    m_bAbandoned = false;
}

} // namespace TC
