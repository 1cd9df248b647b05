// A listing page added quickly: the item links scanned, then read into
// items handed to a list that keeps every new number.
#include <memory>
#include <set>

#include "FuzzCommon.h"
#include "browser/AddFromPage.h"
#include "text/TextTools.h"

using namespace bexora;

namespace {

class CCollectingSink : public IItemSink {
public:
    int AddItemIfNew(std::unique_ptr<CItem> item, bool) override {
        if (!item) return -1;
        return m_numbers.insert(item->m_strItemNumber).second ? 1 : 0;
    }
    std::set<std::string> m_numbers;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string page = fuzz::Bytes(data, size);
    CCollectingSink sink;
    PageAddResult result;
    QuickAdd(ScanItemLinks(CleanPageText(page)), sink, &result);
    // The prepared text straight from the input as well: QuickAdd must not
    // rely on ScanItemLinks' shape.
    CCollectingSink raw;
    QuickAdd(page, raw, nullptr);
    CCollectingSink script;
    QuickAddScriptListing(page, script, nullptr);
    return 0;
}
