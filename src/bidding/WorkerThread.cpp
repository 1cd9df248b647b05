#include "bidding/WorkerThread.h"

#include <system_error>

namespace bexora {

CWorkerThread::CWorkerThread(IWorkerOwner* pListView, CUiDispatcher& ui, unsigned quitMessage)
    : m_pListView(pListView), m_ui(ui), m_quitMessage(quitMessage) {}

CWorkerThread::~CWorkerThread() {
    // The derived classes stop in their own destructors (the thread calls
    // their handler); this only catches a worker that was never stopped.
    StopWorker();
    m_ui.Forget(this);
}

bool CWorkerThread::CreateThread() {
    if (m_thread.joinable()) return false;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CWorkerThread::PostThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(Job{nMsg, std::move(lParam)});
    }
    m_posted.notify_one();
}

void CWorkerThread::StopWorker() {
    if (!m_thread.joinable()) return;
    m_bStopping = true;
    PostThreadMessage(m_quitMessage, nullptr);
    // From here on the worker cannot wait for this thread: its deliveries
    // are refused, and one already queued is cancelled.
    m_ui.Close(this);
    m_thread.join();
}

bool CWorkerThread::Deliver(const std::function<void()>& call) {
    return m_ui.Send(this, call);
}

void CWorkerThread::Run() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_posted.wait(lock, [&] { return !m_jobs.empty(); });
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        if (job.nMsg == m_quitMessage) return;
        OnThreadMessage(job.nMsg, std::move(job.lParam));
    }
}

}  // namespace bexora
