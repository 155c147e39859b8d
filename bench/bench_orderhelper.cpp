// Throughput of the order builder (CBatchOrderHelper::buildOrderParam) on the sample profile.
// Run by hand on a release build: bench_orderhelper [--benchmark_filter=...]. Items per second is orders
// built per second; the basket case also reports single orders per second.

// Before any Qt header: Qt's "emit" keyword macro breaks this header.
#include <log4cxx/helpers/loglog.h>

#include "cbatchorderdata.h"
#include "cbatchorderhelper.h"

#include "base/clogger.h"
#include "common/ctesthost.h"

#include <boost/make_shared.hpp>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

constexpr int kBasketLines = 300;
constexpr int kRecordCount = 64;

CTestHost& host()
{
    static std::unique_ptr<CTestHost> s_pHost = std::make_unique<CTestHost>();
    return *s_pHost;
}

// General-path orders as an instruction file carries them: a price-type code and a TRADEPARAM that
// fixes the price, on the sample profile's plain and dual-centre accounts.
std::vector<boost::shared_ptr<TC::CBatchOrderData>> generalRecords(const QString& strAccount)
{
    static const char* const s_codes[] = {"600000", "000001", "600519", "300750", "510300", "430047"};
    std::vector<boost::shared_ptr<TC::CBatchOrderData>> records;
    for (int i = 0; i < kRecordCount; ++i)
    {
        auto pData = boost::make_shared<TC::CBatchOrderData>();
        pData->m_nSeq = i;
        pData->m_strOrderType = QStringLiteral("23");
        pData->m_strPriceType = QString::number(i % 4);
        pData->m_strModePrice = QStringLiteral("10.%1").arg(i % 100);
        pData->m_strStockCode = QString::fromLatin1(s_codes[i % 6]);
        pData->m_strVolume = QString::number(100 * (i + 1));
        pData->m_nVolume = static_cast<uint64_t>(100 * (i + 1));
        pData->m_strAccountId = strAccount;
        pData->m_strActType = QStringLiteral("49");
        pData->m_strOrigActType = QStringLiteral("2");
        pData->m_strStrategy = QStringLiteral("策略A");
        pData->m_strNote = QStringLiteral("备注");
        pData->m_strTradeParam = QStringLiteral("bjfs=0, zdj=10.%1").arg(i % 100);
        pData->m_strExtraParam = QStringLiteral("HEDGEFLAG=1");
        records.push_back(pData);
    }
    return records;
}

void runGeneral(benchmark::State& state, const QString& strAccount)
{
    host();
    TC::CBatchOrderHelper helper;
    const auto records = generalRecords(strAccount);
    QVector<TC::COrderParam> orders;
    orders.reserve(kRecordCount);
    size_t nIndex = 0;
    for (auto _ : state)
    {
        helper.buildOrderParam(records[nIndex], orders);
        if (++nIndex == records.size())
        {
            if (orders.size() != kRecordCount)
                state.SkipWithError("an order was rejected");
            orders.clear();
            nIndex = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_GeneralPathOrder(benchmark::State& state)
{
    runGeneral(state, QStringLiteral("8880000001"));
}
BENCHMARK(BM_GeneralPathOrder);

// The dual-centre account adds the search for the instrument's trading centre.
void BM_GeneralPathOrderDualCentre(benchmark::State& state)
{
    runGeneral(state, QStringLiteral("8880000002"));
}
BENCHMARK(BM_GeneralPathOrderDualCentre);

void BM_BasketOrder300Lines(benchmark::State& state)
{
    host();
    QTemporaryDir dir;
    const QString strPath = dir.filePath(QStringLiteral("basket.csv"));
    {
        QFile file(strPath);
        if (!file.open(QIODevice::WriteOnly))
        {
            state.SkipWithError("cannot write the basket file");
            return;
        }
        for (int i = 0; i < kBasketLines; ++i)
            file.write(
                QStringLiteral("%1,%2,0,10.%3\n").arg(600000 + i).arg(100 * (i + 1)).arg(i % 100).toUtf8());
    }
    auto pData = generalRecords(QStringLiteral("8880000001")).front();
    pData->m_strOrderType = QStringLiteral("25");
    pData->m_strVolume = QStringLiteral("0");
    pData->m_nVolume = 0;
    pData->m_strTradeParam.clear();
    pData->m_strBasketPath = strPath;

    TC::CBatchOrderHelper helper;
    QVector<TC::COrderParam> orders;
    for (auto _ : state)
    {
        orders.clear();
        helper.buildOrderParam(pData, orders);
        if (orders.size() != 1 || orders.front().m_singleParams.size() != kBasketLines)
        {
            state.SkipWithError("the basket was not read");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["singles/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kBasketLines,
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BasketOrder300Lines);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The host runs at INFO (examples/log4cxx.properties); keep log4cxx from complaining that no
    // appender is configured.
    log4cxx::helpers::LogLog::setQuietMode(true);
    g_TTStdLogger->setLevel(log4cxx::Level::getInfo());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
