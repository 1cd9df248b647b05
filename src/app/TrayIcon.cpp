#include "app/TrayIcon.h"

#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include "app/ToolBarIcons.h"
#include "base/ui/AnsiText.h"

namespace bexora {

namespace {
bool SystemTrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

constexpr int kBalloonTitleMax = 63;
constexpr int kBalloonTextMax = 255;
constexpr int kBalloonMs = 5000;
}  // namespace

bool (*CTrayIcon::s_trayAvailable)() = &SystemTrayAvailable;

CTrayIcon::CTrayIcon(QWidget* frame, QMenu* popup)
    : m_pFrame(frame), m_pPopup(popup), m_pIcon(new QSystemTrayIcon(this)) {
    m_pIcon->setIcon(AppIcon());
    m_pIcon->setToolTip("Bexora");
    // Trays that draw their own menus (the D-Bus kind) never report the
    // right button; they show this one.
    if (popup) m_pIcon->setContextMenu(popup);
    connect(m_pIcon, &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
    connect(m_pIcon, &QSystemTrayIcon::messageClicked, this, &CTrayIcon::OnMessageClicked);
    if (frame) frame->installEventFilter(this);
}

CTrayIcon::~CTrayIcon() {
    if (m_pIcon->isVisible()) m_pIcon->hide();
}

bool CTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pFrame && event->type() == QEvent::WindowStateChange &&
        (m_pFrame->windowState() & Qt::WindowMinimized)) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if (!(change->oldState() & Qt::WindowMinimized))
            m_restoreState = change->oldState() & ~Qt::WindowMinimized;
        OnSysMinimize();
    }
    return QObject::eventFilter(watched, event);
}

bool CTrayIcon::OnSysMinimize() {
    if (!m_pFrame || !m_bTrayEnabled || !s_trayAvailable()) return false;
    // Already there: the window is hidden once, not again.
    if (m_bInTray || m_pIcon->isVisible()) return false;
    if (!(m_pFrame->windowState() & Qt::WindowMinimized)) m_restoreState = m_pFrame->windowState();
    m_pIcon->show();
    if (!m_pIcon->isVisible()) return false;
    m_bInTray = 1;
    m_pFrame->hide();
    // Hidden, not minimised: showing it again gives the window as it was.
    m_pFrame->setWindowState(m_restoreState);
    return true;
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::DoubleClick:
            Restore();
            break;
        case QSystemTrayIcon::Context:
            ShowPopup();
            break;
        default:  // a single click or the middle button does nothing
            break;
    }
}

void CTrayIcon::ShowPopup() {
    // Trays that show the context menu themselves have done so already.
    if (!m_pPopup || m_pPopup->isVisible()) return;
    if (m_pFrame) m_pFrame->activateWindow();
    if (!m_pPopup->actions().isEmpty()) m_pPopup->setDefaultAction(m_pPopup->actions().first());
    m_pPopup->popup(QCursor::pos());
}

void CTrayIcon::OnMessageClicked() {
    Restore();
}

void CTrayIcon::Restore() {
    if (!m_bInTray) return;
    m_pIcon->hide();
    m_bInTray = 0;
    if (!m_pFrame) return;
    m_pFrame->setWindowState(m_restoreState);
    m_pFrame->show();
    m_pFrame->raise();
    m_pFrame->activateWindow();
}

void CTrayIcon::ShowBalloon(const std::string& title, const std::string& text) {
    if (m_bInTray && m_pIcon->isVisible()) {
        m_pIcon->showMessage(FromAnsi(title).left(kBalloonTitleMax),
                             FromAnsi(text).left(kBalloonTextMax), QSystemTrayIcon::Information,
                             kBalloonMs);
        return;
    }
    if (!s_trayAvailable() && m_fallback) m_fallback(title, text);
}

void CTrayIcon::SetFallback(std::function<void(const std::string&, const std::string&)> fallback) {
    m_fallback = std::move(fallback);
}

}  // namespace bexora
