// Rows: cells, colours, sorting, deleting, cancelling, notes.

#include "ListHarness.h"

namespace bexora::test {
namespace {

using ItemRows = ListTest;

TEST_F(ItemRows, CellsKeepKnownValuesAgainstNotAvailable) {
    CItem& item = Add("1000000001", 3600);
    item.m_strPercent = "98.5";
    item.m_strSeller = "lampman";
    item.m_tEndTime = 1709600000;  // 2024-03-05 00:53:20 UTC
    Start();
    EXPECT_EQ(m_core->GetCellText(0, kColItem), "1000000001");
    EXPECT_EQ(m_core->GetCellText(0, kColPrice), "$10.00");
    EXPECT_EQ(m_core->GetCellText(0, kColShipping), "N/A");  // an empty cell takes "N/A"
    EXPECT_EQ(m_core->GetCellText(0, kColPercent), "98.5%");
    EXPECT_EQ(m_core->GetCellText(0, kColEndTime), FormatLocalTime(1709600000));
    EXPECT_EQ(m_core->GetCellText(0, kColSeller), "lampman");
    EXPECT_EQ(m_core->GetCellText(0, kColMyBid), "N/A");
    EXPECT_EQ(m_core->GetCellText(0, kColBidGroup), "N/A");

    // A refresh that could not read the price keeps the last one shown;
    // the always-written columns follow the item.
    m_core->UpdateRow(0);
    AnswerUpdates([](CItem& u) {
        u.m_strCurrentPrice = "n/a";
        u.m_strTitle = "Lamp, brass";
        u.m_strPercent = "N/A";
        u.m_strSeller = "N/A";
        u.m_tEndTime = 0;
    });
    EXPECT_EQ(m_core->GetCellText(0, kColPrice), "$10.00");
    EXPECT_EQ(m_core->GetCellText(0, kColTitle), "Lamp, brass");
    EXPECT_EQ(m_core->GetCellText(0, kColPercent), "N/A");
    EXPECT_EQ(m_core->GetCellText(0, kColSeller), "N/A");
    EXPECT_EQ(m_core->GetCellText(0, kColEndTime), "N/A");
}

TEST_F(ItemRows, RowColourFollowsTheFirstRuleThatApplies) {
    for (int i = 0; i < 8; ++i) Add(std::to_string(1000000000 + i), 3000);
    m_doc.BidGroups().JoinGroup("full", 0);
    Start();
    Row(0).m_bUpdateFailed = Row(0).m_bNotified = 1;
    Row(1).m_bNotified = Row(1).m_bHighBidder = 1;
    Row(2).m_bHighBidder = Row(2).m_bBidPending = 1;
    Row(3).m_bBidPending = 1;
    Row(3).m_strBidGroup = "full";
    Row(4).m_bBidPending = Row(4).m_bChanged = 1;
    Row(5).m_bChanged = Row(5).m_bFresh = 1;
    Row(6).m_bFresh = 1;
    const std::vector<RowColour> expected{rowcolour::kUpdateFailed, rowcolour::kNotified, rowcolour::kHighBidder,
                                          rowcolour::kPendingGroupFull, rowcolour::kPending, rowcolour::kChanged,
                                          rowcolour::kFresh, rowcolour::kPlain};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(m_core->GetRowColour(i), expected[i]) << "row " << i;
    EXPECT_EQ(rowcolour::kPendingGroupFull, (RowColour{217, 201, 237}));
}

TEST_F(ItemRows, PriceComparisonGroupsCurrenciesThenOrdersByValue) {
    EXPECT_LT(ComparePrice("$9.50", "$10.00"), 0);
    EXPECT_GT(ComparePrice("$1,000.00", "$2.00"), 0);
    EXPECT_LT(ComparePrice("$99.00", "GBP 1.00"), 0);  // by prefix first
    EXPECT_LT(ComparePrice("$", "$0.00"), 0);  // no digit: value -1
    EXPECT_EQ(ComparePrice("12", "12.0"), 0);

    const char* prices[] = {"US $12.00", "N/A", "GBP 3.00", "US $9.00", "US $1,200.00"};
    for (int i = 0; i < 5; ++i) Add(std::to_string(1000000000 + i), 3000).m_strCurrentPrice = prices[i];
    Start();
    m_core->SortByColumn(kColPrice);
    std::vector<std::string> shown;
    for (int i = 0; i < 5; ++i) shown.push_back(m_core->GetCellText(i, kColPrice));
    EXPECT_EQ(shown, (std::vector<std::string>{"GBP 3.00", "N/A", "US $9.00", "US $12.00", "US $1,200.00"}));
    EXPECT_EQ(m_core->GetSortKey(), 3);
}

TEST_F(ItemRows, ClickingAColumnCyclesAscendingDescendingAscending) {
    const char* groups[] = {"beta", "N/A", "alpha", "N/A", "Beta"};
    for (int i = 0; i < 5; ++i) Add(std::to_string(1000000000 + i), 3000).m_strBidGroup = groups[i];
    Start();
    auto order = [&] {
        std::vector<std::string> g;
        for (int i = 0; i < 5; ++i) g.push_back(m_core->GetCellText(i, kColBidGroup));
        return g;
    };
    m_core->SortByColumn(kColBidGroup);
    EXPECT_EQ(m_core->GetSortKey(), 13);
    EXPECT_EQ(order(), (std::vector<std::string>{"N/A", "N/A", "Beta", "alpha", "beta"}));
    m_core->SortByColumn(kColBidGroup);
    EXPECT_EQ(m_core->GetSortKey(), -13);
    EXPECT_EQ(order(), (std::vector<std::string>{"beta", "alpha", "Beta", "N/A", "N/A"}));
    m_core->SortByColumn(kColBidGroup);
    EXPECT_EQ(m_core->GetSortKey(), 13);
    // The document is saved in row order.
    m_core->RebuildItemList();
    EXPECT_EQ(m_doc.Items().front()->m_strBidGroup, "N/A");
    EXPECT_EQ(m_doc.Items().back()->m_strBidGroup, "beta");
    // The list starts on key 1 with the rows in file order; the first click
    // on "Item #" is therefore the descending one.
    m_core->Sort(1);
    m_core->SortByColumn(kColItem);
    EXPECT_EQ(m_core->GetCellText(0, kColItem), "1000000004");
}

TEST_F(ItemRows, DeletingSelectsTheRowAtTheLastDeletedPlaceAndLeavesGroups) {
    for (int i = 0; i < 5; ++i) Add(std::to_string(1000000000 + i), 3000).m_strBidGroup = i == 3 ? "lamps" : "N/A";
    m_doc.BidGroups().JoinGroup("lamps", 1);
    Start();
    m_core->SetSelectedRows({3, 4});
    m_core->OnDeleteItem();
    ASSERT_EQ(m_core->GetRowCount(), 3);
    EXPECT_EQ(m_core->GetSelectedRows(), std::vector<int>{2});
    EXPECT_EQ(m_core->GetFocusRow(), 2);
    EXPECT_TRUE(m_core->GetBidGroups().IsEmpty());
    EXPECT_EQ(m_doc.Items().size(), 3u);
    // Deleting in the middle selects the row that moved up into its place.
    m_core->SetSelectedRows({0});
    m_core->OnDeleteItem();
    EXPECT_EQ(m_core->GetSelectedRows(), std::vector<int>{0});
    EXPECT_EQ(m_core->GetCellText(0, kColItem), "1000000001");
    // And the file no longer has them.
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_EQ(reread.Items().size(), 2u);
    EXPECT_TRUE(reread.BidGroups().IsEmpty());
    // Nothing selected: nothing happens.
    m_core->ClearSelection();
    m_core->OnDeleteItem();
    EXPECT_EQ(m_core->GetRowCount(), 2);
}

TEST_F(ItemRows, CancellingAPendingBidClearsItAndLeavesTheGroup) {
    CItem& a = Add("1000000001", 3000);
    Schedule(a, "$20.00", Now() + 2000, "lamps");
    CItem& b = Add("1000000002", 3000);
    Schedule(b, "$30.00", Now() + 2000, "lamps");
    m_doc.BidGroups().JoinGroup("lamps", 1);
    m_doc.BidGroups().JoinGroup("lamps", 1);
    Start();
    m_core->SelectRow(0);
    m_core->OnCancelPendingBid();
    EXPECT_FALSE(a.m_bBidPending);
    EXPECT_EQ(a.m_strMyBid, "N/A");
    EXPECT_EQ(a.m_strBidGroup, "N/A");
    EXPECT_EQ(m_core->GetCellText(0, kColMyBid), "N/A");
    EXPECT_EQ(m_core->GetCellText(0, kColBidGroup), "N/A");
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetMembers(), 1);
    EXPECT_EQ(m_core->GetBidGroups().FindGroup("lamps")->GetWanted(), 1);
    m_clock.Set(a.m_tBidTime);
    m_core->OnTick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);  // only the other one
    EXPECT_EQ(m_jobs.bids[0]->m_strItemNumber, "1000000002");
}

TEST_F(ItemRows, NotesSetTheImageAndTheTips) {
    CItem& a = Add("1000000001", 3000);
    a.m_strNote = "ask about the shade";
    Add("1000000002", 3000);
    Start();
    EXPECT_EQ(m_core->GetRowImage(0), kImageNote);
    EXPECT_EQ(m_core->GetRowImage(1), kImageNormal);
    EXPECT_EQ(m_core->GetTipText(0), "ask about the shade");
    EXPECT_EQ(m_core->GetTipTitle(0), "Time left: " + a.m_strTimeLeft);
    a.m_bFresh = 1;
    EXPECT_EQ(m_core->GetTipTitle(0), "Item: 1000000001");
    a.m_bFresh = 0;
    a.m_strTimeLeft = "Ended";
    EXPECT_EQ(m_core->GetTipTitle(0), "Item is ended.");
    EXPECT_EQ(m_core->GetTipText(1), "");
    EXPECT_EQ(m_core->GetTipTitle(1), "");

    m_core->SetNote(1, "\r\nbring cash\n\n");
    EXPECT_EQ(Row(1).m_strNote, "bring cash");
    EXPECT_EQ(m_core->GetRowImage(1), kImageNote);
    m_core->SetNote(0, "\n");
    EXPECT_EQ(Row(0).m_strNote, "");
    EXPECT_EQ(m_core->GetRowImage(0), kImageNormal);
    Row(0).m_strNote = "keep\n  \n";
    EXPECT_EQ(m_core->GetNoteForDialog(0), "keep");
    // The refresh image comes and goes back to the note image.
    m_core->UpdateRow(1);
    EXPECT_EQ(m_core->GetRowImage(1), kImageUpdating);
    AnswerUpdates();
    EXPECT_EQ(m_core->GetRowImage(1), kImageNote);
}

TEST_F(ItemRows, PageAddKeepsOneRowPerNumber) {
    Add("1000000001", 3000);
    Start();
    auto fresh = std::make_unique<CItem>();
    fresh->m_strItemNumber = "1000000002";
    fresh->m_strTitle = "Vase";
    fresh->m_bFresh = 1;
    EXPECT_EQ(m_core->AddItemIfNew(std::move(fresh), false), 1);
    EXPECT_EQ(m_core->GetRowColour(1), rowcolour::kFresh);
    auto again = std::make_unique<CItem>();
    again->m_strItemNumber = "1000000001";
    again->m_strCurrentPrice = "$11.00";
    EXPECT_EQ(m_core->AddItemIfNew(std::move(again), true), 0);
    EXPECT_EQ(m_core->GetRowCount(), 2);
    EXPECT_EQ(m_core->GetCellText(0, kColPrice), "$11.00");
    EXPECT_EQ(m_doc.Items().size(), 2u);
}

TEST_F(ItemRows, TheListTakesTheDocumentsGroupsAndHandsThemBack) {
    Add("1000000001", 3000).m_strBidGroup = "lamps";
    m_doc.BidGroups().JoinGroup("lamps", 2);
    Start();
    EXPECT_EQ(m_doc.GetListView(), m_core.get());
    EXPECT_EQ(&m_doc.BidGroups(), &m_core->GetBidGroups());
    ASSERT_NE(m_core->GetBidGroups().FindGroup("lamps"), nullptr);
    m_core->GetBidGroups().FindGroup("lamps")->SetWanted(1);
    m_core.reset();
    EXPECT_EQ(m_doc.GetListView(), nullptr);
    ASSERT_NE(m_doc.BidGroups().FindGroup("lamps"), nullptr);
    EXPECT_EQ(m_doc.BidGroups().FindGroup("lamps")->GetWanted(), 1);
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_doc.GetPathName()));
    EXPECT_EQ(reread.BidGroups().FindGroup("lamps")->GetWanted(), 1);
}

}  // namespace
}  // namespace bexora::test
