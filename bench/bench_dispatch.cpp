// End-to-end dispatch figures, measured on the real reader thread, strand, order building and journal:
//  - with the smart key checker triggered: a 100-order instruction file renamed into place until its
//    placeOrders batch is committed to the journal (median and 99th percentile over 500 files);
//  - one 10,000-line file from rename to all orders committed;
//  - resident memory held per pending record (growth per 100,000 records).
// A plain harness rather than Google Benchmark: each figure is a latency distribution or a memory
// difference, not a loop throughput. Beside the waits it prints the processor time the process spent
// (all threads), which other programs on the machine do not inflate.
//
// bench_dispatch [--receipts] [DIR]: the journal database goes to DIR (default: the temporary data
// directory), e.g. /dev/shm to take the disk's sync time out of the figures (see bench_journal). With
// --receipts the host's receipt recorder is wired as in batchorder-host, to measure what receipts cost.
#include <log4cxx/helpers/loglog.h>

#include "benchsupport.h"
#include "cbatchordermanager.h"
#include "cbatchordersmartkeychecker.h"

#include "base/cmonitorprocesschecker.h"
#include "base/utils.h"
#include "common/ctesthost.h"
#include "creceiptrecorder.h"
#include "trading/corderjournal.h"

#include <boost/make_shared.hpp>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace TC;

namespace {

// The paper broker's commits as they come, with the moment of the last one.
class CCommitClock
{
public:
    explicit CCommitClock(COrderService& service)
        : m_connection(service.m_sigBatchJournaled.connect([this](int, qint64, int nOrders) {
              std::lock_guard<std::mutex> lock(m_mutex);
              m_nOrders += nOrders;
              m_dLastCommit = utils::clockMSec();
              m_cond.notify_all();
          }))
    {
    }

    // Waits until at least nOrders orders were committed; returns the time of the last commit.
    double waitForOrders(long nOrders)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait(lock, [&] { return m_nOrders >= nOrders; });
        return m_dLastCommit;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    long m_nOrders = 0;
    double m_dLastCommit = 0;
    boost::signals2::scoped_connection m_connection;
};

QByteArray orderLines(int nCount)
{
    static const char* const kCodes[] = {"600000", "600036", "000001", "000333", "300750", "510300"};
    QByteArray text;
    for (int i = 0; i < nCount; ++i)
        text += QByteArray("23,0,10.5,") + kCodes[i % 6] + "," + QByteArray::number(100 + i % 10 * 100) +
                ",8880000001,2,2,bench,line " + QByteArray::number(i) + "\n";
    return text;
}

void writeFile(const QString& strPath, const QByteArray& text)
{
    QFile file(strPath + QStringLiteral(".part"));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    file.close();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    log4cxx::helpers::LogLog::setQuietMode(true);
    CTestHost host(CTestHost::RECORDING_SERVICE);
    // As the host logs: left unconfigured, log4cxx would also format every DEBUG line of every record.
    logAsHost(host.dataDir());
    auto pJournal = boost::make_shared<COrderJournal>();
    QString strError;
    QStringList arguments = app.arguments().mid(1);
    const bool bReceipts = arguments.removeAll(QStringLiteral("--receipts")) > 0;
    const QString strDbDir = arguments.isEmpty() ? host.dataDir() : arguments.first();
    QFile::remove(strDbDir + QStringLiteral("/bench_dispatch.db"));
    if (!pJournal->open(strDbDir + QStringLiteral("/bench_dispatch.db"), strError))
    {
        std::fprintf(stderr, "%s\n", qPrintable(strError));
        return 1;
    }
    COrderService service(pJournal);
    CCommitClock commits(service);
    utils::CManualSingletonT<COrderService>::setInstance(&service);

    CMonitorProcessChecker::configure({}, true);
    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    const QString strPath = host.dataDir() + QStringLiteral("/orders.csv");
    std::unique_ptr<CReceiptRecorder> pRecorder;
    if (bReceipts) {
        pJournal->setReceiptsDir(host.dataDir());
        pRecorder = std::make_unique<CReceiptRecorder>(*pManager, pJournal);
        pRecorder->setWatchPath(strPath);
    }
    std::printf("receipts %s\n", bReceipts ? "recorded" : "not recorded");
    pManager->startFileMonitor(strPath);

    // Trigger the checker: one order that waits out its second.
    long nPlaced = 0;
    writeFile(strPath, orderLines(1));
    QFile::rename(strPath + QStringLiteral(".part"), strPath);
    commits.waitForOrders(nPlaced += 1);
    if (!CBatchOrderSmartKeyChecker::instance()->isTriggered())
    {
        std::fprintf(stderr, "checker did not trigger\n");
        return 1;
    }

    constexpr int kFiles = 500;
    const QByteArray hundred = orderLines(100);
    std::vector<double> latencies;
    for (int i = 0; i < kFiles; ++i)
    {
        while (QFile::exists(strPath))
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        writeFile(strPath, hundred);
        const double dStart = utils::clockMSec();
        QFile::rename(strPath + QStringLiteral(".part"), strPath);
        latencies.push_back(commits.waitForOrders(nPlaced += 100) - dStart);
    }
    std::printf("100-order file, rename to batch committed (%d files): median %.2f ms, p99 %.2f ms, max %.2f ms\n",
                kFiles, percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1.0));

    while (QFile::exists(strPath))
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    // The big file alone: the receipts of the 500 files before it are written first.
    pJournal->flush();
    writeFile(strPath, orderLines(10000));
    const double dBig = utils::clockMSec();
    const double dBigCpu = cpuMSec();
    QFile::rename(strPath + QStringLiteral(".part"), strPath);
    const double dBigWait = commits.waitForOrders(nPlaced += 10000) - dBig;
    std::printf("10,000-line file, rename to all orders committed: %.1f ms (cpu %.1f ms)\n", dBigWait,
                cpuMSec() - dBigCpu);

    // The journal's share of the big file: one 10,000-order batch straight into placeOrders.
    {
        QVector<COrderParam> orders(10000);
        for (int i = 0; i < orders.size(); ++i)
        {
            orders[i].m_nOrderType = 23;
            orders[i].m_nStrategyNo = 999;
            orders[i].m_strAccountKey = QStringLiteral("2____10____DEMO____2____8880000001");
            orders[i].m_singleParams.push_back(COrderSingleParam{QStringLiteral("600000"), 100, 10.5, 0, 0, 11});
        }
        const double dStart = utils::clockMSec();
        const double dStartCpu = cpuMSec();
        service.placeOrders(service.getStrategyRef(999), orders);
        commits.waitForOrders(nPlaced += 10000);
        std::printf("journal alone, one 10,000-order batch committed: %.1f ms (cpu %.1f ms)\n",
                    utils::clockMSec() - dStart, cpuMSec() - dStartCpu);
    }

    // Memory: records that stay pending (checker stopped, so nothing dispatches them).
    pManager->stopFileMonitor();
    drainBatchOrderStrand();
    const long nBefore = residentKiB();
    const QString strChunk = QStringLiteral("BatchOrder:") + QString::fromLatin1(orderLines(1000));
    for (int i = 0; i < 100; ++i)
        pManager->shortcutOrder(strChunk);
    drainBatchOrderStrand();
    const long nAfter = residentKiB();
    std::printf("pending records: 100,000 held, resident memory +%ld KiB, %.0f bytes per record\n",
                nAfter - nBefore, (nAfter - nBefore) * 1024.0 / 100000.0);

    utils::CManualSingletonT<COrderService>::setInstance(&host.orderService());
    return 0;
}
