// The list core on its real workers against the local auction site.

#include <chrono>

#include "ListHarness.h"
#include "bidding/SiteHarness.h"

namespace bexora::test {
namespace {

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

}  // namespace
}  // namespace bexora::test
