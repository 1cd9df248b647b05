#pragma once
// The flat table model between a CListBase and its owner: it holds nothing,
// every cell is asked of the owner when drawn. The row count is taken when
// the owner reports a change, as the view requires.

#include <QAbstractTableModel>

namespace bexora {

class CListBase;

class CListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CListModel(CListBase* list);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void Reset();
    void RowChanged(int row);
    void CellChanged(int row, int col);
    void HeadingsChanged();
    void BeginAppendColumn();
    void EndAppendColumn();

private:
    CListBase* m_pList;
    int m_nRows = 0;
};

}  // namespace bexora
