#include "bidding/BidThread.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/Clock.h"

namespace bexora {

namespace {

// A moment further ahead than this is not waited for: the scheduler hands
// a timed bid over shortly before its moment, so a longer wait means the
// clock was moved, and sending at once is the better mistake.
constexpr int64_t kLongestWaitMs = 10000;
// Stop requests are looked at this often while waiting.
constexpr int64_t kWaitSliceMs = 50;

}  // namespace

CBidThread::CBidThread(IWorkerOwner* pListView, CUiDispatcher& ui)
    : CWorkerThread(pListView, ui, WM_BID_QUIT) {}

CBidThread::~CBidThread() { StopWorker(); }

void CBidThread::OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) {
    if (nMsg != WM_BID_PLACE && nMsg != WM_BID_CHECK) return;
    auto* request = dynamic_cast<CBidRequest*>(lParam.get());
    if (!request) return;  // not a bid request: freed with lParam
    lParam.release();
    std::unique_ptr<CBidRequest> owned(request);
    if (nMsg == WM_BID_CHECK) {
        OnCheck(std::move(owned));
    } else if (owned->m_nArriveAtMs != 0 || owned->m_bDryRun) {
        OnTimedBid(std::move(owned));
    } else {
        PlaceBid(std::move(owned), m_bStopping,
                 [this](std::unique_ptr<CBidRequest> done) { DeliverBid(std::move(done)); });
    }
}

void CBidThread::DeliverBid(std::unique_ptr<CBidRequest> done) {
    // When the delivery is refused (the owner is stopping us), done is
    // still ours and goes here.
    if (m_pListView) Deliver([&] { m_pListView->OnBidPlaced(std::move(done)); });
}

void CBidThread::OnCheck(std::unique_ptr<CBidRequest> request) {
    if (m_bStopping) return;
    PreFlightResult checked = PreFlight(*request);
    if (m_bStopping) return;
    if (checked.ok)
        m_prepared[request->m_strItemNumber] = checked.prepared;
    else
        m_prepared.erase(request->m_strItemNumber);
    request->m_bSucceeded = checked.ok;
    request->m_strResult = checked.problem;
    if (m_pListView) Deliver([&] { m_pListView->OnPreFlightDone(std::move(request)); });
}

void CBidThread::WaitUntil(int64_t atMs) {
    const int64_t wait = std::min(atMs - GetClock().NowMs(), kLongestWaitMs);
    if (wait <= 0) return;
    // The steady clock, not the wall clock: a step of the wall clock while
    // waiting must not stretch the wait.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait);
    while (!m_bStopping) {
        const auto left = until - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            left, std::chrono::milliseconds(kWaitSliceMs)));
    }
}

void CBidThread::OnTimedBid(std::unique_ptr<CBidRequest> request) {
    if (m_bStopping) return;
    const std::string number = request->m_strItemNumber;
    CPreparedBid prepared;
    auto kept = m_prepared.find(number);
    if (kept != m_prepared.end() && PreparedFor(kept->second, *request)) prepared = kept->second;
    m_prepared.erase(number);  // a form serves one bid
    std::string problem;
    if (prepared.key.empty()) {
        // No pre-flight (it was off for this bid, or found a problem): one
        // now, while there is still time before the moment.
        PreFlightResult checked = PreFlight(*request);
        if (m_bStopping) return;
        if (checked.ok)
            prepared = checked.prepared;
        else
            problem = checked.problem;
    }
    if (request->m_bDryRun) {
        request->m_bSucceeded = false;
        request->m_strResult = prepared.key.empty() ? "Dry run: the bid would fail: " + problem
                                                    : DryRunText(*request, prepared);
        DeliverBid(std::move(request));
        return;
    }
    auto deliver = [this](std::unique_ptr<CBidRequest> done) { DeliverBid(std::move(done)); };
    if (prepared.key.empty()) {
        // The site's own answer at the moment is what the user is told.
        WaitUntil(request->m_nArriveAtMs);
        PlaceBid(std::move(request), m_bStopping, deliver);
        return;
    }
    // Sent early by the one-way time, so that it arrives at the moment.
    WaitUntil(request->m_nArriveAtMs - prepared.roundTripMs / 2);
    PlacePreparedBid(std::move(request), prepared, m_bStopping, deliver);
}

}  // namespace bexora
