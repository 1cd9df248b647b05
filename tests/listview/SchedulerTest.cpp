// The one-second tick, moved by the manual clock.

#include "ListHarness.h"

namespace bexora::test {
namespace {

// The classic tick: bids go as a whole at the tick of their second (the
// check ahead of them is off; PreFlightListTest has it on).
class Scheduler : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        Settings().WriteInt(setting::PreFlightSec, 0);
    }
};

TEST_F(Scheduler, TimeLeftMovesInMinutesThenSecondsAndEnds) {
    EXPECT_EQ(TimeLeftText(86400), "1d 00:00:00");
    EXPECT_EQ(TimeLeftText(86399), "23:59:00");
    EXPECT_EQ(TimeLeftText(60), "00:01:00");
    EXPECT_EQ(TimeLeftText(59), "00:00:59");
    EXPECT_EQ(TimeLeftText(0), "Ended");
    EXPECT_EQ(TimeLeftText(-5), "Ended");

    // The same texts reach the cells through the tick, and the clock offset
    // counts: the item ends 30 s later by the local clock than its end time.
    FixClockOffset(30);
    for (int64_t rem : {86400, 86399, 60, 59}) Add(std::to_string(1000000000 + rem), rem - 30);
    Add("1000000999", 0);  // end not known: no countdown
    Start();
    m_core->OnTick();
    EXPECT_EQ(m_core->GetCellText(0, kColTimeLeft), "1d 00:00:00");
    EXPECT_EQ(m_core->GetCellText(1, kColTimeLeft), "23:59:00");
    EXPECT_EQ(m_core->GetCellText(2, kColTimeLeft), "00:01:00");
    EXPECT_EQ(m_core->GetCellText(3, kColTimeLeft), "00:00:59");
    EXPECT_EQ(m_core->GetCellText(4, kColTimeLeft), "N/A");
    EXPECT_EQ(Row(3).m_strTimeLeft, "00:00:59");
    // 59 seconds later the last-minute item ends and is refreshed, and only it.
    m_clock.Advance(59);
    m_core->OnTick();
    EXPECT_EQ(m_core->GetCellText(3, kColTimeLeft), "Ended");
    ASSERT_EQ(m_jobs.updates.size(), 1u);
    EXPECT_EQ(m_jobs.updates[0]->m_strItemNumber, "1000000059");
}

TEST_F(Scheduler, StatusShowsTheCountdownOnlyInTheActiveFrame) {
    Start();
    m_core->OnTick();
    EXPECT_EQ(m_front.status.back(), "Update in: 00:29:59");
    m_front.status.clear();
    m_front.active = false;
    m_core->OnTick();
    EXPECT_TRUE(m_front.status.empty());
    EXPECT_EQ(m_core->CountdownStatusText(), "Update in: 00:29:58");
}

TEST_F(Scheduler, EndOfAuctionRefreshIsRetriedUntilThePageShowsTheEnd) {
    CItem& item = Add("1000000001", 2);
    Start();
    Tick(2);
    EXPECT_TRUE(m_jobs.updates.empty());
    Tick();  // rem 0
    ASSERT_EQ(m_jobs.updates.size(), 1u);
    EXPECT_EQ(m_core->GetRowImage(0), kImageUpdating);
    EXPECT_EQ(m_jobs.updates[0]->m_strTimeLeft, "00:00:01");  // the copy is taken before "Ended"
    EXPECT_EQ(item.m_strTimeLeft, "Ended");
    Tick();  // still in flight: not posted twice
    EXPECT_EQ(m_jobs.updates.size(), 1u);
    // The site's page still shows a second to go: the next tick asks again.
    AnswerUpdates([](CItem& u) { u.m_strTimeLeft = "00:00:01"; });
    EXPECT_EQ(m_core->GetRowImage(0), kImageNormal);
    Tick();
    ASSERT_EQ(m_jobs.updates.size(), 1u);
    AnswerUpdates([](CItem& u) { u.m_strTimeLeft = "Ended"; });
    Tick(5);
    EXPECT_TRUE(m_jobs.updates.empty());
    EXPECT_EQ(m_core->GetCellText(0, kColTimeLeft), "Ended");
}

TEST_F(Scheduler, EndedCellIsNeverRewrittenByTheTick) {
    CItem& item = Add("1000000001", 100);
    item.m_strTimeLeft = "Ended";
    Start();
    EXPECT_EQ(m_core->GetCellText(0, kColTimeLeft), "Ended");
    item.m_tEndTime = Now() + 5000;  // moved into the future
    Tick(3);
    EXPECT_EQ(m_core->GetCellText(0, kColTimeLeft), "Ended");
    EXPECT_EQ(item.m_strTimeLeft, "Ended");
    EXPECT_TRUE(m_jobs.updates.empty());
    // By command it is not fetched either: the marks go, nothing is posted.
    item.m_bChanged = item.m_bUpdateFailed = 1;
    m_core->SelectRow(0);
    m_core->UpdateSelected();
    EXPECT_EQ(m_front.status.back(), "Updating:");
    EXPECT_FALSE(item.m_bChanged || item.m_bUpdateFailed);
    EXPECT_TRUE(m_jobs.updates.empty());
}

TEST_F(Scheduler, LastTenMinutesOfMyBidsRefreshAtEveryWholeMinute) {
    Add("1000000001", 630, "$20.00");  // mine
    Add("1000000002", 5000);           // not mine
    Start();
    std::vector<int64_t> refreshedAt;  // remaining seconds of item 1 at each refresh
    for (int i = 0; i < 640; ++i) {
        m_core->OnTick();
        for (auto& u : m_jobs.updates) {
            EXPECT_EQ(u->m_strItemNumber, "1000000001");
            refreshedAt.push_back(630 - i);
        }
        AnswerUpdates([this](CItem& u) {
            if (u.m_tEndTime <= Now()) u.m_strTimeLeft = "Ended";
        });
        m_clock.Advance(1);
    }
    // Ten whole minutes, then the end-of-auction refresh.
    EXPECT_EQ(refreshedAt, (std::vector<int64_t>{600, 540, 480, 420, 360, 300, 240, 180, 120, 60, 0}));
}

TEST_F(Scheduler, BidDueWhileNotRunningFiresAtTheFirstTick) {
    CItem& running = Add("1000000001", 300);
    CItem& over = Add("1000000002", -10);
    Schedule(running, "$20.00", Now() - 3600);
    Schedule(over, "$20.00", Now() - 3600);
    Start();
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strItemNumber, "1000000001");
    EXPECT_EQ(m_jobs.bids[0]->m_tBidStarted, Now());
    EXPECT_TRUE(m_jobs.bids[0]->m_strResult.empty());
    EXPECT_FALSE(running.m_bBidPending);
    EXPECT_TRUE(running.m_bHighBidder);

    EXPECT_FALSE(over.m_bBidPending);
    EXPECT_TRUE(over.m_bNotified);
    EXPECT_EQ(over.m_strMessages, "The auction is ended before the bid can be placed.\n");
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{
                                 "Bid failed:1000000002 The auction is ended before the bid can be placed."});
    EXPECT_EQ(m_front.notices[0].second, 3);
    EXPECT_TRUE(m_front.balloons.empty());
    // What the trigger changed is on disk.
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_FALSE(reread.FindItem("1000000001")->m_bBidPending);
}

TEST_F(Scheduler, BidAtRemainingZeroStillGoes) {
    CItem& item = Add("1000000001", 1);
    Schedule(item, "$20.00", Now() + 1);
    Start();
    m_core->OnTick();
    EXPECT_TRUE(m_jobs.bids.empty());
    m_clock.Advance(1);
    m_core->OnTick();
    EXPECT_EQ(m_jobs.bids.size(), 1u);
}

class GroupOfOne : public Scheduler {
protected:
    void SetUp() override {
        Scheduler::SetUp();
        CItem& a = Add("1000000001", 30);
        CItem& b = Add("1000000002", 60);
        Schedule(a, "$20.00", Now(), "lamps");
        Schedule(b, "$20.00", Now(), "lamps");
        m_doc.BidGroups().JoinGroup("lamps", 1);
        m_doc.BidGroups().JoinGroup("lamps", 1);
        Start();
        m_core->OnTick();
    }
    CBidGroup& Group() { return *m_core->GetBidGroups().FindGroup("lamps"); }
};

TEST_F(GroupOfOne, SecondBidWaitsAndGoesWhenTheFirstFails) {
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strItemNumber, "1000000001");
    EXPECT_EQ(Group().GetWanted(), 0);
    EXPECT_TRUE(Row(1).m_bBidPending);
    EXPECT_EQ(m_core->GetRowColour(1), rowcolour::kPendingGroupFull);
    m_clock.Advance(1);
    m_core->OnTick();  // still waiting for a slot
    EXPECT_EQ(m_jobs.bids.size(), 1u);

    AnswerBid(false, "Your bid is not accepted.");
    EXPECT_EQ(Group().GetWanted(), 1);
    EXPECT_TRUE(Row(0).m_bNotified);
    EXPECT_EQ(m_core->GetRowColour(0), rowcolour::kNotified);
    m_clock.Advance(1);
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strItemNumber, "1000000002");
    EXPECT_EQ(Group().GetWanted(), 0);
}

TEST_F(GroupOfOne, SecondBidIsSkippedAfterItsEndWhenTheFirstSucceeds) {
    AnswerBid(true, "You are the current high bidder");
    EXPECT_EQ(Group().GetWanted(), 0);
    m_clock.Advance(60);  // item 2 has remaining 0: it still waits
    m_core->OnTick();
    EXPECT_TRUE(Row(1).m_bBidPending);
    m_clock.Advance(1);
    m_core->OnTick();
    EXPECT_TRUE(m_jobs.bids.empty());
    CItem& b = Row(1);
    EXPECT_FALSE(b.m_bBidPending);
    EXPECT_TRUE(b.m_bHighBidder && b.m_bNotified);
    EXPECT_EQ(b.m_strMessages, "Bid is not placed because the bid group limit is reached.\n");
    const auto notices = m_front.notices;
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back().first,
              "Bid skipped:1000000002 Bid is not placed because the bid group limit is reached.");
    EXPECT_EQ(notices.back().second, 3);
    m_core->OnTick();  // reported once
    EXPECT_EQ(m_front.notices.size(), notices.size());
}

TEST_F(Scheduler, ItemNamingAMissingGroupBidsAsIfInNone) {
    CItem& item = Add("1000000001", 30);
    Schedule(item, "$20.00", Now() + 5, "gone");
    Start();
    EXPECT_EQ(m_core->GetRowColour(0), rowcolour::kPending);
    m_clock.Advance(5);
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    AnswerBid(false, "failed");  // no group to give a slot back to
    EXPECT_TRUE(m_core->GetBidGroups().IsEmpty());
}

TEST_F(Scheduler, UpdateAllAtTheFirstTickWhenAskedFor) {
    Settings().WriteInt(setting::UpdateAll, 1);
    Add("1000000001", 5000);
    Add("1000000002", 9000);
    Start();
    m_core->OnTick();
    EXPECT_EQ(m_jobs.updates.size(), 2u);
    EXPECT_EQ(m_front.status.back(), "Update in: 00:30:00");
    EXPECT_EQ(m_core->GetUpdateCountdown(), m_core->GetUpdateReload());
}

TEST_F(Scheduler, NoUpdateAtTheFirstTickByDefaultAndAllWhenTheCountdownRunsOut) {
    Settings().WriteInt(setting::UpdateMin, 0);
    Settings().WriteInt(setting::UpdateSec, 3);
    Add("1000000001", 5000);
    Add("1000000002", 0);
    Start();
    Tick(3);
    EXPECT_TRUE(m_jobs.updates.empty());
    EXPECT_EQ(m_front.status.back(), "Update in: 00:00:00");
    Tick();
    EXPECT_EQ(m_jobs.updates.size(), 2u);
    EXPECT_EQ(m_front.status.back(), "Update in: 00:00:03");
}

TEST_F(Scheduler, UpdateRecentLimitsTheAutomaticUpdateButNotTheCommand) {
    Settings().WriteInt(setting::UpdateAll, 1);
    Settings().WriteInt(setting::UpdateRecent, 1);
    Settings().WriteInt(setting::UpdateEndHour, 1);
    Add("1000000001", 3000);    // within the hour
    Add("1000000002", 90000);   // tomorrow
    Add("1000000003", 0);       // end not known yet
    Start();
    m_core->OnTick();
    ASSERT_EQ(m_jobs.updates.size(), 2u);
    EXPECT_EQ(m_jobs.updates[0]->m_strItemNumber, "1000000001");
    EXPECT_EQ(m_jobs.updates[1]->m_strItemNumber, "1000000003");
    AnswerUpdates();
    m_core->UpdateAll();
    EXPECT_EQ(m_jobs.updates.size(), 3u);
}

TEST_F(Scheduler, ZeroIntervalDoesNotRefreshEveryTick) {
    Settings().WriteInt(setting::UpdateMin, 0);
    Settings().WriteInt(setting::UpdateSec, 0);
    Add("1000000001", 5000);
    Start();
    Tick(10);
    EXPECT_TRUE(m_jobs.updates.empty());
}

TEST_F(Scheduler, ClockIsReReadAtTheHourAndTheVersionHookAtMinuteSeven) {
    int refreshes = 0;
    int checks = 0;
    m_clock.Set(1709546400 - 2);  // 2024-03-04 09:59:58 UTC
    Start();
    m_core->SetClockOffsetSource([&](bool refresh) {
        refreshes += refresh;
        return int64_t(0);
    });
    m_core->SetNewerVersionCheck([&](const CItemListCore::VersionReport& report) {
        ++checks;
        report(true);
    });
    Tick(5);  // 09:59:58 .. 10:00:02: once, not on both seconds
    EXPECT_EQ(refreshes, 1);
    m_clock.Set(1709546400 + 7 * 60 - 1);  // 10:06:59
    Tick(4);
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(NoticeTexts(), std::vector<std::string>{
                                 "Info: There is a newer version of the program. Please run the update command."});
    m_clock.Set(1709546400 + 3600 + 7 * 60);  // 11:07:00: not an hour divisible by 5
    Tick(2);
    EXPECT_EQ(checks, 1);
}

TEST_F(Scheduler, ABidStaysAtItsSiteTimeWhenTheClockOffsetMoves) {
    // The machine's clock is stepped an hour ahead (a wrong zone put right):
    // the site's clock did not move, so the bid must not go out an hour
    // before its moment by the site's clock, nor ever early.
    int64_t offset = 0;
    CItem& item = Add("1000000001", 600);
    Schedule(item, "$20.00", kStart + 300);
    Start();
    m_core->SetClockOffsetSource([&](bool) { return offset; });
    Tick(2);
    m_clock.Set(kStart + 3600 + 2);
    offset = 3600;
    Tick(1);
    EXPECT_TRUE(m_jobs.bids.empty()) << "sent 298 seconds early by the site's clock";
    EXPECT_EQ(m_core->GetItem(0)->m_tBidTime, kStart + 3600 + 300);
    m_clock.Set(kStart + 3600 + 299);
    Tick(1);
    EXPECT_TRUE(m_jobs.bids.empty());
    Tick(1);
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    // The file has the moved time: a restart keeps it.
    CebayDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_EQ(saved.FindItem("1000000001")->m_tBidTime, kStart + 3600 + 300);
}

TEST_F(Scheduler, TicksAreArmedForJustAfterEachWholeSecond) {
    CItem& item = Add("1000000001", 60);
    Schedule(item, "$20.00", kStart + 5);
    m_clock.SetMs(kStart * 1000 + 437);
    Start();
    EXPECT_EQ(m_core->MsUntilNextTick(), 0);  // the first tick is due at once
    // A front end that sleeps exactly as long as asked, with ticks that take
    // 30 ms of work each: no drift, and the bid leaves right after its second.
    for (int i = 0; i < 8; ++i) {
        m_clock.AdvanceMs(m_core->MsUntilNextTick());
        m_core->OnTick();
        m_clock.AdvanceMs(30);
    }
    ASSERT_EQ(m_jobs.bidMs.size(), 1u);
    EXPECT_GE(m_jobs.bidMs[0], (kStart + 5) * 1000);
    EXPECT_LE(m_jobs.bidMs[0], (kStart + 5) * 1000 + 5);
    EXPECT_EQ(m_core->MsUntilNextTick(), 1000 - 30);
    // A tick that ran long is followed at once by the one it delayed.
    m_clock.AdvanceMs(m_core->MsUntilNextTick());
    m_core->OnTick();
    m_clock.AdvanceMs(1500);
    EXPECT_EQ(m_core->MsUntilNextTick(), 0);
}

TEST_F(Scheduler, RefreshAnsweredAfterTheBidWasSentDoesNotReviveIt) {
    CItem& item = Add("1000000001", 300, "$20.00");
    Schedule(item, "$20.00", Now() + 2);
    Start();
    m_core->UpdateRow(0);  // posted while the bid is still pending
    ASSERT_EQ(m_jobs.updates.size(), 1u);
    EXPECT_TRUE(m_jobs.updates[0]->m_bBidPending);
    m_clock.Advance(2);
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    AnswerUpdates();
    EXPECT_FALSE(item.m_bBidPending);
    EXPECT_TRUE(item.m_bHighBidder);
    m_clock.Advance(1);
    m_core->OnTick();
    EXPECT_EQ(m_jobs.bids.size(), 1u);  // sent once
}

TEST_F(Scheduler, OneRefreshPerItemAndDeletedRowsDropTheirReply) {
    Add("1000000001", 3000);
    Add("1000000002", 3000);
    Start();
    m_core->UpdateAll();
    m_core->UpdateAll();
    EXPECT_EQ(m_jobs.updates.size(), 2u);
    EXPECT_TRUE(m_core->IsUpdateInFlight("1000000001"));
    m_core->SelectRow(0);
    m_core->OnDeleteItem();
    EXPECT_FALSE(m_core->IsUpdateInFlight("1000000001"));
    AnswerUpdates([](CItem& u) { u.m_strTitle = "renamed"; });
    ASSERT_EQ(m_core->GetRowCount(), 1);
    EXPECT_EQ(m_core->GetCellText(0, kColTitle), "renamed");
    EXPECT_EQ(m_core->UpdatesInFlight().Size(), 0u);
    EXPECT_EQ(m_core->FindRow("1000000001"), -1);
}

TEST_F(Scheduler, ShutdownStopsTheWorkersSavesAndDropsLateResults) {
    CItem& item = Add("1000000001", 3000);
    Schedule(item, "$20.00", Now());
    Start();
    m_core->OnTick();
    m_core->UpdateRow(0);
    m_core->Shutdown();
    EXPECT_EQ(m_jobs.stops, 1);
    EXPECT_EQ(m_core->UpdatesInFlight().Size(), 0u);
    AnswerBid(true, "ok");  // arrives too late: nothing happens
    EXPECT_TRUE(m_front.notices.empty());
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_TRUE(reread.FindItem("1000000001")->m_bHighBidder);
}

}  // namespace
}  // namespace bexora::test
