// The list's stored column layout, read as the list reads it at start: for
// the item list's 13 columns and for the count the value itself claims.
// What is read must make sense to apply (widths of 16 bits, a sort column
// the list has, an order that is a permutation) and must store and read
// back the same.
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "listview/ColumnLayout.h"

using namespace bexora;

namespace {

constexpr int kItemListColumns = 13;

void Check(const std::vector<uint8_t>& value, int n) {
    std::optional<ColumnLayout> layout = ParseColumnLayout(value, n);
    if (!layout) return;
    if (layout->m_columns.size() > static_cast<size_t>(n)) std::abort();
    if (std::abs(layout->m_nSortState) > n) std::abort();
    for (const ColumnState& c : layout->m_columns)
        if (c.m_nWidth < 0 || c.m_nWidth > 0xFFFF) std::abort();
    if (layout->m_order.empty()) return;
    if (layout->m_order.size() != static_cast<size_t>(n) ||
        layout->m_columns.size() != static_cast<size_t>(n))
        std::abort();
    std::vector<bool> seen(static_cast<size_t>(n), false);
    for (int pos = 0; pos < n; ++pos) {
        const int col = layout->m_order[static_cast<size_t>(pos)];
        if (col < 0 || col >= n || seen[static_cast<size_t>(col)]) std::abort();
        seen[static_cast<size_t>(col)] = true;
        if (layout->m_columns[static_cast<size_t>(col)].m_nPosition != pos) std::abort();
    }
    // A list that applied it saves it again: that must read back the same.
    const std::vector<uint8_t> again = EncodeColumnLayout(layout->m_nSortState, layout->m_columns);
    std::optional<ColumnLayout> reread = ParseColumnLayout(again, n);
    if (!reread || reread->m_columns != layout->m_columns || reread->m_order != layout->m_order ||
        reread->m_nSortState != layout->m_nSortState)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> value(data, data + size);
    Check(value, kItemListColumns);
    if (size >= 4) {
        int32_t claimed = 0;
        std::memcpy(&claimed, data, 4);  // the fuzz machines are little-endian
        if (claimed >= 0 && claimed <= 4096 && claimed != kItemListColumns) Check(value, claimed);
    }
    return 0;
}
