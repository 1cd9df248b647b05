#include "session/ServiceNotify.h"

#include <systemd/sd-daemon.h>

#include <cstdlib>

namespace bexora {

CServiceNotifier::CServiceNotifier() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    m_bActive = socket && *socket;
    uint64_t usec = 0;
    // 0 keeps WATCHDOG_USEC in the environment for the workers we start.
    if (m_bActive && sd_watchdog_enabled(0, &usec) > 0) m_nPeriodMs = int64_t(usec / 2000);
}

void CServiceNotifier::Ready(const std::string& status) {
    if (m_bActive) sd_notifyf(0, "READY=1\nSTATUS=%s", status.c_str());
}

void CServiceNotifier::Stopping() {
    if (m_bActive) sd_notify(0, "STOPPING=1");
}

void CServiceNotifier::Status(const std::string& status) {
    if (m_bActive) sd_notifyf(0, "STATUS=%s", status.c_str());
}

void CServiceNotifier::Tick(int64_t nowMs) {
    if (!m_bActive || m_nPeriodMs <= 0) return;
    if (m_tLastPing != 0 && nowMs - m_tLastPing < m_nPeriodMs) return;
    m_tLastPing = nowMs;
    sd_notify(0, "WATCHDOG=1");
}

}  // namespace bexora
