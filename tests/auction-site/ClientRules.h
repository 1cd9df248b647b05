#pragma once
// The site's pages are read here with the client's own readers (tag
// stripping, hidden fields, the item page parser, the time page, the listing
// scan), so a page the site serves is checked against exactly what the
// program does with it.

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bidding/BidRequest.h"
#include "browser/AddFromPage.h"
#include "model/Item.h"
#include "site/ItemPageParser.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

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

// The browser pane's quick add over ScanItemLinks output, with a list that
// takes every item it is offered.
class ListedSink : public bexora::IItemSink {
public:
    explicit ListedSink(std::vector<Listed>& out) : m_out(out) {}
    int AddItemIfNew(std::unique_ptr<bexora::CItem> item, bool) override {
        m_out.push_back({item->m_strItemNumber, item->m_strTitle, item->m_strCurrentPrice});
        return 1;
    }

private:
    std::vector<Listed>& m_out;
};

inline std::vector<Listed> QuickAdd(const std::string& prepared) {
    std::vector<Listed> out;
    ListedSink sink(out);
    bexora::QuickAdd(prepared, sink);
    return out;
}

// The bid engine's answer table, first match wins; a multiple-quantity
// answer (which the engine judges from the item page) reads "MULTI".
inline std::string Classify(const std::string& page, const std::string& user) {
    const bexora::AnswerRow row = bexora::MatchAnswer(page);
    switch (row.action) {
        case bexora::AnswerAction::NotRegistered:
            return "Invalid." + user;
        case bexora::AnswerAction::MultipleQuantity:
            return "MULTI";
        default:
            return row.result;
    }
}

// The offer form's error list, as the bid engine cuts it out.
inline std::string OfferErrorText(std::string page) { return bexora::OfferErrorText(page); }

}  // namespace rules
