#pragma once
// Tells when the machine has been asleep. The kernel's boot-time clock keeps
// counting through a suspend while the monotonic clock stops, so their
// difference grows by the time spent asleep; logind's PrepareForSleep signal
// (through NoteWake) says the same a little earlier. Either way Woke()
// answers true once per wake-up.

#include <atomic>
#include <cstdint>

namespace bexora {

class CWakeDetector {
public:
    CWakeDetector();

    // True once after the machine slept (since the last call or since
    // construction), with how long it slept in milliseconds (0 when only
    // NoteWake said so).
    bool Woke(int64_t* sleptMs = nullptr);
    // A wake-up reported from outside (logind). Any thread.
    void NoteWake() { m_bNoted = true; }

    // Milliseconds the machine has slept since it booted.
    static int64_t SleptSinceBoot();
    // Test seam: where SleptSinceBoot reads from (nullptr: the kernel).
    static void SetSleepSource(int64_t (*source)());

private:
    int64_t m_nSlept = 0;
    int64_t m_nLastWake = 0;  // monotonic ms of the last wake-up seen
    std::atomic<bool> m_bNoted{false};
};

}  // namespace bexora
