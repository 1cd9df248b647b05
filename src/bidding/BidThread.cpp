#include "bidding/BidThread.h"

namespace bexora {

CBidThread::CBidThread(IWorkerOwner* pListView, CUiDispatcher& ui)
    : CWorkerThread(pListView, ui, WM_BID_QUIT) {}

CBidThread::~CBidThread() { StopWorker(); }

void CBidThread::OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) {
    if (nMsg != WM_BID_PLACE) return;
    auto* request = dynamic_cast<CBidRequest*>(lParam.get());
    if (!request) return;  // not a bid request: freed with lParam
    lParam.release();
    std::unique_ptr<CBidRequest> owned(request);
    PlaceBid(std::move(owned), m_bStopping, [this](std::unique_ptr<CBidRequest> done) {
        // When the delivery is refused (the owner is stopping us), done is
        // still ours and goes here.
        if (m_pListView) Deliver([&] { m_pListView->OnBidPlaced(std::move(done)); });
    });
}

}  // namespace bexora
