// Snipes outlive a refresh that failed just before their moment. A page that
// could not be read says nothing about the auction's end, so the known end
// is kept (found by the soak, where a dropped connection two seconds before
// a snipe turned it into "ended before the bid", and a grouped snipe lost
// its end and waited unseen to the end of the run).

#include "listview/ListHarness.h"
#include "listview/Notices.h"

namespace bexora::test {
namespace {

using LostRefresh = ListTest;

TEST_F(LostRefresh, SnipesGoOnAfterAFailedRefreshAndEveryOneGetsANotice) {
    // Each bid at the tick of its own second (no check ahead), so the
    // notices come in the order of the bids' seconds.
    Settings().WriteInt(setting::PreFlightSec, 0);
    CItem& live = Add("1000000001", 60);
    CItem& grouped = Add("1000000002", 5);
    CItem& unknown = Add("1000000004", 60);
    CItem& over = Add("1000000003", -10);
    Schedule(live, "$20.00", Now());
    Schedule(grouped, "$20.00", Now() + 1, "pair");
    Schedule(unknown, "$20.00", Now() + 1, "pair");
    Schedule(over, "$20.00", Now());
    m_doc.BidGroups().JoinGroup("pair", 0);  // no slot left: they wait for the end
    Start();
    // The refreshes before the snipes came back unread; one page had an end
    // that could not be read at all.
    live.m_bUpdateFailed = grouped.m_bUpdateFailed = 1;
    unknown.m_tEndTime = 0;
    Tick(3);
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    EXPECT_EQ(m_jobs.bids[0]->m_strItemNumber, "1000000001");
    EXPECT_EQ(NoticeTexts(),
              (std::vector<std::string>{
                  "Bid failed:1000000003 The auction is ended before the bid can be placed.",
                  std::string("Bid skipped:1000000004 ") + notice::kGroupLimit}));
    // A full group's bid waits while its auction runs, and is told when it ends.
    EXPECT_TRUE(grouped.m_bBidPending);
    Tick(5);
    EXPECT_FALSE(grouped.m_bBidPending);
    EXPECT_EQ(NoticeTexts().back(), std::string("Bid skipped:1000000002 ") + notice::kGroupLimit);
    EXPECT_EQ(m_jobs.bids.size(), 1u);
}

}  // namespace
}  // namespace bexora::test
