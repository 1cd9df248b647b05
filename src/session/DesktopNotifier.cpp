#include "session/DesktopNotifier.h"

#include <systemd/sd-bus.h>
#include <time.h>

namespace bexora {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
// The bus answers locally; a service that does not answer in this time is
// as good as absent.
constexpr uint64_t kCallUsec = 2'000'000;
constexpr int64_t kRecheckMs = 60'000;

int64_t MonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The 32 characters Windows-1252 puts at 0x80-0x9F (0 where it has none).
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int OnNotifyReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    uint32_t id = 0;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read(reply, "u", &id) >= 0)
        *static_cast<uint32_t*>(userdata) = id;
    return 0;
}

}  // namespace

NoticeUrgency UrgencyOfLevel(int level) {
    if (level <= 0) return NoticeUrgency::Low;
    if (level >= 3) return NoticeUrgency::Critical;
    return NoticeUrgency::Normal;
}

std::string AnsiToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        char32_t u = c;
        if (c >= 0x80 && c < 0xA0) u = kHigh[c - 0x80] ? kHigh[c - 0x80] : U'?';
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

CDesktopNotifier::CDesktopNotifier() = default;

CDesktopNotifier::~CDesktopNotifier() {
    if (m_bus) sd_bus_flush_close_unref(m_bus);
}

bool CDesktopNotifier::Connect() {
    if (m_bus) return true;
    if (m_bTried) return false;
    m_bTried = true;
    // No session bus (a server, a cron job): quietly none.
    if (sd_bus_open_user(&m_bus) < 0) m_bus = nullptr;
    return m_bus != nullptr;
}

bool CDesktopNotifier::Available() {
    if (!Connect()) return false;
    const int64_t now = MonotonicMs();
    if (m_nAvailable >= 0 && now - m_tChecked < kRecheckMs) return m_nAvailable == 1;
    m_tChecked = now;
    int owned = 0;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                           kService) >= 0)
        sd_bus_message_read(reply, "b", &owned);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    if (!owned) {
        // Not running yet, but the bus may start it on the first call.
        reply = nullptr;
        if (sd_bus_call_method(m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "ListActivatableNames", &error, &reply,
                               "") >= 0) {
            char** names = nullptr;
            if (sd_bus_message_read_strv(reply, &names) >= 0 && names) {
                for (char** n = names; *n; ++n) {
                    if (std::string(*n) == kService) owned = 1;
                    free(*n);
                }
                free(names);
            }
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    m_nAvailable = owned ? 1 : 0;
    return owned;
}

bool CDesktopNotifier::Notify(const std::string& title, const std::string& text,
                              NoticeUrgency urgency, uint32_t replaces) {
    if (!Available()) return false;
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(m_bus, &m, kService, kPath, kService, "Notify");
    if (r >= 0)
        r = sd_bus_message_append(m, "susss", "Bexora", replaces, "bexora",
                                  AnsiToUtf8(title).c_str(), AnsiToUtf8(text).c_str());
    if (r >= 0) r = sd_bus_message_append(m, "as", 0);
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "urgency", "y", static_cast<uint8_t>(urgency));
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "desktop-entry", "s", "bexora");
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "i", -1);
    // The answer (the id) is read later: a slow service never holds up the
    // caller, which is the list's UI thread.
    if (r >= 0) r = sd_bus_call_async(m_bus, nullptr, m, &OnNotifyReply, &m_nLastId, kCallUsec);
    sd_bus_message_unref(m);
    if (r >= 0) r = sd_bus_flush(m_bus);
    Process();
    return r >= 0;
}

uint32_t CDesktopNotifier::LastId() {
    Process();
    return m_nLastId;
}

void CDesktopNotifier::Process() {
    if (!m_bus) return;
    while (sd_bus_process(m_bus, nullptr) > 0) {
    }
}

}  // namespace bexora
