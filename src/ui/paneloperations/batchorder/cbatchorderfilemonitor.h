#pragma once

#include "cbatchordererrorthrottle.h"
#include "cbatchordermessagedata.h"

#include <boost/signals2/signal.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QIODevice;

namespace TC {

// Takes instruction files from the instruction file path: a reader thread polls the path every
// millisecond, moves a non-empty regular file aside to a free temporary name, reads it as GBK, emits its
// lines and deletes it (or leaves it to a slot that holds it). On Linux it leaves alone a file that
// another process still holds open, and a watch on the directory wakes it early.
// setPath, setMaxFileSize, startCsvMonitor and stopCsvMonitor are called on the GUI thread;
// m_sigCsvFileRead and m_sigMessage are emitted on the reader thread, so their slots must be quick and
// thread-safe.
class CBatchOrderFileMonitor
{
public:
    // Files larger than this are left aside unread.
    static constexpr int64_t kDefaultMaxFileSize = 64LL * 1024 * 1024;

    CBatchOrderFileMonitor();
    ~CBatchOrderFileMonitor();
    CBatchOrderFileMonitor(const CBatchOrderFileMonitor&) = delete;
    CBatchOrderFileMonitor& operator=(const CBatchOrderFileMonitor&) = delete;

    void setPath(const QString& strPath);
    void setMaxFileSize(int64_t nBytes);
    void startCsvMonitor();
    void stopCsvMonitor();

    // Reads a whole instruction file as the reader does: GBK unless a byte order mark names another
    // encoding, cut at "\n" with empty pieces kept. strText receives the decoded text.
    static QStringList readLines(QIODevice& device, QString& strText);
    // For a slot of m_sigCsvFileRead, during the emission: the temporary file of the lines being emitted
    // stays on disk, and its path is returned; the caller deletes it once the lines are safe elsewhere.
    // Empty anywhere else.
    static QString holdTakenFile();
    // For a slot of m_sigCsvFileRead, during the emission: the bytes of the file as read (shared, not
    // copied), and in pPath the instruction file path it was taken from. Empty anywhere else.
    static QByteArray takenFileBytes(QString* pPath = nullptr);

    boost::signals2::signal<void(const QStringList&)> m_sigCsvFileRead;
    // Console messages: files refused or left aside.
    boost::signals2::signal<void(EBatchOrderMsgLevel, const QString&)> m_sigMessage;

private:
    struct CEntry
    {
        uint64_t m_nDevice = 0;
        uint64_t m_nInode = 0;
        uint32_t m_nMode = 0; // the file type bits only: a chmod does not make it another entry
        bool operator==(const CEntry& other) const
        {
            return m_nDevice == other.m_nDevice && m_nInode == other.m_nInode && m_nMode == other.m_nMode;
        }
    };

    void loopCsvReader();
    void tryCsvRead();
    void loadPath();
    void reportLeftovers();
    QString tmpPath(int32_t nIndex) const;
    bool moveAside(QString& strTmpPath, int& nError);
    bool takeLease(int nFd, std::string& strError);
    bool readLines(int nFd, QStringList& lines, QString& strReason);
    void handOver(const QStringList& lines, const QString& strTmpPath);
    void leaveAside(const QString& strTmpPath, const QString& strReason);
    void refuseEntry(const CEntry& entry);
    void logError(const std::string& strText);
    void endErrors();
    void releaseLater(int nFd);
    void releaseLoop();
    void stopReleaser();
    void openWatch();
    void closeWatch();
    void updateWatch();
    bool drainWatch();
    void waitForChange();

    int32_t m_nTmpIndex = 1;
    uint32_t m_nSleepMSec = 1;
    QString m_strPath;
    boost::thread* m_pThread = nullptr;
    bool m_bStopRequested = false; // the reader was asked to stop from its own slot
    std::atomic<int64_t> m_nMaxFileSize{kDefaultMaxFileSize};

    boost::mutex m_pathMutex;                // m_strPath: set on the GUI thread, read by the reader
    std::atomic<uint32_t> m_nPathVersion{0}; // bumped by setPath: the reader copies the path only then
    boost::mutex m_threadMutex;  // m_pThread, m_bStopRequested: the GUI thread and, from a slot, the reader
    boost::mutex m_controlMutex; // one start, stop or destruction at a time
    // Reader thread only (the thread's start and join order them between successive readers).
    uint32_t m_nLoadedPathVersion = 0;
    QString m_strReadPath;
    QByteArray m_readPath; // encoded for the system calls
    QString m_strReadDir;
    QString m_strBaseName;
    QString m_strSuffix;
    QSet<QString> m_scannedPaths; // paths whose leftovers were reported
    CEntry m_refused;             // the entry at the path last refused, so that it is reported once
    QString m_strEmitting;        // the temporary file whose lines are being emitted
    bool m_bEmittingHeld = false;
    QByteArray m_emittingBytes; // the raw bytes of the file being emitted
    CBatchOrderErrorThrottle m_errors;
    bool m_bLeaseFallbackLogged = false;
    int m_nNotifyFd = -1;
    int m_nEpollFd = -1;
    int m_nWatchFd = -1;
    QString m_strWatchedPath;
    std::string m_strWatchName;
    double m_dNextWatchMSec = 0;

    // Giving a lease back waits for the kernel (about a millisecond), so a thread of its own does it,
    // off the path of the next file. Started by the reader when needed and joined before it ends.
    std::thread m_releaser;
    std::mutex m_releaseMutex;
    std::condition_variable m_releaseCondition;
    std::vector<int> m_releaseFds; // guarded by m_releaseMutex
    bool m_bReleaserStop = false;  // guarded by m_releaseMutex
};

} // namespace TC
