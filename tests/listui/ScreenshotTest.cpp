// Not a check: with BEXORA_SCREENSHOT=FILE.png set (scripts/screenshot),
// draws the list view with a dozen rows in different states and saves it.

#include <QImage>
#include <QPixmap>
#include <cstdlib>

#include "ListUiSupport.h"

namespace bexora::test {
namespace {

TEST_F(ListUiTest, Screenshot) {
    const char* out = std::getenv("BEXORA_SCREENSHOT");
    if (!out || !*out) GTEST_SKIP() << "BEXORA_SCREENSHOT not set";
    m_doc.BidGroups().JoinGroup("Lamps", 0);
    m_doc.BidGroups().JoinGroup("Vases", 2);
    struct Row {
        const char* number;
        const char* title;
        const char* price;
        int64_t endsIn;
    };
    const Row rows[] = {
        {"110012345678", "Art deco table lamp, brass, working", "US $45.00", 95},
        {"110012345679", "Blue glass vase, hand blown", "US $12.50", 3 * 3600 + 125},
        {"110012345680", "Pair of porcelain vases (Meissen?)", "US $210.00", 26 * 3600},
        {"110012345681", "Tiffany style lamp shade", "US $88.00", 40},
        {"110012345682", "Vintage Leica M3 body only", "US $1,150.00", 5 * 86400},
        {"110012345683", "Pocket watch, silver, 1902", "GBP 60.00", 7200},
        {"110012345684", "Lot of 12 postcards, Paris", "US $4.99", 600},
        {"110012345685", "Oak writing desk - local pickup", "US $300.00", 0},
        {"110012345686", "Mechanical keyboard, brown switches", "US $35.00", 86400 + 60},
        {"110012345687", "First edition, signed", "US $15,250.00", 3600 * 9},
        {"110012345688", "Brass candle holders (2)", "US $9.00", 1800},
        {"110012345689", "Retro radio, needs repair", "C $22.00", 12 * 3600},
    };
    std::vector<CItem*> items;
    for (const Row& r : rows) {
        CItem& item = Add(r.number, r.endsIn == 0 ? -60 : r.endsIn, r.price);
        item.m_strTitle = r.title;
        item.m_strShipping = "US $8.00";
        item.m_strQuantity = "1";
        item.m_strBidCount = "3";
        item.m_strSeller = "seller_" + std::string(r.number).substr(9);
        item.m_strFeedback = "1204";
        item.m_strPercent = "99.1";
        if (r.endsIn == 0) item.m_strTimeLeft = "Ended";
        items.push_back(&item);
    }
    Schedule(*items[0], "US $50.00", Now() + 80, "Lamps");   // group full: light purple
    Schedule(*items[1], "US $15.00", Now() + 3600, "Vases"); // pending: purple
    items[2]->m_bHighBidder = 1;                              // green
    items[2]->m_strMyBid = "US $250.00";
    items[3]->m_bNotified = 1;                                // red
    items[3]->m_strMyBid = "US $70.00";
    items[4]->m_bUpdateFailed = 1;                            // grey
    items[5]->m_bChanged = 1;                                 // light green
    items[6]->m_bFresh = 1;                                   // light yellow
    items[6]->m_strNote = "Ask about the stamps";
    items[8]->m_strNote = "Check the switch type";
    Start(1280, 360);
    m_view->OnCommand(8);  // show Seller too
    m_view->SetSelectedRows({10}, 10);
    // One refresh in flight shows the updating image.
    m_view->OnItemCommand(listcmd::kUpdateSelected);
    m_view->SetSelectedRows({9}, 9);
    m_view->Tick();
    Settle();
    const QPixmap shot = m_view->grab();
    ASSERT_TRUE(shot.save(out, "PNG")) << out;
}

}  // namespace
}  // namespace bexora::test
