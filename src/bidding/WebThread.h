#pragma once
// CWebThread: the update worker of an item list. For each WM_ITEM_UPDATE it
// refreshes the copy from the item's page and sends it back as
// WM_ITEM_UPDATED, unless the worker is stopping or the list no longer
// wants the refresh.

#include <functional>
#include <memory>

#include "bidding/WorkerThread.h"

namespace bexora {

class CWebThread : public CWorkerThread {
public:
    // How a copy is refreshed; CItem::UpdateFromSite unless a test says otherwise.
    using RefreshFn = std::function<void(CItem&)>;

    CWebThread(IWorkerOwner* pListView, CUiDispatcher& ui, RefreshFn refresh = {});
    ~CWebThread() override;

    // WM_ITEM_UPDATE with a copy of the list's item.
    void PostUpdate(std::unique_ptr<CItem> copy) { PostThreadMessage(WM_ITEM_UPDATE, std::move(copy)); }
    // WM_BID_HISTORY with a copy of an ended item the user bid on.
    void PostBidHistory(std::unique_ptr<CItem> copy) { PostThreadMessage(WM_BID_HISTORY, std::move(copy)); }

protected:
    void OnThreadMessage(unsigned nMsg, std::unique_ptr<CItem> lParam) override;

private:
    void OnItemUpdate(std::unique_ptr<CItem> copy);
    void OnBidHistory(std::unique_ptr<CItem> copy);

    RefreshFn m_refresh;
};

}  // namespace bexora
