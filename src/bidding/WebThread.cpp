#include "bidding/WebThread.h"

#include "site/BidHistory.h"

namespace bexora {

CWebThread::CWebThread(IWorkerOwner* pListView, CUiDispatcher& ui, RefreshFn refresh)
    : CWorkerThread(pListView, ui, WM_WEB_QUIT), m_refresh(std::move(refresh)) {
    if (!m_refresh) m_refresh = [](CItem& item) { item.UpdateFromSite(); };
}

CWebThread::~CWebThread() { StopWorker(); }

void CWebThread::OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) {
    if (nMsg == WM_ITEM_UPDATE && lParam) OnItemUpdate(std::move(lParam));
    if (nMsg == WM_BID_HISTORY && lParam) OnBidHistory(std::move(lParam));
    // Anything else is not ours: its record goes with lParam.
}

void CWebThread::OnItemUpdate(std::unique_ptr<CItem> copy) {
    if (m_bStopping) return;
    // The row may have been deleted (or the view emptied) since the post.
    if (!m_pListView || !m_pListView->IsUpdateInFlight(copy->m_strItemNumber)) return;
    m_refresh(*copy);  // a failure is marked in the copy, which comes back all the same
    if (m_bStopping) return;
    Deliver([&] { m_pListView->OnItemUpdated(std::move(copy)); });
}

void CWebThread::OnBidHistory(std::unique_ptr<CItem> copy) {
    if (m_bStopping || !m_pListView) return;
    std::string note = ReadBidLanding(copy->m_strItemNumber, copy->m_strUserId, copy->m_tEndTime);
    if (m_bStopping) return;
    const std::string number = copy->m_strItemNumber;
    Deliver([&] { m_pListView->OnBidLanding(number, note); });
}

}  // namespace bexora
