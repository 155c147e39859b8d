// Panel figures, on the real reader thread, strand, smart key checker, order building and journal, with
// the panel open on the offscreen platform:
//  - a panel opened while the manager holds 100,000 records: construction to first paint;
//  - a flood of 1,000 instruction files a second (10 orders each) with the checker triggered, for
//    BENCH_PANEL_SECONDS (default 20): the GUI event loop's lag (a ping posted every 2 ms from another
//    thread, measured when the GUI thread runs it) and resident memory over time against the records
//    and console messages held.
// A plain harness rather than Google Benchmark: the figures are latency distributions and memory.
#include <log4cxx/helpers/loglog.h>

#include "benchsupport.h"
#include "cbatchordermanager.h"
#include "cbatchordermessagedata.h"
#include "cbatchordermessagemodel.h"
#include "cbatchordersmartkeychecker.h"
#include "cbatchorderwidget.h"

#include "base/cmonitorprocesschecker.h"
#include "base/utils.h"
#include "common/ctesthost.h"
#include "ui/csplitbuttoncontainer.h"
#include "ui/cstandardhpftable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <time.h>
#include <unistd.h>

using namespace TC;
using Clock = std::chrono::steady_clock;

namespace {

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

QByteArray orderLines(int nCount, int nFirst)
{
    static const char* const kCodes[] = {"600000", "600036", "000001", "000333", "300750", "510300"};
    QByteArray text;
    for (int i = nFirst; i < nFirst + nCount; ++i)
        text += QByteArray("23,0,10.5,") + kCodes[i % 6] + "," + QByteArray::number(100 + i % 10 * 100) +
                ",8880000001,2,2,bench,line " + QByteArray::number(i) + "\n";
    return text;
}

int rowCount(const CBatchOrderWidget& panel, int nId)
{
    for (auto* pTable : panel.findChildren<WQ::CStandardHpfTable*>())
        if (pTable->id() == nId)
            return pTable->rowCount();
    return -1;
}

size_t recordCount()
{
    return static_cast<size_t>(CBatchOrderManager::instance()->getAllDatas().size());
}

size_t messageCount()
{
    return CBatchOrderManager::instance()->getConsoleModel()->getAllMsgs().size();
}

// A panel opened while the manager holds nRecords records, half pending and half cleared.
void openOnManyRecords(int nRecords)
{
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    const int nChunk = 1000;
    for (int i = 0; i < nRecords; i += nChunk) {
        if (i == nRecords / 2) {
            drainBatchOrderStrand();
            pManager->clearPending();
        }
        pManager->shortcutOrder(QStringLiteral("BatchOrder:") + QString::fromLatin1(orderLines(nChunk, i)));
    }
    drainBatchOrderStrand();

    QElapsedTimer timer;
    timer.start();
    const double dCpuStart = threadCpuMs();
    {
        CBatchOrderWidget panel;
        const qint64 nBuilt = timer.elapsed();
        panel.resize(1280, 700);
        panel.show();
        QApplication::processEvents(); // the first paint
        const qint64 nShown = timer.elapsed();
        // The machine may be shared: the GUI thread's own CPU time is what an idle machine would take.
        std::printf(
            "panel opened on %d records: built %lld ms, shown and painted %lld ms wall, %.0f ms CPU of the "
            "GUI thread (pending rows %d, processed rows %d)\n",
            nRecords, static_cast<long long>(nBuilt), static_cast<long long>(nShown),
            threadCpuMs() - dCpuStart, rowCount(panel, CBatchOrderWidget::ID_PENDING_TABLE),
            rowCount(panel, CBatchOrderWidget::ID_PROCESSED_TABLE));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    log4cxx::helpers::LogLog::setQuietMode(true);
    const int nSeconds = qEnvironmentVariableIsSet("BENCH_PANEL_SECONDS")
                             ? qEnvironmentVariableIntValue("BENCH_PANEL_SECONDS")
                             : 20;

    {
        CTestHost host(CTestHost::RECORDING_SERVICE);
        CBatchOrderManager::initInstance(nullptr);
        openOnManyRecords(100000);
        CBatchOrderManager* pManager = CBatchOrderManager::instance();
        CBatchOrderManager::m_pInstance = nullptr;
        delete pManager;
    }

    CTestHost host(CTestHost::JOURNAL_SERVICE);
    CMonitorProcessChecker::configure({}, true);
    CBatchOrderManager::initInstance(nullptr);
    CBatchOrderManager* pManager = CBatchOrderManager::instance();
    const QString strPath = host.dataDir() + QStringLiteral("/orders.csv");
    pManager->startFileMonitor(strPath);

    auto pPanel = std::make_unique<CBatchOrderWidget>();
    pPanel->resize(1280, 700);
    pPanel->show();
    pPanel->findChild<WQ::CSplitButtonContainer*>()->openAndClose(false, true); // the console too

    std::atomic<bool> stop{false};
    std::atomic<long> nFiles{0};
    // The instruction files, one a millisecond on a fixed schedule, each renamed into place once the
    // reader has taken the one before.
    std::thread writer([&] {
        const QByteArray ten = orderLines(10, 0);
        const QString strPart = strPath + QStringLiteral(".part");
        const Clock::time_point start = Clock::now();
        for (long i = 0; !stop; ++i) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(i));
            while (QFile::exists(strPath) && !stop)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            QFile file(strPart);
            file.open(QIODevice::WriteOnly);
            file.write(ten);
            file.close();
            QFile::rename(strPart, strPath);
            ++nFiles;
        }
    });

    std::mutex lagMutex;
    std::vector<double> lags;
    std::vector<double> lagsAfterWarmUp;
    const Clock::time_point start = Clock::now();
    std::thread pinger([&] {
        while (!stop) {
            const Clock::time_point sent = Clock::now();
            QMetaObject::invokeMethod(
                &app,
                [&, sent] {
                    const double dLag =
                        std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
                    std::lock_guard<std::mutex> lock(lagMutex);
                    lags.push_back(dLag);
                    if (sent - start > std::chrono::seconds(2))
                        lagsAfterWarmUp.push_back(dLag);
                },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    struct CSample
    {
        int nSecond;
        long nRssKiB;
        size_t nRecords;
        size_t nMessages;
    };
    std::vector<CSample> samples;
    QTimer sampler;
    int nSecond = 0;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        samples.push_back(CSample{++nSecond, residentKiB(), recordCount(), messageCount()});
        if (nSecond >= nSeconds)
            app.quit();
    });
    sampler.start(1000);
    app.exec();
    const bool bTriggered = CBatchOrderSmartKeyChecker::instance()->isTriggered();
    stop = true;
    writer.join();
    pinger.join();
    pManager->stopFileMonitor();
    drainBatchOrderStrand();

    std::printf("flood: %ld files in %d s (%.0f files/s, %zu records), checker triggered: %s\n",
                nFiles.load(), nSeconds, nFiles.load() / static_cast<double>(nSeconds), recordCount(),
                bTriggered ? "yes" : "no");
    {
        std::lock_guard<std::mutex> lock(lagMutex);
        std::printf(
            "GUI event-loop lag after the first 2 s (%zu pings): median %.2f ms, p99 %.2f ms, max %.2f ms "
            "(whole run: p99 %.2f ms, max %.2f ms)\n",
            lagsAfterWarmUp.size(), percentile(lagsAfterWarmUp, 0.5), percentile(lagsAfterWarmUp, 0.99),
            percentile(lagsAfterWarmUp, 1.0), percentile(lags, 0.99), percentile(lags, 1.0));
    }
    std::printf("second  RSS MiB  records  messages  KiB/(record+message) since second 5\n");
    const CSample* pBase = samples.size() > 5 ? &samples[4] : nullptr;
    for (const CSample& sample : samples) {
        double dPerItem = 0;
        if (pBase && sample.nSecond > pBase->nSecond) {
            const double dItems = static_cast<double>(sample.nRecords + sample.nMessages) -
                                  static_cast<double>(pBase->nRecords + pBase->nMessages);
            dPerItem = dItems > 0 ? (sample.nRssKiB - pBase->nRssKiB) / dItems : 0;
        }
        std::printf("%6d  %7.1f  %7zu  %8zu  %.3f\n", sample.nSecond, sample.nRssKiB / 1024.0,
                    sample.nRecords, sample.nMessages, dPerItem);
    }
    pPanel.reset();
    CBatchOrderManager::m_pInstance = nullptr;
    delete pManager;
    return 0;
}
