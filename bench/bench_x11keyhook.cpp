// Cost and speed of the global key hook on X11, through the shortcut manager as the host installs it.
// Needs an X server with RECORD: run it as `xvfb-run -a build/bin/bench_x11keyhook`.
//  - IdleCpu: the hook thread's CPU time and wake-ups over 10 s with no key typed (it should sleep in a
//    blocking read the whole time: 0 wake-ups);
//  - KeyLatency: 500 key presses and releases typed through XTest by another connection; the latency
//    runs from just before the fake key is sent to the X server to the global key signal on the hook
//    thread (median, 99th percentile, max), so it includes the server's own processing.
// Each row is one long run (Iterations(1)); the figures are the counters, not the loop time.
#include "ui/cshortcutmanager.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

// X headers last: they define macros that clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPresses = 500;

pid_t hookTid()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strTask : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    {
        QFile comm(tasks.filePath(strTask + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "global_key_hook")
            return strTask.toInt();
    }
    return -1;
}

// Nanoseconds the thread has run on a CPU (the scheduler's own account, not the 10 ms tick of stat).
double threadCpuNSec(pid_t nTid)
{
    QFile file(QStringLiteral("/proc/self/task/%1/schedstat").arg(nTid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

// Times the thread was woken up after it had gone to sleep.
double threadWakeUps(pid_t nTid)
{
    QFile file(QStringLiteral("/proc/self/task/%1/status").arg(nTid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
    {
        if (line.startsWith("voluntary_ctxt_switches:"))
            return line.mid(line.indexOf(':') + 1).trimmed().toDouble();
    }
    return -1;
}

bool installHook(benchmark::State& state)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
    {
        state.SkipWithError("no X display: run under xvfb-run -a");
        return false;
    }
    TC::CShortcutManager* pManager = utils::CSingletonT<TC::CShortcutManager>::instance();
    pManager->setHook();
    if (pManager->hookKind() != TC::CShortcutManager::HOOK_X11_RECORD)
    {
        state.SkipWithError("the X11 hook did not start");
        return false;
    }
    return true;
}

void BM_IdleCpu(benchmark::State& state)
{
    if (!installHook(state))
        return;
    const pid_t nTid = hookTid();
    double dCpuNSec = 0;
    double dWakeUps = 0;
    double dWallNSec = 0;
    for (auto _ : state)
    {
        const double dCpuBefore = threadCpuNSec(nTid);
        const double dWakeUpsBefore = threadWakeUps(nTid);
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        dWallNSec = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        dCpuNSec = threadCpuNSec(nTid) - dCpuBefore;
        dWakeUps = threadWakeUps(nTid) - dWakeUpsBefore;
    }
    state.counters["cpu_us"] = dCpuNSec / 1e3;
    state.counters["cpu_percent"] = 100.0 * dCpuNSec / dWallNSec;
    state.counters["wakeups"] = dWakeUps;
    utils::CSingletonT<TC::CShortcutManager>::instance()->removeHook();
}

void BM_KeyLatency(benchmark::State& state)
{
    if (!installHook(state))
        return;
    TC::CShortcutManager* pManager = utils::CSingletonT<TC::CShortcutManager>::instance();
    std::mutex mutex;
    std::condition_variable arrived;
    int nArrived = 0;
    Clock::time_point arrival;
    boost::signals2::scoped_connection connection = pManager->m_sigGlobalKey.connect([&](int, int) {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard<std::mutex> lock(mutex);
            arrival = now;
            ++nArrived;
        }
        arrived.notify_one();
    });

    Display* pDisplay = XOpenDisplay(nullptr);
    const KeyCode nKeyCode = XKeysymToKeycode(pDisplay, XK_F9);
    std::vector<double> latencies;
    for (auto _ : state)
    {
        for (int i = 0; i < 2 * kPresses; ++i)
        {
            const Clock::time_point sent = Clock::now();
            XTestFakeKeyEvent(pDisplay, nKeyCode, i % 2 == 0, CurrentTime);
            XFlush(pDisplay);
            std::unique_lock<std::mutex> lock(mutex);
            if (!arrived.wait_for(lock, std::chrono::seconds(5), [&] { return nArrived > i; }))
            {
                state.SkipWithError(("key " + std::to_string(i) + " did not arrive").c_str());
                break;
            }
            latencies.push_back(std::chrono::duration<double, std::micro>(arrival - sent).count());
        }
    }
    XCloseDisplay(pDisplay);
    pManager->removeHook();
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    state.counters["keys"] = static_cast<double>(latencies.size());
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["max_us"] = latencies.back();
}

} // namespace

BENCHMARK(BM_IdleCpu)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_KeyLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
