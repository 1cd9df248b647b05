// What each refresh, bid result and trigger tells the user.

#include "ListHarness.h"

namespace bexora::test {
namespace {

TEST(NoticeLog, FilterKeepsLevelsAtOrAboveIt) {
    for (int filter = 0; filter <= 3; ++filter) {
        CNoticeLog log;
        std::vector<int> heard;
        log.SetListener([&](const std::string&, int level) { heard.push_back(level); });
        log.SetLevel(filter);
        for (int level = 0; level <= 3; ++level)
            EXPECT_EQ(log.Notify("n" + std::to_string(level), level), level >= filter);
        std::vector<int> expected;
        for (int level = filter; level <= 3; ++level) expected.push_back(level);
        EXPECT_EQ(heard, expected) << "filter " << filter;
        EXPECT_EQ(log.Lines().size(), expected.size());
        log.Clear();
        EXPECT_TRUE(log.Lines().empty());
    }
}

class Notices : public ListTest {
protected:
    // One of my bids on item 1000000001 (high bidder: the bid was sent).
    CItem& MyItem(int64_t endsIn, bool pending, bool high, const std::string& group = "N/A") {
        CItem& item = Add("1000000001", endsIn, "$20.00");
        item.m_strTitle = "Brass lamp with shade";
        item.m_bBidPending = pending;
        item.m_tBidTime = Now() + 100000;
        item.m_bHighBidder = high;
        item.m_strBidGroup = group;
        return item;
    }
    // The item's refresh comes back with this price and time left.
    void Refresh(const std::string& price, const std::string& timeLeft, bool changed = true) {
        m_core->UpdateRow(0);
        AnswerUpdates([&](CItem& u) {
            u.m_strCurrentPrice = price;
            u.m_strTimeLeft = timeLeft;
            u.m_bChanged = changed;
        });
    }
    std::vector<std::string> BalloonTitles() const {
        std::vector<std::string> out;
        for (auto& b : m_front.balloons) out.push_back(b.first);
        return out;
    }
    void StartWithFilter(int level) {
        Settings().WriteInt(setting::MessageLevel, level);
        Start();
    }
};

TEST_F(Notices, PriceChangeOnAnItemNotMineIsLevelZero) {
    Add("1000000002", 3000).m_strTitle = "Vase";
    StartWithFilter(0);
    Refresh("$12.00", "00:40:00");
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{"Bid Change:1000000002 Vase"});
    EXPECT_EQ(m_front.notices[0].second, 0);
    Refresh("$12.00", "00:40:00", false);  // nothing changed: nothing said
    EXPECT_EQ(m_front.notices.size(), 1u);
    Refresh("$12.00", "Ended");
    EXPECT_EQ(NoticeTexts().back(), "Bid ended:  1000000002 Vase");
    EXPECT_EQ(m_front.notices.back().second, 0);
    EXPECT_TRUE(m_front.balloons.empty());
    EXPECT_TRUE(Row(0).m_strMessages.empty());
}

TEST_F(Notices, FilterTwoHidesChangesOnItemsNotMine) {
    Add("1000000002", 3000);
    StartWithFilter(2);
    Refresh("$12.00", "00:40:00");
    Refresh("$12.00", "Ended");
    EXPECT_TRUE(m_front.notices.empty());
    EXPECT_TRUE(m_core->Notices().Lines().empty());
}

TEST_F(Notices, FilterThreeStillShowsBidsNotSent) {
    CItem& a = Add("1000000001", -5);
    a.m_strMyBid = "$5.00";
    a.m_bBidPending = 1;
    a.m_tBidTime = Now();
    StartWithFilter(3);
    m_core->OnTick();
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{
                                 "Bid failed:1000000001 The auction is ended before the bid can be placed."});
}

TEST_F(Notices, ScheduledBidOvertakenByThePriceIsDropped) {
    CItem& item = MyItem(3000, true, false, "lamps");
    m_doc.BidGroups().JoinGroup("lamps", 1);
    StartWithFilter(2);
    Refresh("$20.00", "00:40:00");  // with bids, the price reached the bid
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{"Bid Warning: 1000000001Pending price too low."});
    EXPECT_EQ(m_front.notices[0].second, 2);
    EXPECT_FALSE(item.m_bBidPending);
    EXPECT_TRUE(item.m_bNotified);
    EXPECT_EQ(item.m_strMessages, "Bid Warning:  Pending price too low.\n");
    ASSERT_EQ(m_front.balloons.size(), 2u);
    EXPECT_EQ(m_front.balloons[0], std::make_pair(std::string("Bid Warning"), std::string(" Pending price too low.")));
    EXPECT_EQ(m_front.balloons[1], std::make_pair(std::string("Bid Warning, click to open ..."),
                                                  std::string("Item: 1000000001 Pending price too low.")));
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 1);  // no slot was taken
    // It never fires, and is not reported again.
    m_clock.Set(item.m_tBidTime);
    m_core->OnTick();
    EXPECT_TRUE(m_jobs.bids.empty());
    Refresh("$25.00", "00:30:00");
    EXPECT_EQ(m_front.notices.size(), 1u);
}

TEST_F(Notices, OutbidWhileRunningGivesTheGroupSlotBack) {
    CItem& item = MyItem(3000, false, true, "lamps");
    m_doc.BidGroups().JoinGroup("lamps", 0);
    StartWithFilter(1);
    Refresh("$21.00", "00:40:00");
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{"Bid Warning: 1000000001Other bidder outbid you."});
    EXPECT_TRUE(item.m_bNotified);
    EXPECT_EQ(item.m_strMessages, "Bid Warning:  Other bidder outbid you.\n");
    EXPECT_EQ(BalloonTitles(), std::vector<std::string>{"Bid Warning"});
    EXPECT_EQ(m_front.balloons[0].second, "Other bidder outbid you.");
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 1);
    EXPECT_EQ(m_core->GetRowColour(0), rowcolour::kNotified);
    // Closed: the end says nothing more.
    Refresh("$21.00", "Ended");
    EXPECT_EQ(m_front.notices.size(), 1u);
}

TEST_F(Notices, LossAtTheEndIsReportedOnce) {
    CItem& item = MyItem(3000, false, true, "lamps");
    m_doc.BidGroups().JoinGroup("lamps", 0);
    StartWithFilter(2);
    Refresh("$30.00", "Ended");
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{"Bid failed: 1000000001 Other bidder outbid you."});
    EXPECT_EQ(item.m_strMessages, "Bid Failed: Other bidder outbid you.\n");
    EXPECT_TRUE(item.m_bNotified);
    EXPECT_EQ(BalloonTitles(), std::vector<std::string>{"Bid failed, click to open ..."});
    EXPECT_EQ(m_front.balloons[0].second, "Item: 1000000001 Other bidder outbid you.");
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 1);
    m_core->OnTick();
    m_core->UpdateRow(0);
    EXPECT_TRUE(m_jobs.updates.empty());  // ended items are not fetched again
    EXPECT_EQ(m_front.notices.size(), 1u);
}

TEST_F(Notices, LossWithoutBeingHighBidderKeepsTheGroupCount) {
    // The pending bid was never sent (auction ended with it pending).
    MyItem(3000, true, false, "lamps");
    m_doc.BidGroups().JoinGroup("lamps", 0);
    StartWithFilter(2);
    Refresh("$30.00", "Ended");
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{"Bid failed: 1000000001 Other bidder outbid you."});
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 0);
}

TEST_F(Notices, WinIsCongratulatedOnceWithTwoBalloons) {
    CItem& item = MyItem(3000, false, true);
    StartWithFilter(2);
    Refresh("$15.00", "Ended");
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{"Bid Wins:    1000000001 Congratulations"});
    EXPECT_EQ(item.m_strMessages, "Bid Wins: Congratulations\n");
    EXPECT_FALSE(item.m_bNotified);
    ASSERT_EQ(m_front.balloons.size(), 2u);
    EXPECT_EQ(m_front.balloons[0], std::make_pair(std::string("Bid Wins"), std::string("1000000001")));
    EXPECT_EQ(m_front.balloons[1], std::make_pair(std::string("Bid Wins, click to open ..."),
                                                  std::string("Item: 1000000001 Congratulations.")));
    m_core->UpdateRow(0);
    EXPECT_TRUE(m_jobs.updates.empty());
}

TEST_F(Notices, MyItemAlreadyNotifiedOrLeadingSaysNothing) {
    CItem& item = MyItem(3000, false, true);
    StartWithFilter(0);
    Refresh("$15.00", "00:30:00");  // still leading
    EXPECT_TRUE(m_front.notices.empty());
    item.m_bNotified = 1;
    Refresh("$40.00", "00:20:00");
    Refresh("$40.00", "Ended");
    EXPECT_TRUE(m_front.notices.empty());
    EXPECT_TRUE(m_front.balloons.empty());
}

TEST_F(Notices, BidResultsAreTimedAndKeptInTheHistory) {
    CItem& a = MyItem(3000, true, false, "lamps");
    a.m_tBidTime = Now();
    a.m_strMessages = "older line\n";
    CItem& b = Add("1000000002", 3000, "$9.00");
    b.m_strTitle = "Vase";
    b.m_bBidPending = 1;
    b.m_tBidTime = Now();
    b.m_strBidGroup = "lamps";
    m_doc.BidGroups().JoinGroup("lamps", 5);
    m_doc.BidGroups().JoinGroup("lamps", 5);
    StartWithFilter(2);
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 2u);
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 3);
    m_clock.Advance(75);
    AnswerBid(true, "You are the current high bidder");
    AnswerBid(false, "Your bid is below the minimum.");
    EXPECT_EQ(NoticeTexts(), (std::vector<std::string>{
                                 "Bid Success: 1000000001 (Brass lamp ..) You are the current high bidder",
                                 "Time used to place this bid is 15 seconds.",
                                 "Bid failure: 1000000002 (Vase..) Your bid is below the minimum.",
                                 "Time used to place this bid is 15 seconds.",
                             }));
    for (auto& n : m_front.notices) EXPECT_EQ(n.second, 2);
    EXPECT_EQ(a.m_strMessages,
              "Bid Success: 1000000001 (Brass lamp ..) You are the current high bidder\nolder line\n");
    EXPECT_FALSE(a.m_bNotified);
    EXPECT_TRUE(a.m_bHighBidder);
    EXPECT_TRUE(b.m_bNotified);
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 4);  // the failed one's slot
    EXPECT_TRUE(m_front.balloons.empty());
    EXPECT_EQ(m_front.navigated, (std::vector<std::string>{"http://site/result", "http://site/result"}));
}

TEST_F(Notices, HistoryCommandShowsTheFirstSelectedItemsLines) {
    Add("1000000001", 3000).m_strMessages = "Bid Wins: Congratulations\n";
    Add("1000000002", 3000);
    Start();
    m_core->OnViewHistory();  // nothing selected
    EXPECT_TRUE(TakeShownPrompts().empty());
    m_core->SelectRow(1);
    m_core->OnViewHistory();
    m_core->SetSelectedRows({0, 1});
    m_core->OnViewHistory();
    EXPECT_EQ(TakeShownPrompts(), (std::vector<std::string>{"No bidding history.", "Bid Wins: Congratulations\n"}));
}

}  // namespace
}  // namespace bexora::test
