#include "model/Item.h"

#include <atomic>

#include "base/Prompt.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

// A stored time far outside any calendar (a damaged or hostile file) is no
// time: near the 64-bit limits every sum made with it would overflow.
constexpr int64_t kTimeLimit = int64_t(1) << 40;  // some 34,000 years either way

int64_t SaneTime(int64_t t) {
    return t > kTimeLimit || t < -kTimeLimit ? 0 : t;
}

}  // namespace

BEXORA_IMPLEMENT_SERIAL(CItem, 3, true);

namespace {

// Copies src into dst when they differ; true when they did.
template <class T>
bool Take(T& dst, const T& src) {
    if (dst == src) return false;
    dst = src;
    return true;
}

}  // namespace

bool IsStorablePassword(const std::string& password) {
    return password.size() <= kMaxPasswordBytes;
}

std::string EncodeStoredPassword(const std::string& password) {
    std::string out;
    if (Base64Encode(password, out)) return out;
    // Longer than the encoder takes: encode 57-byte pieces (one full line and
    // its CR LF each), which gives exactly the line-broken Base64 of the
    // whole password. Any reader that skips line breaks decodes it.
    out.clear();
    for (size_t i = 0; i < password.size(); i += 57) {
        std::string piece;
        Base64Encode(password.substr(i, 57), piece);
        out += piece;
    }
    return out;
}

bool CItem::CopyPageFields(const CItem& src) {
    bool changed = false;
    Take(m_strItemNumber, src.m_strItemNumber);
    Take(m_strTitle, src.m_strTitle);
    changed |= Take(m_strCurrentPrice, src.m_strCurrentPrice);
    changed |= Take(m_strQuantity, src.m_strQuantity);
    changed |= Take(m_strBidCount, src.m_strBidCount);
    Take(m_strShipping, src.m_strShipping);
    Take(m_strTimeLeft, src.m_strTimeLeft);
    Take(m_tEndTime, src.m_tEndTime);
    Take(m_strMinBid, src.m_strMinBid);
    m_strPercent = src.m_strPercent;
    m_strFeedback = src.m_strFeedback;
    m_strSeller = src.m_strSeller;
    m_bUpdateFailed = src.m_bUpdateFailed;
    // The first update of an item just added from a page is no news.
    m_bChanged = (changed && !m_bFresh) ? 1 : 0;
    m_bFresh = 0;
    return changed;
}

uint64_t CItem::NewSetupSerial() {
    static std::atomic<uint64_t> next{0};
    return ++next;
}

bool CItem::CopyBidFields(const CItem& src) {
    m_nSetupSerial = src.m_nSetupSerial;
    m_bBidPending = src.m_bBidPending;
    m_tBidTime = src.m_tBidTime;
    bool changed = false;
    changed |= Take(m_bHighBidder, src.m_bHighBidder);
    changed |= Take(m_bNotified, src.m_bNotified);
    changed |= Take(m_strMyBid, src.m_strMyBid);
    changed |= Take(m_strBidGroup, src.m_strBidGroup);
    changed |= Take(m_strBidCount, src.m_strBidCount);
    changed |= Take(m_strReserved, src.m_strReserved);
    m_strMessages = src.m_strMessages;
    m_strUserId = src.m_strUserId;
    m_strPassword = src.m_strPassword;
    return changed;
}

void CItem::CopyAllFields(const CItem& src) {
    CopyPageFields(src);
    CopyBidFields(src);
    m_bChanged = src.m_bChanged;
    m_bFresh = src.m_bFresh;
    m_strNote = src.m_strNote;
    // Neither merge carries it, but a full copy must.
    m_nBidQuantity = src.m_nBidQuantity;
}

bool CItem::IsPriceAboveMyBid() const {
    const double my = PriceValue(m_strMyBid);
    const double price = PriceValue(m_strCurrentPrice);
    if (m_bHighBidder && my < price) return true;
    // With bids on the item a bid must beat the price; with none, a bid at
    // the starting price still counts.
    if (m_bBidPending && m_strBidCount != "0" && my <= price) return true;
    if (m_bBidPending && m_strBidCount == "0" && my < price) return true;
    return false;
}

void CItem::ClearPendingBid() {
    m_bBidPending = 0;
    m_strReserved.clear();
    m_bNotified = 0;
}

void CItem::Serialize(CArchive& ar) {
    // The record's order is not the declared order: quantity, bid count,
    // shipping; bid time before end time; percent, feedback, seller.
    if (ar.IsStoring()) {
        ar.WriteString(m_strItemNumber);
        ar.WriteString(m_strTitle);
        ar.WriteString(m_strCurrentPrice);
        ar.WriteString(m_strQuantity);
        ar.WriteString(m_strBidCount);
        ar.WriteString(m_strShipping);
        ar.WriteString(m_strTimeLeft);
        ar.WriteString(m_strMyBid);
        ar.WriteInt(m_bHighBidder);
        ar.WriteInt(m_bBidPending);
        ar.WriteString(m_strUserId);
        ar.WriteString(EncodeStoredPassword(m_strPassword));
        ar.WriteInt(m_nBidQuantity);
        ar.WriteTime(m_tBidTime);
        ar.WriteTime(m_tEndTime);
        ar.WriteString(m_strMinBid);
        ar.WriteInt(m_bNotified);
        ar.WriteInt(m_bChanged);
        ar.WriteInt(m_bFresh);
        ar.WriteInt(m_bUpdateFailed);
        ar.WriteString(m_strMessages);
        ar.WriteString(m_strReserved);
        ar.WriteString(m_strPercent);
        ar.WriteString(m_strFeedback);
        ar.WriteString(m_strSeller);
        ar.WriteString(m_strBidGroup);
        ar.WriteString(m_strNote);
        return;
    }

    const uint32_t schema = ar.GetObjectSchema();
    m_strItemNumber = ar.ReadString();
    m_strTitle = ar.ReadString();
    m_strCurrentPrice = ar.ReadString();
    m_strQuantity = ar.ReadString();
    m_strBidCount = ar.ReadString();
    m_strShipping = ar.ReadString();
    m_strTimeLeft = ar.ReadString();
    m_strMyBid = ar.ReadString();
    m_bHighBidder = ar.ReadInt();
    m_bBidPending = ar.ReadInt();
    m_strUserId = ar.ReadString();
    m_strPassword = Base64Decode(ar.ReadString());
    m_nBidQuantity = ar.ReadInt();
    m_tBidTime = SaneTime(ar.ReadTime());
    m_tEndTime = SaneTime(ar.ReadTime());
    m_strMinBid = ar.ReadString();
    m_bNotified = ar.ReadInt();
    m_bChanged = ar.ReadInt();
    m_bFresh = ar.ReadInt();
    m_bUpdateFailed = ar.ReadInt();
    m_strMessages = ar.ReadString();
    m_strReserved = ar.ReadString();
    switch (schema) {
        case 1:
            break;
        case 2:
        case 3:
            m_strPercent = ar.ReadString();
            m_strFeedback = ar.ReadString();
            m_strSeller = ar.ReadString();
            m_strBidGroup = ar.ReadString();
            if (schema == 3) m_strNote = ar.ReadString();
            break;
        default:
            ShowPrompt("Unknown file format", PromptButtons::Ok, PromptIcon::Warning);
            break;
    }
}

}  // namespace bexora
