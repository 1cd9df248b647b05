// Row grounds, selection, the sort-column tint, the tips and a sample
// picture of a filled list.

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>

#include "ListTestSupport.h"
#include "base/ui/AnsiText.h"
#include "listctrl/LabelTipCtrl.h"
#include "listctrl/RowTipCtrl.h"

namespace bexora::test {

namespace {

class ListDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        QPalette pal = m_list.palette();
        pal.setColor(QPalette::Base, Qt::white);
        m_list.setPalette(pal);
        m_list.InsertColumn("Item #", ColumnAlign::Left, 100);
        m_list.InsertColumn("Note", ColumnAlign::Left, 200);
        m_list.InsertColumn("Description", ColumnAlign::Left, 60);
        for (int row = 0; row < 4; ++row)
            m_list.m_rows.push_back({std::to_string(1000 + row), "", "A description far too long"});
        m_list.m_rows[3][2] = "Fits";
        m_list.RowsChanged();
    }

    void SendMove(const QPoint& at) {
        QMouseEvent move(QEvent::MouseMove, at, m_list.viewport()->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(m_list.viewport(), &move);
    }

    CTestList m_list;
};

}  // namespace

TEST(SortTint, LightensDarkGroundsAndDarkensVeryLightOnes) {
    EXPECT_EQ(CListBase::SortTint(QColor(255, 255, 255)), QColor(247, 247, 247));
    EXPECT_EQ(CListBase::SortTint(QColor(250, 245, 241)), QColor(242, 237, 233));
    // One component at 240 is enough to lighten instead.
    EXPECT_EQ(CListBase::SortTint(QColor(255, 255, 240)), QColor(255, 255, 255));
    EXPECT_EQ(CListBase::SortTint(QColor(100, 150, 232)), QColor(110, 165, 255));
    EXPECT_EQ(CListBase::SortTint(QColor(164, 125, 210)), QColor(180, 137, 231));
}

TEST_F(ListDrawing, OwnerColoursSelectionAndSortTintAreWhatIsPainted) {
    m_list.m_colours[2] = QColor(70, 230, 70);
    m_list.m_colours[3] = QColor(255, 30, 30);
    ShowAndSettle(m_list, 500, 200);
    m_list.SetSelectedRows({3});

    QImage plain = GrabViewport(m_list);
    QColor highlight = m_list.palette().color(QPalette::Active, QPalette::Highlight);
    EXPECT_EQ(CellGround(m_list, plain, 0, 1), QColor(Qt::white));
    EXPECT_EQ(CellGround(m_list, plain, 2, 1), QColor(70, 230, 70));
    EXPECT_EQ(CellGround(m_list, plain, 3, 1), highlight);  // red, but selected
    EXPECT_EQ(CellGround(m_list, plain, 3, 0), highlight);
    EXPECT_EQ(m_list.GetSelectedRows(), std::vector<int>{3});

    // Tint on, sorted by the Note column: only that column changes.
    m_list.SetSortColumnTint(true);
    m_list.SetSortState(-2);
    QImage tinted = GrabViewport(m_list);
    EXPECT_EQ(CellGround(m_list, tinted, 0, 1), QColor(247, 247, 247));
    EXPECT_EQ(CellGround(m_list, tinted, 0, 0), QColor(Qt::white));
    EXPECT_EQ(CellGround(m_list, tinted, 2, 1), CListBase::SortTint(QColor(70, 230, 70)));
    EXPECT_EQ(CellGround(m_list, tinted, 3, 1), highlight);

    m_list.SetSortColumnTint(false);
    EXPECT_EQ(CellGround(m_list, GrabViewport(m_list), 0, 1), QColor(Qt::white));
}

TEST_F(ListDrawing, RowTipComesFromTheOwnersHooks) {
    std::string note = "Ask the seller about shipping to Canada before the auction ends, "
                       "and check the \x80 price.";
    m_list.m_tips[1] = {"Item: 1001", note};
    ShowAndSettle(m_list, 500, 200);
    CRowTipCtrl& tip = m_list.ListBase().RowTip();

    QPoint at = m_list.GetCellRect(1, 0).center();
    QHelpEvent help(QEvent::ToolTip, at, m_list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(m_list.viewport(), &help);
    ASSERT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.Title(), "Item: 1001");
    EXPECT_EQ(tip.Text(), FromAnsi(note));
    EXPECT_TRUE(tip.Text().contains(QChar(0x20AC)));
    for (QLabel* label : tip.findChildren<QLabel*>())
        if (label->text() == tip.Text()) {
            EXPECT_LE(label->width(), CRowTipCtrl::kMaxTextWidth);
            EXPECT_GT(label->height(), label->fontMetrics().height());  // it wrapped
        }
    QImage picture = tip.grab().toImage();
    EXPECT_EQ(picture.pixelColor(picture.width() - 3, picture.height() - 3), QColor(228, 247, 228));

    // Moving to another row hides it; a row without a note shows nothing.
    SendMove(m_list.GetCellRect(2, 0).center());
    EXPECT_FALSE(tip.isVisible());
    at = m_list.GetCellRect(2, 0).center();
    QHelpEvent none(QEvent::ToolTip, at, m_list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(m_list.viewport(), &none);
    EXPECT_FALSE(tip.isVisible());
}

TEST_F(ListDrawing, LabelTipShowsTheWholeTextOfACutOffCellOnly) {
    ShowAndSettle(m_list, 500, 200);
    CLabelTipCtrl& tip = m_list.ListBase().LabelTip();
    EXPECT_TRUE(m_list.ListBase().IsCellCutOff(0, 2));
    EXPECT_FALSE(m_list.ListBase().IsCellCutOff(3, 2));
    EXPECT_FALSE(m_list.ListBase().IsCellCutOff(0, 0));

    SendMove(m_list.GetCellRect(0, 2).center());
    ASSERT_TRUE(tip.isVisible());
    EXPECT_EQ(tip.text(), "A description far too long");
    EXPECT_GT(tip.width(), m_list.GetCellRect(0, 2).width());
    EXPECT_EQ(tip.font(), m_list.font());

    SendMove(m_list.GetCellRect(3, 2).center());
    EXPECT_FALSE(tip.isVisible());
    SendMove(m_list.GetCellRect(1, 2).center());
    EXPECT_TRUE(tip.isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_list.viewport(), &leave);
    EXPECT_FALSE(tip.isVisible());

    // Widened, the same cell needs no tip.
    m_list.SetColumnWidth(2, 300);
    SendMove(m_list.GetCellRect(0, 2).center());
    EXPECT_FALSE(tip.isVisible());
}

TEST_F(ListDrawing, ContextMenuOnTheBodyGoesToTheParent) {
    struct Parent : QWidget {
        int m_nMenus = 0;
        void contextMenuEvent(QContextMenuEvent* event) override {
            ++m_nMenus;
            event->accept();
        }
    } parent;
    auto* list = new CTestList;
    list->setParent(&parent);
    list->InsertColumn("Item #", ColumnAlign::Left, 100);
    ShowAndSettle(parent, 300, 200);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), list->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(list->viewport(), &event);
    EXPECT_EQ(parent.m_nMenus, 1);
}

TEST(AnsiText, WindowsCodePageBothWays) {
    std::string bytes = "Caf\xE9 \x80 5 \x93ok\x94 \x81";
    QString text = FromAnsi(bytes);
    EXPECT_EQ(text, QString::fromUtf8("Caf\u00e9 \u20ac 5 \u201cok\u201d \u0081"));
    EXPECT_EQ(ToAnsi(text), bytes);
    EXPECT_EQ(ToAnsi(QString::fromUtf8("\u65e5 \U0001F600")), "? ?");
}

// Paints a dozen item rows in the states the item list shows and saves the
// picture (list, a row tip and a label tip) for looking at:
// $BEXORA_LISTCTRL_PNG, else /tmp/bexora-listctrl-sample.png.
TEST(ListSample, DozenRowsPicture) {
    CTestList list;
    list.AddItemColumns();
    list.ListBase().ApplyDefaultLayout();
    struct Row {
        std::vector<std::string> cells;
        QColor colour;
        int image;
    };
    auto cells = [](std::string num, std::string title, std::string price, std::string ship,
                    std::string qty, std::string bids, std::string left, std::string my,
                    std::string group) {
        return std::vector<std::string>{num, title, price, ship, qty, bids, left, "N/A",
                                        "seller", "120", "99.1%", my, group};
    };
    const std::vector<Row> rows = {
        {cells("110412345671", "Leica M3 body, serviced", "US $612.00", "$25.00", "1", "14",
               "0d 0h 3m 12s", "US $700.00", "N/A"), QColor(164, 125, 210), 0},
        {cells("110412345672", "Leica Summicron 50mm f/2 rigid, early version with caps", "US $455.00", "$12.00", "1",
               "9", "0d 2h 10m 5s", "US $500.00", "Lenses"), QColor(217, 201, 237), 2},
        {cells("110412345673", "Nikon F2 Photomic", "US $180.50", "$18.00", "1", "6",
               "1d 4h 0m 40s", "N/A", "N/A"), QColor(255, 255, 255), 0},
        {cells("110412345674", "Rolleiflex 2.8F Planar \x96 boxed", "US $1,210.00", "$30.00",
               "1", "22", "Ended", "US $1,100.00", "N/A"), QColor(255, 30, 30), 0},
        {cells("110412345675", "Hasselblad 500C/M with A12 back", "US $899.00", "$35.00", "1",
               "17", "0d 0h 0m 50s", "US $950.00", "N/A"), QColor(70, 230, 70), 0},
        {cells("110412345676", "Canon 50mm f/1.4 LTM", "GBP 95.00", "\xA3" "8.00", "1", "3",
               "3d 1h 2m 3s", "N/A", "N/A"), QColor(228, 247, 228), 0},
        {cells("110412345677", "Yashica Mat 124G", "US $140.00", "$15.00", "1", "Buy It Now",
               "6d 22h 1m 0s", "N/A", "N/A"), QColor(255, 249, 188), 1},
        {cells("110412345678", "Kodak Retina IIa", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A",
               "N/A"), QColor(200, 200, 200), 0},
        {cells("110412345679", "Minolta CLE with 40mm Rokkor", "US $520.00", "$20.00", "1", "11",
               "0d 5h 44m 2s", "US $560.00", "Lenses"), QColor(217, 201, 237), 0},
        {cells("110412345680", "Zeiss Ikon Contessa 35", "EUR 75,00", "EUR 9,00", "1", "2",
               "2d 0h 0m 9s", "N/A", "N/A"), QColor(255, 255, 255), 2},
        {cells("110412345681", "Olympus OM-1n black", "US $210.00", "$16.00", "2", "8",
               "0d 9h 12m 30s", "N/A", "N/A"), QColor(255, 255, 255), 0},
        {cells("110412345682", "Voigtlander Bessa R2A", "US $430.00", "$22.00", "1", "5",
               "4d 3h 33m 3s", "N/A", "N/A"), QColor(255, 249, 188), 0}};
    for (size_t i = 0; i < rows.size(); ++i) {
        list.m_rows.push_back(rows[i].cells);
        list.m_colours[int(i)] = rows[i].colour;
        if (i != 2) list.m_images[int(i)] = rows[i].image;  // row 2 has no image
    }
    list.m_tips[1] = {"Time left: 0d 2h 10m 5s", "Check the aperture blades for oil before bidding."};

    // Plain icons: a page, a page with arrows (refreshing), a page with a note.
    QList<QIcon> icons;
    for (int kind = 0; kind < 3; ++kind) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setPen(QColor(90, 90, 90));
        p.setBrush(Qt::white);
        p.drawRect(3, 1, 10, 13);
        p.setPen(kind == 1 ? QColor(30, 120, 200) : QColor(150, 150, 150));
        for (int y = 4; y <= 11; y += 3) p.drawLine(5, y, 11, y);
        if (kind == 2) p.fillRect(8, 8, 6, 6, QColor(240, 200, 40));
        icons.push_back(QIcon(pixmap));
    }
    icons.push_back(icons[2]);
    icons.push_back(icons[2]);
    list.SetImageList(icons);
    list.RowsChanged();
    list.ShowSortArrows(true);
    list.SetSortColumnTint(true);
    list.SetSortState(3);
    ShowAndSettle(list, 1000, 330);
    list.SetSelectedRows({10}, 10);
    list.SetColumnWidth(1, 170);

    QImage image = list.grab().toImage();
    ASSERT_FALSE(image.isNull());
    // Every state colour made it to the screen.
    QImage body = GrabViewport(list);
    for (size_t i = 0; i < rows.size(); ++i) {
        QColor expect = i == 10 ? list.palette().color(QPalette::Active, QPalette::Highlight)
                                : rows[i].colour;
        EXPECT_EQ(CellGround(list, body, int(i), 1), expect) << i;
    }

    // The two tips, drawn into the picture below the list.
    QPoint at = list.GetCellRect(1, 0).center();
    QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &help);
    QImage rowTip = list.ListBase().RowTip().grab().toImage();
    QPoint cut = list.GetCellRect(1, 1).center();
    QMouseEvent move(QEvent::MouseMove, cut, list.viewport()->mapToGlobal(cut), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &move);
    ASSERT_TRUE(list.ListBase().LabelTip().isVisible());
    QImage labelTip = list.ListBase().LabelTip().grab().toImage();

    QImage sheet(image.width(), image.height() + rowTip.height() + 20, QImage::Format_ARGB32);
    sheet.fill(QColor(240, 240, 240));
    QPainter p(&sheet);
    p.drawImage(0, 0, image);
    p.drawImage(10, image.height() + 10, rowTip);
    p.drawImage(rowTip.width() + 40, image.height() + 10, labelTip);
    p.end();
    const char* path = std::getenv("BEXORA_LISTCTRL_PNG");
    EXPECT_TRUE(sheet.save(path && *path ? path : "/tmp/bexora-listctrl-sample.png"));
}

}  // namespace bexora::test
