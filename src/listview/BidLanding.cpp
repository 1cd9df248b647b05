// How close a bid landed: once an auction the user bid on has ended, the
// update worker reads its bid history page and the item's history gets one
// line with the site's time of the bid and the margin before the end.

#include <algorithm>

#include "listview/ItemListCore.h"
#include "site/BidHistory.h"

namespace bexora {

namespace {

bool HasLandingNote(const CItem& item) {
    return item.m_strMessages.find(kBidLandedPrefix) != std::string::npos;
}

}  // namespace

void CItemListCore::AskBidLanding(const CItem& item) {
    // Only once the bid is settled: a pending bid or one still on its way
    // would not be in the history yet.
    if (m_bShutDown || item.m_bBidPending || IsBidResultOut(item.m_nSetupSerial)) return;
    if (item.m_strUserId.empty() || HasLandingNote(item)) return;
    const std::string& number = item.m_strItemNumber;
    if (std::find(m_landingAsked.begin(), m_landingAsked.end(), number) != m_landingAsked.end())
        return;
    m_landingAsked.push_back(number);
    auto copy = std::make_unique<CItem>();
    copy->CopyAllFields(item);
    m_jobs->PostBidHistory(std::move(copy));
}

void CItemListCore::OnBidLanding(const std::string& itemNumber, const std::string& note) {
    if (m_bShutDown || note.empty()) return;
    const int row = FindRow(itemNumber);
    CItem* item = GetItem(row);
    if (!item || HasLandingNote(*item)) return;
    item->m_strMessages.insert(0, note + "\n");
    FillRow(row, *item);
    RedrawRow(row);
    SaveDocument();
}

}  // namespace bexora
