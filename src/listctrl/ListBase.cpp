#include "listctrl/ListBase.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <cstdlib>
#include <optional>

#include "base/Settings.h"
#include "base/ui/AnsiText.h"
#include "listctrl/LabelTipCtrl.h"
#include "listctrl/ListModel.h"
#include "listctrl/RowTipCtrl.h"
#include "listview/ColumnLayout.h"

namespace bexora {

namespace {

constexpr int kMinColumnWidth = 10;
const QColor kGridColour(216, 216, 216);

// The style's focus frame fills the current row with a wash of the
// highlight, which would change the row colours the owner chose; a dotted
// outline marks the current row instead.
class CListStyle : public QProxyStyle {
public:
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        // Set on the list alone, so every focus frame here is a row's.
        if (element != PE_FrameFocusRect) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        bool selected = option->state & State_Selected;
        QColor pen = option->palette.color(QPalette::Active, selected ? QPalette::HighlightedText
                                                                      : QPalette::Text);
        painter->save();
        painter->setPen(QPen(pen, 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -2));
        painter->restore();
    }
};

// Rows are drawn here: the owner's colour (or the highlight) as the ground,
// then icon and text by the style, then the grid lines.
class CListDelegate : public QStyledItemDelegate {
public:
    CListDelegate(CListBase* list) : QStyledItemDelegate(list), m_pList(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        bool selected = opt.state & QStyle::State_Selected;
        painter->fillRect(opt.rect, m_pList->CellBackground(index.row(), index.column(), selected));

        const QWidget* widget = option.widget;
        const QPalette& pal = widget ? widget->palette() : opt.palette;
        QColor fg = selected ? pal.color(QPalette::Active, QPalette::HighlightedText)
                             : pal.color(QPalette::Active, QPalette::Text);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            opt.palette.setColor(group, QPalette::Text, fg);
        opt.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver);
        opt.backgroundBrush = Qt::NoBrush;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        painter->save();
        painter->setPen(kGridColour);
        painter->drawLine(opt.rect.bottomLeft(), opt.rect.bottomRight());
        painter->drawLine(opt.rect.topRight(), opt.rect.bottomRight());
        painter->restore();
    }

    // Where the style puts the cell's text, without its margins.
    QRect TextRect(const QTreeView* view, const QModelIndex& index) const {
        QStyleOptionViewItem opt;
        opt.initFrom(view);
        opt.rect = view->visualRect(index);
        opt.font = view->font();
        opt.fontMetrics = view->fontMetrics();
        opt.decorationSize = view->iconSize().isValid() ? view->iconSize() : QSize(16, 16);
        opt.decorationPosition = QStyleOptionViewItem::Left;
        opt.widget = view;
        initStyleOption(&opt, index);
        QStyle* style = view->style();
        QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, view);
        int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        return text.adjusted(margin, 0, -margin, 0);
    }

private:
    CListBase* m_pList;
};

}  // namespace

CListBase::CListBase(QTreeView* view, IListOwner* owner)
    : QObject(view), m_pView(view), m_pOwner(owner) {
    m_pModel = new CListModel(this);
    view->setModel(m_pModel);
    view->setItemDelegate(new CListDelegate(this));
    auto* style = new CListStyle;
    style->setParent(this);
    view->setStyle(style);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(false);
    view->setTextElideMode(Qt::ElideRight);
    view->setIconSize(QSize(16, 16));
    view->viewport()->setMouseTracking(true);

    QHeaderView* header = view->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(true);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setMinimumSectionSize(kMinColumnWidth);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this, &CListBase::OnHeaderMenu);
    connect(header, &QHeaderView::sectionClicked, this, &CListBase::OnSectionClicked);
    connect(header, &QHeaderView::sectionResized, this, [this] { HideTips(); });
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { HideTips(); });
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { HideTips(); });

    m_pRowTip = new CRowTipCtrl(view);
    m_pLabelTip = new CLabelTipCtrl(view);
}

CListBase::~CListBase() = default;

int CListBase::InsertColumn(const std::string& heading, ColumnAlign format, int width) {
    m_pModel->BeginAppendColumn();
    CColumnEntry entry;
    entry.m_strHeading = heading;
    entry.m_nFormat = format;
    entry.m_nSavedWidth = width;
    m_columns.push_back(entry);
    m_pModel->EndAppendColumn();
    int col = GetColumnCount() - 1;
    m_pView->header()->resizeSection(col, width);
    return col;
}

int CListBase::GetColumnWidth(int col) const {
    if (col < 0 || col >= GetColumnCount()) return 0;
    return m_columns[col].m_bShown ? m_pView->header()->sectionSize(col)
                                   : m_columns[col].m_nSavedWidth;
}

void CListBase::SetColumnWidth(int col, int width) {
    if (col < 0 || col >= GetColumnCount()) return;
    width = std::max(width, 0);
    if (m_columns[col].m_bShown)
        m_pView->header()->resizeSection(col, width);
    else
        m_columns[col].m_nSavedWidth = width;
}

int CListBase::GetColumnPosition(int col) const { return m_pView->header()->visualIndex(col); }

int CListBase::GetHideableCount() const {
    int count = 0;
    for (const auto& column : m_columns) count += column.m_bManaged && column.m_bHideable;
    return count;
}

void CListBase::SetColumnHideable(int col, bool hideable) {
    if (col >= 0 && col < GetColumnCount()) m_columns[col].m_bHideable = hideable;
}

bool CListBase::IsColumnShown(int col) const {
    return col >= 0 && col < GetColumnCount() && m_columns[col].m_bShown;
}

void CListBase::ShowColumn(int col, bool show) {
    if (col < 0 || col >= GetColumnCount()) return;
    const CColumnEntry& column = m_columns[col];
    if (!column.m_bManaged || !column.m_bHideable || column.m_bShown == show) return;
    ToggleColumn(col, show);
}

void CListBase::ToggleColumn(int col, bool show) {
    CColumnEntry& column = m_columns[col];
    if (column.m_bShown == show) return;
    QHeaderView* header = m_pView->header();
    if (show) {
        header->showSection(col);
        header->resizeSection(col, column.m_nSavedWidth);
    } else {
        column.m_nSavedWidth = header->sectionSize(col);
        header->hideSection(col);
    }
    column.m_bShown = show;
    HideTips();
}

std::vector<uint8_t> CListBase::GetLayoutValue() const {
    std::vector<ColumnState> columns;
    columns.reserve(m_columns.size());
    for (int i = 0; i < GetColumnCount(); ++i)
        columns.push_back({m_columns[i].m_bShown || !m_columns[i].m_bHideable,
                           GetColumnWidth(i), GetColumnPosition(i)});
    return EncodeColumnLayout(m_nSortState, columns);
}

bool CListBase::ApplyLayoutValue(const std::vector<uint8_t>& value) {
    std::optional<ColumnLayout> layout = ParseColumnLayout(value, GetColumnCount());
    if (!layout) return false;
    SetSortState(layout->m_nSortState);
    for (size_t i = 0; i < layout->m_columns.size(); ++i) {
        const int col = static_cast<int>(i);
        const bool shown = layout->m_columns[i].m_bShown;
        if (shown != m_columns[i].m_bShown && (m_columns[i].m_bHideable || !m_columns[i].m_bShown))
            ToggleColumn(col, shown);
        SetColumnWidth(col, layout->m_columns[i].m_nWidth);
    }
    // Without a trusted order the present one stays.
    QHeaderView* header = m_pView->header();
    for (int pos = 0; pos < static_cast<int>(layout->m_order.size()); ++pos) {
        int from = header->visualIndex(layout->m_order[pos]);
        if (from != pos) header->moveSection(from, pos);
    }
    return true;
}

void CListBase::ApplyDefaultLayout() {
    for (int col = 7; col <= 10; ++col) ShowColumn(col, false);
}

bool CListBase::SaveState(const std::string& section, const std::string& entry) const {
    return WriteProfileBinary(section, entry, GetLayoutValue());
}

bool CListBase::RestoreState(const std::string& section, const std::string& entry) {
    std::vector<uint8_t> value;
    if (!GetProfileBinary(section, entry, value)) {
        ApplyDefaultLayout();
        return false;
    }
    return ApplyLayoutValue(value);
}

void CListBase::SetSortState(int key) {
    if (key < -GetColumnCount() || key > GetColumnCount()) return;
    m_nSortState = key;
    UpdateSortIndicator();
}

int CListBase::NextSortState(int current, int col) {
    return current == col + 1 ? -(col + 1) : col + 1;
}

void CListBase::ShowSortArrows(bool on) {
    m_bSortArrows = on;
    UpdateSortIndicator();
}

void CListBase::SetSortColumnTint(bool on) {
    m_bSortTint = on;
    m_pView->viewport()->update();
}

void CListBase::UpdateSortIndicator() {
    QHeaderView* header = m_pView->header();
    header->setSortIndicatorShown(m_bSortArrows);
    if (m_nSortState == 0)
        header->setSortIndicator(-1, Qt::AscendingOrder);
    else
        header->setSortIndicator(std::abs(m_nSortState) - 1,
                                 m_nSortState > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_pView->viewport()->update();
}

QColor CListBase::SortTint(const QColor& bk) {
    int c[3] = {bk.red(), bk.green(), bk.blue()};
    bool light = c[0] > 240 && c[1] > 240 && c[2] > 240;
    for (int& v : c) v = light ? v - 8 : (v > 231 ? 255 : v + v / 10);
    return QColor(c[0], c[1], c[2]);
}

QColor CListBase::CellBackground(int row, int col, bool selected) const {
    const QPalette& pal = m_pView->palette();
    if (selected) return pal.color(QPalette::Active, QPalette::Highlight);
    QColor bk = pal.color(QPalette::Active, QPalette::Base);
    m_pOwner->OnGetRowColour(row, bk);
    if (m_bSortTint && m_nSortState != 0 && col == std::abs(m_nSortState) - 1) {
        // A display of 8 bits or fewer would dither the tint.
        QScreen* screen = m_pView->screen();
        if (!screen || screen->depth() >= 9) return SortTint(bk);
    }
    return bk;
}

std::unique_ptr<QMenu> CListBase::BuildHeaderMenu(QWidget* parent) const {
    if (GetHideableCount() == 0) return nullptr;
    auto menu = std::make_unique<QMenu>(parent);
    for (int col = 0; col < GetColumnCount(); ++col) {
        const CColumnEntry& column = m_columns[col];
        if (!column.m_bManaged) continue;
        QAction* action = menu->addAction(FromAnsi(column.m_strHeading).replace('&', "&&"));
        action->setCheckable(true);
        action->setChecked(column.m_bShown);
        action->setEnabled(column.m_bHideable);
        action->setData(col);
    }
    return menu;
}

void CListBase::OnHeaderMenu(const QPoint& pos) {
    std::unique_ptr<QMenu> menu = BuildHeaderMenu(m_pView);
    if (!menu) return;
    HideTips();
    QAction* chosen = menu->exec(m_pView->header()->viewport()->mapToGlobal(pos));
    if (chosen) OnCommand(chosen->data().toInt());
}

bool CListBase::OnCommand(int id) {
    if (id < 0 || id >= GetColumnCount() || !m_columns[id].m_bManaged) return false;
    ShowColumn(id, !m_columns[id].m_bShown);
    return true;
}

void CListBase::OnSectionClicked(int col) {
    HideTips();
    SetSortState(NextSortState(m_nSortState, col));
    m_pOwner->OnColumnClick(col);
}

void CListBase::SetImageList(const QList<QIcon>& images) {
    m_images = images;
    QPixmap blank(m_pView->iconSize());
    blank.fill(Qt::transparent);
    m_blank = QIcon(blank);
    m_pView->viewport()->update();
}

QIcon CListBase::GetImage(int index) const {
    return index >= 0 && index < m_images.size() ? m_images[index] : m_blank;
}

void CListBase::SelectAll() { m_pView->selectAll(); }

void CListBase::RowsChanged() {
    HideTips();
    m_pModel->Reset();
}

void CListBase::RedrawRow(int row) {
    if (row < 0) return;
    m_pModel->RowChanged(row);
}

void CListBase::CellChanged(int row, int col) { m_pModel->CellChanged(row, col); }

QRect CListBase::CellTextRect(int row, int col) const {
    auto* delegate = static_cast<CListDelegate*>(m_pView->itemDelegate());
    return delegate->TextRect(m_pView, m_pModel->index(row, col));
}

bool CListBase::IsCellCutOff(int row, int col) const {
    if (row < 0 || row >= m_pModel->rowCount() || !IsColumnShown(col)) return false;
    QString text = FromAnsi(m_pOwner->OnGetCellText(row, col));
    if (text.isEmpty()) return false;
    return m_pView->fontMetrics().horizontalAdvance(text) > CellTextRect(row, col).width();
}

void CListBase::UpdateLabelTip(const QPoint& viewportPos) {
    QModelIndex index = m_pView->indexAt(viewportPos);
    if (!index.isValid() || !IsCellCutOff(index.row(), index.column())) {
        if (m_pLabelTip->isVisible()) m_pLabelTip->HideTip();
        return;
    }
    QString text = FromAnsi(m_pOwner->OnGetCellText(index.row(), index.column()));
    if (m_pLabelTip->isVisible() && m_pLabelTip->TipRow() == index.row() &&
        m_pLabelTip->TipColumn() == index.column() && m_pLabelTip->text() == text)
        return;
    QRect rect = CellTextRect(index.row(), index.column());
    QRect global(m_pView->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    m_pLabelTip->ShowOver(global, text, m_pView->font());
    m_pLabelTip->SetTipCell(index.row(), index.column());
}

bool CListBase::ShowRowTip(const QPoint& viewportPos, const QPoint& globalPos) {
    QModelIndex index = m_pView->indexAt(viewportPos);
    std::string text;
    if (index.isValid()) text = m_pOwner->OnGetTipText(index.row(), index.column());
    if (text.empty()) {
        m_pRowTip->HideTip();
        return false;
    }
    std::string title = m_pOwner->OnGetTipTitle(index.row(), index.column());
    m_pRowTip->ShowTip(globalPos, FromAnsi(title), FromAnsi(text));
    m_pRowTip->SetTipRow(index.row());
    return true;
}

void CListBase::HideTips() {
    if (m_pRowTip->isVisible()) m_pRowTip->HideTip();
    if (m_pLabelTip->isVisible()) m_pLabelTip->HideTip();
}

bool CListBase::HandleViewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove: {
        QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        UpdateLabelTip(pos);
        if (m_pRowTip->isVisible() && m_pView->indexAt(pos).row() != m_pRowTip->TipRow())
            m_pRowTip->HideTip();
        return false;
    }
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(event);
        ShowRowTip(help->pos(), help->globalPos());
        return true;  // never the style's plain tooltip
    }
    case QEvent::Leave:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::Hide:
        HideTips();
        return false;
    default:
        return false;
    }
}

}  // namespace bexora
