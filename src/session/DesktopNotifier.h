#pragma once
// Desktop notifications from a program without Qt (bexora-cli run --notify):
// org.freedesktop.Notifications on the session bus, through sd-bus. Without
// a session bus or a notification service nothing is sent and nothing is
// said: a server has neither.

#include <cstdint>
#include <string>

typedef struct sd_bus sd_bus;

namespace bexora {

// Urgency as the notification service counts it.
enum class NoticeUrgency : uint8_t { Low = 0, Normal = 1, Critical = 2 };
// A notice level (0 to 3) as an urgency: changes on others' items are low,
// outcomes of my bids normal, bids that were not sent as they should be
// critical.
NoticeUrgency UrgencyOfLevel(int level);
// Windows-1252 bytes as UTF-8 (D-Bus strings must be UTF-8).
std::string AnsiToUtf8(const std::string& text);

class CDesktopNotifier {
public:
    CDesktopNotifier();
    ~CDesktopNotifier();
    CDesktopNotifier(const CDesktopNotifier&) = delete;
    CDesktopNotifier& operator=(const CDesktopNotifier&) = delete;

    // Whether a notification service is there (running, or started on
    // demand by the bus). Asked again at most once a minute.
    bool Available();
    // Sends a notification (title and text in Windows-1252); replaces: the
    // id of one to replace (0: none). Does not wait for the answer; the id
    // the service gives is returned by a later call's LastId().
    bool Notify(const std::string& title, const std::string& text, NoticeUrgency urgency,
                uint32_t replaces = 0);
    // The id of the last notification the service confirmed (0: none yet).
    uint32_t LastId();
    // Reads what the bus has sent (answers); never blocks.
    void Process();

private:
    bool Connect();

    sd_bus* m_bus = nullptr;
    bool m_bTried = false;
    int m_nAvailable = -1;  // -1 not known
    int64_t m_tChecked = 0;
    uint32_t m_nLastId = 0;
};

}  // namespace bexora
