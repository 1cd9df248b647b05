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
    // A group the list does not hold counts as no group.
    auto giveSlotBack = [this, &u] {
        if (u.m_strBidGroup == "N/A") return;
        if (CBidGroup* g = m_groups.FindGroup(u.m_strBidGroup)) {
            g->SetWanted(g->GetWanted() + 1);
            RedrawGroupRows(u.m_strBidGroup);
        }
    };

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
            Notify("Bid Warning: " + number + "Other bidder outbid you.", 2);
            u.m_bNotified = 1;
            AddHistory(u, "Bid Warning:  Other bidder outbid you.");
            ShowBalloon("Bid Warning", "Other bidder outbid you.");
            giveSlotBack();
        }
        return;
    }
    if (ended && !mine) {
        Notify("Bid ended:  " + number + " " + u.m_strTitle, 0);
        return;
    }
    if (ended && mine && !u.m_bNotified) {
        if (u.IsPriceAboveMyBid()) {
            Notify("Bid failed: " + number + " Other bidder outbid you.", 2);
            AddHistory(u, "Bid Failed: Other bidder outbid you.");
            u.m_bNotified = 1;
            ShowBalloon("Bid failed, click to open ...", "Item: " + number + " Other bidder outbid you.");
            if (u.m_bHighBidder) giveSlotBack();
        } else if (u.m_bHighBidder) {
            Notify("Bid Wins:    " + number + " " + "Congratulations", 2);
            AddHistory(u, "Bid Wins: Congratulations");
            ShowBalloon("Bid Wins", number);
            ShowBalloon("Bid Wins, click to open ...", "Item: " + number + " Congratulations.");
        }
    }
}

void CItemListCore::OnBidPlaced(std::unique_ptr<CBidRequest> r) {
    if (!r || m_bShutDown) return;
    ++m_nBidResults;
    m_front.Navigate(r->m_strResultUrl);
    r->ClearPendingBid();
    const std::string head = r->m_strItemNumber + " (" + Left(r->m_strTitle, 11) + "..) " + r->m_strResult;
    std::string msg;
    if (r->m_bSucceeded) {
        msg = "Bid Success: " + head;
    } else {
        r->m_bNotified = 1;
        msg = "Bid failure: " + head;
        // The bid did not take the group's slot after all.
        if (r->m_strBidGroup != "N/A") {
            if (CBidGroup* g = m_groups.FindGroup(r->m_strBidGroup)) {
                g->SetWanted(g->GetWanted() + 1);
                RedrawGroupRows(r->m_strBidGroup);
            }
        }
    }
    Notify(msg, 2);
    Notify("Time used to place this bid is " + FormatTimeSpan(LocalNow() - r->m_tBidStarted, "%S seconds."),
           2);
    // History written while the bid was on its way (a refresh's notices)
    // stays: the line goes in front of the item's history as it is now.
    if (const CItem* current = GetItem(FindRow(r->m_strItemNumber))) r->m_strMessages = current->m_strMessages;
    r->m_strMessages.insert(0, msg + "\n");
    MergeItem(*r, false, true);
    SaveDocument();
}

}  // namespace bexora
