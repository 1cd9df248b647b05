#pragma once
// The event loop of a list run headless (bexora-cli run, the benchmarks):
// one thread, the UI thread, that ticks the list just after each whole
// second of the local clock and in between waits on the dispatcher, so a
// worker's result is merged the moment it arrives instead of at the next
// tick. SIGINT and SIGTERM end the loop cleanly; the caller then stops the
// workers and saves.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "bidding/UiDispatcher.h"

namespace bexora::cli {

class CHeadlessLoop {
public:
    enum class EndReason { TimeUp, Signal, Stopped };

    // Blocks SIGINT and SIGTERM in the calling thread, so every thread it
    // starts afterwards (the workers) inherits the mask and only the loop's
    // watcher receives them. Call before the workers are created.
    static void BlockStopSignals();
    // Undoes BlockStopSignals for the calling thread: a second signal while
    // the program is shutting down then ends it the ordinary way. Copies of
    // the stopping signal already pending are taken first.
    static void UnblockStopSignals();

    explicit CHeadlessLoop(CUiDispatcher& ui);
    ~CHeadlessLoop();
    CHeadlessLoop(const CHeadlessLoop&) = delete;
    CHeadlessLoop& operator=(const CHeadlessLoop&) = delete;

    // Milliseconds from now until the tick should run; without one the loop
    // arms for 1 ms after the next whole second of the local clock.
    using NextTickFn = std::function<int64_t()>;

    // Runs tick once a second and the dispatcher's calls as they come, for
    // forMs milliseconds of the monotonic clock (negative: without end) or until
    // a stop signal or Stop(). Returns why it ended.
    EndReason Run(const std::function<void()>& tick, const NextTickFn& msUntilNextTick,
                  int64_t forMs);
    // Runs only the dispatcher's calls until done() holds, forMs passes or
    // a signal comes (bexora-cli bid --now waiting for its result).
    EndReason RunUntil(const std::function<bool()>& done, int64_t forMs);

    // From the UI thread (a handler): ends Run or RunUntil after the
    // current call.
    void Stop() { m_bStop = true; }
    // The signal that ended the loop (0 when none came).
    int Signal() const { return m_nSignal.load(); }

    // 1 ms past the next whole second of nowMs (a second that has just
    // begun counts as reached: 12:00:00.000 gives 1 ms).
    static int64_t MsUntilNextWholeSecond(int64_t nowMs);

private:
    void StartWatcher();
    void StopWatcher();
    EndReason Pump(const std::function<void()>* tick, const NextTickFn* msUntilNextTick,
                   const std::function<bool()>* done, int64_t forMs);

    CUiDispatcher& m_ui;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bWatcherDone{false};
    std::atomic<int> m_nSignal{0};
    std::thread m_watcher;
};

}  // namespace bexora::cli
