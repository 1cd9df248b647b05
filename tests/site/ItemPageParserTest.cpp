// The item page parser on small page texts written for each rule, on two
// full pages in tests/data/pages, and the item refresh against a small site
// on 127.0.0.1 serving an item page and the official time page.

#include "site/ItemPageParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "site/CookieStore.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"
#include "support/LocalServer.h"
#include "support/TempDir.h"

using namespace bexora;

namespace {

// Nov-11-06 14:23:45 PST read in UTC.
constexpr int64_t kEnd = 1163255025;

// A page as the parser receives it: tags already turned into line feeds.
const std::string kPage =
    "\neBay: Red lamp (item 1234567890 end time Nov-11-06 14:23:45 PST)\n"
    "Current bid:\nUS $12.50\n"
    "Your maximum bid:\n(Enter US $13.00 or more)\n"
    "History:\n3 bids\n"
    "High bidder:\nsniper_ann ( 42 )\n"
    "Quantity:\n1\n"
    "Shipping costs:\nUS $4.00 (first item)\nUS Postal Service\n"
    "Seller:\nbob\n (\n123\n)\n"
    "Feedback:\n99.5% Positive\n"
    "View seller's other items\n"
    "Starting bid: Quantity: 9 available Seller: nobody (1) Feedback: 1%\n";

// kPage with the first occurrence of what replaced.
std::string With(const std::string& what, const std::string& by, std::string page = kPage) {
    size_t p = page.find(what);
    EXPECT_NE(p, std::string::npos) << what;
    if (p != std::string::npos) page.replace(p, what.size(), by);
    return page;
}

std::string ReadPage(const std::string& name) {
    std::string page;
    EXPECT_TRUE(ReadWholeFile(std::string(BEXORA_TEST_DATA) + "/pages/" + name, page, nullptr))
        << name;
    return StripTags(page);
}

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        SetSettingsPath(m_dir.File("Bexora.ini"));
        CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
        m_clock.Set(kEnd - 3600);
        SetClock(&m_clock);
        FixClockOffset(0);
        OverrideSavedUserId(std::nullopt);
    }
    void TearDown() override {
        SetClock(nullptr);
        FixClockOffset(std::nullopt);
        ForgetClockOffset();
        OverrideSavedUserId(std::nullopt);
        TakeShownPrompts();
    }
    CItem Parse(const std::string& page, bool expected = true) {
        CItem item;
        EXPECT_EQ(ParseItemPage(page, item), expected);
        return item;
    }

    test::TempDir m_dir;
    CManualClock m_clock;
};

}  // namespace

TEST_F(ParserTest, ReadsEveryValueOfAnItemPage) {
    OverrideSavedUserId("sniper_ann");
    CItem item = Parse(kPage);
    EXPECT_EQ(item.m_strItemNumber, "1234567890");
    EXPECT_EQ(item.m_strTitle, "Red lamp");
    EXPECT_EQ(item.m_tEndTime, kEnd);
    EXPECT_EQ(item.m_strTimeLeft, "01:00:00");
    EXPECT_EQ(item.m_strCurrentPrice, "$12.50");
    EXPECT_EQ(item.m_strMinBid, "US $13.00");
    EXPECT_EQ(item.m_strBidCount, "3");
    EXPECT_EQ(item.m_bHighBidder, 1);
    EXPECT_EQ(item.m_strQuantity, "1");
    EXPECT_EQ(item.m_strShipping, "$4.00");
    EXPECT_EQ(item.m_strSeller, "bob");
    EXPECT_EQ(item.m_strFeedback, "123");
    EXPECT_EQ(item.m_strPercent, "99.5");
    // Quantity and bid count differ from "N/A".
    EXPECT_EQ(item.m_bChanged, 1);
    // Fields the page does not show keep their values.
    EXPECT_EQ(item.m_strMyBid, "N/A");
    EXPECT_EQ(item.m_strBidGroup, "N/A");

    // The same page again: nothing changed.
    EXPECT_TRUE(ParseItemPage(kPage, item));
    EXPECT_EQ(item.m_bChanged, 0);
}

TEST_F(ParserTest, EntitiesAreCleanedUpBeforeReading) {
    CItem item = Parse(With("Red lamp", "&lt;Red&gt; &amp;AMP; blue&nbsp;lamp\"&gt;"));
    EXPECT_EQ(item.m_strTitle, "<Red> & bluelamp");
    // "amp;" goes wherever it stands, even inside words.
    EXPECT_EQ(Parse(With("Red lamp", "Champ; lamp")).m_strTitle, "Ch lamp");
}

TEST_F(ParserTest, PagesWithoutTheirMarkersAreRejected) {
    for (const auto& [what, by] : std::vector<std::pair<std::string, std::string>>{
             {"eBay:", "eBay "},
             {"(item", "(Item"},
             {"end time", "ends at"},
             {"View seller's other items", "View sellers other items"},
             {"Current bid:", "Current bid"},
         }) {
        CItem item;
        std::string page = With(what, by);
        // The trailing "Starting bid:" lies after the cut and does not count.
        EXPECT_FALSE(ParseItemPage(page, item)) << what;
    }
    CItem item;
    EXPECT_FALSE(ParseItemPage("", item));
    // A page missing one marker is not read at all: no title, number or
    // minimum bid of a page that may have changed.
    EXPECT_FALSE(ParseItemPage(With("View seller's other items", ""), item));
    EXPECT_EQ(item.m_strTitle, "N/A");
    EXPECT_EQ(item.m_strItemNumber, "N/A");
    EXPECT_EQ(item.m_strMinBid, CItem().m_strMinBid);
}

TEST_F(ParserTest, LiveAuctionsAndMinimumBid) {
    // A live auction: no minimum bid is read, the count replaces "LIVE".
    std::string live = With("Current bid:", "Ready to Sign Up for Live Auction?\nCurrent bid:");
    CItem item;
    item.m_strMinBid = "kept";
    ASSERT_TRUE(ParseItemPage(live, item));
    EXPECT_EQ(item.m_strMinBid, "kept");
    EXPECT_EQ(item.m_strBidCount, "3");
    item = CItem();
    ASSERT_TRUE(ParseItemPage(With("History:\n3 bids", "", live), item));
    EXPECT_EQ(item.m_strBidCount, "LIVE");

    EXPECT_EQ(Parse(With("(Enter US $13.00 or more)", "Place a bid")).m_strMinBid, "0");
    EXPECT_EQ(Parse(With("(Enter US $13.00 or more)", "(Enter US $13.00")).m_strMinBid, "0");
    EXPECT_EQ(Parse(With("(Enter US $13.00 or more)", "(Enteror more")).m_strMinBid, "0");
    EXPECT_EQ(Parse(With("(Enter US $13.00 or more)", "(Enter or more")).m_strMinBid, "");
    // Without "Your maximum bid:" the minimum bid stays as it was.
    EXPECT_EQ(Parse(With("Your maximum bid:", "")).m_strMinBid, "");
}

TEST_F(ParserTest, TitleAnchors) {
    CItem item = Parse(With("eBay: Red lamp", "eBay Motors: Red car"));
    EXPECT_EQ(item.m_strTitle, "Red car");
    EXPECT_EQ(item.m_strItemNumber, "1234567890");
    // Quotes and '>' at the end of the title go.
    EXPECT_EQ(Parse(With("Red lamp", "Red \"lamp\"> ")).m_strTitle, "Red \"lamp");

    // The anchor must lie less than 100 characters before "(item".
    std::string title93(93, 'x');  // "eBay: " + 93 + " " puts "(item" at 100
    item = Parse(With("Red lamp", title93));
    EXPECT_EQ(item.m_strTitle, "N/A");
    EXPECT_EQ(item.m_strItemNumber, "1234567890");
    EXPECT_EQ(Parse(With("Red lamp", std::string(92, 'x'))).m_strTitle, std::string(92, 'x'));
    // "(item" before the anchor: no title either.
    item = Parse(With("eBay: Red lamp (item 1234567890", "(item 1234567890 eBay: Red lamp"));
    EXPECT_EQ(item.m_strTitle, "N/A");
}

TEST_F(ParserTest, TimeLeft) {
    m_clock.Set(kEnd);
    EXPECT_EQ(Parse(kPage).m_strTimeLeft, "Ended");
    m_clock.Set(kEnd + 1000);
    EXPECT_EQ(Parse(kPage).m_strTimeLeft, "Ended");

    m_clock.Set(kEnd - (86400 + 2 * 3600 + 5 * 60 + 7));
    EXPECT_EQ(Parse(kPage).m_strTimeLeft, "1d 02:05:00");
    m_clock.Set(kEnd - (5 * 3600 + 4 * 60 + 3));
    EXPECT_EQ(Parse(kPage).m_strTimeLeft, "05:04:03");
    m_clock.Set(kEnd - 1);
    EXPECT_EQ(Parse(kPage).m_strTimeLeft, "00:00:01");

    // The clock offset moves the end: our clock runs 2 hours ahead.
    FixClockOffset(7200);
    m_clock.Set(kEnd + 3600);
    EXPECT_EQ(Parse(kPage).m_strTimeLeft, "01:00:00");
    FixClockOffset(0);

    // An unreadable end time is no end: the record keeps the one it knew
    // (none on a fresh record), and nothing says the auction is over.
    CItem item = Parse(With("Nov-11-06 14:23:45 PST", "soon"));
    EXPECT_EQ(item.m_tEndTime, 0);
    EXPECT_EQ(item.m_strTimeLeft, "N/A");
    CItem known;
    known.m_tEndTime = kEnd;
    known.m_strTimeLeft = "00:05:00";
    ASSERT_TRUE(ParseItemPage(With("Nov-11-06 14:23:45 PST", "soon"), known));
    EXPECT_EQ(known.m_tEndTime, kEnd);
    EXPECT_EQ(known.m_strTimeLeft, "00:05:00");
    EXPECT_EQ(known.m_strCurrentPrice, "$12.50");
    CItem open;
    ASSERT_TRUE(ParseItemPage("eBay: x (item 1 end time Nov-11-06 14:23:45 PST\nCurrent bid:\n$1\n"
                              "View seller's other items",
                              open));
    EXPECT_EQ(open.m_tEndTime, 0);
}

TEST_F(ParserTest, PriceComesFromTheFirstLabelNearTheTop) {
    EXPECT_EQ(Parse(With("US $12.50", "US $1,234.50 (about EUR 970.00)")).m_strCurrentPrice,
              "$1,234.50");
    EXPECT_EQ(Parse(With("US $12.50", "GBP 7.25")).m_strCurrentPrice, "GBP 7.25");

    // The list order decides, not the page order.
    std::string both = With("Current bid:\nUS $12.50", "Starting bid:\nUS $1.00\nCurrent bid:\nUS $12.50");
    EXPECT_EQ(Parse(both).m_strCurrentPrice, "$12.50");
    EXPECT_EQ(Parse(With("Current bid:", "Buy It Now price:")).m_strCurrentPrice, "$12.50");

    // Only a label at position 10000 or earlier counts.
    const size_t at = kPage.find("Current bid:");
    std::string late = With("Current bid:", std::string(10001 - at, ' ') + "Current bid:");
    Parse(late, false);
    std::string edge = With("Current bid:", std::string(10000 - at, ' ') + "Current bid:");
    EXPECT_EQ(Parse(edge).m_strCurrentPrice, "$12.50");
    // A later label does not stand in when the first occurrence is too far.
    std::string twice = late;
    twice.insert(twice.find("View seller's"), "Current bid:\nUS $2.00\n");
    Parse(twice, false);
    // A first "Current bid:" too far leaves the next label in the list to decide.
    std::string fallback = With("(item", "Sold for:\nUS $3.00\n(item", late);
    EXPECT_EQ(Parse(fallback).m_strCurrentPrice, "$3.00");
}

TEST_F(ParserTest, Quantity) {
    EXPECT_EQ(Parse(With("Quantity:\n1", "Quantity:\n5 available")).m_strQuantity, "5");
    // "available" 20 characters after "Quantity:" still counts, 21 does not.
    EXPECT_EQ(Parse(With("Quantity:\n1", "Quantity:\n5" + std::string(9, ' ') + "available"))
                  .m_strQuantity,
              "5");
    EXPECT_EQ(Parse(With("Quantity:\n1", "Quantity:\n5" + std::string(10, ' ') + "available"))
                  .m_strQuantity,
              "1");
    EXPECT_EQ(Parse(With("Quantity:\n1", "Quantity:\nnone available")).m_strQuantity, "1");
    EXPECT_EQ(Parse(With("Quantity:\n1", "")).m_strQuantity, "1");
    // "available" before "Quantity:" is no quantity.
    EXPECT_EQ(Parse(With("Quantity:\n1", "available Quantity:\n7")).m_strQuantity, "1");

    // A new quantity is a change; the same one is not.
    CItem item;
    item.m_strQuantity = "5";
    item.m_strBidCount = "3";
    ASSERT_TRUE(ParseItemPage(With("Quantity:\n1", "Quantity:\n5 available"), item));
    EXPECT_EQ(item.m_bChanged, 0);
    ASSERT_TRUE(ParseItemPage(With("Quantity:\n1", "Quantity:\n4 available"), item));
    EXPECT_EQ(item.m_bChanged, 1);
}

TEST_F(ParserTest, BidCountAndKindOfSale) {
    EXPECT_EQ(Parse(With("3 bids", "12 bids")).m_strBidCount, "12");
    EXPECT_EQ(Parse(With("3 bids", "Purchases (2)")).m_strBidCount, "BUY");
    EXPECT_EQ(Parse(With("3 bids", "$5 bid")).m_strBidCount, "BUY");
    EXPECT_EQ(Parse(With("3 bids", "Winning bid")).m_strBidCount, "BUY");
    EXPECT_EQ(Parse(With("3 bids", "<none> bid")).m_strBidCount, "BUY");
    // "bid" must start fewer than 30 characters after "History:".
    EXPECT_EQ(Parse(With("3 bids", "3" + std::string(19, ' ') + "bids")).m_strBidCount, "3");
    // Further on the count stays as it was, "N/A" on a fresh record.
    std::string far = With("3 bids", "3" + std::string(20, ' ') + "bids");
    EXPECT_EQ(Parse(far).m_strBidCount, "BUY");
    CItem item;
    item.m_strBidCount = "7";
    ASSERT_TRUE(ParseItemPage(far, item));
    EXPECT_EQ(item.m_strBidCount, "7");
    // No "History:" at all.
    EXPECT_EQ(Parse(With("History:\n3 bids", "")).m_strBidCount, "BUY");
    item.m_strBidCount = "7";
    ASSERT_TRUE(ParseItemPage(With("History:\n3 bids", ""), item));
    EXPECT_EQ(item.m_strBidCount, "7");
}

TEST_F(ParserTest, HighBidderIsTheSavedUser) {
    // The saved ID comes from the settings.
    ASSERT_TRUE(Settings().WriteString(setting::UserId, "sniper_ann"));
    EXPECT_EQ(Parse(kPage).m_bHighBidder, 1);
    ASSERT_TRUE(Settings().WriteString(setting::UserId, "Sniper_Ann"));
    EXPECT_EQ(Parse(kPage).m_bHighBidder, 0);

    OverrideSavedUserId("ann");
    EXPECT_EQ(Parse(kPage).m_bHighBidder, 1);
    // Only the 20 characters after the label are looked at.
    EXPECT_EQ(Parse(With("sniper_ann", std::string(20, '-') + "ann")).m_bHighBidder, 0);

    // An empty ID never matches, and nothing here clears the flag.
    OverrideSavedUserId("");
    EXPECT_EQ(Parse(kPage).m_bHighBidder, 0);
    CItem item;
    item.m_bHighBidder = 1;
    OverrideSavedUserId("carl");
    ASSERT_TRUE(ParseItemPage(kPage, item));
    EXPECT_EQ(item.m_bHighBidder, 1);
}

TEST_F(ParserTest, Shipping) {
    const std::string cost = "US $4.00 (first item)";
    EXPECT_EQ(Parse(With(cost, "FREE Standard Shipping")).m_strShipping, "FREE");
    EXPECT_EQ(Parse(With(cost, "Standard Shipping is FREE")).m_strShipping, "FREE");
    EXPECT_EQ(Parse(With(cost, "$1,004.00 first item)")).m_strShipping, "$1,004.00");
    EXPECT_EQ(Parse(With(cost, "GBP 3.50")).m_strShipping, "GBP 3.50");
    // The first digit past position 5 of the line: not a cost.
    EXPECT_EQ(Parse(With(cost, "Ships in 2 days")).m_strShipping, "N/A");
    EXPECT_EQ(Parse(With(cost, "Not specified")).m_strShipping, "N/A");
    EXPECT_EQ(Parse(With("Shipping costs:", "Shipping:")).m_strShipping, "N/A");
}

TEST_F(ParserTest, SellerFeedbackAndPercentage) {
    CItem item = Parse(With("Seller:", "Vendor:"));
    EXPECT_EQ(item.m_strSeller, "N/A");
    EXPECT_EQ(item.m_strFeedback, "N/A");
    EXPECT_EQ(item.m_strPercent, "N/A");

    // No "(": the seller is empty and nothing more is read.
    item = Parse(With(" (\n123\n)", " 123"));
    EXPECT_EQ(item.m_strSeller, "");
    EXPECT_EQ(item.m_strFeedback, "N/A");
    // No ")": seller only.
    item = Parse(With("123\n)", "123"));
    EXPECT_EQ(item.m_strSeller, "bob");
    EXPECT_EQ(item.m_strFeedback, "N/A");
    EXPECT_EQ(item.m_strPercent, "N/A");
    // No "Feedback:" after it: no percentage.
    item = Parse(With("Feedback:", "Rating:"));
    EXPECT_EQ(item.m_strFeedback, "123");
    EXPECT_EQ(item.m_strPercent, "N/A");
}

TEST_F(ParserTest, FullPagesFromFiles) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    OverrideSavedUserId("sniper_ann");
    // Nov-11-06 12:00:00 PST
    m_clock.Set(1163275200);
    CItem item = Parse(ReadPage("auction-running.html"));
    EXPECT_EQ(item.m_strItemNumber, "110012345678");
    EXPECT_EQ(item.m_strTitle, "Vintage Leica M3 body & Summicron 50mm lens");
    EXPECT_EQ(item.m_strCurrentPrice, "$1,234.50");
    EXPECT_EQ(item.m_strMinBid, "US $1,259.50");
    EXPECT_EQ(item.m_strTimeLeft, "2d 07:45:00");
    EXPECT_EQ(item.m_tEndTime, 1163475910);
    EXPECT_EQ(item.m_strBidCount, "17");
    EXPECT_EQ(item.m_bHighBidder, 1);
    EXPECT_EQ(item.m_strQuantity, "1");  // the description's "Quantity:" lies after the cut
    EXPECT_EQ(item.m_strShipping, "$25.00");
    EXPECT_EQ(item.m_strSeller, "camera_house");
    EXPECT_EQ(item.m_strFeedback, "1532");
    EXPECT_EQ(item.m_strPercent, "99.8");

    // Jul-01-06 17:00:00 PDT
    m_clock.Set(1151798400);
    item = Parse(ReadPage("motors-buy-it-now.html"));
    EXPECT_EQ(item.m_strItemNumber, "220098765432");
    EXPECT_EQ(item.m_strTitle, "1967 Ford Mustang Fastback \"Eleanor\" > restored");
    EXPECT_EQ(item.m_strCurrentPrice, "$89,500.00");
    EXPECT_EQ(item.m_strTimeLeft, "17:00:00");
    EXPECT_EQ(item.m_strBidCount, "BUY");
    EXPECT_EQ(item.m_strQuantity, "3");
    EXPECT_EQ(item.m_strShipping, "FREE");
    EXPECT_EQ(item.m_strMinBid, "");
    EXPECT_EQ(item.m_bHighBidder, 0);
    EXPECT_EQ(item.m_strSeller, "west_coast_classics");
    EXPECT_EQ(item.m_strFeedback, "317");
    EXPECT_EQ(item.m_strPercent, "100");
}

TEST_F(ParserTest, CutPagesAndMarkersAtTheEndAreSafe) {
    // Every prefix of a real page, and pages ending right after a marker:
    // no crash and no read past the text (the sanitizer build checks).
    const std::string page = ReadPage("auction-running.html");
    for (size_t n = 0; n <= page.size(); n += 3) {
        CItem item;
        ParseItemPage(page.substr(0, n), item);
    }
    std::string head = "eBay: x (item 1 end time Nov-11-06 14:23:45 PST)\nCurrent bid:";
    for (const char* tail : {"", "Quantity:", "History:", "High bidder:", "Shipping costs:",
                             "Seller:", "Seller: (", "Seller: ( 1 ) Feedback:",
                             "Your maximum bid:", "Your maximum bid: (Enter"}) {
        CItem item;
        EXPECT_TRUE(ParseItemPage(head + tail + "View seller's other items", item)) << tail;
        EXPECT_TRUE(ParseItemPage(std::string(tail) + head + "View seller's other items", item))
            << tail;
    }
}

// ---- the item refresh ----

namespace {

// A site serving one item page and the official time page.
class ItemSite {
public:
    ItemSite() {
        m_server.Server().Get("/ws/eBayISAPI.dll", [this](const httplib::Request& req,
                                                          httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_itemRequests;
            m_lastItem = req.get_param_value("item");
            res.set_content(m_itemPage, "text/html");
        });
        m_server.Server().Get("/aw-cgi/eBayISAPI.dll", [this](const httplib::Request&,
                                                              httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            res.set_content(m_timePage, "text/html");
        });
        m_server.Start();
        Settings().WriteString(setting::SiteItemHost, m_server.Host());
        Settings().WriteString(setting::SiteTimeHost, m_server.Host());
    }
    void Set(const std::string& itemPage, const std::string& siteNow) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_itemPage = itemPage;
        m_timePage = "<table><tr><td>The official eBay Time is now:</td></tr><tr><td><b>" +
                     siteNow + "</b></td></tr></table>";
    }
    int ItemRequests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_itemRequests;
    }
    std::string LastItem() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastItem;
    }

private:
    test::LocalServer m_server;
    std::mutex m_mutex;
    std::string m_itemPage, m_timePage, m_lastItem;
    int m_itemRequests = 0;
};

std::string RawItemPage(const std::string& price, const std::string& end) {
    return "<html><head><title>eBay: Red lamp (item 1234567890 end time " + end +
           ")</title></head><body><table><tr><td>Current bid:</td><td><b>US " + price +
           "</b></td></tr><tr><td>History:</td><td><a href=\"#\">4 bids</a></td></tr>"
           "<tr><td>Seller:</td><td><a href=\"#\">bob</a> (<a href=\"#\">12</a>)</td></tr>"
           "<tr><td>Feedback:</td><td>98% Positive</td></tr>"
           "<tr><td><a href=\"#\">View seller's other items</a></td></tr></table></body></html>";
}

}  // namespace

TEST_F(ParserTest, RefreshMergesThePageMeasuredAgainstASkewedSiteClock) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    FixClockOffset(std::nullopt);
    ItemSite site;
    // The site says 14:00 PST; our clock runs 2 hours ahead of it.
    site.Set(RawItemPage("$20.00", "Nov-11-06 15:30:00 PST"), "Saturday, Nov 11, 2006 14:00:00 PST");
    m_clock.Set(ParseSiteDate("Nov 11, 2006 14:00:00 PST") + 7200);

    CItem item;
    item.m_strItemNumber = "1234567890";
    item.m_strMyBid = "$25.00";
    item.m_bUpdateFailed = 1;
    ASSERT_TRUE(item.UpdateFromSite());
    EXPECT_EQ(site.LastItem(), "1234567890");
    EXPECT_EQ(CachedClockOffset(), 7200);
    EXPECT_EQ(item.m_strTimeLeft, "01:30:00");
    EXPECT_EQ(item.m_tEndTime, ParseSiteDate("Nov-11-06 15:30:00 PST"));
    EXPECT_EQ(item.m_strCurrentPrice, "$20.00");
    EXPECT_EQ(item.m_strBidCount, "4");
    EXPECT_EQ(item.m_strSeller, "bob");
    EXPECT_EQ(item.m_strMyBid, "$25.00");
    EXPECT_EQ(item.m_bUpdateFailed, 0);

    // A page that is no item page: failed, the known end kept, nothing
    // else touched.
    site.Set("<html>Invalid Item</html>", "Saturday, Nov 11, 2006 14:00:00 PST");
    CItem before = item;
    EXPECT_FALSE(item.UpdateFromSite());
    EXPECT_EQ(item.m_bUpdateFailed, 1);
    EXPECT_EQ(item.m_tEndTime, before.m_tEndTime);
    item.m_bUpdateFailed = before.m_bUpdateFailed;
    EXPECT_EQ(item.m_strCurrentPrice, before.m_strCurrentPrice);
    EXPECT_EQ(item.m_strTimeLeft, before.m_strTimeLeft);
    EXPECT_EQ(item.m_strTitle, before.m_strTitle);
    EXPECT_EQ(item.m_strBidCount, before.m_strBidCount);
    EXPECT_EQ(item.m_strSeller, before.m_strSeller);

    // Once the auction has ended the page is not asked for again.
    site.Set(RawItemPage("$31.00", "Nov-11-06 15:30:00 PST"), "Saturday, Nov 11, 2006 16:00:00 PST");
    m_clock.Set(ParseSiteDate("Nov 11, 2006 16:00:00 PST") + 7200);
    ASSERT_TRUE(item.UpdateFromSite());
    EXPECT_EQ(item.m_strTimeLeft, "Ended");
    EXPECT_EQ(item.m_strCurrentPrice, "$31.00");
    const int asked = site.ItemRequests();
    EXPECT_TRUE(item.UpdateFromSite());
    EXPECT_EQ(site.ItemRequests(), asked);
}

// A readable page whose end date is not: the running auction stays running
// (it would otherwise never be fetched again and be reported as over).
TEST_F(ParserTest, RefreshWithAnUnreadableEndDateKeepsTheKnownEnd) {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    ItemSite site;
    site.Set(RawItemPage("$20.00", "Nov-11-06 15:30:00 PST"), "Saturday, Nov 11, 2006 14:00:00 PST");
    m_clock.Set(ParseSiteDate("Nov 11, 2006 14:00:00 PST"));
    CItem item;
    item.m_strItemNumber = "1234567890";
    ASSERT_TRUE(item.UpdateFromSite());
    const int64_t end = item.m_tEndTime;
    ASSERT_NE(end, 0);

    site.Set(RawItemPage("$22.00", "Nov-11-06 15:30 Pacific"), "Saturday, Nov 11, 2006 14:00:00 PST");
    item.UpdateFromSite();
    EXPECT_EQ(item.m_tEndTime, end);
    EXPECT_EQ(item.m_strTimeLeft, "01:30:00");
    EXPECT_EQ(item.m_strCurrentPrice, "$22.00");  // what could be read is taken
    EXPECT_EQ(item.m_bUpdateFailed, 1);
    // And it is asked for again.
    const int asked = site.ItemRequests();
    item.UpdateFromSite();
    EXPECT_EQ(site.ItemRequests(), asked + 1);
}

TEST_F(ParserTest, RefreshOfAnUnreachableSiteFails) {
    Settings().WriteString(setting::SiteItemHost, "127.0.0.1:1");
    CItem item;
    item.m_strItemNumber = "1234567890";
    item.m_strTitle = "Red lamp";
    item.m_tEndTime = kEnd;
    EXPECT_FALSE(item.UpdateFromSite());
    EXPECT_EQ(item.m_bUpdateFailed, 1);
    EXPECT_EQ(item.m_tEndTime, kEnd);  // a lost page does not end the auction
    EXPECT_EQ(item.m_strTitle, "Red lamp");
}
