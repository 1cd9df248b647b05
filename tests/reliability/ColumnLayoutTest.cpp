// The stored column layout read without the list control: how far a damaged
// value is trusted.

#include <gtest/gtest.h>

#include "listview/ColumnLayout.h"

namespace bexora {
namespace {

std::vector<ColumnState> Columns(int n) {
    std::vector<ColumnState> c;
    for (int i = 0; i < n; ++i) c.push_back({i != 1, 40 + i, n - 1 - i});
    return c;
}

TEST(ColumnLayout, ReadsBackWhatItStoresAndRefusesWhatDoesNotFit) {
    const std::vector<uint8_t> value = EncodeColumnLayout(-2, Columns(4));
    ASSERT_EQ(value.size(), 8u + 9 * 4);
    auto layout = ParseColumnLayout(value, 4);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->m_nSortState, -2);
    EXPECT_EQ(layout->m_columns, Columns(4));
    EXPECT_EQ(layout->m_order, (std::vector<int>{3, 2, 1, 0}));

    EXPECT_FALSE(ParseColumnLayout(value, 5)) << "another version's column count";
    EXPECT_FALSE(ParseColumnLayout(std::vector<uint8_t>(value.begin(), value.end() - 1), 4));
    EXPECT_FALSE(ParseColumnLayout({}, 0)) << "not even the head";
    EXPECT_FALSE(ParseColumnLayout(EncodeColumnLayout(5, Columns(4)), 4)) << "sort beyond the list";
    EXPECT_FALSE(ParseColumnLayout(EncodeColumnLayout(INT32_MIN, Columns(4)), 4));
    EXPECT_FALSE(ParseColumnLayout(value, -1));
}

TEST(ColumnLayout, TrustsColumnsOnlyUpToTheFirstImpossiblePosition) {
    std::vector<ColumnState> c = Columns(5);
    c[2].m_nPosition = 7;  // beyond the list
    c[2].m_nWidth = 0x12340050;
    auto layout = ParseColumnLayout(EncodeColumnLayout(0, c), 5);
    ASSERT_TRUE(layout);
    ASSERT_EQ(layout->m_columns.size(), 3u) << "the bad column is applied, those after it are not";
    EXPECT_EQ(layout->m_columns[2].m_nWidth, 0x50) << "a width is 16 bits";
    EXPECT_TRUE(layout->m_order.empty());

    c = Columns(5);
    c[4].m_nPosition = c[0].m_nPosition;  // two columns in one place
    layout = ParseColumnLayout(EncodeColumnLayout(0, c), 5);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->m_columns.size(), 5u);
    EXPECT_TRUE(layout->m_order.empty());

    c = Columns(5);
    c[0].m_nPosition = -1;
    layout = ParseColumnLayout(EncodeColumnLayout(0, c), 5);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->m_columns.size(), 1u);
}

}  // namespace
}  // namespace bexora
