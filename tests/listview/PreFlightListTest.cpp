// Scheduled bids with the check ahead of them: when the check goes, what a
// problem it finds tells the user, the millisecond hand-over of the bid,
// "Check now" and the dry run.

#include "ListHarness.h"

namespace bexora::test {
namespace {

struct CheckingJobs : CapturedJobs {
    void PostCheck(std::unique_ptr<CBidRequest> request) override {
        checkMs.push_back(GetClock().NowMs());
        checks.push_back(std::move(request));
    }
    std::vector<std::unique_ptr<CBidRequest>> checks;
    std::vector<int64_t> checkMs;
};

class PreFlightList : public ListTest {
protected:
    void StartChecking() {
        m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui, &m_checking);
        m_core->Initialize();
    }
    CItem& Sniped(const std::string& number, int64_t bidIn) {
        CItem& item = Add(number, bidIn + 30);
        Schedule(item, "$20.00", Now() + bidIn);
        item.m_strUserId = "jo";
        item.m_strPassword = "pw";
        return item;
    }
    bool Noticed(const std::string& part) const {
        for (const std::string& line : m_core->Notices().Lines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    CheckingJobs m_checking;
};

TEST_F(PreFlightList, TheCheckGoesAMinuteAheadAndTheBidGoesToTheWorkerBeforeItsMoment) {
    ASSERT_EQ(Settings().GetInt(setting::PreFlightSec), 60);  // on by default
    const int64_t moment = Now() + 120;
    Sniped("1000000001", 120);
    Add("1000000002", 600);  // no bid: never checked
    StartChecking();
    Tick(59);
    EXPECT_TRUE(m_checking.checks.empty());
    Tick(2);  // the tick at moment - 60
    ASSERT_EQ(m_checking.checks.size(), 1u);
    EXPECT_EQ(m_checking.checks[0]->m_strItemNumber, "1000000001");
    EXPECT_EQ(m_checking.checkMs[0], (moment - 60) * 1000);
    // The bid itself is not yet placed or marked sent.
    EXPECT_TRUE(Row(0).m_bBidPending);
    EXPECT_TRUE(m_checking.bids.empty());

    // Handed over on a tick ahead of the moment, with the moment itself.
    while (m_checking.bids.empty() && Now() < moment + 2) Tick();
    ASSERT_EQ(m_checking.bids.size(), 1u);
    EXPECT_LT(m_checking.bidMs[0], moment * 1000);
    EXPECT_GE(m_checking.bidMs[0], moment * 1000 - 2000);
    EXPECT_EQ(m_checking.bids[0]->m_nArriveAtMs, moment * 1000);
    EXPECT_FALSE(m_checking.bids[0]->m_bDryRun);
    EXPECT_EQ(m_checking.checks.size(), 1u);  // one check per set-up
    EXPECT_FALSE(Row(0).m_bBidPending);
}

TEST_F(PreFlightList, AProblemIsToldAtOnceWithTheTimeLeftAndTheBidStaysScheduled) {
    CItem& item = Sniped("1000000001", 90);
    StartChecking();
    Tick(31);
    ASSERT_EQ(m_checking.checks.size(), 1u);
    std::unique_ptr<CBidRequest> answer = std::move(m_checking.checks[0]);
    answer->m_bSucceeded = false;
    answer->m_strResult = "Username and Password is invalid.";
    m_core->OnPreFlightDone(std::move(answer));

    const std::string told =
        "Bid check failed:1000000001 (Item 100000..) Username and Password is invalid. 00:00:59 "
        "left "
        "to fix it before the bid.";
    EXPECT_TRUE(Noticed(told));
    ASSERT_EQ(m_front.balloons.size(), 1u);
    EXPECT_EQ(m_front.balloons[0].second, told);
    EXPECT_EQ(m_front.balloonItems[0], std::make_pair(std::string("1000000001"), 3));
    EXPECT_EQ(item.m_strMessages.rfind(told + "\n", 0), 0u);
    EXPECT_TRUE(item.m_bBidPending);
    EXPECT_FALSE(item.m_bNotified);

    // The bid goes all the same: the user may have fixed it meanwhile.
    Tick(60);
    EXPECT_EQ(m_checking.bids.size(), 1u);
}

TEST_F(PreFlightList, CheckNowChecksTheSelectedBidsAndSaysWhenThereIsNone) {
    Sniped("1000000001", 3600);
    Add("1000000002", 600);
    StartChecking();
    m_core->SelectAll();
    m_core->CheckSelected();
    ASSERT_EQ(m_checking.checks.size(), 1u);
    EXPECT_EQ(m_checking.checks[0]->m_strItemNumber, "1000000001");
    EXPECT_TRUE(Noticed("Bid check:1000000002 No bid to check."));
    EXPECT_EQ(m_core->LastChecks().at("1000000002"), "No bid to check.");

    std::unique_ptr<CBidRequest> answer = std::move(m_checking.checks[0]);
    answer->m_bSucceeded = true;
    m_core->OnPreFlightDone(std::move(answer));
    EXPECT_EQ(m_core->CheckResults(), 1);
    EXPECT_EQ(m_core->LastChecks().at("1000000001"), "");
    // Passed: the item's history, and the lowest notice level only.
    EXPECT_EQ(m_core->GetItem(m_core->FindRow("1000000001"))->m_strMessages.rfind("Bid check passed:1000000001", 0), 0u);
    EXPECT_EQ(std::find_if(m_front.notices.begin(), m_front.notices.end(),
                           [](const auto& n) { return n.first.rfind("Bid check passed", 0) == 0 && n.second > 0; }),
              m_front.notices.end());
    EXPECT_TRUE(m_front.balloons.empty());
}

TEST_F(PreFlightList, ADryRunShowsTheBidOnceAndLeavesTheListAsItWas) {
    CItem& item = Sniped("1000000001", 5);
    StartChecking();
    m_core->SetDryRun(true);
    Tick(8);
    ASSERT_EQ(m_checking.bids.size(), 1u);
    EXPECT_TRUE(m_checking.bids[0]->m_bDryRun);
    EXPECT_TRUE(item.m_bBidPending);
    EXPECT_FALSE(item.m_bHighBidder);
    std::unique_ptr<CBidRequest> answer = std::move(m_checking.bids[0]);
    answer->m_strResult = "Dry run: would send http://offer/...";
    m_core->OnBidPlaced(std::move(answer));
    EXPECT_TRUE(Noticed("Dry run:1000000001 Dry run: would send"));
    EXPECT_TRUE(item.m_bBidPending);
    EXPECT_TRUE(item.m_strMessages.empty());
    EXPECT_TRUE(m_front.navigated.empty());
}

TEST_F(PreFlightList, WithTheCheckOffTheBidGoesAsAWholeAtItsTick) {
    Settings().WriteInt(setting::PreFlightSec, 0);
    Sniped("1000000001", 70);
    StartChecking();
    Tick(70);
    EXPECT_TRUE(m_checking.bids.empty());
    Tick();
    ASSERT_EQ(m_checking.bids.size(), 1u);
    EXPECT_EQ(m_checking.bids[0]->m_nArriveAtMs, 0);
    EXPECT_TRUE(m_checking.checks.empty());
}

}  // namespace
}  // namespace bexora::test
