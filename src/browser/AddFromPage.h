#pragma once
// "Add Item from Browser Page" (command 133) on the page the browser pane
// shows: its source text and its address. An item's own page adds that one
// item; any other page (a search result, a category listing) adds the items
// listed on it, quickly from the page's own text or slowly by visiting each
// item's page. AddFromPage does it all on the caller's thread (the slow add
// fetches one page per item); a caller whose thread must not wait on the
// site starts the add, reads the item pages it names on another thread
// (ReadItemPage) and finishes it with them.
//
// The list is reached through IItemSink; messages go through ShowPrompt.
// Nothing here saves the document: a caller that came through the item list
// saves it afterwards (the result says whether anything changed).

#include <memory>
#include <string>
#include <vector>

#include "browser/AddMethodDialog.h"
#include "browser/ItemSink.h"

namespace bexora {

constexpr const char* kFailToAddText = "Fail to add the item from the page";
constexpr const char* kItemAlreadyListedText = "Item Already in the List";
constexpr const char* kAskExtensiveAddText =
    "Can not find any item using quick add.\nDo you want to use the extensive add?";

struct PageAddResult {
    bool bItemPage = false;  // the address was an item's own page
    int nOffered = 0;        // items handed to the list
    int nAdded = 0;          // items that became new rows
    int nRefreshed = 0;      // listed items that took the page's values
};

// The whole command: the add method comes from ChooseAddMethod(dialog) when
// the page is not an item's page.
PageAddResult AddFromPage(std::string pageText, const std::string& address, IItemSink& sink,
                          IAddMethodDialog* dialog);
// The same with the method given (kAddFast or kAddSlow): no dialog is shown
// and no setting is read or written. The question about the extensive add
// is still asked when the fast add finds nothing.
PageAddResult AddFromPageWithMethod(std::string pageText, const std::string& address,
                                    IItemSink& sink, int method);

// The item pages an add still has to read from the site once the page it
// was given is done: the slow add's items, or an item shown on another of
// the site's domains (bItemPage: with the item page's messages).
struct PendingPageAdd {
    std::vector<std::string> numbers;
    bool bItemPage = false;
};

// The add up to the site's item pages: whatever the page itself shows is
// added now, and pending names the pages still to read (none for a fast add
// or an item page shown from the item host). Asks what AddFromPageWithMethod
// asks.
PageAddResult StartPageAdd(std::string pageText, const std::string& address, IItemSink& sink,
                           int method, PendingPageAdd& pending);
// An item's page from the item host, read; null when it does not read as an
// item page or could not be fetched. Any thread.
std::unique_ptr<CItem> ReadItemPage(const std::string& number);
// The pages read for pending (null where one did not read; any subset, in
// any number of calls) join the list as the add would have added them.
void FinishPageAdd(const PendingPageAdd& pending, std::vector<std::unique_ptr<CItem>> pages,
                   IItemSink& sink, PageAddResult& result);

// The page source as every reader of this command sees it: "<WBR>", "<wbr>",
// "AMP;", "amp;" and "&nbsp;" removed.
std::string CleanPageText(std::string pageText);

// An item's own page: the address contains "cmdZViewItem".
bool IsItemPageAddress(const std::string& address);

// The item page path on cleaned text. A page from another domain than
// SiteDomain that names its item ("item=DIGITS") is fetched again from the
// item host. "Fail to add the item from the page" when the list is missing,
// "Item Already in the List" (after refreshing the listed item) for a
// duplicate; an unreadable page adds and shows nothing.
void AddFromItemPage(const std::string& pageText, const std::string& address, IItemSink& sink,
                     PageAddResult* result = nullptr);

// The fast add over ScanItemLinks output: an item per "<NUMBER>" line with
// the title on the next line and the price found on the lines after it;
// duplicates and items the list refuses are dropped silently. True when at
// least one item number was found (added or not).
bool QuickAdd(const std::string& prepared, IItemSink& sink, PageAddResult* result = nullptr);

// The fast add of a page whose listings are drawn by script (see
// ScriptListing.h). When no script row names an item the page's item links
// are read as QuickAdd reads them. True when items were found.
bool QuickAddScriptListing(const std::string& pageText, IItemSink& sink,
                           PageAddResult* result = nullptr);

// The slow add: every item number the listing shows (script rows first,
// then item links, then numbers written after "item=" or "Item number:" in
// the page's text, each number once) has its page fetched from the item host
// and read; each page that reads as an item page is added, and an item
// already listed takes the page's values.
void ExtensiveAdd(const std::string& pageText, IItemSink& sink, PageAddResult* result = nullptr);

// The browser pane's document-complete step: when the page just shown is the
// page of a listed item, that item takes its values. Nothing is added and
// nothing is shown. True when a listed item was refreshed.
bool RefreshFromShownPage(std::string pageText, IItemSink& sink);

}  // namespace bexora
