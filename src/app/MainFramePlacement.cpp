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
#include <QScreen>
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

// The window's place and bars: stored on close, read back at start.

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
    const QRect normal = m_normalRect.isValid()      ? m_normalRect
                         : normalGeometry().isValid() ? normalGeometry()
                                                      : geometry();
    const WindowRect r{normal.left(), normal.top(), normal.left() + normal.width(),
                       normal.top() + normal.height()};
    const bool minimised = isMinimized();
    const bool maximised = windowState() & Qt::WindowMaximized;
    store.WriteString(setting::WindowRect, FormatWindowRect(r));
    store.WriteInt(setting::WindowIcon, minimised ? 1 : 0);
    store.WriteInt(setting::WindowMax, maximised ? 1 : 0);
    // The bars have a section of their own: "Window size"/"state" is the
    // item list's column layout.
    const QByteArray state = saveState();
    store.WriteBinary(setting::BarState, std::vector<uint8_t>(state.begin(), state.end()));
    store.WriteInt(setting::StatusBarShown, statusBar()->isVisibleTo(this) ? 1 : 0);
}

void CMainFrame::RestoreMaximised(const QRect& normal) {
    m_normalRect = normal;
    QScreen* screen = QGuiApplication::screenAt(normal.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !m_normalRect.isValid()) return;
    if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized)) return;
    // Un-maximised: back to the normal place (a window manager would put it
    // where it was shown, which is the whole screen here).
    const QRect normal = m_normalRect;
    m_normalRect = QRect();
    setGeometry(normal);
}

void CMainFrame::RestoreBarState() {
    CSettingsStore& store = Settings();
    std::vector<uint8_t> state;
    if (store.GetBinary(setting::BarState, state))
        restoreState(QByteArray(reinterpret_cast<const char*>(state.data()), static_cast<int>(state.size())));
    statusBar()->setVisible(store.GetInt(setting::StatusBarShown) != 0);
    UpdateCommandUI();
}

}  // namespace bexora
