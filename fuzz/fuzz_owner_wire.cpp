// The list owner's wire, both ways: what an owner reads from a client (a
// request) and what a client reads from an owner (progress messages, then
// the answer). A message that reads is written back byte for byte.
#include <cstdlib>

#include "FuzzCommon.h"
#include "listview/OwnerWire.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::Bytes(data, size);
    // The owner's side.
    if (const size_t n = wire::WholeMessage(bytes, true)) {
        if (n > bytes.size()) std::abort();
        wire::Request request;
        if (wire::ParseRequest(bytes.substr(0, n), request) && wire::EncodeRequest(request) != bytes.substr(0, n))
            std::abort();
    }
    // The client's side: messages one after another, as they arrive.
    std::string rest = bytes;
    while (size_t n = wire::WholeMessage(rest, false)) {
        if (n > rest.size()) std::abort();
        const std::string one = rest.substr(0, n);
        std::string out, progress;
        CListAnswer answer;
        if (wire::ParseProgress(one, out, progress)) {
            if (wire::EncodeProgress(out, progress) != one) std::abort();
        } else if (wire::ParseAnswer(one, answer)) {
            if (wire::EncodeAnswer(answer) != one) std::abort();
            break;
        } else {
            break;
        }
        rest.erase(0, n);
    }
    return 0;
}
