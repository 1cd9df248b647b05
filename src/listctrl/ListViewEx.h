#pragma once
// A report list view built on the toolkit: a QTreeView that embeds one
// CListBase, passes its events to it and answers the toolkit's questions
// through virtual hooks a derived view (the item list) overrides.

#include <QTreeView>
#include <string>
#include <vector>

#include "listctrl/ListBase.h"

namespace bexora {

class CListViewEx : public QTreeView, public IListOwner {
    Q_OBJECT
public:
    explicit CListViewEx(QWidget* parent = nullptr);
    ~CListViewEx() override;

    CListBase& ListBase() { return *m_pListBase; }
    const CListBase& ListBase() const { return *m_pListBase; }

    // The toolkit's operations, for the owner's convenience.
    int InsertColumn(const std::string& heading, ColumnAlign format, int width) {
        return m_pListBase->InsertColumn(heading, format, width);
    }
    void SetColumnHideable(int col, bool hideable) { m_pListBase->SetColumnHideable(col, hideable); }
    void ShowColumn(int col, bool show) { m_pListBase->ShowColumn(col, show); }
    bool IsColumnShown(int col) const { return m_pListBase->IsColumnShown(col); }
    int GetColumnWidth(int col) const { return m_pListBase->GetColumnWidth(col); }
    void SetColumnWidth(int col, int width) { m_pListBase->SetColumnWidth(col, width); }
    bool SaveState(const std::string& section, const std::string& entry) const {
        return m_pListBase->SaveState(section, entry);
    }
    bool RestoreState(const std::string& section, const std::string& entry) {
        return m_pListBase->RestoreState(section, entry);
    }
    void SetSortState(int key) { m_pListBase->SetSortState(key); }
    int GetSortState() const { return m_pListBase->GetSortState(); }
    void ShowSortArrows(bool on = true) { m_pListBase->ShowSortArrows(on); }
    void SetSortColumnTint(bool on) { m_pListBase->SetSortColumnTint(on); }
    void SetImageList(const QList<QIcon>& images) { m_pListBase->SetImageList(images); }
    void SelectAll() { m_pListBase->SelectAll(); }
    // Toggles column id; false when id names no managed column.
    bool OnCommand(int id) { return m_pListBase->OnCommand(id); }

    // The owner's rows changed.
    void RowsChanged() { m_pListBase->RowsChanged(); }
    void RedrawRow(int row) { m_pListBase->RedrawRow(row); }
    void CellChanged(int row, int col) { m_pListBase->CellChanged(row, col); }

    // Selection and focus by row number.
    std::vector<int> GetSelectedRows() const;  // ascending
    // Selects exactly rows; focusRow (if >= 0) becomes the current row and is
    // scrolled into view.
    void SetSelectedRows(const std::vector<int>& rows, int focusRow = -1);
    int GetFocusRow() const;
    // The row at a point of the viewport, -1 for none.
    int RowAt(const QPoint& viewportPos) const;
    // A cell's rectangle in viewport coordinates (empty when hidden).
    QRect GetCellRect(int row, int col) const;

    // IListOwner: an empty list by default.
    int OnGetRowCount() const override { return 0; }
    std::string OnGetCellText(int, int) const override { return {}; }

protected:
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The body's context menu belongs to the parent window.
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Null while the toolkit is being set up: it sends the view events then.
    CListBase* m_pListBase = nullptr;
};

}  // namespace bexora
