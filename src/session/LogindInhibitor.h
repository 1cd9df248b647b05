#pragma once
// logind's sleep lock over sd-bus (the system bus), for programs without Qt.
//
// The lock is taken in "block" mode: a snipe can be minutes away, and a
// "delay" lock only holds a suspend back for a few seconds
// (InhibitDelayMaxSec). If the system refuses a block lock (its policy may
// keep those for administrators), a delay lock is taken instead: the
// machine then sleeps, but the list has a moment to save first.
//
// It also listens for PrepareForSleep: its "false" (the machine woke up)
// is handed on, so the list re-reads the clock and places what it missed.

#include <functional>
#include <string>

#include "listview/SleepGuard.h"

typedef struct sd_bus sd_bus;
typedef struct sd_bus_slot sd_bus_slot;

namespace bexora {

class CLogindInhibitor : public ISleepLock {
public:
    CLogindInhibitor();
    ~CLogindInhibitor() override;
    CLogindInhibitor(const CLogindInhibitor&) = delete;
    CLogindInhibitor& operator=(const CLogindInhibitor&) = delete;

    bool Take(const std::string& why) override;
    void Release() override;

    // "block", "delay", or "" while no lock is held.
    const std::string& Mode() const { return m_strMode; }

    // Called with true before the machine sleeps and false after it woke
    // (from Process, on the caller's thread). Subscribes on first use.
    void WatchSleep(std::function<void(bool sleeping)> onSleep);
    // Reads what the bus has sent; never blocks.
    void Process();
    // PrepareForSleep came (from Process).
    void OnSleepSignal(bool sleeping) {
        if (m_onSleep) m_onSleep(sleeping);
    }

private:
    bool Connect();

    sd_bus* m_bus = nullptr;
    bool m_bTried = false;
    sd_bus_slot* m_match = nullptr;
    int m_fd = -1;
    std::string m_strMode;
    std::function<void(bool)> m_onSleep;
};

}  // namespace bexora
