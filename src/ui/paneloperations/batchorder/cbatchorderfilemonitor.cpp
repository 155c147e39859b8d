#include "cbatchorderfilemonitor.h"

#include "batchorderlog.h"

#include "base/utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QBuffer>
#include <QRegularExpression>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <new>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#endif

namespace TC {

namespace {

const char* const kThreadName = "batch_order_read_thread";
const int kUtf8Mib = 106;
const char* const kReleaserName = "batch_order_release";

// Set on a reader thread to the monitor it serves: a slot that starts or stops its own monitor must not
// wait for the thread it runs on, and a slot may hold the file being emitted.
thread_local CBatchOrderFileMonitor* t_pReaderOf = nullptr;

// Retrying a failed directory watch costs a system call; once a second is plenty for a directory that
// appears later, the poll covers the gap.
const double kWatchRetryMSec = 1000.0;

// Temporary names tried for one file before giving up: each name in use holds lines left aside, or lines
// not yet in the backup file.
const int kMaxNameTries = 10000;

// A QString holds at most 2^30 characters; a larger limit could not be read in one piece anyway.
const int64_t kLargestMaxFileSize = 512LL * 1024 * 1024;

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

QString systemMessageText(int nError)
{
    return QString::fromStdString(systemMessage(nError));
}

// Renames without ever replacing a file at the new name, which may hold the only copy of lines left
// aside; fails with EEXIST when the name is taken.
int renameNoReplace(const char* szFrom, const char* szTo)
{
#ifdef __linux__
    if (::renameat2(AT_FDCWD, szFrom, AT_FDCWD, szTo, RENAME_NOREPLACE) == 0)
        return 0;
    // EINVAL: this file system does not know the flag.
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // A hard link refuses a name in use just as well; the old name goes once the file has the new one.
    if (::link(szFrom, szTo) != 0)
        return -1;
    if (::unlink(szFrom) != 0)
    {
        const int nError = errno;
        ::unlink(szTo);
        errno = nError;
        return -1;
    }
    return 0;
}

const char* entryKindForLog(uint32_t nMode)
{
    if (S_ISLNK(nMode))
        return "symbolic link";
    if (S_ISDIR(nMode))
        return "directory";
    if (S_ISFIFO(nMode))
        return "FIFO";
    if (S_ISCHR(nMode) || S_ISBLK(nMode))
        return "device";
    if (S_ISSOCK(nMode))
        return "socket";
    return "special file";
}

QString entryKindForConsole(uint32_t nMode)
{
    if (S_ISLNK(nMode))
        return QStringLiteral("符号链接");
    if (S_ISDIR(nMode))
        return QStringLiteral("目录");
    if (S_ISFIFO(nMode))
        return QStringLiteral("管道");
    if (S_ISCHR(nMode) || S_ISBLK(nMode))
        return QStringLiteral("设备");
    if (S_ISSOCK(nMode))
        return QStringLiteral("套接字");
    return QStringLiteral("特殊文件");
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

void CBatchOrderFileMonitor::setMaxFileSize(int64_t nBytes)
{
    m_nMaxFileSize.store(nBytes > 0 ? std::min(nBytes, kLargestMaxFileSize) : kDefaultMaxFileSize,
                         std::memory_order_relaxed);
}

QString CBatchOrderFileMonitor::holdTakenFile()
{
    CBatchOrderFileMonitor* pMonitor = t_pReaderOf;
    if (!pMonitor || pMonitor->m_strEmitting.isEmpty())
        return QString();
    pMonitor->m_bEmittingHeld = true;
    return pMonitor->m_strEmitting;
}

QByteArray CBatchOrderFileMonitor::takenFileBytes(QString* pPath)
{
    CBatchOrderFileMonitor* pMonitor = t_pReaderOf;
    if (!pMonitor || pMonitor->m_strEmitting.isEmpty())
        return QByteArray();
    if (pPath)
        *pPath = pMonitor->m_strReadPath;
    return pMonitor->m_emittingBytes;
}

void CBatchOrderFileMonitor::loadPath()
{
    {
        boost::mutex::scoped_lock lock(m_pathMutex);
        m_nLoadedPathVersion = m_nPathVersion.load(std::memory_order_relaxed);
        m_strReadPath = m_strPath;
    }
    const QFileInfo info(m_strReadPath);
    m_readPath = QFile::encodeName(m_strReadPath);
    m_strReadDir = info.path();
    m_strBaseName = info.completeBaseName();
    m_strSuffix = info.suffix();
    m_refused = CEntry();
    reportLeftovers();
}

void CBatchOrderFileMonitor::reportLeftovers()
{
    // Once per path and monitor: files held by this monitor's own slots are not leftovers.
    if (m_strReadPath.isEmpty() || m_scannedPaths.contains(m_strReadPath))
        return;
    m_scannedPaths.insert(m_strReadPath);
    const QRegularExpression pattern(QLatin1Char('^') + QRegularExpression::escape(m_strBaseName) +
                                     QStringLiteral("_tmp(\\d+)\\.") +
                                     QRegularExpression::escape(m_strSuffix) + QLatin1Char('$'));
    std::map<int64_t, QString> found; // by index: the order in which they were left
    const QDir dir(m_strReadDir);
    for (const QString& strName :
         dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot))
    {
        const QRegularExpressionMatch match = pattern.match(strName);
        bool bOk = false;
        const int64_t nIndex = match.hasMatch() ? match.captured(1).toLongLong(&bOk) : 0;
        if (bOk)
            found[nIndex] = dir.filePath(strName);
    }
    for (const auto& leftover : found)
    {
        // New names start above them, so that the first take needs no search.
        if (leftover.first >= m_nTmpIndex && leftover.first < INT32_MAX)
            m_nTmpIndex = static_cast<int32_t>(leftover.first + 1);
        BO_LOG_ERROR("left aside!{0}", leftover.second.toStdString());
        m_sigMessage(MSG_LEVEL_ERROR,
                     QStringLiteral("指令文件已留置在 %1: %2!")
                         .arg(leftover.second, QStringLiteral("此前运行遗留, 其中指令可能未执行, 请核对")));
    }
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
    openWatch();
    try
    {
        loadPath();
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
                // A slot that throws must not end intake.
                BO_LOG_ERROR("read failed!{0}", e.what());
            }
            waitForChange();
        }
    }
    catch (const boost::thread_interrupted&)
    {
    }
    // Every lease is given back before the reader is gone.
    stopReleaser();
    closeWatch();
    t_pReaderOf = nullptr;
    BO_LOG_INFO("stop thread!");
}

QString CBatchOrderFileMonitor::tmpPath(int32_t nIndex) const
{
    // "%1_tmp%2.%3" put together in one piece: the parts are names, not patterns (a chain of arg() calls
    // would fill a "%1" inside the file name).
    return m_strReadDir + QDir::separator() + m_strBaseName + QStringLiteral("_tmp") +
           QString::number(nIndex) + QLatin1Char('.') + m_strSuffix;
}

void CBatchOrderFileMonitor::tryCsvRead()
{
    if (m_readPath.isEmpty())
        return;
    // The idle poll: one lstat, which sees a link itself rather than what it points to.
    struct stat pathStat;
    if (::lstat(m_readPath.constData(), &pathStat) != 0)
    {
        m_refused = CEntry();
        endErrors();
        return;
    }
    if (!S_ISREG(pathStat.st_mode))
    {
        refuseEntry({static_cast<uint64_t>(pathStat.st_dev), static_cast<uint64_t>(pathStat.st_ino),
                     static_cast<uint32_t>(pathStat.st_mode & S_IFMT)});
        return;
    }
    m_refused = CEntry();
    if (pathStat.st_size < 1)
    {
        endErrors();
        return;
    }

    // Links are not followed, and a special file put there since the look does not block the reader.
    int nFd = ::open(m_readPath.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (nFd < 0)
    {
        const int nError = errno;
        if (nError == EACCES || nError == EPERM)
        {
            // Unreadable: moved aside all the same, so that the path is free for the next file.
            QString strTmpPath;
            int nRenameError = 0;
            if (!moveAside(strTmpPath, nRenameError))
            {
                ++m_nTmpIndex;
                logError("rename failed!" + systemMessage(nRenameError));
                return;
            }
            endErrors();
            BO_LOG_ERROR("open failed!");
            leaveAside(strTmpPath, QStringLiteral("无法打开(%1), 未读取").arg(systemMessageText(nError)));
            return;
        }
        // Gone, or replaced by a link or a special file since the look: the next poll sees what is there.
        if (nError == ENOENT || nError == ELOOP || nError == ENXIO)
            return;
        ++m_nTmpIndex;
        logError("rename failed!" + systemMessage(nError));
        return;
    }
    struct stat fileStat;
    if (::fstat(nFd, &fileStat) != 0 || !S_ISREG(fileStat.st_mode))
    {
        ::close(nFd);
        return;
    }
    std::string strLeaseError;
    if (!takeLease(nFd, strLeaseError))
    {
        ::close(nFd);
        ++m_nTmpIndex;
        logError("rename failed!" + strLeaseError);
        return;
    }

    QString strTmpPath;
    int nRenameError = 0;
    if (!moveAside(strTmpPath, nRenameError))
    {
        releaseLater(nFd);
        ++m_nTmpIndex;
        logError("rename failed!" + systemMessage(nRenameError));
        return;
    }
    endErrors();
    // Whatever stood at the path at the rename was moved; if another file was put there after the open,
    // that file is the one to read.
    const QByteArray tmp = QFile::encodeName(strTmpPath);
    struct stat movedStat;
    if (::lstat(tmp.constData(), &movedStat) != 0 || movedStat.st_dev != fileStat.st_dev ||
        movedStat.st_ino != fileStat.st_ino)
    {
        releaseLater(nFd);
        nFd = ::open(tmp.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const int nError = errno;
        if (nFd < 0 || ::fstat(nFd, &fileStat) != 0 || !S_ISREG(fileStat.st_mode))
        {
            if (nFd >= 0)
                ::close(nFd);
            BO_LOG_ERROR("open failed!");
            leaveAside(strTmpPath,
                       QStringLiteral("无法打开(%1), 未读取")
                           .arg(nFd < 0 ? systemMessageText(nError) : QStringLiteral("不是普通文件")));
            return;
        }
    }

    // The lease has done its work once the file is moved. Giving it back can take the kernel a
    // millisecond, so it is handed to the releaser, and only once the lines are on their way: waking
    // that thread earlier would compete with them for a core.
    struct CRelease
    {
        CBatchOrderFileMonitor* m_pMonitor;
        int m_nFd;
        ~CRelease() { m_pMonitor->releaseLater(m_nFd); }
    } release{this, nFd};
    QStringList lines;
    QString strReason;
    if (readLines(nFd, lines, strReason))
        handOver(lines, strTmpPath);
    else
        leaveAside(strTmpPath, strReason);
}

bool CBatchOrderFileMonitor::moveAside(QString& strTmpPath, int& nError)
{
    nError = EEXIST;
    for (int nTry = 0; nTry < kMaxNameTries; ++nTry)
    {
        strTmpPath = tmpPath(m_nTmpIndex);
        if (renameNoReplace(m_readPath.constData(), QFile::encodeName(strTmpPath).constData()) == 0)
            return true;
        nError = errno;
        if (nError != EEXIST)
            return false;
        // Left aside, or still held until its lines are backed up.
        ++m_nTmpIndex;
    }
    return false;
}

bool CBatchOrderFileMonitor::readLines(int nFd, QStringList& lines, QString& strReason)
{
    const int64_t nMax = m_nMaxFileSize.load(std::memory_order_relaxed);
    try
    {
        struct stat st;
        const int64_t nSize = ::fstat(nFd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
        // One byte more than the limit is read, to see a file that grew past it since the look.
        QByteArray bytes;
        int64_t nRead = 0;
        if (nSize <= nMax)
        {
            bytes.resize(static_cast<int>(nSize + 1));
            for (;;)
            {
                if (nRead == bytes.size())
                {
                    if (nRead > nMax)
                        break;
                    bytes.resize(static_cast<int>(std::min(nRead * 2, nMax + 1)));
                }
                const ssize_t nGot =
                    ::read(nFd, bytes.data() + nRead, static_cast<size_t>(bytes.size() - nRead));
                if (nGot == 0)
                    break;
                if (nGot < 0)
                {
                    if (errno == EINTR)
                        continue;
                    const int nError = errno;
                    BO_LOG_ERROR("read failed!{0}", systemMessage(nError));
                    strReason = QStringLiteral("读取失败(%1), 未执行").arg(systemMessageText(nError));
                    return false;
                }
                nRead += nGot;
            }
        }
        if (nSize > nMax || nRead > nMax)
        {
            const QString strSize = QString::number(std::max(nSize, nRead));
            BO_LOG_ERROR("too large!{0} bytes, at most {1}", strSize.toStdString(), nMax);
            strReason =
                QStringLiteral("超过大小上限(%1 字节 > %2 字节), 未读取").arg(strSize, QString::number(nMax));
            return false;
        }
        bytes.resize(static_cast<int>(nRead));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QString strText;
        lines = readLines(buffer, strText);
        m_emittingBytes = bytes;
        const QByteArray utf8 = strText.toUtf8();
        BO_LOG_INFO("param {0}", fmt::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
        return true;
    }
    catch (const std::bad_alloc&)
    {
        BO_LOG_ERROR("read failed!{0}", "out of memory");
        strReason = QStringLiteral("内存不足, 未执行");
        return false;
    }
}

void CBatchOrderFileMonitor::handOver(const QStringList& lines, const QString& strTmpPath)
{
    m_strEmitting = strTmpPath;
    m_bEmittingHeld = false;
    try
    {
        if (!lines.isEmpty())
            m_sigCsvFileRead(lines);
    }
    catch (...)
    {
        m_strEmitting.clear();
        m_emittingBytes.clear();
        // The lines may not have reached anyone: they stay on disk for someone to look at.
        if (!m_bEmittingHeld)
            leaveAside(strTmpPath, QStringLiteral("处理中断, 其中指令可能未执行"));
        throw;
    }
    m_strEmitting.clear();
    m_emittingBytes.clear();
    if (!m_bEmittingHeld)
        QFile::remove(strTmpPath);
}

void CBatchOrderFileMonitor::leaveAside(const QString& strTmpPath, const QString& strReason)
{
    // The next file goes to the next name at once, rather than after a refused try.
    ++m_nTmpIndex;
    m_sigMessage(MSG_LEVEL_ERROR, QStringLiteral("指令文件已留置在 %1: %2!").arg(strTmpPath, strReason));
}

void CBatchOrderFileMonitor::refuseEntry(const CEntry& entry)
{
    // Once per entry: the poll finds it again every millisecond until someone removes it.
    if (entry == m_refused)
        return;
    m_refused = entry;
    BO_LOG_ERROR("not a regular file!{0} {1}", entryKindForLog(entry.m_nMode), m_readPath.toStdString());
    m_sigMessage(MSG_LEVEL_ERROR, QStringLiteral("指令文件路径上是%1, 不是普通文件, 不予读取: %2!")
                                      .arg(entryKindForConsole(entry.m_nMode), m_strReadPath));
}

void CBatchOrderFileMonitor::logError(const std::string& strText)
{
    for (const std::string& strLine : m_errors.error(strText, utils::clockMSec()))
        BO_LOG_ERROR("{0}", strLine);
}

void CBatchOrderFileMonitor::endErrors()
{
    if (!m_errors.inRun())
        return;
    for (const std::string& strLine : m_errors.recovered(utils::clockMSec()))
        BO_LOG_INFO("{0}", strLine);
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

bool CBatchOrderFileMonitor::takeLease(int nFd, std::string& strError)
{
#ifdef __linux__
    // Renaming an open file succeeds on Linux, so the rename alone cannot tell a finished file from one
    // still being written. A write lease is granted only while no other descriptor is open on the file,
    // and while it is held, any open() by another process waits for its release.
    // A lease break would signal the owner with SIGIO, whose default action ends the process. Any break
    // is someone else's open() while the lease is held, which its release ends anyway: route it to a
    // signal that is ignored by default, and drop the owner as soon as the lease is set.
    ::fcntl(nFd, F_SETSIG, SIGURG);
    if (::fcntl(nFd, F_SETLEASE, F_WRLCK) != 0)
    {
        const int nError = errno;
        // Open elsewhere, or a passing shortage: not now, try again at the next poll.
        if (nError == EAGAIN || nError == EWOULDBLOCK || nError == ENOLCK || nError == ENOMEM ||
            nError == EINTR)
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
#else
    (void)nFd;
    (void)strError;
#endif
    return true;
}

void CBatchOrderFileMonitor::releaseLater(int nFd)
{
    if (!m_releaser.joinable())
    {
        try
        {
            m_releaser = std::thread(&CBatchOrderFileMonitor::releaseLoop, this);
            utils::setThreadName(m_releaser.native_handle(), kReleaserName);
        }
        catch (const std::system_error&)
        {
            // No thread to spare: the reader gives the lease back itself, a millisecond late.
            ::close(nFd);
            return;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        m_releaseFds.push_back(nFd);
    }
    m_releaseCondition.notify_one();
}

void CBatchOrderFileMonitor::releaseLoop()
{
    std::unique_lock<std::mutex> lock(m_releaseMutex);
    for (;;)
    {
        m_releaseCondition.wait(lock, [this] { return !m_releaseFds.empty() || m_bReleaserStop; });
        if (m_releaseFds.empty())
            return;
        std::vector<int> fds;
        fds.swap(m_releaseFds);
        lock.unlock();
        // Closing the descriptor gives its lease back; that waits for the kernel to retire the lease's
        // signal registration.
        for (int nFd : fds)
            ::close(nFd);
        lock.lock();
    }
}

void CBatchOrderFileMonitor::stopReleaser()
{
    if (!m_releaser.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_releaseMutex);
        m_bReleaserStop = true;
    }
    m_releaseCondition.notify_one();
    m_releaser.join();
    m_bReleaserStop = false;
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
