// The command on an item's own page, and the choice of the add method.

#include <gtest/gtest.h>

#include "FakeList.h"
#include "PageFixture.h"
#include "browser/AddFromPage.h"

namespace bexora::test {
namespace {

constexpr const char* kLeica = "110012345678";
constexpr const char* kLeicaAddress =
    "http://cgi.ebay.com/ws/eBayISAPI.dll?ViewItem&item=110012345678&cmdZViewItem";

class ScriptedDialog : public IAddMethodDialog {
public:
    bool DoModal(AddSelection& values) override {
        m_shown.push_back(values);
        if (!m_bOk) {
            values.m_nMethod = 1 - values.m_nMethod;  // whatever was clicked
            return false;
        }
        values = m_answer;
        return true;
    }
    bool m_bOk = true;
    AddSelection m_answer;
    std::vector<AddSelection> m_shown;
};

class AddFromPageTest : public PageTest {
protected:
    int Stored(const SettingDef& def) { return Settings().GetInt(def); }
};

TEST_F(AddFromPageTest, ItemPageAddsItsItemOrRefreshesTheListedOne) {
    const std::string page = ReadPage("auction-running.html");
    CFakeList list;
    CFakeSink sink(&list);
    ScriptedDialog dialog;
    PageAddResult r = AddFromPage(page, kLeicaAddress, sink, &dialog);
    EXPECT_TRUE(r.bItemPage);
    EXPECT_TRUE(dialog.m_shown.empty());  // never asked for an item page
    ASSERT_EQ(list.Numbers(), std::vector<std::string>{kLeica});
    const CItem& added = *list.m_items[0];
    EXPECT_EQ(added.m_strTitle, "Vintage Leica M3 body & Summicron 50mm lens");
    EXPECT_EQ(added.m_strCurrentPrice, "$1,234.50");
    EXPECT_EQ(added.m_strBidCount, "17");
    EXPECT_EQ(added.m_bFresh, 0);  // read from its page, not from a listing
    EXPECT_TRUE(TakeShownPrompts().empty());

    list.m_items[0]->m_strCurrentPrice = "$1.00";
    list.m_items[0]->m_strNote = "keep";
    r = AddFromPage(page, kLeicaAddress, sink, &dialog);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{"Item Already in the List"});
    EXPECT_EQ(r.nRefreshed, 1);
    ASSERT_EQ(list.m_items.size(), 1u);
    EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, "$1,234.50");
    EXPECT_EQ(list.m_items[0]->m_strNote, "keep");

    CFakeSink nowhere(nullptr);
    AddFromPage(page, kLeicaAddress, nowhere, &dialog);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{"Fail to add the item from the page"});
}

TEST_F(AddFromPageTest, UnreadableItemPagesAddAndShowNothing) {
    CFakeList list;
    CFakeSink sink(&list);
    // Not an item page at all.
    AddFromPage("<html><body>Sorry, this item is gone</body></html>", kLeicaAddress, sink, nullptr);
    // A regional page is fetched again from the item host, which here refuses:
    // the page shown is not used instead.
    PageAddResult r =
        AddFromPage(ReadPage("auction-running.html"),
                    "http://cgi.ebay.de/ws/eBayISAPI.dll?ViewItem&item=110012345678&cmdZViewItem",
                    sink, nullptr);
    EXPECT_TRUE(r.bItemPage);
    // "item=" without a number: nothing to fetch.
    AddFromPage(ReadPage("auction-running.html"),
                "http://cgi.ebay.de/ws/eBayISAPI.dll?ViewItem&item=&cmdZViewItem", sink, nullptr);
    EXPECT_TRUE(list.m_items.empty());
    EXPECT_TRUE(TakeShownPrompts().empty());

    // No "item=" in the address: the page shown is read, whatever its domain.
    AddFromPage(ReadPage("auction-running.html"), "http://cgi.ebay.de/ViewItem?cmdZViewItem", sink,
                nullptr);
    EXPECT_EQ(list.Numbers(), std::vector<std::string>{kLeica});
}

TEST_F(AddFromPageTest, ShownItemPageRefreshesOnlyAListedItem) {
    const std::string page = ReadPage("auction-running.html");
    CFakeList list;
    CFakeSink sink(&list);
    EXPECT_FALSE(RefreshFromShownPage(page, sink));  // not listed: nothing added
    EXPECT_TRUE(list.m_items.empty());

    list.Add(kLeica, "$1.00");
    EXPECT_TRUE(RefreshFromShownPage(page, sink));
    EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, "$1,234.50");

    // A page that names the item but does not read as a whole leaves the
    // listed figures alone.
    list.m_items[0]->m_strCurrentPrice = "$2.00";
    std::string cut = page.substr(0, page.find("View seller's other items"));
    EXPECT_FALSE(RefreshFromShownPage(cut, sink));
    EXPECT_EQ(list.m_items[0]->m_strCurrentPrice, "$2.00");
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST_F(AddFromPageTest, MethodDialogFollowsTheAddSelectionSettings) {
    ScriptedDialog dialog;
    // First use: fast preselected, "Save default" ticked, the dialog shown.
    dialog.m_answer = {kAddSlow, 0, 0};
    EXPECT_EQ(ChooseAddMethod(&dialog), kAddSlow);
    ASSERT_EQ(dialog.m_shown.size(), 1u);
    EXPECT_EQ(dialog.m_shown[0].m_nMethod, kAddFast);
    EXPECT_EQ(dialog.m_shown[0].m_bSaveDefault, 1);
    EXPECT_EQ(dialog.m_shown[0].m_bDoNotShow, 0);
    EXPECT_EQ(Stored(setting::AddSel), kAddSlow);
    EXPECT_EQ(Stored(setting::AddSaveDefault), 0);

    // Not saved as default: the next time preselects fast again.
    dialog.m_bOk = false;
    EXPECT_EQ(ChooseAddMethod(&dialog), kAddNone);  // dismissed: nothing is added
    EXPECT_EQ(dialog.m_shown.back().m_nMethod, kAddFast);
    EXPECT_EQ(Stored(setting::AddSel), kAddSlow);   // cancel writes nothing
    EXPECT_EQ(ChooseAddMethod(nullptr), kAddFast);  // no dialog to show: the same

    // Saved as default and not to be shown again: later adds go at once.
    dialog.m_bOk = true;
    dialog.m_answer = {kAddSlow, 1, 1};
    EXPECT_EQ(ChooseAddMethod(&dialog), kAddSlow);
    dialog.m_shown.clear();
    EXPECT_EQ(ChooseAddMethod(&dialog), kAddSlow);
    EXPECT_EQ(ChooseAddMethod(&dialog), kAddSlow);
    EXPECT_TRUE(dialog.m_shown.empty());
    EXPECT_EQ(Stored(setting::AddShowWindow), 1);

    // The same through the command: the slow add of a page without items
    // shows nothing and asks nothing.
    CFakeList list;
    CFakeSink sink(&list);
    AddFromPage("<p>nothing here</p>", "http://127.0.0.1/", sink, &dialog);
    EXPECT_TRUE(dialog.m_shown.empty());
    EXPECT_TRUE(TakeShownPrompts().empty());
}

}  // namespace
}  // namespace bexora::test
