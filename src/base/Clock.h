#pragma once
// The one source of local time. The scheduler, the clock offset and the
// countdowns read the local clock only through GetClock(), so tests can move
// time instead of waiting for it.

#include <atomic>
#include <cstdint>

namespace bexora {

class CClock {
public:
    virtual ~CClock() = default;
    // Milliseconds since 1970-01-01 UTC.
    virtual int64_t NowMs() const;
    // Whole seconds since 1970-01-01 UTC (rounded down).
    int64_t Now() const;
};

// A clock that stands still until a test moves it.
class CManualClock : public CClock {
public:
    explicit CManualClock(int64_t nowMs = 0) : m_nowMs(nowMs) {}
    int64_t NowMs() const override { return m_nowMs.load(); }
    void SetMs(int64_t ms) { m_nowMs.store(ms); }
    void Set(int64_t seconds) { m_nowMs.store(seconds * 1000); }
    void AdvanceMs(int64_t ms) { m_nowMs.fetch_add(ms); }
    void Advance(int64_t seconds) { m_nowMs.fetch_add(seconds * 1000); }

private:
    std::atomic<int64_t> m_nowMs;
};

// The clock in use; the system clock unless a test installed another.
const CClock& GetClock();
// Installs a clock (nullptr restores the system clock). The caller keeps
// ownership and must keep it alive while it is installed.
void SetClock(const CClock* clock);

// Shorthand for GetClock().Now().
inline int64_t LocalNow() { return GetClock().Now(); }

}  // namespace bexora
