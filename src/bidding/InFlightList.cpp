#include "bidding/InFlightList.h"

#include <algorithm>

namespace bexora {

void CInFlightList::Add(CItem* item) {
    if (!item) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.push_back(Entry{item, item->m_strItemNumber});
}

void CInFlightList::Remove(const std::string& itemNumber) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::erase_if(m_items, [&](const Entry& e) { return e.number == itemNumber; });
}

bool CInFlightList::Contains(const std::string& itemNumber) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_items.begin(), m_items.end(),
                       [&](const Entry& e) { return e.number == itemNumber; });
}

void CInFlightList::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_items.clear();
}

size_t CInFlightList::Size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_items.size();
}

}  // namespace bexora
