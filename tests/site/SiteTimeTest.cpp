// Site dates, the site's official clock, the clock offset and its warning,
// time spans and the "Get eBay Time" report. The time page comes from a
// small server on 127.0.0.1; local time is moved with a manual clock.

#include "site/SiteTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "base/Clock.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "site/CookieStore.h"
#include "support/LocalServer.h"
#include "support/TempDir.h"

using namespace bexora;

namespace {

const char kWarning[] = "Your system clock must be set wrong. Please check it!";

void SetZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

// Serves the official time page; each answer is the next of the queued
// bodies (the last one repeats).
class TimePageServer {
public:
    TimePageServer() {
        m_server.Server().Get("/aw-cgi/eBayISAPI.dll", [this](const httplib::Request& req,
                                                              httplib::Response& res) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_requests;
            if (!req.has_param("TimeShow")) {
                res.status = 404;
                return;
            }
            std::string body = m_bodies.empty() ? "" : m_bodies.front();
            if (m_bodies.size() > 1) m_bodies.erase(m_bodies.begin());
            res.set_content(body, "text/html");
        });
        m_server.Start();
    }
    void Serve(std::vector<std::string> bodies) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bodies = std::move(bodies);
    }
    int Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        int n = m_requests;
        m_requests = 0;
        return n;
    }
    std::string Host() const { return m_server.Host(); }

private:
    test::LocalServer m_server;
    std::mutex m_mutex;
    std::vector<std::string> m_bodies;
    int m_requests = 0;
};

std::string TimePage(const std::string& date) {
    return "<html><body><h2>eBay Official Time</h2><table><tr><td>The official eBay Time is "
           "now:</td></tr><tr><td><b>" +
           date + "</b></td></tr></table></body></html>";
}

class SiteTimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetZone("America/Los_Angeles");
        SetSettingsPath(m_dir.File("Bexora.ini"));
        CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
        Settings().WriteString(setting::SiteTimeHost, m_site.Host());
        SetClock(&m_clock);
        ForgetClockOffset();
        FixClockOffset(std::nullopt);
        TakeShownPrompts();
        // "Saturday, Nov 11, 2006 14:23:45 PST" as the site reads it.
        m_siteNow = ParseSiteDate("Nov 11, 2006 14:23:45 PST");
        m_site.Serve({TimePage("Saturday, Nov 11, 2006 14:23:45 PST")});
    }
    void TearDown() override {
        SetClock(nullptr);
        ForgetClockOffset();
        TakeShownPrompts();
    }
    // The local clock set this many seconds ahead of the site (a step of
    // the wall clock: the site's page shows the same second).
    void Ahead(int64_t seconds) { m_clock.StepWallMs((m_siteNow + seconds) * 1000 - m_clock.NowMs()); }

    test::TempDir m_dir;
    TimePageServer m_site;
    CManualClock m_clock;
    int64_t m_siteNow = 0;
};

}  // namespace

TEST(ParseSiteDate, TheThreeFormsGiveTheSameWallClock) {
    SetZone("America/Los_Angeles");
    // 2006-11-11 22:23:45 UTC is 14:23:45 PST.
    EXPECT_EQ(ParseSiteDate("Nov-11-06 14:23:45 PST"), 1163283825);
    EXPECT_EQ(ParseSiteDate("Nov 11, 2006 14:23:45 PST"), 1163283825);
    EXPECT_EQ(ParseSiteDate("11-Nov-06 14:23:45 BST"), 1163283825);
    EXPECT_EQ(ParseSiteDate("Jul-04-06 12:00:00 PDT"), 1152039600);

    // The site's wall clock is read as local time, whatever zone we are in.
    SetZone("UTC");
    EXPECT_EQ(ParseSiteDate("Nov-11-06 14:23:45 PST"), 1163255025);
    EXPECT_EQ(ParseSiteDate("11-Nov-06 14:23:45 BST"), 1163255025);
}

TEST(ParseSiteDate, ZoneLettersSetDaylightSaving) {
    // In a zone without daylight saving, "PDT" still says it is on: one hour less.
    SetZone("UTC");
    EXPECT_EQ(ParseSiteDate("Jul-04-06 12:00:00 PST") - ParseSiteDate("Jul-04-06 12:00:00 PDT"),
              3600);
    // In summer in Berlin, "PST" says it is off although the zone has it on.
    SetZone("Europe/Berlin");
    struct tm tm {};
    tm.tm_year = 106;
    tm.tm_mon = 6;
    tm.tm_mday = 4;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const int64_t byZone = mktime(&tm);
    EXPECT_EQ(ParseSiteDate("Jul-04-06 12:00:00 PDT"), byZone);
    EXPECT_EQ(ParseSiteDate("Jul-04-06 12:00:00 PST"), byZone + 3600);
}

TEST(ParseSiteDate, UnreadableTextsGiveZero) {
    SetZone("UTC");
    for (const char* bad : {
             "", "Nov-11-06 14:23:45 EST", "Xyz-11-06 14:23:45 PST", "Nov 11, 2051 14:23:45 PST",
             "Nov 11, 1979 14:23:45 PST", "Nov-11-06 24:00:00 PST", "Nov-11-06 14:60:00 PST",
             "Nov-11-06 14:23:60 PST", "Nov-00-06 14:23:45 PST", "Nov-32-06 14:23:45 PST",
             "Nov-11-06 -1:23:45 PST", "PST", "32-Nov-06 14:23:45 BST", "11-nov-06 14:23:45 BST",
         }) {
        EXPECT_EQ(ParseSiteDate(bad), 0) << bad;
    }
    // The ends of the accepted years.
    EXPECT_NE(ParseSiteDate("Jan 1, 1980 00:00:00 PST"), 0);
    EXPECT_NE(ParseSiteDate("Dec 31, 2050 23:59:59 PST"), 0);
    // Long words never overrun what the reader keeps.
    EXPECT_EQ(ParseSiteDate(std::string(5000, 'P') + "PST"), 0);
    EXPECT_NE(ParseSiteDate("Nov-11-06 14:23:45 PST" + std::string(5000, 'X')), 0);
}

TEST_F(SiteTimeTest, OfficialTimeIsReadUpToTheZoneLetters) {
    EXPECT_EQ(GetSiteTime(), m_siteNow);

    // "PDT" 70 or more characters after the comma does not count; a closer
    // "PST" does. Spaces before the zone are skipped by the date reader.
    const std::string farPdt = "Saturday, Nov 11, 2006 14:23:45 PST" + std::string(70, ' ') + "PDT";
    m_site.Serve({TimePage(farPdt)});
    EXPECT_EQ(GetSiteTime(), m_siteNow);

    // Where the comma is the first character read: "PST" 69 characters on is
    // still read, 70 is not.
    const std::string date = " Nov 11, 2006 14:23:45";
    m_site.Serve({TimePage("Saturday," + date + std::string(68 - date.size(), ' ') + "PST")});
    EXPECT_EQ(GetSiteTime(), m_siteNow);
    m_site.Serve({TimePage("Saturday," + date + std::string(69 - date.size(), ' ') + "PST")});
    EXPECT_EQ(GetSiteTime(), 0);

    for (const std::string& bad : {
             std::string("<html>Service unavailable</html>"),
             TimePage("Saturday Nov 11 2006 14:23:45 PST"),   // no comma
             TimePage("Saturday, Nov 11, 2006 14:23:45 GMT"),  // no Pacific zone
         }) {
        m_site.Serve({bad});
        EXPECT_EQ(GetSiteTime(), 0) << bad;
    }
}

TEST_F(SiteTimeTest, OffsetIsMeasuredWithThreeTriesAndCached) {
    Ahead(9 * 3600);
    // Two failures, then the page.
    m_site.Serve({"down", "down", TimePage("Saturday, Nov 11, 2006 14:23:45 PST")});
    EXPECT_EQ(GetClockOffset(false), 9 * 3600);
    EXPECT_EQ(m_site.Requests(), 3);

    // With a value cached and no refresh asked, nothing is fetched; a step
    // of the local clock is followed all the same.
    m_clock.StepWallMs(100 * 1000);
    EXPECT_EQ(GetClockOffset(false), 9 * 3600 + 100);
    EXPECT_EQ(m_site.Requests(), 0);
    EXPECT_EQ(GetClockOffset(true), 9 * 3600 + 100);
    EXPECT_EQ(m_site.Requests(), 1);

    // Three failures in a row keep the old value.
    m_site.Serve({"down"});
    EXPECT_EQ(GetClockOffset(true), 9 * 3600 + 100);
    EXPECT_EQ(m_site.Requests(), 3);
    EXPECT_EQ(CachedClockOffset(), 9 * 3600 + 100);

    // A pinned offset is returned as it is, without a fetch.
    FixClockOffset(-42);
    EXPECT_EQ(GetClockOffset(true), -42);
    EXPECT_EQ(m_site.Requests(), 0);
    FixClockOffset(std::nullopt);
    EXPECT_EQ(GetClockOffset(false), 9 * 3600 + 100);
}

// A right clock in the site's own zone has an offset of exactly 0: that is a
// measurement like any other, not "never measured".
TEST_F(SiteTimeTest, OffsetOfZeroIsMeasuredOnlyOnce) {
    Ahead(0);
    EXPECT_EQ(GetClockOffset(false), 0);
    EXPECT_EQ(m_site.Requests(), 1);
    m_clock.StepWallMs(5000);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(GetClockOffset(false), 5);
    EXPECT_EQ(m_site.Requests(), 0);
    EXPECT_EQ(GetClockOffset(true), 5);
    EXPECT_EQ(m_site.Requests(), 1);
}

// One page that moves the offset far (a stale copy, a page dated an hour
// ahead) is kept aside; a second read that agrees with it confirms it.
TEST_F(SiteTimeTest, OnePageDoesNotMoveTheOffsetASecondConfirms) {
    Ahead(30);
    EXPECT_EQ(GetClockOffset(true), 30);
    const std::string hourAhead = TimePage("Saturday, Nov 11, 2006 15:23:45 PST");
    m_site.Serve({hourAhead, TimePage("Saturday, Nov 11, 2006 14:23:45 PST")});
    EXPECT_EQ(GetClockOffset(true), 30);
    EXPECT_EQ(GetClockOffset(true), 30);  // the next page agrees with the estimate
    m_site.Serve({hourAhead});
    EXPECT_EQ(GetClockOffset(true), 30);
    EXPECT_EQ(GetClockOffset(true), 30 - 3600);  // twice the same: the site's clock moved
}

TEST_F(SiteTimeTest, ClockFarAheadIsWarnedAbout) {
    Ahead(36 * 3600 + 59 * 60);
    GetClockOffset(true);
    EXPECT_TRUE(TakeShownPrompts().empty());

    Ahead(37 * 3600);
    EXPECT_EQ(GetClockOffset(true), 37 * 3600);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kWarning});
    // It comes back on every call while the offset stays that large.
    GetClockOffset(false);
    EXPECT_EQ(TakeShownPrompts(), std::vector<std::string>{kWarning});

    Ahead(-100 * 3600);
    EXPECT_EQ(GetClockOffset(true), -100 * 3600);
    EXPECT_TRUE(TakeShownPrompts().empty());

    // Not while pinned: the value was chosen on purpose.
    FixClockOffset(50 * 3600);
    GetClockOffset(true);
    FixClockOffset(std::nullopt);
    EXPECT_TRUE(TakeShownPrompts().empty());
}

TEST(FormatTimeSpan, Codes) {
    const int64_t span = 2 * 86400 + 3 * 3600 + 15 * 60 + 42;
    EXPECT_EQ(FormatTimeSpan(span, "%Dd %H:%M:00"), "2d 03:15:00");
    EXPECT_EQ(FormatTimeSpan(span - 2 * 86400, "%H:%M:%S"), "03:15:42");
    EXPECT_EQ(FormatTimeSpan(0, "%H:%M:%S"), "00:00:00");
    EXPECT_EQ(FormatTimeSpan(400 * 86400, "%Dd"), "400d");
    // Hours are those of the day.
    EXPECT_EQ(FormatTimeSpan(25 * 3600, "%H hours"), "01 hours");
    EXPECT_EQ(FormatTimeSpan(61, "100%% %M:%S %x"), "100% 01:01 %x");
    EXPECT_EQ(FormatTimeSpan(5, "%S%"), "05%");
}

TEST(FormatTimeSpan, NegativeSpansCarryOneSign) {
    EXPECT_EQ(FormatTimeSpan(-(9 * 3600 + 30), "%H hours, %M mins, %S secs"),
              "-09 hours, 00 mins, 30 secs");
    EXPECT_EQ(FormatTimeSpan(-(86400 + 2 * 3600), "%Dd %H:%M:00"), "-1d 02:00:00");
    EXPECT_EQ(FormatTimeSpan(-5, "left: %S"), "left: -05");
    // The most negative span has a magnitude too.
    EXPECT_EQ(FormatTimeSpan(INT64_MIN, "%S").front(), '-');
}

TEST_F(SiteTimeTest, ReportShowsBothClocksAndTheirDifference) {
    SetZone("UTC");
    setlocale(LC_TIME, "C");
    m_siteNow = ParseSiteDate("Nov 11, 2006 14:23:45 PST");
    Ahead(9 * 3600 + 30);
    // The three lines, then the zone told apart from the clock's error.
    EXPECT_EQ(SiteTimeReport(),
              "Current eBay time:     11/11/06 14:23:45\n"
              "Current system time:  11/11/06 23:24:15\n"
              "Difference : 09 hours, 00 mins, 30 secs\n"
              "The site keeps Pacific time; this computer's clock is 29.500 s ahead of the site's "
              "(within 500 ms).\n");

    const std::string hint = "\nYou system clock need adjustment.";
    auto hinted = [&](int64_t offset) {
        Ahead(offset);
        std::string text = SiteTimeReport();
        return text.size() > hint.size() && text.compare(text.size() - hint.size(), hint.size(), hint) == 0;
    };
    EXPECT_TRUE(hinted(9 * 3600 + 60));
    EXPECT_FALSE(hinted(8 * 3600 + 59 * 60 + 10));  // a minute short of 9 hours
    EXPECT_TRUE(hinted(8 * 3600 + 58 * 60));
    EXPECT_FALSE(hinted(-(8 * 3600 + 59 * 60 + 10)));  // the same, behind
    EXPECT_TRUE(hinted(-(9 * 3600 + 60)));
    EXPECT_FALSE(hinted(30));

    // A day or more shows the days: hours of the day alone would hide them.
    Ahead(-(2 * 86400 + 3600));
    EXPECT_NE(SiteTimeReport().find("Difference : -2 days, 01 hours, 00 mins, 00 secs\n"),
              std::string::npos);
}
