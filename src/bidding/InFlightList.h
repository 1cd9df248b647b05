#pragma once
// The list view's items whose refresh has been posted to the update worker
// and not yet answered. The UI thread adds and removes; the update worker
// asks whether an item number is still in it. One lock guards every access.
// The list does not own the items it points to (the document does); it
// keeps each one's item number as it was when added, so the worker's
// question never reads an item the UI thread may be changing.

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "model/Item.h"

namespace bexora {

class CInFlightList {
public:
    void Add(CItem* item);
    // Removes every entry with this item number.
    void Remove(const std::string& itemNumber);
    // The item numbers are compared exactly, as texts.
    bool Contains(const std::string& itemNumber) const;
    void Clear();
    size_t Size() const;

private:
    mutable std::mutex m_mutex;
    struct Entry {
        CItem* item;
        std::string number;
    };
    std::vector<Entry> m_items;
};

}  // namespace bexora
