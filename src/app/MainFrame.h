#pragma once
// CMainFrame: the main window. Its middle is a multiple-document area with
// one child window (CChildFrame) per item list; around it the menus (one set
// while no list is open, a fuller one while one is), the tool bar, the
// address bar in a row of its own, the status bar with the countdown pane,
// and the tray icon. It runs the application-wide commands (options, site
// time, program update, mail and web links, the list's position) and hands
// the others to the active child window.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/RecentFiles.h"

class QAction;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QSessionManager;
class QToolBar;

namespace bexora {

class CChildFrame;
class CTrayIcon;
class CVersionWatch;
class CDesktopSession;
class CebayDoc;
class CebayView;

// "Rect" as the program writes it and reads it back.
struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};
constexpr WindowRect kDefaultWindowRect{128, 251, 891, 825};
// The busy indicator of "Get eBay Time" while the time page is read.
constexpr const char* kReadingSiteTimeText = "Reading the site's clock...";
// "%04d %04d %04d %04d".
std::string FormatWindowRect(const WindowRect& r);
// The four numbers read by decimal conversion from offsets 0, 5, 10 and 15;
// an empty text or a non-positive width or height gives the default.
WindowRect ParseWindowRect(const std::string& text);

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // The frame's creation: bars, menus, tray data, the list position.
    bool Create();

    // ---- documents ----
    // A new empty item list in a new child window.
    CChildFrame* OnFileNew();
    // Opens path in a new child window (or activates the window that has it
    // open). Null when it cannot be read: the message has been shown.
    CChildFrame* OpenDocumentFile(const std::string& path);
    // The empty list opened at start-up in place of one another program
    // runs: once that list opens here, the stand-in goes (window, file and
    // recent entry) unless something was added to it meanwhile.
    void SetStandIn(CChildFrame* child);
    void DropStandIn();
    // The item window the commands act on: the active one, or the one whose
    // "New Window" browser window is active.
    CChildFrame* ActiveChild() const;
    // The browser pane the browser commands act on: the active "New Window"
    // window's, else the active item window's.
    CebayView* ActiveBrowser() const;
    std::vector<CChildFrame*> Children() const;
    CRecentFileList& RecentFiles() { return m_recent; }
    // Adds path to the top of the recent-file list and stores the list.
    void AddToRecentFileList(const std::string& path);
    // A child window was created, activated or closed: menus and title.
    void OnChildrenChanged();

    // ---- commands ----
    // Runs a command of the menus or the tool bar; false when it is unknown
    // or has nothing to act on.
    bool OnCommand(int id);
    QAction* Action(int id) const;
    // The commands' enabled and checked states from the active window.
    void UpdateCommandUI();
    // The menu bar as shown now: each top-level menu's title and its items'
    // texts with their command ids (0 for separators and submenus).
    QMenu* BidMenu() const { return m_pBidMenu; }
    QMenu* TrayMenu() const { return m_pFileMenu128; }
    bool ShowsDocumentMenu() const { return m_bDocMenu; }

    // ---- the address bar ----
    QComboBox* AddressBar() const { return m_pAddress; }
    std::string AddressText() const;
    void SetAddressText(const std::string& text);
    // Enter in the address bar: Ctrl completes "www." + text + ".com",
    // Shift ".net"; navigates the active item window's browser pane.
    void NavigateToAddress(Qt::KeyboardModifiers modifiers);
    void NavigateToAddress();
    // An address chosen in the drop-down list.
    void OnAddressSelected(int index);

    // ---- the item list's position ----
    int m_nListPos = 1;
    // 32782..32785: the position is stored and the active item window is
    // closed (with the close questions) and opened again in it. false when
    // the window may not close: the old position stays.
    bool OnListPosition(int pos);
    bool SetListPosition();

    // ---- status bar and tray ----
    void SetCountdownText(const std::string& text);
    QLabel* CountdownPane() const { return m_pCountdown; }
    void ShowBalloon(const std::string& title, const std::string& text);
    // A balloon about an item: a desktop notification where the session has
    // a notification service, else the balloon above.
    void ShowItemBalloon(const std::string& title, const std::string& text,
                         const std::string& itemNumber, int level);
    CDesktopSession* DesktopSession() const { return m_pDesktop; }
    bool IsInTray() const;
    // Shown, not minimised, not in the tray, and the active window.
    bool UserSeesWindow() const;
    CTrayIcon* Tray() const { return m_pTray.get(); }

    // The session manager asked whether the session may end: the pending
    // bid question is skipped while closing.
    bool m_bEndingSession = false;
    void OnCommitDataRequest(QSessionManager& manager);

    // Placement and bar state, written when the frame is destroyed.
    void SavePlacement();
    // The tool bars' and the status bar's state as stored (start-up).
    void RestoreBarState();
    // Start-up of a window closed maximised: it takes the screen's free
    // area before the lists are built in it (their panes are laid out for
    // that size, with or without a window manager that maximises), and
    // normal is where un-maximising puts it.
    void RestoreMaximised(const QRect& normal);
    // The newer-version check the lists' ticks start.
    CVersionWatch& VersionWatch() { return *m_pVersionWatch; }
    // The child area's client size (for the panes' default sizes).
    QSize ChildClientSize() const;
    QMdiArea* MdiArea() const { return m_pMdi; }
    // The printer every print command uses: landscape unless set up otherwise.
    QPrinter& Printer();

    // Test seams for the file dialogs (empty answer: cancelled).
    static std::function<std::string(QWidget*, bool save, const std::string& suggested)> s_fileDialog;
    // How "Send Email to Us" and "Visit Us Online" open their link.
    static std::function<void(const std::string& url)> s_openUrl;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateAddressBar();
    void CreateStatusBar();
    void FillRecentFiles(QMenu* menu, QAction* before);
    void UpdateTitle();
    QMdiSubWindow* ActiveSubWindow() const;
    CChildFrame* AddChild(std::unique_ptr<CebayDoc> doc);
    QAction* NewAction(int id, const QString& text, const QString& strings = {});
    bool OnFileSave(bool saveAs);
    void OnSiteTime();
    void OnEditCommand(int id);
    void OnWindowCommand(int id);
    void OnNextPane(bool forward);
    void OnAbout();

    QMdiArea* m_pMdi = nullptr;
    QComboBox* m_pAddress = nullptr;
    QLabel* m_pCountdown = nullptr;
    QLabel* m_pClockPane = nullptr;
    void UpdateClockPane();
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pAddressRow = nullptr;
    std::map<int, QAction*> m_actions;
    std::vector<QMenu*> m_menus128, m_menus129;
    QMenu* m_pFileMenu128 = nullptr;
    QMenu* m_pFileMenu129 = nullptr;
    QMenu* m_pBidMenu = nullptr;
    QAction* m_pMruAnchor128 = nullptr;
    QAction* m_pMruAnchor129 = nullptr;
    std::vector<QAction*> m_mruActions;
    bool m_bDocMenu = false;
    bool m_bMenusBuilt = false;
    bool m_bClosing = false;
    bool m_bPlacementSaved = false;
    QRect m_normalRect;
    QPointer<CChildFrame> m_standIn;  // set while the window is maximised by RestoreMaximised
    CRecentFileList m_recent;
    std::unique_ptr<CTrayIcon> m_pTray;
    CDesktopSession* m_pDesktop = nullptr;  // a child QObject
    std::unique_ptr<QPrinter> m_pPrinter;
    CVersionWatch* m_pVersionWatch = nullptr;  // a child of the frame
};

}  // namespace bexora
