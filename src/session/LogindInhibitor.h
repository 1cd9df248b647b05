#pragma once
// logind's sleep lock over sd-bus (the system bus), for programs without Qt.
//
// The lock is taken in "block" mode: a snipe can be minutes away, and a
// "delay" lock only holds a suspend back for a few seconds
// (InhibitDelayMaxSec). If the system refuses a block lock (its policy may
// keep those for administrators), a delay lock is taken instead: the
// machine then sleeps, but the list has a moment to save first.
//
// It also listens for PrepareForSleep. On "true" the list is told (it
// saves) and then the lock is let go, so logind does not wait out the whole
// delay; on "false" (the machine woke up) the list is told (it re-reads the
// clock and places what it missed) and the lock is taken again if it is
// still wanted.
//
// The bus is served by a thread of the inhibitor's own: Take, Release and
// Process never wait on logind or the bus. A lock asked for is held once
// logind answers (Mode() tells), and asked for again now and then while it
// is refused.

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "listview/SleepGuard.h"


namespace bexora {

class CBusThread;

class CLogindInhibitor : public ISleepLock {
public:
    CLogindInhibitor();
    ~CLogindInhibitor() override;
    CLogindInhibitor(const CLogindInhibitor&) = delete;
    CLogindInhibitor& operator=(const CLogindInhibitor&) = delete;

    // Asks for the lock with this reason (the one held stays until the new
    // one is given). False only when the last try found no logind or no
    // bus, and it is not yet time to try again.
    bool Take(const std::string& why) override;
    void Release() override;

    // "block", "delay", or "" while no lock is held.
    std::string Mode() const;

    // Called with true before the machine sleeps and false after it woke
    // (from Process, on the caller's thread). Subscribes on first use.
    void WatchSleep(std::function<void(bool sleeping)> onSleep);
    // Whether the bus has confirmed the PrepareForSleep subscription.
    bool Watching() const;
    // Hands on what logind said (on the caller's thread); never blocks.
    void Process();

private:
    // On the bus thread.
    void Attempt(sd_bus* bus);
    void AttemptLocked(sd_bus* bus);
    void AddMatch(sd_bus* bus);
    static int OnInhibitReply(sd_bus_message* reply, void* userdata, sd_bus_error*);
    static int OnPrepareForSleep(sd_bus_message* m, void* userdata, sd_bus_error*);
    static int OnMatchAdded(sd_bus_message* reply, void* userdata, sd_bus_error*);

    mutable std::mutex m_mutex;
    bool m_bWant = false;  // a lock is asked for
    std::string m_strWant;
    uint64_t m_nWantGen = 0;  // counts the Takes and Releases
    int m_fd = -1;
    std::string m_strMode;
    uint64_t m_nHeldGen = UINT64_MAX;  // the Take m_fd answers
    bool m_bSleeping = false;          // between PrepareForSleep(true) and (false)
    bool m_bInFlight = false;
    uint64_t m_nFlightGen = 0;
    std::string m_strFlightMode;
    bool m_bUnavailable = false;  // the last try found no logind or no bus
    int64_t m_tNextAttempt = 0;
    bool m_bWatch = false;
    bool m_bWatching = false;
    bool m_bMatchAdded = false;  // on the current connection (bus thread)
    int64_t m_tWatchRetry = 0;
    std::vector<bool> m_signals;  // PrepareForSleep, not yet handed on
    std::function<void(bool)> m_onSleep;
    std::unique_ptr<CBusThread> m_thread;  // last: stopped before the rest goes
};

}  // namespace bexora
