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

// Building the window: the actions with their prompts and keys, menus 128
// and 129, the tool bar, the address bar and the status bar.

namespace {

// Each command's status-bar prompt and tool tip, split at the line break.
struct CommandStrings {
    int id;
    const char* strings;
};
constexpr CommandStrings kStrings[] = {
    {cmd::kFileNew, "Create a new item list\nNew"},
    {cmd::kFileOpen, "Open an existing item list\nOpen"},
    {cmd::kFileClose, "Close the active item list\nClose"},
    {cmd::kFileSave, "Save the active item list\nSave"},
    {cmd::kFileSaveAs, "Save the active item list with a new name\nSave As"},
    {cmd::kFilePrint, "Print the page or the item list\nPrint"},
    {cmd::kFilePrintPreview, "Display full pages\nPrint Preview"},
    {cmd::kFilePrintSetup, "Change the printer and printing options\nPrint Setup"},
    {cmd::kAppExit, "Quit the application; prompts to save documents\nExit"},
    {cmd::kExport, "Export the item list to a spreadsheet text file\nExport to Excel"},
    {cmd::kEditCopy, "Copy the selection and put it on the Clipboard\nCopy"},
    {cmd::kEditPaste, "Insert Clipboard contents\nPaste"},
    {cmd::kSelectAll, "Select all the items of the list\nSelect All"},
    {cmd::kViewToolBar, "Show or hide the toolbar\nToggle ToolBar"},
    {cmd::kViewStatusBar, "Show or hide the status bar\nToggle StatusBar"},
    {cmd::kListTop, "Show the item list above the browser\nList on Top"},
    {cmd::kListBottom, "Show the item list below the browser\nList at the Bottom"},
    {cmd::kListLeft, "Show the item list left of the browser\nList on the Left"},
    {cmd::kListRight, "Show the item list right of the browser\nList on the Right"},
    {cmd::kGoBack, "Go back to the previous page\nBack"},
    {cmd::kGoForward, "Go forward to the next page\nForward"},
    {cmd::kStop, "Stop loading the page\nStop"},
    {cmd::kRefresh, "Load the page again\nRefresh"},
    {cmd::kGoHome, "Go to the eBay home page\neBay Home"},
    {cmd::kAddFromPage, "Add the items shown on the browser page to the list\nAdd Items to the list"},
    {cmd::kAddSingleItem, "Add an item by its item number\nAdd Single Item"},
    {cmd::kDeleteItem, "Delete the selected items from the list\nDelete"},
    {cmd::kBidOnItem, "Set up a bid on the selected item\nBid on Item"},
    {cmd::kCancelPendingBid, "Cancel the pending bid of the selected items\nCancel Pending Bid"},
    {cmd::kViewHistory, "View my bidding history on the site\nView My Bidding History"},
    {cmd::kNotes, "Add or view the notes of the selected item\nNotes"},
    {cmd::kUpdateSelected, "Update the selected items from the site\nUpdate Selected Items"},
    {cmd::kUpdateAll, "Update all the items from the site\nUpdate All Items"},
    {cmd::kCheckNow, "Sign in and open the offer form of the selected items' bids, without bidding\nCheck Now"},
    {cmd::kSiteTime, "Get the official eBay time\nGet Ebay Time"},
    {cmd::kCheckUpdate, "Check for a newer version of the program\nCheck Program Update"},
    {cmd::kOptions, "Configure Bexora\nConfigure Bexora"},
    {cmd::kWindowNew, "Open another window for the active page\nNew Window"},
    {cmd::kWindowCascade, "Arrange windows so they overlap\nCascade Windows"},
    {cmd::kWindowTile, "Arrange windows as non-overlapping tiles\nTile Windows"},
    {cmd::kWindowArrange, "Arrange icons at the bottom of the window\nArrange Icons"},
    {cmd::kWindowSplit, "Give the browser and the list equal halves\nSplit"},
    {cmd::kHelpFinder, "List Help topics\nHelp Topics"},
    {cmd::kSendEmail, "Send an email to the makers of Bexora\nSend Email to Us"},
    {cmd::kVisitOnline, "Visit the Bexora web site\nVisit Us Online"},
    {cmd::kAppAbout, "Display program information, version number and copyright\nAbout"},
};

QString StringsFor(int id) {
    for (const CommandStrings& s : kStrings)
        if (s.id == id) return s.strings;
    return {};
}
}  // namespace

QAction* CMainFrame::NewAction(int id, const QString& text, const QString& strings) {
    auto* action = new QAction(text, this);
    action->setData(id);
    const QString s = strings.isEmpty() ? StringsFor(id) : strings;
    if (!s.isEmpty()) {
        const int nl = s.indexOf('\n');
        action->setStatusTip(nl < 0 ? s : s.left(nl));
        action->setToolTip(nl < 0 ? s : s.mid(nl + 1));
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
    NewAction(cmd::kFileNew, "&New")->setShortcut(QKeySequence("Ctrl+N"));
    NewAction(cmd::kFileOpen, "&Open...")->setShortcut(QKeySequence("Ctrl+O"));
    NewAction(cmd::kFileClose, "&Close");
    NewAction(cmd::kFileSave, "&Save")->setShortcut(QKeySequence("Ctrl+S"));
    NewAction(cmd::kFileSaveAs, "Save &As...");
    NewAction(cmd::kExport, "&Export to Excel");
    NewAction(cmd::kFilePrint, "&Print...")->setShortcut(QKeySequence("Ctrl+P"));
    NewAction(cmd::kFilePrintPreview, "Print Preview");
    NewAction(cmd::kFilePrintSetup, "P&rint Setup...");
    NewAction(cmd::kAppExit, "E&xit");

    NewAction(cmd::kEditCopy, "&Copy")->setShortcuts({QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Insert")});
    NewAction(cmd::kEditPaste, "&Paste")->setShortcuts({QKeySequence("Ctrl+V"), QKeySequence("Shift+Insert")});
    NewAction(cmd::kSelectAll, "Select &All")->setShortcut(QKeySequence("Ctrl+A"));
    // Accelerators without a menu item: they act on the focused field.
    for (auto [id, keys] : {std::pair{cmd::kEditCut, QList<QKeySequence>{QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")}},
                            std::pair{cmd::kEditUndo, QList<QKeySequence>{QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
                            std::pair{cmd::kNextPane, QList<QKeySequence>{QKeySequence("F6")}},
                            std::pair{cmd::kPrevPane, QList<QKeySequence>{QKeySequence("Shift+F6")}}}) {
        QAction* a = NewAction(id, QString());
        a->setShortcuts(keys);
        addAction(a);
    }
    QAction* whatsThis = QWhatsThis::createAction(this);
    whatsThis->setShortcut(QKeySequence("Shift+F1"));
    addAction(whatsThis);

    for (int id : {cmd::kViewToolBar, cmd::kViewStatusBar, cmd::kListTop, cmd::kListBottom,
                   cmd::kListLeft, cmd::kListRight}) {
        static const std::map<int, QString> texts = {
            {cmd::kViewToolBar, "&Toolbar"}, {cmd::kViewStatusBar, "&Status Bar"},
            {cmd::kListTop, "&Top"},         {cmd::kListBottom, "&Bottom"},
            {cmd::kListLeft, "&Left"},       {cmd::kListRight, "&Right"}};
        NewAction(id, texts.at(id))->setCheckable(true);
    }

    NewAction(cmd::kGoBack, "Back");
    NewAction(cmd::kGoForward, "Forward");
    NewAction(cmd::kRefresh, "Refresh");
    NewAction(cmd::kStop, "Stop");
    NewAction(cmd::kGoHome, "eBay Home");

    NewAction(cmd::kAddSingleItem, "&Add Single Item");
    NewAction(cmd::kAddFromPage, "Add Item from Browser Page");
    NewAction(cmd::kBidOnItem, "&Bid on Item");
    NewAction(cmd::kCancelPendingBid, "&Cancel  Pending Bid");
    NewAction(cmd::kDeleteItem, "&Delete Item");
    NewAction(cmd::kViewHistory, "View My Bidding &History");
    NewAction(cmd::kNotes, "Add or View Notes");
    NewAction(cmd::kUpdateSelected, "&Update Selected Items");
    NewAction(cmd::kUpdateAll, "U&pdate All");
    NewAction(cmd::kCheckNow, "Check Bids &Now");

    NewAction(cmd::kSiteTime, "Get eBay Time");
    NewAction(cmd::kCheckUpdate, "&Check Program Update");
    NewAction(cmd::kOptions, "&Options");

    NewAction(cmd::kWindowNew, "&New Window");
    NewAction(cmd::kWindowCascade, "&Cascade");
    NewAction(cmd::kWindowTile, "&Tile");
    NewAction(cmd::kWindowArrange, "&Arrange Icons");
    NewAction(cmd::kWindowSplit, "S&plit");

    NewAction(cmd::kHelpFinder, "&Help Topics")->setShortcut(QKeySequence("F1"));
    NewAction(cmd::kSendEmail, "&Send Email to Us");
    NewAction(cmd::kVisitOnline, "&Visit Us Online");
    NewAction(cmd::kAppAbout, "&About Bexora...");

    for (int i = 0; i < CRecentFileList::kSize; ++i) {
        QAction* a = NewAction(cmd::kFileMru1 + i, QString(), "Open this document\nRecent File");
        m_mruActions.push_back(a);
    }
}

void CMainFrame::CreateMenus() {
    auto menu = [this](const QString& title) { return new QMenu(title, this); };
    auto add = [this](QMenu* m, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0) m->addSeparator();
            else m->addAction(Action(id));
        }
    };

    // Menu 128: no item list open.
    m_pFileMenu128 = menu("&File");
    add(m_pFileMenu128, {cmd::kFileNew, cmd::kFileOpen, 0, cmd::kFilePrintSetup, 0});
    m_pMruAnchor128 = m_pFileMenu128->addSeparator();
    add(m_pFileMenu128, {cmd::kFileClose, cmd::kAppExit});
    QMenu* view128 = menu("&View");
    add(view128, {cmd::kViewToolBar, cmd::kViewStatusBar});
    QMenu* help128 = menu("&Help");
    add(help128, {cmd::kHelpFinder, 0, cmd::kAppAbout});
    m_menus128 = {m_pFileMenu128, view128, help128};

    // Menu 129: an item list is open.
    m_pFileMenu129 = menu("&File");
    add(m_pFileMenu129, {cmd::kFileNew, cmd::kFileOpen, cmd::kFileClose, cmd::kFileSave,
                         cmd::kFileSaveAs, 0, cmd::kExport, 0, cmd::kFilePrint,
                         cmd::kFilePrintPreview, cmd::kFilePrintSetup, 0});
    m_pMruAnchor129 = m_pFileMenu129->addSeparator();
    add(m_pFileMenu129, {cmd::kAppExit});
    QMenu* edit = menu("&Edit");
    add(edit, {cmd::kEditCopy, cmd::kEditPaste, cmd::kSelectAll});
    QMenu* view129 = menu("&View");
    add(view129, {cmd::kViewToolBar, cmd::kViewStatusBar, 0});
    QMenu* listView = view129->addMenu("&List View");
    add(listView, {cmd::kListTop, cmd::kListBottom, cmd::kListLeft, cmd::kListRight});
    QMenu* go = menu("&Go");
    add(go, {cmd::kGoBack, cmd::kGoForward, cmd::kRefresh, cmd::kStop, 0, cmd::kGoHome});
    m_pBidMenu = menu("&Bid");
    add(m_pBidMenu, {cmd::kAddSingleItem, cmd::kAddFromPage, 0, cmd::kBidOnItem,
                     cmd::kCancelPendingBid, cmd::kDeleteItem, 0, cmd::kViewHistory, cmd::kNotes,
                     0, cmd::kUpdateSelected, cmd::kUpdateAll, cmd::kCheckNow});
    QMenu* tools = menu("&Tools");
    add(tools, {cmd::kSiteTime, cmd::kCheckUpdate, cmd::kOptions});
    QMenu* window = menu("&Window");
    add(window, {cmd::kWindowNew, cmd::kWindowCascade, cmd::kWindowTile, cmd::kWindowArrange,
                 cmd::kWindowSplit});
    QMenu* help129 = menu("&Help");
    add(help129, {cmd::kHelpFinder, 0, cmd::kSendEmail, cmd::kVisitOnline, 0, cmd::kAppAbout});
    m_menus129 = {m_pFileMenu129, edit, view129, go, m_pBidMenu, tools, window, help129};

    connect(m_pFileMenu128, &QMenu::aboutToShow, this, [this] { FillRecentFiles(m_pFileMenu128, m_pMruAnchor128); });
    connect(m_pFileMenu129, &QMenu::aboutToShow, this, [this] { FillRecentFiles(m_pFileMenu129, m_pMruAnchor129); });
    for (QMenu* m : m_menus129)
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::FillRecentFiles(QMenu* menu, QAction* before) {
    for (QAction* a : m_mruActions) {
        menu->removeAction(a);
        a->setVisible(false);
    }
    // The recent files sit between two separators; none: only one of them.
    for (int i = 0; i < m_recent.GetSize(); ++i) {
        QAction* a = m_mruActions[i];
        a->setText(FromAnsi(CRecentFileList::MenuText(i, m_recent[i])));
        a->setStatusTip(FromAnsi(m_recent[i]));
        a->setVisible(true);
        menu->insertAction(before, a);
    }
}

void CMainFrame::CreateToolBar() {
    m_pToolBar = addToolBar("Standard");
    m_pToolBar->setObjectName("ToolBar128");
    m_pToolBar->setIconSize(QSize(24, 24));
    m_pToolBar->setMovable(true);
    for (int id : ToolBarButtons()) {
        if (id == 0) {
            m_pToolBar->addSeparator();
            continue;
        }
        QAction* a = Action(id);
        a->setIcon(ToolBarIcon(id));
        m_pToolBar->addAction(a);
    }
    // The menus show the command texts only.
    for (auto& [id, action] : m_actions) action->setIconVisibleInMenu(false);
}

void CMainFrame::CreateAddressBar() {
    addToolBarBreak();
    m_pAddressRow = addToolBar("Address");
    m_pAddressRow->setObjectName("AddressBar");
    m_pAddressRow->addWidget(new QLabel(" Address ", m_pAddressRow));
    m_pAddress = new QComboBox(m_pAddressRow);
    m_pAddress->setObjectName("ctl" + QString::number(cmd::kAddressBarId));
    m_pAddress->setEditable(true);
    m_pAddress->setInsertPolicy(QComboBox::NoInsert);  // the frame keeps the list itself
    m_pAddress->setMinimumWidth(200);
    m_pAddress->setMaxVisibleItems(8);  // a list about 120 pixels high
    m_pAddress->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_pAddress->lineEdit()->installEventFilter(this);
    m_pAddress->setAccessibleName("Address");
    m_pAddress->lineEdit()->setAccessibleName("Address");
    m_pAddressRow->addWidget(m_pAddress);
    connect(m_pAddress, qOverload<int>(&QComboBox::activated), this, &CMainFrame::OnAddressSelected);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    for (const char* text : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(text, bar);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(" SCRL "));
        // The lock keys' states are not known on every desktop: shown dimmed.
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
    }
    // The site's clock as the snipes see it: when it was last measured, this
    // computer's error and how closely it is known.
    m_pClockPane = new QLabel(bar);
    m_pClockPane->setAccessibleName("Site clock");
    bar->addPermanentWidget(m_pClockPane);
    auto* clockTimer = new QTimer(this);
    connect(clockTimer, &QTimer::timeout, this, &CMainFrame::UpdateClockPane);
    clockTimer->start(1000);
    UpdateClockPane();
    m_pCountdown = new QLabel(bar);
    m_pCountdown->setMinimumWidth(m_pCountdown->fontMetrics().horizontalAdvance(cmd::kCountdownPrompt));
    bar->addPermanentWidget(m_pCountdown);
    bar->showMessage("Ready");
}

void CMainFrame::UpdateClockPane() {
    const ClockStatus st = ReadClockStatus();
    m_pClockPane->setVisible(st.measured);
    if (st.measured) m_pClockPane->setText(FromAnsi(SiteClockText(st)));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pAddress->lineEdit() && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            NavigateToAddress(key->modifiers());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- the address bar ----

std::string CMainFrame::AddressText() const { return ToAnsi(m_pAddress->currentText()); }

void CMainFrame::SetAddressText(const std::string& text) {
    m_pAddress->setEditText(FromAnsi(text));
}

void CMainFrame::NavigateToAddress() { NavigateToAddress(QGuiApplication::queryKeyboardModifiers()); }

void CMainFrame::NavigateToAddress(Qt::KeyboardModifiers modifiers) {
    QString text = m_pAddress->currentText();
    if (modifiers & Qt::ControlModifier) {
        text = "www." + text + ".com";
        m_pAddress->setEditText(text);
    } else if (modifiers & Qt::ShiftModifier) {
        text = "www." + text + ".net";
        m_pAddress->setEditText(text);
    }
    text = text.trimmed();
    if (text.isEmpty()) return;
    CChildFrame* child = ActiveChild();
    CebayView* web = ActiveBrowser();
    if (!child || !web) return;
    QMdiSubWindow* window = ActiveSubWindow();
    if (window && !window->isMaximized()) window->showMaximized();
    web->Navigate(ToAnsi(text));
    // The list holds each address once, whatever its letter case.
    if (m_pAddress->findText(text, Qt::MatchFixedString) < 0) m_pAddress->addItem(text);
}

void CMainFrame::OnAddressSelected(int index) {
    CebayView* web = ActiveBrowser();
    if (!web || index < 0) return;
    web->Navigate(ToAnsi(m_pAddress->itemText(index)));
}

}  // namespace bexora
