#pragma once

#include <chrono>
#include <thread>

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
