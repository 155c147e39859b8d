// The order journal on its own: how long a caller of recordBatch / recordCancel waits until its record
// is committed, for one 10,000-order batch, for 100-order and one-order batches back to back, and for
// cancels. Every commit is durable (synced to the disk), so the figures are bounded below by what the
// disk takes to sync a write; the harness measures that first and prints it beside them.
//
// Run by hand on a release build: bench_journal [DIR]. The database goes to DIR (default: a temporary
// directory under $TMPDIR or /tmp). Run it once on the disk the host's data directory will live on, and
// once on a memory file system (bench_journal /dev/shm) to see the journal's own share without the disk.
#include <log4cxx/helpers/loglog.h>

#include "benchsupport.h"

#include "base/utils.h"
#include "trading/corderjournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace TC;

namespace {

struct CTimes
{
    std::vector<double> waits;
    double dCpuPerRun = 0;
};

void report(const char* pWhat, const CTimes& times)
{
    std::printf("%-38s median %7.2f ms  p99 %7.2f ms  max %7.2f ms  cpu %6.2f ms/run  (%zu runs)\n", pWhat,
                percentile(times.waits, 0.5), percentile(times.waits, 0.99), percentile(times.waits, 1.0),
                times.dCpuPerRun, times.waits.size());
}

// Calls fn nRuns times: how long each call took, and the processor time per call.
CTimes timeRuns(int nRuns, const std::function<void()>& fn)
{
    CTimes times;
    const double dCpuStart = cpuMSec();
    for (int i = 0; i < nRuns; ++i) {
        const double dStart = utils::clockMSec();
        fn();
        times.waits.push_back(utils::clockMSec() - dStart);
    }
    times.dCpuPerRun = (cpuMSec() - dCpuStart) / nRuns;
    return times;
}

// What one synced 4 KiB overwrite costs on the directory's disk: the floor of a durable commit.
CTimes syncLatency(const QString& strDir)
{
    const QByteArray path = QFile::encodeName(strDir + QStringLiteral("/sync-probe"));
    const int nFile = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (nFile < 0)
        return CTimes{{0.0}};
    const std::vector<char> page(4096, 'x');
    for (int i = 0; i < 16; ++i)
        [[maybe_unused]] ssize_t n = ::write(nFile, page.data(), page.size());
    ::fsync(nFile);
    int i = 0;
    const CTimes times = timeRuns(100, [&] {
        [[maybe_unused]] ssize_t n = ::pwrite(nFile, page.data(), page.size(), (i++ % 16) * 4096);
        ::fdatasync(nFile);
    });
    ::close(nFile);
    ::unlink(path.constData());
    return times;
}

// Orders as the batch order module hands them over: one single order each, the usual fields filled.
QVector<COrderParam> makeOrders(int nCount)
{
    static const char* const s_codes[] = {"600000", "600036", "000001", "000333", "300750", "510300"};
    QVector<COrderParam> orders(nCount);
    for (int i = 0; i < nCount; ++i) {
        COrderParam& order = orders[i];
        order.m_nOrderType = 23;
        order.m_nStrategyNo = 999;
        order.m_nStrategyFlag = 10;
        order.m_strSeq = QString::number(i);
        order.m_strAccountType = QStringLiteral("2");
        order.m_strAccountKey = QStringLiteral("2____10____DEMO____2____8880000001");
        order.m_strBrokerType = QStringLiteral("2");
        order.m_strDbfPriceText = QStringLiteral("0");
        order.m_strGivenAccountType = QStringLiteral("2");
        order.m_strNote = "line " + std::to_string(i);
        order.m_strStrategyName = "bench";
        order.m_strVolumeText = std::to_string(100 + i % 10 * 100);
        order.m_singleParams.push_back(
            COrderSingleParam{QString::fromLatin1(s_codes[i % 6]), 100 + i % 10 * 100, 10.5, 0, 0, 11});
    }
    return orders;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    log4cxx::helpers::LogLog::setQuietMode(true);
    QTemporaryDir tempDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench_journal-XXXXXX")
                                   : QDir::tempPath() + QStringLiteral("/bench_journal-XXXXXX"));
    if (!tempDir.isValid()) {
        std::fprintf(stderr, "cannot create a directory for the database\n");
        return 1;
    }
    std::printf("database in %s\n", qPrintable(tempDir.path()));
    report("disk: fdatasync of a 4 KiB overwrite", syncLatency(tempDir.path()));

    COrderJournal journal;
    QString strError;
    if (!journal.open(tempDir.filePath(QStringLiteral("orders.db")), strError)) {
        std::fprintf(stderr, "%s\n", qPrintable(strError));
        return 1;
    }

    const QVector<COrderParam> big = makeOrders(10000);
    const QVector<COrderParam> hundred = makeOrders(100);
    const QVector<COrderParam> one = makeOrders(1);
    // Warm-up: the file, its log and SQLite's page cache exist before anything is timed.
    journal.recordBatch(999, hundred);

    report("one 10,000-order batch", timeRuns(20, [&] { journal.recordBatch(999, big); }));
    report("100-order batches back to back", timeRuns(500, [&] { journal.recordBatch(999, hundred); }));
    report("one-order batches back to back", timeRuns(500, [&] { journal.recordBatch(999, one); }));
    report("cancels back to back",
           timeRuns(500, [&] { journal.recordCancel("cancel_order", "8880000001", "123456", false); }));
    journal.close();
    return 0;
}
