// Throughput of the instruction line parser and of the column split.
// Run by hand on a release build: bench_parse [--benchmark_filter=...]. After the runs it prints how
// many times faster the linear split is than the QRegExp split it replaces.

// Before any Qt header: Qt's "emit" keyword macro breaks this header.
#include <log4cxx/helpers/loglog.h>

#include "cbatchorderdata.h"
#include "cbatchorderlinesplitter.h"

#include "common/ctesthost.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QRegExp>
#include <QStringList>

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kLineCount = 1024;
constexpr int64_t kClearEvery = 1 << 16; // recorded cancels are dropped this often, outside the timing

// The environment every parse expects: configuration, accounts and an order service that records, with
// the batch order strategy running so that cancels are really handed over.
CTestHost& host()
{
    static std::unique_ptr<CTestHost> s_pHost = [] {
        auto pHost = std::make_unique<CTestHost>();
        pHost->orderService().addBatchOrderStrategy(999);
        return pHost;
    }();
    return *s_pHost;
}

// Typical 14-column order lines, freshly stamped, varying in code, volume and account.
std::vector<QString> orderLines()
{
    const QString strNow = QString::number(std::time(nullptr));
    std::vector<QString> lines;
    for (int i = 0; i < kLineCount; ++i)
    {
        lines.push_back(QStringLiteral("23,%1,10.%2,6000%3,%4,888000000%5,2,2,策略%6,备注%2,algo=TWAP;t=60,%7,,")
                            .arg(i % 5)
                            .arg(i % 100, 2, 10, QLatin1Char('0'))
                            .arg(i % 100, 2, 10, QLatin1Char('0'))
                            .arg(100 * (i + 1))
                            .arg(1 + i % 3)
                            .arg(i % 7)
                            .arg(strNow));
    }
    return lines;
}

std::vector<QString> cancelLines()
{
    const QString strNow = QString::number(std::time(nullptr));
    std::vector<QString> lines;
    for (int i = 0; i < kLineCount; ++i)
    {
        lines.push_back(QStringLiteral("%1,888000000%2,ORD%3,,,,2,2,,,,%4")
                            .arg(i % 2 ? QStringLiteral("cancel_order") : QStringLiteral("cancel_order_number"))
                            .arg(1 + i % 3)
                            .arg(i)
                            .arg(strNow));
    }
    return lines;
}

void BM_ParseOrderLine(benchmark::State& state)
{
    host();
    const std::vector<QString> lines = orderLines();
    size_t nIndex = 0;
    for (auto _ : state)
    {
        TC::CBatchOrderData data;
        benchmark::DoNotOptimize(data.parse(lines[nIndex]));
        nIndex = (nIndex + 1) % lines.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseOrderLine);

void BM_ParseCancelLine(benchmark::State& state)
{
    CRecordingOrderService* pRecorder = host().recorder();
    const std::vector<QString> lines = cancelLines();
    size_t nIndex = 0;
    int64_t nSinceClear = 0;
    for (auto _ : state)
    {
        TC::CBatchOrderData data;
        benchmark::DoNotOptimize(data.parse(lines[nIndex]));
        nIndex = (nIndex + 1) % lines.size();
        if (++nSinceClear == kClearEvery)
        {
            state.PauseTiming();
            pRecorder->clear();
            nSinceClear = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
    pRecorder->clear();
}
BENCHMARK(BM_ParseCancelLine);

// A 14-column line with a quoted field holding commas, as both splits see it.
const QString& splitLine()
{
    static const QString s_strLine = QStringLiteral(
        "23,5,10.50,600000,1000,8880000001,2,2,策略A,\"备注,含逗号\",algo=TWAP;t=60,1700000000,,extra");
    return s_strLine;
}

void BM_SplitLinear(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(TC::CBatchOrderLineSplitter::split(splitLine()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplitLinear);

void BM_SplitRegExp(benchmark::State& state)
{
    // Built once, which favours the expression: the comparison is with its matching alone.
    const QRegExp separator(QStringLiteral(",(?=([^\"]*\"[^\"]*\")*[^\"]*$)"));
    for (auto _ : state)
        benchmark::DoNotOptimize(splitLine().split(separator, Qt::KeepEmptyParts));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SplitRegExp);

// Console output as usual, plus the CPU time per iteration of each benchmark (the mean, when repeated)
// for the closing comparison. CPU time, because the machine may be busy with other work.
class CTimingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
        {
            const bool bSingle = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool bMean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
            if (bSingle || bMean)
                m_cpuPerIteration[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> m_cpuPerIteration;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Nothing here is meant to log; keep log4cxx from complaining that no appender is configured.
    log4cxx::helpers::LogLog::setQuietMode(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CTimingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto itLinear = reporter.m_cpuPerIteration.find("BM_SplitLinear");
    const auto itRegExp = reporter.m_cpuPerIteration.find("BM_SplitRegExp");
    if (itLinear != reporter.m_cpuPerIteration.end() && itRegExp != reporter.m_cpuPerIteration.end()
        && itLinear->second > 0)
        std::printf("split speed-up over QRegExp: %.1fx\n", itRegExp->second / itLinear->second);
    return 0;
}
