#include "cbatchordererrorthrottle.h"
#include "cbatchorderfilemonitor.h"

#include "common/clogcapture.h"
#include "common/rowname.h"
#include "common/waituntil.h"

#include <boost/signals2/connection.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using TC::CBatchOrderErrorThrottle;
using TC::CBatchOrderFileMonitor;

using CTexts = std::vector<std::string>;
const std::string kLog = "[order ] ";

// A fresh listing each time (a QDir keeps the one it read first).
QStringList entries(const QString& strDir)
{
    return QDir(strDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

// Reader threads alive in this process, found by the name the kernel keeps (15 bytes of it).
int readerThreadCount()
{
    int nCount = 0;
    for (const QString& strTask : entries(QStringLiteral("/proc/self/task"))) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(strTask));
        nCount += comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "batch_order_rea" ? 1 : 0;
    }
    return nCount;
}

// Puts a whole file at the path the way a writer should: written under another name, renamed in.
void putFile(const QString& strPath, const QByteArray& bytes)
{
    QFile file(QFileInfo(strPath).path() + QStringLiteral("/.writing"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    const QByteArray part = QFile::encodeName(file.fileName());
    ASSERT_EQ(::rename(part.constData(), QFile::encodeName(strPath).constData()), 0);
}

// Runs the body in a forked writer process and returns its exit status, -1 when it did not end in time.
// The body may only make plain system calls, no allocation: the parent has threads.
int runWriterProcess(const std::function<int()>& body, std::chrono::milliseconds timeout = 60s)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int nStatus = 0;
    if (pid > 0 && waitUntil([&] { return ::waitpid(pid, &nStatus, WNOHANG) == pid; }, timeout))
        return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
    if (pid > 0 && ::kill(pid, SIGKILL) == 0)
        ::waitpid(pid, nullptr, 0);
    return -1;
}

bool writeText(int nFd, std::string_view text)
{
    return ::write(nFd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Each emission with what the directory held at that moment (the temporary file is still there).
struct CEmission
{
    QStringList m_lines;
    QStringList m_entries;
};

class CFileMonitorTest : public ::testing::Test
{
protected:
    CFileMonitorTest()
    {
        m_monitor.setPath(m_strPath);
        m_connection = m_monitor.m_sigCsvFileRead.connect([this](const QStringList& lines) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_emissions.push_back({lines, entries(m_dir.path())});
            }
            if (m_bStopInSlot.exchange(false))
                m_monitor.stopCsvMonitor();
            if (m_bThrowInSlot.exchange(false))
                throw std::runtime_error("slot failed");
        });
        m_messageConnection =
            m_monitor.m_sigMessage.connect([this](TC::EBatchOrderMsgLevel eLevel, const QString& str) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_messages.push_back(QString::number(eLevel) + QLatin1Char(' ') + str);
            });
    }
    // The reader must be gone before the members its slot reaches.
    void TearDown() override
    {
        m_monitor.stopCsvMonitor();
        qunsetenv("BATCHORDER_READER_POLL_ONLY");
    }

    std::vector<CEmission> emissions() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_emissions;
    }
    bool waitEmissions(size_t nCount, std::chrono::milliseconds timeout = 120s) const
    {
        return waitUntil([&] { return emissions().size() >= nCount; }, timeout);
    }
    // Puts a file, waits for its emission and stops; the emitted lines. No temporary file may stay.
    QStringList deliver(const QString& strPath, const QByteArray& bytes)
    {
        const size_t nBefore = emissions().size();
        const QStringList before = entries(QFileInfo(strPath).path());
        putFile(strPath, bytes);
        EXPECT_TRUE(waitEmissions(nBefore + 1)) << "nothing emitted";
        m_monitor.stopCsvMonitor();
        for (const QString& strName : entries(QFileInfo(strPath).path()))
            EXPECT_TRUE(before.contains(strName)) << strName.toStdString() << " stays";
        const auto all = emissions();
        return all.size() > nBefore ? all.back().m_lines : QStringList();
    }
    // Console messages, each as "<level> <text>".
    QStringList messages() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    // The log lines, each without the module's prefix.
    CTexts logged() const
    {
        CTexts texts = m_log.texts();
        for (std::string& strText : texts)
            strText = strText.rfind(kLog, 0) == 0 ? strText.substr(kLog.size()) : "no prefix: " + strText;
        return texts;
    }

    QTemporaryDir m_dir;
    QString m_strPath = m_dir.filePath(QStringLiteral("orders.csv"));
    CLogCapture m_log; // lives longer than the monitor, whose thread logs while it stops
    CBatchOrderFileMonitor m_monitor;
    mutable std::mutex m_mutex;
    std::vector<CEmission> m_emissions;
    QStringList m_messages;
    std::atomic<bool> m_bStopInSlot{false};
    std::atomic<bool> m_bThrowInSlot{false};
    boost::signals2::scoped_connection m_connection;
    boost::signals2::scoped_connection m_messageConnection;
};

// ---- the file as a whole ------------------------------------------------------------------------------

struct CFormatRow : CNamedRow
{
    QByteArray m_bytes;
    QStringList m_expectedLines;
    const char* m_szFileName = "orders.csv";
    const char* m_szTmpName = "orders_tmp1.csv";
    int64_t m_nMaxFileSize = 0; // 0: the default limit
};

class CFileFormatTest : public CFileMonitorTest, public ::testing::WithParamInterface<CFormatRow>
{
};

const QString kBatchOrder = QString::fromUtf8("批量下单");

const CFormatRow kFormatRows[] = {
    {"NewlineAloneGivesTwoEmptyLines", "\n", {"", ""}},
    {"InnerDotStaysInBaseName", "x\n", {"x", ""}, "a.b.csv", "a.b_tmp1.csv"},
    {"NoSuffixKeepsTrailingDot", "x", {"x"}, "orders", "orders_tmp1."},
    {"CrlfLinesKeepCarriageReturn", "a\r\nb\r\n", {"a\r", "b\r", ""}},
    {"GbkWithoutMark", QByteArray::fromHex("c5fac1bfcfc2b5a5"), {kBatchOrder}},
    {"Utf8WithMarkReadAsUtf8", "\xEF\xBB\xBF" + kBatchOrder.toUtf8(), {kBatchOrder}},
    // The same bytes without the mark are GBK: the familiar mojibake.
    {"Utf8WithoutMarkReadAsGbk", kBatchOrder.toUtf8(), {QString::fromUtf8("鎵归噺涓嬪崟")}},
    {"Utf16WithMarkReadAsUtf16", QByteArray::fromHex("fffe7962cf910b4e5553"), {kBatchOrder}},
    // The name is built by the pattern "%1_tmp%2.%3" once; parts of the name are not patterns themselves.
    {"PercentsInBaseNameAndSuffixStay", "x", {"x"}, "a%1%2.%3", "a%1%2_tmp1.%3"},
    {"FileOfExactlyTheLimitIsTaken", "12345678", {"12345678"}, "orders.csv", "orders_tmp1.csv", 8},
    // Plain ASCII skips the decoder; a NUL byte ends nothing on the way.
    {"NulByteStaysInItsLine", QByteArray("a\0b\n", 4), {QString::fromLatin1("a\0b", 3), QString()}},
};

TEST_P(CFileFormatTest, FileIsTakenReadAndDeleted)
{
    const CFormatRow& row = GetParam();
    const QString strPath = m_dir.filePath(QString::fromUtf8(row.m_szFileName));
    m_monitor.setPath(strPath);
    if (row.m_nMaxFileSize > 0)
        m_monitor.setMaxFileSize(row.m_nMaxFileSize);
    m_monitor.startCsvMonitor();
    EXPECT_EQ(deliver(strPath, row.m_bytes), row.m_expectedLines);

    const CEmission emission = emissions().front();
    EXPECT_TRUE(emission.m_entries.contains(QString::fromUtf8(row.m_szTmpName)))
        << emission.m_entries.join(' ').toStdString();
    const std::string strText = row.m_expectedLines.join('\n').toStdString();
    EXPECT_EQ(logged(), (CTexts{"start thread!", "param " + strText, "stop thread!"}));
    EXPECT_TRUE(messages().isEmpty()) << messages().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, CFileFormatTest, ::testing::ValuesIn(kFormatRows), rowName);

// ---- files written by another process, with the directory watch and with the bare poll -----------------

class CFileMonitorModeTest : public CFileMonitorTest, public ::testing::WithParamInterface<bool>
{
    void SetUp() override
    {
        if (GetParam())
            qputenv("BATCHORDER_READER_POLL_ONLY", "1");
    }
};

// Another process writes files back to back: the first in place, empty for a while, then line by line 30 ms
// apart; then odd ones renamed in and even ones in place in pieces 300 us apart, where a reader taking open
// files would catch halves.
TEST_P(CFileMonitorModeTest, FilesFromAnotherProcessArriveWholeOnceEachOnceClosed)
{
    std::vector<std::string> contents{"1,a\n2,b\n3,c\n4,d\n5,e\n"};
    for (int i = 1; i < 1000; ++i)
        contents.push_back(std::to_string(i) + ",first half\n" + std::to_string(i) + ",second half\n");
    const QByteArray path = QFile::encodeName(m_strPath);
    const QByteArray part = QFile::encodeName(m_dir.filePath(QStringLiteral("orders.part")));
    const auto writer = [&] {
        // An empty file, closed, is not taken until it has content: the first file's.
        const int nEmpty = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        if (nEmpty < 0 || ::close(nEmpty) != 0 || ::usleep(200000) != 0 ||
            ::access(path.constData(), F_OK) != 0)
            return 4;
        for (size_t i = 0; i < contents.size(); ++i) {
            const std::string_view content = contents[i];
            const bool bRenameIn = i % 2 == 1;
            const size_t nPiece = i == 0 ? 4 : 10;
            const int nFd = ::open(bRenameIn ? part.constData() : path.constData(), O_WRONLY | O_CREAT, 0644);
            for (size_t n = 0; n < content.size(); n += nPiece) {
                if (nFd < 0 || !writeText(nFd, content.substr(n, nPiece)) ||
                    ::usleep(i == 0 ? 30000 : 300) != 0)
                    return 2;
            }
            if (::close(nFd) != 0 || (bRenameIn && ::rename(part.constData(), path.constData()) != 0))
                return 2;
            // The next file once this one is gone; 10 s without that means the reader stopped taking files.
            for (int nWait = 0; ::access(path.constData(), F_OK) == 0; ++nWait) {
                if (nWait > 200000 || ::usleep(50) != 0)
                    return 3;
            }
        }
        return 0;
    };
    m_monitor.startCsvMonitor();
    ASSERT_EQ(runWriterProcess(writer, 180s), 0);
    ASSERT_TRUE(waitEmissions(contents.size()));
    m_monitor.stopCsvMonitor();

    // One reader, one file at a time: the files arrive whole, once each, in the order written.
    std::vector<std::string> got;
    for (const CEmission& emission : emissions())
        got.push_back(emission.m_lines.join('\n').toStdString());
    const auto firstWrong = std::mismatch(got.begin(), got.end(), contents.begin(), contents.end()).first;
    EXPECT_TRUE(got == contents) << got.size() << " emissions, first wrong: " << firstWrong - got.begin();
    EXPECT_TRUE(messages().isEmpty()) << messages().join('\n').toStdString();
    // Refusals are files still open, a run logged once and closed with its count (the first file's above 1).
    const std::string strRefused = "rename failed!" + std::string(std::strerror(EAGAIN));
    EXPECT_EQ(m_log.count("open failed!"), 0);
    EXPECT_EQ(m_log.count("rename failed!"), m_log.count(strRefused));
    const CTexts texts = logged();
    const std::string strRecovered = "recovered: " + strRefused + " (seen ";
    const auto recovered = std::find_if(
        texts.begin(), texts.end(), [&](const std::string& str) { return str.rfind(strRecovered, 0) == 0; });
    ASSERT_EQ(recovered - texts.begin(), 2) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[1], strRefused);
    EXPECT_GT(std::atoi(recovered->c_str() + strRecovered.size()), 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, CFileMonitorModeTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "PollOnly" : "Watched"; });

// ---- starting and stopping ----------------------------------------------------------------------------

// Repeated starts leave one reader; a stop from a slot only ends the reader (it cannot join itself) and the
// next start waits for it. A stop or the destructor returns once the reader has ended.
TEST_F(CFileMonitorTest, StartsStopsAndDestructionLeaveAtMostOneReader)
{
    m_monitor.stopCsvMonitor();
    EXPECT_TRUE(m_log.texts().empty()) << "a stop without a reader does nothing";
    EXPECT_TRUE(CBatchOrderFileMonitor::holdTakenFile().isEmpty()) << "only the reader's slots hold a file";
    for (int i = 0; i < 20; ++i) {
        m_monitor.startCsvMonitor();
        m_monitor.startCsvMonitor();
        m_monitor.stopCsvMonitor();
    }
    m_bStopInSlot = true;
    m_monitor.startCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 1);
    putFile(m_strPath, "first\n");
    ASSERT_TRUE(m_log.waitForCount("stop thread!", 21));
    m_monitor.startCsvMonitor();
    EXPECT_EQ(readerThreadCount(), 1);
    EXPECT_EQ(m_log.count("start thread!"), 42);
    EXPECT_EQ(deliver(m_strPath, "second\n"), QStringList({"second", ""}));
    EXPECT_EQ(emissions().size(), 2u);
    EXPECT_EQ(readerThreadCount(), 0);
    {
        CBatchOrderFileMonitor other;
        other.startCsvMonitor();
        EXPECT_EQ(readerThreadCount(), 1);
    }
    EXPECT_EQ(readerThreadCount(), 0);
}

// ---- files left aside: never replaced, always reported ----------------------------------------------------

struct CLeftAsideRow : CNamedRow
{
    const char* m_szReason;     // in the console message
    bool m_bLeftover = false;   // the file is already at the first temporary name when the reader starts
    int64_t m_nMaxFileSize = 0; // 0: the default limit
    bool m_bSlotThrows = false;
    bool m_bUnreadable = false;
};

class CLeftAsideTest : public CFileMonitorTest, public ::testing::WithParamInterface<CLeftAsideRow>
{
};

const CLeftAsideRow kLeftAsideRows[] = {
    {"LeftoverOfAnEarlierRunIsReportedAtStart", "此前运行遗留", true},
    {"FileOverTheLimitIsLeftAsideUnread", "超过大小上限(19 字节 > 8 字节)", false, 8},
    {"LinesOfAFailedHandOverStayOnDisk", "处理中断", false, 0, true},
    {"UnreadableFileIsLeftAside", "无法打开", false, 0, false, true},
};

// A file left aside is the only copy of its lines: never replaced, and the console says where, once.
TEST_P(CLeftAsideTest, NextFileDoesNotReplaceIt)
{
    const CLeftAsideRow& row = GetParam();
    if (row.m_bUnreadable && ::geteuid() == 0)
        GTEST_SKIP() << "root reads any file, so read permission cannot be taken away";
    const QByteArray aside = "1,left aside,lines\n";
    const QString strAside = m_dir.filePath(QStringLiteral("orders_tmp1.csv"));
    putFile(row.m_bLeftover ? strAside : m_strPath, aside);
    EXPECT_TRUE(!row.m_bUnreadable || QFile::setPermissions(m_strPath, QFileDevice::WriteOwner));
    if (row.m_nMaxFileSize > 0)
        m_monitor.setMaxFileSize(row.m_nMaxFileSize);
    m_bThrowInSlot = row.m_bSlotThrows;
    m_monitor.startCsvMonitor();
    ASSERT_TRUE(waitUntil([&] { return !messages().isEmpty(); })) << "nothing reported";
    EXPECT_EQ(deliver(m_strPath, "after\n"), QStringList({"after", ""}));

    EXPECT_TRUE(emissions().back().m_entries.contains(QStringLiteral("orders_tmp2.csv")));
    QFile file(strAside);
    EXPECT_TRUE(file.setPermissions(QFileDevice::ReadOwner) && file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), aside);
    const QStringList all = messages();
    ASSERT_EQ(all.size(), 1) << all.join('\n').toStdString();
    EXPECT_TRUE(all[0].startsWith(QStringLiteral("4 ")) && all[0].contains(strAside) &&
                all[0].contains(QString::fromUtf8(row.m_szReason)))
        << all[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Rows, CLeftAsideTest, ::testing::ValuesIn(kLeftAsideRows), rowName);

// ---- entries at the path that are not regular files: refused where they stand --------------------------

// Binds a socket at the path; its file stays once the socket is closed.
int makeSocket(const char* szPath)
{
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, szPath, sizeof(address.sun_path) - 1);
    const int nSocket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const int nBound = ::bind(nSocket, reinterpret_cast<const struct sockaddr*>(&address), sizeof(address));
    ::close(nSocket);
    return nBound;
}

struct CEntryRow : CNamedRow
{
    const char* m_szLogged; // what the log calls it
    // Makes the entry at the path, next to a file it may point to; 0 when made.
    int (*m_make)(const char* szPath, const char* szSecret);
    bool m_bMayBeRefused = false; // making it needs a right the test may not have
};

class CRefusedEntryTest : public CFileMonitorTest, public ::testing::WithParamInterface<CEntryRow>
{
};

const CEntryRow kEntryRows[] = {
    {"LinkToAnotherFileIsNotFollowed", "symbolic link",
     [](const char* szPath, const char* szSecret) { return ::symlink(szSecret, szPath); }},
    {"DanglingLink", "symbolic link",
     [](const char* szPath, const char*) { return ::symlink("nowhere", szPath); }},
    {"Directory", "directory", [](const char* szPath, const char*) { return ::mkdir(szPath, 0700); }},
    {"Fifo", "FIFO", [](const char* szPath, const char*) { return ::mkfifo(szPath, 0600); }},
    {"Socket", "socket", [](const char* szPath, const char*) { return makeSocket(szPath); }},
    {"Device", "device",
     [](const char* szPath, const char*) { return ::mknod(szPath, S_IFCHR | 0600, makedev(1, 3)); }, true},
};

TEST_P(CRefusedEntryTest, RefusedOnceThenTheNextFileIsTaken)
{
    const CEntryRow& row = GetParam();
    const QByteArray path = QFile::encodeName(m_strPath);
    const QString strSecret = m_dir.filePath(QStringLiteral("shadow"));
    putFile(strSecret, "root:$6$secret:19000::::::\n");
    const int nMade = row.m_make(path.constData(), QFile::encodeName(strSecret).constData());
    if (nMade != 0 && row.m_bMayBeRefused)
        GTEST_SKIP() << "no right to make this entry here";
    ASSERT_EQ(nMade, 0) << std::strerror(errno);
    struct stat before = {};
    ASSERT_EQ(::lstat(path.constData(), &before), 0);

    m_monitor.startCsvMonitor();
    ASSERT_TRUE(waitUntil([&] { return !messages().isEmpty(); })) << "nothing reported";
    // New permissions do not make it another entry (a link's are its target's).
    EXPECT_TRUE(S_ISLNK(before.st_mode) || ::chmod(path.constData(), 0640) == 0);
    EXPECT_FALSE(waitUntil([&] { return messages().size() > 1; }, 100ms)) << "reported more than once";
    struct stat after = {};
    EXPECT_TRUE(::lstat(path.constData(), &after) == 0 && after.st_ino == before.st_ino) << "it was moved";
    ASSERT_EQ(::remove(path.constData()), 0);
    EXPECT_EQ(deliver(m_strPath, "after\n"), QStringList({"after", ""}));

    const QStringList all = messages();
    ASSERT_EQ(all.size(), 1) << all.join('\n').toStdString();
    EXPECT_TRUE(all[0].startsWith(QStringLiteral("4 ")) && all[0].contains(m_strPath))
        << all[0].toStdString();
    const std::string strRefused =
        "not a regular file!" + std::string(row.m_szLogged) + " " + path.toStdString();
    EXPECT_EQ(logged(), (CTexts{"start thread!", strRefused, "param after\n", "stop thread!"}));
    QFile secret(strSecret);
    EXPECT_TRUE(secret.open(QIODevice::ReadOnly) && secret.readAll() == "root:$6$secret:19000::::::\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, CRefusedEntryTest, ::testing::ValuesIn(kEntryRows), rowName);

// ---- a missing directory, a large file -----------------------------------------------------------------

// A path set while the reader runs is used from the next poll on, in a directory made later; a 50 MB file
// arrives there in one emission and is logged whole, once.
TEST_F(CFileMonitorTest, PathInAMissingDirectoryIsWaitedForAndALargeFileArrivesWhole)
{
    const QString strDir = m_dir.filePath(QStringLiteral("later"));
    m_monitor.startCsvMonitor();
    m_monitor.setPath(strDir + QStringLiteral("/orders.csv"));
    // The watch cannot be set on a missing directory: one line, then polling goes on silently.
    EXPECT_FALSE(m_log.waitForCount(kLog, 3, 200ms));
    ASSERT_TRUE(QDir().mkpath(strDir));
    const int kLines = 1000000;
    QByteArray bytes;
    for (int i = 0; i < kLines; ++i)
        bytes += QByteArray::number(i).rightJustified(8, '0') + ",23,600000,10.50,100,ACCOUNT1,remark text\n";
    ASSERT_GE(bytes.size(), 50 * 1000 * 1000);
    const QStringList lines = deliver(strDir + QStringLiteral("/orders.csv"), bytes);
    ASSERT_EQ(lines.size(), kLines + 1);
    EXPECT_EQ(lines.at(kLines - 1), QStringLiteral("00999999,23,600000,10.50,100,ACCOUNT1,remark text"));
    const std::string strWatch = "watch failed, polling only!" + std::string(std::strerror(ENOENT)) + " " +
                                 QFile::encodeName(strDir).toStdString();
    EXPECT_TRUE(logged() ==
                (CTexts{"start thread!", strWatch, "param " + bytes.toStdString(), "stop thread!"}))
        << "the whole text is logged once";
}

// ---- repeated errors in the log ---------------------------------------------------------------------------

struct CThrottleEvent
{
    double m_dMSec;
    const char* m_szError; // null: the condition is over
};

struct CThrottleRow : CNamedRow
{
    std::vector<CThrottleEvent> m_events;
    CTexts m_expected; // the lines to log, over all events, at an interval of 5 s
};

class CErrorThrottleTest : public ::testing::TestWithParam<CThrottleRow>
{
};

const CThrottleRow kThrottleRows[] = {
    {"OnlyTheFirstOfARunIsLoggedAndRecoveryClosesItWithItsCount",
     {{0, "E"}, {1, "E"}, {2, "E"}, {1500, nullptr}},
     {"E", "recovered: E (seen 3 times in 1.5 s)"}},
    {"RepeatsAreSummarisedOncePerInterval",
     {{0, "E"}, {1000, "E"}, {5000, "E"}, {5001, "E"}, {9999, "E"}, {10000, "E"}, {10001, nullptr}},
     {"E", "E (repeated 2 times in 5.0 s)", "E (repeated 3 times in 5.0 s)",
      "recovered: E (seen 6 times in 10.0 s)"}},
    {"ADifferentErrorEndsTheRunBeforeIt",
     {{0, "A"}, {1, "A"}, {2, "B"}, {3, "B"}},
     {"A", "recovered: A (seen 2 times in 0.0 s)", "B"}},
    {"RecoveryOutsideARunSaysNothing",
     {{0, nullptr}, {1, "E"}, {2, nullptr}, {3, nullptr}, {4, "E"}},
     {"E", "recovered: E (seen 1 times in 0.0 s)", "E"}},
};

TEST_P(CErrorThrottleTest, LinesLogged)
{
    CBatchOrderErrorThrottle throttle(5000.0);
    CTexts lines;
    for (const CThrottleEvent& event : GetParam().m_events) {
        const CTexts now = event.m_szError ? throttle.error(event.m_szError, event.m_dMSec)
                                           : throttle.recovered(event.m_dMSec);
        lines.insert(lines.end(), now.begin(), now.end());
    }
    EXPECT_EQ(lines, GetParam().m_expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, CErrorThrottleTest, ::testing::ValuesIn(kThrottleRows), rowName);

} // namespace
