// A site profile file as the program reads it (chosen in the settings or
// delivered by the update), then the profile put to work: what it writes
// back must read back the same, and the page readers must take any marker
// texts a profile can hold.
#include <cstdlib>

#include "FuzzCommon.h"
#include "model/Item.h"
#include "site/BidHistory.h"
#include "site/ItemPageParser.h"
#include "site/SiteProfile.h"
#include "site/SiteTime.h"

using namespace bexora;

namespace {

// A page that holds a little of everything the readers look for, in both
// layouts' words, so a profile's markers often find something.
const char kPage[] =
    "eBay: Lamp (item 1234567890 end time Dec-08-26 16:33:20 PST)\n"
    "Lot: Lamp [no. 1234567890, closes Dec-08-26 16:33:20 PST]\n"
    "Current bid:\nUS $12.50\nHighest offer:\nUS $12.50\n"
    "Your maximum bid:\n(Enter US $13.00 or more)\nQuantity: 3 available\n"
    "History: 4 bids\nHigh bidder: pat\nShipping costs:\n\nUS $4.00\nSeller: bob ( 12 )\n"
    "Feedback: 99.5%\nThe official eBay Time is now: Monday, Dec 07, 2026 17:17:38 PST\n"
    "pat\nUS $12.50\nDec 07, 2026 16:33:55 PST\nDec 07, 2026 16:33:56 PST\nrival\nUSD 12.00\n"
    "View seller's other items\nOther lots from this seller\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    setenv("TZ", "America/Los_Angeles", 1);
    FixClockOffset(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CSiteProfile profile;
    std::string error;
    if (!ParseSiteProfile(fuzz::Bytes(data, size), profile, error)) return 0;
    const std::string text = profile.Text();
    CSiteProfile again;
    if (!ParseSiteProfile(text, again, error) || again.Text() != text) std::abort();
    CItem item;
    (void)ParseItemPage(kPage, item, profile);
    (void)ReadSiteTimePage(kPage, profile);
    (void)ReadBidHistoryPage(kPage, profile);
    return 0;
}
