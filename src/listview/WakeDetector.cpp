#include "listview/WakeDetector.h"

#include <time.h>

namespace bexora {

namespace {

// Both clocks are read back to back; the gap between the two reads and the
// kernel's rounding stay far below this.
constexpr int64_t kMinSleepMs = 2000;

// A PrepareForSleep that arrives this soon after a wake-up was seen is
// about that same wake-up.
constexpr int64_t kSameWakeMs = 30000;

int64_t (*g_source)() = nullptr;

int64_t Ms(clockid_t id) {
    timespec ts{};
    if (clock_gettime(id, &ts) != 0) return 0;
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

int64_t CWakeDetector::SleptSinceBoot() {
    if (g_source) return g_source();
    return Ms(CLOCK_BOOTTIME) - Ms(CLOCK_MONOTONIC);
}

void CWakeDetector::SetSleepSource(int64_t (*source)()) {
    g_source = source;
}

CWakeDetector::CWakeDetector() : m_nSlept(SleptSinceBoot()) {}

bool CWakeDetector::Woke(int64_t* sleptMs) {
    const int64_t slept = SleptSinceBoot();
    const int64_t grown = slept - m_nSlept;
    bool noted = m_bNoted.exchange(false);
    // logind's word often comes just after the clocks told the same wake-up.
    const int64_t mono = Ms(CLOCK_MONOTONIC);
    if (noted && m_nLastWake && mono - m_nLastWake < kSameWakeMs) noted = false;
    if (grown < kMinSleepMs && !noted) return false;
    m_nSlept = slept;
    m_nLastWake = mono;
    if (sleptMs) *sleptMs = grown >= kMinSleepMs ? grown : 0;
    return true;
}

}  // namespace bexora
