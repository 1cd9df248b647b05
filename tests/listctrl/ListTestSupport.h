#pragma once
// A QApplication for the whole binary (offscreen unless told otherwise) and
// a small list owner whose rows the tests set directly.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "listctrl/ListViewEx.h"

namespace bexora::test {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "listctrl_tests";
        static char* argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

// The item list's columns: heading, alignment, width.
struct ColumnSpec {
    const char* heading;
    ColumnAlign align;
    int width;
};
inline const std::vector<ColumnSpec>& ItemColumns() {
    static const std::vector<ColumnSpec> columns = {
        {"Item #", ColumnAlign::Left, 86},     {"Description", ColumnAlign::Left, 341},
        {"Current bid", ColumnAlign::Left, 71}, {"Shipping", ColumnAlign::Left, 57},
        {"Qty", ColumnAlign::Right, 37},       {"Bid No.", ColumnAlign::Right, 54},
        {"Time left", ColumnAlign::Right, 71}, {"EndTime", ColumnAlign::Right, 103},
        {"Seller", ColumnAlign::Left, 113},    {"Feedback", ColumnAlign::Right, 62},
        {"Percent", ColumnAlign::Right, 55},   {"My bid", ColumnAlign::Left, 49},
        {"Bid group", ColumnAlign::Left, 62}};
    return columns;
}

class CTestList : public CListViewEx {
public:
    std::vector<std::vector<std::string>> m_rows;
    std::map<int, QColor> m_colours;
    std::map<int, int> m_images;
    std::map<int, std::pair<std::string, std::string>> m_tips;  // row: title, text
    std::vector<int> m_clicks;

    // The item list's 13 columns, 1 to 12 hideable.
    void AddItemColumns() {
        for (const auto& column : ItemColumns()) InsertColumn(column.heading, column.align, column.width);
        for (int col = 1; col <= 12; ++col) SetColumnHideable(col, true);
    }

    int OnGetRowCount() const override { return static_cast<int>(m_rows.size()); }
    std::string OnGetCellText(int row, int col) const override {
        const auto& cells = m_rows.at(row);
        return col < static_cast<int>(cells.size()) ? cells[col] : std::string();
    }
    int OnGetRowImage(int row) const override {
        auto it = m_images.find(row);
        return it == m_images.end() ? -1 : it->second;
    }
    void OnGetRowColour(int row, QColor& background) const override {
        auto it = m_colours.find(row);
        if (it != m_colours.end()) background = it->second;
    }
    std::string OnGetTipText(int row, int) const override {
        auto it = m_tips.find(row);
        return it == m_tips.end() ? std::string() : it->second.second;
    }
    std::string OnGetTipTitle(int row, int) const override {
        auto it = m_tips.find(row);
        return it == m_tips.end() ? std::string() : it->second.first;
    }
    void OnColumnClick(int col) override { m_clicks.push_back(col); }
};

// Shows w and lets it lay itself out and paint.
inline void ShowAndSettle(QWidget& w, int width = 1000, int height = 360) {
    w.resize(width, height);
    w.show();
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

inline QImage GrabViewport(CListViewEx& list) { return list.viewport()->grab().toImage(); }

// A pixel of the cell's ground: near its right edge, clear of text and grid.
inline QColor CellGround(CListViewEx& list, const QImage& image, int row, int col) {
    QRect cell = list.GetCellRect(row, col);
    qreal dpr = image.devicePixelRatio();
    QPoint at(cell.right() - 3, cell.center().y());
    return image.pixelColor(QPoint(int(at.x() * dpr), int(at.y() * dpr)));
}

}  // namespace bexora::test
