// Reading the site's bid history page for the time the site took a bid.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "site/BidHistory.h"
#include "site/SiteTime.h"

using namespace bexora;

namespace {

std::string Row(const std::string& user, const std::string& amount, const std::string& when) {
    return "<tr><td>" + user + "</td><td>" + amount + "</td><td>" + when + "</td></tr>\n";
}

std::string HistoryPage(const std::string& rows) {
    return "<h2>Bid History</h2>\n<table>\n<tr><th>User ID</th><th>Bid Amount</th><th>Date of "
           "bid</th></tr>\n" +
           rows + "</table>\n";
}

class BidHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "America/Los_Angeles", 1);
        tzset();
        m_end = ParseSiteDate("Nov 11, 2006 14:23:45 PST");
    }
    int64_t m_end = 0;
};

TEST_F(BidHistoryTest, MyLatestBidAndItsMarginWithAndWithoutFractions) {
    const std::string page =
        HistoryPage(Row("rival", "US $14.00", "Nov 11, 2006 14:23:44.900 PST") +
                    Row("Jo", "US $12.00", "Nov 11, 2006 14:23:41.25 PST") +
                    Row("jo", "US $8.00", "Nov 11, 2006 14:01:00 PST") +
                    Row("broken", "US $1.00", "Nov 11, 2006 14:23:41. PST"));
    const auto records = ReadBidHistoryPage(page);
    ASSERT_EQ(records.size(), 3u);  // the row with a cut fraction is no date
    EXPECT_EQ(records[1].siteMs, (m_end - 4) * 1000 + 250);
    // The user ID is matched without regard to case; the latest bid counts
    // wherever the page lists it.
    EXPECT_EQ(BidLandingNote(records, "JO", m_end),
              "Bid landed: the site recorded the bid at Nov 11, 2006 14:23:41.25 PST, 3.750 "
              "seconds before the end.");

    const auto seconds =
        ReadBidHistoryPage(HistoryPage(Row("jo", "US $8.00", "Nov 11, 2006 14:23:41 PST")));
    EXPECT_EQ(BidLandingNote(seconds, "jo", m_end),
              "Bid landed: the site recorded the bid at Nov 11, 2006 14:23:41 PST, 4 seconds "
              "before the end.");
    // A bid the site took after the end it showed.
    EXPECT_EQ(BidLandingNote(seconds, "jo", m_end - 6),
              "Bid landed: the site recorded the bid at Nov 11, 2006 14:23:41 PST, 2 seconds after "
              "the end.");
    EXPECT_EQ(BidLandingNote(seconds, "ann", m_end), "");
    EXPECT_EQ(BidLandingNote(seconds, "", m_end), "");
    EXPECT_TRUE(ReadBidHistoryPage("<html>Sorry, no such item</html>").empty());
}

}  // namespace
