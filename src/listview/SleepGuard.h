#pragma once
// Keeps the machine awake while a scheduled bid is near. Each front end asks
// Update() now and then (the tick) with its open lists; while a pending bid
// of any of them is due within the "Keep awake Min" setting, the guard holds
// a sleep lock naming the nearest bid's item and moment, and lets it go when
// none is that close. A bid that has just been sent keeps the lock a little
// longer, so the machine does not sleep in the middle of its conversation;
// a cancelled one lets it go at once.

#include <cstdint>
#include <string>
#include <vector>

namespace bexora {

class CItemListCore;

// Where the lock is taken: logind through sd-bus (bexora-cli) or Qt DBus
// (the desktop program); tests record the calls.
class ISleepLock {
public:
    virtual ~ISleepLock() = default;
    // Takes the lock with this reason (replacing one held); false when the
    // system would not give one.
    virtual bool Take(const std::string& why) = 0;
    virtual void Release() = 0;
};

class CSleepGuard {
public:
    explicit CSleepGuard(ISleepLock& lock) : m_lock(lock) {}
    ~CSleepGuard();
    CSleepGuard(const CSleepGuard&) = delete;
    CSleepGuard& operator=(const CSleepGuard&) = delete;

    // Looks at the pending bids of lists (the local clock and the setting
    // are read here) and takes, renames or releases the lock.
    void Update(const std::vector<const CItemListCore*>& lists);
    // Releases the lock (the program is ending).
    void Release();

    bool Held() const { return m_bHeld; }
    // The reason the lock was taken with ("" while none is held).
    const std::string& Why() const { return m_strWhy; }

    // The reason text for a bid on item at the local time at.
    static std::string Reason(const std::string& itemNumber, int64_t at);

private:
    ISleepLock& m_lock;
    bool m_bHeld = false;
    std::string m_strWhy;
    std::string m_strItem;  // the item the lock names
    int64_t m_tMoment = 0;  // and its bid moment
    int64_t m_tKeepUntil = 0;
    int64_t m_tRetryAt = 0;  // after a refused Take
    int64_t m_nWindow = -1;  // seconds; read from the settings once a minute
    int64_t m_tWindowRead = 0;
};

}  // namespace bexora
