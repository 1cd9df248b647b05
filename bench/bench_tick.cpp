// One tick of the scheduler over a 10,000-row list, against one plain pass
// over the same rows that only reads each item's end time. The tick's clock
// moves one second per run, so every minute-resolution text changes on
// about one row in sixty, as in a real run. Absolute times on a shared
// machine mean little; the ratio is the figure (target: at most 20x), with
// the tick's own time beside it (target: under 5 ms).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "BenchReport.h"
#include "../tests/support/TempDir.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "listview/ItemListCore.h"
#include "site/SiteTime.h"

using namespace bexora;

namespace {

constexpr int kRows = 10000;
constexpr int64_t kStart = 1709547630;

struct NoJobs : IJobSink {
    void PostUpdate(std::unique_ptr<CItem>) override {}
    void PostBid(std::unique_ptr<CBidRequest>) override {}
};

struct Quiet : IListFrontEnd {};

struct List {
    List() {
        for (int i = 0; i < kRows; ++i) {
            auto it = std::make_unique<CItem>();
            it->m_strItemNumber = std::to_string(110000000000LL + i);
            it->m_strTitle = "Vintage brass ship's clock, working, with key - lot " + std::to_string(i);
            it->m_strCurrentPrice = "$" + std::to_string(10 + i % 90) + ".50";
            it->m_strMyBid = i % 4 ? "N/A" : "$45.00";
            // From a day to about a week to go, spread over the seconds.
            it->m_tEndTime = kStart + 86400 + int64_t(i) * 53 + i % 60;
            doc.AddItem(std::move(it));
        }
        doc.SetPathName(dir.File("list.bid"));
        core = std::make_unique<CItemListCore>(doc, front, ui, &jobs);
        core->Initialize();
        core->OnTick();  // every text made once
    }
    bexora::test::TempDir dir;
    CebayDoc doc;
    Quiet front;
    NoJobs jobs;
    CUiDispatcher ui;
    std::unique_ptr<CItemListCore> core;
};

CManualClock g_clock(kStart * 1000);
List* g_list = nullptr;

void BM_Tick(benchmark::State& state) {
    for (auto _ : state) {
        g_clock.Advance(1);
        g_list->core->OnTick();
    }
}
BENCHMARK(BM_Tick)->Unit(benchmark::kMicrosecond);

void BM_PlainPass(benchmark::State& state) {
    CItemListCore& core = *g_list->core;
    for (auto _ : state) {
        int64_t sum = 0;
        const int n = core.GetRowCount();
        for (int i = 0; i < n; ++i) sum += core.GetRow(i).item->m_tEndTime;
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_PlainPass)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);
    tzset();
    bexora::test::TempDir dir;
    SetSettingsPath(dir.File("settings.ini"));
    // No automatic update of all rows during the run.
    Settings().WriteInt(setting::UpdateMin, 100000);
    SetClock(&g_clock);
    FixClockOffset(0);
    g_list = new List;

    benchmark::Initialize(&argc, argv);
    bexora::bench::BestTimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double tick = reporter.Best("BM_Tick");
    const double plain = reporter.Best("BM_PlainPass");
    if (tick > 0 && plain > 0) {
        std::printf("ratio tick / plain pass = %.2f\n", tick / plain);
        std::printf("tick over %d rows = %.3f ms\n", kRows, tick / 1000.0);
    }
    delete g_list;
    SetClock(nullptr);
    benchmark::Shutdown();
    return 0;
}
