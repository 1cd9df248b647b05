// The one-second tick and the road of refreshes and bids through the two
// workers.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "base/Clock.h"
#include "base/Settings.h"
#include "listview/ItemListCore.h"
#include "site/SiteTime.h"

namespace bexora {

namespace {

// The tick is armed this long after the whole second, so that a timer that
// fires a little early still finds the new second on the clock.
constexpr int64_t kTickMarginMs = 2;

// Where the countdown ends when the interval is not usable: the default 30
// minutes rather than refreshing every item on every tick.
constexpr int64_t kDefaultIntervalSeconds = 30 * 60;

// A timed bid goes to the bid worker this long before its moment: after the
// last tick that comes before it (ticks are a second apart), with time left
// for a pre-flight when none was made.
constexpr int64_t kHandOverMs = 2000;

// The hour and minute of the newer-version check (hours divisible by 5).
constexpr int kVersionCheckMinute = 7;

// A step of the computer's clock smaller than this is not worth holding the
// bids for (the offset follows it all the same).
constexpr int64_t kStepMinMs = 250;
// Timed bids wait at most this long after a step for the site's clock to be
// read again; then the step as seen against the boot clock stands.
constexpr int64_t kStepHoldMs = 5000;
// How often bids waiting for the site's clock look whether it was read.
constexpr int64_t kHoldPollMs = 50;

constexpr char kSiteMomentTag[] = "site moment ";

std::string StepText(int64_t ms) {
    const int64_t s = (ms < 0 ? -ms : ms) / 1000;
    char buf[64];
    snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
             static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

}  // namespace

bool ReadSiteMoment(const CItem& item, int64_t* siteMoment) {
    const std::string& r = item.m_strReserved;
    if (r.rfind(kSiteMomentTag, 0) != 0) return false;
    const char* digits = r.c_str() + sizeof kSiteMomentTag - 1;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(digits, &end, 10);
    if (end == digits || *end != '\0' || errno == ERANGE) return false;
    // Far outside any calendar (a damaged file): no moment, not an overflow.
    if (v > (1LL << 40) || v < -(1LL << 40)) return false;
    *siteMoment = v;
    return true;
}

void WriteSiteMoment(CItem& item, int64_t siteMoment) {
    item.m_strReserved = kSiteMomentTag + std::to_string(siteMoment);
}

std::string TimeLeftText(int64_t rem) {
    if (rem <= 0) return listtext::kEnded;
    if (rem >= 86400) return FormatTimeSpan(rem, "%Dd %H:%M:00");
    if (rem >= 60) return FormatTimeSpan(rem, "%H:%M:00");
    return FormatTimeSpan(rem, "%H:%M:%S");
}

std::string CItemListCore::CellTextNow(int row, int col) const {
    const CItem* item = GetItem(row);
    const bool clockRead = m_offsetSource || IsClockOffsetMeasured();
    if (!item || item->m_tEndTime == 0 || !clockRead || (col != kColEndTime && col != kColTimeLeft))
        return GetCellText(row, col);
    const int64_t end = item->m_tEndTime + ClockOffset(false);
    if (col == kColEndTime) return FormatLocalTime(end);
    return TimeLeftText(end - GetClock().Now());
}

int64_t CItemListCore::ClockOffset(bool refresh) const {
    if (m_offsetSource) return m_offsetSource(refresh);
    // The tick, the rows and the bid trigger never wait for the time host:
    // a re-read runs on the keeper's thread and lands in the cache.
    if (refresh) AskClockKeeper();
    return ReadClockOffset();
}

CClockKeeper& CItemListCore::ClockKeeper() const {
    if (!m_keeper) m_keeper = std::make_unique<CClockKeeper>();
    return *m_keeper;
}

void CItemListCore::FollowClockOffset(int64_t offset) {
    // Until the site's clock was read, bid times stay as they were set (or
    // read from the file): local time on the offset known then.
    if (!m_offsetSource && !IsClockOffsetMeasured()) return;
    // The offset the bid times without a site moment were made with: the
    // one of the last tick, and at the first the one of now.
    const int64_t before = m_bBidClockKnown ? m_nBidClockOffset : offset;
    if (m_bBidClockKnown && offset == before && !m_bNewBidTimes) return;
    m_nBidClockOffset = offset;
    m_bBidClockKnown = true;
    m_bNewBidTimes = false;
    // A measured offset (not one pinned or given by a test) is worth
    // keeping a site moment for.
    const bool measured = !m_offsetSource && ReadClockStatus().measuredAtMs != 0;
    bool any = false;
    for (CItemRow& row : m_rows) {
        CItem& item = *row.item;
        if (!item.m_bBidPending || item.m_tBidTime == 0) continue;
        int64_t site = 0;
        if (!ReadSiteMoment(item, &site)) {
            // Set up by an older copy, whose time was made with an offset we
            // cannot know: the one of now stands for it from here on.
            site = item.m_tBidTime - before;
            if (measured) {
                WriteSiteMoment(item, site);
                any = true;
            }
        }
        if (item.m_tBidTime != site + offset) {
            item.m_tBidTime = site + offset;
            any = true;
        }
    }
    if (any) SaveDocument();
}

int64_t CItemListCore::BidClockOffset() const { return ClockOffset(false); }

void CItemListCore::WatchClockStep() {
    const int64_t step = WallClockStepMs();
    const int64_t moved = step - m_nTickStepMs;
    m_nTickStepMs = step;
    if (!m_offsetSource && (moved > std::max(kStepMinMs, ClockOffsetBoundMs()) ||
                            -moved > std::max(kStepMinMs, ClockOffsetBoundMs()))) {
        // The offset follows the step already (it is kept against the boot
        // clock); the bids wait until the time page confirms it.
        m_nHoldReads = ClockKeeper().ReadsStarted();
        m_bHoldBids = true;
        m_nHoldSinceMs = SteadyMs();
        AskClockKeeper();
        m_strClockHold = "Clock moved " + StepText(moved) + (moved > 0 ? " ahead" : " back") +
                         ": bids wait for the site's clock";
        Notify(m_strClockHold, 3);
        SetStatusText(m_strClockHold);
        return;
    }
    if (m_bHoldBids && (ClockKeeper().ReadsFinished() > m_nHoldReads || SteadyMs() - m_nHoldSinceMs >= kStepHoldMs)) {
        m_bHoldBids = false;
        m_strClockHold.clear();
    }
    // Each measurement the keeper finishes is told (not a pinned offset).
    if (m_keeper && !m_offsetSource) {
        const int done = m_keeper->ReadsDone();
        if (done != m_nKeeperReadsSeen) {
            m_nKeeperReadsSeen = done;
            if (ReadClockStatus().measuredAtMs != 0) Notify(ClockStatusText(), 2);
        }
    }
}

std::string CItemListCore::ClockStatusText() const { return SiteClockText(ReadClockStatus()); }

int64_t CItemListCore::RemainingSeconds(const CItem& item) const {
    return item.m_tEndTime + ClockOffset(false) - LocalNow();
}

void CItemListCore::Initialize() {
    m_bFilling = true;
    for (auto& item : m_doc.Items()) InsertItemRow(item.get());
    m_bFilling = false;
    m_nSortKey = 1;  // the indicator shows key 1; the rows keep the file's order

    const CSettingsStore& s = Settings();
    int64_t interval = int64_t(s.GetInt(setting::UpdateMin)) * 60 + s.GetInt(setting::UpdateSec);
    if (interval <= 0) interval = kDefaultIntervalSeconds;
    m_tZero = ZeroMoment();
    m_tUpdateReload = m_tZero + interval;
    m_tUpdateCountdown = s.GetInt(setting::UpdateAll) == 0 ? m_tUpdateReload : 0;

    m_bUpdateRecent = s.GetInt(setting::UpdateRecent) != 0;
    m_nUpdateWindow = int64_t(s.GetInt(setting::UpdateEndDay)) * 86400 +
                      int64_t(s.GetInt(setting::UpdateEndHour)) * 3600 +
                      int64_t(s.GetInt(setting::UpdateEndMin)) * 60;

    m_notices.SetLevel(s.GetInt(setting::MessageLevel));
    m_nPreFlightSecs = std::max(0, s.GetInt(setting::PreFlightSec));
    // Nothing measured yet: the keeper reads the time page now. Timed bids
    // wait for its first read (a bid set up while the time host was silent
    // holds only its site moment); without an answer the stored local times
    // stand.
    if (!m_offsetSource && !IsClockOffsetMeasured()) {
        m_nHoldReads = ClockKeeper().ReadsStarted();
        m_bHoldBids = true;
        m_nHoldSinceMs = SteadyMs();
        m_strClockHold = "Reading the site's clock: bids wait for it";
        AskClockKeeper();
    }
    m_tLastTick = GetClock().NowMs() / 1000 - 1;  // the first tick is due at once
    m_nTickStepMs = WallClockStepMs();
    m_front.RowsChanged();
}

int64_t CItemListCore::MsUntilNextTick() const {
    const int64_t nowMs = GetClock().NowMs();
    const int64_t second = nowMs >= 0 ? nowMs / 1000 : -((-nowMs + 999) / 1000);
    // A second not ticked yet is due now; so is any other second than the
    // last tick's (a clock stepped back puts that one in the future).
    if (second != m_tLastTick) return 0;
    const int64_t wait = (second + 1) * 1000 + kTickMarginMs - nowMs;
    // Bids waiting for the site's clock look again soon.
    return std::clamp<int64_t>(wait, 0, m_bHoldBids ? kHoldPollMs : 1000 + kTickMarginMs);
}

void CItemListCore::CheckBidDue(int i, int64_t now, int64_t nowMs) {
    CItem& item = *m_rows[i].item;
    if (item.m_bBidPending && m_nPreFlightSecs > 0 && item.m_tBidTime != 0) {
        // Timed to the millisecond: the worker gets the bid shortly
        // before its moment and sends the confirmation itself.
        const int64_t moment = BidMomentMs(item);
        PrepareSnipe(item, moment, nowMs);
        // Not on a guess of the site's clock: until the keeper's first
        // read, the bid waits for its moment by the local clock.
        const bool clockKnown = m_offsetSource || IsClockOffsetMeasured() || nowMs >= moment;
        if (clockKnown && !m_bHoldBids && nowMs >= moment - kHandOverMs &&
            !m_dryRunDone.count(item.m_nSetupSerial)) {
            TriggerBid(item, moment);
            RedrawRow(i);
        }
    } else if (item.m_bBidPending && item.m_tBidTime <= now && !m_bHoldBids &&
               !m_dryRunDone.count(item.m_nSetupSerial)) {
        TriggerBid(item);
        RedrawRow(i);
    }
}

void CItemListCore::OnTick() {
    if (m_bInTick || m_bShutDown) return;
    m_bInTick = true;

    const int64_t now = LocalNow();
    if (now == m_tLastTick && m_bHoldBids) {
        // Within the second, while bids wait for the site's clock: they go
        // as soon as it was read, not at the next second.
        WatchClockStep();
        if (!m_bHoldBids) {
            FollowClockOffset(ClockOffset(false));
            const int64_t nowMs = GetClock().NowMs();
            for (int i = 0; i < GetRowCount(); ++i) CheckBidDue(i, now, nowMs);
        }
        m_bInTick = false;
        return;
    }
    // Before m_tLastTick moves on: it tells which bids fell due in the sleep.
    if (int64_t slept = 0; m_wake.Woke(&slept)) OnWakeUp(slept);
    m_tLastTick = now;
    WatchClockStep();
    const int64_t offset = ClockOffset(false);
    FollowClockOffset(offset);
    const int64_t nowMs = GetClock().NowMs();
    // Until the site's clock was read the offset is a guess (0 when this
    // computer is not in the site's zone): no auction is declared ended on
    // it, nor refreshed as one.
    const bool clockRead = m_offsetSource || IsClockOffsetMeasured();
    const int n = GetRowCount();
    for (int i = 0; i < n && i < GetRowCount(); ++i) {
        CheckBidDue(i, now, nowMs);
        CItem& item = *m_rows[i].item;
        if (item.m_tEndTime == 0 || !clockRead) continue;

        const int64_t rem = item.m_tEndTime + offset - now;
        // Formatting is the costly part of the pass: the text depends only on
        // the minute (or, in the last minute, the second), so it is made once
        // per change of that key.
        CItemRow& row = m_rows[i];
        const int64_t key = rem <= 0 ? INT64_MIN : (rem < 60 ? -rem : rem / 60);
        if (key != row.timeKey) {
            row.timeKey = key;
            row.timeText = TimeLeftText(rem);
        }
        const bool wasEnded = item.m_strTimeLeft == listtext::kEnded;
        if (rem <= 0 && !wasEnded) UpdateRow(i);  // the end-of-auction refresh

        if (!wasEnded && row.timeText != item.m_strTimeLeft) {
            SetCell(i, kColTimeLeft, row.timeText);
            item.m_strTimeLeft = row.timeText;
        }
        // In the last ten minutes of an item I bid on, refresh at each whole
        // minute. (This is asked whether or not the shown text changed on
        // this tick: the text changes just after the whole minute, so tying
        // the two together would almost never refresh.)
        if (!wasEnded && rem >= 1 && rem <= 600 && rem % 60 == 0 && item.m_strMyBid != "N/A")
            UpdateRow(i);
    }

    struct tm tm {};
    const time_t tt = static_cast<time_t>(now);
    if (localtime_r(&tt, &tm)) {
        // The hourly clock re-read, once in the hour's first two seconds.
        if (tm.tm_min == 0 && tm.tm_sec < 2 && m_tLastClockRead / 3600 != now / 3600) {
            m_tLastClockRead = now;
            ClockOffset(true);
        }
        if (m_newerVersion && tm.tm_hour % 5 == 0 && tm.tm_min == kVersionCheckMinute && tm.tm_sec < 2 &&
            m_tLastVersionCheck / 60 != now / 60) {
            m_tLastVersionCheck = now;  // once in that minute, not on both seconds
            m_newerVersion([this](bool newer) {
                if (newer) Notify(notice::kNewerVersion, 3);
            });
        }
    }

    if (m_tUpdateCountdown > m_tZero) {
        m_tUpdateCountdown -= 1;
    } else {
        m_tUpdateCountdown = m_tUpdateReload;
        if (m_bUpdateRecent) UpdateRecent();
        else UpdateAll();
    }

    if (m_front.IsActiveFrame()) SetStatusText(m_bHoldBids ? m_strClockHold : CountdownStatusText());
    m_bInTick = false;
}

std::string CItemListCore::CountdownStatusText() const {
    return std::string(listtext::kUpdateIn) + FormatClockTime(m_tUpdateCountdown);
}

void CItemListCore::TriggerBid(CItem& item, int64_t arriveAtMs) {
    const int64_t now = LocalNow();
    if (m_bDryRun) {
        // Nothing of the list changes: the bid is only shown as it would go.
        m_dryRunDone[item.m_nSetupSerial] = true;
        if ((m_offsetSource || IsClockOffsetMeasured()) && item.m_tEndTime != 0 &&
            RemainingSeconds(item) < 0) {
            Notify("Dry run:" + item.m_strItemNumber + " " + notice::kEndedBeforeBid, 2);
            return;
        }
        auto request = std::make_unique<CBidRequest>(item);
        request->m_tBidStarted = now;
        request->m_nArriveAtMs = arriveAtMs;
        request->m_bDryRun = true;
        ++m_nBidsPosted;
        m_jobs->PostBid(std::move(request));
        return;
    }
    // An item naming a group the list does not hold bids as if in no group.
    CBidGroup* group = item.m_strBidGroup == "N/A" ? nullptr : m_groups.FindGroup(item.m_strBidGroup);
    // An end time of 0 is not known (the last refresh failed, say): only a
    // known end can be past. Taking 0 for "ended" would throw away a snipe
    // on a live auction after one lost page.
    // Nor can an end be past by a site clock never read (its time page
    // fails): the offset is then a guess, hours off when this computer's
    // zone is not the site's, and would throw the snipe away. The site
    // says so itself when the auction has ended.
    const bool clockKnown = m_offsetSource || IsClockOffsetMeasured();
    const bool ended = clockKnown && item.m_tEndTime != 0 && RemainingSeconds(item) < 0;
    if (group && group->GetWanted() <= 0) {
        // A bid whose group is full waits for a slot while its auction runs;
        // with no known end it is skipped now rather than waiting unseen.
        if (ended || item.m_tEndTime == 0) {
            item.m_bHighBidder = 1;
            item.m_bNotified = 1;
            item.m_bBidPending = 0;
            item.m_strMessages.insert(0, std::string(notice::kGroupLimit) + "\n");
            Notify("Bid skipped:" + item.m_strItemNumber + " " + notice::kGroupLimit, 3);
            SaveDocument();
        }
        // Otherwise the bid waits for a slot; the next tick asks again.
        return;
    }
    item.m_bBidPending = 0;
    item.m_bHighBidder = 1;
    if (ended) {
        item.m_strMessages.insert(0, std::string(notice::kEndedBeforeBid) + "\n");
        Notify("Bid failed:" + item.m_strItemNumber + " " + notice::kEndedBeforeBid, 3);
        item.m_bNotified = 1;
        SaveDocument();
        return;
    }
    if (group) {
        group->SetWanted(group->GetWanted() - 1);
        RedrawGroupRows(item.m_strBidGroup);
    }
    // The slot this bid took is given back at most once: by its failure or
    // by an outbid of this set-up, whichever comes first.
    m_bids[item.m_nSetupSerial] = CBidTrack{group ? item.m_strBidGroup : std::string(), group != nullptr, true};
    auto request = std::make_unique<CBidRequest>(item);
    // A timed bid starts at its moment, not when the worker got it.
    request->m_tBidStarted = std::max(now, arriveAtMs / 1000);
    request->m_nArriveAtMs = arriveAtMs;
    // Saved before the bid leaves: a runner killed in between and restarted
    // must find the bid sent, not pending, or it would place it twice.
    SaveDocument();
    ++m_nBidsPosted;
    m_jobs->PostBid(std::move(request));
}

void CItemListCore::UpdateRow(int row) {
    SetStatusText(listtext::kUpdating);
    if (row < 0 || row >= GetRowCount()) return;
    CItem& item = *m_rows[row].item;
    if (item.m_strTimeLeft == listtext::kEnded && !item.m_bFresh) {
        item.m_bChanged = 0;
        item.m_bUpdateFailed = 0;
        RedrawRow(row);
        return;
    }
    if (m_updatesInFlight.Contains(item.m_strItemNumber)) return;
    SetRowImage(row, kImageUpdating);
    auto copy = std::make_unique<CItem>(item);
    copy->m_bChanged = 0;
    copy->m_bUpdateFailed = 0;
    m_updatesInFlight.Add(&item);
    if (m_bBatching) m_batch.push_back(item.m_strItemNumber);
    m_jobs->PostUpdate(std::move(copy));
}

void CItemListCore::UpdateSelected() {
    BeginBatch();
    for (int row : GetSelectedRows()) UpdateRow(row);
    EndBatch();
}

void CItemListCore::UpdateAll() {
    BeginBatch();
    for (int i = 0; i < GetRowCount(); ++i) UpdateRow(i);
    EndBatch();
    m_tUpdateCountdown = m_tUpdateReload;
}

// The automatic update with "Update Recent": only items ending within the
// window from now, and those whose end is not known yet.
void CItemListCore::UpdateRecent() {
    BeginBatch();
    for (int i = 0; i < GetRowCount(); ++i)
        if (InUpdateWindow(*m_rows[i].item)) UpdateRow(i);
    EndBatch();
    m_tUpdateCountdown = m_tUpdateReload;
}

bool CItemListCore::InUpdateWindow(const CItem& item) const {
    return item.m_tEndTime == 0 || RemainingSeconds(item) <= m_nUpdateWindow;
}

void CItemListCore::NewBidSetup(CItem& item) {
    auto it = m_bids.find(item.m_nSetupSerial);
    if (it != m_bids.end()) {
        it->second.holdsSlot = false;
        if (!it->second.resultOut) m_bids.erase(it);
    }
    item.m_nSetupSerial = CItem::NewSetupSerial();
}

bool CItemListCore::IsBidResultOut(uint64_t setupSerial) const {
    auto it = m_bids.find(setupSerial);
    return it != m_bids.end() && it->second.resultOut;
}

void CItemListCore::GiveSlotBack(uint64_t setupSerial) {
    auto it = m_bids.find(setupSerial);
    if (it == m_bids.end() || !it->second.holdsSlot) return;
    it->second.holdsSlot = false;
    const std::string group = it->second.group;
    if (!it->second.resultOut) m_bids.erase(it);
    // A group the list does not hold (any more) counts as no group.
    if (CBidGroup* g = m_groups.FindGroup(group)) {
        g->SetWanted(g->GetWanted() + 1);
        RedrawGroupRows(group);
    }
}

bool CItemListCore::IsUpdateInFlight(const std::string& itemNumber) {
    return m_updatesInFlight.Contains(itemNumber);
}

void CItemListCore::OnItemUpdated(std::unique_ptr<CItem> u) {
    if (!u || m_bShutDown) return;
    // The copy's bidding fields are those of the moment the refresh was
    // posted. A bid may have been sent, answered, set up or cancelled since;
    // taking the old ones back would revive a sent bid (and send it twice)
    // or lose the user's new one. The notices therefore look at the bidding
    // fields as they are now, with the page's fresh values.
    if (const CItem* current = GetItem(FindRow(u->m_strItemNumber))) {
        const std::string bidCount = u->m_strBidCount;  // a page value the bid merge also carries
        u->CopyBidFields(*current);
        u->m_strBidCount = bidCount;
    }
    NoticesForRefresh(*u);
    const int row = MergeItem(*u, true, true);
    if (row >= 0) {
        SetRowImage(row, u->m_strNote.empty() ? kImageNormal : kImageNote);
        RedrawRow(row);
    }
    m_updatesInFlight.Remove(u->m_strItemNumber);
    BatchItemDone(u->m_strItemNumber);
}

int CItemListCore::MergeItem(const CItem& copy, bool page, bool bid) {
    const int row = FindRow(copy.m_strItemNumber);
    if (row < 0 || (!page && !bid)) return row;
    CItem& item = *m_rows[row].item;
    if (page) item.CopyPageFields(copy);
    if (bid) item.CopyBidFields(copy);
    FillRow(row, item);
    RedrawRow(row);
    return row;
}

}  // namespace bexora
