#pragma once
// Telling the service manager how the headless runner is doing (a systemd
// unit of Type=notify): ready once the list is open and its scheduler runs,
// a watchdog ping from the scheduler's own thread, stopping on the way out.
// Outside a unit (no NOTIFY_SOCKET) every call does nothing.

#include <cstdint>
#include <string>

namespace bexora {

class CServiceNotifier {
public:
    CServiceNotifier();

    // Under a service manager that listens.
    bool Active() const { return m_bActive; }
    // The watchdog's ping interval (half what the unit allows), or 0.
    int64_t WatchdogPeriodMs() const { return m_nPeriodMs; }

    void Ready(const std::string& status);
    void Stopping();
    void Status(const std::string& status);
    // Pings the watchdog when half its time has passed since the last ping
    // (nowMs: a monotonic clock in milliseconds).
    void Tick(int64_t nowMs);

private:
    bool m_bActive = false;
    int64_t m_nPeriodMs = 0;
    int64_t m_tLastPing = 0;
};

}  // namespace bexora
