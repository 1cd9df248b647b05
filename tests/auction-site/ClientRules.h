#pragma once
// The site's pages are read here with the client's own readers (tag
// stripping, hidden fields, the item page parser, the time page, the listing
// scan), so a page the site serves is checked against exactly what the
// program does with it. The quick add of listing pages and the bid answer
// table are still test copies until the browser and bidding code provide
// them.

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "model/Item.h"
#include "site/ItemPageParser.h"
#include "site/SiteTime.h"
#include "site/TextTools.h"

namespace rules {

// Site times are Pacific wall-clock times read as local time: with the
// tests in the site's own zone they are true instants.
inline const bool kPacificZone = [] {
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    return true;
}();

inline std::string StripTags(std::string s) {
    bexora::StripTags(s);
    return s;
}
inline std::string Cut(const std::string& s, long start, long len) { return bexora::Mid(s, start, len); }
inline std::string Trim(const std::string& s, const char* set) { return bexora::Trim(s, set); }
inline long Find(const std::string& s, const std::string& what, long from = 0) {
    return bexora::Find(s, what, from);
}
inline bool Contains(const std::string& s, const std::string& what) {
    return s.find(what) != std::string::npos;
}
inline bool HasDigit(const std::string& s) { return s.find_first_of("0123456789") != std::string::npos; }
inline std::string GetHiddenField(const std::string& page, const std::string& name) {
    return bexora::GetHiddenField(page, name);
}
inline std::string GetNumber(const std::string& text, bool stopAtPoint) {
    return bexora::GetNumber(text, stopAtPoint);
}
inline std::string ScanItemLinks(const std::string& page) { return bexora::ScanItemLinks(page); }
inline int64_t ParseSiteDate(const std::string& text) { return bexora::ParseSiteDate(text); }

struct Item {
    std::string number, title, price, quantity, bidCount, minBid, shipping, seller, feedback,
        percent, timeLeft;
    int64_t endTime = 0;
    bool highBidder = false;
};

// The program's parser on stripped text, with savedUser as the saved user
// ID and the clock offset pinned at 0 (no time page is fetched).
inline bool ParseItemPage(std::string page, Item& it, const std::string& savedUser = "") {
    bexora::CItem c;
    bexora::OverrideSavedUserId(savedUser);
    bexora::FixClockOffset(0);
    bool ok = bexora::ParseItemPage(std::move(page), c);
    bexora::FixClockOffset(std::nullopt);
    bexora::OverrideSavedUserId(std::nullopt);
    it.number = c.m_strItemNumber;
    it.title = c.m_strTitle;
    it.price = c.m_strCurrentPrice;
    it.quantity = c.m_strQuantity;
    it.bidCount = c.m_strBidCount;
    it.minBid = c.m_strMinBid;
    it.shipping = c.m_strShipping;
    it.seller = c.m_strSeller;
    it.feedback = c.m_strFeedback;
    it.percent = c.m_strPercent;
    it.timeLeft = c.m_strTimeLeft;
    it.endTime = c.m_tEndTime;
    it.highBidder = c.m_bHighBidder != 0;
    return ok;
}

class LineReader {
public:
    explicit LineReader(const std::string& text) : m_text(text) {}
    std::string Next() { return m_reader.NextLine(m_text); }

private:
    std::string m_text;
    bexora::CLineReader m_reader;
};

struct Listed {
    std::string number, title, price = "N/A";
};

inline std::vector<Listed> QuickAdd(const std::string& prepared) {
    std::vector<Listed> out;
    LineReader r(prepared);
    std::string line = r.Next();
    for (;;) {
        if (line == "<>") return out;
        if (line.empty() || line.find('<') == std::string::npos) {
            line = r.Next();
            continue;
        }
        Listed it;
        it.number = Trim(line, "<>");
        it.title = r.Next();
        std::string l = r.Next();
        if (Contains(l, "<") && Contains(l, ">")) {
            out.push_back(it);
            line = l;
            continue;
        }
        if (l.size() > 15) l = r.Next();
        if (l == GetNumber(l, true)) {
            r.Next();
            l = r.Next();
        }
        if (!HasDigit(l)) l += r.Next();
        it.price = l;
        out.push_back(it);
        line = l;
    }
}

// The bid answer table, first match wins.
inline std::string Classify(const std::string& page, const std::string& user) {
    static const std::pair<const char*, const char*> rows[] = {
        {"You are the current high bidder", "You are the current high bidder."},
        {"is not a registered eBay user", nullptr},
        {"password is not valid", "Username and Password is invalid."},
        {"Transaction Blocked", "Your transaction is blocked, please contact the seller."},
        {"Bidding 15000.0 or more", "Need more information from eBay for Bidding more than 15000."},
        {"his seller has set buyer requirements", "You do not meet buyer requirements."},
        {"Already an eBay user", "Username and Password is invalid."},
        {"buying activity limits", "You have reached one or more buying activity limits."},
        {"You have been outbid by another bidder", "You have been outbid by another bidder."},
        {"You've been outbid by another bidder", "You have been outbid by another bidder."},
        {"is less than the minimum bid", "Bid is less than the minimun bid.Increse your price."},
        {"The reserve price has not been met",
         "You are the high bidder, but the reserve price not met."},
        {"Auction ended", "The auction is ended before the bid can be placed."},
        {"Unknown Error", "Item Unknown Error 2"},
        {"To enter a higher maximum bid",
         "You may need to bid with a higher value, check ebay page."},
    };
    for (const auto& [marker, result] : rows)
        if (Contains(page, marker)) return result ? result : "Invalid." + user;
    if (page.empty()) return "You may have problem with your account, try bid from ebay page.";
    if (Contains(page, "You are bidding on this Multiple Item Auction")) return "MULTI";
    return "Unknown Error, please contact bexora support";
}

// The offer form's error list, as the bid engine cuts it out.
inline std::string OfferErrorText(const std::string& page) {
    std::string text = StripTags(page);
    long p = Find(text, "The following must be corrected before continuing:");
    long q = p >= 0 ? Find(text, "Item title", p) : -1;
    if (p < 0 || q < 0 || q <= p) return "Unknown error1";
    std::string r = Cut(text, p + 51, q - p - 52);
    return Trim(Trim(Trim(Trim(r, " "), "\n"), " "), "\n");
}

}  // namespace rules
