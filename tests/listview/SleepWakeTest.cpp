// The list after the machine slept, the sleep lock while a bid is near, the
// progress of refresh batches, and a sent bid being on disk before it leaves.

#include <string>
#include <vector>

#include "listview/ListHarness.h"
#include "listview/SleepGuard.h"
#include "listview/WakeDetector.h"

namespace bexora::test {
namespace {

int64_t g_sleptMs = 0;
int64_t SleptMs() {
    return g_sleptMs;
}

struct RecordingLock : ISleepLock {
    bool Take(const std::string& why) override {
        taken.push_back(why);
        held = refuse == 0;
        if (refuse > 0) --refuse;
        return held;
    }
    void Release() override {
        ++released;
        held = false;
    }
    std::vector<std::string> taken;
    int released = 0;
    int refuse = 0;
    bool held = false;
};

class SleepWakeTest : public ListTest {
protected:
    void SetUp() override {
        ListTest::SetUp();
        g_sleptMs = 0;
        CWakeDetector::SetSleepSource(&SleptMs);
    }
    void TearDown() override {
        ListTest::TearDown();
        CWakeDetector::SetSleepSource(nullptr);
    }
    // The machine sleeps for seconds: the clock moves on, the boot-time
    // clock with it, the monotonic one does not.
    void Sleep(int64_t seconds) {
        m_clock.Advance(seconds);
        g_sleptMs += seconds * 1000;
    }
    void CountClockReads() {
        m_core->SetClockOffsetSource([this](bool refresh) {
            m_clockReads += refresh;
            return int64_t(0);
        });
    }
    bool HasNotice(const std::string& text) const {
        for (const auto& n : NoticeTexts())
            if (n == text) return true;
        return false;
    }
    int m_clockReads = 0;
};

TEST_F(SleepWakeTest, ASnipeMissedInSleepIsPlacedAtOnceWithItsReason) {
    CItem& running = Add("100", 3600, "$20.00");
    Schedule(running, "$20.00", Now() + 300);
    CItem& ended = Add("200", 500, "$15.00");
    Schedule(ended, "$15.00", Now() + 400);
    CItem& later = Add("300", 7200, "$30.00");
    Schedule(later, "$30.00", Now() + 5000);
    Start();
    CountClockReads();
    Tick();
    m_jobs.updates.clear();  // the first tick's update-all

    const int64_t dueAt = Now() + 299;  // the clock moved on one second in Tick
    Sleep(600);
    Tick();

    EXPECT_EQ(m_clockReads, 1) << "the site clock is read again on waking";
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strItemNumber, "100");
    const std::string late = "Bid late:100 The computer was asleep when the bid was due at " +
                             FormatClockTime(dueAt) + "; it is placed now, 301 seconds late.";
    EXPECT_TRUE(HasNotice(late)) << ::testing::PrintToString(NoticeTexts());
    EXPECT_EQ(Row(0).m_strMessages.rfind("Bid late: The computer was asleep", 0), 0u);
    // The auction that ended during the sleep: said why, and not bid on.
    EXPECT_TRUE(HasNotice("Bid late:200 The computer was asleep when the bid was due at " +
                          FormatClockTime(dueAt + 100) + "."));
    EXPECT_TRUE(HasNotice("Bid failed:200 The auction is ended before the bid can be placed."));
    // One balloon, about the placed bid, at the late notice's level.
    ASSERT_EQ(m_front.balloonItems.size(), 1u);
    EXPECT_EQ(m_front.balloonItems[0], std::make_pair(std::string("100"), 3));
    // The pending bid still to come is refreshed.
    bool refreshed = false;
    for (auto& u : m_jobs.updates) refreshed |= u->m_strItemNumber == "300";
    EXPECT_TRUE(refreshed);
    EXPECT_EQ(Row(2).m_bBidPending, 1);
}

TEST_F(SleepWakeTest, WithoutSleepALateStartFiresWithoutTheSleepNotice) {
    CItem& item = Add("100", 3600, "$20.00");
    Schedule(item, "$20.00", Now() - 30);  // due while the program was not running
    Start();
    CountClockReads();
    Tick();
    m_clock.Advance(120);  // a clock step is not a sleep
    Tick();
    EXPECT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_clockReads, 0);
    for (const auto& n : NoticeTexts()) EXPECT_EQ(n.rfind("Bid late:", 0), std::string::npos) << n;
}

TEST_F(SleepWakeTest, LogindsWordAloneIsAWakeUpButOnlyOnce) {
    CItem& item = Add("100", 3600, "$20.00");
    Schedule(item, "$20.00", Now() + 100);
    Start();
    CountClockReads();
    Tick();
    m_clock.Advance(200);
    m_core->NoteWake();
    Tick();
    EXPECT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_clockReads, 1);
    Sleep(0);
    Tick();
    EXPECT_EQ(m_clockReads, 1);
}

TEST_F(SleepWakeTest, TheLockFollowsTheNearestSnipe) {
    RecordingLock lock;
    CSleepGuard guard(lock);
    CItem& far = Add("100", 7200, "$20.00");
    Schedule(far, "$20.00", Now() + 20 * 60);
    Start();
    guard.Update({m_core.get()});
    EXPECT_TRUE(lock.taken.empty()) << "20 minutes away is beyond the default 10";

    CItem& near = Add("200", 3600, "$20.00");
    Schedule(near, "$20.00", Now() + 5 * 60);
    guard.Update({m_core.get()});
    ASSERT_EQ(lock.taken.size(), 1u);
    EXPECT_EQ(lock.taken[0], "Bid on item 200 due at " + FormatClockTime(near.m_tBidTime));
    guard.Update({m_core.get()});
    EXPECT_EQ(lock.taken.size(), 1u) << "taken once, not every tick";

    // Cancelled: released at once.
    m_core->SelectItems({"200"});
    m_core->OnCancelPendingBid();
    guard.Update({m_core.get()});
    EXPECT_FALSE(guard.Held());
    EXPECT_EQ(lock.released, 1);

    // A longer setting brings the far one in; once sent, the lock stays
    // while the bid is placed, then goes.
    ASSERT_TRUE(Settings().WriteInt(setting::SleepGuardMin, 30));
    m_clock.Advance(61);  // the setting is read once a minute
    guard.Update({m_core.get()});
    ASSERT_TRUE(guard.Held());
    EXPECT_NE(guard.Why().find("item 100"), std::string::npos);
    m_clock.Set(far.m_tBidTime);
    Tick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    guard.Update({m_core.get()});
    EXPECT_TRUE(guard.Held());
    m_clock.Advance(121);
    guard.Update({m_core.get()});
    EXPECT_FALSE(guard.Held());

    // 0 turns it off.
    ASSERT_TRUE(Settings().WriteInt(setting::SleepGuardMin, 0));
    CItem& third = Add("300", 3600, "$20.00");
    Schedule(third, "$20.00", Now() + 60);
    m_clock.Advance(61);
    lock.taken.clear();
    guard.Update({m_core.get()});
    EXPECT_TRUE(lock.taken.empty());
}

TEST_F(SleepWakeTest, ARefusedLockIsAskedForAgainLaterNotEveryTick) {
    RecordingLock lock;
    lock.refuse = 1;
    CSleepGuard guard(lock);
    CItem& item = Add("100", 3600, "$20.00");
    Schedule(item, "$20.00", Now() + 300);
    Start();
    guard.Update({m_core.get()});
    m_clock.Advance(1);
    guard.Update({m_core.get()});
    EXPECT_EQ(lock.taken.size(), 1u);
    m_clock.Advance(60);
    guard.Update({m_core.get()});
    EXPECT_EQ(lock.taken.size(), 2u);
    EXPECT_TRUE(guard.Held());
}

TEST_F(SleepWakeTest, UpdateAllReportsItsProgress) {
    Add("100", 3600);
    Add("200", 3600);
    Add("300", 3600);
    Start();
    m_core->UpdateAll();
    ASSERT_EQ(m_jobs.updates.size(), 3u);
    AnswerUpdates();
    std::vector<std::pair<int, int>> want = {{0, 3}, {1, 3}, {2, 3}, {3, 3}};
    EXPECT_EQ(m_front.progress, want);
    // A lone refresh (the end of an auction) is no batch.
    m_front.progress.clear();
    m_core->UpdateRow(0);
    AnswerUpdates();
    EXPECT_TRUE(m_front.progress.empty());
}

// The document is saved with the bid sent before the bid goes to the worker:
// a runner killed in between and restarted must not send it again.
struct DiskCheckingJobs : CapturedJobs {
    void PostBid(std::unique_ptr<CBidRequest> request) override {
        CebayDoc saved;
        if (saved.OnOpenDocument(path))
            if (const CItem* item = saved.FindItem(request->m_strItemNumber))
                pendingOnDisk = item->m_bBidPending;
        CapturedJobs::PostBid(std::move(request));
    }
    std::string path;
    int pendingOnDisk = -1;
};

TEST_F(SleepWakeTest, ASentBidIsOnDiskBeforeItLeaves) {
    CItem& item = Add("100", 3600, "$20.00");
    Schedule(item, "$20.00", Now() + 2);
    ASSERT_TRUE(m_doc.OnSaveDocument(m_doc.GetPathName()));
    DiskCheckingJobs jobs;
    jobs.path = m_doc.GetPathName();
    m_core = std::make_unique<CItemListCore>(m_doc, m_front, m_ui, &jobs);
    m_core->Initialize();
    for (int i = 0; i < 4; ++i) {
        m_core->OnTick();
        m_clock.Advance(1);
    }
    ASSERT_EQ(jobs.bids.size(), 1u);
    EXPECT_EQ(jobs.pendingOnDisk, 0);
    m_core.reset();
}

}  // namespace
}  // namespace bexora::test
