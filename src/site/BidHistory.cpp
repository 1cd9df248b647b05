#include "site/BidHistory.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "site/SiteProfile.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

// "Nov 11, 2006 14:23:45.250 PST": the date reader takes whole seconds, so a
// fraction after the seconds is cut out and kept apart.
bool ReadBidDate(const std::string& text, int64_t& ms, bool& hasFraction) {
    std::string whole = text;
    int fraction = 0;
    hasFraction = false;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos && colon + 3 < text.size() && text[colon + 3] == '.') {
        size_t end = colon + 4;
        int digits = 0;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
            if (digits < 3) fraction = fraction * 10 + (text[end] - '0');
            ++digits;
            ++end;
        }
        if (digits == 0) return false;
        for (int d = digits; d < 3; ++d) fraction *= 10;
        whole = text.substr(0, colon + 3) + text.substr(end);
        hasFraction = true;
    }
    const int64_t t = ParseSiteDate(whole);
    if (t == 0) return false;
    ms = t * 1000 + fraction;
    return true;
}

std::string Seconds(int64_t ms, bool fraction) {
    char buf[32];
    if (fraction)
        std::snprintf(buf, sizeof buf, "%lld.%03lld", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000));
    else
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(ms / 1000));
    return buf;
}

}  // namespace

std::vector<SiteBidRecord> ReadBidHistoryPage(std::string page) {
    const std::shared_ptr<const CSiteProfile> profile = CurrentProfile();
    return ReadBidHistoryPage(std::move(page), *profile);
}

std::vector<SiteBidRecord> ReadBidHistoryPage(std::string page, const CSiteProfile& profile) {
    StripTags(page);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= page.size()) {
        size_t end = page.find('\n', start);
        if (end == std::string::npos) end = page.size();
        std::string line = Trim(page.substr(start, end - start), " \t\r");
        if (!line.empty()) lines.push_back(std::move(line));
        start = end + 1;
    }
    // Each bid is three cells in a row, in the profile's order ("user amount
    // date"): the amount cell holds the amount mark, the date cell reads as a
    // date.
    int userAt = 0, amountAt = 1, dateAt = 2;
    {
        const std::string& cells = profile.Get("history.cells");
        int slot = 0;
        for (size_t p = 0; p < cells.size() && slot < 3;) {
            size_t q = cells.find(' ', p);
            if (q == std::string::npos) q = cells.size();
            const std::string word = cells.substr(p, q - p);
            if (word == "user") userAt = slot++;
            else if (word == "amount") amountAt = slot++;
            else if (word == "date") dateAt = slot++;
            p = q + 1;
        }
    }
    const std::string& mark = profile.Get("history.amount-mark");
    std::vector<SiteBidRecord> out;
    for (size_t i = 2; i < lines.size(); ++i) {
        SiteBidRecord r;
        const std::string* cell[3] = {&lines[i - 2], &lines[i - 1], &lines[i]};
        if (cell[amountAt]->find(mark) == std::string::npos) continue;
        if (!ReadBidDate(*cell[dateAt], r.siteMs, r.hasFraction)) continue;
        r.user = *cell[userAt];
        r.amount = *cell[amountAt];
        r.when = *cell[dateAt];
        out.push_back(std::move(r));
    }
    return out;
}

std::string BidLandingNote(const std::vector<SiteBidRecord>& records, const std::string& user,
                           int64_t endTime) {
    const SiteBidRecord* last = nullptr;
    for (const SiteBidRecord& r : records)
        if (strcasecmp(r.user.c_str(), user.c_str()) == 0 && (!last || r.siteMs > last->siteMs))
            last = &r;
    if (!last || user.empty()) return {};
    std::string note = std::string(kBidLandedPrefix) + "the site recorded the bid at " + last->when;
    if (endTime == 0) return note + ".";
    const int64_t margin = endTime * 1000 - last->siteMs;
    if (margin >= 0)
        return note + ", " + Seconds(margin, last->hasFraction) + " seconds before the end.";
    return note + ", " + Seconds(-margin, last->hasFraction) + " seconds after the end.";
}

std::string ReadBidLanding(const std::string& itemNumber, const std::string& user,
                           int64_t endTime) {
    std::string page;
    if (FetchPage(site::BidHistoryUrl(itemNumber), page).empty()) return {};
    return BidLandingNote(ReadBidHistoryPage(std::move(page)), user, endTime);
}

}  // namespace bexora
