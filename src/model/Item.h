#pragma once
// CItem: one auction item of a list. It holds what the item's page showed
// (kept as the text the site wrote: "$12.50", "3", "LIVE"), the user's own
// bid settings for it, and the flags the list, the scheduler and the notices
// use. "N/A" marks a page value not read yet; in m_strMyBid it means no bid
// of the user's, in m_strBidGroup no group.
//
// Only the UI thread touches the items a document owns; workers get copies
// (CopyAllFields) and the results are merged back on the UI thread.

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/Archive.h"

namespace bexora {

// Longest password whose stored form (Base64, at most 100 characters) other
// readers of .bid files accept. The bid set-up refuses longer ones with
// kPasswordTooLongText; a longer password that still reaches a file is
// stored in full (never cut), so it loads back as it was.
constexpr std::size_t kMaxPasswordBytes = 72;
constexpr const char* kPasswordTooLongText =
    "The password is too long to be stored with the item (at most 72 characters).";
bool IsStorablePassword(const std::string& password);
// The Base64 form a password is stored in: line-broken every 76 characters,
// of any length.
std::string EncodeStoredPassword(const std::string& password);

class CItem : public CObject {
    BEXORA_DECLARE_SERIAL(CItem)

public:
    CItem() = default;
    CItem(const CItem&) = default;
    CItem& operator=(const CItem&) = default;
    ~CItem() override = default;

    // Merges the page-derived fields of src; true when price, quantity or
    // bid count changed.
    bool CopyPageFields(const CItem& src);
    // Merges the user's bidding fields of src; true when one of the compared
    // fields changed.
    bool CopyBidFields(const CItem& src);
    // Full assignment, used for the private copies handed to the workers.
    void CopyAllFields(const CItem& src);
    // The user's bid can no longer win: outbid, or a pending bid at or below
    // the price.
    bool IsPriceAboveMyBid() const;
    // Drops a scheduled bid.
    void ClearPendingBid();
    // Fetches the item's page and merges what the parser read (defined with
    // the page parser in the site library, which this record must not link).
    bool UpdateFromSite();

    void Serialize(CArchive& ar) override;

    // Fields in their declared order.
    std::string m_strItemNumber = "N/A";
    std::string m_strTitle = "N/A";
    std::string m_strCurrentPrice = "N/A";
    std::string m_strShipping = "N/A";
    std::string m_strQuantity = "N/A";
    std::string m_strBidCount = "N/A";
    std::string m_strTimeLeft = "N/A";
    std::string m_strMyBid = "N/A";
    int32_t m_bHighBidder = 0;
    std::string m_strUserId;
    std::string m_strPassword;  // in clear in memory; Base64 in the file
    int32_t m_nBidQuantity = 0;
    int64_t m_tEndTime = 0;
    int32_t m_bChanged = 0;
    int32_t m_bFresh = 0;
    std::string m_strMessages;
    std::string m_strReserved;
    std::string m_strBidGroup = "N/A";
    std::string m_strMinBid;
    int32_t m_bBidPending = 0;
    int64_t m_tBidTime = 0;
    int32_t m_bNotified = 0;
    int32_t m_bUpdateFailed = 0;
    std::string m_strSeller = "N/A";
    std::string m_strFeedback = "N/A";
    std::string m_strPercent = "N/A";
    std::string m_strNote;
    // Set by a refresh whose page came but was not the page the site
    // profile knows ("Page not recognised: ..."); never saved.
    std::string m_strPageProblem;

    // Which bid set-up the item holds: each new one (the bid dialog's OK, a
    // cancelled bid) gets a new serial. Copies and bid requests carry it, so
    // a result can tell whether the item was set up anew meanwhile. Lives in
    // memory only (not in the file); 0 until the list gives one.
    uint64_t m_nSetupSerial = 0;
    static uint64_t NewSetupSerial();
};

}  // namespace bexora
