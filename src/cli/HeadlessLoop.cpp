#include "cli/HeadlessLoop.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <ctime>

#include "base/Clock.h"

namespace bexora::cli {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

// The longest single wait: the watcher's wake-up reaches the dispatcher at
// once, so this only bounds how stale a computed deadline can get.
constexpr int kMaxWaitMs = 1000;

// Copies of a stop signal come within this long of the first: timeout(1)
// signals the program and then its process group, a terminal's Ctrl+C
// reaches every process of the job.
constexpr int64_t kCopyWindowMs = 300;
// When a loop's watcher took its stop signal (steady clock, ms; 0: none).
std::atomic<int64_t> g_stopSignalMs{0};

}  // namespace

void CHeadlessLoop::BlockStopSignals() {
    sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void CHeadlessLoop::UnblockStopSignals() {
    sigset_t set = StopSignals();
    // Copies of the signal that ended the loop are taken here, also one
    // still on its way; only a later signal ends the program before its save.
    const int64_t until = g_stopSignalMs.exchange(0) + kCopyWindowMs;
    for (;;) {
        const int64_t left = std::max<int64_t>(0, until - SteadyMs());
        const timespec wait{static_cast<time_t>(left / 1000), static_cast<long>(left % 1000) * 1000000};
        if (sigtimedwait(&set, nullptr, &wait) <= 0) break;
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int64_t CHeadlessLoop::MsUntilNextWholeSecond(int64_t nowMs) {
    // The next instant of the form k seconds + 1 ms that lies after nowMs.
    int64_t next = ((nowMs - 1) / 1000 + 1) * 1000 + 1;
    return next - nowMs;
}

CHeadlessLoop::CHeadlessLoop(CUiDispatcher& ui) : m_ui(ui) {}

CHeadlessLoop::~CHeadlessLoop() { StopWatcher(); }

void CHeadlessLoop::StartWatcher() {
    if (m_watcher.joinable()) return;
    m_bWatcherDone = false;
    // The watcher needs the signals blocked to take them with sigtimedwait;
    // the caller normally did so before starting its workers.
    BlockStopSignals();
    m_watcher = std::thread([this] {
        sigset_t set = StopSignals();
        while (!m_bWatcherDone) {
            timespec wait{0, 100 * 1000 * 1000};
            int sig = sigtimedwait(&set, nullptr, &wait);
            if (sig <= 0) continue;
            g_stopSignalMs.store(SteadyMs());
            m_nSignal = sig;
            m_bStop = true;
            // Wakes the UI thread out of its wait; the call itself is empty.
            m_ui.Send(this, [] {});
            return;
        }
    });
}

void CHeadlessLoop::StopWatcher() {
    if (!m_watcher.joinable()) return;
    m_bWatcherDone = true;
    m_ui.Close(this);  // a Send still queued returns at once
    m_watcher.join();
    m_ui.Forget(this);
}

CHeadlessLoop::EndReason CHeadlessLoop::Run(const std::function<void()>& tick,
                                            const NextTickFn& msUntilNextTick, int64_t forMs) {
    return Pump(&tick, &msUntilNextTick, nullptr, forMs);
}

CHeadlessLoop::EndReason CHeadlessLoop::RunUntil(const std::function<bool()>& done,
                                                 int64_t forMs) {
    return Pump(nullptr, nullptr, &done, forMs);
}

CHeadlessLoop::EndReason CHeadlessLoop::Pump(const std::function<void()>* tick,
                                             const NextTickFn* msUntilNextTick,
                                             const std::function<bool()>* done, int64_t forMs) {
    StartWatcher();
    // Every wait is on the monotonic clock: the wall clock may be stepped
    // (NTP after a resume) and must neither stop the ticks nor end the run.
    const int64_t start = SteadyMs();
    const int64_t deadline = forMs < 0 ? INT64_MAX : start + forMs;
    auto nextTick = [&](int64_t now) {
        int64_t ms = msUntilNextTick && *msUntilNextTick ? (*msUntilNextTick)()
                                                         : MsUntilNextWholeSecond(GetClock().NowMs());
        // Never more than a second away, whatever the wall clock says.
        return now + std::clamp<int64_t>(ms, 0, 1000 + 1);
    };
    int64_t tickAt = nextTick(start);
    EndReason reason = EndReason::TimeUp;
    for (;;) {
        if (m_bStop) {
            reason = m_nSignal ? EndReason::Signal : EndReason::Stopped;
            break;
        }
        if (done && (*done)()) {
            reason = EndReason::Stopped;
            break;
        }
        int64_t now = SteadyMs();
        if (now >= deadline) break;
        if (tick && now >= tickAt) {
            (*tick)();
            // Armed afresh from the clock after the tick, so a slow tick
            // never makes the following ones drift off the second.
            tickAt = nextTick(SteadyMs());
            continue;
        }
        int64_t until = std::min(deadline, tick ? tickAt : deadline) - now;
        m_ui.WaitAndRunPending(static_cast<int>(std::clamp<int64_t>(until, 0, kMaxWaitMs)));
    }
    // Calls that came in with the stop still run, so no result is lost.
    m_ui.RunPending();
    StopWatcher();
    return reason;
}

}  // namespace bexora::cli
