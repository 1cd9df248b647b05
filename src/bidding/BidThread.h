#pragma once
// CBidThread: the bid worker of an item list. Each WM_BID_PLACE is one
// complete bid conversation (PlaceBid); the filled request comes back as
// WM_BID_RESULT, or is freed unsent when the worker is stopping.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "bidding/BidRequest.h"
#include "bidding/WorkerThread.h"

namespace bexora {

class CBidThread : public CWorkerThread {
public:
    CBidThread(IWorkerOwner* pListView, CUiDispatcher& ui);
    ~CBidThread() override;

    // WM_BID_PLACE with a new request.
    void PostBid(std::unique_ptr<CBidRequest> request) {
        PostThreadMessage(WM_BID_PLACE, std::move(request));
    }
    // WM_BID_CHECK: the pre-flight of a bid set-up.
    void PostCheck(std::unique_ptr<CBidRequest> request) {
        PostThreadMessage(WM_BID_CHECK, std::move(request));
    }

protected:
    void OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) override;

private:
    void OnCheck(std::unique_ptr<CBidRequest> request);
    // A bid with a moment: the confirmation alone (after a pre-flight, made
    // now when none was), sent early by half the offer host's round trip.
    void OnTimedBid(std::unique_ptr<CBidRequest> request);
    // Sleeps until the local clock reads atMs (at most a few seconds), or
    // until the worker is stopped.
    void WaitUntil(int64_t atMs);
    void DeliverBid(std::unique_ptr<CBidRequest> done);

    // Worker thread only: the forms kept by pre-flights, by item number.
    std::map<std::string, CPreparedBid> m_prepared;
};

}  // namespace bexora
