#include "listview/ui/ebayListView.h"


#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QMainWindow>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <array>

#include "base/Settings.h"
#include "base/ui/DialogRunner.h"
#include "listview/ui/NoteDlg.h"
#include "listview/ui/WarnDlg.h"
#include "browser/ui/AddItemDialog.h"
#include "base/ui/AnsiText.h"
#include "base/ui/BusyWork.h"
#include "text/TextTools.h"
#include "listview/BidSetup.h"
#include "listview/Export.h"
#include "listview/ui/BidDlg.h"
#include "listview/ui/ListIcons.h"
#include "site/SiteEndpoints.h"

namespace bexora {

namespace {

// What a column holds at its widest in everyday use.
// clang-format off
constexpr std::array<const char*, kColumnCount> kTypicalCell{
    "110012345678", "", "US $1,234.56", "US $12.50", "10", "99", "6d 23:59:00",
    "Dec-31-26 23:59:59 PST", "bexora_seller_1", "12345", "100.0%", "US $1,234.56", "lenses"};
// clang-format on

}  // namespace

QString RowColourLegend() {
    const std::pair<RowColour, const char*> rows[] = {
        {rowcolour::kPending, "a snipe is set"},
        {rowcolour::kPendingGroupFull, "a snipe whose bid group has won enough: it will not bid"},
        {rowcolour::kHighBidder, "you are the high bidder"},
        {rowcolour::kNotified, "you were outbid, or a bid failed (see the notices)"},
        {rowcolour::kChanged, "the price or bids changed at the last update"},
        {rowcolour::kFresh, "added, not updated yet"},
        {rowcolour::kUpdateFailed, "the last update failed"},
    };
    const QString row =
        "<tr><td style=\"background-color:%1\">&nbsp;&nbsp;&nbsp;&nbsp;</td><td>%2</td></tr>";
    QString html = "<b>Row colours</b><table>";
    for (const auto& [c, meaning] : rows) html += row.arg(QColor(c.r, c.g, c.b).name(), meaning);
    return html + "</table>";
}

void CebayListView::FitFirstRunWidths() {
    // The stored widths were chosen for an 8-point font: with the desktop's
    // font a column is at least as wide as its heading (with the sort arrow)
    // and its typical text, so item numbers, prices and times show whole.
    const QFontMetrics cell(font());
    const QFontMetrics heading(header()->font());
    const int margins = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 12;
    const int arrow = style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this) + 8;
    for (int col = 0; col < kColumnCount; ++col) {
        const ListColumnDef& def = ListColumns()[col];
        const int title =
            heading.horizontalAdvance(QString::fromLatin1(def.heading)) + margins + arrow;
        int text = cell.horizontalAdvance(QString::fromLatin1(kTypicalCell[col])) + margins;
        if (col == 0) text += (iconSize().isValid() ? iconSize().width() : 16) + 4;  // its icon
        SetColumnWidth(col, std::max({def.width, title, text}));
    }
}

CebayListView::CebayListView(CebayDoc& doc, IListViewHost* host, QWidget* parent, IJobSink* jobs,
                             CWebThread::RefreshFn refresh)
    : CListViewEx(parent), m_doc(doc), m_pHost(host) {
    setAccessibleName("Items");
    setAccessibleDescription("The list's items: a row each, with the time left and the bid set up");
    // A worker's result is handed over while the worker waits: wake the UI
    // thread's event loop, which runs it there.
    m_ui.SetWake([this] {
        QMetaObject::invokeMethod(this, [this] { m_ui.RunPending(); }, Qt::QueuedConnection);
    });
    m_core = std::make_unique<CItemListCore>(doc, *this, m_ui, jobs, std::move(refresh));

    // The list reads in the desktop's font; the first-run widths follow it
    // (FitFirstRunWidths), so nothing has to shrink the text to fit.
    header()->setToolTip(RowColourLegend());

    m_pTimer = new QTimer(this);
    m_pTimer->setSingleShot(true);
    m_pTimer->setTimerType(Qt::PreciseTimer);
    connect(m_pTimer, &QTimer::timeout, this, &CebayListView::Tick);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CebayListView::OnViewSelectionChanged);
}

CebayListView::~CebayListView() { OnDestroy(); }

void CebayListView::OnInitialUpdate(bool startTicking) {
    if (m_bInitialised) return;
    m_bInitialised = true;
    if (!m_pWarnDlg) {
        m_pWarnDlg = new CWarnDlg(this);
        m_pWarnDlg->SetOnCleared([this] {
            if (m_core) m_core->Notices().Clear();
        });
    }
    for (const ListColumnDef& c : ListColumns())
        InsertColumn(c.heading, c.rightAligned ? ColumnAlign::Right : ColumnAlign::Left, c.width);
    for (int col = 0; col < kColumnCount; ++col) SetColumnHideable(col, ListColumns()[col].hideable);
    SetImageList(ItemListImages());
    // A stored value that is not a layout of these columns (an older build
    // kept the main window's bars under the same name) gives the first-run
    // layout, not every column.
    if (!RestoreState(CListBase::kStateSection, CListBase::kStateEntry)) {
        ListBase().ApplyDefaultLayout();
        FitFirstRunWidths();
    }

    m_core->Initialize();
    m_pWarnDlg->SetLevel(m_core->Notices().GetLevel());
    ShowSortArrows(true);
    SetSortColumnTint(true);
    SetSortState(m_core->GetSortKey());
    CListViewEx::RowsChanged();
    SyncSelectionToView();
    if (startTicking) {
        m_bTicking = true;
        ArmTimer();
    }
}

void CebayListView::OnDestroy() {
    if (m_bDestroyed) return;
    m_bDestroyed = true;
    m_bTicking = false;
    m_pTimer->stop();
    if (m_bInitialised) {
        SaveState(CListBase::kStateSection, CListBase::kStateEntry);
        StorePaneSize();
    }
    // Stops the workers and saves the document in row order.
    m_core->Shutdown();
    m_ui.SetWake({});
    if (m_pWarnDlg) m_pWarnDlg->hide();
}

void CebayListView::StorePaneSize() {
    if (!GetProfileInt("Program exit", "Save Window", 1)) return;
    // A list that never made it onto the screen has no size worth keeping.
    if (!testAttribute(Qt::WA_WState_Created)) return;
    const int viewPos = GetProfileInt("Program exit", "View Pos", 1);
    if (viewPos == 2 || viewPos == 3) WriteProfileInt("Window size", "width1", width());
    else WriteProfileInt("Window size", "Height1", height());
}

// ---- ticking ----

void CebayListView::ArmTimer() {
    if (!m_bTicking) return;
    const int64_t ms = std::clamp<int64_t>(m_core->MsUntilNextTick(), 1, 1000);
    m_pTimer->start(static_cast<int>(ms));
}

void CebayListView::Tick() {
    if (m_bDestroyed) return;
    m_core->OnTick();
    ArmTimer();
}

bool CebayListView::IsTicking() const { return m_bTicking && m_pTimer->isActive(); }

// ---- selection: the core keeps it, the view mirrors it ----

void CebayListView::SyncSelectionToView() {
    m_bSyncing = true;
    SetSelectedRows(m_core->GetSelectedRows(), m_core->GetFocusRow());
    m_bSyncing = false;
}

void CebayListView::OnViewSelectionChanged() {
    if (m_bSyncing || !m_core) return;
    m_core->SetSelectedRows(GetSelectedRows());
    const int focus = GetFocusRow();
    if (focus >= 0 && selectionModel()->isRowSelected(focus, QModelIndex())) m_core->SelectRow(focus);
}

// ---- IListFrontEnd ----

void CebayListView::RedrawRow(int row) { CListViewEx::RedrawRow(row); }

void CebayListView::CellChanged(int row, int col) { CListViewEx::CellChanged(row, col); }

void CebayListView::RowsChanged() {
    CListViewEx::RowsChanged();
    // A sort may have moved the key (the core's sort is the one that counts).
    if (m_bInitialised && GetSortState() != m_core->GetSortKey()) SetSortState(m_core->GetSortKey());
    SyncSelectionToView();
}

void CebayListView::SetStatusText(const std::string& text) {
    if (m_pHost) m_pHost->SetStatusText(text);
}

bool CebayListView::IsActiveFrame() { return m_pHost ? m_pHost->IsActiveFrame() : true; }

void CebayListView::Navigate(const std::string& url) {
    if (m_pHost) m_pHost->Navigate(url);
}

void CebayListView::ShowBalloon(const std::string& title, const std::string& text) {
    if (m_pHost) m_pHost->ShowBalloon(title, text);
}

void CebayListView::ShowItemBalloon(const std::string& title, const std::string& text,
                                    const std::string& itemNumber, int level) {
    if (m_pHost) m_pHost->ShowItemBalloon(title, text, itemNumber, level);
}

void CebayListView::ShowProgress(int done, int total) {
    // The status bar's message area, not the countdown pane: the countdown
    // keeps ticking beside it.
    auto* frame = qobject_cast<QMainWindow*>(window());
    if (!frame) return;
    if (done >= total)
        frame->statusBar()->showMessage(QString("Updated %1 items").arg(total), 5000);
    else frame->statusBar()->showMessage(QString("Updating items: %1 of %2").arg(done).arg(total));
}

void CebayListView::NoticeAdded(const std::string& text, int level) {
    if (m_pWarnDlg) m_pWarnDlg->AddMessage(text, level);
}

// ---- IListOwner ----

int CebayListView::OnGetRowCount() const { return m_core ? m_core->GetRowCount() : 0; }

std::string CebayListView::OnGetCellText(int row, int col) const {
    return m_core ? m_core->GetCellText(row, col) : std::string();
}

int CebayListView::OnGetRowImage(int row) const { return m_core ? m_core->GetRowImage(row) : -1; }

void CebayListView::OnGetRowColour(int row, QColor& background) const {
    if (!m_core || row < 0 || row >= m_core->GetRowCount()) return;
    const RowColour c = m_core->GetRowColour(row);
    background = QColor(c.r, c.g, c.b);
}

std::string CebayListView::OnGetTipText(int row, int) const {
    return m_core ? m_core->GetTipText(row) : std::string();
}

std::string CebayListView::OnGetTipTitle(int row, int) const {
    return m_core ? m_core->GetTipTitle(row) : std::string();
}

void CebayListView::OnColumnClick(int col) {
    m_core->SortByColumn(col);
    SetSortState(m_core->GetSortKey());
}

// ---- commands ----

bool CebayListView::OnItemCommand(int id) {
    switch (id) {
    case listcmd::kAddFromPage: OnAddFromBrowserPage(); return true;
    case listcmd::kAddSingleItem: OnAddSingleItem(); return true;
    case listcmd::kDeleteItem: m_core->OnDeleteItem(); return true;
    case listcmd::kBidOnItem: {
        // The page is read on a worker; the list ticks on meanwhile and
        // may even be closed.
        QPointer<CebayListView> self(this);
        CItem fresh;
        bool ok = false;
        if (!BeginBidOnItem(*m_core, fresh) || !ReadBidPage(this, fresh, m_bidRefresh, ok) || !self) return true;
        CBidDlg dialog(this);
        FinishBidOnItem(*m_core, dialog, fresh, ok);
        return true;
    }
    case listcmd::kCancelPendingBid: m_core->OnCancelPendingBid(); return true;
    case listcmd::kUpdateSelected: m_core->UpdateSelected(); return true;
    case listcmd::kUpdateAll: m_core->UpdateAll(); return true;
    case listcmd::kCheckNow: m_core->CheckSelected(); return true;
    case listcmd::kViewHistory: m_core->OnViewHistory(); return true;
    case listcmd::kSelectAll: m_core->SelectAll(); return true;
    case listcmd::kExport: OnExport(); return true;
    case listcmd::kNotes: OnNotes(); return true;
    default: return false;
    }
}

std::unique_ptr<QMenu> CebayListView::CreateItemMenu(QWidget* parent) {
    auto menu = std::make_unique<QMenu>("&Bid", parent);
    auto add = [&](const char* text, int id) { menu->addAction(text)->setData(id); };
    add("&Add Single Item", listcmd::kAddSingleItem);
    add("Add Item from Browser Page", listcmd::kAddFromPage);
    menu->addSeparator();
    add("&Bid on Item", listcmd::kBidOnItem);
    add("&Cancel  Pending Bid", listcmd::kCancelPendingBid);
    add("&Delete Item", listcmd::kDeleteItem);
    menu->addSeparator();
    add("View My Bidding &History", listcmd::kViewHistory);
    add("Add or View Notes", listcmd::kNotes);
    menu->addSeparator();
    add("&Update Selected Items", listcmd::kUpdateSelected);
    add("U&pdate All", listcmd::kUpdateAll);
    add("Check Bids &Now", listcmd::kCheckNow);
    return menu;
}

void CebayListView::OnAddSingleItem() {
    CAddItemDialog dialog(this);
    if (ExecDialog(dialog) != QDialog::Accepted) return;
    // The page is read off the UI thread, under a busy indicator with
    // Cancel: the ticks (and a snipe due meanwhile) go on. The item joins
    // the list here.
    struct Read {
        CItem item;
        bool ok = false;
    };
    auto read = std::make_shared<Read>();
    read->item.m_strItemNumber = Trim(dialog.GetText(), " ");
    QPointer<CebayListView> self(this);
    if (!read->item.m_strItemNumber.empty() &&
        !RunWithBusyIndicator(this, "Add Single Item", "Reading the item's page...",
                              [read] { read->ok = read->item.UpdateFromSite(); }))
        return;
    if (!self || self->m_bDestroyed) return;
    m_core->AddFetchedItem(std::make_unique<CItem>(read->item), read->ok);
}

void CebayListView::OnAddFromBrowserPage() {
    // Reached through the list: it repaints and saves once the pane is done.
    QPointer<CebayListView> self(this);
    auto finish = [self] {
        if (!self || self->m_bDestroyed) return;
        self->CListViewEx::RowsChanged();
        self->SyncSelectionToView();
        self->m_core->SaveDocument();
    };
    if (m_pHost) m_pHost->AddItemsFromBrowserPage(finish);
    else finish();
}

void CebayListView::OnNotes() {
    const std::vector<int> rows = m_core->GetSelectedRows();
    if (rows.empty()) return;
    CNoteDlg dialog(this);
    dialog.SetNote(m_core->GetNoteForDialog(rows.front()));
    ExecDialog(dialog);
    // Whatever way it ended: Clear then Cancel still empties the note.
    m_core->SetNote(rows.front(), dialog.GetNote());
}

void CebayListView::OnExport() {
    QFileDialog dialog(this, exporttext::kDialogTitle);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QString("%1 (%2)").arg(exporttext::kFilterName, exporttext::kFilterPattern));
    // The name as typed, no extension added; file names are bytes in the
    // file system's encoding (UTF-8), not the list's code page.
    if (ExecDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    bexora::OnExport(*m_core, QFile::encodeName(dialog.selectedFiles().front()).toStdString());
}

std::string CebayListView::ItemPageUrl(int row) const {
    if (row < 0 || row >= m_core->GetRowCount()) return {};
    return site::ItemViewUrl(m_core->GetCellText(row, kColItem));
}

// ---- input ----

void CebayListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        OnItemCommand(listcmd::kDeleteItem);
        event->accept();
        return;
    }
    CListViewEx::keyPressEvent(event);
}

void CebayListView::mouseDoubleClickEvent(QMouseEvent* event) {
    CListViewEx::mouseDoubleClickEvent(event);
    const int row = RowAt(event->position().toPoint());
    if (row >= 0) Navigate(ItemPageUrl(row));
}

void CebayListView::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    // The host's "&Bid" menu runs its own commands (its actions are the
    // menu bar's): showing it is all there is to do here, or every choice
    // would run twice.
    if (QMenu* menu = m_pHost ? m_pHost->BidMenu() : nullptr) {
        menu->exec(event->globalPos());
        return;
    }
    std::unique_ptr<QMenu> own = CreateItemMenu(this);
    QAction* chosen = own->exec(event->globalPos());
    if (chosen && chosen->data().isValid()) OnItemCommand(chosen->data().toInt());
}

}  // namespace bexora
