#pragma once
// Calls from worker threads that must run on the UI thread while the worker
// waits ("sent and waited for"). A worker's Send queues the call and blocks;
// the front end, told through the wake callback, runs the queue on its own
// thread with RunPending (Qt: a queued invocation; bexora-cli: its loop).
//
// A stopping worker must never keep its owner waiting for it, nor the owner
// the worker: Close(sender) cancels that sender's queued calls, makes its
// later Sends return at once, and releases a Send whose call is already
// running further up the UI thread's stack (a handler that closes the view).

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace bexora {

class CUiDispatcher {
public:
    // The constructing thread is the UI thread.
    CUiDispatcher();
    CUiDispatcher(const CUiDispatcher&) = delete;
    CUiDispatcher& operator=(const CUiDispatcher&) = delete;

    // Called on the sending thread whenever a call is queued; it must only
    // arrange for RunPending to run on the UI thread soon.
    void SetWake(std::function<void()> wake);

    // Runs call on the UI thread and waits until it has run. False when it
    // was not run because sender was closed; the caller still owns whatever
    // the call would have handed over. Called on the UI thread, it runs the
    // call at once. call may be released (true returned) while it is still
    // running when the sender is closed from inside it.
    bool Send(const void* sender, const std::function<void()>& call);

    // Queues call for the UI thread and returns at once (a message for the
    // user that needs no answer). False when sender is closed: then call is
    // not kept. Close(sender) drops it unrun.
    bool Post(const void* sender, std::function<void()> call);

    // UI thread: runs the calls queued so far, oldest first. Returns how many.
    size_t RunPending();
    // UI thread: waits up to timeoutMs for a call, then runs what is queued.
    // True when at least one call ran.
    bool WaitAndRunPending(int timeoutMs);

    // Cancels the queued calls of sender and refuses its later ones.
    void Close(const void* sender);
    // Takes sender's address off the closed list (its object is gone, and a
    // new one may be made at the same address).
    void Forget(const void* sender);

    bool IsUiThread() const { return std::this_thread::get_id() == m_uiThread; }

private:
    struct Call;
    bool Released(const Call& call) const;  // locked

    std::thread::id m_uiThread;
    mutable std::mutex m_mutex;
    std::condition_variable m_queued;   // UI side waits for calls
    std::condition_variable m_changed;  // senders wait for their call
    std::deque<std::shared_ptr<Call>> m_queue;
    std::set<const void*> m_closed;
    std::function<void()> m_wake;
};

}  // namespace bexora
