#include "app/ui/MainFrame.h"

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

#include "app/settings/Prompt.h"
#include "app/settings/Settings.h"
#include "app/ui/AboutDlg.h"
#include "app/ui/ChildFrame.h"
#include "app/ui/DialogRunner.h"
#include "app/ui/OptionsSheet.h"
#include "app/ui/ShellCommands.h"
#include "app/ui/ToolBarIcons.h"
#include "app/ui/TrayIcon.h"
#include "app/ui/WarnDlg.h"
#include "listctrl/AnsiText.h"
#include "listview/ui/ListPrint.h"
#include "model/ebayDoc.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "update/ui/URLDownloadDlg.h"

namespace bexora {

constexpr const char* kSupportMail = "support@halvane.com";

std::function<std::string(QWidget*, bool, const std::string&)> CMainFrame::s_fileDialog =
    [](QWidget* parent, bool save, const std::string& suggested) {
        const QString filter = "Bexora Files(*.bid)";
        const QString name =
            save ? QFileDialog::getSaveFileName(parent, "Save As", FromAnsi(suggested), filter)
                 : QFileDialog::getOpenFileName(parent, "Open", FromAnsi(suggested), filter);
        if (name.isEmpty()) return std::string();
        std::string path = name.toStdString();
        if (save && path.find('.', path.find_last_of('/') + 1) == std::string::npos) path += ".bid";
        return path;
    };

std::function<void(const std::string&)> CMainFrame::s_openUrl = [](const std::string& url) {
    QDesktopServices::openUrl(QUrl(FromAnsi(url)));
};

std::string FormatWindowRect(const WindowRect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d %04d %04d %04d", r.left, r.top, r.right, r.bottom);
    return text;
}

WindowRect ParseWindowRect(const std::string& text) {
    if (text.empty()) return kDefaultWindowRect;
    auto at = [&](size_t offset) {
        return offset < text.size() ? std::atoi(text.c_str() + offset) : 0;
    };
    WindowRect r{at(0), at(5), at(10), at(15)};
    if (r.Width() <= 0 || r.Height() <= 0) return kDefaultWindowRect;
    return r;
}

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
    case cmd::kUpdateAll:
    case cmd::kViewHistory:
    case cmd::kNotes:
    case cmd::kSelectAll:
    case cmd::kExport: return true;
    default: return false;
    }
}

}  // namespace

CMainFrame::CMainFrame() {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle("Bexora");
}

CMainFrame::~CMainFrame() {
    // Child windows refer to the frame: they go first, each saving its list.
    for (CChildFrame* child : Children()) {
        child->OnDestroyViews();
        delete child;
    }
    if (!m_bPlacementSaved) SavePlacement();
}

bool CMainFrame::Create() {
    setWindowIcon(AppIcon());
    m_pMdi = new QMdiArea(this);
    m_pMdi->setViewMode(QMdiArea::SubWindowView);
    m_pMdi->setOption(QMdiArea::DontMaximizeSubWindowOnActivation, false);
    setCentralWidget(m_pMdi);
    connect(m_pMdi, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow*) { OnChildrenChanged(); });

    CreateActions();
    CreateToolBar();
    CreateAddressBar();
    CreateStatusBar();
    CreateMenus();

    m_recent.ReadList();
    m_pTray = std::make_unique<CTrayIcon>(this, m_pFileMenu128);
    m_pTray->SetFallback([this](const std::string& title, const std::string& text) {
        // No tray: the balloon goes to the active list's notice window.
        CChildFrame* child = ActiveChild();
        if (child && child->ListPane()->NoticeWindow())
            child->ListPane()->NoticeWindow()->AddMessage(title + ": " + text, 3);
        else statusBar()->showMessage(FromAnsi(title + ": " + text), 10000);
    });
    m_nListPos = Settings().GetInt(setting::ViewPos);

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &CMainFrame::OnCommitDataRequest,
                Qt::DirectConnection);

    // The commands' enabled and checked states follow the active window,
    // as the old framework's idle update did.
    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    idle->start(250);
    OnChildrenChanged();
    return true;
}

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
                     0, cmd::kUpdateSelected, cmd::kUpdateAll});
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
    connect(Action(cmd::kViewToolBar), &QAction::toggled, m_pToolBar, &QToolBar::setVisible);
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
    m_pCountdown = new QLabel(bar);
    m_pCountdown->setMinimumWidth(m_pCountdown->fontMetrics().horizontalAdvance(cmd::kCountdownPrompt));
    bar->addPermanentWidget(m_pCountdown);
    bar->showMessage("Ready");
    connect(Action(cmd::kViewStatusBar), &QAction::toggled, bar, &QStatusBar::setVisible);
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

// ---- documents ----

CChildFrame* CMainFrame::AddChild(std::unique_ptr<CebayDoc> doc) {
    auto* child = new CChildFrame(this, std::move(doc), m_nListPos, ChildClientSize());
    m_pMdi->addSubWindow(child);
    connect(child, &QObject::destroyed, this, [this] {
        QTimer::singleShot(0, this, &CMainFrame::OnChildrenChanged);
    });
    child->showMaximized();
    child->OnInitialUpdate();
    OnChildrenChanged();
    return child;
}

CChildFrame* CMainFrame::OnFileNew() {
    auto doc = std::make_unique<CebayDoc>();
    if (!doc->OnNewDocument()) return nullptr;
    return AddChild(std::move(doc));
}

CChildFrame* CMainFrame::OpenDocumentFile(const std::string& path) {
    std::error_code ec;
    const std::string full = std::filesystem::absolute(path, ec).lexically_normal().string();
    for (CChildFrame* child : Children()) {
        if (child->Doc().GetPathName() == full || child->Doc().GetPathName() == path) {
            m_pMdi->setActiveSubWindow(child);
            AddToRecentFileList(child->Doc().GetPathName());
            return child;
        }
    }
    auto doc = std::make_unique<CebayDoc>();
    if (!doc->OnOpenDocument(ec ? path : full)) return nullptr;
    doc->SetPathName(ec ? path : full);
    CChildFrame* child = AddChild(std::move(doc));
    AddToRecentFileList(child->Doc().GetPathName());
    return child;
}

void CMainFrame::AddToRecentFileList(const std::string& path) {
    m_recent.Add(path);
    m_recent.WriteList();
}

CChildFrame* CMainFrame::ActiveChild() const {
    if (!m_pMdi) return nullptr;
    QMdiSubWindow* active = m_pMdi->activeSubWindow();
    if (!active) active = m_pMdi->currentSubWindow();
    auto* child = qobject_cast<CChildFrame*>(active);
    if (!child && m_pMdi->subWindowList().size() == 1)
        child = qobject_cast<CChildFrame*>(m_pMdi->subWindowList().front());
    return child;
}

std::vector<CChildFrame*> CMainFrame::Children() const {
    std::vector<CChildFrame*> out;
    if (!m_pMdi) return out;
    for (QMdiSubWindow* w : m_pMdi->subWindowList())
        if (auto* child = qobject_cast<CChildFrame*>(w)) out.push_back(child);
    return out;
}

void CMainFrame::OnChildrenChanged() {
    const bool docMenu = !Children().empty();
    if (!m_bMenusBuilt || docMenu != m_bDocMenu) {
        m_bMenusBuilt = true;
        m_bDocMenu = docMenu;
        menuBar()->clear();
        for (QMenu* m : docMenu ? m_menus129 : m_menus128) menuBar()->addMenu(m);
    }
    if (!docMenu) m_pCountdown->clear();
    UpdateTitle();
    UpdateCommandUI();
}

void CMainFrame::UpdateTitle() {
    CChildFrame* child = ActiveChild();
    setWindowTitle(child ? "Bexora - " + child->windowTitle() : QString("Bexora"));
}

void CMainFrame::UpdateCommandUI() {
    CChildFrame* child = ActiveChild();
    for (auto& [id, action] : m_actions)
        if (NeedsDocument(id) && !(id >= cmd::kFileMru1 && id < cmd::kFileMru1 + 4))
            action->setEnabled(child != nullptr);
    if (child) {
        CebayView* web = child->BrowserPane();
        Action(cmd::kGoBack)->setEnabled(web->history()->canGoBack());
        Action(cmd::kGoForward)->setEnabled(web->history()->canGoForward());
        const bool hasSelection = !child->ListPane()->Core().GetSelectedRows().empty();
        for (int id : {cmd::kDeleteItem, cmd::kBidOnItem, cmd::kCancelPendingBid,
                       cmd::kUpdateSelected, cmd::kNotes})
            Action(id)->setEnabled(hasSelection);
    }
    for (int pos = 0; pos < 4; ++pos) Action(cmd::kListTop + pos)->setChecked(m_nListPos == pos);
    // "View Pos" values beyond 3 are the right-hand layout.
    if (m_nListPos < 0 || m_nListPos > 3) Action(cmd::kListRight)->setChecked(true);
    Action(cmd::kViewToolBar)->setChecked(m_pToolBar->isVisibleTo(this) || !isVisible());
    Action(cmd::kViewStatusBar)->setChecked(statusBar()->isVisibleTo(this) || !isVisible());
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
        if (!OpenDocumentFile(path)) {
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
        if (!child) return false;
        child->close();
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
            child->BrowserPane()->OnFilePrint();
        } else {
            child->BrowserPane()->OnFilePrintPreview();
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
    case cmd::kViewToolBar: m_pToolBar->setVisible(!m_pToolBar->isVisible()); return true;
    case cmd::kViewStatusBar: statusBar()->setVisible(!statusBar()->isVisible()); return true;
    case cmd::kListTop:
    case cmd::kListBottom:
    case cmd::kListLeft:
    case cmd::kListRight: OnListPosition(id - cmd::kListTop); return true;
    case cmd::kGoBack: child->BrowserPane()->OnGoBack(); return true;
    case cmd::kGoForward: child->BrowserPane()->OnGoForward(); return true;
    case cmd::kRefresh: child->BrowserPane()->OnRefresh(); return true;
    case cmd::kStop: child->BrowserPane()->OnStop(); return true;
    case cmd::kGoHome: child->BrowserPane()->OnGoHome(); return true;
    case cmd::kAddFromPage:
        // From the tool bar or the menu with the browser focused: the pane
        // adds and the list is saved with the document later; through the
        // list it repaints and saves at once.
        if (child->ListPane()->hasFocus()) child->ListPane()->OnItemCommand(id);
        else child->BrowserPane()->OnAddItemFromBrowserPage([child = QPointer<CChildFrame>(child)](const PageAddResult&) {
            if (child) child->ListChanged();
        });
        return true;
    case cmd::kSiteTime: OnSiteTime(); return true;
    case cmd::kOptions: RunOptionsSheet(this, [this] { return AddressText(); }); return true;
    case cmd::kCheckUpdate:
        if (RunCheckProgramUpdate(this)) close();
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
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string report = SiteTimeReport();
    QApplication::restoreOverrideCursor();
    ShowPrompt(report, PromptButtons::Ok, PromptIcon::Information);
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
    if (child && (focus == child->BrowserPane() || child->BrowserPane()->isAncestorOf(focus))) {
        static const std::map<int, QWebEnginePage::WebAction> actions = {
            {cmd::kEditCopy, QWebEnginePage::Copy}, {cmd::kEditPaste, QWebEnginePage::Paste},
            {cmd::kEditCut, QWebEnginePage::Cut},   {cmd::kEditUndo, QWebEnginePage::Undo}};
        child->BrowserPane()->triggerPageAction(actions.at(id));
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
    CChildFrame* child = ActiveChild();
    if (!child) return;
    QWidget* list = child->ListPane();
    QWidget* web = child->BrowserPane();
    QWidget* focus = QApplication::focusWidget();
    const bool inList = focus == list || list->isAncestorOf(focus);
    (void)forward;  // two panes: next and previous are the same one
    (inList ? web : list)->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    ExecDialog(dialog);
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
    if (!child) return;
    if (!child->isMaximized()) child->showMaximized();
    child->BrowserPane()->Navigate(ToAnsi(text));
    // The list holds each address once, whatever its letter case.
    if (m_pAddress->findText(text, Qt::MatchFixedString) < 0) m_pAddress->addItem(text);
}

void CMainFrame::OnAddressSelected(int index) {
    CChildFrame* child = ActiveChild();
    if (!child || index < 0) return;
    child->BrowserPane()->Navigate(ToAnsi(m_pAddress->itemText(index)));
}

// ---- the list's position ----

void CMainFrame::OnListPosition(int pos) {
    m_nListPos = pos;
    SetListPosition();
    UpdateCommandUI();
}

void CMainFrame::SetListPosition() {
    CChildFrame* child = ActiveChild();
    if (!child) return;
    // The window is closed (the list is saved) and the list opened again in
    // the new layout.
    const std::string path = child->Doc().GetPathName();
    child->OnDestroyViews();
    delete child;
    Settings().WriteInt(setting::ViewPos, m_nListPos);
    if (!path.empty()) m_recent.Add(path);
    if (m_recent.GetSize() > 0) {
        const std::string first = m_recent[0];
        if (!OpenDocumentFile(first)) {
            m_recent.Remove(0);
            m_recent.WriteList();
        }
    }
    OnChildrenChanged();
}

// ---- status bar and tray ----

void CMainFrame::SetCountdownText(const std::string& text) { m_pCountdown->setText(FromAnsi(text)); }

void CMainFrame::ShowBalloon(const std::string& title, const std::string& text) {
    if (m_pTray) m_pTray->ShowBalloon(title, text);
}

bool CMainFrame::IsInTray() const { return m_pTray && m_pTray->IsInTray(); }

void CMainFrame::OnCommitDataRequest(QSessionManager& manager) {
    (void)manager;
    m_bEndingSession = true;
}

QSize CMainFrame::ChildClientSize() const {
    QSize size = m_pMdi ? m_pMdi->viewport()->size() : QSize();
    if (size.width() < 100 || size.height() < 100) size = QSize(760, 420);
    return size;
}

QPrinter& CMainFrame::Printer() {
    if (!m_pPrinter) m_pPrinter = NewLandscapePrinter();
    return *m_pPrinter;
}

// ---- closing ----

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Every list is asked first; one that says no keeps the program open.
    for (CChildFrame* child : Children()) {
        if (!child->CanCloseFrame()) {
            event->ignore();
            return;
        }
    }
    for (CChildFrame* child : Children()) {
        child->OnDestroyViews();
        delete child;
    }
    SavePlacement();
    if (m_pTray) m_pTray.reset();
    event->accept();
}

void CMainFrame::SavePlacement() {
    m_bPlacementSaved = true;
    CSettingsStore& store = Settings();
    if (store.GetInt(setting::SaveWindow) == 0) return;
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    const WindowRect r{normal.left(), normal.top(), normal.left() + normal.width(),
                       normal.top() + normal.height()};
    const bool minimised = isMinimized();
    const bool maximised = windowState() & Qt::WindowMaximized;
    store.WriteString(setting::WindowRect, FormatWindowRect(r));
    store.WriteInt(setting::WindowIcon, minimised ? 1 : 0);
    store.WriteInt(setting::WindowMax, maximised ? 1 : 0);
    const QByteArray state = saveState();
    store.WriteBinary(setting::WindowState, std::vector<uint8_t>(state.begin(), state.end()));
}

}  // namespace bexora
