#pragma once
// What the two workers share: a thread with its own job queue, handling one
// job at a time in the order posted, the stop flag, and the synchronous
// delivery of results to the owner's UI thread.
//
// Ownership of a posted record passes to the worker; it is freed exactly
// once: by the owner's result handler, or by the worker when stopping, when
// the work is no longer wanted, or (never handled) with the worker object.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "bidding/Messages.h"
#include "bidding/UiDispatcher.h"
#include "model/Item.h"

namespace bexora {

class CWorkerThread {
public:
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;
    virtual ~CWorkerThread();

    // Starts the thread. False when it runs already or cannot be started.
    bool CreateThread();

    // Queues a job (wParam is always 0). After the worker has ended the
    // record is kept unhandled and freed with the worker object.
    void PostThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam);

    // Owner (UI thread): sets the stop flag, queues the quit message and waits
    // until the thread has ended. Jobs queued before are handled in order and
    // only free their records; the page request in progress finishes. A
    // result the worker is about to deliver is dropped (freed), so the wait
    // never hangs on it. Safe to call more than once.
    void StopWorker();

    bool IsRunning() const { return m_thread.joinable(); }

    // Written by the owner, read by the worker before and after each piece
    // of work.
    std::atomic<bool> m_bStopping{false};
    IWorkerOwner* const m_pListView;

protected:
    CWorkerThread(IWorkerOwner* pListView, CUiDispatcher& ui, unsigned quitMessage);

    // Handles one job on the worker thread; lParam may be null.
    virtual void OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) = 0;

    // Runs call on the owner's UI thread and waits for it. False when the
    // worker is being stopped and the call was not run.
    bool Deliver(const std::function<void()>& call);

private:
    struct Job {
        unsigned nMsg;
        std::unique_ptr<CItem> lParam;
    };
    void Run();

    CUiDispatcher& m_ui;
    const unsigned m_quitMessage;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<Job> m_jobs;
    std::thread m_thread;
};

}  // namespace bexora
