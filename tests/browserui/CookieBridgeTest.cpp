// The pane's cookies and the fetch layer's are one store: sign-ins and
// sign-outs cross in both directions, flags survive the crossing, and no
// cookie is bounced back to where it came from.

#include <QNetworkCookie>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <ctime>

#include "BrowserTestSupport.h"
#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "bidding/SiteHarness.h"
#include "site/CookieStore.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"

namespace bexora::test {
namespace {

// The live line curl holds for a cookie name, or "".
std::string CurlCookie(const std::string& name) {
    for (const std::string& line : CCookieStore::Instance().AllCookies()) {
        size_t tab = line.find('\t' + name + '\t');
        if (tab == std::string::npos) continue;
        // field 5 is the expiry; a past one is a removed cookie
        size_t pos = 0;
        for (int i = 0; i < 4; ++i) pos = line.find('\t', pos) + 1;
        long long expires = std::atoll(line.c_str() + pos);
        if (expires == 0 || expires > std::time(nullptr)) return line;
    }
    return std::string();
}

// The cookies the pane's store reports as added, by name.
class WebCookieWatch {
public:
    WebCookieWatch() {
        m_c = QObject::connect(CebayView::Profile()->cookieStore(),
                               &QWebEngineCookieStore::cookieAdded,
                               [this](const QNetworkCookie& c) { m_added.push_back(c); });
    }
    ~WebCookieWatch() { QObject::disconnect(m_c); }
    const QNetworkCookie* Find(const std::string& name) const {
        for (const auto& c : m_added)
            if (c.name().toStdString() == name) return &c;
        return nullptr;
    }
    int Count(const std::string& name) const {
        int n = 0;
        for (const auto& c : m_added) n += c.name().toStdString() == name;
        return n;
    }

private:
    QMetaObject::Connection m_c;
    std::vector<QNetworkCookie> m_added;
};

class CookieBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The profile outlives a test: it starts each one without cookies.
        CebayView::Profile()->cookieStore()->deleteAllCookies();
        WaitFor([] { return Bridge().WebCookieCount() == 0; }, 5000);
        m_site = std::make_unique<LocalSite>();
        TakeShownPrompts();
    }
    void TearDown() override {
        m_view.reset();
        CloseThreadConnections();
        m_site.reset();
        SetSettingsPath("");
    }
    CebayView& View() {
        if (!m_view) {
            m_view = std::make_unique<CebayView>(&m_host);
            m_host.view = m_view.get();
            m_view->resize(800, 600);
            m_view->show();
        }
        return *m_view;
    }
    // The pane's sign-in form, filled in and sent; the page it led to.
    std::string SignInInPane(const std::string& user, const std::string& password) {
        LoadAndWait(View(), site::SignInPageUrl());
        EXPECT_NE(PageText(View()).find("Already an eBay member?"), std::string::npos)
            << "the sign-in form over HTTPS did not load: " << PageText(View());
        bool done = false;
        std::string reported;
        auto c = QObject::connect(&View(), &CebayView::DocumentComplete, [&](const QString& u) {
            reported = u.toStdString();
            done = reported.find("SignInWelcome") != std::string::npos;
        });
        RunScript(View(), QString("var u = document.querySelector('input[name=userid]');"
                                  "u.value = '%1';"
                                  "document.querySelector('input[name=pass]').value = '%2';"
                                  "u.form.submit(); true")
                              .arg(QString::fromStdString(user), QString::fromStdString(password)));
        EXPECT_TRUE(WaitFor([&] { return done; }));
        QObject::disconnect(c);
        return PageText(View());
    }

    std::unique_ptr<LocalSite> m_site;
    RecordingHost m_host;
    std::unique_ptr<CebayView> m_view;
};

TEST(CookieLines, FlagsDomainPathAndExpirySurviveBothWays) {
    struct Case {
        std::string line;
        bool hostOnly, secure, httpOnly, session;
    };
    const std::vector<Case> cases = {
        {"127.0.0.1\tFALSE\t/\tFALSE\t0\ts\tabc123", true, false, false, true},
        {"#HttpOnly_.example.com\tTRUE\t/account\tTRUE\t2000000000\tsid\tv=1", false, true, true,
         false},
        {"shop.example.com\tFALSE\t/\tTRUE\t1900000000\tempty\t", true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        QNetworkCookie cookie;
        QUrl origin;
        ASSERT_TRUE(CCookieBridge::FromNetscapeLine(c.line, &cookie, &origin));
        EXPECT_EQ(cookie.domain().isEmpty(), c.hostOnly);
        EXPECT_EQ(cookie.isSecure(), c.secure);
        EXPECT_EQ(cookie.isHttpOnly(), c.httpOnly);
        EXPECT_EQ(cookie.isSessionCookie(), c.session);
        // Secure cookies are only accepted from a secure origin.
        EXPECT_EQ(origin.scheme(), c.secure ? "https" : "http");
        // The pane reports a host-only cookie with its bare host as domain.
        if (c.hostOnly) cookie.setDomain(origin.host());
        EXPECT_EQ(CCookieBridge::ToNetscapeLine(cookie), c.line);
    }
}

TEST(CookieLines, BrokenLinesAndUnsafeCookiesAreRefused) {
    QNetworkCookie cookie;
    for (const char* bad : {"", "# Netscape HTTP Cookie File", "a.com\tFALSE\t/\tFALSE\t0",
                            "\tFALSE\t/\tFALSE\t0\tn\tv", "a.com\tFALSE\t/\tFALSE\t0\tn\tv\textra"})
        EXPECT_FALSE(CCookieBridge::FromNetscapeLine(bad, &cookie, nullptr)) << bad;
    // A value with a tab or line break would forge a second cookie line.
    QNetworkCookie forged("n", "v\n127.0.0.1\tFALSE\t/\tFALSE\t0\tadmin\t1");
    forged.setDomain("127.0.0.1");
    EXPECT_EQ(CCookieBridge::ToNetscapeLine(forged), "");
    QNetworkCookie noDomain("n", "v");
    EXPECT_EQ(CCookieBridge::ToNetscapeLine(noDomain), "");
    // An expiry in the past stays an expiry (a removal), never a session cookie.
    QNetworkCookie old("n", "v");
    old.setDomain("a.com");
    old.setExpirationDate(QDateTime::fromSecsSinceEpoch(0, Qt::UTC));
    EXPECT_EQ(CCookieBridge::ToNetscapeLine(old), "a.com\tFALSE\t/\tFALSE\t1\tn\tv");
    EXPECT_EQ(CCookieBridge::ExpiredLine("#HttpOnly_.a.com\tTRUE\t/\tFALSE\t0\tn\tv"),
              "#HttpOnly_.a.com\tTRUE\t/\tFALSE\t1\tn\tv");
}

TEST_F(CookieBridgeTest, SignInInThePaneSignsInTheCore) {
    m_site->Account("jo", "secret");
    std::string before;
    FetchPage(site::AccountPageUrl(), before);
    ASSERT_NE(before.find("Already an eBay member?"), std::string::npos)
        << "core signed in already";

    const std::string welcome = SignInInPane("jo", "secret");
    EXPECT_NE(welcome.find("Hello jo"), std::string::npos) << welcome;
    ASSERT_TRUE(WaitFor([] { return !CurlCookie("s").empty(); }))
        << "the session cookie never reached curl";
    // A session cookie stays one: it is not written into the jar.
    EXPECT_NE(CurlCookie("s").find("\t0\ts\t"), std::string::npos) << CurlCookie("s");

    std::string account;
    FetchPage(site::AccountPageUrl(), account);
    EXPECT_NE(account.find("My eBay Summary"), std::string::npos) << account;
    EXPECT_EQ(account.find("Already an eBay member?"), std::string::npos);

    // The persistent cookie of the sign-in page is kept in the jar (0600) for
    // the next run; the session cookie is not.
    std::string jar;
    ASSERT_TRUE(ReadWholeFile(CCookieStore::Instance().JarPath(), jar));
    EXPECT_NE(jar.find("\tnonsession\t"), std::string::npos) << jar;
    EXPECT_EQ(jar.find("\ts\t"), std::string::npos) << jar;
    struct stat st {};
    ASSERT_EQ(stat(CCookieStore::Instance().JarPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // ...and the pane's profile keeps nothing of its own.
    EXPECT_TRUE(CebayView::Profile()->isOffTheRecord());
}

TEST_F(CookieBridgeTest, SignInByTheCoreIsSeenByThePaneAndAFailedOneInThePaneEndsIt) {
    m_site->Account("jo", "secret");
    std::string welcome;
    FetchPage(site::SignInRequestUrl("jo", "secret"), welcome);
    ASSERT_NE(welcome.find("Hello jo"), std::string::npos) << welcome;
    ASSERT_FALSE(CurlCookie("s").empty());
    ASSERT_TRUE(WaitFor([] { return Bridge().WebCookieCount() >= 2; }));

    LoadAndWait(View(), site::AccountPageUrl());
    const std::string shown = PageText(View());
    EXPECT_NE(shown.find("My eBay Summary"), std::string::npos) << shown;
    EXPECT_NE(RunScript(View(), "document.cookie").toString().indexOf("ebaysignin=in"), -1);

    // A refused sign-in in the pane removes the session cookie there; the
    // core loses it too.
    const std::string refused = SignInInPane("jo", "wrong");
    EXPECT_NE(refused.find("Your sign in information is not valid"), std::string::npos) << refused;
    EXPECT_TRUE(WaitFor([] { return CurlCookie("s").empty(); })) << CurlCookie("s");
    EXPECT_NE(CurlCookie("ebaysignin").find("\tout"), std::string::npos)
        << CurlCookie("ebaysignin");
}

TEST_F(CookieBridgeTest, APaneStartsWithTheCookiesOfTheJar) {
    // What an earlier run left in the jar (curl holds it; nobody is told).
    const long long expires = std::time(nullptr) + 3600;
    CCookieStore::Instance().AddCookie("127.0.0.1\tFALSE\t/\tFALSE\t" + std::to_string(expires) +
                                       "\tremembered\tyes");
    {
        QWebEngineProfile profile;
        CCookieBridge bridge(profile.cookieStore());
        QWebEngineView view;
        view.setPage(new QWebEnginePage(&profile, &view));
        bool loaded = false;
        QObject::connect(&view, &QWebEngineView::loadFinished, [&] { loaded = true; });
        m_site->ClearLog();
        view.load(QUrl(QString::fromStdString(site::HomeUrl())));
        ASSERT_TRUE(WaitFor([&] { return loaded; }));
        bx::Json log = m_site->Control("GET", "/_control/log");
        ASSERT_FALSE(log.Items().empty());
        EXPECT_NE(log.Items().front().Get("cookies")->AsString().find("remembered=yes"),
                  std::string::npos);
    }
    Bridge().Listen();  // the pane's own bridge listens again
}

TEST_F(CookieBridgeTest, NoCookieIsWrittenBackToTheSideItCameFrom) {
    CCookieBridge& bridge = Bridge();
    WebCookieWatch watch;
    // The pane's store reports changes once a page has started it.
    LoadAndWait(View(), "about:blank");

    // Curl -> pane: the pane's report of it is not copied back into curl,
    // and the pane holds it with the same flags.
    const long long expires = std::time(nullptr) + 86400;
    const std::string fromCurl =
        "#HttpOnly_127.0.0.1\tFALSE\t/ws\tFALSE\t" + std::to_string(expires) + "\tcorecookie\tabc";
    CCookieStore::Instance().AddCookie(fromCurl);
    const int toCurl0 = bridge.CopiedToCurl(), toWeb0 = bridge.CopiedToWeb();
    const int removed0 = bridge.RemovedFromCurl();
    bridge.OnCurlCookie(fromCurl);
    ASSERT_TRUE(WaitFor([&] { return watch.Find("corecookie") != nullptr; }));
    const QNetworkCookie* seen = watch.Find("corecookie");
    EXPECT_TRUE(seen->isHttpOnly());
    EXPECT_EQ(seen->path(), "/ws");
    EXPECT_EQ(seen->expirationDate().toSecsSinceEpoch(), expires);
    // The same line told again (a second fetch) is nothing new for the pane.
    bridge.OnCurlCookie(fromCurl);
    Settle();
    EXPECT_EQ(bridge.CopiedToWeb(), toWeb0 + 1);
    EXPECT_EQ(bridge.CopiedToCurl(), toCurl0);
    EXPECT_EQ(CurlCookie("corecookie"), fromCurl);

    // Curl receives a new value: the pane drops the old one as it takes the
    // new, and that drop must not take the new value out of curl.
    const std::string renewed =
        "#HttpOnly_127.0.0.1\tFALSE\t/ws\tFALSE\t" + std::to_string(expires) + "\tcorecookie\tdef";
    CCookieStore::Instance().AddCookie(renewed);
    bridge.OnCurlCookie(renewed);
    ASSERT_TRUE(WaitFor([&] { return watch.Count("corecookie") == 2; }));
    Settle();
    EXPECT_EQ(CurlCookie("corecookie"), renewed);
    EXPECT_EQ(bridge.RemovedFromCurl(), removed0);
    EXPECT_EQ(bridge.CopiedToCurl(), toCurl0);

    // Pane -> curl: copied once, and the fetch layer's next response does not
    // hand it back to the pane.
    QNetworkCookie paneCookie("panecookie", "xyz");
    paneCookie.setPath("/");
    CebayView::Profile()->cookieStore()->setCookie(paneCookie, QUrl("http://127.0.0.1/"));
    ASSERT_TRUE(WaitFor([] { return !CurlCookie("panecookie").empty(); }));
    EXPECT_EQ(CurlCookie("panecookie"), "127.0.0.1\tFALSE\t/\tFALSE\t0\tpanecookie\txyz");
    std::string page;
    FetchPage(site::HomeUrl(), page);
    Settle();
    EXPECT_EQ(bridge.CopiedToCurl(), toCurl0 + 1);
    EXPECT_EQ(bridge.CopiedToWeb(), toWeb0 + 2);

    // A cookie the pane deletes is gone from the core's requests as well.
    m_site->ClearLog();
    CebayView::Profile()->cookieStore()->deleteCookie(paneCookie, QUrl("http://127.0.0.1/"));
    ASSERT_TRUE(WaitFor([] { return CurlCookie("panecookie").empty(); }));
    page.clear();
    FetchPage(site::HomeUrl(), page);
    bx::Json log = m_site->Control("GET", "/_control/log");
    ASSERT_FALSE(log.Items().empty());
    EXPECT_EQ(log.Items().back().Get("cookies")->AsString().find("panecookie"), std::string::npos);
}

}  // namespace
}  // namespace bexora::test
