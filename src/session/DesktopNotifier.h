#pragma once
// Desktop notifications from a program without Qt (bexora-cli run --notify):
// org.freedesktop.Notifications on the session bus, through sd-bus. Without
// a session bus or a notification service nothing is sent and nothing is
// said: a server has neither.

#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>


namespace bexora {

// Urgency as the notification service counts it.
enum class NoticeUrgency : uint8_t { Low = 0, Normal = 1, Critical = 2 };
// A notice level (0 to 3) as an urgency: changes on others' items are low,
// outcomes of my bids normal, bids that were not sent as they should be
// critical.
NoticeUrgency UrgencyOfLevel(int level);
// Windows-1252 bytes as UTF-8 (D-Bus strings must be UTF-8).
std::string AnsiToUtf8(const std::string& text);

class CBusThread;

// All bus traffic is on a thread of the notifier's own: no call here waits
// on the bus or the service.
class CDesktopNotifier {
public:
    CDesktopNotifier();
    ~CDesktopNotifier();
    CDesktopNotifier(const CDesktopNotifier&) = delete;
    CDesktopNotifier& operator=(const CDesktopNotifier&) = delete;

    // Whether a notification service is there (running, or started on
    // demand by the bus), as last found out: asked in the background at
    // the start and again at most once a minute. False until known.
    bool Available();
    // Sends a notification (title and text in Windows-1252); replaces: the
    // id of one to replace (0: none). Does not wait for anything; false when
    // the service is known to be missing. The id the service gives is
    // returned by a later call's LastId().
    bool Notify(const std::string& title, const std::string& text, NoticeUrgency urgency,
                uint32_t replaces = 0);
    // The id of the last notification the service confirmed (0: none yet).
    uint32_t LastId();
    // Nothing to do: the answers are read on the notifier's thread.
    void Process() {}

private:
    // On the bus thread.
    void Check(sd_bus* bus);
    void Send(sd_bus* bus, const std::string& title, const std::string& text,
              NoticeUrgency urgency, uint32_t replaces);
    static int OnOwner(sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int OnActivatable(sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int OnNotifyReply(sd_bus_message* reply, void* userdata, sd_bus_error*);
    void SetAvailable(int available);

    std::mutex m_mutex;
    int m_nAvailable = -1;  // -1 not known
    int64_t m_tChecked = 0;
    bool m_bChecking = false;
    std::atomic<uint32_t> m_nLastId{0};
    std::unique_ptr<CBusThread> m_thread;  // last: stopped before the rest goes
};

}  // namespace bexora
