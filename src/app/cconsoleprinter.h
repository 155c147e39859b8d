#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace TC {

// Prints console lines on a file descriptor (stdout when headless) from a thread of its own, so that a
// slow or vanished reader never holds up the thread that reported the message. print() is called from
// any thread, also under the message model's lock; only the printer thread writes. When the descriptor
// fails (the reader closed the pipe) the printer says so once in the log and drops later lines.
class CConsolePrinter
{
public:
    explicit CConsolePrinter(int nFd);
    ~CConsolePrinter();
    CConsolePrinter(const CConsolePrinter&) = delete;
    CConsolePrinter& operator=(const CConsolePrinter&) = delete;

    // Queues one line; control characters are escaped and a line end is added.
    void print(const QString& strLine);
    // Writes everything queued so far, then ends the printer thread. Later lines are dropped.
    void stop();
    // True once a write failed; nothing is written after that.
    bool failed() const;

private:
    void run();
    // Writes all of the bytes; false (with errno) when the descriptor fails.
    bool writeAll(const QByteArray& bytes);

    const int m_nFd;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    std::deque<QByteArray> m_lines;
    bool m_bStop = false;
    bool m_bFailed = false;
    std::thread m_thread;
};

} // namespace TC
