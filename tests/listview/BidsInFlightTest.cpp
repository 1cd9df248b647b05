// A bid whose conversation is still running while refreshes answer, the
// user sets the item up anew, or the auction ends: the group slot, the
// win or loss, and the set-up the result may change.

#include "ListHarness.h"
#include "listview/BidSetup.h"

namespace bexora::test {
namespace {

class InFlight : public ListTest {
protected:
    // Two items of the group "lamps" wanting one win; the first one's bid
    // ($20.00) is due now and is sent by the first tick.
    void StartGroupOfOne(int64_t endsIn = 300) {
        CItem& a = Add("1000000001", endsIn);
        CItem& b = Add("1000000002", endsIn + 60);
        Schedule(a, "$20.00", Now(), "lamps");
        Schedule(b, "$30.00", Now() + 100000, "lamps");
        m_doc.BidGroups().JoinGroup("lamps", 1);
        m_doc.BidGroups().JoinGroup("lamps", 1);
        Settings().WriteInt(setting::MessageLevel, 0);
        Start();
        m_core->OnTick();
        ASSERT_EQ(m_jobs.bids.size(), 1u);
    }
    int Wanted() { return m_core->GetBidGroups().FindGroup("lamps")->GetWanted(); }
    // The refresh of row 0 answers with this price and time left.
    void Refresh(const std::string& price, const std::string& timeLeft) {
        m_core->UpdateRow(0);
        AnswerUpdates([&](CItem& u) {
            u.m_strCurrentPrice = price;
            u.m_strTimeLeft = timeLeft;
        });
    }
    size_t CountNotices(const std::string& start) const {
        size_t n = 0;
        for (const std::string& t : NoticeTexts()) n += t.rfind(start, 0) == 0;
        return n;
    }
};

// The whole-minute refresh and the bid conversation start in the same
// tick; the four-request conversation usually answers last.
TEST_F(InFlight, OutbidRefreshAndFailedResultGiveTheSlotBackOnce) {
    StartGroupOfOne();
    EXPECT_EQ(Wanted(), 0);
    Refresh("$25.00", "00:04:00");  // a rival went past my maximum
    EXPECT_EQ(Wanted(), 1);
    EXPECT_EQ(CountNotices("Bid Warning: 1000000001Other bidder outbid you."), 1u);
    AnswerBid(false, "Your bid must be at least $25.50");
    EXPECT_EQ(Wanted(), 1);
    // The group's other item gets the one slot, and only it.
    CItem& b = Row(1);
    b.m_tBidTime = Now();
    m_core->OnTick();
    EXPECT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(Wanted(), 0);
}

TEST_F(InFlight, FailedResultBeforeTheOutbidRefreshGivesTheSlotBackOnce) {
    StartGroupOfOne();
    AnswerBid(false, "Your bid must be at least $25.50");
    EXPECT_EQ(Wanted(), 1);
    Refresh("$25.00", "00:04:00");
    EXPECT_EQ(Wanted(), 1);
}

TEST_F(InFlight, SucceedingBidKeepsItsSlotUntilItIsOutbidOnce) {
    StartGroupOfOne();
    Refresh("$15.00", "00:04:00");  // the site shows me leading
    AnswerBid(true, "You are the current high bidder");
    EXPECT_EQ(Wanted(), 0);
    Refresh("$30.00", "00:03:00");
    EXPECT_EQ(Wanted(), 1);
    Refresh("$35.00", "00:02:00");
    EXPECT_EQ(Wanted(), 1);
}

// Outbid first, then the result says the bid went in: still one slot.
TEST_F(InFlight, OutbidRefreshThenSucceedingResultKeepsOneSlotBack) {
    StartGroupOfOne();
    Refresh("$25.00", "00:04:00");
    AnswerBid(true, "You are the current high bidder");
    Refresh("$26.00", "00:03:00");
    EXPECT_EQ(Wanted(), 1);
    EXPECT_EQ(CountNotices("Bid Warning: 1000000001Other bidder outbid you."), 1u);
}

// The end-of-auction refresh answers before the bid's result.
TEST_F(InFlight, NoWinIsReportedBeforeTheBidsResultIsKnown) {
    StartGroupOfOne(5);
    m_clock.Advance(6);
    m_core->OnTick();  // the end-of-auction refresh is posted
    AnswerUpdates([](CItem& u) {
        u.m_strCurrentPrice = "$12.00";
        u.m_strTimeLeft = "Ended";
    });
    EXPECT_EQ(CountNotices("Bid Wins:"), 0u);
    EXPECT_FALSE(Row(0).m_bNotified);

    AnswerBid(false, "The auction is ended before the bid can be placed.");
    EXPECT_EQ(CountNotices("Bid Wins:"), 0u);
    EXPECT_EQ(CountNotices("Bid failure: 1000000001"), 1u);
    EXPECT_TRUE(Row(0).m_bNotified);
    EXPECT_EQ(Row(0).m_strMessages.find("Bid Wins"), std::string::npos);
    EXPECT_EQ(Wanted(), 1);
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_TRUE(reread.FindItem("1000000001")->m_bNotified);
}

TEST_F(InFlight, EndedItemIsDecidedWhenItsResultArrives) {
    StartGroupOfOne(5);
    m_clock.Advance(6);
    m_core->OnTick();
    AnswerUpdates([](CItem& u) {
        u.m_strCurrentPrice = "$12.00";
        u.m_strTimeLeft = "Ended";
    });
    AnswerBid(true, "You are the current high bidder");
    EXPECT_EQ(CountNotices("Bid Wins:    1000000001 Congratulations"), 1u);
    EXPECT_EQ(Row(0).m_strMessages.rfind("Bid Wins: Congratulations\n", 0), 0u);
    EXPECT_EQ(Wanted(), 0);

}

TEST_F(InFlight, EndedItemPricedPastMyBidIsLostWhenItsResultArrives) {
    StartGroupOfOne(5);
    m_clock.Advance(6);
    m_core->OnTick();
    AnswerUpdates([](CItem& u) {
        u.m_strCurrentPrice = "$22.00";
        u.m_strTimeLeft = "Ended";
    });
    EXPECT_EQ(CountNotices("Bid failed: 1000000001"), 0u);
    AnswerBid(true, "You are the current high bidder");
    EXPECT_EQ(CountNotices("Bid failed: 1000000001 Other bidder outbid you."), 1u);
    EXPECT_EQ(CountNotices("Bid Wins:"), 0u);
    EXPECT_EQ(Wanted(), 1);
}

// The user sets the item up again while its bid is on its way.
TEST_F(InFlight, LateResultLeavesANewerSetUpAlone) {
    StartGroupOfOne();
    CItem& a = Row(0);
    BidDialogValues v;
    v.m_nMode = 1;
    v.m_nMinutes = 1;
    v.m_fMaxBid = 40.0;
    v.m_strUserName = "other_account";
    v.m_strPass = v.m_strConfirm = "pw2";
    v.m_bEnableGroup = true;
    v.m_strGroupName = "vases";
    v.m_nQuantity = 2;
    ASSERT_EQ(ApplyBidDialog(*m_core, a, v), BidSetupResult::Scheduled);
    const CItem setUp = a;

    AnswerBid(false, "Your bid is not accepted.");
    EXPECT_TRUE(a.m_bBidPending);
    EXPECT_EQ(a.m_strMyBid, "$40.00");
    EXPECT_EQ(a.m_tBidTime, setUp.m_tBidTime);
    EXPECT_EQ(a.m_strUserId, "other_account");
    EXPECT_EQ(a.m_strPassword, "pw2");
    EXPECT_EQ(a.m_strBidGroup, "vases");
    EXPECT_FALSE(a.m_bNotified);
    EXPECT_FALSE(a.m_bHighBidder);
    // Recorded all the same: history, notice and the result page.
    EXPECT_EQ(a.m_strMessages.rfind("Bid failure: 1000000001", 0), 0u);
    EXPECT_EQ(CountNotices("Bid failure: 1000000001"), 1u);
    EXPECT_EQ(m_front.navigated.size(), 1u);
    // The new group counts what the user typed; the old bid gives nothing
    // to it.
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("vases")->GetWanted(), 2);
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_TRUE(reread.FindItem("1000000001")->m_bBidPending);
    EXPECT_EQ(reread.FindItem("1000000001")->m_strMyBid, "$40.00");

    // The new set-up fires on its own later.
    m_clock.Set(a.m_tBidTime);
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strMyBid, "$40.00");
}

TEST_F(InFlight, LateResultAfterACancelDoesNotRevive) {
    StartGroupOfOne();
    CItem& a = Row(0);
    // Set up again as a scheduled bid, then cancelled.
    a.m_bBidPending = 1;
    a.m_tBidTime = Now() + 100;
    BidDialogValues v;
    v.m_nMode = 1;
    v.m_fMaxBid = 30.0;
    v.m_strPass = v.m_strConfirm = "pw";
    ASSERT_EQ(ApplyBidDialog(*m_core, a, v), BidSetupResult::Scheduled);
    m_core->SelectRow(0);
    m_core->OnCancelPendingBid();
    ASSERT_EQ(a.m_strMyBid, "N/A");

    AnswerBid(true, "You are the current high bidder");
    EXPECT_EQ(a.m_strMyBid, "N/A");
    EXPECT_FALSE(a.m_bBidPending);
    EXPECT_EQ(a.m_strBidGroup, "N/A");
    EXPECT_EQ(a.m_strMessages.rfind("Bid Success: 1000000001", 0), 0u);
}

}  // namespace
}  // namespace bexora::test
