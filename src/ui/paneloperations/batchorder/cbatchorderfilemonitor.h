#pragma once

#include <boost/signals2/signal.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <string>

class QIODevice;

namespace TC {

// Takes instruction files from the instruction file path: a reader thread polls the path every
// millisecond, moves a non-empty file aside, reads it as GBK, emits its lines and deletes it. On Linux it
// leaves alone a file that another process still holds open, and a watch on the directory wakes it early.
// setPath, startCsvMonitor and stopCsvMonitor are called on the GUI thread; m_sigCsvFileRead is emitted
// on the reader thread, so its slots must be quick and thread-safe.
class CBatchOrderFileMonitor
{
public:
    CBatchOrderFileMonitor();
    ~CBatchOrderFileMonitor();
    CBatchOrderFileMonitor(const CBatchOrderFileMonitor&) = delete;
    CBatchOrderFileMonitor& operator=(const CBatchOrderFileMonitor&) = delete;

    void setPath(const QString& strPath);
    void startCsvMonitor();
    void stopCsvMonitor();

    // Reads a whole instruction file as the reader does: GBK unless a byte order mark names another
    // encoding, cut at "\n" with empty pieces kept. strText receives the decoded text.
    static QStringList readLines(QIODevice& device, QString& strText);

    boost::signals2::signal<void(const QStringList&)> m_sigCsvFileRead;

private:
    void loopCsvReader();
    void tryCsvRead();
    void loadPath();
    bool takeLease(const QString& strPath, int& nLeaseFd, std::string& strError);
    void releaseLease(int nLeaseFd);
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

    boost::mutex m_pathMutex;                // m_strPath: set on the GUI thread, read by the reader
    std::atomic<uint32_t> m_nPathVersion{0}; // bumped by setPath: the reader copies the path only then
    boost::mutex m_threadMutex;  // m_pThread, m_bStopRequested: the GUI thread and, from a slot, the reader
    boost::mutex m_controlMutex; // one start, stop or destruction at a time
    // Reader thread only (the thread's start and join order them between successive readers).
    uint32_t m_nLoadedPathVersion = 0;
    QString m_strReadPath;
    QFileInfo m_readInfo; // kept between polls: each poll only refreshes it
    bool m_bLeaseFallbackLogged = false;
    int m_nNotifyFd = -1;
    int m_nEpollFd = -1;
    int m_nWatchFd = -1;
    QString m_strWatchedPath;
    std::string m_strWatchName;
    double m_dNextWatchMSec = 0;
};

} // namespace TC
