#pragma once
// The sortable list toolkit under the item list: a report list on a
// QTreeView with a logical column table (the user hides and shows columns
// from the header menu, a hidden column keeps its width), the whole column
// layout stored as one binary value in the settings store, a sort indicator
// with a tinted sort column, row backgrounds chosen by the owner, and row and
// label tips.
//
// The owner keeps the rows. It answers through IListOwner and tells the list
// when rows change (RowsChanged, RedrawRow, CellChanged). Columns are always
// logical indexes, whatever is hidden or moved.

#include <QColor>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QEvent;
class QMenu;
class QTreeView;

namespace bexora {

class CLabelTipCtrl;
class CListModel;
class CRowTipCtrl;

enum class ColumnAlign { Left, Right, Center };

// One logical column, in insertion order.
struct CColumnEntry {
    bool m_bManaged = true;    // takes part in hiding and in the header menu
    bool m_bHideable = false;  // the user may hide it
    bool m_bShown = true;      // currently in the control
    int m_nSavedWidth = 0;     // width to restore when shown again
    std::string m_strHeading;  // Windows-1252
    ColumnAlign m_nFormat = ColumnAlign::Left;
};

// What the list asks of its owner. Rows and columns are logical; texts are
// Windows-1252.
class IListOwner {
public:
    virtual ~IListOwner() = default;
    virtual int OnGetRowCount() const = 0;
    virtual std::string OnGetCellText(int row, int col) const = 0;
    // Index into the list's image list for column 0; -1 for none.
    virtual int OnGetRowImage(int /*row*/) const { return -1; }
    // Called before a row is drawn with the list's background in background;
    // the owner writes the row's colour or leaves it.
    virtual void OnGetRowColour(int /*row*/, QColor& /*background*/) const {}
    // The row tip for the cell under the mouse; an empty text shows no tip.
    virtual std::string OnGetTipText(int /*row*/, int /*col*/) const { return {}; }
    virtual std::string OnGetTipTitle(int /*row*/, int /*col*/) const { return {}; }
    // The user clicked a column heading; the sort indicator has already moved.
    virtual void OnColumnClick(int /*col*/) {}
};

class CListBase : public QObject {
    Q_OBJECT
public:
    // Section and entry the item list keeps its layout under.
    static constexpr const char* kStateSection = "Window size";
    static constexpr const char* kStateEntry = "state";

    CListBase(QTreeView* view, IListOwner* owner);
    ~CListBase() override;

    QTreeView* View() const { return m_pView; }
    CListModel* Model() const { return m_pModel; }

    // Columns. InsertColumn appends a managed, shown, not hideable column and
    // returns its index.
    int InsertColumn(const std::string& heading, ColumnAlign format, int width);
    int GetColumnCount() const { return static_cast<int>(m_columns.size()); }
    const CColumnEntry& GetColumn(int col) const { return m_columns.at(col); }
    // The control's width when shown, else the saved width.
    int GetColumnWidth(int col) const;
    void SetColumnWidth(int col, int width);
    // Place of the column in the display order, 0 to n-1.
    int GetColumnPosition(int col) const;
    int GetHideableCount() const;

    void SetColumnHideable(int col, bool hideable);
    // Ignored for a column that is not managed, not hideable or already so.
    void ShowColumn(int col, bool show);
    bool IsColumnShown(int col) const;

    // The column layout value: n, sort state, then per column shown flag (1
    // byte), width and position (4 bytes each), little-endian.
    std::vector<uint8_t> GetLayoutValue() const;
    // False, changing nothing, when the size or count does not fit.
    bool ApplyLayoutValue(const std::vector<uint8_t>& value);
    // First run: EndTime, Seller, Feedback and Percent start hidden.
    void ApplyDefaultLayout();
    bool SaveState(const std::string& section, const std::string& entry) const;
    // True when a stored layout was applied; without one the default layout
    // is applied and the answer is false.
    bool RestoreState(const std::string& section, const std::string& entry);

    // Sort state: 0 none, +k ascending on column k-1, -k descending.
    void SetSortState(int key);
    int GetSortState() const { return m_nSortState; }
    // The state after a click on col: that column ascending, or the other
    // direction when it is already the sort column.
    static int NextSortState(int current, int col);
    void ShowSortArrows(bool on = true);
    void SetSortColumnTint(bool on);
    bool IsSortColumnTint() const { return m_bSortTint; }
    // The sort column's colour for a cell whose row would be bk.
    static QColor SortTint(const QColor& bk);

    // What a cell is filled with: the owner's row colour (tinted in the sort
    // column), or the highlight colour when the row is selected.
    QColor CellBackground(int row, int col, bool selected) const;

    // The header menu: one checkable entry per managed column, its data the
    // column index; null when no column is hideable. The caller owns it.
    std::unique_ptr<QMenu> BuildHeaderMenu(QWidget* parent) const;
    // A command with id col toggles column col; false for any other id.
    bool OnCommand(int id);

    void SetImageList(const QList<QIcon>& images);
    // The image, or a blank one of the same size for an index not in the list.
    QIcon GetImage(int index) const;
    bool HasImages() const { return !m_images.isEmpty(); }
    void SelectAll();

    // The owner's rows changed: all of them, one, or one cell.
    void RowsChanged();
    void RedrawRow(int row);
    void CellChanged(int row, int col);

    // Tips, driven by the view's viewport events.
    bool HandleViewportEvent(QEvent* event);
    // Shows the row tip for the row at viewportPos; false when the owner has
    // no text for it.
    bool ShowRowTip(const QPoint& viewportPos, const QPoint& globalPos);
    // Shows the label tip when the cell at viewportPos is cut off, else hides it.
    void UpdateLabelTip(const QPoint& viewportPos);
    void HideTips();
    CRowTipCtrl& RowTip() const { return *m_pRowTip; }
    CLabelTipCtrl& LabelTip() const { return *m_pLabelTip; }
    // Whether the text of the cell does not fit in it.
    bool IsCellCutOff(int row, int col) const;

    IListOwner* Owner() const { return m_pOwner; }

private:
    void OnHeaderMenu(const QPoint& pos);
    void OnSectionClicked(int col);
    void ToggleColumn(int col, bool show);
    void UpdateSortIndicator();
    QRect CellTextRect(int row, int col) const;

    QTreeView* m_pView;
    IListOwner* m_pOwner;
    CListModel* m_pModel;
    CRowTipCtrl* m_pRowTip;
    CLabelTipCtrl* m_pLabelTip;
    std::vector<CColumnEntry> m_columns;
    QList<QIcon> m_images;
    QIcon m_blank;
    int m_nSortState = 0;
    bool m_bSortArrows = false;
    bool m_bSortTint = false;
};

}  // namespace bexora
