#include "base/cmonitorprocesschecker.h"

#include <boost/thread/mutex.hpp>

#include <atomic>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace TC {

namespace {

constexpr long kCheckIntervalMSec = 500;

boost::mutex g_configMutex;
QStringList g_processNames;
std::atomic<bool> g_bAlwaysMonitor{false};

// Names of the running processes: the kernel's short name and the base name of argv[0].
QSet<QString> runningProcessNames()
{
    QSet<QString> names;
#ifdef __linux__
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& strEntry : entries)
    {
        bool bPid = false;
        strEntry.toInt(&bPid);
        if (!bPid)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(strEntry));
        if (comm.open(QIODevice::ReadOnly))
            names.insert(QString::fromLocal8Bit(comm.readAll()).trimmed());
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(strEntry));
        if (cmdline.open(QIODevice::ReadOnly))
        {
            const QByteArray arg0 = cmdline.readAll().split('\0').value(0);
            if (!arg0.isEmpty())
                names.insert(QFileInfo(QString::fromLocal8Bit(arg0)).fileName());
        }
    }
#endif
    return names;
}

} // namespace

// Shared with the handlers queued on the io_service, so that a handler still queued when the checker
// is destroyed touches nothing that is gone.
struct CMonitorProcessChecker::CState
{
    explicit CState(boost::asio::io_service& ioService) : m_ioService(ioService), m_timer(ioService) {}

    void check()
    {
        QStringList names;
        {
            boost::mutex::scoped_lock lock(g_configMutex);
            names = g_processNames;
        }
        bool bFound = false;
        if (!names.isEmpty())
        {
            const QSet<QString> running = runningProcessNames();
            for (const QString& strName : names)
                bFound = bFound || running.contains(strName);
        }
        m_bMonitor.store(bFound);
    }

    static void schedule(const std::shared_ptr<CState>& pState)
    {
        pState->m_timer.expires_from_now(boost::posix_time::milliseconds(kCheckIntervalMSec));
        std::weak_ptr<CState> pWeak = pState;
        pState->m_timer.async_wait([pWeak](const boost::system::error_code& ec) {
            std::shared_ptr<CState> p = pWeak.lock();
            if (ec || !p || !p->m_bRunning)
                return;
            p->check();
            schedule(p);
        });
    }

    boost::asio::io_service& m_ioService;
    boost::asio::deadline_timer m_timer; // used on the io_service's thread only
    bool m_bRunning = false;             // likewise
    std::atomic<bool> m_bMonitor{false};
};

CMonitorProcessChecker::CMonitorProcessChecker(boost::asio::io_service& ioService)
    : m_pState(std::make_shared<CState>(ioService))
{
}

CMonitorProcessChecker::~CMonitorProcessChecker()
{
    std::shared_ptr<CState> pState = m_pState;
    m_pState->m_ioService.post([pState] {
        pState->m_bRunning = false;
        pState->m_timer.cancel();
    });
}

void CMonitorProcessChecker::configure(const QStringList& processNames, bool bAlwaysMonitor)
{
    boost::mutex::scoped_lock lock(g_configMutex);
    g_processNames = processNames;
    g_bAlwaysMonitor.store(bAlwaysMonitor);
}

void CMonitorProcessChecker::init()
{
}

void CMonitorProcessChecker::start()
{
    std::shared_ptr<CState> pState = m_pState;
    m_pState->m_ioService.post([pState] {
        if (pState->m_bRunning)
            return;
        pState->m_bRunning = true;
        pState->check();
        CState::schedule(pState);
    });
}

void CMonitorProcessChecker::stop()
{
    std::shared_ptr<CState> pState = m_pState;
    m_pState->m_ioService.post([pState] {
        pState->m_bRunning = false;
        pState->m_timer.cancel();
        pState->m_bMonitor.store(false);
    });
}

bool CMonitorProcessChecker::isMonitor() const
{
    return g_bAlwaysMonitor.load() || m_pState->m_bMonitor.load();
}

} // namespace TC
