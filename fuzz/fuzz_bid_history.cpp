// The bid history page as the list reads it after an auction it bid on has
// ended, and the history line made from what it found.
#include "FuzzCommon.h"
#include "site/BidHistory.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    setenv("TZ", "America/Los_Angeles", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<SiteBidRecord> records = ReadBidHistoryPage(fuzz::Bytes(data, size));
    for (const SiteBidRecord& r : records) (void)BidLandingNote(records, r.user, r.siteMs / 1000);
    return 0;
}
