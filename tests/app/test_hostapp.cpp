// End-to-end: the real batchorder-host process, driven as an outside program would drive it.
#include "common/chostprocess.h"
#include "common/ctesthost.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTextCodec>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kOrderLine = QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,%1\n");
// Logged once the socket accepts: its file exists earlier, refusing connections until then.
const QString kListening = QStringLiteral("listening for \"BatchOrder:\" texts on ");
const QStringList kWatching{"--watch", "inbox/orders.csv", "--auto-dispatch"};

// Runs a headless host on the sample profile and the data directory to its end; exit code and stderr.
std::pair<int, QString> runToEnd(const QString& strDataDir, const QStringList& arguments)
{
    QProcess process;
    process.start(
        QStringLiteral(BATCHORDER_HOST_EXE),
        QStringList{"--headless", "--profile", CTestHost::sampleProfilePath(), "--data-dir", strDataDir} +
            arguments);
    if (!process.waitForFinished(20000))
        return {-1, QStringLiteral("did not end")};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

// The NOTE column of each CSV row.
QStringList notes(const QString& strRows)
{
    QStringList found;
    for (const QString& strRow : strRows.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        found << strRow.section(QLatin1Char(','), 9, 9);
    return found;
}

} // namespace

// What cannot work is refused at once, with the reason, before anything is created on disk.
TEST(HostApp, UnusableStartIsRefusedBeforeTheDataDirectoryIsCreated)
{
    QTemporaryDir dir;
    const QString strData = dir.filePath(QStringLiteral("data"));
    const QString strProfile = dir.filePath(QStringLiteral("broken.json"));
    const QString strFile = dir.filePath(QStringLiteral("plain.txt"));
    // The sample profile without its instrument directory.
    QFile sample(CTestHost::sampleProfilePath());
    ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(sample.readAll()).object();
    ASSERT_FALSE(root.take(QStringLiteral("instruments")).isUndefined());
    ASSERT_TRUE(writeFile(strProfile, QJsonDocument(root).toJson()));
    ASSERT_TRUE(writeFile(strFile, QByteArray()));

    // Arguments, exit code, what stderr names.
    const std::tuple<QStringList, int, QStringList> rows[] = {
        {{"--profile", strProfile}, 1, {strProfile, "instruments"}},
        {{"--log-config", strFile + ".missing"}, 1, {strFile + ".missing"}},
        {{"--watch", dir.filePath(QStringLiteral("inbox/"))}, 2, {"not of a directory"}},
        {{"--watch", dir.path()}, 2, {"not of a directory", dir.path()}},
        {{"--listen", QString()}, 2, {"--listen needs a socket name"}},
        {{"--data-dir", strFile}, 2, {strFile, "is a file"}},
        {{"--max-file-size", "0"}, 2, {"--max-file-size"}},
        {{"--max-file-size", "1X"}, 2, {"--max-file-size"}},
        {{"--max-file-size", "513M"}, 2, {"--max-file-size"}},
    };
    for (const auto& [arguments, nExitCode, fragments] : rows) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const auto [nCode, strError] = runToEnd(strData, arguments);
        EXPECT_EQ(nCode, nExitCode) << strError.toStdString();
        for (const QString& strFragment : fragments)
            EXPECT_TRUE(strError.contains(strFragment)) << strError.toStdString();
        EXPECT_FALSE(QFileInfo::exists(strData));
    }
}

// One watching host: a file over the size limit is left aside and named on the console; orders, a cancel
// and a line with control characters end in the journal and the backup, made harmless on the console and
// in the log; then a thousand files back to back have each order placed and backed up exactly once.
TEST(HostApp, WatchedFilesEndInTheBackupAndTheJournalExactlyOnce)
{
    constexpr int kFiles = 1000;
    CHostProcess host(kWatching + QStringList{"--max-file-size", "1K"});
    ASSERT_TRUE(host.waitForStart());
    ASSERT_TRUE(host.writeInstructions(kOrderLine.arg(QStringLiteral("big")).repeated(30)));
    const QString strAside = QFileInfo(host.inbox()).dir().filePath(QStringLiteral("orders_tmp1.csv"));
    ASSERT_TRUE(
        host.waitForOutput(QStringLiteral(" [error] 指令文件已留置在 %1: 超过大小上限(").arg(strAside)));

    // The first order waits out its second and triggers the checker; after it every file goes out at once.
    ASSERT_TRUE(host.writeInstructions(QStringLiteral("23,0,10.5,600000,100,8880000001,2,2,,买入测试\n"
                                                      "cancel_order,8880000001,123456,,,,2,2\n")));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("用户下出 1 条指令!")));
    // A line that would clear the screen of whoever watches the console or the log.
    ASSERT_TRUE(
        host.writeInstructions(QStringLiteral("24,0,12.3,000001,200,8880000001,2,2\nnot\x1b[2J,a,line\n")));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("参数非法(not\\x1b[2J,a,line)!")));
    ASSERT_TRUE(host.waitUntil([&] { return host.journalOrders().size() == 2; }));
    EXPECT_EQ(host.journalOrders(), (QStringList{"600000|100|10.5|999", "000001|200|12.3|999"}));
    EXPECT_EQ(host.backupText().count(QLatin1Char('\n')), 4) << "header, order, cancel, order";
    EXPECT_TRUE(QFile::exists(strAside));

    for (int i = 0; i < kFiles; ++i) {
        ASSERT_TRUE(host.writeInstructions(
            QStringLiteral(
                "23,0,10.5,600000,100,8880000001,2,2,,f%1-a\n24,0,9.8,000001,200,8880000001,2,2,,f%1-b\n")
                .arg(i)));
    }
    ASSERT_TRUE(
        host.waitUntil([&] { return host.journalNotes().size() >= 2 + 2 * kFiles; }, std::chrono::minutes(2)))
        << host.journalNotes().size();
    EXPECT_EQ(host.terminate(), 0);
    EXPECT_TRUE(host.stdoutText().contains(QStringLiteral(" [system] stop!")));
    EXPECT_FALSE(host.stdoutText().contains(QChar(0x1b)));
    EXPECT_FALSE(host.stderrText().contains(QChar(0x1b)));
    const QRegularExpression fileNote(QStringLiteral("^f\\d+-[ab]$"));
    for (const QStringList& placed :
         {host.journalNotes().filter(fileNote), notes(host.backupText()).filter(fileNote)}) {
        EXPECT_EQ(placed.size(), 2 * kFiles);
        EXPECT_EQ(QSet<QString>(placed.begin(), placed.end()).size(), placed.size()) << "placed twice";
    }
    // Log lines name the source file within the project, not where the build machine kept it.
    const QString strLog = host.logFileText();
    EXPECT_TRUE(strLog.contains(QStringLiteral(" src/ui/paneloperations/")))
        << strLog.left(2000).toStdString();
    EXPECT_FALSE(strLog.contains(QStringLiteral(" " BATCHORDER_SOURCE_DIR "/src/")));
    EXPECT_FALSE(strLog.contains(QStringLiteral(" ../")));
}

// A crash at any moment keeps every line of a file taken: until its records are in the backup file, the
// temporary copy stays on disk. The host is killed at moments spread over the handling of one
// 10,000-line file, each time in a fresh data directory, and once after the handling ended.
TEST(HostApp, KillAtAnyMomentKeepsEveryLineInTheTemporaryFileOrTheBackup)
{
    constexpr int kLines = 10000;
    QString strText;
    for (int i = 0; i < kLines; ++i)
        strText += kOrderLine.arg(QStringLiteral("n%1").arg(i));
    // The log goes to a file only: nothing reads the host's stderr during the kill.
    QTemporaryDir logDir;
    const QString strLogConfig = logDir.filePath(QStringLiteral("log4cxx.properties"));
    ASSERT_TRUE(writeFile(strLogConfig, "log4j.rootLogger=INFO, file\n"
                                        "log4j.appender.file=org.apache.log4j.FileAppender\n"
                                        "log4j.appender.file.File=${BATCHORDER_LOG_DIR}/host.log\n"
                                        "log4j.appender.file.layout=org.apache.log4j.PatternLayout\n"));

    // One run, killed after the delay (with none: stopped once the file is handled). Fills the temporary
    // files left, whether a file is at the path, and how long handling took; returns how many lines neither
    // they nor the backup hold.
    QStringList temporary;
    bool bAtPath = false;
    int nHandledMSec = 0;
    const auto run = [&](int nDelayMSec) {
        CHostProcess host({"--watch", "inbox/orders.csv", "--log-config", strLogConfig});
        const QDir inbox = QFileInfo(host.inbox()).dir();
        const auto temporaryFiles = [&] {
            return inbox.entryList({QStringLiteral("orders_tmp*.csv")}, QDir::Files);
        };
        EXPECT_TRUE(host.waitForStart());
        EXPECT_TRUE(host.writeInstructions(strText));
        const auto start = std::chrono::steady_clock::now();
        if (nDelayMSec >= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(nDelayMSec));
            ::kill(static_cast<pid_t>(host.process().processId()), SIGKILL);
            EXPECT_TRUE(host.process().waitForFinished(20000));
        } else {
            EXPECT_TRUE(waitUntil(
                [&] {
                    return !QFile::exists(host.inbox()) && temporaryFiles().isEmpty() &&
                           host.backupText().contains(QStringLiteral(",n%1,").arg(kLines - 1));
                },
                std::chrono::minutes(1)));
            nHandledMSec = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
            EXPECT_EQ(host.terminate(), 0);
        }
        QStringList found = notes(host.backupText());
        temporary = temporaryFiles();
        bAtPath = QFile::exists(host.inbox());
        for (const QString& strName : temporary + QStringList{QFileInfo(host.inbox()).fileName()}) {
            QFile file(inbox.filePath(strName));
            if (file.open(QIODevice::ReadOnly))
                found += notes(QTextCodec::codecForName("GBK")->toUnicode(file.readAll()));
        }
        const QSet<QString> kept(found.begin(), found.end());
        int nMissing = 0;
        for (int i = 0; i < kLines; ++i)
            nMissing += kept.contains(QStringLiteral("n%1").arg(i)) ? 0 : 1;
        return nMissing;
    };

    // How long a file takes here, then kills spread over that time and beyond.
    EXPECT_EQ(run(-1), 0);
    ASSERT_GT(nHandledMSec, 0);
    std::vector<int> delays{2 * nHandledMSec, 3 * nHandledMSec};
    for (int k = 0; k <= 24; ++k)
        delays.push_back(k * nHandledMSec / 20);
    int nInTheMiddle = 0;
    bool bHandled = false;
    for (int nDelayMSec : delays) {
        EXPECT_EQ(run(nDelayMSec), 0)
            << "killed " << nDelayMSec
            << " ms after the rename; temporary files: " << temporary.join(' ').toStdString();
        nInTheMiddle += temporary.isEmpty() ? 0 : 1;
        bHandled = bHandled || (temporary.isEmpty() && !bAtPath);
    }
    EXPECT_TRUE(bHandled) << "no kill came after the file was handled (" << nHandledMSec << " ms)";
    EXPECT_GT(nInTheMiddle, 0) << "no kill came while the file was handled";
}

// A host with its socket, over every ending signal and two umasks: everything in its data directory is the
// owner's alone; a second host can take neither the socket nor another file and leaves them be; a text
// without the prefix is refused; the signal stops the host cleanly, naming what is still pending (nothing
// dispatches without --auto-dispatch).
TEST(HostApp, SocketHostKeepsItsFilesOwnerOnlyAndStopsCleanlyOnEverySignal)
{
    const std::pair<int, mode_t> rows[] = {{SIGINT, 0}, {SIGTERM, 022}, {SIGHUP, 0}};
    for (const auto& [nSignal, nUmask] : rows) {
        SCOPED_TRACE(::strsignal(nSignal));
        const mode_t nPrevious = ::umask(nUmask);
        CHostProcess host({"--watch", "inbox/orders.csv", "--listen", "bo.sock"});
        ::umask(nPrevious);
        const QString strSocket = host.dataDir() + QStringLiteral("/bo.sock");
        ASSERT_TRUE(host.waitForLog(kListening + strSocket));

        if (nSignal == SIGINT) {
            const QString strNotes = host.path(QStringLiteral("notes.txt"));
            ASSERT_TRUE(writeFile(strNotes, "keep me"));
            // Listen name, what stderr says.
            const std::pair<QString, QString> refused[] = {{"orders.db", "keeps a file of the host"},
                                                           {strNotes, "exists and is not a socket"},
                                                           {strSocket, "is listening on it"}};
            for (const auto& [strName, strFragment] : refused) {
                const auto [nCode, strError] = runToEnd(host.dataDir(), {"--listen", strName});
                EXPECT_EQ(nCode, 1) << strName.toStdString();
                EXPECT_TRUE(strError.contains(strFragment)) << strError.toStdString();
            }
            QFile kept(strNotes);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), QByteArray("keep me"));
        }
        ASSERT_EQ(host.send(strSocket, "BatchOrder:" + kOrderLine.arg(QString()).toUtf8()),
                  QByteArray("OK taken\n"));
        EXPECT_TRUE(host.send(strSocket, kOrderLine.toUtf8()).startsWith("ERROR"));
        ASSERT_TRUE(host.waitForOutput(QStringLiteral("接收到 2 条下单参数(下单: 1条")));
        ASSERT_TRUE(host.waitUntil([&] { return !host.backupText().isEmpty(); }));

        // Looked at while the host runs, when the journal's -wal and -shm files exist.
        QStringList names;
        QDirIterator it(host.dataDir(), QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        for (QString strEntry = host.dataDir(); !strEntry.isEmpty();
             strEntry = it.hasNext() ? it.next() : QString()) {
            struct stat info = {};
            ASSERT_EQ(::lstat(QFile::encodeName(strEntry).constData(), &info), 0);
            names << QFileInfo(strEntry).fileName();
            EXPECT_EQ(info.st_mode & 077, 0u)
                << strEntry.toStdString() << " mode " << std::oct << info.st_mode;
        }
        for (const char* szName :
             {"orders.db", "orders.db-wal", "orders.db-shm", "user.ini", "logs", "batchorder", "bo.sock"})
            EXPECT_TRUE(names.contains(QLatin1String(szName))) << szName;

        EXPECT_EQ(host.terminate(nSignal), 0);
        EXPECT_TRUE(host.stderrText().contains(QStringLiteral("1 record(s) still pending")));
        EXPECT_TRUE(host.journalOrders().isEmpty()) << "nothing triggered a dispatch";
    }
}

// A reader of stdout that does not keep up holds up nothing but the console; one that goes away
// (`batchorder-host | head -1`) is said once in the log, and the host goes on placing orders.
TEST(HostApp, StdoutThatStallsOrClosesNeitherStopsNorKillsTheHost)
{
    QTemporaryDir dir;
    const QString strFifo = dir.filePath(QStringLiteral("stdout"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(strFifo).constData(), 0600), 0);
    const int nReader = ::open(QFile::encodeName(strFifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(nReader, 0);
    CHostProcess host(kWatching, QString(), strFifo);
    QByteArray out;
    ASSERT_TRUE(host.waitUntil([&] {
        char buffer[4096];
        const ssize_t n = ::read(nReader, buffer, sizeof(buffer));
        out.append(buffer, static_cast<int>(std::max<ssize_t>(n, 0)));
        return out.contains(" [system] start!");
    })) << host.stderrText().toStdString();

    // Far more console lines than the pipe holds, then an order; nobody reads stdout.
    QString strFile;
    for (int i = 0; i < 3000; ++i)
        strFile += QStringLiteral("bad%1,line\n").arg(i);
    ASSERT_TRUE(host.writeInstructions(strFile + kOrderLine.arg(QStringLiteral("after a stalled stdout"))));
    ASSERT_TRUE(host.waitUntil([&] { return host.journalNotes() == QStringList{"after a stalled stdout"}; }))
        << host.stderrText().right(2000).toStdString();

    ::close(nReader);
    ASSERT_TRUE(host.writeInstructions(kOrderLine.arg(QStringLiteral("after a closed stdout"))));
    ASSERT_TRUE(host.waitUntil([&] { return host.journalNotes().size() == 2; }))
        << host.stderrText().right(2000).toStdString();
    EXPECT_EQ(host.stderrText().count(QStringLiteral("console output (descriptor 1) cannot be written")), 1);
    EXPECT_EQ(host.terminate(), 0);
}

// A full disk (a small file system of the test's own; needs root) is shown on the console once and ends
// nothing; the log file's failure is said on stderr; recording resumes once there is space.
TEST(HostApp, FullDiskIsShownOnTheConsoleAndRecordingResumesWithSpace)
{
    QTemporaryDir dir;
    const QByteArray disk = QFile::encodeName(dir.filePath(QStringLiteral("data")));
    QDir().mkpath(QFile::decodeName(disk));
    if (::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=4m,mode=0700") != 0)
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(disk.constData(), MNT_DETACH); });
    CHostProcess host(kWatching, QFile::decodeName(disk));
    ASSERT_TRUE(host.waitForStart());

    // Fills the disk to the last byte, then writes enough rejected lines that the log needs room too.
    const int nFd = ::open((disk + "/filler").constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const QByteArray chunk(4096, 'x');
    for (size_t nSize : {size_t(4096), size_t(1)})
        while (::write(nFd, chunk.constData(), nSize) > 0) {
        }
    ::close(nFd);
    QString strFile;
    for (int i = 0; i < 200; ++i)
        strFile += QStringLiteral("bad%1,line,padded,to,fill,the,log,file,beyond,its,last,page\n").arg(i);
    ASSERT_TRUE(host.writeInstructions(strFile + kOrderLine.arg(QStringLiteral("on a full disk"))));
    ASSERT_TRUE(host.waitForOutput(QStringLiteral("[error] 委托日志写入失败, 1 条指令未下出!")));
    ASSERT_TRUE(host.waitForLog(QStringLiteral("cannot write (")));
    ASSERT_EQ(host.process().state(), QProcess::Running);

    ::unlink((disk + "/filler").constData());
    ASSERT_TRUE(host.writeInstructions(kOrderLine.arg(QStringLiteral("with space again"))));
    ASSERT_TRUE(host.waitUntil([&] { return host.journalNotes() == QStringList{"with space again"}; }))
        << host.stderrText().right(2000).toStdString();
    EXPECT_TRUE(host.waitForLog(QStringLiteral("writes again")));
    EXPECT_EQ(host.terminate(), 0);
    EXPECT_EQ(host.stdoutText().count(QStringLiteral("委托日志写入失败")), 1);
}

// Out of descriptors, the socket stays and says so once; connections that send nothing are closed after
// 10 s, which frees descriptors, and the waiting text is taken.
TEST(HostApp, SocketOutlivesRunningOutOfDescriptors)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer runtimes need descriptors of their own and end the host without one";
#endif
    CHostProcess host({"--listen", "bo.sock"});
    const QString strSocket = host.dataDir() + QStringLiteral("/bo.sock");
    ASSERT_TRUE(host.waitForLog(kListening + strSocket));
    const pid_t nPid = static_cast<pid_t>(host.process().processId());
    const auto nOpen =
        static_cast<rlim_t>(QDir(QStringLiteral("/proc/%1/fd").arg(nPid))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                .size());
    ASSERT_GT(nOpen, 0u);
    constexpr rlim_t kSpare = 4;
    const rlimit limit = {nOpen + kSpare, nOpen + kSpare};
    ASSERT_EQ(::prlimit(nPid, RLIMIT_NOFILE, &limit, nullptr), 0);

    // Two more idle connections than the host has descriptors for.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (rlim_t i = 0; i < kSpare + 2; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(strSocket);
        ASSERT_TRUE(idle.back()->waitForConnected(5000));
    }
    ASSERT_TRUE(host.waitForLog(QStringLiteral("cannot accept a connection")));
    EXPECT_TRUE(QFileInfo(strSocket).exists());

    EXPECT_EQ(host.send(strSocket, "BatchOrder:" + kOrderLine.arg(QString()).toUtf8(), 30000),
              QByteArray("OK taken\n"));
    EXPECT_TRUE(host.stderrText().contains(QStringLiteral("accepting connections again")));
    EXPECT_EQ(host.stderrText().count(QStringLiteral("cannot accept a connection")), 1);
    ASSERT_TRUE(idle.front()->waitForReadyRead(1000) || idle.front()->bytesAvailable() > 0);
    EXPECT_TRUE(idle.front()->readAll().startsWith("ERROR no complete text"));
    EXPECT_EQ(host.terminate(), 0);
}
