// Site date texts: end times on item pages, the time page's clock.
#include "FuzzCommon.h"
#include "site/SiteTime.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int64_t t = ParseSiteDate(fuzz::Bytes(data, size));
    // Whatever was read has to print.
    if (t != 0) {
        (void)FormatLocalTime(t);
        (void)FormatTimeSpan(t, "%D days, %H hours, %M mins, %S secs");
    }
    return 0;
}
