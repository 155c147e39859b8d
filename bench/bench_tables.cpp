// Speed of the instruction tables, on the sample profile:
//  - building 10,000 rows from instruction records and adding them to a table model (target 20 ms);
//  - refreshing a table of 100,000 rows after 1,000 changes (target 16 ms, one frame), for rows moved
//    out and in (500 removed, 500 added), for rows appended, and with the table sorted by a column;
//  - the same refresh followed by repainting the visible rows.
// Run by hand on a release build: bench_tables [--benchmark_filter=...].

// Before any Qt header: Qt's "emit" keyword macro breaks this header.
#include <log4cxx/helpers/loglog.h>

#include "cbatchorderdata.h"
#include "cbatchordermanager.h"
#include "cbatchordertabledata.h"
#include "cbatchordertablemodel.h"

#include "base/clogger.h"
#include "common/ctesthost.h"
#include "ui/cstandardhpftable.h"

#include <boost/make_shared.hpp>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTableView>

#include <memory>
#include <vector>

namespace {

constexpr int kBuildRows = 10000;
constexpr int kTableRows = 100000;
constexpr int kChanges = 1000;

void setUpHost()
{
    static std::unique_ptr<CTestHost> s_pHost;
    if (!s_pHost) {
        s_pHost = std::make_unique<CTestHost>();
        TC::CBatchOrderManager::initInstance(nullptr);
    }
}

// Order lines over the sample instruments, accounts and price types, as an instruction file has them.
std::vector<boost::shared_ptr<TC::CBatchOrderData>> records(int nCount)
{
    static const char* const s_lines[] = {
        "23,0,10.5,600000,100,8880000001,2,2,策略,备注", "24,2001,20,000001,200,8880000002,2,7",
        "23,3,1688,600519,100,8880000001,2,2",           "23,2004,3.1,510300,1000,8880000003,3,11",
        "138,0,1,SH600000/SZ000001,100,8880000001,2,2",  "23,1,188.2,sz300750,300,8880000002,2,7"};
    std::vector<boost::shared_ptr<TC::CBatchOrderData>> result;
    result.reserve(static_cast<size_t>(nCount));
    for (int i = 0; i < nCount; ++i) {
        result.push_back(boost::make_shared<TC::CBatchOrderData>(QString::fromUtf8(s_lines[i % 6])));
    }
    return result;
}

void BM_BuildAndAdd10000Rows(benchmark::State& state)
{
    setUpHost();
    const auto datas = records(kBuildRows);
    for (auto _ : state) {
        auto pModel = std::make_unique<TC::CBatchOrderTableModel>();
        for (const auto& pData : datas) {
            pModel->addData(TC::CBatchOrderTableData::build(*pData));
        }
        benchmark::DoNotOptimize(pModel->rowCount());
        state.PauseTiming(); // releasing the rows is not part of it
        pModel.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kBuildRows);
}
BENCHMARK(BM_BuildAndAdd10000Rows)->Unit(benchmark::kMillisecond);

// The two halves of the above.
void BM_Build10000Rows(benchmark::State& state)
{
    setUpHost();
    const auto datas = records(kBuildRows);
    std::vector<boost::shared_ptr<TC::CBatchOrderTableData>> rows;
    rows.reserve(datas.size());
    for (auto _ : state) {
        for (const auto& pData : datas) {
            rows.push_back(TC::CBatchOrderTableData::build(*pData));
        }
        state.PauseTiming();
        rows.clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Build10000Rows)->Unit(benchmark::kMillisecond);

void BM_Add10000Rows(benchmark::State& state)
{
    setUpHost();
    std::vector<boost::shared_ptr<TC::CBatchOrderTableData>> rows;
    for (const auto& pData : records(kBuildRows)) {
        rows.push_back(TC::CBatchOrderTableData::build(*pData));
    }
    for (auto _ : state) {
        auto pModel = std::make_unique<TC::CBatchOrderTableModel>();
        for (const auto& pRow : rows) {
            pModel->addData(pRow);
        }
        state.PauseTiming();
        pModel.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Add10000Rows)->Unit(benchmark::kMillisecond);

enum EChange
{
    CHANGE_MOVE,   // half of the changes remove rows, half add new ones
    CHANGE_APPEND, // every change adds a row
};

// A shown table of 100,000 rows; each iteration makes 1,000 changes untimed, then times the refresh.
void refreshBenchmark(benchmark::State& state, EChange eChange, int nSortColumn, bool bRepaint)
{
    setUpHost();
    const auto datas = records(6);
    std::vector<boost::shared_ptr<TC::CBatchOrderTableData>> rows;
    auto makeRow = [&datas](int nSeq) {
        auto pRow = TC::CBatchOrderTableData::build(*datas[static_cast<size_t>(nSeq) % datas.size()]);
        pRow->m_nSeq = nSeq;
        pRow->m_nVolume = nSeq % 977;
        return pRow;
    };
    TC::CBatchOrderTableModel model;
    int nNext = 0;
    for (; nNext < kTableRows; ++nNext) {
        model.addData(makeRow(nNext));
    }
    WQ::CStandardHpfTable table(12, nullptr, WQ::CStandardHpfTable::MENU_ALL);
    table.resize(1200, 600);
    table.setDataModel(&model);
    table.show();
    if (nSortColumn >= 0) {
        table.sortByColumn(nSortColumn, Qt::AscendingOrder);
    }
    QApplication::processEvents();
    int nOldest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kChanges; ++i) {
            if (eChange == CHANGE_MOVE && i % 2 == 0) {
                model.removeDataByKey(TC::CBatchOrderTableData::makeKey(nOldest++));
            } else {
                model.addData(makeRow(nNext++));
            }
        }
        state.ResumeTiming();
        table.updateTable();
        if (bRepaint) {
            table.view()->viewport()->repaint();
        }
    }
    state.counters["rows"] = table.rowCount();
}

void BM_Refresh100kRowsAfter1000Moves(benchmark::State& state)
{
    refreshBenchmark(state, CHANGE_MOVE, -1, false);
}
BENCHMARK(BM_Refresh100kRowsAfter1000Moves)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Refresh100kRowsAfter1000Appends(benchmark::State& state)
{
    refreshBenchmark(state, CHANGE_APPEND, -1, false);
}
BENCHMARK(BM_Refresh100kRowsAfter1000Appends)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Refresh100kRowsSortedByQuantityAfter1000Moves(benchmark::State& state)
{
    refreshBenchmark(state, CHANGE_MOVE, 5, false);
}
BENCHMARK(BM_Refresh100kRowsSortedByQuantityAfter1000Moves)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Refresh100kRowsSortedByCodeAfter1000Moves(benchmark::State& state)
{
    refreshBenchmark(state, CHANGE_MOVE, 1, false);
}
BENCHMARK(BM_Refresh100kRowsSortedByCodeAfter1000Moves)->Unit(benchmark::kMillisecond)->Iterations(50);

void BM_Refresh100kRowsAfter1000MovesAndRepaint(benchmark::State& state)
{
    refreshBenchmark(state, CHANGE_MOVE, -1, true);
}
BENCHMARK(BM_Refresh100kRowsAfter1000MovesAndRepaint)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    log4cxx::helpers::LogLog::setQuietMode(true);
    g_TTStdLogger->setLevel(log4cxx::Level::getInfo());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
