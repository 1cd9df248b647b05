#include "site/ItemPageParser.h"

#include <mutex>
#include <string_view>

#include "base/Clock.h"
#include "base/Settings.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteProfile.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

// Item numbers are digits only: one goes into a file name.
bool IsItemNumber(const std::string& number) {
    if (number.empty() || number.size() > 20) return false;
    for (char c : number)
        if (c < '0' || c > '9') return false;
    return true;
}

// A bid count with any of these is no count: a fixed-price or buy-now item.
constexpr char kNotACount[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ$<>";

long Len(const std::string& s) { return static_cast<long>(s.size()); }

std::mutex g_userIdMutex;
std::optional<std::string> g_userIdOverride;

std::string SavedUserId() {
    {
        std::lock_guard<std::mutex> lock(g_userIdMutex);
        if (g_userIdOverride) return *g_userIdOverride;
    }
    return Settings().GetString(setting::UserId);
}

bool Contains(const std::string& s, const std::string& what) {
    return s.find(what) != std::string::npos;
}

// First occurrence of what at or before limit, -1 otherwise. Only the first
// occurrence counts, so the search need not run past the limit.
long FindUpTo(const std::string& s, std::string_view what, long limit) {
    size_t end = static_cast<size_t>(limit) + what.size();
    std::string_view head = std::string_view(s).substr(0, end < s.size() ? end : s.size());
    size_t p = head.find(what);
    return p == std::string_view::npos ? -1 : static_cast<long>(p);
}

void MinimumBid(const std::string& page, const CSiteProfile& pr, CItem& item) {
    long y = Find(page, pr.Get("item.min-bid"));
    if (y < 0) return;
    const std::string& open = pr.Get("item.min-bid-open");
    long e = Find(page, open, y);
    long r = e >= 0 ? Find(page, pr.Get("item.min-bid-close"), e) : -1;
    // "(Enter US $10.50 or more)"
    const long n = Len(open);
    if (e >= 0 && r >= 0 && r - e > n)
        item.m_strMinBid = Trim(Mid(page, e + n, r - e - n), "\n ");
    else
        item.m_strMinBid = "0";
}

void TimeLeft(CItem& item) {
    // The offset measured before (the clock keeper refreshes it): a parse
    // on every refresh must not cost a time page each.
    int64_t left = item.m_tEndTime - LocalNow() + GetClockOffset(false);
    if (left <= 0)
        item.m_strTimeLeft = "Ended";
    else if (left / 86400 >= 1)
        item.m_strTimeLeft = FormatTimeSpan(left, "%Dd %H:%M:00");
    else
        item.m_strTimeLeft = FormatTimeSpan(left, "%H:%M:%S");
}

// "US $1,234.50 (approx.)" on the line after the label gives "$1,234.50".
void CurrentPrice(const std::string& page, long label, CItem& item) {
    std::string line = Trim(Mid(page, Find(page, '\n', label), 100), " \n");
    std::string number = GetNumber(line, false);
    size_t first = line.find_first_of("0123456789");
    long firstDigit = first == std::string::npos ? -1 : static_cast<long>(first);
    item.m_strCurrentPrice =
        Trim(Left(line, firstDigit + static_cast<long>(number.size())), "US \n");
}

void Quantity(const std::string& page, const CSiteProfile& pr, CItem& item) {
    std::string quantity = "1";
    const std::string& label = pr.Get("item.quantity");
    long q = Find(page, label);
    long available = Find(page, pr.Get("item.quantity-close"));
    const long n = Len(label) + 1;
    if (q >= 0 && available >= 0 && available - q <= 20) {
        quantity = GetNumber(Trim(Mid(page, q + n, available - q - n), " \n"), true);
        if (quantity.empty()) quantity = "1";
    }
    if (quantity != item.m_strQuantity) {
        item.m_strQuantity = quantity;
        item.m_bChanged = 1;
    }
}

void BidCount(const std::string& page, const CSiteProfile& pr, CItem& item) {
    const std::string& label = pr.Get("item.bids");
    long h = Find(page, label);
    if (h >= 0) {
        long b = Find(page, pr.Get("item.bids-close"), h);
        const long n = Len(label);
        if (b >= 0 && b - h < 30) {
            std::string count = Trim(Mid(page, h + n, b - h - n), " \n");
            if (count != item.m_strBidCount) item.m_bChanged = 1;
            item.m_strBidCount = count;
        }
    }
    // No count at all, "Purchases (3)", "Winning bid", "Buy It Now": not an
    // auction with bids.
    bool fixed = item.m_strBidCount == "N/A";
    for (const std::string& word : pr.List("item.fixed-price"))
        fixed = fixed || Contains(item.m_strBidCount, word);
    if (fixed) item.m_strBidCount = "BUY";
    if (item.m_strBidCount != "BUY" && item.m_strBidCount != "LIVE" &&
        item.m_strBidCount.find_first_of(kNotACount) != std::string::npos)
        item.m_strBidCount = "BUY";
}

void HighBidder(const std::string& page, const CSiteProfile& pr, CItem& item) {
    const std::string& label = pr.Get("item.high-bidder");
    long k = Find(page, label);
    if (k < 0) return;
    std::string bidder = Trim(Mid(page, k + Len(label), 20), " ");
    std::string me = SavedUserId();
    if (!me.empty() && bidder.find(me) != std::string::npos) item.m_bHighBidder = 1;
}

void Shipping(const std::string& page, const CSiteProfile& pr, CItem& item) {
    const std::string& label = pr.Get("item.shipping");
    long s = Find(page, label);
    if (s < 0) return;
    std::string line = Trim(Mid(page, Find(page, '\n', s + Len(label)) + 1, 50), " ");
    if (Contains(line, pr.Get("item.shipping-free"))) {
        item.m_strShipping = "FREE";
        return;
    }
    int firstDigit = 0;
    std::string number = GetNumberAt(line, 0, firstDigit);
    // A number further into the line is not the cost ("Ships in 2 days").
    if (number.empty() || firstDigit > 5) return;
    std::string cost = Left(line, firstDigit + static_cast<long>(number.size()));
    cost = Trim(cost, "US \n");
    cost = Trim(cost, "first\titem\n)");
    item.m_strShipping = Trim(cost, "US ");
}

// "Seller: bob ( 123 )" ... "Feedback: 99.5% Positive"
void Seller(const std::string& page, const CSiteProfile& pr, CItem& item) {
    const std::string& label = pr.Get("item.seller");
    long v = Find(page, label);
    if (v < 0) return;
    const long n = Len(label) + 1;
    long open = Find(page, '(', v + n);
    item.m_strSeller = Trim(Mid(page, v + n, open - v - n), " \n");
    if (open < 0) return;
    long close = Find(page, ')', open);
    if (close < 0) return;
    item.m_strFeedback = Trim(Mid(page, open + 1, close - open - 1), " \n");
    const std::string& feedback = pr.Get("item.feedback");
    long f = Find(page, feedback, close);
    if (f < 0) return;
    const long m = Len(feedback) + 1;
    long percent = Find(page, '%', f);
    item.m_strPercent = Trim(Mid(page, f + m, percent - f - m), " \n");
}

}  // namespace

void OverrideSavedUserId(std::optional<std::string> userId) {
    std::lock_guard<std::mutex> lock(g_userIdMutex);
    g_userIdOverride = std::move(userId);
}

bool ParseItemPage(std::string page, CItem& item) {
    return ParseItemPage(std::move(page), item, *CurrentProfile());
}

bool ParseItemPage(std::string page, CItem& item, const CSiteProfile& pr, std::string* why) {
    // Entities the site leaves in its text; "&amp;" becomes a bare "&".
    ReplaceAll(page, "<WBR>", "");
    ReplaceAll(page, "<wbr>", "");
    ReplaceAll(page, "AMP;", "");
    ReplaceAll(page, "amp;", "");
    ReplaceAll(page, "&nbsp;", "");
    ReplaceAll(page, "&gt;", ">");
    ReplaceAll(page, "&lt;", "<");

    std::string missing;
    auto refuse = [&](const std::string& text) {
        if (why) *why = "no \"" + text + "\"";
        return false;
    };
    // A page without what the profile says the item page always shows is
    // some other page, or the site's pages changed: nothing of it is read.
    if (!pr.Recognises("item.recognise", page, &missing)) return refuse(missing);

    // The heading: "eBay: TITLE (item NUMBER end time DATE)". The title
    // starts one character after its marker ("eBay Motors: " alike).
    long titleStart = -1;
    for (const std::string& marker : pr.List("item.title")) {
        long at = Find(page, marker);
        if (at >= 0) {
            titleStart = at + Len(marker) + 1;
            break;
        }
    }
    if (titleStart < 0) return refuse(pr.List("item.title").empty() ? "" : pr.List("item.title").front());
    const std::string& numberMarker = pr.Get("item.number");
    long itemAt = Find(page, numberMarker);
    if (itemAt < 0) return refuse(numberMarker);
    const std::string& endMarker = pr.Get("item.end");
    long endAt = Find(page, endMarker, itemAt);
    if (endAt < 0) return refuse(endMarker);
    const std::string& cutMarker = pr.Get("item.end-of-item");
    long cut = Find(page, cutMarker);
    if (cut < 0) return refuse(cutMarker);
    // A price label further down than this belongs to something else on the
    // page (a description, another listing).
    const long priceWithin = pr.Number("item.price-within");
    long label = -1;
    {
        const std::string head = page.substr(0, static_cast<size_t>(cut));
        for (const std::string& marker : pr.List("item.price")) {
            label = FindUpTo(head, marker, priceWithin);
            if (label >= 0) break;
        }
    }
    if (label < 0) return refuse(pr.List("item.price").empty() ? "" : pr.List("item.price").front());

    item.m_bChanged = 0;
    if (Find(page, pr.Get("item.live")) >= 0)
        item.m_strBidCount = "LIVE";
    else
        MinimumBid(page, pr, item);

    const long anchor = titleStart - 6;
    if (anchor < itemAt && itemAt < anchor + 100)
        item.m_strTitle = TrimRight(Trim(Mid(page, titleStart, itemAt - titleStart), " "), "\">");
    // A separator right after the number ("no. 1234567890, closes") is not
    // part of it.
    item.m_strItemNumber = TrimRight(GetNumber(Mid(page, itemAt, 30), true), ",.");

    long close = Find(page, pr.Get("item.end-close"), endAt);
    const long n = Len(endMarker);
    // An end date the reader cannot make out is no end: the auction stays
    // as it was known (taking 0 would show it ended and never fetch it again).
    const int64_t end = ParseSiteDate(Trim(Mid(page, endAt + n, close - endAt - n), " "));
    if (end != 0) {
        item.m_tEndTime = end;
        TimeLeft(item);
    }

    // Everything from the seller's other items on is about other listings.
    page.resize(static_cast<size_t>(cut));
    CurrentPrice(page, label, item);
    Quantity(page, pr, item);
    BidCount(page, pr, item);
    HighBidder(page, pr, item);
    Shipping(page, pr, item);
    Seller(page, pr, item);
    return true;
}

std::string PageNotRecognisedText(const std::string& itemNumber, const std::string& savedAs) {
    return "Page not recognised: " + itemNumber + " (saved as " + savedAs + ")";
}

bool CItem::UpdateFromSite() {
    m_strPageProblem.clear();
    // An ended auction does not change any more.
    if (m_strTimeLeft.find("Ended") != std::string::npos) return true;
    std::string page;
    const bool came = !FetchPage(site::ItemViewUrl(m_strItemNumber), page).empty() && !page.empty();
    const std::string raw = page;
    StripTags(page);
    CItem parsed;
    if (!ParseItemPage(std::move(page), parsed)) {
        // A page that did not come (or was not an item page) says nothing
        // about the auction's end: the end already known is kept, so the
        // countdown, the end-of-auction refresh and a waiting snipe go on.
        // One that came but is not the page the profile knows is kept for
        // the user to send in (the site may have changed its pages).
        if (came && IsItemNumber(m_strItemNumber)) {
            const std::string name = "ViewItem-" + m_strItemNumber + ".html";
            KeepResultPage(raw, name);
            m_strPageProblem = PageNotRecognisedText(m_strItemNumber, name);
        }
        m_bUpdateFailed = 1;
        return false;
    }
    if (parsed.m_tEndTime == 0) {
        // The page came but its end date could not be read: the end already
        // known stays, and the row shows the refresh as failed.
        parsed.m_tEndTime = m_tEndTime;
        parsed.m_strTimeLeft = m_strTimeLeft;
        parsed.m_bUpdateFailed = 1;
    }
    CopyPageFields(parsed);
    return true;
}

}  // namespace bexora
