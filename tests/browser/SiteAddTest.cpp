// Adding from the local auction site's own pages: its listings read by the
// fast and the slow add, and an item page of another domain read again from
// the item host.

#include <gtest/gtest.h>

#include "FakeList.h"
#include "base/Prompt.h"
#include "bidding/SiteHarness.h"
#include "browser/AddFromPage.h"
#include "site/ItemPageParser.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"

namespace bexora::test {
namespace {

class SlowChoice : public IAddMethodDialog {
public:
    bool DoModal(AddSelection& values) override {
        values.m_nMethod = kAddSlow;
        return !dismissed;
    }
    bool dismissed = false;  // Escape or the close button
};

class SiteAddTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        OverrideSavedUserId("");
        TakeShownPrompts();
        m_polaroid = m_site.AddItem(R"({"title":"Polaroid SX-70","price":35,"ends_in":300})");
        m_nikon = m_site.AddItem(R"({"title":"Nikon F3 body","price":120,"ends_in":600})");
        m_hobbit = m_site.AddItem(
            R"({"title":"Hobbit 1966","price":25,"ends_in":900,"seller":"bookworm"})");
        m_site.Control("POST", "/_control/bid",
                       R"({"item":")" + m_polaroid + R"(","user":"rival","max":40})");
    }
    void TearDown() override {
        OverrideSavedUserId(std::nullopt);
        CloseThreadConnections();
    }

    std::string Browse(const std::string& url) {
        std::string page;
        EXPECT_FALSE(FetchPage(url, page).empty()) << url;
        m_site.ClearLog();  // what follows is the add's own doing
        return page;
    }
    size_t ItemPageRequests(const std::string& number) {
        return m_site.CountLog("ViewItem&item=" + number);
    }

    LocalSite m_site;
    std::string m_polaroid, m_nikon, m_hobbit;
};

TEST_F(SiteAddTest, FastAddReadsTheListingWithoutVisitingItems) {
    const std::string home = Browse(site::HomeUrl());
    CFakeList list;
    CFakeSink sink(&list);
    PageAddResult r = AddFromPageWithMethod(home, site::HomeUrl(), sink, kAddFast);
    ASSERT_EQ(list.Numbers(), (std::vector<std::string>{m_polaroid, m_nikon, m_hobbit}));
    EXPECT_EQ(r.nAdded, 3);
    EXPECT_EQ(list.m_items[0]->m_strTitle, "Polaroid SX-70");
    EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, "US $35.00");
    EXPECT_EQ(list.m_items[1]->m_strCurrentPrice, "US $120.00");
    EXPECT_EQ(list.m_items[2]->m_bFresh, 1);
    EXPECT_EQ(m_site.Log().size(), 0u);
    EXPECT_TRUE(TakeShownPrompts().empty());

    // The same page again: all listed, nothing added, nothing said.
    r = AddFromPageWithMethod(home, site::HomeUrl(), sink, kAddFast);
    EXPECT_EQ(r.nAdded, 0);
    EXPECT_EQ(list.m_items.size(), 3u);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(SiteAddTest, SlowAddVisitsEachListedItem) {
    const std::string home = Browse(site::HomeUrl());
    CFakeList list;
    list.Add(m_nikon, "$1.00");  // listed with an old price
    CFakeSink sink(&list);
    SlowChoice slow;
    // Dismissing "Select the way to add item" adds nothing and reads nothing.
    slow.dismissed = true;
    PageAddResult r = AddFromPage(home, site::HomeUrl(), sink, &slow);
    EXPECT_EQ(r.nOffered, 0);
    EXPECT_EQ(list.Numbers(), (std::vector<std::string>{m_nikon}));
    for (const std::string& n : {m_polaroid, m_nikon, m_hobbit}) EXPECT_EQ(ItemPageRequests(n), 0u);
    slow.dismissed = false;
    r = AddFromPage(home, site::HomeUrl(), sink, &slow);
    ASSERT_EQ(list.Numbers(), (std::vector<std::string>{m_nikon, m_polaroid, m_hobbit}));
    EXPECT_EQ(r.nAdded, 2);
    EXPECT_EQ(r.nRefreshed, 1);
    EXPECT_EQ(list.Find(m_nikon)->m_strCurrentPrice, "$120.00");
    const CItem& polaroid = *list.Find(m_polaroid);
    EXPECT_EQ(polaroid.m_strTitle, "Polaroid SX-70");
    EXPECT_EQ(polaroid.m_strCurrentPrice, "$35.00");
    EXPECT_EQ(polaroid.m_strBidCount, "1");  // values only the item's page shows
    EXPECT_NE(polaroid.m_tEndTime, 0);
    EXPECT_EQ(polaroid.m_bFresh, 0);
    EXPECT_EQ(list.Find(m_hobbit)->m_strSeller, "bookworm");
    for (const std::string& n : {m_polaroid, m_nikon, m_hobbit}) EXPECT_EQ(ItemPageRequests(n), 1u);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(SiteAddTest, SlowAddOfferedWhenTheFastAddFindsNothing) {
    // Item numbers only in the text and in a script's listing rows: no item
    // link for the fast add to read.
    const std::string page = "<html><body><p>Watch list</p><p>Item number: " + m_hobbit +
                             "</p><script>if(DrawListingsItemJSLoaded){}</script></body></html>";
    CFakeList list;
    CFakeSink sink(&list);
    QueuePromptAnswer(PromptAnswer::Yes);
    AddFromPageWithMethod(page, site::HomeUrl() + "watch", sink, kAddFast);
    EXPECT_EQ(TakeShownPrompts(),
              std::vector<std::string>{
                  "Can not find any item using quick add.\nDo you want to use the extensive add?"});
    ASSERT_EQ(list.Numbers(), std::vector<std::string>{m_hobbit});
    EXPECT_EQ(list.m_items[0]->m_strSeller, "bookworm");

    // Script rows of the site's items, read slowly: each visited once, an
    // unknown number read as nothing.
    const std::string script = "<script>if(DrawListingsItemJSLoaded){dSI('" + m_polaroid +
                               "','Polaroid','US $1.00');dSI('" + m_nikon +
                               "','Nikon','US $1.00');dSI('999999999999','Gone','US $1.00');"
                               "dSI('" +
                               m_polaroid + "','Polaroid','US $1.00');}</script>";
    CFakeList slowList;
    CFakeSink slowSink(&slowList);
    AddFromPageWithMethod(script, site::HomeUrl(), slowSink, kAddSlow);
    EXPECT_EQ(slowList.Numbers(), (std::vector<std::string>{m_polaroid, m_nikon}));
    EXPECT_EQ(slowList.Find(m_polaroid)->m_strCurrentPrice, "$35.00");
    EXPECT_EQ(ItemPageRequests(m_polaroid), 1u);
    EXPECT_EQ(ItemPageRequests("999999999999"), 1u);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(SiteAddTest, ItemPageOfAnotherDomainIsReadFromTheItemHost) {
    CFakeList list;
    CFakeSink sink(&list);
    // The page of a regional site, in a layout the parser does not know.
    const std::string regional =
        "http://cgi.ebay.co.uk/ws/eBayISAPI.dll?ViewItem&item=" + m_nikon + "&cmdZViewItem";
    m_site.ClearLog();
    PageAddResult r = AddFromPage(
        "<html><body>Artikelnummer: " + m_nikon + "<br>Aktuelles Gebot: EUR 120,00</body></html>",
        regional, sink, nullptr);
    EXPECT_TRUE(r.bItemPage);
    EXPECT_EQ(ItemPageRequests(m_nikon), 1u);
    ASSERT_EQ(list.Numbers(), std::vector<std::string>{m_nikon});
    EXPECT_EQ(list.m_items[0]->m_strTitle, "Nikon F3 body");
    EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, "$120.00");
    EXPECT_TRUE(TakeShownPrompts().empty());

    // The site's own item page is read as shown, without a second fetch.
    const std::string own = site::ItemViewUrl(m_polaroid) + "&cmdZViewItem";
    const std::string page = Browse(own);
    AddFromPage(page, own, sink, nullptr);
    EXPECT_EQ(ItemPageRequests(m_polaroid), 0u);
    EXPECT_EQ(list.Numbers(), (std::vector<std::string>{m_nikon, m_polaroid}));

    // Again from the regional address: listed, refreshed, told so.
    AddFromPage("", regional, sink, nullptr);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{"Item Already in the List"});
}

}  // namespace
}  // namespace bexora::test
