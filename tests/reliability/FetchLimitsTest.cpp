// The bounds of a fetch hold while many fetches run at once against a site
// that misbehaves: an endless page is cut, a redirect loop ends, a silent
// server times out, and the total time-out covers a slow redirect chain as
// a whole.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/AtomicFile.h"
#include "bidding/SiteHarness.h"
#include "site/PageFetch.h"
#include "support/LocalServer.h"

namespace bexora::test {
namespace {

using Steady = std::chrono::steady_clock;

int64_t MsSince(Steady::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
}

class FetchBounds : public ::testing::Test {
protected:
    void SetUp() override { m_saved = GetFetchLimits(); }
    void TearDown() override { SetFetchLimits(m_saved); }
    FetchLimits m_saved;
};

TEST_F(FetchBounds, DefaultsAreSane) {
    const FetchLimits lim;
    EXPECT_EQ(lim.maxBodyBytes, size_t{16} << 20);
    EXPECT_LE(lim.maxRedirects, 20);
    EXPECT_GT(lim.connectTimeoutMs, 0);
    EXPECT_GT(lim.stallTimeoutMs, 0);
    EXPECT_GT(lim.totalTimeoutMs, 0);
    EXPECT_LE(lim.totalTimeoutMs, 10 * 60 * 1000);
}

// Six threads at once, each meeting every bad kind of answer in turn, with
// a real item page in between to show that nothing stuck. (The harness's
// site serves eight connections at a time; a stalled answer holds one, so
// more threads would measure the site's queue, not the client's bounds.)
TEST_F(FetchBounds, HoldUnderConcurrentLoad) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    LocalSite site;
    ASSERT_TRUE(site.Ok());
    // The program's own bounds, but a short stall: two seconds, since six
    // threads asking for 20 MB pages next to other tests can wait a second
    // for the first byte.
    FetchLimits lim;
    lim.stallTimeoutMs = 2000;
    SetFetchLimits(lim);

    constexpr int kThreads = 6;
    std::vector<std::string> items;
    for (int t = 0; t < kThreads; ++t) {
        std::string n = site.AddItem(R"({"title":"Load lamp","price":5,"ends_in":3600})");
        items.push_back(n);
        const std::string contains = "item=" + n;
        // One of each per thread, in this order of the thread's requests.
        site.Fault(R"({"path":"/ws/eBayISAPI.dll?ViewItem","contains":")" + contains +
                   R"(","pad_bytes":20000000,"count":1})");
    }

    std::atomic<int> failures{0};
    std::vector<std::string> problems(kThreads);
    std::vector<std::thread> threads;
    const std::string host = [&] {
        std::string settings;
        ReadWholeFile(site.SettingsFile(), settings);
        size_t at = settings.find("SiteItemHost=");
        size_t end = settings.find_first_of("\r\n", at);
        return settings.substr(at + 13, end - at - 13);
    }();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string url = "http://" + host + "/ws/eBayISAPI.dll?ViewItem&item=" + items[t];
            auto fail = [&](const std::string& what) {
                ++failures;
                problems[t] += what + "; ";
            };
            // 1. A 20 MB page: cut at 16 MB, reported as a network error.
            std::string page;
            if (FetchPage(url, page) != url) fail("big page: wrong result");
            if (page.size() != lim.maxBodyBytes) fail("big page: " + std::to_string(page.size()) + " bytes");
            page.clear();
            page.shrink_to_fit();
            // 2. The page itself, whole.
            if (FetchPage(url, page) != url || page.find("Load lamp") == std::string::npos)
                fail("plain page after the big one");
            CloseThreadConnections();
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_TRUE(problems[t].empty()) << t << ": " << problems[t];
    EXPECT_EQ(failures.load(), 0);

    // Redirect loops and stalls, all threads at once again.
    site.ClearFaults();
    site.ClearLog();
    site.Fault(R"({"path":"/ws/eBayISAPI.dll?ViewItem","contains":"loop","redirect_loop":true})");
    site.Fault(R"({"path":"/ws/eBayISAPI.dll?ViewItem","contains":"stall","stall":true,"stall_ms":20000})");
    threads.clear();
    std::vector<int64_t> loopMs(kThreads), stallMs(kThreads);
    std::vector<std::string> loopResult(kThreads, "?"), stallResult(kThreads, "?");
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::string page;
            auto start = Steady::now();
            loopResult[t] = FetchPage("http://" + host + "/ws/eBayISAPI.dll?ViewItem&item=1&loop" +
                                          std::to_string(t), page);
            loopMs[t] = MsSince(start);
            start = Steady::now();
            stallResult[t] = FetchPage("http://" + host + "/ws/eBayISAPI.dll?ViewItem&item=1&stall", page);
            stallMs[t] = MsSince(start);
            CloseThreadConnections();
        });
    }
    for (auto& th : threads) th.join();
    size_t hops = 0;
    for (const std::string& target : site.Log()) hops += target.rfind("/_hop/", 0) == 0;
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(loopResult[t], "") << "a redirect loop is refused";
        EXPECT_LT(loopMs[t], 10000);
        EXPECT_FALSE(stallResult[t].empty()) << "a stall is a network error";
        EXPECT_GE(stallMs[t], 1900);
        EXPECT_LT(stallMs[t], 8000) << "the stall time-out ends a silent answer";
    }
    // The first answer and exactly maxRedirects hops per loop.
    EXPECT_EQ(hops, static_cast<size_t>(kThreads * lim.maxRedirects));
}

// Each hop of this chain answers after 300 ms: ten of them would take three
// seconds, but the total time-out is the whole fetch's.
TEST_F(FetchBounds, TotalTimeOutCoversTheRedirectChain) {
    LocalServer server;
    server.Server().Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        int n = std::stoi(req.matches[1]);
        if (n >= 9) {
            res.set_content("<html>the end</html>", "text/html");
            return;
        }
        res.status = 302;
        res.set_header("Location", "/hop/" + std::to_string(n + 1));
    });
    server.Start();

    FetchLimits lim;
    lim.totalTimeoutMs = 1000;
    SetFetchLimits(lim);
    std::string page;
    auto start = Steady::now();
    std::string result = FetchPage(server.Url("/hop/0"), page);
    int64_t took = MsSince(start);
    EXPECT_LT(took, 1800) << "the chain took its ten hops";
    EXPECT_EQ(result, server.Url("/hop/0"));  // a network error
    EXPECT_EQ(page.find("the end"), std::string::npos);

    lim.totalTimeoutMs = 10000;  // with room, the same chain ends at its page
    SetFetchLimits(lim);
    page.clear();
    EXPECT_EQ(FetchPage(server.Url("/hop/0"), page), server.Url("/hop/0"));
    EXPECT_NE(page.find("the end"), std::string::npos);
    CloseThreadConnections();
}

}  // namespace
}  // namespace bexora::test
