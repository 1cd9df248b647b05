// The clock keeper against the local auction site: the millisecond offset it
// finds must lie within the bound it claims, whatever fraction of a second
// the site's clock is off by and however slow the time page answers; a hung
// time host holds up nobody, and a stepped local clock is measured again.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "bidding/SiteHarness.h"
#include "site/SiteTime.h"

namespace bexora::test {
namespace {

using Ms = std::chrono::milliseconds;

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - since).count();
}

bool WaitForReads(const CClockKeeper& keeper, int n, int timeoutMs) {
    const auto start = std::chrono::steady_clock::now();
    while (keeper.ReadsDone() < n) {
        if (ElapsedMs(start) > timeoutMs) return false;
        std::this_thread::sleep_for(Ms(10));
    }
    return true;
}

class ClockKeeperTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The site's Pacific time read as local time gives true instants.
        setenv("TZ", "America/Los_Angeles", 1);
        tzset();
        FixClockOffset(std::nullopt);
        ForgetClockOffset();
    }
    void TearDown() override {
        ForgetClockOffset();
        CClockKeeper::SetStepSource(nullptr);
    }
    void Skew(double seconds) {
        m_site.Control("POST", "/_control/clock", "{\"skew\":" + std::to_string(seconds) + "}");
    }
    void TimePageFault(const std::string& fields) {
        m_site.Fault("{\"path\":\"/aw-cgi/eBayISAPI.dll\",\"contains\":\"TimeShow\"," + fields +
                     "}");
    }

    LocalSite m_site;
};

TEST_F(ClockKeeperTest, EstimateLiesWithinItsBoundAtFractionalSkews) {
    struct Case {
        double skew;
        int latencyMs;
    };
    for (const Case c : {Case{0.25, 0}, Case{-1.7, 30}, Case{3.62, 80}}) {
        SCOPED_TRACE("skew " + std::to_string(c.skew) + " s, latency " +
                     std::to_string(c.latencyMs) + " ms");
        m_site.ClearFaults();
        Skew(c.skew);
        if (c.latencyMs > 0) TimePageFault("\"latency_ms\":" + std::to_string(c.latencyMs));
        ForgetClockOffset();
        CClockKeeper keeper;
        keeper.RequestRead();
        ASSERT_TRUE(WaitForReads(keeper, 1, 20000));

        const int64_t truth = std::llround(-c.skew * 1000);  // local minus site
        const int64_t bound = ClockOffsetBoundMs();
        EXPECT_LE(std::llabs(ReadClockOffsetMs() - truth), bound);
        // Narrowed down from the second the page shows to about a round trip.
        EXPECT_LE(bound, c.latencyMs + 60);
        // The whole seconds stay what they were, the nearest second now.
        EXPECT_EQ(ReadClockOffset(), std::llround(-c.skew));
    }
}

TEST_F(ClockKeeperTest, HungTimeHostHoldsUpNobody) {
    SetCachedClockOffset(7);
    TimePageFault("\"stall\":true,\"stall_ms\":20000");
    auto keeper = std::make_unique<CClockKeeper>();
    const auto start = std::chrono::steady_clock::now();
    keeper->RequestRead();
    EXPECT_TRUE(m_site.WaitForRequest("TimeShow"));
    keeper->RequestRead();  // while the first is stuck
    EXPECT_EQ(ReadClockOffsetMs(), 7000);
    EXPECT_EQ(ReadClockOffset(), 7);
    EXPECT_EQ(keeper->ReadsDone(), 0);
    EXPECT_LT(ElapsedMs(start), 1000);
    // Stopping ends the stuck read instead of waiting out its time-outs.
    const auto stopAt = std::chrono::steady_clock::now();
    keeper.reset();
    EXPECT_LT(ElapsedMs(stopAt), 2000);
    EXPECT_EQ(ReadClockOffset(), 7);
}

std::atomic<int64_t> g_step{0};

TEST_F(ClockKeeperTest, SteppedLocalClockIsMeasuredAgain) {
    CClockKeeper::SetStepSource([] { return g_step.load(); });
    CClockKeeper keeper;
    keeper.RequestRead();
    ASSERT_TRUE(WaitForReads(keeper, 1, 20000));
    std::this_thread::sleep_for(Ms(1500));
    EXPECT_EQ(keeper.ReadsDone(), 1);  // nothing moved: no new reads
    g_step += 3000;
    EXPECT_TRUE(WaitForReads(keeper, 2, 20000));
}

}  // namespace
}  // namespace bexora::test
