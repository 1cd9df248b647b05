// A ".bid" file as a list opens it: the item section, then the groups.
// Damage may only surface as CArchiveException; the items read must store
// again, and what they store must read back the same.
#include <cstdlib>

#include "FuzzCommon.h"
#include "model/Archive.h"
#include "model/ebayDoc.h"

using namespace bexora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    RegisterModelClasses();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz::Bytes(data, size);

    // The item section alone.
    {
        CebayDoc::ItemList items;
        try {
            CArchive ar(CArchive::load, bytes);
            ReadItemSection(ar, items);
        } catch (const CArchiveException&) {
        }
    }

    // The whole document, items and groups.
    CebayDoc doc;
    bool loaded = true;
    try {
        CArchive ar(CArchive::load, bytes);
        doc.Serialize(ar);
    } catch (const CArchiveException&) {
        loaded = false;
    }
    if (!loaded) return 0;

    const std::string stored = doc.StoreToBytes();
    CebayDoc again;
    try {
        CArchive ar(CArchive::load, stored);
        again.Serialize(ar);
    } catch (const CArchiveException&) {
        std::abort();  // what a save writes must always open
    }
    if (again.Items().size() != doc.Items().size()) std::abort();
    if (again.StoreToBytes() != stored) std::abort();
    return 0;
}
