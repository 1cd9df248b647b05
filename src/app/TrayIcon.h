#pragma once
// The main window's notification-area icon: minimising hides the window
// there instead, a double-click or a click on a balloon brings it back, the
// right button shows the pop-up menu, and the item list's bid outcomes show
// as balloons. Where the desktop has no notification area the window
// minimises normally and balloons go to a fallback (the notice window).

#include <QPointer>
#include <QSystemTrayIcon>
#include <functional>
#include <string>

class QMenu;
class QWidget;

namespace bexora {

class CTrayIcon : public QObject {
    Q_OBJECT
public:
    // frame: the main window, which keeps this object. popup: the tray's
    // pop-up menu (the main window's File menu); neither is owned. Watches
    // frame for being minimised, so the frame needs no code of its own.
    CTrayIcon(QWidget* frame, QMenu* popup);
    ~CTrayIcon() override;  // removes a shown icon

    bool IsInTray() const { return m_bInTray != 0; }
    QSystemTrayIcon* Icon() const { return m_pIcon; }

    // The frame was minimised. With the tray enabled and present: shows the
    // icon, hides the frame and takes back the minimised state. True when
    // it went to the tray; false leaves the window minimised as it is.
    bool OnSysMinimize();
    // Double-click restores; the context request shows the pop-up menu.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    // A click on a balloon restores.
    void OnMessageClicked();
    // Removes the icon and shows the frame again as it was before it went
    // to the tray (maximised stays maximised). Nothing while not in the tray.
    void Restore();

    // With the icon shown: a balloon (title up to 63 characters, text up to
    // 255, information kind, 5 seconds). Without a notification area the
    // fallback gets it; with one but the icon not shown it is dropped.
    // Title and text are Windows-1252.
    void ShowBalloon(const std::string& title, const std::string& text);
    void SetFallback(std::function<void(const std::string&, const std::string&)> fallback);

    // Test seam: whether the desktop has a notification area.
    static bool (*s_trayAvailable)();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowPopup();

    QPointer<QWidget> m_pFrame;
    QPointer<QMenu> m_pPopup;
    QSystemTrayIcon* m_pIcon;
    std::function<void(const std::string&, const std::string&)> m_fallback;
    Qt::WindowStates m_restoreState = Qt::WindowNoState;
    int m_bTrayEnabled = 1;  // minimising goes to the tray; always on
    int m_bInTray = 0;
};

}  // namespace bexora
