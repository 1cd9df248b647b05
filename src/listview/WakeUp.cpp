// What the list does after the machine slept, and the progress of a batch
// of refreshes. Both are small additions to the scheduler, kept apart from
// the tick itself.

#include <algorithm>

#include "base/Clock.h"
#include "listview/ItemListCore.h"

namespace bexora {

void CItemListCore::OnWakeUp(int64_t sleptMs) {
    (void)sleptMs;
    if (m_bShutDown) return;
    // The local clock may have been stepped while asleep (NTP catches up on
    // waking), and the site's may have drifted: measure the offset again
    // before any late bid is judged by it.
    ClockOffset(true);
    const int64_t now = LocalNow();

    // A bid whose moment lies between the last tick before the sleep and now
    // was missed because of it. Bids due earlier and still pending are
    // waiting for a place in their group; the tick handles those as ever.
    for (int i = 0; i < GetRowCount(); ++i) {
        CItem& item = *m_rows[i].item;
        if (!item.m_bBidPending || item.m_tBidTime <= m_tLastTick || item.m_tBidTime > now)
            continue;
        const std::string number = item.m_strItemNumber;
        const bool ended = item.m_tEndTime != 0 && RemainingSeconds(item) < 0;
        const CBidGroup* group =
            item.m_strBidGroup == "N/A" ? nullptr : m_groups.FindGroup(item.m_strBidGroup);
        const bool waits = !ended && group && group->GetWanted() <= 0;
        const int64_t late = now - item.m_tBidTime;
        std::string why =
            "The computer was asleep when the bid was due at " + FormatClockTime(item.m_tBidTime);
        if (ended)
            why += ".";
        else if (waits)
            why += "; it waits for a free place in its group.";
        else
            why += "; it is placed now, " + std::to_string(late) + " seconds late.";

        item.m_strMessages.insert(0, "Bid late: " + why + "\n");
        m_strBalloonItem = number;
        m_nBalloonLevel = 3;
        Notify("Bid late:" + number + " " + why, 3);
        if (!ended && !waits)
            ShowBalloon("Bid late", "Item: " + number + " placed " + std::to_string(late) +
                                        " seconds late: the computer was asleep.");
        TriggerBid(item);  // says itself when the auction has ended
        RedrawRow(i);
    }

    // Prices, bids and ends may all have moved while asleep: refresh every
    // running item that has a bid of mine, pending or placed.
    BeginBatch();
    for (int i = 0; i < GetRowCount(); ++i) {
        const CItem& item = *m_rows[i].item;
        if (item.m_strTimeLeft == listtext::kEnded) continue;
        if (item.m_bBidPending || item.m_strMyBid != "N/A") UpdateRow(i);
    }
    EndBatch();
}

void CItemListCore::BeginBatch() {
    // A refresh that never came back (its row deleted meanwhile) must not
    // keep an old batch open for ever.
    std::erase_if(m_batch, [this](const std::string& n) { return !m_updatesInFlight.Contains(n); });
    if (m_batch.empty()) m_nBatchTotal = 0;
    m_bBatching = true;
    m_nBatchMark = m_batch.size();
}

void CItemListCore::EndBatch() {
    m_bBatching = false;
    const int added = static_cast<int>(m_batch.size() - m_nBatchMark);
    if (added == 0) return;
    m_nBatchTotal += added;
    m_front.ShowProgress(m_nBatchTotal - static_cast<int>(m_batch.size()), m_nBatchTotal);
}

void CItemListCore::BatchItemDone(const std::string& itemNumber) {
    auto it = std::find(m_batch.begin(), m_batch.end(), itemNumber);
    if (it == m_batch.end()) return;
    m_batch.erase(it);
    const int done = m_nBatchTotal - static_cast<int>(m_batch.size());
    const int total = m_nBatchTotal;
    if (m_batch.empty()) m_nBatchTotal = 0;
    m_front.ShowProgress(done, total);
}

}  // namespace bexora
