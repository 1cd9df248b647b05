#pragma once
// CChildFrame: the window of one item list. It splits its area between the
// browser pane (CebayView) and the item list (CebayListView) in one of four
// layouts, remembers which splitter cell holds which pane, and lets the two
// panes reach each other and the main window.

#include <QMdiSubWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "browser/ItemSink.h"
#include "browser/ui/ebayView.h"
#include "listview/ListOwner.h"
#include "listview/ui/ebayListView.h"

class QMdiArea;
class QSplitter;

namespace bexora {

class CMainFrame;
class CebayDoc;

class CBrowserWindow;

class CChildFrame : public QMdiSubWindow, public IListViewHost, public IBrowserHost {
    Q_OBJECT
public:
    // The frame owns doc. listPos: 0 top, 1 bottom, 2 left, anything else right.
    CChildFrame(CMainFrame* main, std::unique_ptr<CebayDoc> doc, int listPos, QSize client);
    ~CChildFrame() override;

    // After the window is shown: the list's initial update, then the browser
    // pane's first page (firstPage false: the pane stays empty).
    void OnInitialUpdate(bool firstPage = true);
    // What closing the views does (idempotent): the list stores its layout
    // and size and saves the document, the browser pane stores its size.
    void OnDestroyViews();
    // The document's may-close question.
    bool CanCloseFrame();
    // This window owns its list (lock taken for it): bexora-cli's commands
    // on the list come here.
    void ServeList(CListLock& lock);

    CebayDoc& Doc() { return *m_doc; }
    CebayView* BrowserPane() const { return m_pBrowser; }
    CebayListView* ListPane() const { return m_pList; }
    QSplitter* Splitter() const { return m_pSplitter; }
    // The pane in a splitter cell (null outside the splitter's shape).
    QWidget* PaneAt(int row, int col) const;
    // "Split": the two panes get equal halves.
    void OnSplit();
    // Lays the panes out again with the list at listPos (as the constructor
    // takes it). The list, its bids and the page shown stay as they are.
    void SetListPosition(int listPos);
    // "New Window": another browser window in area onto this list, showing
    // the same page; it closes with this window.
    CBrowserWindow* OnNewWindow(QMdiArea* area);

    // Splitter cells of the two panes.
    int m_nBrowserRow = 0, m_nBrowserCol = 0, m_nListRow = 0, m_nListCol = 0;

    // ---- IListViewHost ----
    void Navigate(const std::string& url) override;
    void SetStatusText(const std::string& text) override;
    bool IsActiveFrame() override;
    void ShowBalloon(const std::string& title, const std::string& text) override;
    void ShowItemBalloon(const std::string& title, const std::string& text,
                         const std::string& itemNumber, int level) override;
    void AddItemsFromBrowserPage(std::function<void()> done) override;
    QMenu* BidMenu() override;

    // ---- IBrowserHost ----
    void SetAddressText(const std::string& url) override;
    void NavigateToAddress() override;
    IItemSink* ListSink() override;
    void ListChanged() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void UpdateCaption();

    CMainFrame* m_pMain;
    std::unique_ptr<CebayDoc> m_doc;
    QSplitter* m_pSplitter = nullptr;
    CebayListView* m_pList = nullptr;
    CebayView* m_pBrowser = nullptr;
    std::unique_ptr<CListSink<CItemListCore>> m_sink;
    std::vector<QPointer<QMdiSubWindow>> m_extraWindows;
    bool m_bViewsDestroyed = false;
    std::unique_ptr<CListOwner> m_owner;
};

// A "New Window" window: one more browser pane onto an item window's list.
// The main window's browser commands and address bar act on its pane while
// it is active, the item commands on its list, and the items it adds go to
// that list (its pane's host is the item window).
class CBrowserWindow : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit CBrowserWindow(CChildFrame* owner);
    CChildFrame* Owner() const { return m_pOwner; }
    CebayView* View() const { return m_pView; }

private:
    CChildFrame* m_pOwner;
    CebayView* m_pView;
};

}  // namespace bexora
