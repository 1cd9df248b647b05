// The "update.txt" instruction file as the update check reads it.
#include <cstdlib>

#include "FuzzCommon.h"
#include "update/UpdateCheck.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::Bytes(data, size);
    CUpdateInstructions u = ParseUpdateInstructions(text);
    if (u.m_nFiles >= 0 && u.m_files.size() > static_cast<size_t>(u.m_nFiles)) std::abort();
    (void)UpdateVersionNumber(text);
    return 0;
}
