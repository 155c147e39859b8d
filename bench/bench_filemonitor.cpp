// Pickup latency and idle cost of the instruction file reader, once with the directory watch and once
// with the 1 ms poll alone (BATCHORDER_READER_POLL_ONLY=1):
//  - PickupLatency: a separate writer process puts 2,000 files at the path one after another, each
//    written under another name and renamed in once the previous one is gone; the latency runs from the
//    writer's clock just before the rename to the reader's emission (median, 99th percentile, max).
//    "spaced:1" waits a pseudo-random 0-1 ms before each file, so files land at any point of the poll
//    cycle; "spaced:0" writes each file the moment the previous one is gone, which with the bare poll
//    lands just after a poll every time and so measures the full poll period instead of its average;
//  - HostOrderLatency: the real batchorder-host (headless, automatic dispatch) is handed 300 files of
//    one order each, one at a time; the latency runs from just before the rename to the moment the
//    host's console line "用户下出 1 条指令!" is read from its stdout: reader, strand intake, backup
//    append and dispatch together. The journal commits each order (one disk sync) on its own thread
//    meanwhile, and the backup file is synced on another; their disk work still shares the file system
//    with the inbox's renames: BENCH_DATA_DIR=/dev/shm puts the host's data directory on a memory file
//    system;
//  - IdleCpu: the reader's own CPU time per second of wall time with no file arriving, in percent of a
//    core; the "bare" row is a thread doing nothing but the 1 ms sleep and one stat, the floor of any
//    polling design.
// Each row is one long run (Iterations(1)); the figures are the counters, not the loop time.
#include "benchsupport.h"
#include "cbatchorderfilemonitor.h"

#include "base/clogger.h"
#include "base/utils.h"
#include "common/ctesthost.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

const int kFiles = 2000;
const char* const kPollOnlyVariable = "BATCHORDER_READER_POLL_ONLY";

void setPollOnly(bool bPollOnly)
{
    if (bPollOnly)
        ::setenv(kPollOnlyVariable, "1", 1);
    else
        ::unsetenv(kPollOnlyVariable);
}

double monotonicMSec()
{
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Nanoseconds this thread has run on a CPU (the scheduler's own account, not the 10 ms tick of stat).
double threadCpuNSec(pid_t nTid)
{
    QFile file(QStringLiteral("/proc/self/task/%1/schedstat").arg(nTid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

pid_t readerTid()
{
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strTask : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(strTask));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "batch_order_rea")
            return strTask.toInt();
    }
    return -1;
}

double percentile(const std::vector<double>& sorted, double dFraction)
{
    const size_t nIndex = static_cast<size_t>(dFraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(nIndex, sorted.size() - 1)];
}

// The writer process: only plain system calls after the fork. Returns its exit status.
int writeFiles(const std::vector<std::string>& contents, const char* szPart, const char* szPath,
               double* pWriteMSec, bool bSpaced)
{
    unsigned int nSeed = 12345;
    for (size_t i = 0; i < contents.size(); ++i)
    {
        if (bSpaced)
        {
            nSeed = nSeed * 1103515245u + 12345u;
            struct timespec pause = {0, static_cast<long>((nSeed >> 8) % 1000000u)};
            ::nanosleep(&pause, nullptr);
        }
        const int nFd = ::open(szPart, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const ssize_t nSize = static_cast<ssize_t>(contents[i].size());
        if (nFd < 0 || ::write(nFd, contents[i].data(), contents[i].size()) != nSize)
            return 2;
        ::close(nFd);
        pWriteMSec[i] = monotonicMSec();
        if (::rename(szPart, szPath) != 0)
            return 3;
        // The next file may come only once this one is gone from the path.
        const double dGiveUp = monotonicMSec() + 10000;
        struct stat st;
        while (::stat(szPath, &st) == 0)
        {
            if (monotonicMSec() > dGiveUp)
                return 4;
            struct timespec pause = {0, 20000};
            ::nanosleep(&pause, nullptr);
        }
    }
    return 0;
}

void BM_PickupLatency(benchmark::State& state)
{
    const bool bWatch = state.range(0) != 0;
    const bool bSpaced = state.range(1) != 0;
    QTemporaryDir dir;
    logAsHost(QDir::tempPath());
    const QString strPath = dir.filePath(QStringLiteral("orders.csv"));
    const QByteArray path = QFile::encodeName(strPath);
    const QByteArray part = QFile::encodeName(dir.filePath(QStringLiteral("orders.part")));

    std::vector<std::string> contents;
    for (int i = 0; i < kFiles; ++i)
        contents.push_back(std::to_string(i) + ",23,600000,10.50,100,ACCOUNT01,bench\n" + std::to_string(i)
                           + ",23,600036,8.20,200,ACCOUNT01,bench\n");
    // Shared with the writer process, which stamps each file just before its rename.
    void* pShared =
        ::mmap(nullptr, sizeof(double) * kFiles, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (pShared == MAP_FAILED)
    {
        state.SkipWithError("mmap failed");
        return;
    }
    double* pWriteMSec = static_cast<double*>(pShared);
    std::vector<double> emitMSec(kFiles, 0);
    std::atomic<int> nEmitted{0};

    for (auto _ : state)
    {
        setPollOnly(!bWatch);
        TC::CBatchOrderFileMonitor monitor;
        auto onLines = [&](const QStringList& lines) {
            const double dNow = utils::clockMSec();
            const int nIndex = lines.value(0).section(QLatin1Char(','), 0, 0).toInt();
            if (nIndex >= 0 && nIndex < kFiles)
                emitMSec[static_cast<size_t>(nIndex)] = dNow;
            nEmitted.fetch_add(1, std::memory_order_release);
        };
        boost::signals2::scoped_connection connection = monitor.m_sigCsvFileRead.connect(onLines);
        monitor.setPath(strPath);
        monitor.startCsvMonitor();

        const pid_t nPid = ::fork();
        if (nPid == 0)
            ::_exit(writeFiles(contents, part.constData(), path.constData(), pWriteMSec, bSpaced));
        int nStatus = 0;
        ::waitpid(nPid, &nStatus, 0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (nEmitted.load(std::memory_order_acquire) < kFiles && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        monitor.stopCsvMonitor();
        setPollOnly(false);
        if (!WIFEXITED(nStatus) || WEXITSTATUS(nStatus) != 0 || nEmitted.load() != kFiles)
        {
            state.SkipWithError("the writer failed or files went missing");
            break;
        }
    }

    std::vector<double> latencies;
    for (int i = 0; i < kFiles; ++i)
        latencies.push_back((emitMSec[static_cast<size_t>(i)] - pWriteMSec[i]) * 1000.0);
    std::sort(latencies.begin(), latencies.end());
    state.counters["files"] = kFiles;
    state.counters["median_us"] = percentile(latencies, 0.5);
    state.counters["p99_us"] = percentile(latencies, 0.99);
    state.counters["max_us"] = latencies.back();
    ::munmap(pShared, sizeof(double) * kFiles);
}

// The host's stdout, read line by line with a deadline.
class CLineReader
{
public:
    explicit CLineReader(int nFd) : m_nFd(nFd) {}
    // Waits for a line containing the fragment; false after the deadline or at the end of the output.
    bool waitFor(const std::string& strFragment, int nTimeoutMSec)
    {
        const double dDeadline = monotonicMSec() + nTimeoutMSec;
        for (;;)
        {
            size_t nEnd;
            while ((nEnd = m_strBuffer.find('\n')) != std::string::npos)
            {
                const bool bFound = m_strBuffer.substr(0, nEnd).find(strFragment) != std::string::npos;
                m_strBuffer.erase(0, nEnd + 1);
                if (bFound)
                    return true;
            }
            const int nLeft = static_cast<int>(dDeadline - monotonicMSec());
            struct pollfd pfd = {m_nFd, POLLIN, 0};
            if (nLeft <= 0 || ::poll(&pfd, 1, nLeft) <= 0)
                return false;
            char buffer[4096];
            const ssize_t nRead = ::read(m_nFd, buffer, sizeof(buffer));
            if (nRead <= 0)
                return false;
            m_strBuffer.append(buffer, static_cast<size_t>(nRead));
        }
    }

private:
    int m_nFd;
    std::string m_strBuffer;
};

void BM_HostOrderLatency(benchmark::State& state)
{
    const int kHostFiles = 300;
    QTemporaryDir dir;
    // The data directory (journal, backup file, log) under $BENCH_DATA_DIR if set, e.g. /dev/shm to take
    // the disk's syncs out of the figures.
    const char* szDataBase = std::getenv("BENCH_DATA_DIR");
    QTemporaryDir dataDir(szDataBase ? QFile::decodeName(szDataBase) + QStringLiteral("/bench-host-XXXXXX")
                                     : dir.filePath(QStringLiteral("data-XXXXXX")));
    const QString strInbox = dir.filePath(QStringLiteral("inbox/orders.csv"));
    const QByteArray path = QFile::encodeName(strInbox);
    const QByteArray part = QFile::encodeName(dir.filePath(QStringLiteral("inbox/orders.part")));
    // BENCH_HOST_EXE: another build of the host, to compare two builds on the same machine and load.
    const char* szHostExe = std::getenv("BENCH_HOST_EXE");
    const std::vector<std::string> arguments{szHostExe ? szHostExe : BATCHORDER_HOST_EXE,
                                             "--headless",
                                             "--auto-dispatch",
                                             "--profile",
                                             CTestHost::sampleProfilePath().toStdString(),
                                             "--data-dir",
                                             dataDir.path().toStdString(),
                                             "--watch",
                                             strInbox.toStdString()};
    std::vector<char*> argv;
    for (const std::string& strArgument : arguments)
        argv.push_back(const_cast<char*>(strArgument.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
    {
        state.SkipWithError("pipe failed");
        return;
    }
    const pid_t nPid = ::fork();
    if (nPid == 0)
    {
        // The log goes to the host's daily file; stderr would only fill a pipe nobody reads.
        ::dup2(pipeFds[1], STDOUT_FILENO);
        const int nNull = ::open("/dev/null", O_WRONLY);
        ::dup2(nNull, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    CLineReader output(pipeFds[0]);
    // The checker places the first order after it waited a second; from then on every file is placed at
    // once.
    const auto putFile = [&](int nIndex) {
        const std::string strLine =
            "23,0,10.5,600000,100,8880000001,2,2,,bench" + std::to_string(nIndex) + "\n";
        const int nFd = ::open(part.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const bool bWritten =
            nFd >= 0 && ::write(nFd, strLine.data(), strLine.size()) == ssize_t(strLine.size());
        if (nFd >= 0)
            ::close(nFd);
        const double dStart = monotonicMSec();
        return bWritten && ::rename(part.constData(), path.constData()) == 0 ? dStart : -1.0;
    };
    std::vector<double> latencies;
    bool bOk = output.waitFor(" [system] start!", 20000) && putFile(-1) >= 0 &&
               output.waitFor("用户下出 1 条指令!", 20000);
    for (auto _ : state)
    {
        for (int i = 0; bOk && i < kHostFiles; ++i)
        {
            const double dStart = putFile(i);
            bOk = dStart >= 0 && output.waitFor("用户下出 1 条指令!", 10000);
            latencies.push_back((monotonicMSec() - dStart) * 1000.0);
            // The next file once this one is gone from the path, as a writer must.
            struct stat st;
            while (bOk && ::stat(path.constData(), &st) == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    }
    ::kill(nPid, SIGTERM);
    ::waitpid(nPid, nullptr, 0);
    ::close(pipeFds[0]);
    if (!bOk)
    {
        state.SkipWithError("the host did not place every order");
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["files"] = kHostFiles;
    state.counters["median_us"] = percentile(latencies, 0.5);
    state.counters["p99_us"] = percentile(latencies, 0.99);
    state.counters["max_us"] = latencies.back();
}

// 0: the bare loop; 1: the reader with the poll alone; 2: the reader with the watch.
void BM_IdleCpu(benchmark::State& state)
{
    const int nKind = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    logAsHost(QDir::tempPath());
    const QString strPath = dir.filePath(QStringLiteral("orders.csv"));
    const QByteArray path = QFile::encodeName(strPath);

    std::atomic<bool> bStop{false};
    std::atomic<pid_t> nBareTid{-1};
    std::thread bare;
    TC::CBatchOrderFileMonitor monitor;
    pid_t nTid = -1;
    if (nKind == 0)
    {
        bare = std::thread([&] {
            nBareTid = static_cast<pid_t>(::syscall(SYS_gettid));
            struct stat st;
            while (!bStop)
            {
                (void)::stat(path.constData(), &st);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        while (nBareTid.load() < 0)
            std::this_thread::yield();
        nTid = nBareTid;
    }
    else
    {
        setPollOnly(nKind == 1);
        monitor.setPath(strPath);
        monitor.startCsvMonitor();
        nTid = readerTid();
    }

    double dCpuNSec = 0;
    double dWallNSec = 0;
    for (auto _ : state)
    {
        const double dCpu0 = threadCpuNSec(nTid);
        const auto wall0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        dCpuNSec += threadCpuNSec(nTid) - dCpu0;
        dWallNSec += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - wall0).count();
    }

    if (nKind == 0)
    {
        bStop = true;
        bare.join();
    }
    monitor.stopCsvMonitor();
    setPollOnly(false);
    state.counters["core_pct"] = 100.0 * dCpuNSec / dWallNSec;
}

BENCHMARK(BM_PickupLatency)
    ->ArgNames({"watch", "spaced"})
    ->ArgsProduct({{0, 1}, {1, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_HostOrderLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IdleCpu)
    ->ArgName("kind")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
