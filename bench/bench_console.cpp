// How long the GUI event loop stalls while a console receives 10,000 messages reported on another
// thread (target: longest stall under 50 ms). A 1 ms timer runs on the GUI thread; the longest gap
// between two of its ticks is the longest time the event loop could not answer input or paint.
// A plain harness: the figure is a maximum over one run, not a loop throughput.
#include <log4cxx/helpers/loglog.h>

#include "cbatchordermanager.h"
#include "cbatchordermessageconsole.h"
#include "ctextbrowser.h"

#include "base/clogger.h"
#include "common/ctesthost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

constexpr int kMessages = 10000;

struct CRunResult
{
    qint64 m_nLongestStallMs = 0;
    qint64 m_nTotalMs = 0;
};

// The same event loop with nothing to do, for as long: what this machine's scheduler alone costs.
qint64 idleStallMs(qint64 nForMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 nLastTick = 0;
    qint64 nLongest = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 nNow = clock.elapsed();
        nLongest = std::max(nLongest, nNow - nLastTick);
        nLastTick = nNow;
    });
    ticker.start();
    while (clock.elapsed() < nForMs) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return nLongest;
}

CRunResult run(TC::CBatchOrderManager* pManager)
{
    TC::CBatchOrderMessageConsole console(nullptr);
    console.resize(800, 400);
    console.show();
    const int nFirst = console.textBrowser()->document()->blockCount();

    CRunResult result;
    QElapsedTimer clock;
    clock.start();
    qint64 nLastTick = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 nNow = clock.elapsed();
        result.m_nLongestStallMs = std::max(result.m_nLongestStallMs, nNow - nLastTick);
        nLastTick = nNow;
    });
    ticker.start();

    std::thread reporter([pManager] {
        for (int i = 0; i < kMessages; ++i) {
            pManager->showMsg(TC::MSG_LEVEL_ORDER, QStringLiteral("用户下出 %1 条指令!").arg(i), false);
        }
    });
    while (console.textBrowser()->document()->blockCount() < nFirst + kMessages) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    result.m_nTotalMs = clock.elapsed();
    const qint64 nNow = clock.elapsed();
    result.m_nLongestStallMs = std::max(result.m_nLongestStallMs, nNow - nLastTick);
    reporter.join();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    log4cxx::helpers::LogLog::setQuietMode(true);
    g_TTStdLogger->setLevel(log4cxx::Level::getInfo());
    CTestHost host;
    TC::CBatchOrderManager::initInstance(nullptr);
    TC::CBatchOrderManager* pManager = TC::CBatchOrderManager::instance();

    for (int nRun = 1; nRun <= 3; ++nRun) {
        const CRunResult result = run(pManager);
        const qint64 nIdleMs = idleStallMs(result.m_nTotalMs);
        std::printf(
            "run %d: %d messages from another thread shown in %lld ms, longest event-loop stall %lld ms"
            " (an idle loop for as long: %lld ms)\n",
            nRun, kMessages, static_cast<long long>(result.m_nTotalMs),
            static_cast<long long>(result.m_nLongestStallMs), static_cast<long long>(nIdleMs));
    }
    return 0;
}
