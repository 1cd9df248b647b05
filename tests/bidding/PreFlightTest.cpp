// The check ahead of a bid against the local site: what it finds before the
// moment, the confirmation alone at the moment, a stale form, the timing of
// the confirmation's arrival, and the dry run.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "SiteHarness.h"
#include "base/Clock.h"
#include "bidding/BidThread.h"
#include "bidding/UiDispatcher.h"

namespace bexora {
namespace {

namespace bx = bexora::auction;

struct BidOwner : IWorkerOwner {
    std::vector<std::unique_ptr<CBidRequest>> bids, checks;
    void OnItemUpdated(std::unique_ptr<CItem>) override {}
    void OnBidPlaced(std::unique_ptr<CBidRequest> r) override { bids.push_back(std::move(r)); }
    void OnPreFlightDone(std::unique_ptr<CBidRequest> r) override {
        checks.push_back(std::move(r));
    }
    bool IsUpdateInFlight(const std::string&) override { return false; }
};

bool RunUntil(CUiDispatcher& ui, const std::function<bool()>& done, int timeoutMs = 15000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        ui.WaitAndRunPending(10);
    }
    return true;
}

class PreFlightTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        m_site.Account("jo", "pw");
    }
    CItem Item(const std::string& number, const std::string& bid, const std::string& user = "jo",
               const std::string& password = "pw") {
        CItem it;
        it.m_strItemNumber = number;
        it.m_strTitle = "Brass lamp";
        it.m_strUserId = user;
        it.m_strPassword = password;
        it.m_strMyBid = bid;
        it.m_nSetupSerial = 7;
        return it;
    }
    // Whether the site recorded a bid of jo's on the item.
    bool JoBid(const std::string& number) {
        bx::Json item = m_site.Control("GET", "/_control/items/" + number);
        return item.Get("high_bidder")->AsString() == "jo";
    }
    test::LocalSite m_site;
};

TEST_F(PreFlightTest, FindsWhatWouldStopTheBidWithoutEverConfirming) {
    m_site.Account("blocked", "pw", R"("blocked":true)");
    m_site.Account("limited", "pw", R"("limited":true)");
    const std::string lamp = m_site.AddItem(R"({"title":"Lamp","price":5,"ends_in":3600})");
    const std::string picky =
        m_site.AddItem(R"({"title":"Vase","price":5,"ends_in":3600,"buyer_requirements":true})");
    const std::string over = m_site.AddItem(R"({"title":"Clock","price":5,"ends_in":1})");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    struct Case {
        CItem item;
        std::string problem;
    } cases[] = {
        {Item(lamp, "US $20.00", "jo", "wrong"), "Username and Password is invalid."},
        {Item(lamp, "US $20.00", "blocked"),
         "Your transaction is blocked, please contact the seller."},
        {Item(lamp, "US $20.00", "limited"),
         "You have reached one or more buying activity limits."},
        {Item(lamp, "US $1.00"), "Bid is less than the minimun bid.Increse your price."},
        {Item(picky, "US $20.00"), "You do not meet buyer requirements."},
        {Item(over, "US $20.00"), "The auction is ended before the bid can be placed."},
    };
    for (const Case& c : cases) {
        PreFlightResult r = PreFlight(c.item);
        EXPECT_FALSE(r.ok) << c.item.m_strUserId << " " << c.item.m_strMyBid;
        EXPECT_EQ(r.problem, c.problem);
        EXPECT_TRUE(r.prepared.key.empty());
    }
    // A site that does not answer at all.
    m_site.Fault(R"({"prefix":"/ws/eBayISAPI.dll?SignIn","empty":true,"count":1})");
    PreFlightResult silent = PreFlight(Item(lamp, "US $20.00"));
    EXPECT_FALSE(silent.ok);
    EXPECT_EQ(silent.problem, "The site did not answer.");
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
    EXPECT_FALSE(JoBid(lamp));
}

TEST_F(PreFlightTest, AtTheMomentOnlyTheConfirmationGoesAndAStaleFormFallsBackOnce) {
    const std::string lamp = m_site.AddItem(R"({"title":"Lamp","price":5,"ends_in":3600})");
    const std::string vase = m_site.AddItem(R"({"title":"Vase","price":5,"ends_in":3600})");
    std::atomic<bool> stopping{false};
    std::vector<std::unique_ptr<CBidRequest>> done;
    auto deliver = [&](std::unique_ptr<CBidRequest> r) { done.push_back(std::move(r)); };

    PreFlightResult fresh = PreFlight(Item(lamp, "US $20.00"));
    ASSERT_TRUE(fresh.ok) << fresh.problem;
    m_site.ClearLog();
    auto bid = std::make_unique<CBidRequest>(Item(lamp, "US $20.00"));
    ASSERT_TRUE(PreparedFor(fresh.prepared, *bid));
    PlacePreparedBid(std::move(bid), fresh.prepared, stopping, deliver);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_TRUE(done[0]->m_bSucceeded) << done[0]->m_strResult;
    EXPECT_EQ(done[0]->m_nRequestsAtMoment, 1);
    EXPECT_EQ(m_site.Log().size(), 1u);
    EXPECT_EQ(done[0]->m_strMyBid, " $20.00");  // trimmed as the whole conversation does

    // The form's key goes stale (its lifetime passes): the whole
    // conversation runs at once and the bid still lands, once.
    PreFlightResult stale = PreFlight(Item(vase, "US $20.00"));
    ASSERT_TRUE(stale.ok);
    m_site.Control("POST", "/_control/keys", R"({"ttl":0.2})");
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    m_site.ClearLog();
    PlacePreparedBid(std::make_unique<CBidRequest>(Item(vase, "US $20.00")), stale.prepared,
                     stopping, deliver);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_TRUE(done[1]->m_bSucceeded) << done[1]->m_strResult;
    EXPECT_EQ(done[1]->m_nRequestsAtMoment, 5);
    EXPECT_EQ(m_site.CountLog(test::kSignInStep), 1u);
    EXPECT_EQ(m_site.CountLog(test::kOfferFormStep), 1u);
    bx::Json item = m_site.Control("GET", "/_control/items/" + vase);
    EXPECT_EQ(item.Get("bids")->AsNumber(), 1);
    EXPECT_EQ(item.Get("high_bidder")->AsString(), "jo");

    // A form kept for another amount or set-up is not used.
    CBidRequest other(Item(lamp, "US $25.00"));
    EXPECT_FALSE(PreparedFor(fresh.prepared, other));
}

TEST_F(PreFlightTest, TheWorkerLandsTheConfirmationAtItsMillisecondMoment) {
    const std::string lamp = m_site.AddItem(R"({"title":"Lamp","price":5,"ends_in":3600})");
    // 40 ms on every answer: the round trip the worker measures, half of
    // which it sends early.
    m_site.Fault(R"({"prefix":"/ws/eBayISAPI.dll","latency_ms":40})");
    CUiDispatcher ui;
    BidOwner owner;
    CBidThread bidder(&owner, ui);
    ASSERT_TRUE(bidder.CreateThread());
    bidder.PostCheck(std::make_unique<CBidRequest>(Item(lamp, "US $20.00")));
    ASSERT_TRUE(RunUntil(ui, [&] { return owner.checks.size() == 1; }));
    EXPECT_TRUE(owner.checks[0]->m_bSucceeded) << owner.checks[0]->m_strResult;
    m_site.ClearLog();

    // A moment with a fraction of a second, a little ahead.
    const int64_t moment = GetClock().NowMs() + 1337;
    auto bid = std::make_unique<CBidRequest>(Item(lamp, "US $20.00"));
    bid->m_nArriveAtMs = moment;
    bidder.PostBid(std::move(bid));
    ASSERT_TRUE(RunUntil(ui, [&] { return owner.bids.size() == 1; }));
    bidder.StopWorker();
    EXPECT_TRUE(owner.bids[0]->m_bSucceeded) << owner.bids[0]->m_strResult;
    EXPECT_EQ(owner.bids[0]->m_nRequestsAtMoment, 1);

    bx::Json log = m_site.Control("GET", "/_control/log");
    ASSERT_EQ(log.Items().size(), 1u);
    const double arrived = log.Items()[0].Get("time")->AsNumber() * 1000.0;
    // The site's 40 ms are a round trip, half on the way in: the request,
    // sent half of it early, is logged on the moment.
    EXPECT_NEAR(arrived, moment, 15.0) << arrived - moment;
}

TEST_F(PreFlightTest, ADryRunGoesUpToTheConfirmationAndSaysWhatItWouldSend) {
    const std::string lamp = m_site.AddItem(R"({"title":"Lamp","price":5,"ends_in":3600})");
    CUiDispatcher ui;
    BidOwner owner;
    CBidThread bidder(&owner, ui);
    ASSERT_TRUE(bidder.CreateThread());
    auto bid = std::make_unique<CBidRequest>(Item(lamp, "US $20.00"));
    bid->m_bDryRun = true;
    bid->m_nArriveAtMs = GetClock().NowMs();
    bidder.PostBid(std::move(bid));
    auto wrong = std::make_unique<CBidRequest>(Item(lamp, "US $20.00", "jo", "wrong"));
    wrong->m_bDryRun = true;
    bidder.PostBid(std::move(wrong));
    ASSERT_TRUE(RunUntil(ui, [&] { return owner.bids.size() == 2; }));
    bidder.StopWorker();
    const std::string& said = owner.bids[0]->m_strResult;
    EXPECT_EQ(said.rfind("Dry run: would send http://", 0), 0u) << said;
    EXPECT_NE(said.find("maxbid=%20$20.00&Item=" + lamp + "&key="), std::string::npos) << said;
    EXPECT_NE(said.find("&pass=****&"), std::string::npos);  // no password, no form token
    EXPECT_EQ(said.find("pw"), std::string::npos);
    EXPECT_EQ(owner.bids[1]->m_strResult,
              "Dry run: the bid would fail: Username and Password is invalid.");
    EXPECT_EQ(m_site.CountLog(test::kConfirmStep), 0u);
    EXPECT_FALSE(JoBid(lamp));
}

}  // namespace
}  // namespace bexora
