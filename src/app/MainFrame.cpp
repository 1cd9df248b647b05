#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
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
#include "base/Prompt.h"
#include "base/Settings.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "base/ui/DialogRunner.h"
#include "app/OptionsSheet.h"
#include "base/ui/ShellCommands.h"
#include "app/ToolBarIcons.h"
#include "app/DesktopSession.h"
#include "app/TrayIcon.h"
#include "app/VersionWatch.h"
#include "listview/ui/WarnDlg.h"
#include "base/ui/AnsiText.h"
#include "listview/ui/ListPrint.h"
#include "model/ebayDoc.h"
#include "site/SiteEndpoints.h"
#include "site/SiteTime.h"
#include "update/ui/URLDownloadDlg.h"

namespace bexora {

namespace {

const char* const kLeaveWebPageHint =
    "Tab moves among the web page's links; F6 goes on to the address bar and the item list";

void TellNoOutsideProgram(const std::string& url, const std::string& why) {
    ShowPrompt("No web browser or mail program could open\n" + url + "\n(" + why +
                   ")\n\nOpen it yourself, or choose a default web browser in your desktop's "
                   "settings.",
               PromptButtons::Ok, PromptIcon::Warning);
}

// xdg-open says by its exit status whether a program took the address (3:
// none for it, 4: it failed); Qt's own opener only knows that it started one.
// A browser that xdg-open waits for may end much later: its status is not
// about the opening any more.
void OpenOutside(const std::string& url) {
    const QString opener = QStandardPaths::findExecutable("xdg-open");
    if (opener.isEmpty()) {
        if (!QDesktopServices::openUrl(QUrl(FromAnsi(url))))
            TellNoOutsideProgram(url, "xdg-open is not installed and no web browser was found");
        return;
    }
    auto* process = new QProcess(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    auto ended = [process, started, url](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        if ((status != QProcess::NormalExit || code != 0) && started->elapsed() < 30000)
            TellNoOutsideProgram(url, "xdg-open ended with status " + std::to_string(code));
    };
    auto failed = [process, url](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        process->deleteLater();
        TellNoOutsideProgram(url, "xdg-open could not be started");
    };
    QObject::connect(process, &QProcess::finished, process, ended);
    QObject::connect(process, &QProcess::errorOccurred, process, failed);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(opener, {FromAnsi(url)});
}

}  // namespace

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
    OpenOutside(url);
};

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
        // No tray and no notification service: every balloon comes with its
        // notice, which the notice window shows when its level passes the
        // filter; the balloon itself shows on the status bar for a while
        // (adding it to the notice window repeated each line, past the filter).
        statusBar()->showMessage(FromAnsi(title + ": " + text), 10000);
    });
    m_nListPos = Settings().GetInt(setting::ViewPos);
    m_pVersionWatch = new CVersionWatch(this);
    m_pDesktop = new CDesktopSession(this, [this] {
        if (m_pTray && m_pTray->IsInTray()) m_pTray->Restore();
        if (isMinimized()) showNormal();
        raise();
        activateWindow();
    });

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &CMainFrame::OnCommitDataRequest,
                Qt::DirectConnection);

    // The commands' enabled and checked states follow the active window,
    // as the old framework's idle update did.
    auto* idle = new QTimer(this);
    connect(idle, &QTimer::timeout, this, &CMainFrame::UpdateCommandUI);
    idle->start(250);
    // Tab stays within the web page, so the way out is said when it comes in.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        CebayView* web = ActiveChild() ? ActiveBrowser() : nullptr;
        if (web && now && (now == web || web->isAncestorOf(now) || web->focusProxy() == now))
            statusBar()->showMessage(kLeaveWebPageHint, 8000);
    });
    OnChildrenChanged();
    return true;
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
    // A new list has its name from the start and is one of the recent files
    // at once (its file is written by the first save).
    const std::string path = doc->GetPathName();
    CChildFrame* child = AddChild(std::move(doc));
    if (!path.empty()) AddToRecentFileList(path);
    // A new list's name may be an old list's that another program runs.
    CListLock lock;
    if (child && lock.TryAcquire(child->Doc().GetPathName())) child->ServeList(lock);
    return child;
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
    // One program runs a list: taken before it is read.
    CListLock lock;
    if (!AcquireListForWindow(ec ? path : full, lock, this)) return nullptr;
    auto doc = std::make_unique<CebayDoc>();
    if (!doc->OnOpenDocument(ec ? path : full)) return nullptr;
    doc->SetPathName(ec ? path : full);
    CChildFrame* child = AddChild(std::move(doc));
    child->ServeList(lock);
    AddToRecentFileList(child->Doc().GetPathName());
    return child;
}

void CMainFrame::SetStandIn(CChildFrame* child) {
    m_standIn = child;
}

void CMainFrame::DropStandIn() {
    CChildFrame* child = m_standIn.data();
    m_standIn = nullptr;
    if (!child || !child->Doc().Items().empty()) return;
    const std::string path = child->Doc().GetPathName();
    if (!child->close()) return;
    m_pMdi->removeSubWindow(child);
    delete child;
    // Its file is the empty list its close wrote; it was never the user's.
    std::error_code ec;
    std::filesystem::remove(path, ec);
    for (int i = m_recent.GetSize() - 1; i >= 0; --i)
        if (m_recent[i] == path) m_recent.Remove(i);
    m_recent.WriteList();
    OnChildrenChanged();
}

void CMainFrame::AddToRecentFileList(const std::string& path) {
    m_recent.Add(path);
    m_recent.WriteList();
}

QMdiSubWindow* CMainFrame::ActiveSubWindow() const {
    if (!m_pMdi) return nullptr;
    QMdiSubWindow* active = m_pMdi->activeSubWindow();
    if (!active) active = m_pMdi->currentSubWindow();
    if (!active && m_pMdi->subWindowList().size() == 1) active = m_pMdi->subWindowList().front();
    return active;
}

CChildFrame* CMainFrame::ActiveChild() const {
    QMdiSubWindow* active = ActiveSubWindow();
    if (auto* child = qobject_cast<CChildFrame*>(active)) return child;
    if (auto* extra = qobject_cast<CBrowserWindow*>(active)) return extra->Owner();
    return nullptr;
}

CebayView* CMainFrame::ActiveBrowser() const {
    if (auto* extra = qobject_cast<CBrowserWindow*>(ActiveSubWindow())) return extra->View();
    CChildFrame* child = ActiveChild();
    return child ? child->BrowserPane() : nullptr;
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
    // A maximised list window adds " - [its title]" to this title itself:
    // naming the list here as well showed it twice.
    setWindowTitle(child && !child->isMaximized() ? "Bexora - " + child->windowTitle()
                                                  : QString("Bexora"));
}

// ---- status bar and tray ----

void CMainFrame::SetCountdownText(const std::string& text) { m_pCountdown->setText(FromAnsi(text)); }

void CMainFrame::ShowBalloon(const std::string& title, const std::string& text) {
    if (m_pTray) m_pTray->ShowBalloon(title, text);
}

void CMainFrame::ShowItemBalloon(const std::string& title, const std::string& text,
                                 const std::string& itemNumber, int level) {
    // The user looking at the window sees the notice and the row: a desktop
    // notification on top of them is noise.
    if (UserSeesWindow()) {
        statusBar()->showMessage(FromAnsi(title + ": " + text), 10000);
        return;
    }
    if (m_pDesktop && m_pDesktop->Notify(title, text, itemNumber, level)) return;
    ShowBalloon(title, text);
}

bool CMainFrame::UserSeesWindow() const {
    return isVisible() && !isMinimized() && isActiveWindow() && !IsInTray();
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

}  // namespace bexora
