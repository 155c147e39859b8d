#include "cbatchorderfilemonitor.h"

#include "base/utils.h"
#include "common/clogcapture.h"

#include <boost/signals2/connection.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using TC::CBatchOrderFileMonitor;

const char* const kPollOnlyVariable = "BATCHORDER_READER_POLL_ONLY";

// Waits until the condition holds; false when the deadline passes first.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

// Reader threads alive in this process, found by the name the kernel keeps (15 bytes of it).
int readerThreadCount()
{
    int nCount = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& strTask : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(strTask));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "batch_order_rea")
            ++nCount;
    }
    return nCount;
}

// Puts a whole file at the path the way a writer should: written under another name, renamed in.
void putFile(const QString& strPath, const QByteArray& bytes)
{
    const QString strPart = QFileInfo(strPath).path() + QStringLiteral("/.writing");
    QFile file(strPart);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    ASSERT_EQ(::rename(QFile::encodeName(strPart).constData(), QFile::encodeName(strPath).constData()), 0);
}

std::string logText(const std::string& strText)
{
    return "[order ] " + strText;
}

// Records each emission with what the directory held at that moment (the temporary file is still there)
// and the name of the thread it came on.
class CEmissionRecorder
{
public:
    struct CEmission
    {
        QStringList m_lines;
        QStringList m_entries;
        std::string m_strThread;
    };

    CEmissionRecorder(CBatchOrderFileMonitor& monitor, const QString& strDir)
        : m_strDir(strDir),
          m_connection(monitor.m_sigCsvFileRead.connect([this](const QStringList& lines) { record(lines); }))
    {
    }

    void setHook(std::function<void()> hook)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_hook = std::move(hook);
    }

    bool waitForCount(size_t nCount, std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cond.wait_for(lock, timeout, [&] { return m_emissions.size() >= nCount; });
    }

    std::vector<CEmission> emissions() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_emissions;
    }

private:
    void record(const QStringList& lines)
    {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_emissions.push_back({lines, QDir(m_strDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                                   utils::getThreadName()});
            hook = m_hook;
            m_cond.notify_all();
        }
        if (hook)
            hook();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    std::vector<CEmission> m_emissions;
    std::function<void()> m_hook;
    const QString m_strDir;
    boost::signals2::scoped_connection m_connection; // last: cut before the rest goes
};

// A writer in a separate process. The body runs in the forked child and may only make plain system
// calls (the parent has threads); its result is the child's exit status. A child still running when
// the object goes is killed.
class CWriterProcess
{
public:
    explicit CWriterProcess(const std::function<int()>& body)
    {
        m_pid = ::fork();
        if (m_pid == 0)
            ::_exit(body());
    }
    ~CWriterProcess()
    {
        if (m_pid > 0)
        {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    CWriterProcess(const CWriterProcess&) = delete;
    CWriterProcess& operator=(const CWriterProcess&) = delete;

    bool started() const { return m_pid > 0; }

    // The exit status, or -1 when the child did not end in time.
    int wait(std::chrono::milliseconds timeout = 30s)
    {
        int nStatus = 0;
        const bool bEnded = waitUntil([&] { return ::waitpid(m_pid, &nStatus, WNOHANG) == m_pid; }, timeout);
        if (!bEnded)
            return -1;
        m_pid = -1;
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    }

private:
    pid_t m_pid = -1;
};

// One byte through a pipe, for handshakes with a writer process.
class CPipe
{
public:
    CPipe() { m_bOk = ::pipe(m_fds) == 0; }
    ~CPipe()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    bool ok() const { return m_bOk; }
    void signal() const { (void)!::write(m_fds[1], "x", 1); }
    bool waitSignal(int nTimeoutMSec) const
    {
        struct pollfd pfd = {m_fds[0], POLLIN, 0};
        char c = 0;
        return ::poll(&pfd, 1, nTimeoutMSec) == 1 && ::read(m_fds[0], &c, 1) == 1;
    }

private:
    int m_fds[2] = {-1, -1};
    bool m_bOk = false;
};

bool writeAll(int nFd, const char* pData, size_t nSize)
{
    while (nSize > 0)
    {
        const ssize_t n = ::write(nFd, pData, nSize);
        if (n <= 0)
            return false;
        pData += n;
        nSize -= static_cast<size_t>(n);
    }
    return true;
}

void sleepMSec(long nMSec)
{
    struct timespec ts = {nMSec / 1000, (nMSec % 1000) * 1000000L};
    ::nanosleep(&ts, nullptr);
}

class CFileMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_monitor.setPath(m_strPath);
    }
    // The reader must be gone before the recorder its slot reaches.
    void TearDown() override { m_monitor.stopCsvMonitor(); }

    bool pathGone() const { return !QFileInfo::exists(m_strPath); }
    QStringList dirEntries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_dir;
    QString m_strPath = m_dir.filePath(QStringLiteral("orders.csv"));
    CLogCapture m_log; // lives longer than the monitor, whose thread logs while it stops
    CBatchOrderFileMonitor m_monitor;
    CEmissionRecorder m_recorder{m_monitor, m_dir.path()};
};

// Runs each case with the directory watch and with the bare poll.
class CFileMonitorModeTest : public CFileMonitorTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        if (GetParam())
            qputenv(kPollOnlyVariable, "1");
        else
            qunsetenv(kPollOnlyVariable);
        CFileMonitorTest::SetUp();
    }
    void TearDown() override
    {
        CFileMonitorTest::TearDown();
        qunsetenv(kPollOnlyVariable);
    }
};

std::string modeName(const ::testing::TestParamInfo<bool>& info)
{
    return info.param ? "PollOnly" : "Watched";
}

// ---- the file as a whole ------------------------------------------------------------------------------

struct CFormatRow
{
    const char* m_szName;
    const char* m_szFileName;
    QByteArray m_bytes;
    QStringList m_expectedLines;
    const char* m_szTmpName;
};

void PrintTo(const CFormatRow& row, std::ostream* pStream)
{
    *pStream << row.m_szName;
}

class CFileFormatTest : public CFileMonitorTest, public ::testing::WithParamInterface<CFormatRow>
{
};

const QString kBatchOrder = QString::fromUtf8("批量下单");

const CFormatRow kFormatRows[] = {
    {"NewlineAloneGivesTwoEmptyLines", "orders.csv", "\n", {"", ""}, "orders_tmp1.csv"},
    {"LastLineWithoutNewline", "orders.csv", "a\nb", {"a", "b"}, "orders_tmp1.csv"},
    {"InnerDotStaysInBaseName", "a.b.csv", "x\n", {"x", ""}, "a.b_tmp1.csv"},
    {"NoSuffixKeepsTrailingDot", "orders", "x", {"x"}, "orders_tmp1."},
    {"CrlfLinesKeepCarriageReturn", "orders.csv", "a\r\nb\r\n", {"a\r", "b\r", ""}, "orders_tmp1.csv"},
    {"GbkWithoutMark", "orders.csv", QByteArray::fromHex("c5fac1bfcfc2b5a5"), {kBatchOrder},
     "orders_tmp1.csv"},
    {"Utf8WithMarkReadAsUtf8", "orders.csv", QByteArray::fromHex("efbbbf") + kBatchOrder.toUtf8(),
     {kBatchOrder}, "orders_tmp1.csv"},
    // The same bytes without the mark are GBK: the familiar mojibake.
    {"Utf8WithoutMarkReadAsGbk", "orders.csv", kBatchOrder.toUtf8(), {QString::fromUtf8("鎵归噺涓嬪崟")},
     "orders_tmp1.csv"},
    {"Utf16WithMarkReadAsUtf16", "orders.csv", QByteArray::fromHex("fffe7962cf910b4e5553"), {kBatchOrder},
     "orders_tmp1.csv"},
};

TEST_P(CFileFormatTest, FileIsTakenReadAndDeleted)
{
    const CFormatRow& row = GetParam();
    const QString strPath = m_dir.filePath(QString::fromUtf8(row.m_szFileName));
    m_monitor.setPath(strPath);
    m_monitor.startCsvMonitor();
    putFile(strPath, row.m_bytes);

    ASSERT_TRUE(m_recorder.waitForCount(1));
    const CEmissionRecorder::CEmission emission = m_recorder.emissions().front();
    EXPECT_EQ(emission.m_lines, row.m_expectedLines);
    EXPECT_TRUE(emission.m_entries.contains(QString::fromUtf8(row.m_szTmpName)))
        << emission.m_entries.join(' ').toStdString();
    EXPECT_EQ(emission.m_strThread, "batch_order_read_thread");
    EXPECT_TRUE(waitUntil([&] { return dirEntries().isEmpty(); })) << "the temporary file must be deleted";
    m_monitor.stopCsvMonitor();

    const std::vector<std::string> expected = {logText("start thread!"),
                                               logText("param " + row.m_expectedLines.join('\n').toStdString()),
                                               logText("stop thread!")};
    EXPECT_EQ(m_log.texts(), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, CFileFormatTest, ::testing::ValuesIn(kFormatRows),
                         [](const ::testing::TestParamInfo<CFormatRow>& info) { return info.param.m_szName; });

TEST_F(CFileMonitorTest, EmptyFileIsNotTakenUntilItHasContent)
{
    m_monitor.startCsvMonitor();
    {
        QFile file(m_strPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_FALSE(waitUntil([&] { return pathGone(); }, 200ms)) << "a 0-byte file was taken";

    {
        QFile file(m_strPath);
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("late\n");
    }
    ASSERT_TRUE(m_recorder.waitForCount(1));
    EXPECT_EQ(m_recorder.emissions().front().m_lines, QStringList({"late", ""}));
    EXPECT_EQ(m_log.count("open failed!"), 0);
}

// ---- files still held by their writer -----------------------------------------------------------------

TEST_P(CFileMonitorModeTest, FileHeldOpenByAnotherProcessWaitsUntilReleased)
{
    CPipe written;
    CPipe release;
    ASSERT_TRUE(written.ok() && release.ok());
    const QByteArray path = QFile::encodeName(m_strPath);
    const char kContent[] = "1,first\n2,second\n";
    m_monitor.startCsvMonitor();

    CWriterProcess writer([&] {
        const int nFd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (nFd < 0 || !writeAll(nFd, kContent, sizeof(kContent) - 1))
            return 2;
        written.signal();
        release.waitSignal(30000);
        ::close(nFd);
        return 0;
    });
    ASSERT_TRUE(writer.started());
    ASSERT_TRUE(written.waitSignal(10000));

    // Each refused poll costs one temporary index.
    ASSERT_TRUE(m_log.waitForCount("rename failed!", 3));
    EXPECT_FALSE(pathGone()) << "a file held open by its writer was taken";
    EXPECT_TRUE(m_recorder.emissions().empty());

    release.signal();
    ASSERT_EQ(writer.wait(), 0);
    ASSERT_TRUE(m_recorder.waitForCount(1));
    m_monitor.stopCsvMonitor();

    const CEmissionRecorder::CEmission emission = m_recorder.emissions().front();
    EXPECT_EQ(emission.m_lines, QStringList({"1,first", "2,second", ""}));
    const int nRefused = m_log.count("rename failed!");
    EXPECT_TRUE(emission.m_entries.contains(QStringLiteral("orders_tmp%1.csv").arg(nRefused + 1)))
        << nRefused << " refusals; directory: " << emission.m_entries.join(' ').toStdString();
    EXPECT_EQ(m_log.count(logText("rename failed!") + std::strerror(EAGAIN)), nRefused)
        << "the refusal carries the system's message";
    EXPECT_EQ(m_recorder.emissions().size(), 1u);
}

TEST_P(CFileMonitorModeTest, SlowWriterGetsAllLinesInOneEmission)
{
    const QByteArray path = QFile::encodeName(m_strPath);
    const char* const kLines[] = {"1,a\n", "2,b\n", "3,c\n", "4,d\n", "5,e\n"};
    m_monitor.startCsvMonitor();

    CWriterProcess writer([&] {
        const int nFd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (nFd < 0)
            return 2;
        for (const char* szLine : kLines)
        {
            if (!writeAll(nFd, szLine, std::strlen(szLine)))
                return 3;
            sleepMSec(30);
        }
        ::close(nFd);
        return 0;
    });
    ASSERT_TRUE(writer.started());
    ASSERT_EQ(writer.wait(), 0);
    ASSERT_TRUE(m_recorder.waitForCount(1));
    ASSERT_TRUE(waitUntil([&] { return dirEntries().isEmpty(); }));
    m_monitor.stopCsvMonitor();

    const auto emissions = m_recorder.emissions();
    ASSERT_EQ(emissions.size(), 1u);
    EXPECT_EQ(emissions.front().m_lines, QStringList({"1,a", "2,b", "3,c", "4,d", "5,e", ""}));
    EXPECT_GT(m_log.count("rename failed!"), 0) << "the reader never saw the file while it was written";
}

// Another process writes files back to back, each as soon as the previous one is gone from the path:
// even ones renamed in, odd ones written in place in two steps and closed.
TEST_P(CFileMonitorModeTest, ThousandFilesFromAnotherProcessEachArriveOnce)
{
    const int kFiles = 1000;
    std::vector<std::string> contents;
    for (int i = 0; i < kFiles; ++i)
        contents.push_back(std::to_string(i) + ",first half\n" + std::to_string(i) + ",second half\n");
    const QByteArray path = QFile::encodeName(m_strPath);
    const QByteArray part = QFile::encodeName(m_dir.filePath(QStringLiteral("orders.part")));
    m_monitor.startCsvMonitor();

    CWriterProcess writer([&] {
        for (int i = 0; i < kFiles; ++i)
        {
            const std::string& strContent = contents[static_cast<size_t>(i)];
            const size_t nHalf = strContent.size() / 2;
            const bool bRename = i % 2 == 0;
            const char* szTarget = bRename ? part.constData() : path.constData();
            const int nFd = ::open(szTarget, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (nFd < 0 || !writeAll(nFd, strContent.data(), nHalf))
                return 2;
            // A pause in the middle, so that a reader that takes open files would catch some halves.
            struct timespec pause = {0, 300000};
            ::nanosleep(&pause, nullptr);
            if (!writeAll(nFd, strContent.data() + nHalf, strContent.size() - nHalf))
                return 2;
            ::close(nFd);
            if (bRename && ::rename(part.constData(), path.constData()) != 0)
                return 3;
            struct stat st;
            for (int nWait = 0; ::stat(path.constData(), &st) == 0; ++nWait)
            {
                if (nWait > 200000)
                    return 4; // about 10 s: the reader stopped taking files
                struct timespec ts = {0, 50000};
                ::nanosleep(&ts, nullptr);
            }
        }
        return 0;
    });
    ASSERT_TRUE(writer.started());
    ASSERT_EQ(writer.wait(120s), 0);
    ASSERT_TRUE(m_recorder.waitForCount(kFiles));
    m_monitor.stopCsvMonitor();

    std::map<std::string, int> seen;
    for (const auto& emission : m_recorder.emissions())
        ++seen[emission.m_lines.join('\n').toStdString()];
    int nWrong = 0;
    for (int i = 0; i < kFiles; ++i)
    {
        const int nTimes = seen[contents[static_cast<size_t>(i)]];
        nWrong += nTimes == 1 ? 0 : 1;
        EXPECT_EQ(nTimes, 1) << "file " << i;
        if (nWrong > 5)
            break;
    }
    EXPECT_EQ(m_recorder.emissions().size(), static_cast<size_t>(kFiles)) << "a half-written or extra emission";
    EXPECT_EQ(m_log.count("open failed!"), 0);
    EXPECT_EQ(m_log.count("rename failed!"), m_log.count(logText("rename failed!") + std::strerror(EAGAIN)))
        << "the only refusals are files still open";
}

INSTANTIATE_TEST_SUITE_P(Modes, CFileMonitorModeTest, ::testing::Bool(), modeName);

// ---- starting and stopping ----------------------------------------------------------------------------

TEST_F(CFileMonitorTest, TwoStartsGiveOneThread)
{
    m_monitor.startCsvMonitor();
    m_monitor.startCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 1);
    EXPECT_EQ(m_log.count("start thread!"), 2);

    m_monitor.stopCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 0) << "stop returns once the reader has ended";
    EXPECT_EQ(m_log.count("stop thread!"), 1);
}

TEST_F(CFileMonitorTest, StopThenStartLeavesExactlyOneReader)
{
    const int kRounds = 20;
    for (int i = 0; i < kRounds; ++i)
    {
        m_monitor.startCsvMonitor();
        m_monitor.stopCsvMonitor();
    }
    m_monitor.startCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 1);
    EXPECT_EQ(m_log.count("stop thread!"), kRounds);

    putFile(m_strPath, "once\n");
    ASSERT_TRUE(m_recorder.waitForCount(1));
    ASSERT_TRUE(waitUntil([&] { return dirEntries().isEmpty(); }));
    m_monitor.stopCsvMonitor();
    EXPECT_EQ(m_recorder.emissions().size(), 1u);
    EXPECT_EQ(readerThreadCount(), 0);
}

TEST_F(CFileMonitorTest, StopWithoutThreadDoesNothing)
{
    m_monitor.stopCsvMonitor();
    EXPECT_TRUE(m_log.texts().empty());
    m_monitor.startCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 1);
}

TEST_F(CFileMonitorTest, DestructionWithoutStopEndsTheReader)
{
    auto pMonitor = std::make_unique<CBatchOrderFileMonitor>();
    pMonitor->setPath(m_strPath);
    pMonitor->startCsvMonitor();
    ASSERT_EQ(readerThreadCount(), 1);
    pMonitor.reset();
    EXPECT_EQ(readerThreadCount(), 0);
    EXPECT_EQ(m_log.count("stop thread!"), 1);
}

// A slot may stop its own monitor: the reader cannot wait for itself, so it only ends, and the next
// start waits for it before starting the one new reader.
TEST_F(CFileMonitorTest, StopFromSlotThenStartGivesOneReader)
{
    m_recorder.setHook([this] { m_monitor.stopCsvMonitor(); });
    m_monitor.startCsvMonitor();
    putFile(m_strPath, "first\n");
    ASSERT_TRUE(m_recorder.waitForCount(1));
    ASSERT_TRUE(m_log.waitForCount("stop thread!", 1));
    m_recorder.setHook(nullptr);

    m_monitor.startCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 1);
    putFile(m_strPath, "second\n");
    ASSERT_TRUE(m_recorder.waitForCount(2));
    EXPECT_EQ(m_recorder.emissions().back().m_lines, QStringList({"second", ""}));
}

TEST_F(CFileMonitorTest, PathChangedWhileRunningIsUsedFromTheNextPoll)
{
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    m_monitor.startCsvMonitor();
    const QString strOther = other.filePath(QStringLiteral("next.csv"));
    m_monitor.setPath(strOther);
    putFile(strOther, "moved\n");
    ASSERT_TRUE(m_recorder.waitForCount(1));
    EXPECT_EQ(m_recorder.emissions().front().m_lines, QStringList({"moved", ""}));
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(strOther); }));
}

// ---- bad paths: the reader goes on, with the usual lines only -----------------------------------------

TEST_F(CFileMonitorTest, DirectoryAtPathIsMovedAsideAndReaderGoesOn)
{
    ASSERT_TRUE(QDir().mkpath(m_strPath));
    if (QFileInfo(m_strPath).size() < 1)
        GTEST_SKIP() << "this file system reports directories as 0 bytes, so none is ever taken";
    m_monitor.startCsvMonitor();
    ASSERT_TRUE(m_log.waitForCount("open failed!", 1));
    EXPECT_TRUE(QFileInfo(m_dir.filePath(QStringLiteral("orders_tmp1.csv"))).isDir());

    // The directory now holds the first temporary name, so the next file costs one refused rename.
    putFile(m_strPath, "after\n");
    ASSERT_TRUE(m_recorder.waitForCount(1));
    m_monitor.stopCsvMonitor();
    EXPECT_EQ(m_recorder.emissions().front().m_lines, QStringList({"after", ""}));
    const std::vector<std::string> expected = {
        logText("start thread!"), logText("open failed!"), logText("rename failed!") + std::strerror(EISDIR),
        logText("param after\n"), logText("stop thread!")};
    EXPECT_EQ(m_log.texts(), expected);
}

TEST_F(CFileMonitorTest, UnreadableFileIsLeftAsideAndReaderGoesOn)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any file, so read permission cannot be taken away";
    putFile(m_strPath, "secret\n");
    ASSERT_TRUE(QFile::setPermissions(m_strPath, QFileDevice::WriteOwner));
    m_monitor.startCsvMonitor();
    ASSERT_TRUE(m_log.waitForCount("open failed!", 1));
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("orders_tmp1.csv"))));

    putFile(m_strPath, "readable\n");
    ASSERT_TRUE(m_recorder.waitForCount(1));
    m_monitor.stopCsvMonitor();
    EXPECT_EQ(m_recorder.emissions().front().m_lines, QStringList({"readable", ""}));
    const std::vector<std::string> expected = {logText("start thread!"), logText("open failed!"),
                                               logText("param readable\n"), logText("stop thread!")};
    EXPECT_EQ(m_log.texts(), expected);
}

TEST_F(CFileMonitorTest, MissingDirectoryIsWaitedFor)
{
    const QString strDir = m_dir.filePath(QStringLiteral("later"));
    const QString strPath = strDir + QStringLiteral("/orders.csv");
    m_monitor.setPath(strPath);
    m_monitor.startCsvMonitor();
    // The watch cannot be set on a missing directory: one line, then polling goes on silently.
    EXPECT_FALSE(m_log.waitForCount("[order ]", 3, 200ms));

    ASSERT_TRUE(QDir().mkpath(strDir));
    putFile(strPath, "arrived\n");
    ASSERT_TRUE(m_recorder.waitForCount(1));
    m_monitor.stopCsvMonitor();
    EXPECT_EQ(m_recorder.emissions().front().m_lines, QStringList({"arrived", ""}));
    const std::vector<std::string> expected = {
        logText("start thread!"),
        logText("watch failed, polling only!") + std::strerror(ENOENT) + " "
            + QFile::encodeName(strDir).toStdString(),
        logText("param arrived\n"), logText("stop thread!")};
    EXPECT_EQ(m_log.texts(), expected);
}

TEST_F(CFileMonitorTest, FiftyMegabyteFileArrivesInOneEmission)
{
    const int kLines = 1000000;
    QByteArray bytes;
    bytes.reserve(kLines * 51);
    for (int i = 0; i < kLines; ++i)
        bytes += QByteArray::number(i).rightJustified(8, '0') + ",23,600000,10.50,100,ACCOUNT01,remark text\n";
    ASSERT_GE(bytes.size(), 50 * 1000 * 1000);
    m_monitor.startCsvMonitor();
    putFile(m_strPath, bytes);

    ASSERT_TRUE(m_recorder.waitForCount(1, 120s));
    ASSERT_TRUE(waitUntil([&] { return dirEntries().isEmpty(); }));
    m_monitor.stopCsvMonitor();
    const QStringList lines = m_recorder.emissions().front().m_lines;
    ASSERT_EQ(lines.size(), kLines + 1);
    EXPECT_EQ(lines.first(), QStringLiteral("00000000,23,600000,10.50,100,ACCOUNT01,remark text"));
    EXPECT_EQ(lines.at(kLines - 1), QStringLiteral("00999999,23,600000,10.50,100,ACCOUNT01,remark text"));
    EXPECT_EQ(lines.last(), QString());

    const std::vector<CLogCapture::CLine> logLines = m_log.lines();
    ASSERT_EQ(logLines.size(), 3u);
    EXPECT_EQ(logLines[0].m_strText, logText("start thread!"));
    EXPECT_EQ(logLines[1].m_strText.size(), logText("param ").size() + static_cast<size_t>(bytes.size()));
    EXPECT_EQ(logLines[2].m_strText, logText("stop thread!"));
}

} // namespace
