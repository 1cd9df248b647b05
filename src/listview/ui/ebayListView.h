#pragma once
// CebayListView: the desktop face of one item list. It draws what the list's
// core (CItemListCore) holds - rows, cells, colours, images, tips - and
// forwards the user's clicks, keys and commands to it; it runs the core's
// one-second tick on a precise timer and the workers' results through the
// dispatcher on the UI thread. The notice window belongs to it.

#include <functional>
#include <memory>
#include <string>

#include "base/ui/ShellCommands.h"
#include "bidding/UiDispatcher.h"
#include "listctrl/ListViewEx.h"
#include "listview/BidSetup.h"
#include "listview/ItemListCore.h"

class QMenu;
class QTimer;

namespace bexora {

class CWarnDlg;

// Command ids of the "&Bid" menu and the list: the main window's.
namespace listcmd = cmd;

// What the frame around the list provides: the item window (CChildFrame)
// in the desktop program; bexora-listview and the tests implement it too.
class IListViewHost {
public:
    virtual ~IListViewHost() = default;
    // Show url in the browser pane beside the list.
    virtual void Navigate(const std::string& url) = 0;
    // Pane 4 of the main window's status bar.
    virtual void SetStatusText(const std::string& /*text*/) {}
    virtual bool IsActiveFrame() { return true; }
    virtual void ShowBalloon(const std::string& /*title*/, const std::string& /*text*/) {}
    // The balloon with its item and notice level (desktop notifications).
    virtual void ShowItemBalloon(const std::string& title, const std::string& text,
                                 const std::string& /*itemNumber*/, int /*level*/) {
        ShowBalloon(title, text);
    }
    // Command 133: the browser pane adds the items of its page. The pane
    // reads its page asynchronously; done runs once it has finished (also
    // when nothing was added), on the UI thread.
    virtual void AddItemsFromBrowserPage(std::function<void()> done) {
        if (done) done();
    }
    // The main window's "&Bid" menu, whose actions run their commands
    // themselves; null: the view builds its own and runs the choice.
    virtual QMenu* BidMenu() { return nullptr; }
};

// What each row colour means, as the list's heading shows it on hover.
QString RowColourLegend();

class CebayListView : public CListViewEx, public IListFrontEnd {
    Q_OBJECT
public:
    // jobs: where refreshes and bids go (nullptr: the list's own two workers).
    CebayListView(CebayDoc& doc, IListViewHost* host = nullptr, QWidget* parent = nullptr,
                  IJobSink* jobs = nullptr, CWebThread::RefreshFn refresh = {});
    ~CebayListView() override;

    // Once, after construction: the notice window, the columns, the images,
    // the stored column layout, a row per item, the sort indicator, then the
    // scheduler. startTicking false leaves the tick to the caller (tests).
    void OnInitialUpdate(bool startTicking = true);
    // Column widths for a list shown the first time: wide enough for the
    // headings and typical values in the list's font.
    void FitFirstRunWidths();
    // What the view's destruction does, callable earlier (idempotent): the
    // column layout and the pane size are stored, the workers stopped, the
    // document saved, the notice window closed.
    void OnDestroy();

    CItemListCore& Core() { return *m_core; }
    CUiDispatcher& Dispatcher() { return m_ui; }
    CWarnDlg* NoticeWindow() const { return m_pWarnDlg; }
    void SetHost(IListViewHost* host) { m_pHost = host; }
    // How "Bid on Item" reads the item's page again (unset: from the site).
    void SetBidRefresh(BidRefreshFn refresh) { m_bidRefresh = std::move(refresh); }

    // Runs a command of the "&Bid" menu or the list; false for other ids.
    bool OnItemCommand(int id);
    // The item menu the right button shows when the host has no "&Bid"
    // menu: each action's data is its command id.
    static std::unique_ptr<QMenu> CreateItemMenu(QWidget* parent);
    // The address double-clicking row opens ("" outside the rows).
    std::string ItemPageUrl(int row) const;
    // One tick now, then the timer is armed again (when ticking).
    void Tick();
    bool IsTicking() const;

    // ---- IListFrontEnd ----
    void RedrawRow(int row) override;
    void CellChanged(int row, int col) override;
    void RowsChanged() override;
    void SetStatusText(const std::string& text) override;
    bool IsActiveFrame() override;
    void Navigate(const std::string& url) override;
    void ShowBalloon(const std::string& title, const std::string& text) override;
    void ShowItemBalloon(const std::string& title, const std::string& text,
                         const std::string& itemNumber, int level) override;
    // "Updating items: 3 of 40" in the main window's status bar.
    void ShowProgress(int done, int total) override;
    void NoticeAdded(const std::string& text, int level) override;

    // ---- IListOwner (the toolkit asks) ----
    int OnGetRowCount() const override;
    std::string OnGetCellText(int row, int col) const override;
    int OnGetRowImage(int row) const override;
    void OnGetRowColour(int row, QColor& background) const override;
    std::string OnGetTipText(int row, int col) const override;
    std::string OnGetTipTitle(int row, int col) const override;
    void OnColumnClick(int col) override;

    // The commands.
    void OnAddSingleItem();
    void OnAddFromBrowserPage();
    void OnNotes();
    void OnExport();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ArmTimer();
    void SyncSelectionToView();
    void OnViewSelectionChanged();
    void StorePaneSize();

    CebayDoc& m_doc;
    IListViewHost* m_pHost;
    CUiDispatcher m_ui;
    std::unique_ptr<CItemListCore> m_core;
    BidRefreshFn m_bidRefresh;
    CWarnDlg* m_pWarnDlg = nullptr;  // a child of the view
    QTimer* m_pTimer = nullptr;
    bool m_bTicking = false;
    bool m_bSyncing = false;  // the view's selection is being set from the core
    bool m_bInitialised = false;
    bool m_bDestroyed = false;
};

}  // namespace bexora
