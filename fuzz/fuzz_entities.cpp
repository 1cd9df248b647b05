// Numeric character references in page texts.
#include <cstdlib>

#include "FuzzCommon.h"
#include "text/TextTools.h"

using namespace bexora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::Bytes(data, size);
    std::string out = DecodeNumericEntities(text);
    // A reference is never longer than its byte.
    if (out.size() > text.size()) std::abort();
    return 0;
}
