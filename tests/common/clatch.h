#pragma once

#include <atomic>
#include <future>

// Holds the threads that call wait() until open() is called, or until the latch goes out of scope, so
// that a failed assertion never leaves a thread blocked for good. For tests that stop a thread inside a
// callback (a slot, a signal emission) and act while it waits there.
class CLatch
{
public:
    ~CLatch() { open(); }

    void wait()
    {
        m_bEntered = true;
        m_future.wait();
        m_bLeft = true;
    }
    void open()
    {
        if (!m_bOpen.exchange(true))
            m_promise.set_value();
    }
    bool entered() const { return m_bEntered.load(); }
    bool left() const { return m_bLeft.load(); }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_future = m_promise.get_future().share();
    std::atomic<bool> m_bOpen{false};
    std::atomic<bool> m_bEntered{false};
    std::atomic<bool> m_bLeft{false};
};
