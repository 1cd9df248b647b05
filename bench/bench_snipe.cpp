// Snipe lateness: how long after its moment (m_tBidTime) a scheduled bid's
// confirmation request reaches the site. The list core runs in the headless
// loop bexora-cli uses, with its real workers, against the local auction
// site in this process; the site's request log gives the arrival times.
//
// The bids are one second apart, so each has the bid worker to itself: the
// figure is the tick's precision plus the conversation (sign-in page,
// sign-in, offer form, confirmation). The conversation alone is measured in
// the same run first: bids placed at once, from the moment they are handed
// to the worker to the arrival of their confirmation.
//
//   bench_snipe [BIDS]     default 100 (takes about BIDS + 15 seconds)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BenchSite.h"
#include "Json.h"
#include "Server.h"
#include "Site.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "bidding/UiDispatcher.h"
#include "cli/HeadlessLoop.h"
#include "listview/ItemListCore.h"
#include "model/ebayDoc.h"
#include "site/CookieStore.h"
#include "site/SiteTime.h"
#include "../tests/support/TempDir.h"

namespace {

using namespace bexora;
using bexora::cli::CHeadlessLoop;
namespace bx = bexora::auction;
using bench::Control;

constexpr int kReferenceBids = 10;
constexpr int kFirstBidAfter = 3;  // seconds, time to set up before the first moment
constexpr int kEndsAfterBid = 6;   // seconds between a bid's moment and its auction's end

class CountingFrontEnd : public IListFrontEnd {
public:
    void Navigate(const std::string&) override { ++results; }
    int results = 0;
};


std::string NewAuction(bx::Site& site, const std::string& title, double endsIn) {
    bx::Json item;
    if (!Control(site, "POST", "/_control/items",
                 "{\"title\":\"" + title + "\",\"price\":5,\"ends_in\":" + std::to_string(endsIn) + "}",
                 &item))
        return "";
    return item.Get("number")->AsString();
}

// An item read from its page, with a bid of the user's on it.
std::unique_ptr<CItem> WithBid(const std::string& number) {
    auto item = std::make_unique<CItem>();
    item->m_strItemNumber = number;
    if (!item->UpdateFromSite()) return nullptr;
    item->m_strMyBid = "US $20.00";
    item->m_strUserId = "sniper";
    item->m_strPassword = "pw";
    item->m_nBidQuantity = 1;
    return item;
}

// Arrival (ms of the machine clock) of each item's confirmation request.
std::map<std::string, double> ConfirmArrivals(bx::Site& site) {
    std::map<std::string, double> out;
    bx::Json log;
    if (!Control(site, "GET", "/_control/log", "", &log)) return out;
    for (const bx::Json& e : log.Items()) {
        const std::string& target = e.Get("target")->AsString();
        if (target.find("mode=1") == std::string::npos) continue;
        size_t at = target.find("&Item=");
        if (at == std::string::npos) continue;
        std::string number = target.substr(at + 6, target.find('&', at + 6) - at - 6);
        out.emplace(number, e.Get("time")->AsNumber() * 1000.0);
    }
    return out;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int bids = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;

    bench::CBenchSite local(7, 8);
    if (!local.Start()) return 1;
    bx::Site& site = local.Site();
    test::TempDir& dir = local.Dir();
    if (!Control(site, "POST", "/_control/accounts", R"({"user":"sniper","password":"pw"})")) return 1;
    GetClockOffset(true);

    CebayDoc doc;
    doc.SetPathName(dir.File("bench.bid"));
    // The reference items end long after the run.
    std::vector<std::string> reference;
    for (int i = 0; i < kReferenceBids; ++i) {
        auto item = WithBid(NewAuction(site, "Reference lamp " + std::to_string(i), 3600));
        if (!item) return 1;
        reference.push_back(item->m_strItemNumber);
        doc.AddItem(std::move(item));
    }

    CHeadlessLoop::BlockStopSignals();
    CUiDispatcher ui;
    CountingFrontEnd front;
    CItemListCore core(doc, front, ui);
    core.Initialize();
    CHeadlessLoop loop(ui);

    // The conversation alone: one bid at a time, placed at once. The first
    // opens the connections, as the program's first bid of a session does.
    std::map<std::string, double> handedOver;
    for (const std::string& number : reference) {
        const int before = front.results;
        handedOver[number] = static_cast<double>(GetClock().NowMs());
        core.TriggerBid(*core.GetItem(core.FindRow(number)));
        loop.RunUntil([&] { return front.results > before; }, 30000);
    }

    // The scheduled items end a few seconds after their moments, each
    // moment a second of its own.
    const int64_t first = LocalNow() + kFirstBidAfter + bids / 50;
    std::map<std::string, int64_t> moments;
    for (int k = 0; k < bids; ++k) {
        const int64_t moment = first + k;
        double endsIn = static_cast<double>(moment - LocalNow() + kEndsAfterBid);
        auto item = WithBid(NewAuction(site, "Scheduled lamp " + std::to_string(k), endsIn));
        if (!item) return 1;
        item->m_bBidPending = 1;
        item->m_tBidTime = moment;
        moments[item->m_strItemNumber] = moment;
        core.AddItemIfNew(std::move(item), false);
    }
    if (LocalNow() >= first) {
        std::fprintf(stderr, "setting up took too long; the first moment has passed\n");
        return 1;
    }

    // The scheduled bids, fired by the ticks.
    const int expected = front.results + bids;
    const int64_t runFor = (first + bids + 2) * 1000 - GetClock().NowMs();
    loop.Run(
        [&] {
            core.OnTick();
            if (front.results >= expected) loop.Stop();
        },
        [&] { return core.MsUntilNextTick(); }, runFor + 10000);
    core.Shutdown();

    std::map<std::string, double> arrivals = ConfirmArrivals(site);
    std::vector<double> conversation, lateness;
    for (const auto& [number, at] : handedOver)
        if (arrivals.count(number) && number != reference.front())
            conversation.push_back(arrivals[number] - at);
    for (const auto& [number, moment] : moments)
        if (arrivals.count(number)) lateness.push_back(arrivals[number] - moment * 1000.0);
    if (lateness.size() != moments.size())
        std::fprintf(stderr, "%zu of %zu scheduled bids reached the site\n", lateness.size(), moments.size());
    if (lateness.empty() || conversation.empty()) return 1;

    std::sort(lateness.begin(), lateness.end());
    const double conv = Median(conversation);
    const double median = Median(lateness);
    std::printf("scheduled bids: %zu, lateness from m_tBidTime to the confirmation's arrival:\n",
                lateness.size());
    std::printf("  median %.1f ms, best %.1f ms, worst %.1f ms\n", median, lateness.front(), lateness.back());
    std::printf("conversation alone (bids placed at once, %zu): median %.1f ms, worst %.1f ms\n",
                conversation.size(), conv, *std::max_element(conversation.begin(), conversation.end()));
    std::printf("median lateness - conversation = %.1f ms (target < 50 ms): %s\n", median - conv,
                median - conv < 50.0 ? "met" : "NOT met");
    return 0;
}
