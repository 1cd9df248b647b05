#include "session/DesktopNotifier.h"

#include <systemd/sd-bus.h>

#include "session/BusThread.h"

namespace bexora {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr int64_t kRecheckMs = 60'000;
constexpr int64_t kNoBusRecheckMs = 1'000;

// The 32 characters Windows-1252 puts at 0x80-0x9F (0 where it has none).
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool NoService(const sd_bus_error* e) {
    return sd_bus_error_has_name(e, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
           sd_bus_error_has_name(e, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
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

CDesktopNotifier::CDesktopNotifier() {
    m_thread = std::make_unique<CBusThread>(
        CBusThread::Which::User, CBusThread::Job{}, [this] {
            // The answers awaited went with the connection; the new one is
            // looked at afresh.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bChecking = false;
            m_nAvailable = -1;
        });
    // Found out at once, so the first notice does not wait for it.
    Available();
}

CDesktopNotifier::~CDesktopNotifier() {
    m_thread.reset();
}

void CDesktopNotifier::SetAvailable(int available) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nAvailable = available;
    m_tChecked = BusMonotonicMs();
    m_bChecking = false;
}

bool CDesktopNotifier::Available() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const int64_t now = BusMonotonicMs();
    if ((m_nAvailable < 0 || now - m_tChecked >= kRecheckMs) && !m_bChecking) {
        m_bChecking = true;
        m_thread->Post([this](sd_bus* bus) { Check(bus); });
    }
    return m_nAvailable == 1;
}

void CDesktopNotifier::Check(sd_bus* bus) {
    if (!bus) {
        // No session bus (a server, a cron job): looked for again soon, as
        // a session may be starting.
        SetAvailable(0);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tChecked -= kRecheckMs - kNoBusRecheckMs;
        return;
    }
    if (sd_bus_call_method_async(bus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus", "NameHasOwner", &OnOwner, this, "s",
                                 kService) < 0)
        SetAvailable(0);
}

int CDesktopNotifier::OnOwner(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* self = static_cast<CDesktopNotifier*>(userdata);
    int owned = 0;
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_read(reply, "b", &owned) < 0) {
        self->SetAvailable(0);  // the bus itself did not answer in time
        return 0;
    }
    if (owned) {
        self->SetAvailable(1);
        return 0;
    }
    // Not running yet, but the bus may start it on the first call.
    if (sd_bus_call_method_async(sd_bus_message_get_bus(reply), nullptr, "org.freedesktop.DBus",
                                 "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                 "ListActivatableNames", &OnActivatable, self, "") < 0)
        self->SetAvailable(0);
    return 0;
}

int CDesktopNotifier::OnActivatable(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    int found = 0;
    char** names = nullptr;
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read_strv(reply, &names) >= 0 && names) {
        for (char** n = names; *n; ++n) {
            found |= std::string(*n) == kService;
            free(*n);
        }
        free(names);
    }
    static_cast<CDesktopNotifier*>(userdata)->SetAvailable(found);
    return 0;
}

int CDesktopNotifier::OnNotifyReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* self = static_cast<CDesktopNotifier*>(userdata);
    uint32_t id = 0;
    const sd_bus_error* e = sd_bus_message_get_error(reply);
    if (!e && sd_bus_message_read(reply, "u", &id) >= 0)
        self->m_nLastId = id;
    else if (e && NoService(e))
        self->SetAvailable(0);  // gone since it was last looked for
    return 0;
}

bool CDesktopNotifier::Notify(const std::string& title, const std::string& text,
                              NoticeUrgency urgency, uint32_t replaces) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Known to be missing (and not due for a new look).
        if (m_nAvailable == 0 && BusMonotonicMs() - m_tChecked < kRecheckMs) return false;
    }
    Available();  // a look is due: the notice goes meanwhile
    m_thread->Post([this, title, text, urgency, replaces](sd_bus* bus) {
        Send(bus, title, text, urgency, replaces);
    });
    return true;
}

void CDesktopNotifier::Send(sd_bus* bus, const std::string& title, const std::string& text,
                            NoticeUrgency urgency, uint32_t replaces) {
    if (!bus) return;
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(bus, &m, kService, kPath, kService, "Notify");
    if (r >= 0)
        r = sd_bus_message_append(m, "susss", "Bexora", replaces, "bexora",
                                  AnsiToUtf8(title).c_str(), AnsiToUtf8(text).c_str());
    if (r >= 0) r = sd_bus_message_append(m, "as", 0);
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "urgency", "y", static_cast<uint8_t>(urgency));
    if (r >= 0) r = sd_bus_message_append(m, "{sv}", "desktop-entry", "s", "bexora");
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "i", -1);
    if (r >= 0) sd_bus_call_async(bus, nullptr, m, &OnNotifyReply, this, kBusCallUsec);
    sd_bus_message_unref(m);
}

uint32_t CDesktopNotifier::LastId() {
    return m_nLastId;
}

}  // namespace bexora
