#include "listview/Notices.h"

#include "listview/ItemListCore.h"
#include "base/Clock.h"
#include "site/SiteTime.h"
#include "text/TextTools.h"

namespace bexora {

bool CNoticeLog::Notify(const std::string& text, int level) {
    if (level < m_nLevel) return false;
    m_lines.push_back(text);
    if (m_listener) m_listener(text, level);
    return true;
}

namespace {

void AddHistory(CItem& item, const std::string& line) { item.m_strMessages.insert(0, line + "\n"); }

}  // namespace

// What a refreshed copy tells the user. Everything is decided and changed on
// the copy, which is merged into the list's item afterwards.
void CItemListCore::NoticesForRefresh(CItem& u) {
    const std::string& number = u.m_strItemNumber;
    m_strBalloonItem = number;  // every balloon below is about this item (level 2)
    m_nBalloonLevel = 2;
    const bool ended = u.m_strTimeLeft == listtext::kEnded;
    const bool mine = u.m_strMyBid != "N/A";

    // The site's page changed under the profile: said once, until the item's
    // page reads again, in the notices and the item's history.
    if (!u.m_strPageProblem.empty()) {
        if (m_notRecognised.insert(number).second) {
            Notify(u.m_strPageProblem, 2);
            AddHistory(u, u.m_strPageProblem);
        }
        return;
    }
    if (!u.m_bUpdateFailed) m_notRecognised.erase(number);

    if (!ended && !mine) {
        if (u.m_bChanged) Notify("Bid Change:" + number + " " + u.m_strTitle, 0);
        return;
    }
    if (!ended && mine && !u.m_bNotified) {
        const bool above = u.IsPriceAboveMyBid();
        if (u.m_bBidPending && above) {
            Notify("Bid Warning: " + number + "Pending price too low.", 2);
            u.m_bBidPending = 0;
            u.m_bNotified = 1;
            AddHistory(u, "Bid Warning:  Pending price too low.");
            ShowBalloon("Bid Warning", " Pending price too low.");
            ShowBalloon("Bid Warning, click to open ...", "Item: " + number + " Pending price too low.");
        } else if (u.m_bHighBidder && above) {
            // Also while the bid's own result is out: the price is past it
            // either way, and the group's slot is free for another item now.
            Notify("Bid Warning: " + number + "Other bidder outbid you.", 2);
            u.m_bNotified = 1;
            AddHistory(u, "Bid Warning:  Other bidder outbid you.");
            ShowBalloon("Bid Warning", "Other bidder outbid you.");
            GiveSlotBack(u.m_nSetupSerial);
        }
        return;
    }
    if (ended && !mine) {
        Notify("Bid ended:  " + number + " " + u.m_strTitle, 0);
        return;
    }
    // The end may come back before the bid's own result: the "sent" flag
    // and a price below my bid say nothing yet. The result decides.
    if (ended && mine && !u.m_bNotified && !IsBidResultOut(u.m_nSetupSerial)) NoticesForEnd(u);
    if (ended && mine) AskBidLanding(u);
}

// Won or lost, for an ended item of mine that is not closed.
void CItemListCore::NoticesForEnd(CItem& u) {
    const std::string& number = u.m_strItemNumber;
    if (u.IsPriceAboveMyBid()) {
        Notify("Bid failed: " + number + " Other bidder outbid you.", 2);
        AddHistory(u, "Bid Failed: Other bidder outbid you.");
        u.m_bNotified = 1;
        ShowBalloon("Bid failed, click to open ...", "Item: " + number + " Other bidder outbid you.");
        if (u.m_bHighBidder) GiveSlotBack(u.m_nSetupSerial);
    } else if (u.m_bHighBidder) {
        Notify("Bid Wins:    " + number + " " + "Congratulations", 2);
        AddHistory(u, "Bid Wins: Congratulations");
        ShowBalloon("Bid Wins", number);
        ShowBalloon("Bid Wins, click to open ...", "Item: " + number + " Congratulations.");
    }
}

void CItemListCore::OnBidPlaced(std::unique_ptr<CBidRequest> r) {
    if (!r || m_bShutDown) return;
    ++m_nBidResults;
    if (r->m_bDryRun) {
        // Nothing was bid: the list stays as it was.
        Notify("Dry run:" + r->m_strItemNumber + " " + r->m_strResult, 2);
        return;
    }
    m_front.Navigate(r->m_strResultUrl);
    const uint64_t serial = r->m_nSetupSerial;
    const std::string head = r->m_strItemNumber + " (" + Left(r->m_strTitle, 11) + "..) " + r->m_strResult;
    const std::string msg = (r->m_bSucceeded ? "Bid Success: " : "Bid failure: ") + head;
    // A failed bid did not take the group's slot after all (unless an
    // outbid gave it back already).
    if (!r->m_bSucceeded) GiveSlotBack(serial);
    auto track = m_bids.find(serial);
    if (track != m_bids.end()) {
        track->second.resultOut = false;
        if (!track->second.holdsSlot) m_bids.erase(track);
    }
    Notify(msg, 2);
    Notify("Time used to place this bid is " + FormatTimeSpan(LocalNow() - r->m_tBidStarted, "%S seconds."),
           2);

    const int row = FindRow(r->m_strItemNumber);
    if (CItem* item = GetItem(row)) {
        // Recorded whatever became of the item meanwhile; history written
        // while the bid was on its way stays behind the new line.
        AddHistory(*item, msg);
        // The result closes only the set-up it was made from: a bid set up
        // anew, cancelled or moved to another group meanwhile stays so.
        if (item->m_nSetupSerial == serial) {
            item->m_bBidPending = 0;
            item->m_strReserved.clear();
            if (!r->m_bSucceeded) item->m_bNotified = 1;
            // An end that came back before this result was left undecided.
            if (item->m_strTimeLeft == listtext::kEnded && item->m_strMyBid != "N/A" && !item->m_bNotified)
                NoticesForEnd(*item);
            if (item->m_strTimeLeft == listtext::kEnded && item->m_strMyBid != "N/A") AskBidLanding(*item);
        }
        FillRow(row, *item);
        RedrawRow(row);
    }
    SaveDocument();
}

}  // namespace bexora
