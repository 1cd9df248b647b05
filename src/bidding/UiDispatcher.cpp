#include "bidding/UiDispatcher.h"

#include <chrono>

namespace bexora {

struct CUiDispatcher::Call {
    enum class State { Queued, Running, Done, Cancelled };
    const void* sender;
    std::function<void()> fn;
    State state = State::Queued;
};

CUiDispatcher::CUiDispatcher() : m_uiThread(std::this_thread::get_id()) {}

void CUiDispatcher::SetWake(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wake = std::move(wake);
}

bool CUiDispatcher::Released(const Call& call) const {
    switch (call.state) {
    case Call::State::Done:
    case Call::State::Cancelled:
        return true;
    case Call::State::Running:
        return m_closed.count(call.sender) != 0;
    default:
        return false;
    }
}

bool CUiDispatcher::Send(const void* sender, const std::function<void()>& fn) {
    if (IsUiThread()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_closed.count(sender)) return false;
        }
        fn();
        return true;
    }
    auto call = std::make_shared<Call>(Call{sender, fn});
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed.count(sender)) return false;
        m_queue.push_back(call);
        wake = m_wake;
    }
    m_queued.notify_all();
    if (wake) wake();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return Released(*call); });
    return call->state != Call::State::Cancelled;
}

bool CUiDispatcher::Post(const void* sender, std::function<void()> fn) {
    auto call = std::make_shared<Call>(Call{sender, std::move(fn)});
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_closed.count(sender)) return false;
        m_queue.push_back(call);
        wake = m_wake;
    }
    m_queued.notify_all();
    if (wake) wake();
    return true;
}

size_t CUiDispatcher::RunPending() {
    size_t ran = 0;
    size_t queued;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        queued = m_queue.size();
    }
    // Only what was there on entry: a busy worker cannot starve the caller.
    while (ran < queued) {
        std::shared_ptr<Call> call;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_queue.empty()) break;
            call = m_queue.front();
            m_queue.pop_front();
            call->state = Call::State::Running;
        }
        struct Finish {
            CUiDispatcher& self;
            Call& call;
            ~Finish() {
                {
                    std::lock_guard<std::mutex> lock(self.m_mutex);
                    call.state = Call::State::Done;
                }
                self.m_changed.notify_all();
            }
        } finish{*this, *call};
        call->fn();
        ++ran;
    }
    return ran;
}

bool CUiDispatcher::WaitAndRunPending(int timeoutMs) {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_queued.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return !m_queue.empty(); });
    }
    return RunPending() > 0;
}

void CUiDispatcher::Close(const void* sender) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed.insert(sender);
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if ((*it)->sender == sender) {
                (*it)->state = Call::State::Cancelled;
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    m_changed.notify_all();
}

void CUiDispatcher::Forget(const void* sender) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed.erase(sender);
}

}  // namespace bexora
