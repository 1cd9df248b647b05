#pragma once
// How close a bid landed: the site's bid history page lists every bid with
// the time the site recorded it (by the site's clock, to the second, or with
// milliseconds where the site shows them). After an auction ends, the list
// reads it to tell the user when the site took their bid and how long before
// the end that was.

#include <cstdint>
#include <string>
#include <vector>

namespace bexora {

struct SiteBidRecord {
    std::string user;
    std::string amount;  // as the page wrote it ("US $12.50")
    std::string when;    // as the page wrote it ("Nov 11, 2006 14:23:45 PST")
    int64_t siteMs = 0;  // a site time value (see ParseSiteDate) in ms
    bool hasFraction = false;
};

// The bids a bid history page lists (tags and all), in the page's order;
// rows whose date cannot be read are left out.
std::vector<SiteBidRecord> ReadBidHistoryPage(std::string page);
class CSiteProfile;
std::vector<SiteBidRecord> ReadBidHistoryPage(std::string page, const CSiteProfile& profile);

// The item history line for user's latest bid among records, given the
// auction's end (a site time value, whole seconds): "Bid landed: the site
// recorded the bid at Nov 11, 2006 14:23:41 PST, 4 seconds before the end."
// "" when the list holds no bid of user's.
std::string BidLandingNote(const std::vector<SiteBidRecord>& records, const std::string& user,
                           int64_t endTime);

// Fetches the item's bid history page and makes the line above ("" when the
// page cannot be read or shows no bid of user's). Fetches: workers only.
std::string ReadBidLanding(const std::string& itemNumber, const std::string& user, int64_t endTime);

// How every such line starts, so that an item gets one.
constexpr const char* kBidLandedPrefix = "Bid landed: ";

}  // namespace bexora
