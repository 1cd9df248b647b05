// Snipe arrival: how far from the moment the user asked for (end time by the
// site's clock - the delay) the confirmation reaches the site, and how many
// requests go out at the moment. The site's clock runs a fraction of a
// second off this machine's and every answer takes 50 ms more; the list
// core runs with its real workers in the headless loop bexora-cli uses.
//
// Three passes in one run, each over its own snipes one second apart:
//   reference  the check ahead of the bid off: the whole conversation at the
//              tick of the bid's second (the old path)
//   checked    the check a minute ahead, the confirmation alone at the moment
//   stale      checked, but the site takes a form's key for 1 s only: the
//              confirmation is refused and the whole conversation runs once
//
// The site's latency is a round trip: half of it before the site logs a
// request, half before the answer leaves; JITTER_MS varies each half.
//
//   bench_arrival [SNIPES] [JITTER_MS]   per pass, default 8 (about
//                                        3 x (SNIPES + 10) s), jitter 0

#include <algorithm>
#include <chrono>
#include <thread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "BenchSite.h"
#include "Json.h"
#include "Site.h"
#include "base/Clock.h"
#include "base/Settings.h"
#include "bidding/UiDispatcher.h"
#include "cli/HeadlessLoop.h"
#include "listview/ItemListCore.h"
#include "model/ebayDoc.h"
#include "site/SiteTime.h"

namespace {

using namespace bexora;
using bexora::cli::CHeadlessLoop;
namespace bx = bexora::auction;
using bench::Control;

constexpr double kSkewSeconds = -0.37;  // the site's clock behind this machine's
constexpr int kLatencyMs = 50;
constexpr int kDelay = 5;  // seconds before the end, as the bid dialog sets it
constexpr int kFirstAfter = 8;

class CountingFrontEnd : public IListFrontEnd {
public:
    void Navigate(const std::string&) override { ++results; }
    int results = 0;
};

// Between the workers and the list: notes how many requests each bid sent
// at its moment.
class Recorder : public IWorkerOwner {
public:
    CItemListCore* core = nullptr;
    std::map<std::string, int> requests;
    void OnItemUpdated(std::unique_ptr<CItem> item) override {
        core->OnItemUpdated(std::move(item));
    }
    void OnBidPlaced(std::unique_ptr<CBidRequest> r) override {
        requests[r->m_strItemNumber] = r->m_nRequestsAtMoment;
        if (!r->m_bSucceeded)
            std::fprintf(stderr, "bid %s: %s\n", r->m_strItemNumber.c_str(),
                         r->m_strResult.c_str());
        core->OnBidPlaced(std::move(r));
    }
    void OnPreFlightDone(std::unique_ptr<CBidRequest> r) override {
        core->OnPreFlightDone(std::move(r));
    }
    bool IsUpdateInFlight(const std::string& n) override { return core->IsUpdateInFlight(n); }
};

struct Pass {
    const char* name;
    int preFlight;
    double keyTtl;
    std::vector<double> errors;  // ms, arrival - asked moment, by the site's clock
    std::vector<double> own;  // ms, arrival - the moment the list computed, by this machine's clock
    std::vector<int> requests;
    int won = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool RunPass(bx::Site& site, const std::string& dir, int snipes, Pass& pass) {
    Control(site, "POST", "/_control/keys", "{\"ttl\":" + std::to_string(pass.keyTtl) + "}");
    CebayDoc doc;
    doc.SetPathName(dir + "/" + pass.name + ".bid");
    CUiDispatcher ui;
    CountingFrontEnd front;
    Recorder recorder;
    CWorkerJobSink workers(recorder, ui);
    CItemListCore core(doc, front, ui, &workers);
    recorder.core = &core;
    core.Initialize();
    core.SetPreFlightSeconds(pass.preFlight);
    CHeadlessLoop loop(ui);

    // Each auction ends kDelay seconds after its snipe's moment.
    std::map<std::string, double> asked;     // site clock, seconds
    std::map<std::string, double> computed;  // this machine's clock, ms
    const int64_t offset = ReadClockOffset();
    for (int k = 0; k < snipes; ++k) {
        bx::Json made;
        const double endsIn = kFirstAfter + kDelay + k;
        if (!Control(site, "POST", "/_control/items",
                     "{\"title\":\"Lamp " + std::to_string(k) +
                         "\",\"price\":5,\"ends_in\":" + std::to_string(endsIn) + "}",
                     &made))
            return false;
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = made.Get("number")->AsString();
        if (!item->UpdateFromSite()) return false;
        item->m_strMyBid = "US $20.00";
        item->m_strUserId = "sniper";
        item->m_strPassword = "pw";
        item->m_bBidPending = 1;
        item->m_tBidTime = item->m_tEndTime + offset - kDelay;
        bx::Json state;
        if (!Control(site, "GET", "/_control/items/" + item->m_strItemNumber, "", &state))
            return false;
        asked[item->m_strItemNumber] = state.Get("end_time")->AsNumber() - kDelay;
        computed[item->m_strItemNumber] = static_cast<double>(core.BidMomentMs(*item));
        core.AddItemIfNew(std::move(item), false);
    }
    const int expected = front.results + snipes;
    loop.Run(
        [&] {
            core.OnTick();
            if (front.results >= expected) loop.Stop();
        },
        [&] { return core.MsUntilNextTick(); }, (kFirstAfter + snipes + 10) * 1000);
    core.Shutdown();

    bx::Json log;
    if (!Control(site, "GET", "/_control/log", "", &log)) return false;
    for (const bx::Json& e : log.Items()) {
        const std::string& target = e.Get("target")->AsString();
        if (target.find("mode=1") == std::string::npos) continue;
        const size_t at = target.find("&Item=");
        const std::string number = target.substr(at + 6, target.find('&', at + 6) - at - 6);
        auto it = asked.find(number);
        // The first confirmation of each snipe is the one timed for the moment.
        if (it == asked.end()) continue;
        pass.errors.push_back((e.Get("site_time")->AsNumber() - it->second) * 1000.0);
        pass.own.push_back(e.Get("time")->AsNumber() * 1000.0 - computed[number]);
        asked.erase(it);
    }
    for (const auto& [number, n] : recorder.requests) {
        pass.requests.push_back(n);
        bx::Json state;
        Control(site, "GET", "/_control/items/" + number, "", &state);
        pass.won += state.Get("high_bidder")->AsString() == "sniper";
    }
    Control(site, "DELETE", "/_control/log", "");
    return !pass.errors.empty();
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const int snipes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    const int jitterMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 0;
    bench::CBenchSite local(11, 8);
    if (!local.Start()) return 1;
    bx::Site& site = local.Site();
    if (!Control(site, "POST", "/_control/accounts", R"({"user":"sniper","password":"pw"})"))
        return 1;
    if (!Control(site, "POST", "/_control/clock",
                 "{\"skew\":" + std::to_string(kSkewSeconds) + "}"))
        return 1;
    if (!Control(site, "POST", "/_control/faults",
                 "{\"prefix\":\"/\",\"latency_ms\":" + std::to_string(kLatencyMs) +
                     ",\"latency_jitter_ms\":" + std::to_string(jitterMs) + "}"))
        return 1;
    // As at a list's start: the clock keeper measures the site's clock
    // (a series of reads timed against its change of second).
    {
        CClockKeeper keeper;
        keeper.RequestRead();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (keeper.ReadsDone() < 1 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::printf("site clock skew %.2f s, latency %d ms (jitter +-%d ms); clock offset %lld ms (bound %lld ms)\n",
                kSkewSeconds, kLatencyMs, jitterMs, static_cast<long long>(ReadClockOffsetMs()),
                static_cast<long long>(ClockOffsetBoundMs()));

    CHeadlessLoop::BlockStopSignals();
    Pass passes[] = {{"reference", 0, 0, {}, {}, {}, 0},
                     {"checked", 60, 0, {}, {}, {}, 0},
                     {"stale", 60, 1, {}, {}, {}, 0}};
    for (Pass& pass : passes)
        if (!RunPass(site, local.Dir().Path(), snipes, pass)) return 1;

    std::printf(
        "arrival - asked moment (site clock), and - the moment the list computed (own clock):\n");
    std::printf("%-10s %6s %12s %12s %12s %12s %12s %10s %5s\n", "pass", "snipes", "median ms",
                "|median| ms", "worst |e| ms", "own median", "own worst", "requests", "won");
    for (Pass& pass : passes) {
        std::vector<double> magnitude;
        for (double e : pass.errors) magnitude.push_back(std::fabs(e));
        const double worst = *std::max_element(magnitude.begin(), magnitude.end());
        std::sort(pass.requests.begin(), pass.requests.end());
        const std::string requests = pass.requests.empty() ? "-"
                                     : pass.requests.front() == pass.requests.back()
                                         ? std::to_string(pass.requests.front())
                                         : std::to_string(pass.requests.front()) + "-" +
                                               std::to_string(pass.requests.back());
        double ownWorst = 0;
        for (double e : pass.own) ownWorst = std::max(ownWorst, std::fabs(e));
        std::printf("%-10s %6zu %12.1f %12.1f %12.1f %12.1f %12.1f %10s %5d\n", pass.name,
                    pass.errors.size(), Median(pass.errors), Median(magnitude), worst,
                    Median(pass.own), ownWorst, requests.c_str(), pass.won);
    }
    std::vector<double> ref, chk;
    for (double e : passes[0].errors) ref.push_back(std::fabs(e));
    for (double e : passes[1].errors) chk.push_back(std::fabs(e));
    std::printf("ratio checked/reference median |arrival - asked moment| = %.2f\n",
                Median(chk) / std::max(1.0, Median(ref)));
    std::vector<double> refOwn, chkOwn;
    for (double e : passes[0].own) refOwn.push_back(std::fabs(e));
    for (double e : passes[1].own) chkOwn.push_back(std::fabs(e));
    std::printf("ratio checked/reference median |arrival - computed moment| = %.2f\n",
                Median(chkOwn) / std::max(1.0, Median(refOwn)));
    std::printf("(the asked-moment figures carry the clock offset's error: %lld ms either way)\n",
                static_cast<long long>(ClockOffsetBoundMs()));
    return 0;
}
