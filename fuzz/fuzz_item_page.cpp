// An item page as the update worker reads it: tags stripped, then parsed.
// The clock offset is pinned so that nothing is fetched.
#include "FuzzCommon.h"
#include "model/Item.h"
#include "site/ItemPageParser.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    FixClockOffset(0);
    OverrideSavedUserId(std::string("fuzzbidder"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string page = fuzz::Bytes(data, size);
    StripTags(page);
    CItem item;
    ParseItemPage(page, item);
    // The raw page, as the browser pane hands it over.
    CItem raw;
    ParseItemPage(fuzz::Bytes(data, size), raw);
    return 0;
}
