#include "cbatchorderfilemonitor.h"

#include "batchorderlog.h"

#include "base/utils.h"

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>

#ifdef __linux__
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace TC {

namespace {

const char* const kThreadName = "batch_order_read_thread";
const int kUtf8Mib = 106;

// Set on a reader thread to the monitor it serves: a slot that starts or stops its own monitor must not
// wait for the thread it runs on.
thread_local const CBatchOrderFileMonitor* t_pReaderOf = nullptr;

// Retrying a failed directory watch costs a system call; once a second is plenty for a directory that
// appears later, the poll covers the gap.
const double kWatchRetryMSec = 1000.0;

// System messages come in the system's 8-bit encoding: the ANSI code page on Windows (GBK on a Chinese
// system), the locale's encoding (usually UTF-8) elsewhere.
std::string systemTextToUtf8(std::string strText)
{
#ifdef _WIN32
    utils::safeGbk2Utf8(strText);
    return strText;
#else
    return QString::fromLocal8Bit(strText.c_str()).toUtf8().toStdString();
#endif
}

std::string systemMessage(int nError)
{
    return systemTextToUtf8(std::strerror(nError));
}

} // namespace

CBatchOrderFileMonitor::CBatchOrderFileMonitor() = default;

CBatchOrderFileMonitor::~CBatchOrderFileMonitor()
{
    // The reader uses this object until its last poll, so it must be gone before the members are. (Not
    // from one of its own slots: a thread cannot wait for itself.)
    stopCsvMonitor();
}

void CBatchOrderFileMonitor::setPath(const QString& strPath)
{
    boost::mutex::scoped_lock lock(m_pathMutex);
    m_strPath = strPath;
    m_nPathVersion.fetch_add(1, std::memory_order_release);
}

void CBatchOrderFileMonitor::loadPath()
{
    boost::mutex::scoped_lock lock(m_pathMutex);
    m_nLoadedPathVersion = m_nPathVersion.load(std::memory_order_relaxed);
    m_strReadPath = m_strPath;
    m_readInfo.setFile(m_strReadPath);
}

void CBatchOrderFileMonitor::startCsvMonitor()
{
    // From a slot on the reader thread the reader already exists, and it cannot wait for itself.
    if (t_pReaderOf == this)
    {
        BO_LOG_DEBUG("start thread!");
        return;
    }
    boost::mutex::scoped_lock control(m_controlMutex);
    boost::thread* pOld = nullptr;
    {
        boost::mutex::scoped_lock lock(m_threadMutex);
        if (m_bStopRequested)
        {
            std::swap(pOld, m_pThread);
            m_bStopRequested = false;
        }
    }
    // Only a reader that was asked to stop from its own slot is still around here; it ends at its next
    // poll, and must be gone before the new one starts, or two readers would race for one file.
    if (pOld)
    {
        pOld->join();
        delete pOld;
    }
    // Held until the line is logged: the new reader waits for it, so its name is set and this line comes
    // before any of its own.
    boost::mutex::scoped_lock lock(m_threadMutex);
    if (!m_pThread)
    {
        m_pThread = new boost::thread(&CBatchOrderFileMonitor::loopCsvReader, this);
        utils::setThreadName(m_pThread->native_handle(), kThreadName);
    }
    BO_LOG_DEBUG("start thread!");
}

void CBatchOrderFileMonitor::stopCsvMonitor()
{
    if (t_pReaderOf == this)
    {
        boost::mutex::scoped_lock lock(m_threadMutex);
        if (m_pThread)
        {
            m_pThread->interrupt();
            m_bStopRequested = true;
        }
        return;
    }
    boost::mutex::scoped_lock control(m_controlMutex);
    boost::thread* pThread = nullptr;
    {
        boost::mutex::scoped_lock lock(m_threadMutex);
        std::swap(pThread, m_pThread);
        m_bStopRequested = false;
    }
    if (!pThread)
        return;
    // Waiting here is what makes a start right after a stop leave exactly one reader; the reader notices
    // the request within one poll, so the wait is about a millisecond plus the file in hand, if any.
    pThread->interrupt();
    pThread->join();
    delete pThread;
}

void CBatchOrderFileMonitor::loopCsvReader()
{
    t_pReaderOf = this;
    {
        boost::mutex::scoped_lock lock(m_threadMutex);
    }
    loadPath();
    openWatch();
    try
    {
        for (;;)
        {
            boost::this_thread::interruption_point();
            // setPath while running: the next poll uses the new path.
            if (m_nPathVersion.load(std::memory_order_acquire) != m_nLoadedPathVersion)
                loadPath();
            try
            {
                tryCsvRead();
            }
            catch (const std::exception& e)
            {
                // A slot that throws, or a file too large for memory, must not end intake.
                BO_LOG_ERROR("read failed!{0}", e.what());
            }
            waitForChange();
        }
    }
    catch (const boost::thread_interrupted&)
    {
    }
    closeWatch();
    t_pReaderOf = nullptr;
    BO_LOG_INFO("stop thread!");
}

void CBatchOrderFileMonitor::tryCsvRead()
{
    if (m_strReadPath.isEmpty())
        return;
    // The idle poll: one refreshed file information query on an object that keeps the encoded path.
    m_readInfo.refresh();
    if (!m_readInfo.exists() || m_readInfo.size() < 1)
        return;
    const QString& strPath = m_strReadPath;
    const QFileInfo& info = m_readInfo;

    const QString strTmpPath = info.path() + QDir::separator()
                               + QStringLiteral("%1_tmp%2.%3")
                                     .arg(info.completeBaseName())
                                     .arg(m_nTmpIndex)
                                     .arg(info.suffix());

    int nLeaseFd = -1;
    std::string strLeaseError;
    if (!takeLease(strPath, nLeaseFd, strLeaseError))
    {
        // Gone since the look above: nothing to take and nothing to report.
        if (strLeaseError.empty())
            return;
        ++m_nTmpIndex;
        BO_LOG_ERROR("rename failed!{0}", strLeaseError);
        return;
    }

    boost::system::error_code error;
    boost::filesystem::rename(boost::filesystem::path(strPath.toLocal8Bit().toStdString()),
                              boost::filesystem::path(strTmpPath.toLocal8Bit().toStdString()), error);
    // The lease belongs to the file, not to its name, so it can go once the file is out of the way.
    releaseLease(nLeaseFd);
    if (error)
    {
        ++m_nTmpIndex;
        BO_LOG_ERROR("rename failed!{0}", systemTextToUtf8(error.message()));
        return;
    }

    QFile file(strTmpPath);
    if (!file.open(QIODevice::ReadOnly))
    {
        file.close();
        BO_LOG_ERROR("open failed!");
        // The file left aside is the only copy of its lines: the next file must not be renamed onto it.
        ++m_nTmpIndex;
        return;
    }
    QString strText;
    const QStringList lines = readLines(file, strText);
    {
        const QByteArray utf8 = strText.toUtf8();
        BO_LOG_INFO("param {0}", fmt::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    }
    if (!lines.isEmpty())
    {
        try
        {
            m_sigCsvFileRead(lines);
        }
        catch (...)
        {
            // The temporary file goes in every case, or it would stay behind for good.
            file.close();
            QFile::remove(strTmpPath);
            throw;
        }
    }
    file.close();
    QFile::remove(strTmpPath);
}

QStringList CBatchOrderFileMonitor::readLines(QIODevice& device, QString& strText)
{
    static QTextCodec* const s_pGbk = QTextCodec::codecForName("GBK");
    QByteArray bytes = device.readAll();
    // As a text stream would: a byte order mark names the encoding, GBK otherwise.
    QTextCodec* pCodec = QTextCodec::codecForUtfText(bytes, s_pGbk);
    // A decoder keeps the bytes of an unfinished last character to itself, so a file cut off inside a
    // character would lose them without a trace. A line feed finishes no character in GBK or UTF-8:
    // behind it they come out as a replacement character, and the line shows its damage.
    const bool bByteEncoding = pCodec == s_pGbk || pCodec->mibEnum() == kUtf8Mib;
    if (bByteEncoding)
        bytes.append('\n');
    strText = pCodec->toUnicode(bytes);
    if (bByteEncoding)
        strText.chop(1);
    return strText.split(QStringLiteral("\n"), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

bool CBatchOrderFileMonitor::takeLease(const QString& strPath, int& nLeaseFd, std::string& strError)
{
    nLeaseFd = -1;
#ifdef __linux__
    // Renaming an open file succeeds on Linux, so the rename alone cannot tell a finished file from one
    // still being written. A write lease is granted only while no other descriptor is open on the file,
    // and while it is held, any open() by another process waits for its release.
    // Read-only: that is enough for a write lease, needs no write permission and stamps no close-write
    // event that would wake the watch. Non-blocking: a FIFO at the path must not stall the reader.
    const int nFd = ::open(QFile::encodeName(strPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0)
    {
        const int nError = errno;
        if (nError == ENOENT)
            return false;
        // Unreadable: the rename goes ahead as it always did and the read fails with its own message.
        if (nError == EACCES || nError == EPERM)
            return true;
        strError = systemMessage(nError);
        return false;
    }
    struct stat st = {};
    if (::fstat(nFd, &st) != 0 || !S_ISREG(st.st_mode))
    {
        // A directory or special file gets no lease; it takes the plain road and fails there.
        ::close(nFd);
        return true;
    }
    // A lease break would signal the owner with SIGIO, whose default action ends the process. Any break
    // is someone else's open() during the few microseconds of the rename, which the release ends anyway:
    // route it to a signal that is ignored by default, and drop the owner as soon as the lease is set.
    ::fcntl(nFd, F_SETSIG, SIGURG);
    if (::fcntl(nFd, F_SETLEASE, F_WRLCK) != 0)
    {
        const int nError = errno;
        ::close(nFd);
        // Open elsewhere, or a passing shortage: not now, try again at the next poll.
        if (nError == EAGAIN || nError == EWOULDBLOCK || nError == ENOLCK || nError == ENOMEM || nError == EINTR)
        {
            strError = systemMessage(nError);
            return false;
        }
        // No leases here (the file system refuses them, the file belongs to another user, or leases are
        // switched off): the rename alone has to do, as on a system without leases.
        if (!m_bLeaseFallbackLogged)
        {
            m_bLeaseFallbackLogged = true;
            BO_LOG_ERROR("lease unavailable, open files may be taken!{0}", systemMessage(nError));
        }
        return true;
    }
    ::fcntl(nFd, F_SETOWN, 0);
    nLeaseFd = nFd;
#else
    (void)strPath;
    (void)strError;
#endif
    return true;
}

void CBatchOrderFileMonitor::releaseLease(int nLeaseFd)
{
#ifdef __linux__
    if (nLeaseFd < 0)
        return;
    ::fcntl(nLeaseFd, F_SETLEASE, F_UNLCK);
    ::close(nLeaseFd);
#else
    (void)nLeaseFd;
#endif
}

void CBatchOrderFileMonitor::openWatch()
{
    m_nWatchFd = -1;
    m_strWatchedPath.clear();
    m_strWatchName.clear();
    m_dNextWatchMSec = 0;
#ifdef __linux__
    // Switch for measurements and for file systems whose events misbehave; the poll alone is the
    // behaviour without it.
    const char* szPollOnly = std::getenv("BATCHORDER_READER_POLL_ONLY");
    if (szPollOnly && *szPollOnly && std::strcmp(szPollOnly, "0") != 0)
        return;
    m_nNotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_nNotifyFd < 0)
    {
        BO_LOG_INFO("watch failed, polling only!{0}", systemMessage(errno));
        return;
    }
    // The idle wait goes through epoll: its registration stays, where poll() sets up and tears down a
    // wait queue entry a thousand times a second; that keeps the watch's idle cost at the bare sleep's.
    m_nEpollFd = ::epoll_create1(EPOLL_CLOEXEC);
    struct epoll_event event = {};
    event.events = EPOLLIN;
    event.data.fd = m_nNotifyFd;
    if (m_nEpollFd < 0 || ::epoll_ctl(m_nEpollFd, EPOLL_CTL_ADD, m_nNotifyFd, &event) != 0)
    {
        BO_LOG_INFO("watch failed, polling only!{0}", systemMessage(errno));
        closeWatch();
    }
#endif
}

void CBatchOrderFileMonitor::closeWatch()
{
#ifdef __linux__
    if (m_nEpollFd >= 0)
        ::close(m_nEpollFd);
    if (m_nNotifyFd >= 0)
        ::close(m_nNotifyFd); // drops the watch with it
#endif
    m_nEpollFd = -1;
    m_nNotifyFd = -1;
    m_nWatchFd = -1;
}

void CBatchOrderFileMonitor::updateWatch()
{
#ifdef __linux__
    const QString& strPath = m_strReadPath;
    const bool bNewPath = strPath != m_strWatchedPath;
    if (bNewPath)
    {
        if (m_nWatchFd >= 0)
            ::inotify_rm_watch(m_nNotifyFd, m_nWatchFd);
        m_nWatchFd = -1;
        m_strWatchedPath = strPath;
        m_dNextWatchMSec = 0;
    }
    if (m_nWatchFd >= 0 || strPath.isEmpty())
        return;
    const double dNow = utils::clockMSec();
    if (!bNewPath && dNow < m_dNextWatchMSec)
        return;

    const QFileInfo info(strPath);
    const QByteArray dir = QFile::encodeName(info.path());
    const uint32_t nMask = IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    m_nWatchFd = ::inotify_add_watch(m_nNotifyFd, dir.constData(), nMask);
    if (m_nWatchFd < 0)
    {
        // Said once per path; the directory may still appear, so the watch is tried again now and then.
        if (bNewPath)
            BO_LOG_INFO("watch failed, polling only!{0} {1}", systemMessage(errno), dir.toStdString());
        m_dNextWatchMSec = dNow + kWatchRetryMSec;
        return;
    }
    m_strWatchName = QFile::encodeName(info.fileName()).toStdString();
#endif
}

bool CBatchOrderFileMonitor::drainWatch()
{
    bool bWake = false;
#ifdef __linux__
    alignas(struct inotify_event) char buffer[4096];
    for (;;)
    {
        const ssize_t nRead = ::read(m_nNotifyFd, buffer, sizeof(buffer));
        if (nRead <= 0)
            break;
        for (ssize_t nPos = 0; nPos < nRead;)
        {
            const auto* pEvent = reinterpret_cast<const struct inotify_event*>(buffer + nPos);
            nPos += static_cast<ssize_t>(sizeof(struct inotify_event) + pEvent->len);
            // Lost events may have named the file.
            if (pEvent->mask & IN_Q_OVERFLOW)
                bWake = true;
            if (pEvent->wd != m_nWatchFd || m_nWatchFd < 0)
                continue;
            if (pEvent->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF))
            {
                // The directory went away or moved: the watch no longer sees the path.
                if (!(pEvent->mask & IN_IGNORED))
                    ::inotify_rm_watch(m_nNotifyFd, m_nWatchFd);
                m_nWatchFd = -1;
                m_dNextWatchMSec = utils::clockMSec() + kWatchRetryMSec;
                continue;
            }
            if (pEvent->len > 0 && m_strWatchName == pEvent->name)
                bWake = true;
        }
    }
#endif
    return bWake;
}

void CBatchOrderFileMonitor::waitForChange()
{
#ifdef __linux__
    if (m_nNotifyFd >= 0)
    {
        updateWatch();
        // The poll interval stays the upper bound; an event naming the file only ends the wait early.
        const double dDeadline = utils::clockMSec() + m_nSleepMSec;
        struct epoll_event event;
        const int nReady = ::epoll_wait(m_nEpollFd, &event, 1, static_cast<int>(m_nSleepMSec));
        if (nReady == 0 || (nReady > 0 && drainWatch()))
            return;
        // Events about other names (our own temporary file among them) were drained; the rest of the
        // interval is waited with a finer clock than epoll's milliseconds.
        for (;;)
        {
            const double dLeft = dDeadline - utils::clockMSec();
            if (dLeft <= 0)
                return;
            const long long nLeftNSec = static_cast<long long>(dLeft * 1e6);
            struct timespec timeout = {static_cast<time_t>(nLeftNSec / 1000000000LL),
                                       static_cast<long>(nLeftNSec % 1000000000LL)};
            struct pollfd pfd = {m_nNotifyFd, POLLIN, 0};
            const int nPolled = ::ppoll(&pfd, 1, &timeout, nullptr);
            if (nPolled < 0 && errno != EINTR)
                break;
            if (nPolled > 0 && drainWatch())
                return;
        }
    }
#endif
    std::this_thread::sleep_for(std::chrono::milliseconds(m_nSleepMSec));
}

} // namespace TC
