// The item list's desktop view on its core: columns and their stored
// layout, row colours, header sorting, deleting, double-click, the
// countdown in the status bar and the workers' hand-over.

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QElapsedTimer>
#include <thread>

#include "ListUiSupport.h"
#include "listview/ui/ListIcons.h"
#include "listview/ui/WarnDlg.h"

namespace bexora::test {
namespace {

static ::testing::Environment* const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

using ListViewTest = ListUiTest;

TEST_F(ListViewTest, ColumnsOnFirstRunAndTheirStoredLayout) {
    Add("100");
    Start();
    const auto& header = *m_view->header();
    ASSERT_EQ(m_view->ListBase().GetColumnCount(), kColumnCount);
    EXPECT_EQ(m_view->model()->headerData(2, Qt::Horizontal).toString(), "Current bid");
    EXPECT_EQ(m_view->model()->headerData(12, Qt::Horizontal).toString(), "Bid group");
    for (int col = 0; col < kColumnCount; ++col)
        EXPECT_EQ(m_view->IsColumnShown(col), col < 7 || col > 10) << col;
    EXPECT_EQ(header.sectionSize(1), 341);
    EXPECT_EQ(m_view->GetSortState(), 1);

    // Column 0 cannot be hidden; hiding and showing another keeps its width.
    EXPECT_FALSE(m_view->ListBase().GetColumn(0).m_bHideable);
    m_view->SetColumnWidth(3, 90);
    m_view->OnCommand(3);
    EXPECT_FALSE(m_view->IsColumnShown(3));
    m_view->OnCommand(3);
    EXPECT_TRUE(m_view->IsColumnShown(3));
    EXPECT_EQ(m_view->GetColumnWidth(3), 90);

    // What closing stores: 13 columns, sort key 1, per column shown/width/position.
    m_view->OnCommand(8);  // Seller shown
    m_view->OnCommand(5);  // Bid No. hidden
    m_view->OnDestroy();
    std::vector<uint8_t> stored;
    ASSERT_TRUE(GetProfileBinary("Window size", "state", stored));
    ASSERT_EQ(stored.size(), 8u + 9u * kColumnCount);
    EXPECT_EQ(stored[0], kColumnCount);
    EXPECT_EQ(stored[4], 1);
    auto shown = [&](int col) { return stored[8 + 9 * col]; };
    auto width = [&](int col) { return stored[9 + 9 * col] | (stored[10 + 9 * col] << 8); };
    EXPECT_EQ(shown(5), 0);
    EXPECT_EQ(shown(8), 1);
    EXPECT_EQ(shown(7), 0);
    EXPECT_EQ(width(3), 90);
    EXPECT_EQ(width(1), 341);

    // The next view of the list comes back the same way.
    m_view.reset();
    Start();
    EXPECT_FALSE(m_view->IsColumnShown(5));
    EXPECT_TRUE(m_view->IsColumnShown(8));
    EXPECT_FALSE(m_view->IsColumnShown(7));
    EXPECT_EQ(m_view->GetColumnWidth(3), 90);

    // In a large desktop font the list keeps that font (it was cut to 8
    // points) and its first-run columns show whole headings, item numbers,
    // prices and times; the stored widths above still win over these.
    m_view.reset();
    Settings().DeleteProfileKey("Window size", "state");
    const QFont kept = QApplication::font();
    QFont large = kept;
    large.setPointSizeF(14);
    QApplication::setFont(large);
    Start();
    EXPECT_EQ(m_view->font().pointSizeF(), 14);
    const QFontMetrics fm(m_view->font());
    for (auto [col, typical] : {std::pair{0, "110012345678"}, {2, "US $1,234.56"}, {3, "US $12.50"},
                                {6, "6d 23:59:00"}, {11, "US $1,234.56"}, {12, "Bid group"}}) {
        EXPECT_GE(m_view->GetColumnWidth(col), fm.horizontalAdvance(typical) + 8) << typical;
        const QString heading = m_view->model()->headerData(col, Qt::Horizontal).toString();
        EXPECT_GE(m_view->GetColumnWidth(col), fm.horizontalAdvance(heading) + 8) << col;
    }
    EXPECT_EQ(m_view->GetColumnWidth(1), 341);
    QApplication::setFont(kept);

    // On a screen scaled twice the row icons are drawn for it, not blown up.
    for (const QIcon& icon : ItemListImages())
        EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32)));
}

TEST_F(ListViewTest, LayoutOfAnotherColumnCountIsIgnored) {
    // What a list with 12 columns would have stored: every column shown.
    std::vector<uint8_t> value(8 + 9 * 12, 0);
    value[0] = 12;
    for (int col = 0; col < 12; ++col) {
        value[8 + 9 * col] = 1;
        value[9 + 9 * col] = 50;
        value[13 + 9 * col] = static_cast<uint8_t>(col);
    }
    ASSERT_TRUE(WriteProfileBinary("Window size", "state", value));
    Add("100");
    Start();
    // Nothing of it is taken: the columns stay as the list made them (the
    // first-run width, at least 86 and fitted to the font, not the stored 50).
    EXPECT_GE(m_view->GetColumnWidth(0), 86);
    EXPECT_EQ(m_view->GetColumnWidth(1), 341);
    EXPECT_EQ(m_view->ListBase().GetColumnPosition(11), 11);
    EXPECT_EQ(m_view->GetSortState(), 1);
}

TEST_F(ListViewTest, RowColoursFollowTheItemsState) {
    m_doc.BidGroups().JoinGroup("Full", 0);
    m_doc.BidGroups().JoinGroup("Open", 2);
    Add("1").m_bUpdateFailed = 1;
    Add("2").m_bNotified = 1;
    Add("3").m_bHighBidder = 1;
    CItem& full = Add("4");
    Schedule(full, "$12.00", Now() + 600, "Full");
    CItem& open = Add("5");
    Schedule(open, "$12.00", Now() + 600, "Open");
    Add("6").m_bChanged = 1;
    Add("7").m_bFresh = 1;
    Add("8");
    Start();
    const QImage image = GrabViewport(*m_view);
    auto at = [&](int row, int col = 1) { return CellGround(*m_view, image, row, col); };
    EXPECT_EQ(at(0), QColor(200, 200, 200));
    EXPECT_EQ(at(1), QColor(255, 30, 30));
    EXPECT_EQ(at(2), QColor(70, 230, 70));
    EXPECT_EQ(at(3), QColor(217, 201, 237));
    EXPECT_EQ(at(4), QColor(164, 125, 210));
    EXPECT_EQ(at(5), QColor(228, 247, 228));
    EXPECT_EQ(at(6), QColor(255, 249, 188));
    EXPECT_EQ(at(7), QColor(255, 255, 255));
    // Column 0 is the sort column: white is tinted to 247, 247, 247.
    EXPECT_EQ(at(7, 0), QColor(247, 247, 247));

    // The heading says what each colour means.
    const QString legend = m_view->header()->toolTip();
    for (int row = 0; row < 7; ++row) EXPECT_NE(legend.indexOf(at(row).name()), -1) << row;
}

TEST_F(ListViewTest, FailedBidTurnsThePendingRowRed) {
    CItem& item = Add("900", 600);
    Schedule(item, "$12.00", Now());
    Start();
    EXPECT_EQ(CellGround(*m_view, GrabViewport(*m_view), 0, 1), QColor(164, 125, 210));
    m_view->Tick();
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    auto r = std::move(m_jobs.bids.front());
    r->m_bSucceeded = false;
    r->m_strResult = "outbid";
    r->m_strResultUrl = "http://site/result";
    Core().OnBidPlaced(std::move(r));
    Settle();
    EXPECT_EQ(CellGround(*m_view, GrabViewport(*m_view), 0, 1), QColor(255, 30, 30));
    ASSERT_EQ(m_host.navigated.size(), 1u);
    EXPECT_EQ(m_host.navigated[0], "http://site/result");
    // The failure notice shows the notice window.
    ASSERT_NE(m_view->NoticeWindow(), nullptr);
    EXPECT_TRUE(m_view->NoticeWindow()->isVisible());
}

TEST_F(ListViewTest, HeaderClicksSortAndTurnTheOrderRound) {
    Add("1", 100, "US $12.50").m_strBidGroup = "Beta";
    Add("2", 100, "US $5.00");
    Add("3", 100, "C $7.00").m_strBidGroup = "Alpha";
    Add("4", 100, "US $");
    Add("5", 100, "US $100.00");
    for (const char* g : {"Alpha", "Beta"}) m_doc.BidGroups().JoinGroup(g, 1);
    Start();
    QHeaderView& header = *m_view->header();

    emit header.sectionClicked(kColPrice);
    EXPECT_EQ(m_view->GetSortState(), 3);
    EXPECT_EQ(Column(kColPrice),
              (std::vector<std::string>{"C $7.00", "US $", "US $5.00", "US $12.50", "US $100.00"}));
    emit header.sectionClicked(kColPrice);
    EXPECT_EQ(m_view->GetSortState(), -3);
    EXPECT_EQ(Column(kColPrice),
              (std::vector<std::string>{"US $100.00", "US $12.50", "US $5.00", "US $", "C $7.00"}));

    emit header.sectionClicked(kColBidGroup);
    EXPECT_EQ(Column(kColBidGroup), (std::vector<std::string>{"N/A", "N/A", "N/A", "Alpha", "Beta"}));
    emit header.sectionClicked(kColBidGroup);
    EXPECT_EQ(m_view->GetSortState(), -13);
    EXPECT_EQ(Column(kColBidGroup), (std::vector<std::string>{"Beta", "Alpha", "N/A", "N/A", "N/A"}));
    emit header.sectionClicked(kColBidGroup);
    EXPECT_EQ(m_view->GetSortState(), 13);
}

TEST_F(ListViewTest, DeleteKeyRemovesTheSelectionAndSelectsTheRowBefore) {
    for (const char* n : {"1", "2", "3", "4", "5"}) Add(n);
    Start();
    // As the user selects: the view's selection reaches the core.
    m_view->SetSelectedRows({3, 4}, 4);
    EXPECT_EQ(Core().GetSelectedRows(), (std::vector<int>{3, 4}));
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(m_view.get(), &del);
    EXPECT_EQ(Core().GetRowCount(), 3);
    EXPECT_EQ(m_doc.Items().size(), 3u);
    EXPECT_EQ(Core().GetSelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(m_view->GetSelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(m_view->model()->rowCount(), 3);

    // Select All from the menu selects every row in the view as well.
    m_view->OnItemCommand(listcmd::kSelectAll);
    EXPECT_EQ(m_view->GetSelectedRows(), (std::vector<int>{0, 1, 2}));
}

TEST_F(ListViewTest, DoubleClickOpensTheItemsPage) {
    WriteProfileString("Site", "SiteItemHost", "items.test:8080");
    Add("111");
    Add("222");
    Start();
    const QPoint at = m_view->GetCellRect(1, 1).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, m_view->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, m_view->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, m_view->viewport()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_view->viewport(), &press);
    QApplication::sendEvent(m_view->viewport(), &release);
    QApplication::sendEvent(m_view->viewport(), &dbl);
    ASSERT_EQ(m_host.navigated.size(), 1u);
    EXPECT_EQ(m_host.navigated[0], "http://items.test:8080/ws/eBayISAPI.dll?ViewItem&item=222");
}

TEST_F(ListViewTest, TickShowsTheCountdownOnlyInTheActiveFrame) {
    Add("1", 4000);
    Start();
    m_view->Tick();
    ASSERT_FALSE(m_host.status.empty());
    EXPECT_EQ(m_host.status.back().rfind("Update in: ", 0), 0u) << m_host.status.back();
    m_host.status.clear();
    m_host.active = false;
    m_clock.Advance(1);
    m_view->Tick();
    EXPECT_TRUE(m_host.status.empty());
}

TEST_F(ListViewTest, WorkerHandOverRunsThroughTheEventLoop) {
    Start();
    bool ran = false;
    bool sent = false;
    std::thread worker([&] { sent = m_view->Dispatcher().Send(&ran, [&] { ran = true; }); });
    QElapsedTimer timer;
    timer.start();
    while (!ran && timer.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(sent);
}

TEST_F(ListViewTest, TimerTicksOnItsOwn) {
    Add("1", 4000);
    m_view = std::make_unique<CebayListView>(m_doc, &m_host, nullptr, &m_jobs);
    m_view->OnInitialUpdate(true);
    EXPECT_TRUE(m_view->IsTicking());
    QElapsedTimer timer;
    timer.start();
    while (m_host.status.empty() && timer.elapsed() < 3000) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_FALSE(m_host.status.empty());
    m_view->OnDestroy();
    EXPECT_FALSE(m_view->IsTicking());
}

TEST_F(ListViewTest, ClosingSavesTheListInRowOrder) {
    Add("1");
    Add("2");
    Start();
    emit m_view->header()->sectionClicked(kColItem);  // descending
    m_view.reset();
    CebayDoc reread;
    ASSERT_TRUE(reread.OnOpenDocument(m_dir.File("list.bid")));
    ASSERT_EQ(reread.Items().size(), 2u);
    EXPECT_EQ(reread.Items()[0]->m_strItemNumber, "2");
    EXPECT_GT(GetProfileInt("Window size", "Height1", 0), 0);
}

}  // namespace
}  // namespace bexora::test
