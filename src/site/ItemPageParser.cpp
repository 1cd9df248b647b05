#include "site/ItemPageParser.h"

#include <mutex>
#include <string_view>

#include "base/Clock.h"
#include "base/Settings.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

// Price labels, most telling first; the first one that shows near the top
// of the page decides.
constexpr const char* kPriceMarkers[] = {
    "Current bid:", "Winning bid:", "Sold for:", "Starting bid:", "Starts at:", "price:", "Price:",
};
// A price label further down belongs to something else on the page (a
// description, another listing).
constexpr long kPriceMarkerLimit = 10000;

// A bid count with any of these is no count: a fixed-price or buy-now item.
constexpr char kNotACount[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ$<>";

std::mutex g_userIdMutex;
std::optional<std::string> g_userIdOverride;

std::string SavedUserId() {
    {
        std::lock_guard<std::mutex> lock(g_userIdMutex);
        if (g_userIdOverride) return *g_userIdOverride;
    }
    return Settings().GetString(setting::UserId);
}

bool Contains(const std::string& s, const char* what) {
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

void MinimumBid(const std::string& page, CItem& item) {
    long y = Find(page, "Your maximum bid:");
    if (y < 0) return;
    long e = Find(page, "(Enter", y);
    long r = e >= 0 ? Find(page, "or more", e) : -1;
    // "(Enter US $10.50 or more)"
    if (e >= 0 && r >= 0 && r - e > 6)
        item.m_strMinBid = Trim(Mid(page, e + 6, r - e - 6), "\n ");
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

void Quantity(const std::string& page, CItem& item) {
    std::string quantity = "1";
    long q = Find(page, "Quantity:");
    long available = Find(page, "available");
    if (q >= 0 && available >= 0 && available - q <= 20) {
        quantity = GetNumber(Trim(Mid(page, q + 10, available - q - 10), " \n"), true);
        if (quantity.empty()) quantity = "1";
    }
    if (quantity != item.m_strQuantity) {
        item.m_strQuantity = quantity;
        item.m_bChanged = 1;
    }
}

void BidCount(const std::string& page, CItem& item) {
    long h = Find(page, "History:");
    if (h >= 0) {
        long b = Find(page, "bid", h);
        if (b >= 0 && b - h < 30) {
            std::string count = Trim(Mid(page, h + 8, b - h - 8), " \n");
            if (count != item.m_strBidCount) item.m_bChanged = 1;
            item.m_strBidCount = count;
        }
        if (Contains(item.m_strBidCount, "Winning")) item.m_strBidCount = "BUY";
    }
    // No count at all, "Purchases (3)", "Buy It Now": not an auction with bids.
    if (item.m_strBidCount == "N/A" || Contains(item.m_strBidCount, "Purchase"))
        item.m_strBidCount = "BUY";
    if (item.m_strBidCount != "BUY" && item.m_strBidCount != "LIVE" &&
        item.m_strBidCount.find_first_of(kNotACount) != std::string::npos)
        item.m_strBidCount = "BUY";
}

void HighBidder(const std::string& page, CItem& item) {
    long k = Find(page, "High bidder:");
    if (k < 0) return;
    std::string bidder = Trim(Mid(page, k + 12, 20), " ");
    std::string me = SavedUserId();
    if (!me.empty() && bidder.find(me) != std::string::npos) item.m_bHighBidder = 1;
}

void Shipping(const std::string& page, CItem& item) {
    long s = Find(page, "Shipping costs:");
    if (s < 0) return;
    std::string line = Trim(Mid(page, Find(page, '\n', s + 15) + 1, 50), " ");
    if (Contains(line, "FREE")) {
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
void Seller(const std::string& page, CItem& item) {
    long v = Find(page, "Seller:");
    if (v < 0) return;
    long open = Find(page, '(', v + 8);
    item.m_strSeller = Trim(Mid(page, v + 8, open - v - 8), " \n");
    if (open < 0) return;
    long close = Find(page, ')', open);
    if (close < 0) return;
    item.m_strFeedback = Trim(Mid(page, open + 1, close - open - 1), " \n");
    long f = Find(page, "Feedback:", close);
    if (f < 0) return;
    long percent = Find(page, '%', f);
    item.m_strPercent = Trim(Mid(page, f + 10, percent - f - 10), " \n");
}

}  // namespace

void OverrideSavedUserId(std::optional<std::string> userId) {
    std::lock_guard<std::mutex> lock(g_userIdMutex);
    g_userIdOverride = std::move(userId);
}

bool ParseItemPage(std::string page, CItem& item) {
    // Entities the site leaves in its text; "&amp;" becomes a bare "&".
    ReplaceAll(page, "<WBR>", "");
    ReplaceAll(page, "<wbr>", "");
    ReplaceAll(page, "AMP;", "");
    ReplaceAll(page, "amp;", "");
    ReplaceAll(page, "&nbsp;", "");
    ReplaceAll(page, "&gt;", ">");
    ReplaceAll(page, "&lt;", "<");

    item.m_bChanged = 0;

    if (Find(page, "Ready to Sign Up for Live Auction?") >= 0)
        item.m_strBidCount = "LIVE";
    else
        MinimumBid(page, item);

    // The page title: "eBay: TITLE (item NUMBER end time DATE)". For
    // "eBay Motors: " the anchor moves so that the title starts 6 further on
    // as well.
    long anchor = Find(page, "eBay:");
    if (anchor < 0) {
        anchor = Find(page, "eBay Motors:");
        if (anchor < 0) return false;
        anchor += 7;
    }
    long itemAt = Find(page, "(item");
    if (itemAt < 0) return false;
    if (anchor < itemAt && itemAt < anchor + 100)
        item.m_strTitle = TrimRight(Trim(Mid(page, anchor + 6, itemAt - anchor - 6), " "), "\">");
    item.m_strItemNumber = GetNumber(Mid(page, itemAt, 30), true);

    long endAt = Find(page, "end time", itemAt);
    if (endAt < 0) return false;
    long close = Find(page, ')', endAt);
    // An end date the reader cannot make out is no end: the auction stays
    // as it was known (taking 0 would show it ended and never fetch it again).
    const int64_t end = ParseSiteDate(Trim(Mid(page, endAt + 8, close - endAt - 8), " "));
    if (end != 0) {
        item.m_tEndTime = end;
        TimeLeft(item);
    }

    // Everything from the seller's other items on is about other listings.
    long cut = Find(page, "View seller's other items");
    if (cut < 0) return false;
    page.resize(static_cast<size_t>(cut));

    long label = -1;
    for (const char* marker : kPriceMarkers) {
        label = FindUpTo(page, marker, kPriceMarkerLimit);
        if (label >= 0) break;
    }
    if (label < 0) return false;
    CurrentPrice(page, label, item);

    Quantity(page, item);
    BidCount(page, item);
    HighBidder(page, item);
    Shipping(page, item);
    Seller(page, item);
    return true;
}

bool CItem::UpdateFromSite() {
    // An ended auction does not change any more.
    if (m_strTimeLeft.find("Ended") != std::string::npos) return true;
    // A failed fetch leaves a page the parser rejects, so its result is not
    // needed here.
    std::string page;
    FetchPage(site::ItemViewUrl(m_strItemNumber), page);
    StripTags(page);
    CItem parsed;
    if (!ParseItemPage(std::move(page), parsed)) {
        // A page that did not come (or was not an item page) says nothing
        // about the auction's end: the end already known is kept, so the
        // countdown, the end-of-auction refresh and a waiting snipe go on.
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
