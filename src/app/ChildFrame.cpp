#include "app/ChildFrame.h"

#include <QCloseEvent>
#include <QMdiArea>
#include <QSplitter>

#include "base/Settings.h"
#include "app/ListOwnerHost.h"
#include "app/MainFrame.h"
#include "app/ToolBarIcons.h"
#include "app/VersionWatch.h"
#include "base/ui/AnsiText.h"
#include "model/ebayDoc.h"

namespace bexora {
namespace {

struct PaneLayout {
    Qt::Orientation orientation;
    int listRow, listCol, browserRow, browserCol;
};

// Top, bottom, left, right: where the list and the browser sit.
PaneLayout LayoutFor(int listPos) {
    switch (listPos) {
    case 0: return {Qt::Vertical, 0, 0, 1, 0};
    case 1: return {Qt::Vertical, 1, 0, 0, 0};
    case 2: return {Qt::Horizontal, 0, 0, 0, 1};
    default: return {Qt::Horizontal, 0, 1, 0, 0};
    }
}

}  // namespace

CChildFrame::CChildFrame(CMainFrame* main, std::unique_ptr<CebayDoc> doc, int listPos, QSize client)
    : m_pMain(main), m_doc(std::move(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(AppIcon());
    const PaneLayout layout = LayoutFor(listPos);
    m_nListRow = layout.listRow;
    m_nListCol = layout.listCol;
    m_nBrowserRow = layout.browserRow;
    m_nBrowserCol = layout.browserCol;

    // Pane sizes: the stored ones with "Save Window" on, else three quarters
    // of the area for the browser and a quarter for the list.
    const int w = client.width(), h = client.height();
    int browserW = w * 3 / 4, browserH = h * 3 / 4, listW = w / 4, listH = h / 4;
    CSettingsStore& store = Settings();
    if (store.GetInt(setting::SaveWindow) != 0) {
        browserW = store.GetProfileInt(setting::WindowWidth.section, setting::WindowWidth.key, browserW);
        browserH = store.GetProfileInt(setting::WindowHeight.section, setting::WindowHeight.key, browserH);
        listW = store.GetProfileInt(setting::WindowWidth1.section, setting::WindowWidth1.key, listW);
        listH = store.GetProfileInt(setting::WindowHeight1.section, setting::WindowHeight1.key, listH);
    }
    const bool rows = layout.orientation == Qt::Vertical;
    const int listSize = rows ? listH : listW;
    const int browserSize = rows ? browserH : browserW;

    m_pSplitter = new QSplitter(layout.orientation, this);
    m_pSplitter->setChildrenCollapsible(false);
    m_pList = new CebayListView(*m_doc, this);
    m_pBrowser = new CebayView(this);
    // The splitter holds its widgets in cell order: row 0 / column 0 first.
    const bool listFirst = (layout.listRow + layout.listCol) == 0;
    m_pSplitter->addWidget(listFirst ? static_cast<QWidget*>(m_pList) : m_pBrowser);
    m_pSplitter->addWidget(listFirst ? static_cast<QWidget*>(m_pBrowser) : m_pList);
    m_pSplitter->setSizes(listFirst ? QList<int>{listSize, browserSize}
                                    : QList<int>{browserSize, listSize});
    m_pSplitter->setStretchFactor(listFirst ? 1 : 0, 1);
    setWidget(m_pSplitter);
    m_sink = std::make_unique<CListSink<CItemListCore>>(&m_pList->Core());
    if (m_pMain) {
        // The tick's newer-version check reads the maker's site on the main
        // window's watch thread; the notice comes while the list still exists.
        CVersionWatch* watch = &m_pMain->VersionWatch();
        QPointer<CebayListView> list(m_pList);
        m_pList->Core().SetNewerVersionCheck([watch, list](CItemListCore::VersionReport report) {
            watch->Check([list, report = std::move(report)](bool newer) {
                if (list) report(newer);
            });
        });
    }
    UpdateCaption();
}

void CChildFrame::SetListPosition(int listPos) {
    const PaneLayout layout = LayoutFor(listPos);
    const bool turned = layout.orientation != m_pSplitter->orientation();
    const int listSize = m_pSplitter->sizes().value(m_pSplitter->indexOf(m_pList));
    const int browserSize = m_pSplitter->sizes().value(m_pSplitter->indexOf(m_pBrowser));
    m_nListRow = layout.listRow;
    m_nListCol = layout.listCol;
    m_nBrowserRow = layout.browserRow;
    m_nBrowserCol = layout.browserCol;
    m_pSplitter->setOrientation(layout.orientation);
    const bool listFirst = (layout.listRow + layout.listCol) == 0;
    m_pSplitter->insertWidget(0, listFirst ? static_cast<QWidget*>(m_pList) : m_pBrowser);
    // Turned, the list takes a quarter of the other way's length; else each
    // pane keeps its size.
    const int total = layout.orientation == Qt::Vertical ? m_pSplitter->height() : m_pSplitter->width();
    const int list = turned ? total / 4 : listSize;
    const int browser = turned ? total - total / 4 : browserSize;
    m_pSplitter->setSizes(listFirst ? QList<int>{list, browser} : QList<int>{browser, list});
    m_pSplitter->setStretchFactor(listFirst ? 0 : 1, 0);
    m_pSplitter->setStretchFactor(listFirst ? 1 : 0, 1);
}

CChildFrame::~CChildFrame() {
    for (QPointer<QMdiSubWindow>& w : m_extraWindows) delete w.data();
    OnDestroyViews();
    // The views refer to the document: they go before it does.
    delete m_pSplitter;
    m_pSplitter = nullptr;
}

void CChildFrame::OnInitialUpdate(bool firstPage) {
    m_pList->OnInitialUpdate();
    if (firstPage) m_pBrowser->OnInitialUpdate();
}

void CChildFrame::OnDestroyViews() {
    if (m_bViewsDestroyed) return;
    m_bViewsDestroyed = true;
    // No more clients; the lock stays until the list's last save is done.
    CListLock keep;
    if (m_owner) m_owner->Close(&keep);
    m_pList->OnDestroy();
    m_pBrowser->OnDestroy();
    // A list saved under its name is one of the recent files (a new list
    // gets its name with its first save, as it closes).
    if (m_pMain && m_doc->LastSaveSucceeded() && !m_doc->GetPathName().empty())
        m_pMain->AddToRecentFileList(m_doc->GetPathName());
}

void CChildFrame::ServeList(CListLock& lock) {
    m_owner = ServeListWindow(*m_pList, m_doc->GetPathName(), lock);
}

bool CChildFrame::CanCloseFrame() {
    return m_bViewsDestroyed || m_doc->CanCloseDocument(m_pMain && m_pMain->m_bEndingSession);
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (!CanCloseFrame()) {
        event->ignore();
        return;
    }
    OnDestroyViews();
    QMdiSubWindow::closeEvent(event);
}

QWidget* CChildFrame::PaneAt(int row, int col) const {
    if (row < 0 || col < 0 || row + col > 1) return nullptr;
    if (m_pSplitter->orientation() == Qt::Vertical ? col != 0 : row != 0) return nullptr;
    return m_pSplitter->widget(row + col);
}

void CChildFrame::OnSplit() {
    const int total = m_pSplitter->orientation() == Qt::Vertical ? m_pSplitter->height()
                                                                   : m_pSplitter->width();
    m_pSplitter->setSizes({total / 2, total - total / 2});
}

CBrowserWindow* CChildFrame::OnNewWindow(QMdiArea* area) {
    auto* window = new CBrowserWindow(this);
    window->setWindowTitle(windowTitle() + ":" + QString::number(m_extraWindows.size() + 2));
    area->addSubWindow(window);
    window->showMaximized();
    area->setActiveSubWindow(window);
    const std::string url = m_pBrowser->LocationURL();
    if (!url.empty()) window->View()->Navigate(url);
    m_extraWindows.emplace_back(window);
    return window;
}

CBrowserWindow::CBrowserWindow(CChildFrame* owner) : m_pOwner(owner) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(AppIcon());
    m_pView = new CebayView(owner, this);
    setWidget(m_pView);
}

void CChildFrame::UpdateCaption() {
    const std::string& title = m_doc->GetTitle();
    setWindowTitle(FromAnsi(title.empty() ? m_doc->GetPathName() : title));
}

// ---- IListViewHost ----

void CChildFrame::Navigate(const std::string& url) { m_pBrowser->Navigate(url); }

void CChildFrame::SetStatusText(const std::string& text) {
    if (m_pMain && IsActiveFrame()) m_pMain->SetCountdownText(text);
}

bool CChildFrame::IsActiveFrame() { return m_pMain && m_pMain->ActiveChild() == this; }

void CChildFrame::ShowBalloon(const std::string& title, const std::string& text) {
    if (m_pMain) m_pMain->ShowBalloon(title, text);
}

void CChildFrame::ShowItemBalloon(const std::string& title, const std::string& text,
                                  const std::string& itemNumber, int level) {
    if (m_pMain) m_pMain->ShowItemBalloon(title, text, itemNumber, level);
}

void CChildFrame::AddItemsFromBrowserPage(std::function<void()> done) {
    m_pBrowser->OnAddItemFromBrowserPage([done](const PageAddResult&) {
        if (done) done();
    });
}

QMenu* CChildFrame::BidMenu() { return m_pMain ? m_pMain->BidMenu() : nullptr; }

// ---- IBrowserHost ----

void CChildFrame::SetAddressText(const std::string& url) {
    if (m_pMain && (IsActiveFrame() || !m_pMain->ActiveChild())) m_pMain->SetAddressText(url);
}

void CChildFrame::NavigateToAddress() {
    if (m_pMain) m_pMain->NavigateToAddress();
}

IItemSink* CChildFrame::ListSink() { return m_bViewsDestroyed ? nullptr : m_sink.get(); }

void CChildFrame::ListChanged() {
    if (!m_bViewsDestroyed) m_pList->RowsChanged();
}

}  // namespace bexora
