// Time from posting WM_BID_PLACE to the result arriving on the UI thread,
// with the local auction site adding 50 ms to every request. A bid is four
// sequential requests, so 4 x 50 ms is the floor; the ratio shows what the
// conversation, the page files and the hand-over cost on top. Connections
// are warm: one bid is placed before the timed ones.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSite.h"
#include "Json.h"
#include "Server.h"
#include "Site.h"
#include "base/Settings.h"
#include "bidding/BidThread.h"
#include "bidding/UiDispatcher.h"
#include "site/CookieStore.h"
#include "../tests/support/TempDir.h"

namespace {

using namespace bexora;
namespace bx = bexora::auction;
using bench::Control;

constexpr int kLatencyMs = 50;
constexpr int kBids = 15;

struct Owner : IWorkerOwner {
    void OnItemUpdated(std::unique_ptr<CItem>) override {}
    void OnBidPlaced(std::unique_ptr<CBidRequest> r) override { result = std::move(r); }
    bool IsUpdateInFlight(const std::string&) override { return false; }
    std::unique_ptr<CBidRequest> result;
};


}  // namespace

int main() {
    bench::CBenchSite local(1, 8);
    if (!local.Start()) return 1;
    bx::Site& site = local.Site();

    bx::Json item;
    if (!Control(site, "POST", "/_control/accounts", R"({"user":"jo","password":"pw"})") ||
        !Control(site, "POST", "/_control/items", R"({"title":"Lamp","price":5,"ends_in":86400})", &item) ||
        !Control(site, "POST", "/_control/faults",
                 R"({"path":"/ws/","latency_ms":)" + std::to_string(kLatencyMs) + "}"))
        return 1;
    const std::string number = item.Get("number")->AsString();

    CUiDispatcher ui;
    Owner owner;
    CBidThread bidder(&owner, ui);
    bidder.CreateThread();
    std::vector<double> ms;
    for (int i = 0; i <= kBids; ++i) {
        CItem it;
        it.m_strItemNumber = number;
        it.m_strUserId = "jo";
        it.m_strPassword = "pw";
        it.m_strMyBid = "US $" + std::to_string(10 + i) + ".00";
        auto start = std::chrono::steady_clock::now();
        bidder.PostBid(std::make_unique<CBidRequest>(it));
        while (!owner.result) ui.WaitAndRunPending(1000);
        double took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (!owner.result->m_bSucceeded) {
            std::fprintf(stderr, "bid %d failed: %s\n", i, owner.result->m_strResult.c_str());
            return 1;
        }
        owner.result.reset();
        if (i > 0) ms.push_back(took);  // the first one opens the connections
    }
    bidder.StopWorker();

    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    double floor = 4.0 * kLatencyMs;
    std::printf("bids: %d, median %.1f ms, best %.1f ms, worst %.1f ms, floor %.0f ms\n", kBids, median,
                ms.front(), ms.back(), floor);
    std::printf("ratio bid time / 4x latency floor = %.3f\n", median / floor);
    return 0;
}
