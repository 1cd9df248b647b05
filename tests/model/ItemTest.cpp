// The item record: merging updates, the outbid predicate, and its record in
// the .bid file (field order, old schemas, passwords).

#include <gtest/gtest.h>

#include <cstdint>

#include <cstring>

#include "base/Prompt.h"
#include "model/Item.h"
#include "model/ebayDoc.h"
#include "text/TextTools.h"

namespace bexora {
namespace {

std::string Store(const CItem& item) {
    std::string bytes;
    CArchive ar(CArchive::store, bytes);
    const_cast<CItem&>(item).Serialize(ar);
    return bytes;
}

// Loads a bare record (no object header) as if stored with schema.
CItem LoadRecord(const std::string& bytes, uint16_t schema) {
    // A header for the record, so the archive hands the schema to the item.
    std::string full = "\xFF\xFF";
    full += static_cast<char>(schema & 0xFF);
    full += static_cast<char>(schema >> 8);
    full += std::string("\x05\x00", 2) + "CItem" + bytes;
    RegisterModelClasses();
    CArchive ar(CArchive::load, full);
    auto item = ar.ReadObjectOf<CItem>();
    EXPECT_TRUE(ar.AtEnd()) << "record of schema " << schema << " not read to its end";
    return *item;
}

// Every field set to something other than its initial value.
CItem FullItem() {
    CItem it;
    it.m_strItemNumber = "110012345678";
    it.m_strTitle = "Brass \"ship's\" clock\n\xe9t\xe9";
    it.m_strCurrentPrice = "$12.50";
    it.m_strShipping = "FREE";
    it.m_strQuantity = "3";
    it.m_strBidCount = "7";
    it.m_strTimeLeft = "2d 03:15:00";
    it.m_strMyBid = "$25.00";
    it.m_bHighBidder = 1;
    it.m_strUserId = "sniper";
    it.m_strPassword = "s3cret pass";
    it.m_nBidQuantity = 2;
    it.m_tEndTime = 1700000000;
    it.m_bChanged = 1;
    it.m_bFresh = 1;
    it.m_strMessages = "won\r\nlost";
    it.m_strReserved = "r";
    it.m_strBidGroup = "lamps";
    it.m_strMinBid = "US $13.00";
    it.m_bBidPending = 1;
    it.m_tBidTime = -5;
    it.m_bNotified = 1;
    it.m_bUpdateFailed = 1;
    it.m_strSeller = "oldclocks";
    it.m_strFeedback = "1234";
    it.m_strPercent = "99.5";
    it.m_strNote = std::string(300, 'n');  // a 3-byte length
    return it;
}

void ExpectSameFields(const CItem& a, const CItem& b) {
    EXPECT_EQ(a.m_strItemNumber, b.m_strItemNumber);
    EXPECT_EQ(a.m_strTitle, b.m_strTitle);
    EXPECT_EQ(a.m_strCurrentPrice, b.m_strCurrentPrice);
    EXPECT_EQ(a.m_strShipping, b.m_strShipping);
    EXPECT_EQ(a.m_strQuantity, b.m_strQuantity);
    EXPECT_EQ(a.m_strBidCount, b.m_strBidCount);
    EXPECT_EQ(a.m_strTimeLeft, b.m_strTimeLeft);
    EXPECT_EQ(a.m_strMyBid, b.m_strMyBid);
    EXPECT_EQ(a.m_bHighBidder, b.m_bHighBidder);
    EXPECT_EQ(a.m_strUserId, b.m_strUserId);
    EXPECT_EQ(a.m_strPassword, b.m_strPassword);
    EXPECT_EQ(a.m_nBidQuantity, b.m_nBidQuantity);
    EXPECT_EQ(a.m_tEndTime, b.m_tEndTime);
    EXPECT_EQ(a.m_bChanged, b.m_bChanged);
    EXPECT_EQ(a.m_bFresh, b.m_bFresh);
    EXPECT_EQ(a.m_strMessages, b.m_strMessages);
    EXPECT_EQ(a.m_strReserved, b.m_strReserved);
    EXPECT_EQ(a.m_strBidGroup, b.m_strBidGroup);
    EXPECT_EQ(a.m_strMinBid, b.m_strMinBid);
    EXPECT_EQ(a.m_bBidPending, b.m_bBidPending);
    EXPECT_EQ(a.m_tBidTime, b.m_tBidTime);
    EXPECT_EQ(a.m_bNotified, b.m_bNotified);
    EXPECT_EQ(a.m_bUpdateFailed, b.m_bUpdateFailed);
    EXPECT_EQ(a.m_strSeller, b.m_strSeller);
    EXPECT_EQ(a.m_strFeedback, b.m_strFeedback);
    EXPECT_EQ(a.m_strPercent, b.m_strPercent);
    EXPECT_EQ(a.m_strNote, b.m_strNote);
}

TEST(Item, StartsUnread) {
    CItem it;
    for (const std::string* s :
         {&it.m_strItemNumber, &it.m_strTitle, &it.m_strCurrentPrice, &it.m_strShipping,
          &it.m_strQuantity, &it.m_strBidCount, &it.m_strTimeLeft, &it.m_strMyBid,
          &it.m_strBidGroup, &it.m_strSeller, &it.m_strFeedback, &it.m_strPercent})
        EXPECT_EQ(*s, "N/A");
    for (const std::string* s : {&it.m_strUserId, &it.m_strPassword, &it.m_strMessages,
                                 &it.m_strReserved, &it.m_strMinBid, &it.m_strNote})
        EXPECT_EQ(*s, "");
    EXPECT_EQ(it.m_tEndTime, 0);
    EXPECT_EQ(it.m_tBidTime, 0);
    EXPECT_EQ(it.m_bBidPending + it.m_bHighBidder + it.m_bChanged + it.m_bFresh + it.m_bNotified +
                  it.m_bUpdateFailed + it.m_nBidQuantity,
              0);
}

TEST(Item, PriceAboveMyBid) {
    CItem it;
    it.m_strMyBid = "$10.00";
    it.m_strCurrentPrice = "$10.00";
    EXPECT_FALSE(it.IsPriceAboveMyBid());  // neither leading nor pending

    it.m_bBidPending = 1;
    it.m_strBidCount = "0";
    EXPECT_FALSE(it.IsPriceAboveMyBid());  // no bids yet: the start price still wins
    it.m_strCurrentPrice = "$10.01";
    EXPECT_TRUE(it.IsPriceAboveMyBid());
    it.m_strCurrentPrice = "$10.00";
    it.m_strBidCount = "1";
    EXPECT_TRUE(it.IsPriceAboveMyBid());  // with bids, equal is too low
    it.m_strCurrentPrice = "US $9.99";
    EXPECT_FALSE(it.IsPriceAboveMyBid());

    CItem lead;
    lead.m_bHighBidder = 1;
    lead.m_strMyBid = "$20.00";
    lead.m_strCurrentPrice = "$20.00";
    EXPECT_FALSE(lead.IsPriceAboveMyBid());
    lead.m_strCurrentPrice = "$20.50";
    EXPECT_TRUE(lead.IsPriceAboveMyBid());
    // Prices are numbers, not texts: "$1,020.00" is above "$999.00".
    lead.m_strMyBid = "$999.00";
    lead.m_strCurrentPrice = "$1,020.00";
    EXPECT_TRUE(lead.IsPriceAboveMyBid());
}

TEST(Item, PageMergeMarksChangesExceptOnTheFirstUpdate) {
    CItem mine;
    mine.m_bFresh = 1;  // just added from a browser page
    mine.m_strMyBid = "$5.00";
    CItem page;
    page.m_strItemNumber = "123";
    page.m_strCurrentPrice = "$3.00";
    page.m_strBidCount = "2";
    page.m_strTimeLeft = "01:00:00";
    page.m_tEndTime = 99;
    page.m_strSeller = "s";
    page.m_bUpdateFailed = 0;
    mine.m_bUpdateFailed = 1;

    EXPECT_TRUE(mine.CopyPageFields(page));
    EXPECT_EQ(mine.m_bChanged, 0);
    EXPECT_EQ(mine.m_bFresh, 0);
    EXPECT_EQ(mine.m_bUpdateFailed, 0);
    EXPECT_EQ(mine.m_strCurrentPrice, "$3.00");
    EXPECT_EQ(mine.m_tEndTime, 99);
    EXPECT_EQ(mine.m_strMyBid, "$5.00");  // the user's fields stay

    // Time left, shipping, title: copied, but no change worth a highlight.
    page.m_strTimeLeft = "00:59:00";
    page.m_strShipping = "$4.00";
    page.m_strTitle = "t";
    EXPECT_FALSE(mine.CopyPageFields(page));
    EXPECT_EQ(mine.m_bChanged, 0);
    EXPECT_EQ(mine.m_strTimeLeft, "00:59:00");
    EXPECT_EQ(mine.m_strShipping, "$4.00");

    for (auto change : {&CItem::m_strCurrentPrice, &CItem::m_strQuantity, &CItem::m_strBidCount}) {
        page.*change += "9";
        EXPECT_TRUE(mine.CopyPageFields(page));
        EXPECT_EQ(mine.m_bChanged, 1);
        EXPECT_FALSE(mine.CopyPageFields(page));
        EXPECT_EQ(mine.m_bChanged, 0);
    }
}

TEST(Item, BidMergeAndFullCopy) {
    CItem mine;
    CItem result = FullItem();
    EXPECT_TRUE(mine.CopyBidFields(result));
    EXPECT_EQ(mine.m_bBidPending, 1);
    EXPECT_EQ(mine.m_tBidTime, -5);
    EXPECT_EQ(mine.m_strPassword, "s3cret pass");
    EXPECT_EQ(mine.m_strMessages, result.m_strMessages);
    EXPECT_EQ(mine.m_strBidCount, "7");
    EXPECT_EQ(mine.m_strTitle, "N/A");  // a page field: not the bid merge's business
    // Messages, account and pending state alone are no change.
    result.m_strMessages = "new";
    result.m_bBidPending = 0;
    result.m_strUserId = "other";
    EXPECT_FALSE(mine.CopyBidFields(result));
    EXPECT_EQ(mine.m_strUserId, "other");
    result.m_strReserved = "x";
    EXPECT_TRUE(mine.CopyBidFields(result));

    // The worker's copy takes everything, flags included as they are.
    CItem copy;
    copy.m_bFresh = 1;
    CItem src = FullItem();
    src.m_bChanged = 1;
    src.m_bFresh = 1;
    copy.CopyAllFields(src);
    ExpectSameFields(copy, src);
}

TEST(Item, ClearPendingBid) {
    CItem it = FullItem();
    it.ClearPendingBid();
    EXPECT_EQ(it.m_bBidPending, 0);
    EXPECT_EQ(it.m_strReserved, "");
    EXPECT_EQ(it.m_bNotified, 0);
    EXPECT_EQ(it.m_strMyBid, "$25.00");
}

TEST(Item, RecordFieldOrder) {
    // One-byte texts and small numbers make the order visible in the bytes.
    CItem it;
    const char* texts = "abcdefghijklmnopqrstu";
    int k = 0;
    for (std::string* s :
         {&it.m_strItemNumber, &it.m_strTitle, &it.m_strCurrentPrice, &it.m_strQuantity,
          &it.m_strBidCount, &it.m_strShipping, &it.m_strTimeLeft, &it.m_strMyBid, &it.m_strUserId,
          &it.m_strMinBid, &it.m_strMessages, &it.m_strReserved, &it.m_strPercent,
          &it.m_strFeedback, &it.m_strSeller, &it.m_strBidGroup, &it.m_strNote})
        *s = std::string(1, texts[k++]);
    it.m_strPassword = "pw";  // "cHc="
    it.m_bHighBidder = 1;
    it.m_bBidPending = 2;
    it.m_nBidQuantity = 3;
    it.m_tBidTime = 4;
    it.m_tEndTime = 5;
    it.m_bNotified = 6;
    it.m_bChanged = 7;
    it.m_bFresh = 8;
    it.m_bUpdateFailed = 9;

    auto s = [](const char* t) { return std::string(1, char(std::strlen(t))) + t; };
    auto i = [](int v) { return std::string{char(v), 0, 0, 0}; };
    auto t = [](int v) { return std::string{char(v), 0, 0, 0, 0, 0, 0, 0}; };
    const std::string expected = s("a") + s("b") + s("c") + s("d") + s("e") + s("f") + s("g") +
                                 s("h") + i(1) + i(2) + s("i") + s("cHc=") + i(3) + t(4) + t(5) +
                                 s("j") + i(6) + i(7) + i(8) + i(9) + s("k") + s("l") + s("m") +
                                 s("n") + s("o") + s("p") + s("q");
    EXPECT_EQ(Store(it), expected);
}

TEST(Item, RoundTripKeepsEveryFieldAndHidesThePassword) {
    const CItem it = FullItem();
    const std::string bytes = Store(it);
    EXPECT_EQ(bytes.find("s3cret"), std::string::npos);
    std::string encoded;
    ASSERT_TRUE(Base64Encode("s3cret pass", encoded));
    EXPECT_NE(bytes.find(encoded), std::string::npos);
    ExpectSameFields(LoadRecord(bytes, 3), it);
}

TEST(Item, StoredTimesOutsideAnyCalendarLoadAsNoTime) {
    // A damaged or hostile list: times near the 64-bit limits would
    // overflow every sum the scheduler makes with them.
    struct Row {
        int64_t stored, loaded;
    };
    for (const Row& row : {Row{1700000000, 1700000000}, Row{0, 0}, Row{-86400, -86400},
                           Row{INT64_MAX, 0}, Row{INT64_MAX - 5, 0}, Row{INT64_MIN, 0}, Row{int64_t(1) << 45, 0}}) {
        CItem it;
        it.m_tEndTime = row.stored;
        it.m_tBidTime = row.stored;
        const CItem back = LoadRecord(Store(it), 3);
        EXPECT_EQ(back.m_tEndTime, row.loaded) << row.stored;
        EXPECT_EQ(back.m_tBidTime, row.loaded) << row.stored;
    }
}

TEST(Item, PasswordsOfAnyLengthLoadBackUnchanged) {
    // Up to 72 bytes the stored form is the usual one and fits 100 characters.
    for (size_t len : {0, 1, 56, 57, 58, 72}) {
        std::string pw(len, 'x');
        std::string enc;
        ASSERT_TRUE(Base64Encode(pw, enc));
        EXPECT_EQ(EncodeStoredPassword(pw), enc);
        EXPECT_LE(enc.size(), 100u);
        EXPECT_TRUE(IsStorablePassword(pw));
    }
    // Longer ones are never cut or dropped.
    for (size_t len : {73, 114, 115, 300}) {
        CItem it;
        for (size_t k = 0; k < len; ++k) it.m_strPassword += char('!' + k % 90);
        EXPECT_FALSE(IsStorablePassword(it.m_strPassword));
        EXPECT_EQ(Base64Decode(EncodeStoredPassword(it.m_strPassword)), it.m_strPassword);
        EXPECT_EQ(LoadRecord(Store(it), 3).m_strPassword, it.m_strPassword) << len;
    }
}

TEST(Item, OlderSchemasAndUnknownOnes) {
    CItem it = FullItem();
    std::string bytes = Store(it);
    // Cut the record after field 22 (schema 1) or 26 (schema 2).
    const size_t noteLen = 3 + it.m_strNote.size();
    // Length byte and text of percent, feedback, seller and group.
    const size_t fields23to26 = 5 + 5 + 10 + 6;
    const std::string schema2 = bytes.substr(0, bytes.size() - noteLen);
    const std::string schema1 = schema2.substr(0, schema2.size() - fields23to26);

    TakeShownPrompts();
    CItem one = LoadRecord(schema1, 1);
    EXPECT_EQ(one.m_strMessages, it.m_strMessages);
    EXPECT_EQ(one.m_strReserved, "r");
    EXPECT_EQ(one.m_strSeller, "N/A");
    EXPECT_EQ(one.m_strFeedback, "N/A");
    EXPECT_EQ(one.m_strPercent, "N/A");
    EXPECT_EQ(one.m_strBidGroup, "N/A");
    EXPECT_EQ(one.m_strNote, "");

    CItem two = LoadRecord(schema2, 2);
    EXPECT_EQ(two.m_strSeller, "oldclocks");
    EXPECT_EQ(two.m_strPercent, "99.5");
    EXPECT_EQ(two.m_strBidGroup, "lamps");
    EXPECT_EQ(two.m_strNote, "");
    EXPECT_TRUE(TakeShownPrompts().empty());

    CItem odd = LoadRecord(schema1, 4);
    EXPECT_EQ(odd.m_strTitle, it.m_strTitle);
    EXPECT_EQ(odd.m_strSeller, "N/A");
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{"Unknown file format"});
}

TEST(Item, TwoByteTextIsConvertedOnLoading) {
    CItem it;
    std::string bytes = Store(it);
    // Replace the title (second field, "\x03N/A") by a 2-byte text "Caf\u00e9 \u20ac".
    const std::string wide(
        "\xFF\xFE\xFF\x06"
        "C\0a\0f\0\xE9\0 \0\xAC\x20",
        16);
    const size_t title = 4;  // after "\x03N/A"
    bytes.replace(title, 4, wide);
    EXPECT_EQ(LoadRecord(bytes, 3).m_strTitle, "Caf\xE9 \x80");
}

}  // namespace
}  // namespace bexora
