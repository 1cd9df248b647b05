#include "listctrl/ListModel.h"

#include "base/ui/AnsiText.h"
#include "listctrl/ListBase.h"

namespace bexora {

namespace {
Qt::Alignment AlignmentOf(ColumnAlign format) {
    switch (format) {
    case ColumnAlign::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlign::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}
}  // namespace

CListModel::CListModel(CListBase* list) : QAbstractTableModel(list), m_pList(list) {}

int CListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_nRows;
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_pList->GetColumnCount();
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    int row = index.row(), col = index.column();
    IListOwner* owner = m_pList->Owner();
    // The owner may have fewer rows than we last heard of until it says so.
    if (!index.isValid() || row >= owner->OnGetRowCount() || col >= m_pList->GetColumnCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return FromAnsi(owner->OnGetCellText(row, col));
    case Qt::DecorationRole:
        // With an image list every row keeps the icon's room, so texts line up.
        if (col == 0 && m_pList->HasImages()) return m_pList->GetImage(owner->OnGetRowImage(row));
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(AlignmentOf(m_pList->GetColumn(col).m_nFormat));
    default:
        return {};
    }
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_pList->GetColumnCount())
        return {};
    const CColumnEntry& column = m_pList->GetColumn(section);
    if (role == Qt::DisplayRole) return FromAnsi(column.m_strHeading);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(AlignmentOf(column.m_nFormat));
    return {};
}

Qt::ItemFlags CListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void CListModel::Reset() {
    beginResetModel();
    m_nRows = std::max(0, m_pList->Owner()->OnGetRowCount());
    endResetModel();
}

void CListModel::RowChanged(int row) {
    if (row < 0 || row >= m_nRows || columnCount() == 0) return;
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void CListModel::CellChanged(int row, int col) {
    if (row < 0 || row >= m_nRows || col < 0 || col >= columnCount()) return;
    emit dataChanged(index(row, col), index(row, col));
}

void CListModel::HeadingsChanged() {
    if (columnCount() > 0) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void CListModel::BeginAppendColumn() {
    int n = m_pList->GetColumnCount();
    beginInsertColumns({}, n, n);
}

void CListModel::EndAppendColumn() { endInsertColumns(); }

}  // namespace bexora
