#include "browser/AddFromPage.h"

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "base/Prompt.h"
#include "browser/ScriptListing.h"
#include "site/ItemPageParser.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteProfile.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

// Passes items on to the list and keeps the tally of what became of them.
class CCountingSink : public IItemSink {
public:
    CCountingSink(IItemSink& sink, PageAddResult* result) : m_sink(sink), m_pResult(result) {}

    int AddItemIfNew(std::unique_ptr<CItem> item, bool refresh) override {
        const int r = m_sink.AddItemIfNew(std::move(item), refresh);
        if (m_pResult) {
            ++m_pResult->nOffered;
            if (r == 1) ++m_pResult->nAdded;
            if (r == 0 && refresh) ++m_pResult->nRefreshed;
        }
        return r;
    }
    bool RefreshIfListed(const CItem& page) override { return m_sink.RefreshIfListed(page); }

private:
    IItemSink& m_sink;
    PageAddResult* m_pResult;
};

// Lines of ScanItemLinks output that hold "<" are item markers, or the line
// reader's "<>" at the end; visible text never holds one.
bool IsMarkerOrEnd(const std::string& line) {
    return line.find('<') != std::string::npos;
}

bool HasDigit(const std::string& s) {
    return s.find_first_of("0123456789") != std::string::npos;
}

// The price lines after a listed title. Returns the line the scan goes on
// with. A marker met on the way ends the item without a price and is read
// as the next item (the lines skipped over here would otherwise swallow it).
std::string ReadListedPrice(CLineReader& reader, const std::string& prepared, CItem& item) {
    auto next = [&] { return reader.NextLine(prepared); };
    std::string line = next();
    if (IsMarkerOrEnd(line)) return line;
    if (line.size() > 15) {  // one long line, such as a subtitle
        line = next();
        if (IsMarkerOrEnd(line)) return line;
    }
    if (line == GetNumber(line, true)) {  // a line holding only a count
        for (int skip = 0; skip < 2; ++skip) {
            line = next();
            if (IsMarkerOrEnd(line)) return line;
        }
    }
    if (!HasDigit(line)) {  // a currency prefix on a line of its own
        std::string amount = next();
        if (IsMarkerOrEnd(amount)) return amount;
        line += amount;
    }
    item.m_strCurrentPrice = DecodeNumericEntities(line);
    return line;
}

// Item numbers written in the page's text rather than in a link: "item=N"
// in an address held by a script, "Item number: N", "item%3DN" in a
// carried address. Only the slow add reads these (it checks each number by
// its page).
void TakeNumbersInText(const std::string& page,
                       const std::function<void(const std::string&)>& take) {
    for (size_t at = 0; (at = page.find("tem", at)) != std::string::npos; at += 3) {
        if (at == 0 || (page[at - 1] != 'i' && page[at - 1] != 'I')) continue;
        size_t p = at + 3;
        if (page.compare(p, 7, " number") == 0 || page.compare(p, 7, " Number") == 0) p += 7;
        for (int gap = 0; gap < 3 && p < page.size(); ++gap) {
            if (page.compare(p, 3, "%3D") == 0 || page.compare(p, 3, "%3d") == 0)
                p += 3;
            else if (page[p] == '=' || page[p] == ':' || page[p] == '#' || page[p] == ' ')
                ++p;
            else
                break;
        }
        size_t end = p;
        while (end < page.size() && page[end] >= '0' && page[end] <= '9') ++end;
        if (end - p == 10 || end - p == 12) take(page.substr(p, end - p));
    }
}

// The item numbers a listing shows, each once: script rows first, then item
// links, then numbers written in the page's text.
std::vector<std::string> ListedNumbers(const std::string& pageText) {
    std::vector<std::string> numbers;
    std::set<std::string> seen;
    auto take = [&](const std::string& n) {
        if (!n.empty() && seen.insert(n).second) numbers.push_back(n);
    };
    if (HasScriptListing(pageText))
        for (const ScriptListing& row : ReadScriptListings(pageText)) take(row.m_strItemNumber);
    const std::string prepared = ScanItemLinks(pageText, CurrentProfile()->Get("listing.link"));
    CLineReader reader;
    for (std::string line = reader.NextLine(prepared); line != "<>";
         line = reader.NextLine(prepared))
        if (IsMarkerOrEnd(line)) take(Trim(line, "<>"));
    TakeNumbersInText(pageText, take);
    return numbers;
}

// The item page's own add, once its page is read (null: it did not read).
void AddItemPage(std::unique_ptr<CItem> item, IItemSink& sink, PageAddResult* result) {
    if (!item) return;
    CCountingSink counting(sink, result);
    switch (counting.AddItemIfNew(std::move(item), true)) {
        case -1:
            ShowPrompt(kFailToAddText);
            break;
        case 0:
            ShowPrompt(kItemAlreadyListedText);
            break;
        default:
            break;
    }
}

// An item's own page (cleaned text): added now, or named in pending when
// it has to be read again from the item host.
void StartItemPage(const std::string& text, const std::string& address, IItemSink& sink,
                   PageAddResult* result, PendingPageAdd& pending) {
    pending.bItemPage = true;
    const std::string query = CurrentProfile()->Get("listing.item-query");
    const long at = Find(address, query);
    if (at >= 0 && address.find(site::Domain()) == std::string::npos) {
        // A page of another of the site's domains (a regional site) is read
        // from the item host instead, whose layout the parser knows.
        const std::string number = GetDigits(Mid(address, at));
        if (!number.empty()) pending.numbers.push_back(number);
        return;
    }
    std::string stripped = text;
    StripTags(stripped);
    auto item = std::make_unique<CItem>();
    if (ParseItemPage(std::move(stripped), *item)) AddItemPage(std::move(item), sink, result);
}

// Reads every page pending names, one after another, and finishes the add.
void ReadAndFinish(const PendingPageAdd& pending, IItemSink& sink, PageAddResult& r) {
    std::vector<std::unique_ptr<CItem>> pages;
    for (const std::string& number : pending.numbers) pages.push_back(ReadItemPage(number));
    FinishPageAdd(pending, std::move(pages), sink, r);
}

}  // namespace

std::string CleanPageText(std::string pageText) {
    for (const char* junk : {"<WBR>", "<wbr>", "AMP;", "amp;", "&nbsp;"})
        ReplaceAll(pageText, junk, "");
    return pageText;
}

bool IsItemPageAddress(const std::string& address) {
    return address.find(CurrentProfile()->Get("listing.item-page-address")) != std::string::npos;
}

void AddFromItemPage(const std::string& pageText, const std::string& address, IItemSink& sink,
                     PageAddResult* result) {
    PendingPageAdd pending;
    StartItemPage(pageText, address, sink, result, pending);
    PageAddResult scratch;
    ReadAndFinish(pending, sink, result ? *result : scratch);
}

bool QuickAdd(const std::string& prepared, IItemSink& sink, PageAddResult* result) {
    CCountingSink counting(sink, result);
    CLineReader reader;
    reader.NextLine(prepared, true);
    int markers = 0;
    std::string line = reader.NextLine(prepared);
    for (;;) {
        if (line == "<>") return markers > 0;
        if (!IsMarkerOrEnd(line)) {
            line = reader.NextLine(prepared);
            continue;
        }
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = Trim(line, "<>");
        ++markers;
        item->m_bFresh = 1;
        line = reader.NextLine(prepared);
        // A marker right after a marker (two links of different items) is
        // the next item, not this one's title.
        if (!IsMarkerOrEnd(line)) {
            item->m_strTitle = line;
            line = ReadListedPrice(reader, prepared, *item);
        }
        counting.AddItemIfNew(std::move(item), false);
    }
}

bool QuickAddScriptListing(const std::string& pageText, IItemSink& sink, PageAddResult* result) {
    std::vector<ScriptListing> rows = ReadScriptListings(pageText);
    if (rows.empty()) return QuickAdd(ScanItemLinks(pageText, CurrentProfile()->Get("listing.link")), sink, result);
    CCountingSink counting(sink, result);
    for (const ScriptListing& row : rows) {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = row.m_strItemNumber;
        item->m_strTitle = row.m_strTitle;
        item->m_strCurrentPrice = row.m_strCurrentPrice;
        item->m_bFresh = 1;
        counting.AddItemIfNew(std::move(item), false);
    }
    return true;
}

void ExtensiveAdd(const std::string& pageText, IItemSink& sink, PageAddResult* result) {
    PendingPageAdd pending;
    pending.numbers = ListedNumbers(pageText);
    PageAddResult scratch;
    ReadAndFinish(pending, sink, result ? *result : scratch);
}

std::unique_ptr<CItem> ReadItemPage(const std::string& number) {
    std::string text;
    FetchPage(site::ItemViewUrl(number), text);
    StripTags(text);
    auto item = std::make_unique<CItem>();
    if (!ParseItemPage(std::move(text), *item)) return nullptr;
    return item;
}

PageAddResult StartPageAdd(std::string pageText, const std::string& address, IItemSink& sink,
                           int method, PendingPageAdd& pending) {
    PageAddResult r;
    pending = PendingPageAdd();
    const std::string text = CleanPageText(std::move(pageText));
    if (IsItemPageAddress(address)) {
        r.bItemPage = true;
        StartItemPage(text, address, sink, &r, pending);
        return r;
    }
    if (method != kAddSlow) {
        const bool found = HasScriptListing(text) ? QuickAddScriptListing(text, sink, &r)
                                                  : QuickAdd(ScanItemLinks(text, CurrentProfile()->Get("listing.link")), sink, &r);
        if (found || ShowPrompt(kAskExtensiveAddText, PromptButtons::YesNo,
                                PromptIcon::Question) != PromptAnswer::Yes)
            return r;
    }
    pending.numbers = ListedNumbers(text);
    return r;
}

void FinishPageAdd(const PendingPageAdd& pending, std::vector<std::unique_ptr<CItem>> pages,
                   IItemSink& sink, PageAddResult& result) {
    for (auto& item : pages) {
        if (pending.bItemPage) {
            AddItemPage(std::move(item), sink, &result);
            continue;
        }
        if (!item || item->m_strItemNumber.empty() || item->m_strItemNumber == "N/A") continue;
        CCountingSink counting(sink, &result);
        counting.AddItemIfNew(std::move(item), true);
    }
}

bool RefreshFromShownPage(std::string pageText, IItemSink& sink) {
    std::string text = CleanPageText(std::move(pageText));
    StripTags(text);
    CItem shown;
    // Only a page that reads as a whole: a half-read one would overwrite the
    // listed item's price and figures with "N/A".
    if (!ParseItemPage(std::move(text), shown)) return false;
    return sink.RefreshIfListed(shown);
}

PageAddResult AddFromPageWithMethod(std::string pageText, const std::string& address,
                                    IItemSink& sink, int method) {
    PendingPageAdd pending;
    PageAddResult r = StartPageAdd(std::move(pageText), address, sink, method, pending);
    ReadAndFinish(pending, sink, r);
    return r;
}

PageAddResult AddFromPage(std::string pageText, const std::string& address, IItemSink& sink,
                          IAddMethodDialog* dialog) {
    if (IsItemPageAddress(address))
        return AddFromPageWithMethod(std::move(pageText), address, sink, kAddFast);
    const int method = ChooseAddMethod(dialog);
    if (method == kAddNone) return PageAddResult();
    return AddFromPageWithMethod(std::move(pageText), address, sink, method);
}

}  // namespace bexora
