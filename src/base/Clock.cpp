#include "base/Clock.h"

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

const CClock& GetClock() { return *g_clock.load(); }

void SetClock(const CClock* clock) { g_clock.store(clock ? clock : &g_systemClock); }

}  // namespace bexora
