#pragma once
// The list's column layout value, as the settings file keeps it: n, the sort
// state, then per column its shown flag (1 byte), width and display position
// (4 bytes each), all little-endian, 8 + 9·n bytes. The value comes from a
// file the user may have edited or an older version wrote, so reading it is
// kept apart from the list control (which needs Qt) and is fuzzed on its own.
//
// Header-only: the list control links none of the core libraries.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace bexora {

// One column as the value stores it.
struct ColumnState {
    bool m_bShown = true;
    int m_nWidth = 0;     // pixels
    int m_nPosition = 0;  // place in the display order
    bool operator==(const ColumnState&) const = default;
};

// What a stored value asks of a list, in the order to apply it.
struct ColumnLayout {
    int m_nSortState = 0;
    // Shown flag and width for the first m_columns.size() columns; a column
    // with a position that cannot be right ends the list (it is applied
    // itself, the ones after it are left as they are).
    std::vector<ColumnState> m_columns;
    // The column at each display place, a permutation of 0..n-1; empty when
    // the stored positions are not all present and distinct.
    std::vector<int> m_order;
};

namespace layout_detail {

inline void Put32(std::vector<uint8_t>& out, size_t at, int32_t value) {
    auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(u >> (8 * i));
}

inline int32_t Get32(const std::vector<uint8_t>& in, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(in[at + i]) << (8 * i);
    return static_cast<int32_t>(u);
}

}  // namespace layout_detail

inline std::vector<uint8_t> EncodeColumnLayout(int sortState,
                                               const std::vector<ColumnState>& columns) {
    using layout_detail::Put32;
    const size_t n = columns.size();
    std::vector<uint8_t> value(8 + 9 * n, 0);
    Put32(value, 0, static_cast<int32_t>(n));
    Put32(value, 4, sortState);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = 8 + 9 * i;
        value[at] = columns[i].m_bShown ? 1 : 0;
        Put32(value, at + 1, columns[i].m_nWidth);
        Put32(value, at + 5, columns[i].m_nPosition);
    }
    return value;
}

// Reads a stored value for a list of columnCount columns. Nothing (the list
// changes nothing) when the size or the count does not fit, or the sort
// state names a column the list does not have. Only the low 16 bits of a
// stored width are a width.
inline std::optional<ColumnLayout> ParseColumnLayout(const std::vector<uint8_t>& value,
                                                     int columnCount) {
    using layout_detail::Get32;
    if (columnCount < 0) return std::nullopt;
    const size_t n = static_cast<size_t>(columnCount);
    if (value.size() != 8 + 9 * n || Get32(value, 0) != columnCount) return std::nullopt;
    const int64_t sort = Get32(value, 4);
    if (std::llabs(sort) > columnCount) return std::nullopt;

    ColumnLayout layout;
    layout.m_nSortState = static_cast<int>(sort);
    layout.m_columns.reserve(n);
    std::vector<int> order(n, -1);
    for (size_t i = 0; i < n; ++i) {
        const size_t at = 8 + 9 * i;
        ColumnState column;
        column.m_bShown = value[at] != 0;
        column.m_nWidth = Get32(value, at + 1) & 0xFFFF;
        column.m_nPosition = Get32(value, at + 5);
        layout.m_columns.push_back(column);
        // Two columns claiming one place would leave another without one;
        // the rest of such a value is not trusted.
        const int32_t pos = column.m_nPosition;
        if (pos < 0 || pos >= columnCount || order[static_cast<size_t>(pos)] != -1) return layout;
        order[static_cast<size_t>(pos)] = static_cast<int>(i);
    }
    layout.m_order = std::move(order);
    return layout;
}

}  // namespace bexora
