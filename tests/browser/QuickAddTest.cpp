// The fast add: listing rows read from the page's text, and pages whose rows
// are drawn by script.

#include <gtest/gtest.h>

#include "FakeList.h"
#include "PageFixture.h"
#include "browser/AddFromPage.h"
#include "browser/ScriptListing.h"
#include "text/TextTools.h"

namespace bexora::test {
namespace {

std::string Link(const std::string& number, const std::string& inner) {
    return "<a href=\"/ws/eBayISAPI.dll?ViewItem&amp;item=" + number + "&amp;cmdZViewItem\">" +
           inner + "</a>";
}

// Rows the way listing pages write them: no white space between tags, the
// picture and the title each in a link of the item.
std::string ListingPage() {
    std::string p = "<html><body><p>Back to list of items</p><table>";
    auto row = [&](const std::string& n, const std::string& title, const std::string& cells) {
        p += "<tr><td>" + Link(n, "<img src=\"/pics/thumb.gif\">") + "</td><td>" + Link(n, title) +
             "</td>" + cells + "</tr>\n";
    };
    row("110000000001", "Polaroid SX-70", "<td>US $35.00</td><td>0</td><td>2h 05m</td>");
    row("110000000002", "Nikon F3 &amp; MD-4",
        "<td><font>Great condition, works fine</font></td><td>US $120.00</td>");
    row("110000000003", "Canonet QL17", "<td>125</td><td>bids</td><td>US $5.00</td>");
    row("110000000004", "Rollei 35", "<td><b>US $</b>12.00</td>");
    row("110000000005", "Olympus OM-1", "<td>&#163;7.50</td>");
    p += "<tr><td>" + Link("110000000006", "Leica lens cap") + "</td></tr>\n";
    row("1100000007", "Hobbit 1966", "<td>US $25.00</td>");
    p += "</table><p>Copyright 1995-2006</p></body></html>\n";
    return p;
}

class QuickAddTest : public PageTest {};

TEST_F(QuickAddTest, ReadsEachListedRowOnce) {
    CFakeList list;
    CFakeSink sink(&list);
    PageAddResult r = AddFromPageWithMethod(ListingPage(), "http://127.0.0.1/search?satitle=camera",
                                            sink, kAddFast);
    EXPECT_FALSE(r.bItemPage);
    ASSERT_EQ(list.Numbers(), (std::vector<std::string>{
                                  "110000000001", "110000000002", "110000000003", "110000000004",
                                  "110000000005", "110000000006", "1100000007"}));
    EXPECT_EQ(r.nAdded, 7);
    auto price = [&](const char* n) { return list.Find(n)->m_strCurrentPrice; };
    EXPECT_EQ(list.Find("110000000001")->m_strTitle, "Polaroid SX-70");
    EXPECT_EQ(price("110000000001"), "US $35.00");
    EXPECT_EQ(list.Find("110000000002")->m_strTitle, "Nikon F3 & MD-4");
    EXPECT_EQ(price("110000000002"), "US $120.00");  // the subtitle is passed over
    EXPECT_EQ(price("110000000003"), "US $5.00");    // a count and its word are passed over
    EXPECT_EQ(price("110000000004"), "US $12.00");   // currency on a line of its own
    EXPECT_EQ(price("110000000005"),
              "\xA3"
              "7.50");
    EXPECT_EQ(list.Find("110000000006")->m_strTitle, "Leica lens cap");
    EXPECT_EQ(price("110000000006"), "N/A");  // the next row's link follows at once
    EXPECT_EQ(list.Find("1100000007")->m_strTitle, "Hobbit 1966");
    for (const auto& item : list.m_items) {
        EXPECT_EQ(item->m_bFresh, 1);
        EXPECT_EQ(item->m_strSeller, "N/A");  // nothing else is read from a listing
        EXPECT_EQ(item->m_tEndTime, 0);
    }
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(QuickAddTest, ListedAndRefusedItemsAreDroppedSilently) {
    CFakeList list;
    list.Add("110000000002", "$99.00").m_strTitle = "mine";
    CFakeSink sink(&list);
    PageAddResult r = AddFromPageWithMethod(ListingPage(), "http://127.0.0.1/", sink, kAddFast);
    EXPECT_EQ(r.nAdded, 6);
    EXPECT_EQ(list.Find("110000000002")->m_strCurrentPrice, "$99.00");  // left as it was
    EXPECT_EQ(list.Find("110000000002")->m_strTitle, "mine");
    EXPECT_EQ(list.m_items.size(), 7u);

    // A window whose list cannot be found: the rows are found, none is added,
    // nothing is said (and the question about the slow add is not asked).
    CFakeSink nowhere(nullptr);
    EXPECT_TRUE(QuickAdd(ScanItemLinks(ListingPage()), nowhere));
    EXPECT_TRUE(TakeShownPrompts().empty());
}

// Lines the scan meets while it looks for a price can be the next item's
// marker or the end of the text: they end the item there and are read as
// what they are, instead of becoming a price or swallowing the next item.
TEST_F(QuickAddTest, MarkersAmongThePriceLinesStartTheNextItem) {
    struct Case {
        const char* name;
        const char* prepared;
        const char* firstTitle;
        const char* firstPrice;
    };
    const Case cases[] = {
        {"marker after marker", "<1111111111>\n<2222222222>\nSecond\nUS $3.00\n", "N/A", "N/A"},
        {"marker after subtitle",
         "<1111111111>\nFirst\nA subtitle longer than fifteen\n<2222222222>\nSecond\nUS $3.00\n",
         "First", "N/A"},
        {"marker after count", "<1111111111>\nFirst\n125\n<2222222222>\nSecond\nUS $3.00\n",
         "First", "N/A"},
        {"marker skipped after count",
         "<1111111111>\nFirst\n125\nbids\n<2222222222>\nSecond\nUS $3.00\n", "First", "N/A"},
        {"marker after a text without digits",
         "<1111111111>\nFirst\nBuy It Now\n<2222222222>\nSecond\nUS $3.00\n", "First", "N/A"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeList list;
        CFakeSink sink(&list);
        EXPECT_TRUE(QuickAdd(c.prepared, sink));
        ASSERT_EQ(list.Numbers(), (std::vector<std::string>{"1111111111", "2222222222"}));
        EXPECT_EQ(list.m_items[0]->m_strTitle, c.firstTitle);
        EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, c.firstPrice);
        EXPECT_EQ(list.m_items[1]->m_strTitle, "Second");
        EXPECT_EQ(list.m_items[1]->m_strCurrentPrice, "US $3.00");
    }

    // At the end of the text: one item, no made-up ones.
    for (const char* prepared :
         {"<1111111111>\nFirst\nBuy It Now\n", "<1111111111>\n", "<1111111111>\nFirst\n125\n"}) {
        CFakeList list;
        CFakeSink sink(&list);
        EXPECT_TRUE(QuickAdd(prepared, sink));
        ASSERT_EQ(list.Numbers(), std::vector<std::string>{"1111111111"}) << prepared;
        EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, "N/A");
    }
}

TEST_F(QuickAddTest, NoRowsAsksAboutTheSlowAdd) {
    CFakeList list;
    CFakeSink sink(&list);
    EXPECT_FALSE(QuickAdd("Welcome\nNo items\n", sink));
    EXPECT_FALSE(QuickAdd("", sink));

    QueuePromptAnswer(PromptAnswer::No);
    PageAddResult r =
        AddFromPageWithMethod("<html><body><p>No items found</p></body></html>",
                              "http://127.0.0.1/search?satitle=zeppelin", sink, kAddFast);
    EXPECT_EQ(TakeShownPrompts(),
              std::vector<std::string>{
                  "Can not find any item using quick add.\nDo you want to use the extensive add?"});
    EXPECT_EQ(r.nOffered, 0);
}

TEST_F(QuickAddTest, ScriptRowsAreReadFromTheCalls) {
    std::vector<ScriptListing> rows =
        ReadScriptListings(CleanPageText(ReadPage("search-script-listing.html")));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0].m_strItemNumber, "110012345678");
    EXPECT_EQ(rows[0].m_strTitle, "Nikon F3 body with MD-4 motor drive");  // markup dropped
    EXPECT_EQ(rows[0].m_strCurrentPrice, "US $120.00");
    EXPECT_EQ(rows[1].m_strItemNumber, "120023456789");
    EXPECT_EQ(rows[1].m_strTitle, "Nikon F3HP \"High Eyepoint\" 'mint'");
    EXPECT_EQ(rows[1].m_strCurrentPrice, "US $345.50");
    EXPECT_EQ(rows[2].m_strItemNumber, "130034567890");  // unquoted number
    EXPECT_EQ(rows[2].m_strTitle, "Nikon F3 + 50mm f/1.4 Nikkor, boxed");
    EXPECT_EQ(rows[2].m_strCurrentPrice, "\x80 299,00");
    EXPECT_EQ(rows[3].m_strItemNumber, "140045678901");
    EXPECT_EQ(rows[3].m_strTitle, "N/A");  // empty title: not the time left
    EXPECT_EQ(rows[3].m_strCurrentPrice, "US $15.00");
    EXPECT_EQ(rows[4].m_strItemNumber, "1500567890");
    EXPECT_EQ(rows[4].m_strTitle, "Nikon F3 manual (reprint) \x96 English");
    EXPECT_EQ(rows[4].m_strCurrentPrice, "N/A");  // "Buy It Now" is no amount
    EXPECT_EQ(rows[5].m_strItemNumber, "110012345678");

    // Broken calls are passed over without reading past their bounds.
    EXPECT_TRUE(ReadScriptListings("dSI('110012345678','Open").empty());
    EXPECT_TRUE(ReadScriptListings("dSI('110012345678','A\nB')").empty());
    std::string many;
    for (int i = 0; i < 2000; ++i) many += "dSI('11001234567" + std::to_string(i % 10) + "',";
    EXPECT_TRUE(ReadScriptListings(many).empty());
    EXPECT_EQ(ReadScriptListings("x=[dSI(\"110012345678\",'T',{a:'$1'},'US $2.00')]")
                  .at(0)
                  .m_strCurrentPrice,
              "US $2.00");
}

TEST_F(QuickAddTest, ScriptListingPageAddsItsRows) {
    CFakeList list;
    CFakeSink sink(&list);
    PageAddResult r = AddFromPageWithMethod(ReadPage("search-script-listing.html"),
                                            "http://search.ebay.com/nikon-f3", sink, kAddFast);
    EXPECT_TRUE(TakeShownPrompts().empty());  // found: no question
    EXPECT_EQ(list.Numbers(),
              (std::vector<std::string>{"110012345678", "120023456789", "130034567890",
                                        "140045678901", "1500567890"}));
    EXPECT_EQ(r.nOffered, 6);
    EXPECT_EQ(r.nAdded, 5);
    EXPECT_EQ(list.Find("120023456789")->m_bFresh, 1);

    // The listing script present but no row drawn through it: the page's
    // own item links are read.
    CFakeList other;
    CFakeSink otherSink(&other);
    std::string page = "<script>if(DrawListingsItemJSLoaded){drawAll();}</script><table><tr><td>" +
                       Link("110000000001", "Polaroid SX-70") + "</td><td>US $35.00</td></tr>";
    AddFromPageWithMethod(page, "http://127.0.0.1/", otherSink, kAddFast);
    EXPECT_EQ(other.Numbers(), std::vector<std::string>{"110000000001"});
    EXPECT_TRUE(TakeShownPrompts().empty());
}

}  // namespace
}  // namespace bexora::test
