#pragma once

#include <QByteArray>
#include <QFile>

#include <chrono>
#include <thread>

#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

// Polls the predicate until it holds or the deadline passes; true when it held. For conditions that
// no signal announces (a file gone, a counter reached).
template <class Predicate>
bool waitUntil(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The kernel's id of the calling thread, for threadAsleep.
inline pid_t currentThreadId()
{
    return static_cast<pid_t>(::syscall(SYS_gettid));
}

// True when the thread of this process sleeps in the kernel (a lock, a join, a condition) on two looks
// in a row: for a test that must act only once another thread waits inside a call.
inline bool threadAsleep(pid_t nThreadId)
{
    auto asleep = [nThreadId] {
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(nThreadId));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        // "tid (name) S ...": the name may hold blanks and parentheses, the state follows the last ')'.
        const QByteArray text = stat.readAll();
        const int nEnd = text.lastIndexOf(')');
        return nEnd >= 0 && text.size() > nEnd + 2 && text[nEnd + 2] == 'S';
    };
    if (!asleep())
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return asleep();
}
