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
    // Milliseconds on a clock that is never set: it counts from boot and
    // goes on counting through a suspend (the kernel's boot-time clock).
    virtual int64_t BootMs() const;
    // How far the wall clock stands from the boot clock. It changes only
    // when somebody sets the wall clock (NTP stepping it after a resume, a
    // restored virtual machine, a hand-set clock): the change is the step.
    int64_t StepMs() const { return NowMs() - BootMs(); }
};

// A clock that stands still until a test moves it. Moving it is time
// passing (its boot clock moves along); StepWallMs sets the wall clock alone,
// as NTP does. It starts with the machine's own step, so putting it in place
// of the system clock is no step.
class CManualClock : public CClock {
public:
    explicit CManualClock(int64_t nowMs = 0);
    int64_t NowMs() const override { return m_nowMs.load(); }
    int64_t BootMs() const override { return m_nowMs.load() - m_stepMs.load(); }
    void SetMs(int64_t ms) { m_nowMs.store(ms); }
    void Set(int64_t seconds) { m_nowMs.store(seconds * 1000); }
    void AdvanceMs(int64_t ms) { m_nowMs.fetch_add(ms); }
    void Advance(int64_t seconds) { m_nowMs.fetch_add(seconds * 1000); }
    void StepWallMs(int64_t ms) {
        m_stepMs.fetch_add(ms);
        m_nowMs.fetch_add(ms);
    }

private:
    std::atomic<int64_t> m_nowMs;
    std::atomic<int64_t> m_stepMs;
};

// The system's clocks with the wall clock set off by a step a test chooses
// (a machine whose clock NTP steps, with real time passing).
class CSteppedClock : public CClock {
public:
    int64_t NowMs() const override;
    void StepWallMs(int64_t ms) { m_stepMs.fetch_add(ms); }

private:
    std::atomic<int64_t> m_stepMs{0};
};

// Milliseconds of the monotonic clock (never set, stops in a suspend): what
// every wait is measured on.
int64_t SteadyMs();

// The clock in use; the system clock unless a test installed another.
const CClock& GetClock();
// Installs a clock (nullptr restores the system clock). The caller keeps
// ownership and must keep it alive while it is installed.
void SetClock(const CClock* clock);

// Shorthand for GetClock().Now().
inline int64_t LocalNow() { return GetClock().Now(); }

}  // namespace bexora
