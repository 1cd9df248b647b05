// The site's clock and money rules and its bidding rules, without the network.

#include <gtest/gtest.h>

#include "Auction.h"
#include "Json.h"
#include "SiteTime.h"

using namespace bexora::auction;

namespace {
int64_t Utc(int y, int m, int d, int H, int M, int S) {
    return DaysFromCivil(y, m, d) * 86400 + H * 3600 + M * 60 + S;
}
}  // namespace

TEST(SiteTime, DaylightSavingSwitchesAtTwoInTheMorningPacific) {
    // 2024: second Sunday of March is the 10th, first Sunday of November the 3rd.
    EXPECT_FALSE(IsPacificDst(Utc(2024, 3, 10, 9, 59, 59)));
    EXPECT_TRUE(IsPacificDst(Utc(2024, 3, 10, 10, 0, 0)));
    EXPECT_TRUE(IsPacificDst(Utc(2024, 11, 3, 8, 59, 59)));
    EXPECT_FALSE(IsPacificDst(Utc(2024, 11, 3, 9, 0, 0)));
    EXPECT_EQ(FormatItemDate(Utc(2024, 3, 10, 9, 59, 59)), "Mar-10-24 01:59:59 PST");
    EXPECT_EQ(FormatItemDate(Utc(2024, 3, 10, 10, 0, 0)), "Mar-10-24 03:00:00 PDT");
    // The hour after the autumn switch is shown twice, once in each zone.
    EXPECT_EQ(FormatItemDate(Utc(2024, 11, 3, 8, 30, 0)), "Nov-03-24 01:30:00 PDT");
    EXPECT_EQ(FormatItemDate(Utc(2024, 11, 3, 9, 30, 0)), "Nov-03-24 01:30:00 PST");
    // Across midnight and New Year in standard time.
    EXPECT_EQ(FormatTimePageDate(Utc(2007, 1, 1, 7, 59, 0)), "Sunday, Dec 31, 2006 23:59:00 PST");
    EXPECT_EQ(FormatLongDate(Utc(2026, 7, 4, 19, 0, 5)), "Jul 04, 2026 12:00:05 PDT");
}

TEST(SiteTime, MoneyAndIncrements) {
    EXPECT_EQ(FormatUsd(0), "US $0.00");
    EXPECT_EQ(FormatUsd(123456789), "US $1,234,567.89");
    EXPECT_EQ(FormatUsd(100000), "US $1,000.00");
    EXPECT_EQ(ParseAmountCents("US $1,234.50"), 123450);
    EXPECT_EQ(ParseAmountCents(" $12.5"), 1250);
    EXPECT_EQ(ParseAmountCents("12.505"), 1251);  // half a cent rounds up
    EXPECT_EQ(ParseAmountCents("FREE"), -1);
    EXPECT_EQ(BidIncrement(99), 5);
    EXPECT_EQ(BidIncrement(100), 25);
    EXPECT_EQ(BidIncrement(2499), 50);
    EXPECT_EQ(BidIncrement(2500), 100);
    EXPECT_EQ(BidIncrement(500000), 10000);
}

class AuctionRules : public ::testing::Test {
protected:
    Auction a;
    void SetUp() override {
        a.m_number = "123456789012";
        a.m_startCents = 1000;
        a.m_startTime = 0;
        a.m_endTime = 1000;
    }
};

TEST_F(AuctionRules, ProxyBiddingPaysSecondMaximumPlusOneIncrement) {
    EXPECT_EQ(a.Compute().minBidCents, 1000);
    EXPECT_EQ(a.PlaceBid("ann", 2000, 1), BidResult::HighBidder);
    Standing s = a.Compute();
    EXPECT_EQ(s.priceCents, 1000);  // alone: the start price
    EXPECT_EQ(s.minBidCents, 1050);
    EXPECT_EQ(a.PlaceBid("bob", 1040, 2), BidResult::TooLow);
    EXPECT_EQ(a.PlaceBid("bob", 1500, 3), BidResult::Outbid);
    s = a.Compute();
    EXPECT_EQ(s.highBidder, "ann");
    EXPECT_EQ(s.priceCents, 1550);
    EXPECT_EQ(s.bidCount, 2);
    // Beating ann by less than an increment: bob leads at his own maximum.
    EXPECT_EQ(a.PlaceBid("bob", 2020, 4), BidResult::HighBidder);
    s = a.Compute();
    EXPECT_EQ(s.highBidder, "bob");
    EXPECT_EQ(s.priceCents, 2020);
    // The leader may raise; a lower maximum of the leader changes nothing.
    EXPECT_EQ(a.PlaceBid("BOB", 1000, 5), BidResult::HighBidder);
    EXPECT_EQ(a.Compute().bidCount, 3);
}

TEST_F(AuctionRules, TiesGoToTheEarlierBid) {
    a.PlaceBid("ann", 2500, 1);
    EXPECT_EQ(a.PlaceBid("bob", 2500, 2), BidResult::Outbid);
    Standing s = a.Compute();
    EXPECT_EQ(s.highBidder, "ann");
    EXPECT_EQ(s.priceCents, 2500);
    a.Advance(1000);
    ASSERT_EQ(a.Winners().size(), 1u);
    EXPECT_EQ(a.Winners()[0], "ann");
}

TEST_F(AuctionRules, ReserveLiftsThePriceAndDecidesTheSale) {
    a.m_reserveCents = 5000;
    EXPECT_EQ(a.PlaceBid("ann", 3000, 1), BidResult::ReserveNotMet);
    EXPECT_FALSE(a.Compute().reserveMet);
    EXPECT_EQ(a.PlaceBid("bob", 6000, 2), BidResult::HighBidder);
    Standing s = a.Compute();
    EXPECT_TRUE(s.reserveMet);
    EXPECT_EQ(s.priceCents, 5000);  // 3000 + increment is below the reserve

    Auction unsold = a;
    unsold.m_history.clear();
    unsold.PlaceBid("ann", 3000, 1);
    unsold.Advance(2000);
    EXPECT_TRUE(unsold.m_ended);
    EXPECT_TRUE(unsold.Winners().empty());
    EXPECT_EQ(unsold.PlaceBid("bob", 9000, 2000), BidResult::Ended);
}

TEST_F(AuctionRules, MultipleItemAuctionPaysTheLowestSuccessfulBid) {
    a.m_quantity = 2;
    EXPECT_EQ(a.PlaceBid("ann", 1500, 1), BidResult::Multi);
    EXPECT_EQ(a.Compute().priceCents, 1000);  // fewer bidders than pieces
    EXPECT_EQ(a.PlaceBid("bob", 1200, 2), BidResult::Multi);
    EXPECT_EQ(a.Compute().priceCents, 1200);
    EXPECT_EQ(a.PlaceBid("cat", 1210, 3), BidResult::TooLow);  // needs 1200 + 50
    EXPECT_EQ(a.PlaceBid("cat", 1300, 4), BidResult::Multi);
    a.Advance(1000);
    std::vector<std::string> w = a.Winners();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], "ann");
    EXPECT_EQ(w[1], "cat");
    EXPECT_EQ(a.Compute().priceCents, 1300);
}

TEST_F(AuctionRules, FixedPriceSellsOutAndEnds) {
    a.m_kind = Kind::Fixed;
    a.m_quantity = 2;
    EXPECT_EQ(a.PlaceBid("ann", 999, 1), BidResult::NotAllowed);
    EXPECT_EQ(a.PlaceBid("ann", 1000, 2), BidResult::Purchased);
    EXPECT_EQ(a.Remaining(), 1);
    EXPECT_EQ(a.PlaceBid("bob", 5000, 3), BidResult::Purchased);
    EXPECT_TRUE(a.m_ended);
    EXPECT_EQ(a.m_endTime, 3);
    EXPECT_EQ(a.m_history.back().maxCents, 1000);  // the price, not the offer
    EXPECT_EQ(a.PlaceBid("cat", 5000, 4), BidResult::Ended);
}

TEST_F(AuctionRules, ScriptPlaysUpToTheClockAndStopsAtTheEnd) {
    a.m_script = {
        {10, "early", 1200}, {500, "mid", 1800}, {999.5, "sniper", 3000}, {1000, "late", 9000}};
    a.Advance(600);
    EXPECT_EQ(a.Compute().highBidder, "mid");
    EXPECT_EQ(a.Compute().priceCents, 1250);
    a.Advance(5000);
    EXPECT_EQ(a.Compute().highBidder, "sniper");
    EXPECT_EQ(a.m_history.size(), 3u);  // the bid at the end itself comes too late
    EXPECT_EQ(a.Winners(), std::vector<std::string>{"sniper"});
}

TEST(Json, RoundTripsControlDocuments) {
    auto j = Json::Parse(R"({"title":"Caf\u00e9 \"sign\"","price":12.5,"n":[1,true,null],"o":{}})");
    ASSERT_TRUE(j);
    EXPECT_EQ(j->Get("title")->AsString(), "Caf\xC3\xA9 \"sign\"");
    EXPECT_EQ(j->Get("price")->AsNumber(), 12.5);
    EXPECT_EQ(j->Dump(), R"({"title":"Café \"sign\"","price":12.5,"n":[1,true,null],"o":{}})");
    EXPECT_EQ(Json(1700000000.123456).Dump(), "1700000000.123456");
    std::string error;
    EXPECT_FALSE(Json::Parse("{\"a\":1,}", &error));
    EXPECT_FALSE(Json::Parse("[1] x", &error));
    EXPECT_FALSE(Json::Parse(std::string(200, '['), &error));
    EXPECT_FALSE(Json::Parse(std::string(200, '[') + std::string(200, ']'), &error));
}
