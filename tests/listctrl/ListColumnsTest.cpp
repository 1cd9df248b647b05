// The column table, the header menu, the stored layout and the sort state.

#include <QMenu>
#include <QMouseEvent>

#include "ListTestSupport.h"
#include "base/Settings.h"
#include "support/TempDir.h"

namespace bexora::test {

static ::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

namespace {

class ListColumns : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsPath(m_dir.File("Bexora.ini"));
        m_list.AddItemColumns();
    }
    void TearDown() override { SetSettingsPath(""); }

    std::vector<bool> Shown() const {
        std::vector<bool> shown;
        for (int col = 0; col < 13; ++col) shown.push_back(m_list.IsColumnShown(col));
        return shown;
    }

    TempDir m_dir;
    CTestList m_list;
};

void Put32(std::vector<uint8_t>& v, size_t at, int32_t value) {
    for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(uint32_t(value) >> (8 * i));
}

}  // namespace

TEST_F(ListColumns, FirstRunHidesEndTimeToPercentAndTheMenuSaysSo) {
    EXPECT_FALSE(m_list.RestoreState("Window size", "state"));
    for (int col = 0; col < 13; ++col) {
        bool hidden = col >= 7 && col <= 10;
        EXPECT_EQ(m_list.IsColumnShown(col), !hidden) << col;
        EXPECT_EQ(m_list.header()->isSectionHidden(col), hidden) << col;
    }
    EXPECT_EQ(m_list.GetColumnWidth(8), 113);  // kept for when it is shown

    auto menu = m_list.ListBase().BuildHeaderMenu(&m_list);
    ASSERT_TRUE(menu);
    QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 13);
    for (int col = 0; col < 13; ++col) {
        QAction* action = actions[col];
        EXPECT_EQ(action->data().toInt(), col);
        EXPECT_EQ(action->text(), ItemColumns()[col].heading);
        EXPECT_TRUE(action->isCheckable());
        EXPECT_EQ(action->isChecked(), !(col >= 7 && col <= 10)) << col;
        EXPECT_EQ(action->isEnabled(), col != 0) << col;
    }
}

TEST_F(ListColumns, HeaderMenuNeedsAHideableColumnAndEscapesAmpersands) {
    CTestList plain;
    plain.InsertColumn("Bids & offers", ColumnAlign::Left, 80);
    EXPECT_FALSE(plain.ListBase().BuildHeaderMenu(&plain));
    plain.SetColumnHideable(0, true);
    auto menu = plain.ListBase().BuildHeaderMenu(&plain);
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->actions().at(0)->text(), "Bids && offers");
}

TEST_F(ListColumns, HideThenShowRestoresTheWidth) {
    m_list.SetColumnWidth(3, 90);
    EXPECT_TRUE(m_list.OnCommand(3));  // the header menu's command id is the column
    EXPECT_FALSE(m_list.IsColumnShown(3));
    EXPECT_TRUE(m_list.header()->isSectionHidden(3));
    EXPECT_EQ(m_list.GetColumnWidth(3), 90);

    EXPECT_TRUE(m_list.OnCommand(3));
    EXPECT_TRUE(m_list.IsColumnShown(3));
    EXPECT_EQ(m_list.header()->sectionSize(3), 90);

    // Column 0 cannot be hidden; requests for a column in its state or
    // outside the table change nothing.
    m_list.OnCommand(0);
    EXPECT_TRUE(m_list.IsColumnShown(0));
    m_list.ShowColumn(3, true);
    EXPECT_EQ(m_list.header()->sectionSize(3), 90);
    EXPECT_FALSE(m_list.OnCommand(13));
    EXPECT_FALSE(m_list.OnCommand(-1));
}

TEST_F(ListColumns, LayoutValueBytesAndReload) {
    CTestList small;
    small.InsertColumn("A", ColumnAlign::Left, 50);
    small.InsertColumn("B", ColumnAlign::Left, 60);
    small.InsertColumn("C", ColumnAlign::Right, 70);
    small.SetColumnHideable(1, true);
    small.ShowColumn(1, false);
    small.SetSortState(-3);
    small.header()->moveSection(2, 0);  // display order C, A, B

    const std::vector<uint8_t> expected = {
        3, 0, 0, 0,  0xFD, 0xFF, 0xFF, 0xFF,  // n, sort state -3
        1, 50, 0, 0, 0, 1, 0, 0, 0,           // A: shown, 50 wide, second
        0, 60, 0, 0, 0, 2, 0, 0, 0,           // B: hidden, saved width, third
        1, 70, 0, 0, 0, 0, 0, 0, 0};          // C: shown, 70 wide, first
    EXPECT_EQ(small.ListBase().GetLayoutValue(), expected);
    ASSERT_TRUE(small.SaveState("Window size", "state"));

    CTestList again;
    again.InsertColumn("A", ColumnAlign::Left, 40);
    again.InsertColumn("B", ColumnAlign::Left, 40);
    again.InsertColumn("C", ColumnAlign::Right, 40);
    again.SetColumnHideable(1, true);
    EXPECT_TRUE(again.RestoreState("Window size", "state"));
    EXPECT_EQ(again.GetSortState(), -3);
    EXPECT_FALSE(again.IsColumnShown(1));
    EXPECT_EQ(again.GetColumnWidth(0), 50);
    EXPECT_EQ(again.GetColumnWidth(1), 60);
    EXPECT_EQ(again.GetColumnWidth(2), 70);
    EXPECT_EQ(again.header()->logicalIndex(0), 2);
    EXPECT_EQ(again.header()->logicalIndex(1), 0);
    EXPECT_EQ(again.ListBase().GetLayoutValue(), expected);
    again.ShowColumn(1, true);
    EXPECT_EQ(again.header()->sectionSize(1), 60);
}

TEST_F(ListColumns, ItemListLayoutSurvivesSaveAndRestore) {
    m_list.RestoreState("Window size", "state");  // first run
    m_list.ShowColumn(8, true);
    m_list.ShowColumn(1, false);
    m_list.SetColumnWidth(8, 140);
    m_list.SetSortState(13);
    ASSERT_TRUE(m_list.SaveState("Window size", "state"));

    CTestList next;
    next.AddItemColumns();
    EXPECT_TRUE(next.RestoreState("Window size", "state"));
    EXPECT_EQ(next.ListBase().GetLayoutValue(), m_list.ListBase().GetLayoutValue());
    EXPECT_TRUE(next.IsColumnShown(8));
    EXPECT_FALSE(next.IsColumnShown(1));
    EXPECT_EQ(next.GetColumnWidth(1), 341);
}

TEST_F(ListColumns, StoredLayoutsThatDoNotFitAreIgnored) {
    std::vector<bool> before = Shown();
    std::vector<uint8_t> original = m_list.ListBase().GetLayoutValue();

    // Written by a version with 12 columns: right size for 12, count 12.
    std::vector<uint8_t> twelve(8 + 9 * 12, 0);
    Put32(twelve, 0, 12);
    WriteProfileBinary("Window size", "state", twelve);
    EXPECT_FALSE(m_list.RestoreState("Window size", "state"));

    // The count says 13 but the size does not, and the other way round.
    std::vector<uint8_t> shortValue = original;
    shortValue.pop_back();
    EXPECT_FALSE(m_list.ListBase().ApplyLayoutValue(shortValue));
    std::vector<uint8_t> wrongCount = original;
    Put32(wrongCount, 0, 12);
    EXPECT_FALSE(m_list.ListBase().ApplyLayoutValue(wrongCount));

    // A sort state beyond the last column stops before anything changes.
    std::vector<uint8_t> badSort = original;
    Put32(badSort, 4, -14);
    badSort[8 + 9 * 3] = 0;  // would hide Shipping
    EXPECT_FALSE(m_list.ListBase().ApplyLayoutValue(badSort));

    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(m_list.ListBase().GetLayoutValue(), original);
    EXPECT_EQ(m_list.GetSortState(), 0);
}

TEST_F(ListColumns, DamagedPositionsNeverScrambleTheOrder) {
    std::vector<uint8_t> value = m_list.ListBase().GetLayoutValue();
    Put32(value, 9 + 9 * 2, 0x00070050);  // only the low 16 bits are a width
    Put32(value, 13 + 9 * 0, 5);          // column 0 claims place 5 ...
    Put32(value, 13 + 9 * 5, 5);          // ... and so does column 5
    EXPECT_TRUE(m_list.ListBase().ApplyLayoutValue(value));
    EXPECT_EQ(m_list.GetColumnWidth(2), 0x50);
    for (int pos = 0; pos < 13; ++pos) EXPECT_EQ(m_list.header()->logicalIndex(pos), pos);

    std::vector<uint8_t> beyond = m_list.ListBase().GetLayoutValue();
    Put32(beyond, 13 + 9 * 4, 13);
    Put32(beyond, 13 + 9 * 0, 1);
    Put32(beyond, 13 + 9 * 1, 0);
    EXPECT_TRUE(m_list.ListBase().ApplyLayoutValue(beyond));
    EXPECT_EQ(m_list.header()->logicalIndex(0), 0);
}

TEST_F(ListColumns, HeaderClicksCycleTheSortIndicatorAndTellTheOwner) {
    m_list.RowsChanged();
    m_list.ShowSortArrows(true);
    m_list.SetSortState(1);
    ShowAndSettle(m_list);
    QHeaderView* header = m_list.header();
    auto click = [&](int col) {
        QPoint at(header->sectionViewportPosition(col) + header->sectionSize(col) / 2,
                  header->height() / 2);
        for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, at, header->viewport()->mapToGlobal(at), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(header->viewport(), &event);
        }
    };
    click(2);
    EXPECT_EQ(m_list.GetSortState(), 3);
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(2);
    EXPECT_EQ(m_list.GetSortState(), -3);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    click(2);
    EXPECT_EQ(m_list.GetSortState(), 3);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(12);
    EXPECT_EQ(m_list.GetSortState(), 13);
    EXPECT_EQ(header->sortIndicatorSection(), 12);
    EXPECT_EQ(m_list.m_clicks, (std::vector<int>{2, 2, 2, 12}));

    m_list.SetSortState(14);  // no such column: unchanged
    EXPECT_EQ(m_list.GetSortState(), 13);
    m_list.SetSortState(0);
    EXPECT_EQ(header->sortIndicatorSection(), -1);
}

}  // namespace bexora::test
