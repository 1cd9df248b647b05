#include "listview/SleepGuard.h"

#include "base/Clock.h"
#include "base/Settings.h"
#include "listview/ItemListCore.h"

namespace bexora {

namespace {

// How long after its moment a sent bid still keeps the machine awake: the
// sign-in and the bid pages take a few seconds, slow sites a minute.
constexpr int64_t kAfterBidSeconds = 120;
// A refused lock is asked for again this much later, not every tick.
constexpr int64_t kRetrySeconds = 60;

}  // namespace

CSleepGuard::~CSleepGuard() {
    Release();
}

std::string CSleepGuard::Reason(const std::string& itemNumber, int64_t at) {
    return "Bid on item " + itemNumber + " due at " + FormatClockTime(at);
}

void CSleepGuard::Release() {
    if (m_bHeld) m_lock.Release();
    m_bHeld = false;
    m_strWhy.clear();
    m_strItem.clear();
    m_tMoment = 0;
    m_tKeepUntil = 0;
}

void CSleepGuard::Update(const std::vector<const CItemListCore*>& lists) {
    const int64_t now = LocalNow();
    if (m_nWindow < 0 || now - m_tWindowRead >= 60 || now < m_tWindowRead) {
        m_nWindow = int64_t(Settings().GetInt(setting::SleepGuardMin)) * 60;
        m_tWindowRead = now;
    }

    // The nearest pending bid that is due within the window. One whose
    // moment has passed is waiting for a slot in its group: it counts while
    // its auction runs.
    const CItem* nearest = nullptr;
    bool stillPending = false;  // the item the lock names is still pending
    for (const CItemListCore* list : lists) {
        for (int i = 0; list && i < list->GetRowCount(); ++i) {
            const CItem* item = list->GetItem(i);
            if (!item || !item->m_bBidPending || item->m_tBidTime == 0) continue;
            if (item->m_strItemNumber == m_strItem) stillPending = true;
            if (item->m_tBidTime - now > m_nWindow) continue;
            if (item->m_tBidTime < now && item->m_tEndTime != 0 &&
                list->RemainingSeconds(*item) < 0)
                continue;
            if (!nearest || item->m_tBidTime < nearest->m_tBidTime) nearest = item;
        }
    }
    if (m_nWindow <= 0) nearest = nullptr;

    if (!nearest) {
        if (!m_bHeld) return;
        // The named bid went out at its moment: keep the machine up while it
        // is being placed. Cancelled before its moment: nothing to wait for.
        if (!stillPending && m_tMoment <= now) {
            if (m_tKeepUntil == 0) m_tKeepUntil = m_tMoment + kAfterBidSeconds;
            if (now < m_tKeepUntil) return;
        }
        Release();
        return;
    }
    const std::string why = Reason(nearest->m_strItemNumber, nearest->m_tBidTime);
    if (m_bHeld && why == m_strWhy) return;
    if (now < m_tRetryAt) return;
    if (!m_lock.Take(why)) {
        m_tRetryAt = now + kRetrySeconds;
        return;
    }
    m_bHeld = true;
    m_strWhy = why;
    m_strItem = nearest->m_strItemNumber;
    m_tMoment = nearest->m_tBidTime;
    m_tKeepUntil = 0;
}

}  // namespace bexora
