#include "session/LogindInhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace bexora {

namespace {
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr uint64_t kCallUsec = 3'000'000;

int OnPrepareForSleep(sd_bus_message* m, void* userdata, sd_bus_error*) {
    int sleeping = 0;
    if (sd_bus_message_read(m, "b", &sleeping) >= 0)
        static_cast<CLogindInhibitor*>(userdata)->OnSleepSignal(sleeping != 0);
    return 0;
}
}  // namespace

CLogindInhibitor::CLogindInhibitor() = default;

CLogindInhibitor::~CLogindInhibitor() {
    Release();
    sd_bus_slot_unref(m_match);
    if (m_bus) sd_bus_flush_close_unref(m_bus);
}

bool CLogindInhibitor::Connect() {
    if (m_bus) return true;
    if (m_bTried) return false;
    m_bTried = true;
    // A container or a machine without systemd has no system bus: no lock,
    // and no word about it.
    if (sd_bus_open_system(&m_bus) < 0) m_bus = nullptr;
    return m_bus != nullptr;
}

bool CLogindInhibitor::Take(const std::string& why) {
    if (!Connect()) return false;
    for (const char* mode : {"block", "delay"}) {
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        int fd = -1;
        sd_bus_message* call = nullptr;
        int r = sd_bus_message_new_method_call(m_bus, &call, kLogind, kPath, kManager, "Inhibit");
        if (r >= 0) r = sd_bus_message_append(call, "ssss", "sleep", "Bexora", why.c_str(), mode);
        if (r >= 0) r = sd_bus_call(m_bus, call, kCallUsec, &error, &reply);
        if (r >= 0 && sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0)
            fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);  // the message owns the one it carried
        else
            fd = -1;
        sd_bus_message_unref(call);
        sd_bus_message_unref(reply);
        const bool noService = sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                               sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
        sd_bus_error_free(&error);
        if (fd >= 0) {
            // The new lock is held before the old one goes, so there is no
            // gap in which the machine could slip away.
            Release();
            m_fd = fd;
            m_strMode = mode;
            return true;
        }
        if (noService) break;  // no logind: delay would fail the same way
    }
    return false;
}

void CLogindInhibitor::Release() {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
    m_strMode.clear();
}

void CLogindInhibitor::WatchSleep(std::function<void(bool)> onSleep) {
    m_onSleep = std::move(onSleep);
    if (m_match || !Connect()) return;
    if (sd_bus_match_signal(m_bus, &m_match, kLogind, kPath, kManager, "PrepareForSleep",
                            &OnPrepareForSleep, this) < 0)
        m_match = nullptr;
}

void CLogindInhibitor::Process() {
    if (!m_bus) return;
    while (sd_bus_process(m_bus, nullptr) > 0) {
    }
}

}  // namespace bexora
