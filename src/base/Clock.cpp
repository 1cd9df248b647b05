#include "base/Clock.h"

#include <time.h>

#include <chrono>

namespace bexora {

namespace {
const CClock g_systemClock;
std::atomic<const CClock*> g_clock{&g_systemClock};
}  // namespace

int64_t CClock::NowMs() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

int64_t CClock::Now() const {
    int64_t ms = NowMs();
    return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
}

namespace {
int64_t ClockMs(clockid_t id) {
    timespec ts{};
    if (clock_gettime(id, &ts) != 0) return 0;
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
}  // namespace

int64_t CClock::BootMs() const { return ClockMs(CLOCK_BOOTTIME); }

CManualClock::CManualClock(int64_t nowMs) : m_nowMs(nowMs), m_stepMs(GetClock().StepMs()) {}

int64_t CSteppedClock::NowMs() const { return CClock::NowMs() + m_stepMs.load(); }

int64_t SteadyMs() { return ClockMs(CLOCK_MONOTONIC); }

const CClock& GetClock() { return *g_clock.load(); }

void SetClock(const CClock* clock) { g_clock.store(clock ? clock : &g_systemClock); }

}  // namespace bexora
