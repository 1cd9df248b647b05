#include "listctrl/ListViewEx.h"

#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <algorithm>

#include "listctrl/ListModel.h"

namespace bexora {

CListViewEx::CListViewEx(QWidget* parent) : QTreeView(parent) {
    m_pListBase = new CListBase(this, this);
}

CListViewEx::~CListViewEx() = default;

std::vector<int> CListViewEx::GetSelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CListViewEx::SetSelectedRows(const std::vector<int>& rows, int focusRow) {
    CListModel* model = m_pListBase->Model();
    int last = model->columnCount() - 1;
    QItemSelection selection;
    for (int row : rows) {
        if (row < 0 || row >= model->rowCount() || last < 0) continue;
        selection.select(model->index(row, 0), model->index(row, last));
    }
    if (focusRow >= 0 && focusRow < model->rowCount()) {
        QModelIndex current = model->index(focusRow, 0);
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        scrollTo(current);
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

int CListViewEx::GetFocusRow() const {
    QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

int CListViewEx::RowAt(const QPoint& viewportPos) const {
    QModelIndex index = indexAt(viewportPos);
    return index.isValid() ? index.row() : -1;
}

QRect CListViewEx::GetCellRect(int row, int col) const {
    if (!IsColumnShown(col)) return {};
    return visualRect(m_pListBase->Model()->index(row, col));
}

bool CListViewEx::viewportEvent(QEvent* event) {
    if (m_pListBase && m_pListBase->HandleViewportEvent(event)) return true;
    return QTreeView::viewportEvent(event);
}

void CListViewEx::keyPressEvent(QKeyEvent* event) {
    if (m_pListBase) m_pListBase->HideTips();
    QTreeView::keyPressEvent(event);
}

void CListViewEx::focusOutEvent(QFocusEvent* event) {
    if (m_pListBase) m_pListBase->HideTips();
    QTreeView::focusOutEvent(event);
}

void CListViewEx::contextMenuEvent(QContextMenuEvent* event) { event->ignore(); }

}  // namespace bexora
