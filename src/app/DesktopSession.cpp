#include "app/DesktopSession.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDateTime>
#include <QFileInfo>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "base/ui/AnsiText.h"
#include "listview/ItemListCore.h"
#include "listview/ui/ebayListView.h"

namespace bexora {

namespace {

const QString kNotifications = "org.freedesktop.Notifications";
const QString kNotificationsPath = "/org/freedesktop/Notifications";
const QString kLogind = "org.freedesktop.login1";
const QString kLogindPath = "/org/freedesktop/login1";
const QString kManager = "org.freedesktop.login1.Manager";
constexpr qint64 kRecheckMs = 60000;
constexpr int kCallMs = 1500;

// Only a bus that is there is asked: without one, libdbus would try to
// start a bus of its own or complain on the terminal.
bool HasSessionBus() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + "/bus");
}

bool HasSystemBus() {
    return !qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS") ||
           QFileInfo::exists("/run/dbus/system_bus_socket");
}

uchar Urgency(int level) {
    return level <= 0 ? 0 : level >= 3 ? 2 : 1;
}

}  // namespace

// ---- the bus ----

CBusLink::~CBusLink() {
    if (!m_name.isEmpty()) QDBusConnection::disconnectFromBus(m_name);
}

bool CBusLink::Present() const { return m_bSystem ? HasSystemBus() : HasSessionBus(); }

QDBusConnection CBusLink::Get() {
    if (!m_name.isEmpty()) {
        QDBusConnection bus(m_name);
        if (bus.isConnected()) return bus;
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!Present() || (m_tTried >= 0 && now - m_tTried < 2000)) return QDBusConnection(m_name);
    m_tTried = now;
    if (!m_name.isEmpty()) QDBusConnection::disconnectFromBus(m_name);
    static int serial = 0;
    m_name = QString(m_bSystem ? "bexora-system-%1" : "bexora-session-%1").arg(++serial);
    QDBusConnection bus =
        QDBusConnection::connectToBus(m_bSystem ? QDBusConnection::SystemBus : QDBusConnection::SessionBus, m_name);
    if (bus.isConnected()) {
        ++m_nConnections;
        if (m_onConnect) m_onConnect(bus);
    }
    return bus;
}

// ---- the sleep lock ----

bool CQtSleepLock::Take(const std::string& why) {
    QDBusConnection bus = m_bus.Get();
    if (!bus.isConnected()) return false;
    // Asked for, not waited for: a logind that hangs must not hold the
    // window's tick (a call used to wait up to 3 s a mode on it).
    Ask(FromAnsi(why), "block", ++m_nGeneration);
    return true;
}

void CQtSleepLock::Ask(const QString& why, const QString& mode, int generation) {
    QDBusMessage call = QDBusMessage::createMethodCall(kLogind, kLogindPath, kManager, "Inhibit");
    call << QString("sleep") << QString("Bexora") << why << mode;
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.Get().asyncCall(call, kCallMs), &m_context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_context,
                     [this, why, mode, generation](QDBusPendingCallWatcher* w) {
                         w->deleteLater();
                         // Let go or asked again since: this answer is old.
                         if (generation != m_nGeneration) return;
                         QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
                         if (reply.isValid() && reply.value().isValid()) {
                             m_fd = reply.value();  // the old lock goes only now
                             m_mode = mode;
                             return;
                         }
                         const QDBusError::ErrorType e = reply.error().type();
                         // No logind, or one that does not answer: no second try.
                         if (mode == "block" && e != QDBusError::ServiceUnknown && e != QDBusError::NoReply &&
                             e != QDBusError::Timeout)
                             Ask(why, "delay", generation);
                     });
}

void CQtSleepLock::Release() {
    ++m_nGeneration;  // an answer still on its way is dropped
    m_fd = QDBusUnixFileDescriptor();  // closing our copy lets logind's go
    m_mode.clear();
}

// ---- the session ----

CDesktopSession::CDesktopSession(QMainWindow* frame, std::function<void()> restore)
    : QObject(frame),
      m_pFrame(frame),
      m_restore(std::move(restore)),
      m_guard(std::make_unique<CSleepGuard>(m_lock)) {
    // Subscribed again on each new connection: a bus that went away is
    // reconnected on the next use.
    m_session.OnConnect([this](QDBusConnection& bus) {
        bus.connect(kNotifications, kNotificationsPath, kNotifications, "ActionInvoked", this,
                    SLOT(OnActionInvoked(uint, QString)));
    });
    m_lock.Bus().OnConnect([this](QDBusConnection& bus) {
        bus.connect(kLogind, kLogindPath, kManager, "PrepareForSleep", this, SLOT(OnPrepareForSleep(bool)));
    });
    const bool system = m_lock.Bus().Get().isConnected();
    connect(&m_timer, &QTimer::timeout, this, &CDesktopSession::UpdateSleepLock);
    if (system) m_timer.start(1000);
    if (m_session.Get().isConnected()) CheckNotifications();
}

CDesktopSession::~CDesktopSession() {
    m_guard->Release();
}

bool CDesktopSession::NotificationsAvailable() {
    if (!m_session.Present() || !m_session.Get().isConnected()) return false;
    // A new connection (the bus came back): what it offers is asked afresh.
    if (m_session.Connections() != m_nSessionConnection) m_nAvailable = -1;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!m_bChecking && (m_nAvailable < 0 || now - m_tChecked >= kRecheckMs)) CheckNotifications();
    // The last answer: the check runs on the bus, never on this thread (a
    // bus that hangs cost the window's tick 25 s a call).
    return m_nAvailable == 1;
}

void CDesktopSession::CheckNotifications() {
    m_bChecking = true;
    m_tChecked = QDateTime::currentMSecsSinceEpoch();
    m_nSessionConnection = m_session.Connections();
    auto ask = [this](const QString& method, const QVariantList& args,
                      std::function<void(const QDBusMessage&)> then) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method);
        call.setArguments(args);
        auto* w = new QDBusPendingCallWatcher(m_session.Get().asyncCall(call, kCallMs), this);
        connect(w, &QDBusPendingCallWatcher::finished, this, [then](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            then(w->reply());
        });
    };
    ask("NameHasOwner", {kNotifications}, [this, ask](const QDBusMessage& owner) {
        if (owner.type() == QDBusMessage::ReplyMessage && !owner.arguments().isEmpty() &&
            owner.arguments().first().toBool()) {
            m_nAvailable = 1;
            m_bChecking = false;
            return;
        }
        // Not running: one the bus would start counts too.
        ask("ListActivatableNames", {}, [this](const QDBusMessage& names) {
            const bool there = names.type() == QDBusMessage::ReplyMessage && !names.arguments().isEmpty() &&
                               names.arguments().first().toStringList().contains(kNotifications);
            m_nAvailable = there ? 1 : 0;
            m_bChecking = false;
        });
    });
}

bool CDesktopSession::Notify(const std::string& title, const std::string& text,
                             const std::string& itemNumber, int level) {
    if (!NotificationsAvailable()) return false;
    if (m_pending.empty()) QTimer::singleShot(0, this, &CDesktopSession::SendPending);
    // The second balloon of a pair replaces the first, as on the tray.
    if (!m_pending.empty() && !itemNumber.empty() && m_pending.back().itemNumber == itemNumber)
        m_pending.pop_back();
    m_pending.push_back({title, text, itemNumber, level});
    return true;
}

void CDesktopSession::SendPending() {
    std::vector<Pending> pending;
    pending.swap(m_pending);
    for (const Pending& p : pending) {
        QDBusMessage call = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath,
                                                           kNotifications, "Notify");
        QVariantMap hints;
        hints["urgency"] = QVariant::fromValue(Urgency(p.level));
        hints["desktop-entry"] = QString("bexora");
        QStringList actions;
        if (!p.itemNumber.empty())
            actions << "default"
                    << "Open";
        call << QString("Bexora") << uint(0) << QString("bexora") << FromAnsi(p.title)
             << FromAnsi(p.text) << actions << hints << int(-1);
        auto* watcher = new QDBusPendingCallWatcher(
            m_session.Get().asyncCall(call, kCallMs), this);
        const std::string item = p.itemNumber;
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, item](QDBusPendingCallWatcher* w) { OnNotifyAnswer(w, item); });
        ++m_nSent;
    }
}

void CDesktopSession::OnNotifyAnswer(QDBusPendingCallWatcher* watcher,
                                     const std::string& itemNumber) {
    QDBusPendingReply<uint> reply = *watcher;
    if (reply.isValid() && !itemNumber.empty()) m_itemOfId[reply.value()] = itemNumber;
    watcher->deleteLater();
}

void CDesktopSession::OnActionInvoked(uint id, const QString& action) {
    auto it = m_itemOfId.find(id);
    if (it == m_itemOfId.end() || action != "default") return;
    OpenItem(it->second);
}

std::vector<CebayListView*> CDesktopSession::ListViews() const {
    std::vector<CebayListView*> out;
    for (CebayListView* view : m_pFrame->findChildren<CebayListView*>()) out.push_back(view);
    return out;
}

void CDesktopSession::OpenItem(const std::string& itemNumber) {
    if (m_restore) m_restore();
    for (CebayListView* view : ListViews()) {
        if (view->Core().FindRow(itemNumber) < 0) continue;
        for (QObject* p = view->parent(); p; p = p->parent()) {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(p)) {
                if (sub->mdiArea()) sub->mdiArea()->setActiveSubWindow(sub);
                break;
            }
        }
        view->Core().SelectItems({itemNumber});
        view->RowsChanged();
        view->setFocus();
        return;
    }
}

void CDesktopSession::UpdateSleepLock() {
    m_lock.Bus().Get();  // a system bus that went away comes back here
    std::vector<const CItemListCore*> cores;
    for (CebayListView* view : ListViews()) cores.push_back(&view->Core());
    m_guard->Update(cores);
}

void CDesktopSession::OnPrepareForSleep(bool sleeping) {
    for (CebayListView* view : ListViews()) {
        if (sleeping)
            view->Core().SaveDocument();
        else
            view->Core().NoteWake();
    }
    // Saved: the lock has done its work, and holding it would make the
    // suspend wait out logind's whole delay. The next look at the bids
    // after waking takes it again while one is near.
    if (sleeping) m_guard->Release();
}

}  // namespace bexora
