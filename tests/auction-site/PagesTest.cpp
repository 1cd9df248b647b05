// Every page kind read back with the client's reading rules.

#include <algorithm>
#include <cmath>

#include "SiteFixture.h"
#include "SiteTime.h"

using rules::Contains;

namespace {
std::string ItemJsonEnd(const bx::Json& state) {
    return std::to_string(static_cast<int64_t>(state.Get("end_time")->AsNumber()));
}
}  // namespace

TEST_F(SiteTest, RunningAuctionPageGivesEveryValue) {
    const std::string title = "Canon AE-1 & <Lens> \"mint\" boxed";
    std::string n =
        AddItem(R"({"title":"Canon AE-1 & <Lens> \"mint\" boxed","price":45,"ends_in":7200,)"
                R"("seller":"camera.exchange","feedback":1234,"percent":99.5,"shipping":12.5,)"
                R"("number":"123456789012"})");
    Competitor(n, "ann", 60);
    Competitor(n, "bob", 50);
    rules::Item it = Parse(n, "ann");
    EXPECT_EQ(it.title, title);
    EXPECT_EQ(it.number, "123456789012");
    EXPECT_EQ(std::to_string(it.endTime), ItemJsonEnd(ItemState(n)));
    EXPECT_EQ(it.price, "$51.00");
    EXPECT_EQ(it.minBid, "US $52.00");
    EXPECT_EQ(it.bidCount, "2");
    EXPECT_EQ(it.quantity, "1");
    EXPECT_TRUE(it.highBidder);
    EXPECT_EQ(it.shipping, "$12.50");
    EXPECT_EQ(it.seller, "camera.exchange");
    EXPECT_EQ(it.feedback, "1234");
    EXPECT_EQ(it.percent, "99.5");
    EXPECT_FALSE(Parse(n, "bob").highBidder);

    // A fresh listing: the start price, no bids, free shipping, ten digits.
    std::string m =
        AddItem(R"({"title":"Lot of stamps","price":"US $1,250.00","number":"1234567890"})");
    it = Parse(m);
    EXPECT_EQ(it.number, "1234567890");
    EXPECT_EQ(it.price, "$1,250.00");
    EXPECT_EQ(it.minBid, "US $1,250.00");
    EXPECT_EQ(it.bidCount, "0");
    EXPECT_EQ(it.shipping, "FREE");
    // No bids: the high bidder line names nobody.
    std::string text = rules::StripTags(Get("/ws/eBayISAPI.dll?ViewItem&item=" + m).body);
    EXPECT_EQ(text.substr(text.find("High bidder:") + 12, 3), "\n--");
}

TEST_F(SiteTest, EndedAuctionShowsTheWinnerAndNoBidBox) {
    std::string sold = AddItem(R"({"title":"Seiko 5 watch","price":10,"ends_in":30})");
    std::string unsold =
        AddItem(R"({"title":"Reserve lamp","price":10,"ends_in":30,"reserve":100})");
    Competitor(sold, "ann", 20);
    Competitor(sold, "bob", 15);
    Competitor(unsold, "ann", 50);
    rules::Item running = Parse(unsold, "ann");
    EXPECT_TRUE(running.highBidder);  // leads, reserve or not
    EXPECT_TRUE(Contains(Get("/ws/eBayISAPI.dll?ViewItem&item=" + unsold).body, "Reserve not met"));

    Control("POST", "/_control/clock", R"({"skew":60})");
    rules::Item it = Parse(sold, "ann");
    EXPECT_EQ(it.price, "$15.50");
    EXPECT_TRUE(it.minBid.empty());  // no "Your maximum bid:" once ended
    EXPECT_TRUE(it.highBidder);
    EXPECT_EQ(it.bidCount, "2");
    bx::Json state = ItemState(sold);
    EXPECT_TRUE(state.Get("ended")->AsBool());
    EXPECT_EQ(state.Get("winner")->AsString(), "ann");

    // Reserve not met: nobody is named, so no one thinks they won.
    it = Parse(unsold, "ann");
    EXPECT_FALSE(it.highBidder);
    EXPECT_TRUE(ItemState(unsold).Get("winner")->IsNull());
    // Ending is for good, even if the clock goes back.
    Control("POST", "/_control/clock", R"({"skew":0})");
    EXPECT_TRUE(ItemState(sold).Get("ended")->AsBool());
}

TEST_F(SiteTest, FixedLiveAndMultipleItemPages) {
    std::string fixed = AddItem(
        R"({"title":"Router","price":19.99,"kind":"fixed","quantity":12,"shipping":"FREE"})");
    std::string live = AddItem(R"({"title":"Estate coins","price":35,"kind":"live"})");
    std::string multi = AddItem(R"({"title":"Silver Eagle","price":28,"quantity":10})");
    Competitor(fixed, "ann", 19.99);
    Competitor(multi, "ann", 30);

    rules::Item it = Parse(fixed);
    EXPECT_EQ(it.bidCount, "BUY");
    EXPECT_EQ(it.price, "$19.99");
    EXPECT_EQ(it.quantity, "11");
    EXPECT_EQ(it.shipping, "FREE");
    it = Parse(live);
    EXPECT_EQ(it.bidCount, "LIVE");
    EXPECT_EQ(it.price, "$35.00");
    it = Parse(multi);
    EXPECT_EQ(it.quantity, "10");
    EXPECT_EQ(it.bidCount, "1");
    EXPECT_EQ(it.price, "$28.00");

    rules::Item missing;
    EXPECT_FALSE(rules::ParseItemPage(
        rules::StripTags(Get("/ws/eBayISAPI.dll?ViewItem&item=999999999999").body), missing));
}

TEST_F(SiteTest, OfficialTimePageFollowsTheSkew) {
    for (double skew : {0.0, 3600.0, -86400.0 * 200}) {  // the last one is in the other zone
        Control("POST", "/_control/clock", "{\"skew\":" + std::to_string(skew) + "}");
        int64_t site = bexora::GetSiteTime();  // from the site the settings point at
        double expected = m_site->SiteNow();
        EXPECT_NEAR(static_cast<double>(site), expected, 2.0);
    }
    // A held clock reads the same until moved, and what it is moved past ends.
    Control("POST", "/_control/clock", R"({"at":1796690000,"freeze":true})");
    std::string lamp = AddItem(R"({"title":"Lamp","ends_in":60})");
    EXPECT_TRUE(rules::Contains(Get("/aw-cgi/eBayISAPI.dll?TimeShow").body,
                                "Monday, Dec 07, 2026 16:33:20 PST"));
    EXPECT_FALSE(ItemState(lamp).Get("ended")->AsBool());
    bx::Json clock = Control("POST", "/_control/clock", R"({"advance":61})");
    EXPECT_EQ(clock.Get("site_time")->AsNumber(), 1796690061.0);
    EXPECT_TRUE(ItemState(lamp).Get("ended")->AsBool());
    clock = Control("POST", "/_control/clock", R"({"freeze":false})");
    EXPECT_FALSE(clock.Get("frozen")->AsBool());
    EXPECT_NEAR(clock.Get("site_time")->AsNumber(), 1796690061.0, 2.0);  // goes on from there
}

// The bid history gives each bid's time by the site's clock, skew and all:
// to the second, and with milliseconds once a test asks for them.
TEST_F(SiteTest, BidHistoryShowsTheSiteTimeOfEachBid) {
    Control("POST", "/_control/clock", R"({"skew":-5400.375})");
    std::string n = AddItem(R"({"title":"Brass lamp","price":5,"ends_in":600})");
    Competitor(n, "ann", 20);
    const double t = ItemState(n).Get("history")->Items().back().Get("time")->AsNumber();
    const std::string second = bx::FormatLongDate(static_cast<int64_t>(std::floor(t)));
    Page p = Get("/ws/eBayISAPI.dll?ViewBids&item=" + n);
    EXPECT_TRUE(Contains(p.body, "<td>" + second + "</td>")) << p.body;

    Control("POST", "/_control/clock", R"({"bid_fractions":true})");
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03d", static_cast<int>((t - std::floor(t)) * 1000));
    std::string withMs = second;
    withMs.insert(withMs.size() - 4, ms);
    p = Get("/ws/eBayISAPI.dll?ViewBids&item=" + n);
    EXPECT_TRUE(Contains(p.body, "<td>" + withMs + "</td>")) << p.body;
    Control("POST", "/_control/reset");
    const bx::Json clock = Control("GET", "/_control/clock");
    ASSERT_NE(clock.Get("bid_fractions"), nullptr);
    EXPECT_FALSE(clock.Get("bid_fractions")->AsBool());
}

TEST_F(SiteTest, ListingsAreReadByTheQuickAdd) {
    std::string a = AddItem(
        R"({"title":"Nikon F3 body","price":120,"ends_in":600,"category":"Cameras & Photo"})");
    std::string b = AddItem(
        R"({"title":"Polaroid SX-70","price":35,"ends_in":300,"category":"Cameras & Photo"})");
    std::string c = AddItem(
        R"({"title":"Hobbit 1966","price":25,"ends_in":900,"category":"Books","seller":"bookworm"})");
    Competitor(b, "ann", 40);
    std::string home = Get("/").body;
    std::vector<rules::Listed> found = rules::QuickAdd(rules::ScanItemLinks(home));
    ASSERT_EQ(found.size(), 3u) << rules::ScanItemLinks(home);
    EXPECT_EQ(found[0].number, b);  // ending soonest first
    EXPECT_EQ(found[0].title, "Polaroid SX-70");
    EXPECT_EQ(found[0].price, "US $35.00");
    EXPECT_EQ(found[1].number, a);
    EXPECT_EQ(found[1].price, "US $120.00");
    EXPECT_EQ(found[2].title, "Hobbit 1966");
    EXPECT_TRUE(Contains(home, "item=" + a + "&cmdZViewItem"));

    auto numbers = [&](const std::string& target) {
        std::vector<std::string> out;
        for (const auto& l : rules::QuickAdd(rules::ScanItemLinks(Get(target).body)))
            out.push_back(l.number);
        return out;
    };
    EXPECT_EQ(numbers("/search?satitle=NIKON%20body"), std::vector<std::string>{a});
    EXPECT_EQ(numbers("/search?category=Cameras%20%26%20Photo"), (std::vector<std::string>{b, a}));
    EXPECT_EQ(numbers("/search?seller=bookworm"), std::vector<std::string>{c});
    EXPECT_TRUE(numbers("/search?satitle=zeppelin").empty());
}

TEST_F(SiteTest, UpdateFolderServesTheInstructionFileAndItsFiles) {
    EXPECT_TRUE(Contains(Get("/vendor/update.txt").body, "Version=1.0.9.9\n"));
    Control("POST", "/_control/update",
            R"({"version":"1.1.0.0","files":[{"name":"bexora","content":"#!/bin/sh\necho new\n"},)"
            R"({"name":"readme.txt","base64":"aGVsbG8=","chunked":true}]})");
    Page p = Get("/vendor/update.txt");
    rules::LineReader r(p.body);
    EXPECT_EQ(r.Next(), "[update]");
    std::string v = r.Next().substr(8, 10);
    v.erase(std::remove(v.begin(), v.end(), '.'), v.end());
    EXPECT_EQ(std::stoi(v), 1100);
    r.Next();
    std::string base = rules::Trim(r.Next().substr(5, 100), " ");
    EXPECT_EQ(base, "http://127.0.0.1:" + std::to_string(m_server->HttpPort()) + "/vendor/files/");
    EXPECT_EQ(std::atoi(r.Next().substr(14, 5).c_str()), 2);
    std::string first = rules::Trim(r.Next().substr(3, 100), " ");
    std::string second = rules::Trim(r.Next().substr(3, 100), " ");
    EXPECT_EQ(first, "bexora");
    // Each file's checksum and size, for the signed form.
    EXPECT_EQ(r.Next().substr(0, 3), "H1=");
    EXPECT_EQ(r.Next().substr(0, 3), "H2=");
    EXPECT_EQ(r.Next(), "<>");

    Page f1 = Get(base.substr(base.find("/vendor")) + first);
    EXPECT_EQ(f1.body, "#!/bin/sh\necho new\n");
    EXPECT_EQ(f1.Header("Content-Length"), "19");
    Page f2 = Get("/vendor/files/" + second);
    EXPECT_EQ(f2.body, "hello");
    EXPECT_EQ(f2.Header("Content-Length"), "");  // no size given

    // Over HTTPS the base address follows the scheme.
    Page secure = Get("/vendor/update.txt", true);
    EXPECT_TRUE(
        Contains(secure.body, "Base=https://127.0.0.1:" + std::to_string(m_server->HttpsPort())));
    EXPECT_TRUE(Contains(Get("/vendor/firstrun.html", true).body, "Welcome to Bexora"));
    EXPECT_TRUE(Contains(Get("/vendor/whatsnew.html").body, "What's new"));
    EXPECT_EQ(Get("/vendor/files/../update.txt").status, 404);
}

TEST(SiteSeed, SameSeedSameCatalogue) {
    auto numbers = [](uint64_t seed) {
        bx::Site site(seed);
        site.LoadDemo();
        int status = 0;
        bx::Json items = site.Control("GET", "/_control/items", "", status);
        std::string all;
        for (const bx::Json& i : items.Items())
            all += i.Get("number")->AsString() + i.Get("seller")->AsString() +
                   std::to_string(i.Get("history")->Items().size() +
                                  static_cast<size_t>(i.Get("script_pending")->AsNumber())) +
                   ";";
        EXPECT_GE(items.Items().size(), 30u);
        return all;
    };
    EXPECT_EQ(numbers(42), numbers(42));
    EXPECT_NE(numbers(42), numbers(43));
}
