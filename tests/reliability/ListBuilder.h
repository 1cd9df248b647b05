#pragma once
// Builds item lists in-process for the crash and soak runs: each item's page
// is read from the site the settings point at (as "Add Single Item" does),
// then chosen items get a snipe as the bid dialog sets one up. Writing a
// 500-item list this way takes a second; through bexora-cli add and bid it
// would take a thousand process starts.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/ebayDoc.h"
#include "site/SiteTime.h"

namespace bexora::test {

struct SnipePlan {
    std::string number;
    int64_t bidTime = 0;      // local clock, seconds; 0: beforeEnd seconds before the end
    int64_t beforeEnd = 8;
    std::string maxBid;       // as the dialog writes it ("25.00")
    std::string group = "N/A";
    int groupWanted = 0;
};

struct ListPlan {
    std::vector<std::string> numbers;
    std::vector<SnipePlan> snipes;
    std::string user, password;
};

// Reads every page and saves the list to path. False (with the item number
// that failed in error) when a page could not be read or the save failed.
inline bool BuildList(const std::string& path, const ListPlan& plan, std::string* error) {
    CebayDoc doc;
    for (const std::string& number : plan.numbers) {
        auto item = std::make_unique<CItem>();
        item->m_strItemNumber = number;
        if (!item->UpdateFromSite()) {
            if (error) *error = "cannot read the page of " + number;
            return false;
        }
        doc.AddItem(std::move(item));
    }
    for (const SnipePlan& s : plan.snipes) {
        CItem* item = doc.FindItem(s.number);
        if (!item) {
            if (error) *error = "no item " + s.number + " for a snipe";
            return false;
        }
        item->m_strMyBid = s.maxBid;
        item->m_nBidQuantity = 1;
        item->m_strUserId = plan.user;
        item->m_strPassword = plan.password;
        item->m_bNotified = 0;
        item->m_bHighBidder = 0;
        item->m_bBidPending = 1;
        // As the bid dialog computes it: the end by the site's clock, moved
        // onto this machine's.
        item->m_tBidTime =
            s.bidTime ? s.bidTime : item->m_tEndTime - s.beforeEnd + GetClockOffset(false);
        item->m_strBidGroup = s.group;
        if (s.group != "N/A") doc.BidGroups().JoinGroup(s.group, s.groupWanted);
    }
    if (!doc.OnSaveDocument(path)) {
        if (error) *error = "cannot save " + path;
        return false;
    }
    return true;
}

// How many items the list at path holds; -1 when it does not open.
inline int LoadedItemCount(const std::string& path) {
    CebayDoc doc;
    if (!doc.OnOpenDocument(path)) return -1;
    return static_cast<int>(doc.Items().size());
}

// The permission bits of path; -1 when it does not exist.
inline int FileMode(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int>(st.st_mode & 07777);
}

}  // namespace bexora::test
