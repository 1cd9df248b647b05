// The bid conversation against the local auction site: what is sent at each
// step, how every answer the site gives is read, and what the user is told.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "SiteHarness.h"
#include "bidding/BidRequest.h"
#include "site/SiteEndpoints.h"

namespace bexora {
namespace {

using test::kConfirmStep;
using test::kOfferFormStep;
using test::kSignInPageStep;
using test::kSignInStep;

std::unique_ptr<CBidRequest> Request(const std::string& item, const std::string& user,
                                     const std::string& password, const std::string& bid) {
    CItem it;
    it.m_strItemNumber = item;
    it.m_strUserId = user;
    it.m_strPassword = password;
    it.m_strMyBid = bid;
    it.m_strTitle = "Lamp";
    return std::make_unique<CBidRequest>(it);
}

// Runs fn on a thread of its own, as the workers do: its connections close
// with it, so the site can stop at once at the end of the test.
void OnOwnThread(const std::function<void()>& fn) { std::thread(fn).join(); }

// Runs one conversation; null when nothing was delivered.
std::unique_ptr<CBidRequest> Place(std::unique_ptr<CBidRequest> r,
                                   const std::atomic<bool>& stopping = std::atomic<bool>(false)) {
    std::unique_ptr<CBidRequest> got;
    OnOwnThread([&] {
        PlaceBid(std::move(r), stopping,
                 [&](std::unique_ptr<CBidRequest> done) { got = std::move(done); });
    });
    return got;
}

std::string Login(const std::string& user, const std::string& password) {
    std::string message;
    OnOwnThread([&] { message = TestLogin(user, password); });
    return message;
}

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 0777;
}

std::string ResultUrlFor(const std::string& kept, const std::string& item) {
    return kept + "&ru=" + site::EncodeForQuery(site::ItemViewUrl(item));
}

class BidTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        m_site.Account("jo", "pw");
    }
    test::LocalSite m_site;
};

TEST(AnswerTableTest, FirstMatchingRowDecidesAndSearchesAreCaseSensitive) {
    EXPECT_EQ(MatchAnswer("You are the current high bidder ... You have been outbid by another bidder")
                  .action,
              AnswerAction::HighBidder);
    EXPECT_EQ(MatchAnswer("You've been outbid by another bidder").result,
                 "You have been outbid by another bidder.");
    EXPECT_EQ(MatchAnswer("an unknown error").result,
                 "Unknown Error, please contact bexora support");
    EXPECT_EQ(MatchAnswer("Unknown Error").result, "Item Unknown Error 2");
    EXPECT_EQ(MatchAnswer("").action, AnswerAction::EmptyPage);
    EXPECT_EQ(MatchAnswer(" ").action, AnswerAction::Unknown);
    // "Auction ended" comes before the multiple-quantity row.
    EXPECT_EQ(MatchAnswer("You are bidding on this Multiple Item Auction. Auction ended").action,
              AnswerAction::Message);

    CBidRequest r;
    r.m_strUserId = "jo";
    ClassifyAnswer("xx is not a registered eBay user", r);
    EXPECT_EQ(r.m_strResult, "Invalid.jo");
    EXPECT_FALSE(r.m_bSucceeded);
}

TEST(OfferErrorTextTest, CutsBetweenHeadingAndItemTitle) {
    test::TempDir dir;
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(dir.Path().c_str()), 0);
    const std::string heading = "The following must be corrected before continuing:";
    std::string page = "<p><b>" + heading + "</b></p><ul><li>Bid too low.</li><li>Sign in.</li></ul>"
                       "<td>Item title</td>";
    EXPECT_EQ(OfferErrorText(page), "Bid too low.\nSign in.");
    EXPECT_EQ(ModeOf(ResultPagesDir() + "/errormake1st.html"), 0600u);

    std::string direct = "<b>" + heading + "</b>Item title";
    EXPECT_EQ(OfferErrorText(direct), "");  // the length comes out negative
    std::string none = "<b>" + heading + "</b> no label here";
    EXPECT_EQ(OfferErrorText(none), "Unknown error1");
    std::string before = "Item title <b>" + heading + "</b>";
    EXPECT_EQ(OfferErrorText(before), "Unknown error1");
    ASSERT_EQ(chdir(old), 0);
}

TEST_F(BidTest, HighBidderSendsTheBidAsTypedToTheFormAndTrimmedToTheConfirmation) {
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    auto r = Place(Request(item, "jo", "pw", "US $12.50"));
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->m_bSucceeded);
    EXPECT_EQ(r->m_strResult, "You are the current high bidder.");
    EXPECT_EQ(r->m_strMyBid, " $12.50");
    EXPECT_EQ(r->m_strResultUrl, ResultUrlFor(site::ItemViewUrl(item), item));
    EXPECT_EQ(r->m_strResultUrl.find("&ru=&"), std::string::npos);

    std::vector<std::string> log = m_site.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "/ws/eBayISAPI.dll?SignIn");
    EXPECT_EQ(log[1],
              "/ws/eBayISAPI.dll?co_partnerid=2&siteid=0&UsingSSL=1&MfcISAPICommand=SignInWelcome"
              "&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1&userid=jo&pass=pw");
    EXPECT_EQ(log[2], "/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&uiid=-519273846&co_partnerid=&item=" +
                          item + "&maxbid=US%20$12.50");
    EXPECT_EQ(log[3].rfind("/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&javascriptenabled=1&mode=1"
                           "&maxbid=%20$12.50&Item=" + item + "&key=",
                           0),
              0u)
        << log[3];
    EXPECT_NE(log[3].find("&user=jo&pass="), std::string::npos);
    EXPECT_EQ(log[3].substr(log[3].size() - 8), "&quant=1");
    EXPECT_EQ(log[3].find("&pass=pw&"), std::string::npos);  // the form's pass, not the password

    for (const char* f : {"Signin.html", "Signin2.html", "errorMake1.html", "errorMake2.html"})
        EXPECT_EQ(ModeOf(ResultPagesDir() + "/" + f), 0600u) << f;
    // Not where the program was started from.
    EXPECT_EQ(ModeOf(m_site.WorkFile("Signin2.html")), 0u);
}

TEST_F(BidTest, RefusedSignInMakesNoOfferRequest) {
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    auto r = Place(Request(item, "jo", "wrong", "US $12.50"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->m_bSucceeded);
    EXPECT_EQ(r->m_strResult, "Username and Password is invalid.");
    EXPECT_EQ(m_site.CountLog("MakeBid"), 0u);
    // The browser pane is sent to the sign-in page, never to an address
    // that holds the password.
    EXPECT_EQ(r->m_strResultUrl, ResultUrlFor(site::SignInPageUrl(), item));
    EXPECT_EQ(r->m_strResultUrl.find("wrong"), std::string::npos);
    EXPECT_EQ(ModeOf(m_site.WorkFile("errorMake1.html")), 0u);  // never written
}

TEST_F(BidTest, PasswordWithQueryCharactersSignsIn) {
    m_site.Account("pat", "p&ss w%rd+1#=?");
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    auto r = Place(Request(item, "pat", "p&ss w%rd+1#=?", "$9.00"));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->m_strResult, "You are the current high bidder.");
    EXPECT_TRUE(r->m_bSucceeded);
    EXPECT_EQ(r->m_strMyBid, "9.00");
}

TEST_F(BidTest, EveryAnswerOfTheSiteIsClassified) {
    m_site.Account("blk", "pw", R"("blocked":true)");
    m_site.Account("lim", "pw", R"("limited":true)");
    std::string plain = m_site.AddItem(R"({"title":"Lamp","price":5})");
    struct Case {
        std::string user, item, bid, fault;  // fault: a canned answer to the confirmation
        const char* result;
        bool succeeded;
    };
    std::vector<Case> cases = {
        {"blk", plain, "US $20.00", "", "Your transaction is blocked, please contact the seller.", false},
        {"jo", plain, "US $15000.00", "", "Need more information from eBay for Bidding more than 15000.",
         false},
        {"jo", m_site.AddItem(R"({"title":"Lamp","price":5,"buyer_requirements":true})"), "US $20.00",
         "", "You do not meet buyer requirements.", false},
        {"lim", plain, "US $20.00", "", "You have reached one or more buying activity limits.", false},
        {"jo", m_site.AddItem(R"({"title":"Strat","price":100,"reserve":900})"), "US $500.00", "",
         "You are the high bidder, but the reserve price not met.", false},
        {"jo", m_site.AddItem(R"({"title":"Zippo","price":14.95,"kind":"fixed"})"), "US $14.95", "",
         "Item Unknown Error 2", false},
        {"jo", plain, "US $20.00", "not_registered", "Invalid.jo", false},
        {"jo", plain, "US $20.00", "password", "Username and Password is invalid.", false},
        {"jo", plain, "US $20.00", "already_user", "Username and Password is invalid.", false},
        {"jo", plain, "US $20.00", "ended", "The auction is ended before the bid can be placed.", false},
        {"jo", plain, "US $20.00", "higher_bid",
         "You may need to bid with a higher value, check ebay page.", false},
        {"jo", plain, "US $20.00", "Thank you for visiting",
         "Unknown Error, please contact bexora support", false},
    };
    for (const Case& c : cases) {
        if (!c.fault.empty())
            m_site.Fault(R"({"contains":"mode=1","count":1,"answer":")" + c.fault + "\"}");
        auto r = Place(Request(c.item, c.user, "pw", c.bid));
        ASSERT_TRUE(r) << c.result;
        EXPECT_EQ(r->m_strResult, c.result);
        EXPECT_EQ(r->m_bSucceeded, c.succeeded) << c.result;
        // Every answer other than success leaves the confirmation address.
        EXPECT_EQ(r->m_strResultUrl.rfind("http://", 0), 0u);
        EXPECT_NE(r->m_strResultUrl.find("mode=1"), std::string::npos) << c.result;
    }

    m_site.Fault(R"({"contains":"mode=1","count":1,"empty":true})");
    auto empty = Place(Request(plain, "jo", "pw", "US $20.00"));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->m_strResult, "You may have problem with your account, try bid from ebay page.");
}

TEST_F(BidTest, OutbidTooLowAndEndedFromRealAuctions) {
    std::string even = m_site.AddItem(R"({"title":"Luke","price":10,"number":"100000000002"})");
    std::string odd = m_site.AddItem(R"({"title":"Leia","price":10,"number":"100000000001"})");
    for (const std::string& item : {even, odd})
        m_site.Control("POST", "/_control/bid", R"({"item":")" + item + R"(","user":"rival","max":30})");
    // Both wordings the site uses for an outbid read the same.
    for (const std::string& item : {even, odd}) {
        auto r = Place(Request(item, "jo", "pw", "US $25.00"));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->m_strResult, "You have been outbid by another bidder.");
    }
    auto low = Place(Request(even, "jo", "pw", "US $1.00"));
    EXPECT_EQ(low->m_strResult, "Bid is less than the minimun bid.Increse your price.");

    std::string soon = m_site.AddItem(R"({"title":"Lamp","price":5,"ends_in":1})");
    std::this_thread::sleep_for(std::chrono::milliseconds(1300));
    auto ended = Place(Request(soon, "jo", "pw", "US $9.00"));
    EXPECT_EQ(ended->m_strResult, "The auction is ended before the bid can be placed.");
    EXPECT_FALSE(ended->m_bSucceeded);
}

TEST_F(BidTest, OfferFormRefusalIsReportedWithTheSitesReasons) {
    auto r = Place(Request("1234567890", "jo", "pw", "US $12.50"));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->m_bSucceeded);
    EXPECT_EQ(r->m_strResult, "The item number 1234567890 is invalid, or the item no longer exists.");
    EXPECT_EQ(m_site.CountLog(kConfirmStep), 0u);
    EXPECT_EQ(ModeOf(ResultPagesDir() + "/errormake1st.html"), 0600u);
    // The sign-in step is the one kept, shown as the sign-in page.
    EXPECT_EQ(r->m_strResultUrl, ResultUrlFor(site::SignInPageUrl(), "1234567890"));

    // A refusal without the label after it.
    m_site.Fault(R"({"contains":"MakeBid&uiid","count":1,"answer":"The following must be corrected before continuing:"})");
    auto unknown = Place(Request("1234567890", "jo", "pw", "US $12.50"));
    EXPECT_EQ(unknown->m_strResult, "Unknown error1");
}

TEST_F(BidTest, MultipleQuantityAnswerIsJudgedFromTheItemPage) {
    // The site's multi-item answer, then the item page with its current price.
    std::string dear = m_site.AddItem(R"({"title":"Eagles","price":13.00,"quantity":5})");
    std::string even = m_site.AddItem(R"({"title":"Eagles","price":12.50,"quantity":5})");
    struct Case {
        std::string item;
        const char* result;
        bool succeeded;
    } cases[] = {
        {dear, "Your price is lower than the current winning bid.", false},
        {even, "Your bid sucessfully on a multiple quantity bid.", true},
    };
    for (const Case& c : cases) {
        m_site.Fault(R"({"contains":"mode=1","count":1,"answer":"multi"})");
        auto r = Place(Request(c.item, "jo", "pw", "US $12.50"));
        ASSERT_TRUE(r);
        EXPECT_EQ(r->m_strResult, c.result);
        EXPECT_EQ(r->m_bSucceeded, c.succeeded);
        EXPECT_EQ(r->m_strResultUrl, ResultUrlFor(site::ItemViewUrl(c.item), c.item));
    }
    m_site.Fault(R"({"contains":"mode=1","count":1,"answer":"multi"})");
    m_site.Fault(R"({"contains":"ViewItem","count":1,"answer":"not an item page"})");
    auto broken = Place(Request(even, "jo", "pw", "US $12.50"));
    EXPECT_EQ(broken->m_strResult, "Error bidding on a multiple quantity item.");
    EXPECT_FALSE(broken->m_bSucceeded);

    // A real multiple-item auction answers the same way.
    auto real = Place(Request(m_site.AddItem(R"({"title":"Eagles","price":5,"quantity":5})"), "jo",
                              "pw", "US $30.00"));
    EXPECT_EQ(real->m_strResult, "Your bid sucessfully on a multiple quantity bid.");
}

TEST_F(BidTest, StopDuringTheConversationFinishesTheRequestAndDeliversNothing) {
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    m_site.Fault(R"({"contains":"MakeBid&uiid","count":1,"latency_ms":300})");
    std::atomic<bool> stopping{false};
    std::thread stopper([&] {
        m_site.WaitForRequest(kOfferFormStep);
        stopping = true;
    });
    auto r = Place(Request(item, "jo", "pw", "US $12.50"), stopping);
    stopper.join();
    EXPECT_FALSE(r);
    EXPECT_EQ(ModeOf(ResultPagesDir() + "/errorMake1.html"), 0600u);  // the form was still read
    EXPECT_EQ(m_site.CountLog(kConfirmStep), 0u);

    std::atomic<bool> stopped{true};
    EXPECT_FALSE(Place(Request(item, "jo", "pw", "US $12.50"), stopped));
}

TEST_F(BidTest, FaultOnAnyStepStillGivesAMessageWithinTheTimeOuts) {
    FetchLimits limits;
    limits.connectTimeoutMs = 2000;
    limits.stallTimeoutMs = 1000;
    limits.totalTimeoutMs = 5000;
    FetchLimits saved = GetFetchLimits();
    SetFetchLimits(limits);
    std::string item = m_site.AddItem(R"({"title":"Lamp","price":5})");
    const char* steps[] = {kSignInPageStep, kSignInStep, kOfferFormStep, kConfirmStep};
    const char* faults[] = {R"("latency_ms":150)", R"("drop_after_bytes":20)",
                            R"("stall":true,"stall_ms":8000)", R"("status":500)"};
    for (const char* step : steps) {
        for (const char* fault : faults) {
            CCookieStore::Instance().Clear();  // no sign-in left from the last bid
            m_site.Fault(std::string(R"({"contains":")") + step + R"(","count":1,)" + fault + "}");
            auto start = std::chrono::steady_clock::now();
            auto r = Place(Request(item, "jo", "pw", "US $" + std::to_string(20 + rand() % 1000) + ".00"));
            double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            ASSERT_TRUE(r) << step << " " << fault;
            EXPECT_FALSE(r->m_strResult.empty()) << step << " " << fault;
            EXPECT_LT(secs, 5.0) << step << " " << fault;
            // Latency harms nothing; nor does a lost sign-in page, or a sign-in
            // answer cut off after its cookies arrived.
            std::string f = fault;
            bool harmless = f.find("latency") != std::string::npos || step == kSignInPageStep ||
                            (step == kSignInStep && f.find("drop") != std::string::npos);
            if (!harmless) {
                EXPECT_FALSE(r->m_bSucceeded) << step << " " << fault << ": " << r->m_strResult;
            }
            m_site.ClearFaults();
        }
    }
    SetFetchLimits(saved);
}

TEST_F(BidTest, TestLoginTellsGoodFromBadAndUnreachable) {
    m_site.Account("pat", "a&b c");
    EXPECT_EQ(Login("pat", "a&b c"), kSignInOkText);
    EXPECT_EQ(ModeOf(ResultPagesDir() + "/errorMake1.html"), 0600u);
    EXPECT_EQ(Login("pat", "a&b"), kSignInInvalidText);
    EXPECT_EQ(Login("nobody", "x"), kSignInInvalidText);
    // The sign-in answer is lost: the account page shows its sign-in form.
    CCookieStore::Instance().Clear();
    m_site.Fault(R"({"contains":"SignInWelcome","count":1,"empty":true})");
    EXPECT_EQ(Login("pat", "a&b c"), kSignInInvalidText);
    // No account page at all: nothing was tested, so no "OK".
    EXPECT_EQ(Login("pat", "a&b c"), kSignInOkText);
    m_site.Fault(R"({"contains":"MyeBay","count":2,"empty":true})");
    EXPECT_EQ(Login("pat", "a&b c"), kSignInUntestedText);
}

}  // namespace
}  // namespace bexora
