#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPointer>
#include <QPrinter>
#include <QSessionManager>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWhatsThis>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/ListOwnerHost.h"
#include "base/ui/BusyWork.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "base/ui/DialogRunner.h"
#include "app/OptionsSheet.h"
#include "base/ui/ShellCommands.h"
#include "app/ToolBarIcons.h"
#include "app/TrayIcon.h"
#include "listview/ui/WarnDlg.h"
#include "base/ui/AnsiText.h"
#include "listview/ui/ListPrint.h"
#include "model/ebayDoc.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "update/ui/URLDownloadDlg.h"

namespace bexora {

constexpr const char* kSupportMail = "support@halvane.com";

// Routing the commands: every menu item, tool-bar button, accelerator and
// row-menu choice ends up in OnCommand, once.

namespace {

// Commands that need an item window to act on.
bool NeedsDocument(int id) {
    switch (id) {
    case cmd::kFileNew:
    case cmd::kFileOpen:
    case cmd::kFilePrintSetup:
    case cmd::kAppExit:
    case cmd::kViewToolBar:
    case cmd::kViewStatusBar:
    case cmd::kListTop:
    case cmd::kListBottom:
    case cmd::kListLeft:
    case cmd::kListRight:
    case cmd::kSiteTime:
    case cmd::kOptions:
    case cmd::kCheckUpdate:
    case cmd::kHelpFinder:
    case cmd::kSendEmail:
    case cmd::kVisitOnline:
    case cmd::kAppAbout:
    case cmd::kEditCopy:
    case cmd::kEditPaste:
    case cmd::kEditCut:
    case cmd::kEditUndo:
    case cmd::kNextPane:
    case cmd::kPrevPane: return false;
    default: return true;
    }
}

bool IsListCommand(int id) {
    switch (id) {
    case cmd::kAddSingleItem:
    case cmd::kDeleteItem:
    case cmd::kBidOnItem:
    case cmd::kCancelPendingBid:
    case cmd::kUpdateSelected:
    case cmd::kCheckNow:
    case cmd::kUpdateAll:
    case cmd::kViewHistory:
    case cmd::kNotes:
    case cmd::kSelectAll:
    case cmd::kExport: return true;
    default: return false;
    }
}

}  // namespace

void CMainFrame::UpdateCommandUI() {
    CChildFrame* child = ActiveChild();
    for (auto& [id, action] : m_actions)
        if (NeedsDocument(id) && !(id >= cmd::kFileMru1 && id < cmd::kFileMru1 + 4))
            action->setEnabled(child != nullptr);
    if (child) {
        CebayView* web = ActiveBrowser();
        Action(cmd::kGoBack)->setEnabled(web->history()->canGoBack());
        Action(cmd::kGoForward)->setEnabled(web->history()->canGoForward());
        const bool hasSelection = !child->ListPane()->Core().GetSelectedRows().empty();
        for (int id : {cmd::kDeleteItem, cmd::kBidOnItem, cmd::kCancelPendingBid,
                       cmd::kUpdateSelected, cmd::kCheckNow, cmd::kNotes})
            Action(id)->setEnabled(hasSelection);
    }
    for (int pos = 0; pos < 4; ++pos) Action(cmd::kListTop + pos)->setChecked(m_nListPos == pos);
    // "View Pos" values beyond 3 are the right-hand layout.
    if (m_nListPos < 0 || m_nListPos > 3) Action(cmd::kListRight)->setChecked(true);
    Action(cmd::kViewToolBar)->setChecked(m_pToolBar->isVisibleTo(this));
    Action(cmd::kViewStatusBar)->setChecked(statusBar()->isVisibleTo(this));
    UpdateTitle();
}

// ---- commands ----

bool CMainFrame::OnCommand(int id) {
    CChildFrame* child = ActiveChild();
    if (NeedsDocument(id) && !child && id != cmd::kFileClose) return false;
    if (IsListCommand(id)) return child->ListPane()->OnItemCommand(id);
    if (id >= cmd::kFileMru1 && id < cmd::kFileMru1 + CRecentFileList::kSize) {
        const int index = id - cmd::kFileMru1;
        if (index >= m_recent.GetSize()) return false;
        const std::string path = m_recent[index];
        // A list another program runs is still a recent list.
        if (!OpenDocumentFile(path) && !ListHasOwner(path)) {
            m_recent.Remove(index);
            m_recent.WriteList();
        }
        return true;
    }
    switch (id) {
    case cmd::kFileNew: return OnFileNew() != nullptr;
    case cmd::kFileOpen: {
        const std::string path = s_fileDialog(this, false, Settings().GetString(setting::WorkDir));
        return !path.empty() && OpenDocumentFile(path) != nullptr;
    }
    case cmd::kFileClose:
        // The active window: an item window, or one of its "New Window"s.
        if (!child) return false;
        ActiveSubWindow()->close();
        return true;
    case cmd::kFileSave: return OnFileSave(false);
    case cmd::kFileSaveAs: return OnFileSave(true);
    case cmd::kFilePrint:
    case cmd::kFilePrintPreview: {
        // The pane with the focus prints: the page or the list.
        const bool list = child->ListPane()->hasFocus() ||
                          child->ListPane()->isAncestorOf(QApplication::focusWidget());
        if (list) {
            if (id == cmd::kFilePrint) OnListFilePrint(*child->ListPane(), &Printer());
            else OnListFilePrintPreview(*child->ListPane(), &Printer());
        } else if (id == cmd::kFilePrint) {
            ActiveBrowser()->OnFilePrint();
        } else {
            ActiveBrowser()->OnFilePrintPreview();
        }
        return true;
    }
    case cmd::kFilePrintSetup: {
        QPageSetupDialog dialog(&Printer(), this);
        ExecDialog(dialog);
        return true;
    }
    case cmd::kAppExit: close(); return true;
    case cmd::kEditCopy:
    case cmd::kEditPaste:
    case cmd::kEditCut:
    case cmd::kEditUndo: OnEditCommand(id); return true;
    case cmd::kViewToolBar:
        m_pToolBar->setVisible(!m_pToolBar->isVisibleTo(this));
        UpdateCommandUI();
        return true;
    case cmd::kViewStatusBar:
        statusBar()->setVisible(!statusBar()->isVisibleTo(this));
        UpdateCommandUI();
        return true;
    case cmd::kListTop:
    case cmd::kListBottom:
    case cmd::kListLeft:
    case cmd::kListRight: return OnListPosition(id - cmd::kListTop);
    case cmd::kGoBack: ActiveBrowser()->OnGoBack(); return true;
    case cmd::kGoForward: ActiveBrowser()->OnGoForward(); return true;
    case cmd::kRefresh: ActiveBrowser()->OnRefresh(); return true;
    case cmd::kStop: ActiveBrowser()->OnStop(); return true;
    case cmd::kGoHome: ActiveBrowser()->OnGoHome(); return true;
    case cmd::kAddFromPage:
        // From the tool bar or the menu with the browser focused: the pane
        // adds and the list is saved with the document later; through the
        // list it repaints and saves at once.
        if (child->ListPane()->hasFocus()) child->ListPane()->OnItemCommand(id);
        else ActiveBrowser()->OnAddItemFromBrowserPage([child = QPointer<CChildFrame>(child)](const PageAddResult&) {
            if (child) child->ListChanged();
        });
        return true;
    case cmd::kSiteTime: OnSiteTime(); return true;
    case cmd::kOptions: RunOptionsSheet(this, [this] { return AddressText(); }); return true;
    case cmd::kCheckUpdate:
        // The new copy starts once this one has closed and saved; a close
        // the user cancels cancels the restart too.
        if (RunCheckProgramUpdate(this) && close()) RestartAfterExit();
        return true;
    case cmd::kWindowNew:
    case cmd::kWindowCascade:
    case cmd::kWindowTile:
    case cmd::kWindowArrange:
    case cmd::kWindowSplit: OnWindowCommand(id); return true;
    case cmd::kNextPane:
    case cmd::kPrevPane: OnNextPane(id == cmd::kNextPane); return true;
    case cmd::kHelpFinder: s_openUrl(site::VendorUrl() + "/help.html"); return true;
    case cmd::kSendEmail:
        s_openUrl(std::string("mailto:") + kSupportMail + "?subject=Request%20for:");
        return true;
    case cmd::kVisitOnline: s_openUrl(site::VendorUrl()); return true;
    case cmd::kAppAbout: OnAbout(); return true;
    default: return false;
    }
}

bool CMainFrame::OnFileSave(bool saveAs) {
    CChildFrame* child = ActiveChild();
    if (!child) return false;
    CebayDoc& doc = child->Doc();
    std::string path = doc.GetPathName();
    if (saveAs || path.empty()) {
        const std::string suggested = path.empty()
                                          ? Settings().GetString(setting::WorkDir) + "/" + doc.GetTitle()
                                          : path;
        path = s_fileDialog(this, true, suggested);
        if (path.empty()) return false;
    }
    doc.RebuildItemList();
    if (!doc.OnSaveDocument(path)) return false;
    child->setWindowTitle(FromAnsi(doc.GetTitle().empty() ? doc.GetPathName() : doc.GetTitle()));
    AddToRecentFileList(doc.GetPathName());
    UpdateTitle();
    return true;
}

void CMainFrame::OnSiteTime() {
    // The time page may take its time-outs (three tries); the lists go on
    // ticking and sniping meanwhile.
    auto report = std::make_shared<std::string>();
    if (!RunWithBusyIndicator(this, "Bexora", kReadingSiteTimeText,
                              [report] { *report = SiteTimeReport(); }))
        return;
    ShowPrompt(*report, PromptButtons::Ok, PromptIcon::Information);
}

void CMainFrame::OnEditCommand(int id) {
    QWidget* focus = QApplication::focusWidget();
    CChildFrame* child = ActiveChild();
    if (auto* edit = qobject_cast<QLineEdit*>(focus)) {
        if (id == cmd::kEditCopy) edit->copy();
        else if (id == cmd::kEditPaste) edit->paste();
        else if (id == cmd::kEditCut) edit->cut();
        else edit->undo();
        return;
    }
    CebayView* web = ActiveBrowser();
    if (web && (focus == web || web->isAncestorOf(focus))) {
        static const std::map<int, QWebEnginePage::WebAction> actions = {
            {cmd::kEditCopy, QWebEnginePage::Copy}, {cmd::kEditPaste, QWebEnginePage::Paste},
            {cmd::kEditCut, QWebEnginePage::Cut},   {cmd::kEditUndo, QWebEnginePage::Undo}};
        web->triggerPageAction(actions.at(id));
        return;
    }
    if (child && id == cmd::kEditCopy) {
        // The selected rows as tab-separated text, as a spreadsheet takes it.
        CebayListView& list = *child->ListPane();
        QString text;
        for (int row : list.Core().GetSelectedRows()) {
            QStringList cells;
            for (int col = 0; col < 13; ++col) cells << FromAnsi(list.OnGetCellText(row, col));
            text += cells.join('\t') + '\n';
        }
        if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
    }
}

void CMainFrame::OnWindowCommand(int id) {
    CChildFrame* child = ActiveChild();
    switch (id) {
    case cmd::kWindowCascade: m_pMdi->cascadeSubWindows(); break;
    case cmd::kWindowTile: m_pMdi->tileSubWindows(); break;
    case cmd::kWindowArrange: {
        // Minimised windows in a row along the bottom edge.
        int x = 0;
        for (QMdiSubWindow* w : m_pMdi->subWindowList()) {
            if (!w->isMinimized()) continue;
            w->move(x, m_pMdi->viewport()->height() - w->height());
            x += w->width();
        }
        break;
    }
    case cmd::kWindowSplit:
        if (child) child->OnSplit();
        break;
    case cmd::kWindowNew:
        // Another browser window onto the same list: its adds go to it.
        if (child) child->OnNewWindow(m_pMdi);
        break;
    default: break;
    }
}

void CMainFrame::OnNextPane(bool forward) {
    // The web page keeps Tab for its own links and fields; F6 is the way
    // out of it: address bar, item list, web page, round again (Ctrl+Tab
    // stays the list windows' own: it goes to the next list).
    CChildFrame* child = ActiveChild();
    std::vector<QWidget*> panes;
    if (m_pAddress->isVisible()) panes.push_back(m_pAddress);
    if (child) {
        panes.push_back(child->ListPane());
        panes.push_back(ActiveBrowser());
    }
    if (panes.empty()) return;
    QWidget* focus = QApplication::focusWidget();
    const int count = static_cast<int>(panes.size());
    int at = -1;
    for (int i = 0; i < count; ++i) {
        QWidget* pane = panes[i];
        if (focus && (focus == pane || pane->isAncestorOf(focus) || pane->focusProxy() == focus))
            at = i;
    }
    const int next = at < 0 ? (forward ? 0 : count - 1) : (at + (forward ? 1 : count - 1)) % count;
    panes[next]->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    ExecDialog(dialog);
}

// ---- the list's position ----

bool CMainFrame::OnListPosition(int pos) {
    const int old = m_nListPos;
    m_nListPos = pos;
    const bool moved = SetListPosition();
    if (!moved) m_nListPos = old;  // the window stayed as it was
    UpdateCommandUI();
    return moved;
}

bool CMainFrame::SetListPosition() {
    // The active list's window is laid out again where it is: the list
    // stays open and its bids go on, so nothing needs asking. The next list
    // opens in the chosen layout.
    if (CChildFrame* child = ActiveChild()) child->SetListPosition(m_nListPos);
    Settings().WriteInt(setting::ViewPos, m_nListPos);
    return true;
}

}  // namespace bexora
