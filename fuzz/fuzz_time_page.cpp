// The official time page as GetSiteTime reads it after fetching it.
#include "FuzzCommon.h"
#include "site/SiteTime.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    (void)ReadSiteTimePage(fuzz::Bytes(data, size));
    return 0;
}
