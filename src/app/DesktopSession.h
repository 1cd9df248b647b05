#pragma once
// The desktop program's side of the user's session, over Qt DBus:
//  - balloons also go to the freedesktop notification service when the
//    desktop has one. Then the service shows them and the tray does not (the
//    service keeps them in the desktop's message list, which a tray balloon
//    does not, and on most Linux trays a balloon is drawn by that same
//    service, so both would show it twice). Clicking the notification brings
//    the window forward and selects the item, as a balloon click does.
//  - while a bid of an open list is near, logind's sleep lock is held (the
//    policy is the core's CSleepGuard);
//  - logind's PrepareForSleep: the lists save before the sleep and act on
//    waking (their ticks also see a sleep by the clocks alone).
// Without a session or system bus each part quietly does nothing.

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "listview/SleepGuard.h"

class QDBusPendingCallWatcher;
class QMainWindow;

namespace bexora {

class CebayListView;

// logind's lock through Qt DBus (block mode, else delay: see LogindInhibitor.h).
// A bus connection of the window's own that is made again when the bus went
// away (a dbus-daemon restarted, a session that came back): Qt's
// sessionBus() and systemBus() stay dead for the process's life once their
// bus has gone.
class CBusLink {
public:
    explicit CBusLink(bool system) : m_bSystem(system) {}
    ~CBusLink();
    CBusLink(const CBusLink&) = delete;
    CBusLink& operator=(const CBusLink&) = delete;
    // Whether this machine has the bus at all (its address is known).
    bool Present() const;
    // The connection; a dead one is made again (at most every 2 s, and
    // only when the bus is present). Check isConnected().
    QDBusConnection Get();
    // Run on every new connection (signal subscriptions).
    void OnConnect(std::function<void(QDBusConnection&)> fn) { m_onConnect = std::move(fn); }
    int Connections() const { return m_nConnections; }

private:
    bool m_bSystem;
    QString m_name;
    qint64 m_tTried = -1;
    int m_nConnections = 0;
    std::function<void(QDBusConnection&)> m_onConnect;
};

class CQtSleepLock : public ISleepLock {
public:
    bool Take(const std::string& why) override;
    void Release() override;
    CBusLink& Bus() { return m_bus; }
    // "block" or "delay" once logind has answered; "" while none is held.
    const QString& Mode() const { return m_mode; }

private:
    void Ask(const QString& why, const QString& mode, int generation);
    CBusLink m_bus{true};
    QObject m_context;  // the answers' receiver, gone with the lock
    QDBusUnixFileDescriptor m_fd;
    QString m_mode;
    int m_nGeneration = 0;
};

class CDesktopSession : public QObject {
    Q_OBJECT
public:
    // frame: the main window, whose list views are looked for; restore: how
    // to bring it forward (out of the tray too).
    CDesktopSession(QMainWindow* frame, std::function<void()> restore);
    ~CDesktopSession() override;

    // Whether the session has a notification service, as last found (the
    // check runs on the bus and again after a minute; false until known).
    bool NotificationsAvailable();
    // Sends the balloon as a notification; false when there is no service
    // (then the caller shows the balloon its own way). Balloons about one
    // item that come in one go (the core sends two in a row) become one
    // notification: the last.
    bool Notify(const std::string& title, const std::string& text, const std::string& itemNumber,
                int level);
    // The list views open now.
    std::vector<CebayListView*> ListViews() const;
    // One look at the pending bids (a timer calls it every second).
    void UpdateSleepLock();
    CSleepGuard& Guard() { return *m_guard; }
    // Brings the window forward and selects the item in its list.
    void OpenItem(const std::string& itemNumber);

    // Test seam: how many notifications were sent.
    int NotificationsSent() const { return m_nSent; }

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnPrepareForSleep(bool sleeping);

private:
    struct Pending {
        std::string title, text, itemNumber;
        int level = 2;
    };
    void SendPending();
    void CheckNotifications();
    void OnNotifyAnswer(QDBusPendingCallWatcher* watcher, const std::string& itemNumber);

    QMainWindow* m_pFrame;
    std::function<void()> m_restore;
    CQtSleepLock m_lock;
    std::unique_ptr<CSleepGuard> m_guard;
    QTimer m_timer;
    std::vector<Pending> m_pending;
    std::map<uint, std::string> m_itemOfId;  // notification id -> item number
    int m_nAvailable = -1;
    qint64 m_tChecked = 0;
    bool m_bChecking = false;
    int m_nSent = 0;
    CBusLink m_session{false};
    int m_nSessionConnection = 0;  // the connection the last check asked
};

}  // namespace bexora
