// Scheduled bids ahead of their moment: the clock read and the pre-flight
// (sign in, offer form) that finds what would stop the bid while there is
// still time to fix it, and "Check now".

#include <algorithm>

#include "base/Clock.h"
#include "listview/ItemListCore.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

constexpr int kKeeperAsked = 1;
constexpr int kChecked = 2;
// The clock keeper reads the site clock afresh this long before a bid.
constexpr int64_t kKeeperLeadMs = 3 * 60 * 1000;
constexpr int64_t kFreshReadMs = 2 * 60 * 1000;
// A pre-flight later than this before the moment is left to the bid itself
// (the worker makes one when it finds none).
constexpr int64_t kLatestCheckMs = 3000;

constexpr const char* kNoBidToCheck = "No bid to check.";

std::string SpanText(int64_t seconds) {
    return FormatTimeSpan(seconds, seconds >= 86400 ? "%Dd %H:%M:%S" : "%H:%M:%S");
}

}  // namespace

void CItemListCore::AskClockKeeper() const {
    m_nLastKeeperAskMs = GetClock().NowMs();
    ClockKeeper().RequestRead();
}

// Finer than this, the keeper's estimate times a snipe (it rounds the
// whole seconds from there on too).
constexpr int64_t kFineOffsetBoundMs = 500;

int64_t CItemListCore::BidMomentMs(const CItem& item) const {
    // The site moment on the keeper's estimate of the offset. A single read
    // of the time page (the keeper's series cut short) pins the offset to no
    // better than a second: the whole second stands then, as ever.
    if (m_offsetSource || !IsClockOffsetMeasured()) return item.m_tBidTime * 1000;
    const int64_t bound = ClockOffsetBoundMs();
    const bool fine = bound >= 0 && bound < kFineOffsetBoundMs;
    int64_t site = 0;
    if (ReadSiteMoment(item, &site)) return fine ? site * 1000 + ReadClockOffsetMs() : (site + ReadClockOffset()) * 1000;
    const int64_t fraction = fine ? ReadClockOffsetMs() - ReadClockOffset() * 1000 : 0;
    return item.m_tBidTime * 1000 + fraction;
}

void CItemListCore::PostCheck(const CItem& item) {
    auto request = std::make_unique<CBidRequest>(item);
    request->m_tBidStarted = LocalNow();
    ++m_nChecksPosted;
    m_jobs->PostCheck(std::move(request));
}

void CItemListCore::PrepareSnipe(CItem& item, int64_t momentMs, int64_t nowMs) {
    int& done = m_snipePrep[item.m_nSetupSerial];
    if (!(done & kKeeperAsked) && nowMs >= momentMs - kKeeperLeadMs) {
        done |= kKeeperAsked;
        // A read asked for in the last minutes is fresh enough (and a time
        // host that does not answer is not asked again for every bid).
        if (!m_offsetSource && nowMs - m_nLastKeeperAskMs > kFreshReadMs) AskClockKeeper();
    }
    if (!(done & kChecked) && nowMs >= momentMs - int64_t(m_nPreFlightSecs) * 1000) {
        done |= kChecked;
        if (nowMs < momentMs - kLatestCheckMs && item.m_strMyBid != "N/A" &&
            !item.m_strUserId.empty())
            PostCheck(item);
    }
}

bool CItemListCore::CheckItem(CItem& item) {
    if (item.m_strMyBid == "N/A" || item.m_strMyBid.empty() || item.m_strUserId.empty()) {
        m_lastChecks[item.m_strItemNumber] = kNoBidToCheck;
        Notify("Bid check:" + item.m_strItemNumber + " " + kNoBidToCheck, 2);
        return false;
    }
    const bool clockRead = m_offsetSource || IsClockOffsetMeasured();
    if (item.m_strTimeLeft == listtext::kEnded ||
        (item.m_tEndTime != 0 && clockRead && RemainingSeconds(item) <= 0)) {
        m_lastChecks[item.m_strItemNumber] = kCheckEnded;
        Notify("Bid check:" + item.m_strItemNumber + " " + kCheckEnded, 2);
        return false;
    }
    PostCheck(item);
    return true;
}

void CItemListCore::CheckSelected() {
    for (int row : GetSelectedRows())
        if (CItem* item = GetItem(row)) CheckItem(*item);
}

void CItemListCore::OnPreFlightDone(std::unique_ptr<CBidRequest> r) {
    if (!r || m_bShutDown) return;
    ++m_nCheckResults;
    const std::string& number = r->m_strItemNumber;
    m_lastChecks[number] = r->m_bSucceeded ? std::string() : r->m_strResult;
    const int row = FindRow(number);
    CItem* item = GetItem(row);
    if (r->m_bSucceeded) {
        // Good news that needs nothing done: the lowest level (it does not
        // bring the notice window up before every snipe) and the history.
        const std::string passed = "Bid check passed:" + number + " (" + Left(r->m_strTitle, 11) + "..)";
        Notify(passed, 0);
        if (item) {
            item->m_strMessages.insert(0, passed + "\n");
            SaveDocument();
        }
        return;
    }
    // The time left to fix it: until the bid's moment, else the auction's end.
    std::string left;
    if (item && item->m_bBidPending && item->m_tBidTime != 0) {
        const int64_t ms = BidMomentMs(*item) - GetClock().NowMs();
        if (ms > 0) left = SpanText(ms / 1000) + " left to fix it before the bid.";
    } else if (item && item->m_tEndTime != 0 && RemainingSeconds(*item) > 0) {
        left = SpanText(RemainingSeconds(*item)) + " left to fix it before the end.";
    }
    const std::string msg = "Bid check failed:" + number + " (" + Left(r->m_strTitle, 11) + "..) " +
                            r->m_strResult + (left.empty() ? "" : " " + left);
    Notify(msg, 3);
    const std::string balloonItem = m_strBalloonItem;
    const int balloonLevel = m_nBalloonLevel;
    m_strBalloonItem = number;
    m_nBalloonLevel = 3;
    ShowBalloon("Bid check failed", msg);
    m_strBalloonItem = balloonItem;
    m_nBalloonLevel = balloonLevel;
    // The bid stays scheduled: the user may fix the account or the amount,
    // and the bid goes at its moment whatever the check found.
    if (item) {
        item->m_strMessages.insert(0, msg + "\n");
        FillRow(row, *item);
        RedrawRow(row);
        SaveDocument();
    }
}

}  // namespace bexora
