// Fetching a small page from a local server: with the thread's connection
// kept alive between fetches, against a server that closes the connection
// after every answer (a fresh TCP connection per fetch). The ratio shows
// what connection reuse saves; both run the same FetchPage code.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "base/Settings.h"
#include "BenchReport.h"
#include "site/CookieStore.h"
#include "site/PageFetch.h"
#include "../tests/support/LocalServer.h"
#include "../tests/support/TempDir.h"

namespace {

constexpr int kFetches = 1000;

bexora::test::LocalServer* g_reuse = nullptr;
bexora::test::LocalServer* g_fresh = nullptr;

void Serve(bexora::test::LocalServer& s) {
    s.Server().Get("/item", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(2000, 'x'), "text/html");
    });
    s.Start();
}

void Fetches(benchmark::State& state, bexora::test::LocalServer* server) {
    const std::string url = server->Url("/item");
    for (auto _ : state) {
        for (int i = 0; i < kFetches; ++i) {
            std::string page;
            bexora::FetchPage(url, page);
            if (page.size() != 2000) state.SkipWithError("short page");
        }
    }
    state.SetItemsProcessed(state.iterations() * kFetches);
}

void BM_FetchReusedConnection(benchmark::State& state) { Fetches(state, g_reuse); }
void BM_FetchFreshConnection(benchmark::State& state) { Fetches(state, g_fresh); }
BENCHMARK(BM_FetchReusedConnection)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FetchFreshConnection)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    bexora::test::TempDir dir;
    bexora::SetSettingsPath(dir.File("bench.ini"));
    bexora::CCookieStore::Instance().SetJarPath(dir.File("cookies.txt"));
    bexora::test::LocalServer reuse, fresh;
    fresh.Server().set_keep_alive_max_count(1);  // closes after each answer
    Serve(reuse);
    Serve(fresh);
    g_reuse = &reuse;
    g_fresh = &fresh;

    benchmark::Initialize(&argc, argv);
    bexora::bench::BestTimeReporter reporter(bexora::bench::BestTimeReporter::Clock::Wall);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double a = reporter.Best("BM_FetchReusedConnection");
    double b = reporter.Best("BM_FetchFreshConnection");
    if (a > 0 && b > 0)
        std::printf("ratio fresh connection / reused connection = %.2f (1000 fetches: %.1f ms vs %.1f ms)\n",
                    b / a, b, a);
    benchmark::Shutdown();
    return 0;
}
