// Saving and opening a 10,000-item list through the document's own save and
// open (archive encoding, atomic write with flush and rename, decoding and
// building the items), against writing and reading the same number of bytes
// with plain fwrite/fread. The save reference is given twice: without and
// with the fsync that a crash-safe save cannot do without. Absolute times on
// a shared machine mean little; the ratios at the end are the figures.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "BenchReport.h"
#include "../tests/support/TempDir.h"
#include "base/Prompt.h"
#include "model/ebayDoc.h"

using namespace bexora;

namespace {

constexpr int kItems = 10000;

bexora::test::TempDir* g_dir = nullptr;
size_t g_fileSize = 0;

std::string ListPath() {
    return g_dir->File("list.bid");
}
std::string RawPath() {
    return g_dir->File("raw.bin");
}

void FillDocument(CebayDoc& doc) {
    for (int i = 0; i < kItems; ++i) {
        auto it = std::make_unique<CItem>();
        it->m_strItemNumber = std::to_string(110000000000LL + i);
        it->m_strTitle = "Vintage brass ship's clock, working, with key - lot " + std::to_string(i);
        it->m_strCurrentPrice = "$" + std::to_string(10 + i % 90) + ".50";
        it->m_strShipping = i % 3 ? "$8.95" : "FREE";
        it->m_strQuantity = "1";
        it->m_strBidCount = std::to_string(i % 17);
        it->m_strTimeLeft = "2d 03:15:00";
        it->m_strMyBid = i % 4 ? "N/A" : "$45.00";
        it->m_strUserId = "sniper";
        it->m_strPassword = "correct horse battery";
        it->m_tEndTime = 1700000000 + i * 60;
        it->m_strMessages = i % 5 ? "" : "Bid placed: $45.00\r\nOther bidder outbid you.";
        it->m_strMinBid = "US $11.00";
        it->m_strSeller = "oldclocks_" + std::to_string(i % 100);
        it->m_strFeedback = "1234";
        it->m_strPercent = "99.8";
        doc.AddItem(std::move(it));
    }
    for (int g = 0; g < 20; ++g) doc.BidGroups().JoinGroup("group " + std::to_string(g), 2);
}

void BM_SaveList(benchmark::State& state) {
    CebayDoc doc;
    FillDocument(doc);
    for (auto _ : state)
        if (!doc.OnSaveDocument(ListPath())) state.SkipWithError("save failed");
}
BENCHMARK(BM_SaveList)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenList(benchmark::State& state) {
    for (auto _ : state) {
        auto doc = std::make_unique<CebayDoc>();
        if (!doc->OnOpenDocument(ListPath()) || doc->Items().size() != kItems)
            state.SkipWithError("open failed");
        // Closing the list is not part of opening it.
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenList)->Unit(benchmark::kMillisecond)->UseRealTime();

void RawWrite(benchmark::State& state, bool sync) {
    const std::string bytes(g_fileSize, 'x');
    for (auto _ : state) {
        FILE* f = std::fopen(RawPath().c_str(), "wb");
        if (!f) {
            state.SkipWithError("cannot write");
            break;
        }
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        if (sync) fsync(fileno(f));
        std::fclose(f);
    }
}
void BM_Fwrite(benchmark::State& state) {
    RawWrite(state, false);
}
void BM_FwriteFsync(benchmark::State& state) {
    RawWrite(state, true);
}
BENCHMARK(BM_Fwrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FwriteFsync)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Fread(benchmark::State& state) {
    std::string bytes(g_fileSize, '\0');
    for (auto _ : state) {
        FILE* f = std::fopen(RawPath().c_str(), "rb");
        if (!f || std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
            state.SkipWithError("cannot read");
        if (f) std::fclose(f);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_Fread)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bexora::test::TempDir dir;
    g_dir = &dir;
    {
        CebayDoc doc;
        FillDocument(doc);
        if (!doc.OnSaveDocument(ListPath())) return 1;
        g_fileSize = doc.StoreToBytes().size();
        // The file the read reference reads, whatever benchmarks are picked.
        const std::string raw(g_fileSize, 'x');
        FILE* f = std::fopen(RawPath().c_str(), "wb");
        if (!f || std::fwrite(raw.data(), 1, raw.size(), f) != raw.size()) return 1;
        std::fclose(f);
    }
    std::printf("list: %d items, %zu bytes\n", kItems, g_fileSize);
    bexora::bench::BestTimeReporter reporter(bexora::bench::BestTimeReporter::Clock::Wall);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    bexora::bench::PrintRatio("save / fwrite", reporter.Best("BM_SaveList"), reporter.Best("BM_Fwrite"));
    bexora::bench::PrintRatio("save / fwrite+fsync", reporter.Best("BM_SaveList"),
               reporter.Best("BM_FwriteFsync"));
    bexora::bench::PrintRatio("load / fread", reporter.Best("BM_OpenList"), reporter.Best("BM_Fread"));
    benchmark::Shutdown();
    return 0;
}
