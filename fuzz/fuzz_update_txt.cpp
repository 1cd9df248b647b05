// The "update.txt" instruction file as the update check and the download
// read it, in its signed form: names, checksum lines and a signature.
#include <cstdlib>

#include "FuzzCommon.h"
#include "update/UpdateCheck.h"
#include "update/UpdateSignature.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::Bytes(data, size);
    CUpdateInstructions u = ParseUpdateInstructions(text);
    if (u.m_nFiles >= 0 && u.m_files.size() > static_cast<size_t>(u.m_nFiles)) std::abort();
    if (u.m_checks.size() > u.m_files.size()) std::abort();
    for (const auto& c : u.m_checks)
        if (c.m_strSha256.size() != 64) std::abort();
    if (u.Complete() && !u.m_bValid) std::abort();
    (void)UpdateVersionNumber(text);
    // The last line as a signature of the rest: a random text never passes.
    const size_t cut = text.rfind('\n');
    if (cut != std::string::npos &&
        VerifyUpdateSignature(text.substr(0, cut), text.substr(cut + 1), kMakerUpdateKey))
        std::abort();
    return 0;
}
