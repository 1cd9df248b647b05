#pragma once
// CBidThread: the bid worker of an item list. Each WM_BID_PLACE is one
// complete bid conversation (PlaceBid); the filled request comes back as
// WM_BID_RESULT, or is freed unsent when the worker is stopping.

#include <functional>
#include <memory>

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

protected:
    void OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) override;
};

}  // namespace bexora
