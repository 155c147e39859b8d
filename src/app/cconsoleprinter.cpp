#include "cconsoleprinter.h"

#include "base/clogger.h"
#include "base/utils.h"

#include <cerrno>
#include <cstring>

#include <poll.h>
#include <unistd.h>

namespace TC {

CConsolePrinter::CConsolePrinter(int nFd) : m_nFd(nFd), m_thread([this] { run(); })
{
}

CConsolePrinter::~CConsolePrinter()
{
    stop();
}

void CConsolePrinter::print(const QString& strLine)
{
    QByteArray line = QByteArray::fromStdString(utils::escapeControlChars(strLine.toUtf8().toStdString()));
    line += '\n';
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStop || m_bFailed)
            return;
        m_lines.push_back(std::move(line));
    }
    m_cond.notify_one();
}

void CConsolePrinter::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cond.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

bool CConsolePrinter::failed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bFailed;
}

void CConsolePrinter::run()
{
    utils::setThreadName("console_printer");
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cond.wait(lock, [this] { return m_bStop || !m_lines.empty(); });
        if (m_lines.empty())
            return; // stopped with nothing left to write
        // One write for everything queued meanwhile: a slow reader costs one call, not one per line.
        QByteArray bytes;
        for (const QByteArray& line : m_lines)
            bytes += line;
        m_lines.clear();
        lock.unlock();
        const bool bWritten = writeAll(bytes);
        const int nError = errno;
        lock.lock();
        if (!bWritten) {
            m_bFailed = true;
            m_lines.clear();
            lock.unlock();
            LOG4CXX_ERROR(g_TTStdLogger, "console output (descriptor " << m_nFd << ") cannot be written ("
                                                                       << std::strerror(nError)
                                                                       << "); console lines are no longer "
                                                                          "printed, the host keeps working");
            return;
        }
    }
}

bool CConsolePrinter::writeAll(const QByteArray& bytes)
{
    const char* pData = bytes.constData();
    size_t nLeft = static_cast<size_t>(bytes.size());
    while (nLeft > 0) {
        const ssize_t nWritten = ::write(m_nFd, pData, nLeft);
        if (nWritten < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                // A descriptor someone else made non-blocking: wait until the reader catches up.
                pollfd fd = {m_nFd, POLLOUT, 0};
                if (::poll(&fd, 1, -1) >= 0 || errno == EINTR)
                    continue;
            }
            return false;
        }
        pData += nWritten;
        nLeft -= static_cast<size_t>(nWritten);
    }
    return true;
}

} // namespace TC
