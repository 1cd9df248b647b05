// The list core on its real workers against the local auction site.

#include <chrono>
#include <cmath>
#include <regex>
#include <thread>

#include "ListHarness.h"
#include "bidding/SiteHarness.h"

namespace bexora::auction {
std::string FormatTimePageDate(int64_t utc);  // the local site's time page text
}

namespace bexora::test {
namespace {

// The bid's own result is in the item's history (a passed check comes first).
bool HasResult(const CItem& item) {
    return item.m_strMessages.find("Bid Success") != std::string::npos ||
           item.m_strMessages.find("Bid failure") != std::string::npos;
}

class SiteRun : public ::testing::Test {
protected:
    void SetUp() override {
        // The site writes Pacific times; with this zone a clock offset of 0
        // (pinned by the harness) is the true one.
        setenv("TZ", "America/Los_Angeles", 1);
        tzset();
        ASSERT_TRUE(m_site.Ok());
        m_site.Account("jo", "pw");
        m_doc.SetPathName(m_site.WorkFile("list.bid"));
        m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui);
        m_core->Initialize();
        TakeShownPrompts();
    }
    void TearDown() override {
        m_core.reset();
        TakeShownPrompts();
    }
    // Ticks once a second (on the real clock) and runs the workers' results
    // until done() or the time is up.
    template <class Done>
    bool RunUntil(Done done, int seconds = 20) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (m_core->MsUntilNextTick() == 0) m_core->OnTick();
            m_ui.WaitAndRunPending(static_cast<int>(std::min<int64_t>(m_core->MsUntilNextTick(), 50)));
            if (done()) return true;
        }
        return false;
    }

    // A listed item of the site with a bid of jo's set up on it.
    CItem& Listed(const std::string& spec, const std::string& myBid, const std::string& group = "N/A") {
        const std::string number = m_site.AddItem(spec);
        EXPECT_TRUE(m_core->AddSingleItem(number));
        CItem& item = *m_core->GetItem(m_core->FindRow(number));
        item.m_strUserId = "jo";
        item.m_strPassword = "pw";
        item.m_strMyBid = myBid;
        item.m_strBidGroup = group;
        if (group != "N/A") m_core->GetBidGroups().JoinGroup(group, 1);
        return item;
    }
    size_t Notices(const std::string& start) const {
        size_t n = 0;
        for (const auto& notice : m_front.notices) n += notice.first.rfind(start, 0) == 0;
        return n;
    }
    // Confirmations the site received for the item.
    size_t Confirmations(const std::string& number) {
        size_t n = 0;
        for (const std::string& t : m_site.Log())
            n += t.find(kConfirmStep) != std::string::npos && t.find("Item=" + number) != std::string::npos;
        return n;
    }

    LocalSite m_site;
    CebayDoc m_doc;
    FakeFrontEnd m_front;
    CUiDispatcher m_ui;
    std::unique_ptr<CItemListCore> m_core;
};

TEST_F(SiteRun, AddSingleItemReadsThePageAndRefusesDuplicatesAndUnknowns) {
    const std::string number = m_site.AddItem(R"({"title":"Brass lamp","price":5,"ends_in":600})");
    EXPECT_TRUE(m_core->AddSingleItem("  " + number + " "));
    ASSERT_EQ(m_core->GetRowCount(), 1);
    EXPECT_EQ(m_core->GetCellText(0, kColItem), number);
    EXPECT_EQ(m_core->GetCellText(0, kColTitle), "Brass lamp");
    EXPECT_TRUE(TakeShownPrompts().empty());

    m_site.Control("POST", "/_control/bid", R"({"item":")" + number + R"(","user":"rival","max":9})");
    EXPECT_FALSE(m_core->AddSingleItem(number));
    EXPECT_FALSE(m_core->AddSingleItem("1234567890"));
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"Item already in the list",
                                                            "Can not add Item.\n Check the item number!"}));
    EXPECT_EQ(m_core->GetRowCount(), 1);
    EXPECT_EQ(m_core->GetCellText(0, kColBidCount), "1");  // the listed row was refreshed
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_EQ(reread.Items().size(), 1u);
}

TEST_F(SiteRun, ASingleReadOfTheSiteClockLeavesASnipeOnItsWholeSecond) {
    // One read of the time page (the keeper's series cut short by a time
    // host that went silent) pins the offset no closer than a second; the
    // snipe then goes at its whole second, as it always did, not up to
    // half a second away on a guess.
    FixClockOffset(std::nullopt);
    ForgetClockOffset();
    GetClockOffset(true);
    ASSERT_GE(ClockOffsetBoundMs(), 500);
    CItem item;
    item.m_bBidPending = 1;
    item.m_tBidTime = LocalNow() + 120;
    EXPECT_EQ(m_core->BidMomentMs(item), item.m_tBidTime * 1000);
    ForgetClockOffset();
}

TEST_F(SiteRun, ScheduledSnipeIsPlacedAndItsResultMerged) {
    const std::string number = m_site.AddItem(R"({"title":"Brass lamp","price":5,"ends_in":120})");
    ASSERT_TRUE(m_core->AddSingleItem(number));
    CItem& item = *m_core->GetItem(0);
    item.m_strUserId = "jo";
    item.m_strPassword = "pw";
    item.m_strMyBid = "$12.00";
    item.m_bBidPending = 1;
    item.m_tBidTime = LocalNow() + 1;
    ASSERT_TRUE(RunUntil([&] { return !item.m_strMessages.empty(); }));
    EXPECT_EQ(item.m_strMessages.rfind("Bid Success: " + number + " (Brass lamp..) ", 0), 0u) << item.m_strMessages;
    EXPECT_FALSE(item.m_bBidPending);
    EXPECT_TRUE(item.m_bHighBidder);
    EXPECT_EQ(m_front.navigated.size(), 1u);
    EXPECT_EQ(m_site.Control("GET", "/_control/items/" + number).Get("high_bidder")->AsString(), "jo");

    // A refresh through the update worker brings the site's view back.
    m_site.Control("POST", "/_control/bid", R"({"item":")" + number + R"(","user":"rival","max":20})");
    Settings().WriteInt(setting::MessageLevel, 0);
    m_core->Notices().SetLevel(0);
    m_core->UpdateRow(0);
    ASSERT_TRUE(RunUntil([&] { return m_core->UpdatesInFlight().Size() == 0; }));
    EXPECT_TRUE(item.m_bNotified);
    EXPECT_EQ(m_front.notices.back().first, "Bid Warning: " + number + "Other bidder outbid you.");
    CebayDoc reread;
    m_core->SaveDocument();
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_TRUE(reread.FindItem(number)->m_bNotified);
}

TEST_F(SiteRun, ACheckedSnipeSendsOneRequestAtItsMomentAndLandsOnIt) {
    const std::string number = m_site.AddItem(R"({"title":"Brass lamp","price":5,"ends_in":10})");
    ASSERT_TRUE(m_core->AddSingleItem(number));
    CItem& snipe = *m_core->GetItem(m_core->FindRow(number));
    snipe.m_strUserId = "jo";
    snipe.m_strPassword = "pw";
    snipe.m_strMyBid = "$12.00";
    snipe.m_bBidPending = 1;
    snipe.m_tBidTime = snipe.m_tEndTime - 4;  // the offset is 0 here
    const double moment = static_cast<double>(m_core->BidMomentMs(snipe));
    m_site.ClearLog();
    ASSERT_TRUE(RunUntil([&] { return HasResult(snipe) && !snipe.m_bBidPending; }));
    EXPECT_EQ(snipe.m_strMessages.rfind("Bid Success: " + number, 0), 0u) << snipe.m_strMessages;

    // Checked ahead: one sign-in and one form, long before; the
    // confirmation alone at the moment, to within a few milliseconds.
    EXPECT_EQ(m_site.CountLog(kSignInStep), 1u);
    EXPECT_EQ(m_site.CountLog(kOfferFormStep), 1u);
    double confirmedAt = 0, formAt = 0;
    const bx::Json log = m_site.Control("GET", "/_control/log");
    for (const bx::Json& e : log.Items()) {
        const std::string& target = e.Get("target")->AsString();
        if (target.find(kOfferFormStep) != std::string::npos)
            formAt = e.Get("time")->AsNumber() * 1000;
        if (target.find(kConfirmStep) != std::string::npos)
            confirmedAt = e.Get("time")->AsNumber() * 1000;
    }
    EXPECT_LT(formAt, moment - 3000);
    EXPECT_NEAR(confirmedAt, moment, 30.0);
}

// The whole-minute refresh goes out in the tick that fires the snipe and
// answers first (the confirmation is slow); a rival had pushed the price
// past my maximum, so the refresh sees me outbid and the bid then fails.
TEST_F(SiteRun, OutbidRefreshBeforeAFailedBidGivesTheGroupSlotBackOnce) {
    Settings().WriteInt(setting::MessageLevel, 0);
    m_core->Notices().SetLevel(0);
    CItem& a = Listed(R"({"title":"Brass lamp","price":15,"ends_in":120})", "$12.00", "lamps");
    CItem& b = Listed(R"({"title":"Copper lamp","price":5,"ends_in":180})", "$30.00", "lamps");
    const std::string na = a.m_strItemNumber, nb = b.m_strItemNumber;
    b.m_bBidPending = 1;
    b.m_tBidTime = LocalNow() + 100000;
    CBidGroup& lamps = *m_core->GetBidGroups().FindGroup("lamps");
    m_site.Fault(R"({"contains":"mode=1","count":1,"latency_ms":1500})");

    m_core->TriggerBid(a);
    m_core->UpdateRow(m_core->FindRow(na));
    EXPECT_EQ(lamps.GetWanted(), 0);
    ASSERT_TRUE(RunUntil([&] { return m_front.navigated.size() == 1 && m_core->UpdatesInFlight().Size() == 0; }));
    EXPECT_EQ(Notices("Bid Warning: " + na + "Other bidder outbid you."), 1u);
    EXPECT_EQ(Notices("Bid failure: " + na), 1u);
    EXPECT_EQ(lamps.GetWanted(), 1);

    // The other lamp takes the one free slot, and the group stops there.
    b.m_tBidTime = LocalNow();
    ASSERT_TRUE(RunUntil([&] { return m_front.navigated.size() == 2; }));
    EXPECT_EQ(Notices("Bid Success: " + nb), 1u);
    EXPECT_EQ(lamps.GetWanted(), 0);
    EXPECT_EQ(Confirmations(na), 1u);
    EXPECT_EQ(Confirmations(nb), 1u);
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    ASSERT_EQ(reread.BidGroups().Groups().size(), 1u);
    EXPECT_EQ(reread.BidGroups().Groups().front()->GetWanted(), 0);
    EXPECT_TRUE(reread.FindItem(na)->m_bNotified);
}

// The bid leaves in the auction's last seconds and its confirmation comes
// after the end; the end-of-auction refresh answers first, with my "sent"
// bid above the price.
TEST_F(SiteRun, EndBeforeTheBidsResultIsNoWin) {
    Settings().WriteInt(setting::MessageLevel, 0);
    m_core->Notices().SetLevel(0);
    CItem& c = Listed(R"({"title":"Tin lamp","price":5,"ends_in":3})", "$12.00");
    const std::string nc = c.m_strItemNumber;
    m_site.Fault(R"({"contains":"mode=1","count":1,"latency_ms":8000})");  // handled after the end
    m_core->TriggerBid(c);
    ASSERT_TRUE(RunUntil([&] { return m_front.navigated.size() == 1 && m_core->UpdatesInFlight().Size() == 0; }));
    EXPECT_EQ(c.m_strTimeLeft, "Ended");
    EXPECT_EQ(Notices("Bid Wins:"), 0u);
    EXPECT_EQ(Notices("Bid failure: " + nc), 1u);
    EXPECT_TRUE(c.m_bNotified);
    EXPECT_EQ(c.m_strMessages.find("Bid Wins"), std::string::npos);
    EXPECT_EQ(Confirmations(nc), 1u);
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_TRUE(reread.FindItem(nc)->m_bNotified);
}

// After the end, the item's history tells when the site recorded my bid and
// how long before the end that was, read once from the site's bid history.
TEST_F(SiteRun, EndedAuctionRecordsWhenTheSiteTookMyBid) {
    m_site.Control("POST", "/_control/clock", R"({"bid_fractions":true})");
    CItem& c = Listed(R"({"title":"Tin lamp","price":5,"ends_in":3})", "$12.00");
    const std::string nc = c.m_strItemNumber;
    m_core->TriggerBid(c);
    ASSERT_TRUE(RunUntil([&] { return c.m_strMessages.find("Bid landed: ") != std::string::npos; }))
        << c.m_strMessages;

    // The margin the site's own record gives, against the end the item page shows.
    const bx::Json state = m_site.Control("GET", "/_control/items/" + nc);
    const double bidAt = state.Get("history")->Items().back().Get("time")->AsNumber();
    // (the page shows the fraction cut to milliseconds)
    const int64_t bidMs = static_cast<int64_t>(std::floor(bidAt)) * 1000 +
                          static_cast<int>((bidAt - std::floor(bidAt)) * 1000);
    const int64_t margin = c.m_tEndTime * 1000 - bidMs;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%03lld", static_cast<long long>(margin / 1000),
                  static_cast<long long>(margin % 1000));
    EXPECT_NE(c.m_strMessages.find(", " + std::string(seconds) + " seconds before the end.\n"), std::string::npos)
        << c.m_strMessages;
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_NE(reread.FindItem(nc)->m_strMessages.find("Bid landed: "), std::string::npos);

    // Later refreshes of the ended item neither ask again nor add a line.
    m_core->UpdateRow(m_core->FindRow(nc));
    ASSERT_TRUE(RunUntil([&] { return m_core->UpdatesInFlight().Size() == 0; }));
    EXPECT_EQ(m_site.CountLog("ViewBids"), 1u);
    EXPECT_EQ(c.m_strMessages.find("Bid landed: "), c.m_strMessages.rfind("Bid landed: "));
}

// Without milliseconds on the page the record is to the second; an item
// with no bid of mine in the history gets no line.
TEST_F(SiteRun, BidLandingToTheSecondAndOnlyForMyBids) {
    CItem& c = Listed(R"({"title":"Tin lamp","price":5,"ends_in":3})", "$12.00");
    CItem& d = Listed(R"({"title":"Zinc lamp","price":5,"ends_in":3})", "$12.00");
    d.m_strUserId = "someone";
    m_site.Control("POST", "/_control/bid", R"({"item":")" + d.m_strItemNumber + R"(","user":"rival","max":9})");
    m_core->TriggerBid(c);
    ASSERT_TRUE(RunUntil([&] {
        return c.m_strMessages.find("Bid landed: ") != std::string::npos && m_site.CountLog("ViewBids") == 2;
    })) << c.m_strMessages;
    EXPECT_NE(c.m_strMessages.find(" seconds before the end.\n"), std::string::npos) << c.m_strMessages;
    EXPECT_TRUE(std::regex_search(c.m_strMessages,
                                  std::regex(R"(Bid landed: the site recorded the bid at [A-Z][a-z]{2} \d\d, \d{4} )"
                                             R"(\d\d:\d\d:\d\d P[SD]T, \d seconds before the end\.\n)")))
        << c.m_strMessages;
    ASSERT_TRUE(RunUntil([&] { return m_core->UpdatesInFlight().Size() == 0; }, 3));
    EXPECT_EQ(d.m_strMessages.find("Bid landed: "), std::string::npos);
}

// A refresh costs one request an item: pages are parsed with the measured
// clock offset, also while the list's keeper is still at its first series
// of time page reads (it starts with the list, when nothing was measured).
TEST_F(SiteRun, RefreshCostsOneRequestAnItem) {
    m_core.reset();
    constexpr size_t kItems = 20;
    for (size_t i = 0; i < kItems; ++i) {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = m_site.AddItem(R"({"title":"Brass lamp","price":5,"ends_in":7200})");
        m_doc.AddItem(std::move(item));
    }
    FixClockOffset(std::nullopt);
    ForgetClockOffset();
    m_site.Fault(R"({"contains":"ViewItem","latency_ms":150})");
    m_site.ClearLog();
    m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui);
    m_core->Initialize();
    m_core->UpdateAll();
    ASSERT_TRUE(RunUntil([&] { return m_core->UpdatesInFlight().Size() == 0; }));
    EXPECT_EQ(m_site.CountLog("ViewItem"), kItems);
    // The keeper's series is at most ten reads; one parse may come before
    // its first read is in.
    EXPECT_LE(m_site.CountLog("TimeShow"), 11u);

    ASSERT_TRUE(RunUntil([&] { return m_core->ClockKeeper().ReadsDone() == 1; }));
    m_site.ClearLog();
    m_core->UpdateAll();
    ASSERT_TRUE(RunUntil([&] { return m_core->UpdatesInFlight().Size() == 0; }));
    EXPECT_EQ(m_site.CountLog("ViewItem"), kItems);
    EXPECT_EQ(m_site.CountLog("TimeShow"), 0u);
    m_core.reset();
    ForgetClockOffset();
}


// The computer's clock is stepped while a list runs (NTP after a resume, a
// restored virtual machine); the site's clock does not move. Each snipe
// still reaches the site at its moment by the site's clock, once, and one
// odd time page (a stale copy, a page dated an hour ahead) moves nothing.
class SiteClockEvents : public SiteRun {
protected:
    void SetUp() override {
        SiteRun::SetUp();
        SetClock(&m_clock);
        FixClockOffset(std::nullopt);
        ForgetClockOffset();
        Settings().WriteInt(setting::MessageLevel, 0);
    }
    void TearDown() override {
        SiteRun::TearDown();
        SetClock(nullptr);
        ForgetClockOffset();
    }
    // A fresh list (as a program started now) with one snipe of jo's due
    // dueIn seconds from now by the site's clock; its site moment.
    int64_t StartWithSnipe(const std::string& file, int dueIn, CItem** snipe) {
        m_core.reset();
        m_doc.DeleteContents();
        m_doc.SetPathName(m_site.WorkFile(file));
        m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui);
        m_core->Initialize();
        const std::string number =
            m_site.AddItem(R"({"title":"Brass lamp","price":5,"ends_in":)" + std::to_string(dueIn + 3) + "}");
        EXPECT_TRUE(m_core->AddSingleItem(number));
        CItem& item = *m_core->GetItem(m_core->FindRow(number));
        item.m_strUserId = "jo";
        item.m_strPassword = "pw";
        item.m_strMyBid = "$12.00";
        item.m_bBidPending = 1;
        const int64_t site = item.m_tEndTime - 3;
        WriteSiteMoment(item, site);
        item.m_tBidTime = site + ReadClockOffset();
        m_core->NoteBidTimeSet();
        *snipe = &item;
        return site;
    }
    // Where the site's clock stood (ms) when the item's confirmation came.
    double ConfirmedAtSiteMs(const std::string& number) {
        const bx::Json log = m_site.Control("GET", "/_control/log");
        for (const bx::Json& e : log.Items()) {
            const std::string& target = e.Get("target")->AsString();
            if (target.find(kConfirmStep) != std::string::npos && target.find("Item=" + number) != std::string::npos)
                return e.Get("site_time")->AsNumber() * 1000;
        }
        return 0;
    }
    std::string TimePageAt(int64_t siteSeconds) {
        return "<table><tr><td>The official eBay Time is now:</td><td>" +
               bx::FormatTimePageDate(siteSeconds) + "</td></tr></table>";
    }
    void TimePageFault(const std::string& fields) {
        m_site.Fault(R"({"path":"/aw-cgi/eBayISAPI.dll","contains":"TimeShow",)" + fields + "}");
    }

    CSteppedClock m_clock;
};

TEST_F(SiteClockEvents, ASnipeLandsOnItsSiteMomentWhateverTheLocalClockDoes) {
    enum class Page { Real, Silent, Stale, HourAhead };
    struct Row {
        const char* name;
        int64_t stepMs;  // the computer's clock, 1.5 s into the run
        Page page;       // what the time host serves from the start of the run
        int pages;       // how many such pages (0: every one)
    };
    const Row rows[] = {
        {"stepped 1 s ahead", 1000, Page::Real, 0},
        {"stepped 1 s back", -1000, Page::Real, 0},
        {"stepped 5 min ahead", 300000, Page::Real, 0},
        {"stepped 5 min back", -300000, Page::Real, 0},
        {"stepped an hour ahead", 3600000, Page::Real, 0},
        {"stepped an hour back", -3600000, Page::Real, 0},
        {"stepped an hour ahead, the time host silent", 3600000, Page::Silent, 0},
        {"a stale time page", 0, Page::Stale, 1},
        {"a time page an hour ahead", 0, Page::HourAhead, 1},
        {"three time pages an hour ahead", 0, Page::HourAhead, 3},
    };
    // Measured once, as a list does at its start.
    {
        CClockKeeper keeper;
        keeper.RequestRead();
        for (int i = 0; i < 2000 && keeper.ReadsDone() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(IsClockOffsetMeasured());
    ASSERT_LT(ClockOffsetBoundMs(), 100);
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CItem* snipe = nullptr;
        const int64_t site = StartWithSnipe("clock" + std::to_string(++n) + ".bid", 5, &snipe);
        const std::string number = snipe->m_strItemNumber;
        const int64_t now = static_cast<int64_t>(m_site.Control("GET", "/_control/clock").Get("site_time")->AsNumber());
        const std::string count = row.pages ? R"(,"count":)" + std::to_string(row.pages) : std::string();
        if (row.page == Page::Stale) TimePageFault(R"("answer":)" + bx::Json(TimePageAt(now - 600)).Dump() + count);
        if (row.page == Page::HourAhead) TimePageFault(R"("answer":)" + bx::Json(TimePageAt(now + 3600)).Dump() + count);
        m_site.ClearLog();
        RunUntil([] { return false; }, 1);
        m_clock.StepWallMs(row.stepMs);
        if (row.page == Page::Silent) TimePageFault(R"("status":500)");
        ASSERT_TRUE(RunUntil([&] { return !snipe->m_bBidPending && HasResult(*snipe); }, 15));
        EXPECT_EQ(Confirmations(number), 1u);
        EXPECT_NEAR(ConfirmedAtSiteMs(number), site * 1000.0, 400.0) << snipe->m_strMessages;
        // The saved list has the bid's moment on the stepped clock.
        m_clock.StepWallMs(-row.stepMs);
        m_site.ClearFaults();
    }
}

// A snipe set up while the time host was silent holds its site moment only;
// the program restarted with the host back sends it at that moment, not at
// the local time the unread offset gave it.
TEST_F(SiteClockEvents, ABidSetWhileTheClockWasUnreadLandsOnItsMomentAfterARestart) {
    setenv("TZ", "UTC", 1);  // the site's Pacific times are then 8 hours off local time
    tzset();
    TimePageFault(R"("status":500)");
    CItem* snipe = nullptr;
    const int64_t site = StartWithSnipe("restart.bid", 8, &snipe);
    EXPECT_FALSE(IsClockOffsetMeasured());
    const std::string number = snipe->m_strItemNumber;
    m_core->SaveDocument();
    m_core.reset();

    m_site.ClearFaults();
    m_site.ClearLog();
    m_doc.DeleteContents();
    ASSERT_TRUE(m_doc.OnOpenDocument(m_site.WorkFile("restart.bid")));
    m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui);
    m_core->Initialize();
    CItem& item = *m_core->GetItem(m_core->FindRow(number));
    ASSERT_TRUE(RunUntil([&] { return !item.m_bBidPending && HasResult(item); }, 20));
    EXPECT_EQ(Confirmations(number), 1u);
    // site is a Pacific time read as UTC: the true instant is 8 hours on.
    EXPECT_NEAR(ConfirmedAtSiteMs(number), (site + 8 * 3600) * 1000.0, 400.0) << item.m_strMessages;
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
}

}  // namespace
}  // namespace bexora::test
