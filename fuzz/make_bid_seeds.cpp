// Writes the ".bid" seeds of fuzz_bid_file into the folder given: an empty
// list, a list with items and bid groups, and one with items only (the
// older form without the group section).
//   make_bid_seeds fuzz/corpus/fuzz_bid_file
#include <cstdio>
#include <memory>
#include <string>

#include "base/AtomicFile.h"
#include "model/Archive.h"
#include "model/ebayDoc.h"

using namespace bexora;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bid_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    RegisterModelClasses();

    CebayDoc empty;
    bool ok = AtomicWriteFile(dir + "/empty.bid", empty.StoreToBytes(), 0644);

    CebayDoc doc;
    const char* numbers[] = {"1234567890", "110012345678", "2345678901"};
    for (int i = 0; i < 3; ++i) {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = numbers[i];
        item->m_strTitle = std::string("Seed item \xE9 ") + std::to_string(i);
        item->m_strCurrentPrice = "US $12.50";
        if (i == 1) item->m_strMyBid = "US $20.00";
        item->m_strBidGroup = i == 0 ? "N/A" : "lenses";
        doc.AddItem(std::move(item));
    }
    doc.BidGroups().AddTail(std::make_unique<CBidGroup>("lenses", 1));
    doc.BidGroups().AddTail(std::make_unique<CBidGroup>("bodies", 2));
    const std::string full = doc.StoreToBytes();
    ok = AtomicWriteFile(dir + "/groups.bid", full, 0644) && ok;

    // Items only: the same bytes up to the group section.
    std::string itemsOnly;
    {
        CArchive ar(CArchive::store, itemsOnly);
        ar.WriteCount(static_cast<uint32_t>(doc.Items().size()));
        for (const auto& item : doc.Items()) ar.WriteObject(*item);
    }
    ok = AtomicWriteFile(dir + "/items-only.bid", itemsOnly, 0644) && ok;
    return ok ? 0 : 1;
}
