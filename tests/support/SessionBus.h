#pragma once
// A private D-Bus for tests: a dbus-daemon of our own (started and stopped
// here) that stands in for both the session and the system bus, and on it a
// fake notification service and a fake logind that record what they are
// asked. Nothing of the machine's own buses is touched.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace bexora::test {

// dbus-daemon --session on a socket in a fresh folder; both bus addresses
// of this process (and of the programs it starts) point at it.
class PrivateBus {
public:
    PrivateBus() {
        m_address = "unix:path=" + m_dir.File("bus");
        Start();
    }
    // The daemon stopped and started again on the same address, as after a
    // session's bus restarted: every connection to it is gone.
    void Restart() {
        Stop();
        unlink(m_dir.File("bus").c_str());
        Start();
    }
    ~PrivateBus() {
        Stop();
        // No bus at all afterwards, rather than the machine's own.
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bexora-test-bus", 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bexora-test-bus", 1);
    }
    void Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    void Start() {
        const std::string addr = "--address=" + m_address;  // not in the child: no allocation there
        m_pid = fork();
        if (m_pid == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
                   addr.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Up once the socket answers.
        for (int i = 0; i < 200 && !Ok(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.c_str(), 1);
    }
    bool Ok() const {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) < 0) return false;
        sd_bus_set_address(bus, m_address.c_str());
        sd_bus_set_bus_client(bus, 1);
        bool ok = sd_bus_start(bus) >= 0;
        sd_bus_unref(bus);
        return ok;
    }
    const std::string& Address() const { return m_address; }

private:
    TempDir m_dir;
    std::string m_address;
    pid_t m_pid = -1;
};

struct Notification {
    std::string app, icon, summary, body;
    uint32_t replaces = 0;
    int urgency = -1;
    std::vector<std::string> actions;
};

struct Inhibition {
    std::string what, who, why, mode;
    int fd = -1;  // our end: it reads end-of-file once the client lets go
    bool Released() const {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLIN));
    }
};

// org.freedesktop.Notifications and org.freedesktop.login1 on the private
// bus, served from a thread of their own.
class FakeServices {
public:
    explicit FakeServices(const std::string& address, bool notifications = true,
                          bool logind = true) {
        sd_bus_new(&m_bus);
        sd_bus_set_address(m_bus, address.c_str());
        sd_bus_set_bus_client(m_bus, 1);
        m_ok = sd_bus_start(m_bus) >= 0;
        if (notifications) {
            m_ok = m_ok && sd_bus_add_object_vtable(
                               m_bus, nullptr, "/org/freedesktop/Notifications",
                               "org.freedesktop.Notifications", kNotifyTable, this) >= 0;
            m_ok = m_ok && sd_bus_request_name(m_bus, "org.freedesktop.Notifications", 0) >= 0;
        }
        if (logind) {
            m_ok = m_ok && sd_bus_add_object_vtable(m_bus, nullptr, "/org/freedesktop/login1",
                                                    "org.freedesktop.login1.Manager", kLoginTable,
                                                    this) >= 0;
            m_ok = m_ok && sd_bus_request_name(m_bus, "org.freedesktop.login1", 0) >= 0;
        }
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeServices() {
        m_stop = true;
        m_thread.join();
        for (auto& i : m_inhibitions) close(i.fd);
        sd_bus_flush_close_unref(m_bus);
    }
    bool Ok() const { return m_ok; }
    // While hung, the services read nothing: every call to them waits.
    void SetHung(bool hung) { m_hung = hung; }

    std::vector<Notification> Notifications() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notifications;
    }
    std::vector<Inhibition> Inhibitions() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_inhibitions;
    }
    // Sends PrepareForSleep(sleeping) from the service's thread.
    void PrepareForSleep(bool sleeping) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_signals.push_back(sleeping);
    }
    // Sends ActionInvoked(id, key).
    void InvokeAction(uint32_t id, const std::string& key) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_actions.emplace_back(id, key);
    }
    // Waits up to ms for pred to hold.
    static bool WaitFor(const std::function<bool()>& pred, int ms = 5000) {
        for (int i = 0; i < ms / 10; ++i) {
            if (pred()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pred();
    }

private:
    void Serve() {
        while (!m_stop) {
            std::vector<bool> sleeps;
            std::vector<std::pair<uint32_t, std::string>> actions;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                sleeps.swap(m_signals);
                actions.swap(m_actions);
            }
            for (bool s : sleeps)
                sd_bus_emit_signal(m_bus, "/org/freedesktop/login1",
                                   "org.freedesktop.login1.Manager", "PrepareForSleep", "b",
                                   int(s));
            for (auto& [id, key] : actions)
                sd_bus_emit_signal(m_bus, "/org/freedesktop/Notifications",
                                   "org.freedesktop.Notifications", "ActionInvoked", "us", id,
                                   key.c_str());
            // A hung service: the calls wait on the bus, unanswered.
            if (m_hung) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            while (sd_bus_process(m_bus, nullptr) > 0) {
            }
            sd_bus_wait(m_bus, 20000);
        }
    }

    static int OnNotify(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<FakeServices*>(userdata);
        Notification n;
        const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
        sd_bus_message_read(m, "susss", &app, &n.replaces, &icon, &summary, &body);
        n.app = app ? app : "";
        n.icon = icon ? icon : "";
        n.summary = summary ? summary : "";
        n.body = body ? body : "";
        char** actions = nullptr;
        if (sd_bus_message_read_strv(m, &actions) >= 0 && actions) {
            for (char** a = actions; *a; ++a) {
                n.actions.push_back(*a);
                free(*a);
            }
            free(actions);
        }
        sd_bus_message_enter_container(m, 'a', "{sv}");
        while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
            const char* key = nullptr;
            sd_bus_message_read(m, "s", &key);
            uint8_t u = 0;
            if (key && std::strcmp(key, "urgency") == 0 &&
                sd_bus_message_read(m, "v", "y", &u) >= 0)
                n.urgency = u;
            else
                sd_bus_message_skip(m, "v");
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        uint32_t id;
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_notifications.push_back(n);
            id = static_cast<uint32_t>(self->m_notifications.size());
        }
        return sd_bus_reply_method_return(m, "u", id);
    }

    static int OnInhibit(sd_bus_message* m, void* userdata, sd_bus_error*) {
        auto* self = static_cast<FakeServices*>(userdata);
        const char *what = nullptr, *who = nullptr, *why = nullptr, *mode = nullptr;
        sd_bus_message_read(m, "ssss", &what, &who, &why, &mode);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return -errno;
        {
            // Recorded before the caller has its answer: a test looks as
            // soon as the call returns.
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_inhibitions.push_back({what, who, why, mode, fds[0]});
        }
        int r = sd_bus_reply_method_return(m, "h", fds[1]);
        close(fds[1]);
        return r;
    }

    static constexpr sd_bus_vtable kNotifyTable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Notify", "susssasa{sv}i", "u", &FakeServices::OnNotify,
                      SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_SIGNAL("ActionInvoked", "us", 0), SD_BUS_VTABLE_END};
    static constexpr sd_bus_vtable kLoginTable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_METHOD("Inhibit", "ssss", "h", &FakeServices::OnInhibit, SD_BUS_VTABLE_UNPRIVILEGED),
        SD_BUS_SIGNAL("PrepareForSleep", "b", 0), SD_BUS_VTABLE_END};

    sd_bus* m_bus = nullptr;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Notification> m_notifications;
    std::vector<Inhibition> m_inhibitions;
    std::vector<bool> m_signals;
    std::vector<std::pair<uint32_t, std::string>> m_actions;
    std::atomic<bool> m_hung{false};
    std::thread m_thread;
};

}  // namespace bexora::test
