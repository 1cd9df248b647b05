// The site clock, two scenario runs against the local auction site in this
// process, in Pacific time (so the site's times read as true instants):
//
// (a) The clock keeper's error: at fractional site clock skews and injected
//     time page latencies, |estimated offset - true offset| against the bound
//     the keeper claims, with the whole-second reading (one read of the time
//     page, seconds x 1000) measured in the same run as the reference.
// (b) Refresh: N items refreshed through the list's update worker at a fixed
//     latency per request, against N x latency and against N plain page
//     fetches at the same latency measured in the same run; the site's request
//     log counts the requests per refreshed item.
//
//   bench_clock [ITEMS] [LATENCY_MS]     default 200 items at 20 ms

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSite.h"
#include "bidding/UiDispatcher.h"
#include "listview/ItemListCore.h"
#include "model/ebayDoc.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"

namespace {

using namespace bexora;
using bench::Control;
namespace bx = bexora::auction;

double SecondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

size_t CountLog(bx::Site& site, const char* part) {
    bx::Json log;
    Control(site, "GET", "/_control/log", "", &log);
    size_t n = 0;
    for (const bx::Json& e : log.Items())
        n += e.Get("target")->AsString().find(part) != std::string::npos;
    return n;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool ClockErrors(bx::Site& site) {
    const double skews[] = {0.137, 0.5, 0.861, -2.304, 7.42, -0.049};
    const int latencies[] = {0, 20, 50};
    std::vector<double> keeperErr, wholeErr, bounds;
    int within = 0, cases = 0;
    std::printf("(a) clock offset error, ms\n%8s %8s | %8s %8s %6s %5s | %8s\n", "skew s", "lat ms",
                "keeper", "bound", "reads", "secs", "whole-s");
    for (int latency : latencies) {
        for (double skew : skews) {
            Control(site, "DELETE", "/_control/faults", "");
            Control(site, "POST", "/_control/clock", "{\"skew\":" + std::to_string(skew) + "}");
            if (latency > 0)
                Control(site, "POST", "/_control/faults",
                        "{\"path\":\"/aw-cgi/\",\"contains\":\"TimeShow\",\"latency_ms\":" +
                            std::to_string(latency) + "}");
            const double truth = -skew * 1000;

            // The reference: the whole-second reading of one time page.
            ForgetClockOffset();
            const double whole = static_cast<double>(GetClockOffset(true)) * 1000;

            ForgetClockOffset();
            Control(site, "DELETE", "/_control/log", "");
            const auto start = std::chrono::steady_clock::now();
            {
                CClockKeeper keeper;
                keeper.RequestRead();
                while (keeper.ReadsDone() < 1)
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            const double took = SecondsSince(start);
            const double err = std::fabs(static_cast<double>(ReadClockOffsetMs()) - truth);
            const double bound = static_cast<double>(ClockOffsetBoundMs());
            const size_t reads = CountLog(site, "TimeShow");
            keeperErr.push_back(err);
            wholeErr.push_back(std::fabs(whole - truth));
            bounds.push_back(bound);
            within += err <= bound;
            ++cases;
            std::printf("%8.3f %8d | %8.1f %8.0f %6zu %5.1f | %8.1f\n", skew, latency, err, bound,
                        reads, took, wholeErr.back());
        }
    }
    Control(site, "DELETE", "/_control/faults", "");
    Control(site, "POST", "/_control/clock", "{\"skew\":0}");
    const double medNew = Median(keeperErr), medOld = Median(wholeErr);
    std::printf(
        "keeper: median error %.1f ms, worst %.1f ms, median bound %.0f ms, within bound %d/%d\n",
        medNew, *std::max_element(keeperErr.begin(), keeperErr.end()), Median(bounds), within,
        cases);
    std::printf("whole-second reading: median error %.1f ms, worst %.1f ms\n", medOld,
                *std::max_element(wholeErr.begin(), wholeErr.end()));
    std::printf("median error ratio keeper / whole-second: %.3f\n\n",
                medOld > 0 ? medNew / medOld : 0.0);
    return within == cases;
}

class QuietFrontEnd : public IListFrontEnd {};

bool Refresh(bx::Site& site, bench::CBenchSite& bs, int items, int latencyMs) {
    CebayDoc doc;
    doc.SetPathName(bs.Dir().File("refresh.bid"));
    std::vector<std::string> numbers;
    for (int i = 0; i < items; ++i) {
        bx::Json made;
        if (!Control(site, "POST", "/_control/items",
                     R"({"title":"Watched lamp","price":5,"ends_in":86400})", &made))
            return false;
        numbers.push_back(made.Get("number")->AsString());
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = numbers.back();
        doc.AddItem(std::move(item));
    }
    // The clock as the list finds it once its keeper has read the time page.
    ForgetClockOffset();
    GetClockOffset(true);
    Control(site, "POST", "/_control/faults",
            "{\"path\":\"/\",\"latency_ms\":" + std::to_string(latencyMs) + "}");

    // The reference: one plain fetch of each item page, one after another.
    Control(site, "DELETE", "/_control/log", "");
    auto start = std::chrono::steady_clock::now();
    for (const std::string& n : numbers) {
        std::string page;
        FetchPage(site::ItemViewUrl(n), page);
    }
    const double plain = SecondsSince(start);

    CUiDispatcher ui;
    QuietFrontEnd front;
    CItemListCore core(doc, front, ui);
    core.Initialize();
    Control(site, "DELETE", "/_control/log", "");
    start = std::chrono::steady_clock::now();
    core.UpdateAll();
    while (core.UpdatesInFlight().Size() > 0 && SecondsSince(start) < 600) ui.WaitAndRunPending(50);
    const double took = SecondsSince(start);
    const size_t pages = CountLog(site, "ViewItem"), times = CountLog(site, "TimeShow");
    Control(site, "DELETE", "/_control/faults", "");
    core.Shutdown();

    const double floor = items * latencyMs / 1000.0;
    std::printf("(b) refresh of %d items at %d ms a request\n", items, latencyMs);
    std::printf("requests: %zu item pages, %zu time pages (%.2f a refreshed item)\n", pages, times,
                static_cast<double>(pages + times) / items);
    std::printf("refresh %.2f s, N x latency %.2f s: ratio %.3f (target <= 1.1)\n", took, floor,
                took / floor);
    std::printf("plain fetches %.2f s: refresh / plain %.3f\n", plain, took / plain);
    return pages == static_cast<size_t>(items) && times == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int items = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int latencyMs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    bench::CBenchSite bs(7, 8);
    if (!bs.Start()) return 1;
    const bool clockOk = ClockErrors(bs.Site());
    const bool refreshOk = Refresh(bs.Site(), bs, items, latencyMs);
    return clockOk && refreshOk ? 0 : 1;
}
