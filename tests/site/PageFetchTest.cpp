// FetchPage against small servers on 127.0.0.1: the redirect rules, what is
// appended to the caller's text, cookies across a chain and across threads,
// time-outs and cut-off bodies.

#include "site/PageFetch.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <set>
#include <thread>

#include "base/Settings.h"
#include "site/CookieStore.h"
#include "support/LocalServer.h"
#include "support/TempDir.h"

using bexora::FetchPage;
using bexora::test::LocalServer;

namespace {

class FetchTest : public ::testing::Test {
protected:
    void SetUp() override {
        bexora::SetSettingsPath(m_dir.File("Bexora.ini"));
        bexora::CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
        bexora::CCookieStore::Instance().Clear();
        m_saved = bexora::GetFetchLimits();
    }
    void TearDown() override { bexora::SetFetchLimits(m_saved); }

    bexora::test::TempDir m_dir;
    bexora::FetchLimits m_saved;
    LocalServer m_server;
};

void Redirect(httplib::Response& res, int status, const std::string& to) {
    res.status = status;
    res.set_header("Location", to);
}

}  // namespace

TEST_F(FetchTest, BodyIsAppendedWhateverTheFirstStatus) {
    m_server.Server().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html>hello</html>", "text/html");
    });
    m_server.Server().Get("/missing", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("not here", "text/html");
    });
    m_server.Start();

    std::string page = "before:";
    EXPECT_EQ(FetchPage(m_server.Url("/ok"), page), m_server.Url("/ok"));
    EXPECT_EQ(FetchPage(m_server.Url("/ok"), page), m_server.Url("/ok"));
    EXPECT_EQ(page, "before:<html>hello</html><html>hello</html>");

    page.clear();
    EXPECT_EQ(FetchPage(m_server.Url("/missing"), page), m_server.Url("/missing"));
    EXPECT_EQ(page, "not here");
}

TEST_F(FetchTest, RefusedAddressesLeaveThePageAlone) {
    m_server.Server().Get("/auth", [](const httplib::Request&, httplib::Response& res) {
        res.status = 401;
        res.set_content("go away", "text/html");
    });
    m_server.Server().Get("/noloc", [](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_content("moved somewhere", "text/html");
    });
    m_server.Server().Get("/toftp", [](const httplib::Request&, httplib::Response& res) {
        Redirect(res, 301, "ftp://127.0.0.1/file");
    });
    m_server.Start();

    for (const std::string& url :
         {std::string("ftp://127.0.0.1/x"), std::string("127.0.0.1/x"), std::string("http://"),
          std::string("mailto:a@b.c"), m_server.Url("/auth"), m_server.Url("/noloc"),
          m_server.Url("/toftp")}) {
        std::string page = "keep";
        EXPECT_EQ(FetchPage(url, page), "") << url;
        EXPECT_EQ(page, "keep") << url;
    }
}

TEST_F(FetchTest, RedirectChainsFollowTheSiteRules) {
    auto& s = m_server.Server();
    const std::string base = m_server.Url("");
    s.Get("/a", [base](const httplib::Request&, httplib::Response& res) { Redirect(res, 302, base + "/b"); });
    s.Get("/b", [base](const httplib::Request&, httplib::Response& res) { Redirect(res, 302, base + "/c"); });
    s.Get("/c", [](const httplib::Request&, httplib::Response& res) { res.set_content("end of chain", "text/html"); });
    s.Get("/d", [base](const httplib::Request&, httplib::Response& res) { Redirect(res, 302, base + "/e"); });
    s.Get("/e", [base](const httplib::Request&, httplib::Response& res) { Redirect(res, 301, base + "/c"); });
    s.Get("/f", [base](const httplib::Request&, httplib::Response& res) { Redirect(res, 303, base + "/g"); });
    s.Get("/g", [](const httplib::Request&, httplib::Response& res) {
        res.status = 404;
        res.set_content("gone", "text/html");
    });
    s.Get("/rel", [](const httplib::Request&, httplib::Response& res) { Redirect(res, 302, "/c"); });
    s.Get("/loop", [base](const httplib::Request&, httplib::Response& res) { Redirect(res, 302, base + "/loop"); });
    m_server.Start();

    std::string page;
    // 302, 302, 200: the result is the address asked for, not the target.
    EXPECT_EQ(FetchPage(m_server.Url("/a"), page), m_server.Url("/a"));
    EXPECT_EQ(page, "end of chain");
    // 302 then 301: a second-hop 301 is refused.
    page = "x";
    EXPECT_EQ(FetchPage(m_server.Url("/d"), page), "");
    EXPECT_EQ(page, "x");
    // A 404 after a redirect is refused, though it is accepted first-hand.
    EXPECT_EQ(FetchPage(m_server.Url("/f"), page), "");
    EXPECT_EQ(page, "x");
    // A relative location is taken against the address that answered.
    page.clear();
    EXPECT_EQ(FetchPage(m_server.Url("/rel"), page), m_server.Url("/rel"));
    EXPECT_EQ(page, "end of chain");
    // A redirect loop ends at the bound instead of running forever.
    page = "x";
    EXPECT_EQ(FetchPage(m_server.Url("/loop"), page), "");
    EXPECT_EQ(page, "x");
}

TEST_F(FetchTest, LowerCaseLocationIsPreferred) {
    const std::string base = m_server.Url("");
    m_server.Server().Get("/both", [base](const httplib::Request&, httplib::Response& res) {
        res.status = 302;
        res.set_header("Location", base + "/upper");
        res.set_header("location", base + "/lower");
    });
    m_server.Server().Get("/upper", [](const httplib::Request&, httplib::Response& res) { res.set_content("upper", "text/plain"); });
    m_server.Server().Get("/lower", [](const httplib::Request&, httplib::Response& res) { res.set_content("lower", "text/plain"); });
    m_server.Start();
    std::string page;
    FetchPage(m_server.Url("/both"), page);
    EXPECT_EQ(page, "lower");
}

TEST_F(FetchTest, SendsTheFixedHeaderBlockAndDecodesCompressedBodies) {
    httplib::Headers seen;
    m_server.Server().Get("/h", [&](const httplib::Request& req, httplib::Response& res) {
        seen = req.headers;
        // Long enough and of a text type, so the server compresses it.
        res.set_content(std::string(20000, 'z'), "text/html");
    });
    m_server.Start();
    std::string page;
    FetchPage(m_server.Url("/h"), page);
    EXPECT_EQ(page, std::string(20000, 'z'));
    auto value = [&](const char* key) {
        auto it = seen.find(key);
        return it == seen.end() ? std::string() : it->second;
    };
    EXPECT_EQ(value("Accept-Language"), "en-us");
    EXPECT_EQ(value("User-Agent"), "Mozilla/4.0");
    EXPECT_EQ(value("Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(value("Accept").rfind("image/gif, image/x-xbitmap", 0), 0u);
    EXPECT_NE(value("Accept").find("*/*"), std::string::npos);
}

TEST_F(FetchTest, CookiesSetMidChainAreSentOnTheNextRequest) {
    const std::string base = m_server.Url("");
    std::string cookieAtEnd;
    m_server.Server().Get("/login", [base](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "sess=abc123; Path=/");
        Redirect(res, 302, base + "/welcome");
    });
    m_server.Server().Get("/welcome", [&](const httplib::Request& req, httplib::Response& res) {
        cookieAtEnd = req.get_header_value("Cookie");
        res.set_content("welcome", "text/html");
    });
    m_server.Start();
    std::string page;
    EXPECT_EQ(FetchPage(m_server.Url("/login"), page), m_server.Url("/login"));
    EXPECT_EQ(cookieAtEnd, "sess=abc123");
}

TEST_F(FetchTest, TwoThreadsShareOneSignIn) {
    std::atomic<int> signedIn{0};
    m_server.Server().Get("/signin", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "signin=ok; Path=/");
        res.set_content("signed in", "text/html");
    });
    m_server.Server().Get("/my", [&](const httplib::Request& req, httplib::Response& res) {
        bool ok = req.get_header_value("Cookie").find("signin=ok") != std::string::npos;
        if (ok) ++signedIn;
        res.set_content(ok ? "your account" : "Already an eBay member", "text/html");
    });
    m_server.Start();

    std::string first;
    std::thread a([&] { FetchPage(m_server.Url("/signin"), first); });
    a.join();
    std::string second;
    std::thread b([&] { FetchPage(m_server.Url("/my"), second); });
    b.join();
    EXPECT_EQ(second, "your account");

    // And many threads at once, each with its own connection.
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&] {
            for (int j = 0; j < 10; ++j) {
                std::string p;
                FetchPage(m_server.Url("/my"), p);
                if (p == "your account") ++good;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), 60);
}

TEST_F(FetchTest, ConnectionIsReusedBetweenFetches) {
    std::set<int> ports;
    std::mutex m;
    m_server.Server().Get("/p", [&](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(m);
        ports.insert(req.remote_port);
        res.set_content("p", "text/plain");
    });
    m_server.Start();
    std::thread t([&] {
        for (int i = 0; i < 5; ++i) {
            std::string page;
            FetchPage(m_server.Url("/p"), page);
        }
    });
    t.join();
    EXPECT_EQ(ports.size(), 1u);
}

TEST_F(FetchTest, PersistentCookiesAreKeptInAPrivateJar) {
    m_server.Server().Get("/set", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "keep=1; Path=/; Expires=Wed, 01 Jan 2031 00:00:00 GMT");
        res.set_header("Set-Cookie", "session=2; Path=/");
        res.set_content("ok", "text/plain");
    });
    std::string cookie;
    m_server.Server().Get("/echo", [&](const httplib::Request& req, httplib::Response& res) {
        cookie = req.get_header_value("Cookie");
        res.set_content("e", "text/plain");
    });
    m_server.Start();
    std::string page;
    FetchPage(m_server.Url("/set"), page);

    const std::string jar = m_dir.File("cookies.txt");
    struct stat st {};
    ASSERT_EQ(stat(jar.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream in(jar);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("keep\t1"), std::string::npos);
    EXPECT_EQ(text.find("session"), std::string::npos);

    // A later run reads the jar back.
    bexora::CCookieStore::Instance().Clear();
    {
        std::ofstream out(m_dir.File("jar2.txt"));
        out << "127.0.0.1\tFALSE\t/\tFALSE\t1924992000\tfromjar\tyes\n";
    }
    bexora::CCookieStore::Instance().SetJarPath(m_dir.File("jar2.txt"));
    FetchPage(m_server.Url("/echo"), page);
    EXPECT_EQ(cookie, "fromjar=yes");
}

TEST_F(FetchTest, BodyCutOffMidwayReturnsWhatArrived) {
    m_server.Server().Get("/cut", [](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(
            100000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset >= 3000) return false;  // drop the connection
                std::string chunk(1000, 'a');
                sink.write(chunk.data(), chunk.size());
                return true;
            });
    });
    m_server.Start();
    std::string page = ">";
    EXPECT_EQ(FetchPage(m_server.Url("/cut"), page), m_server.Url("/cut"));
    EXPECT_GT(page.size(), 1u);
    EXPECT_LE(page.size(), 3001u);
    EXPECT_EQ(page.find_first_not_of('a', 1), std::string::npos);
}

TEST_F(FetchTest, OversizedPageIsCutAtTheBound) {
    m_server.Server().Get("/big", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(300000, 'b'), "application/octet-stream");
    });
    m_server.Start();
    auto lim = bexora::GetFetchLimits();
    lim.maxBodyBytes = 100000;
    bexora::SetFetchLimits(lim);
    std::string page;
    EXPECT_EQ(FetchPage(m_server.Url("/big"), page), m_server.Url("/big"));
    EXPECT_EQ(page.size(), 100000u);
}

TEST_F(FetchTest, SilentServerEndsAtTheStallTimeOut) {
    // Accepts connections (the kernel does) and never answers.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";

    auto lim = bexora::GetFetchLimits();
    lim.stallTimeoutMs = 1000;
    bexora::SetFetchLimits(lim);
    auto start = std::chrono::steady_clock::now();
    std::string page;
    EXPECT_EQ(FetchPage(url, page), url);  // a network error: the address, no body
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(page.empty());
    EXPECT_LT(took, std::chrono::seconds(5));
    close(fd);
}

TEST_F(FetchTest, NothingListeningIsANetworkError) {
    m_server.Start();
    const std::string url = m_server.Url("/x");
    m_server.Stop();
    std::string page = "keep";
    EXPECT_EQ(FetchPage(url, page), url);
    EXPECT_EQ(page, "keep");
}

TEST_F(FetchTest, AbortFlagEndsARunningFetch) {
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    m_server.Server().Get("/slow", [&](const httplib::Request&, httplib::Response& res) {
        for (int i = 0; i < 300 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        res.set_content("late", "text/plain");
    });
    m_server.Start();
    std::string page;
    auto start = std::chrono::steady_clock::now();
    std::thread t([&] {
        bexora::SetFetchAbortFlag(&stop);
        FetchPage(m_server.Url("/slow"), page);
        bexora::SetFetchAbortFlag(nullptr);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop = true;
    t.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_TRUE(page.empty());
    done = true;
    m_server.Stop();  // before the flags the handler reads go away
}
