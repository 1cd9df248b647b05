// Injected faults, the request log, the certificate, the settings file, and
// the program run as a process.

#include <curl/curl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "SiteFixture.h"

using rules::Contains;
using Clock = std::chrono::steady_clock;

namespace {

struct CurlResult {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body, headers;
    double seconds = 0;
};

size_t Collect(char* data, size_t size, size_t n, void* out) {
    static_cast<std::string*>(out)->append(data, size * n);
    return size * n;
}

CurlResult Curl(const std::string& url, const std::string& caFile = "", bool follow = false) {
    CurlResult r;
    CURL* c = curl_easy_init();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &r.body);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &r.headers);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");  // cookie engine on, nothing loaded
    if (!caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (follow) {
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    }
    auto start = Clock::now();
    r.code = curl_easy_perform(c);
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &r.status);
    curl_easy_cleanup(c);
    return r;
}

}  // namespace

class FaultTest : public SiteTest {
protected:
    std::string Url(const std::string& target) { return m_server->HttpBase() + target; }
    void Fault(const std::string& json) { Control("POST", "/_control/faults", json); }
};

TEST_F(FaultTest, LatencyStatusAndEmptyApplyToTheirCount) {
    std::string n = AddItem(R"({"title":"Lamp","price":5})");
    const std::string item = "/ws/eBayISAPI.dll?ViewItem&item=" + n;
    Fault(R"({"path":"/ws/eBayISAPI.dll?ViewItem","latency_ms":300,"count":1})");
    EXPECT_GE(Curl(Url(item)).seconds, 0.29);
    EXPECT_LT(Curl(Url(item)).seconds, 0.25);

    Fault(R"({"path":"/ws/","status":503,"count":2})");
    EXPECT_EQ(Get("/aw-cgi/eBayISAPI.dll?TimeShow").status, 200);  // other prefix
    EXPECT_EQ(Get(item).status, 503);
    EXPECT_EQ(Get(item).status, 503);
    EXPECT_EQ(Get(item).status, 200);

    Fault(R"({"path":"/ws/","contains":"TimeShow","empty":true})");  // every matching request
    Fault(R"({"path":"/aw-cgi/","empty":true})");
    for (int i = 0; i < 3; ++i) {
        Page p = Get("/aw-cgi/eBayISAPI.dll?TimeShow");
        EXPECT_EQ(p.status, 200);
        EXPECT_TRUE(p.body.empty());
    }
    EXPECT_FALSE(Get(item).body.empty());
    Control("DELETE", "/_control/faults");
    EXPECT_FALSE(Get("/aw-cgi/eBayISAPI.dll?TimeShow").body.empty());
}

TEST_F(FaultTest, DroppedAndStalledAnswers) {
    std::string n = AddItem(R"({"title":"Lamp","price":5})");
    const std::string item = "/ws/eBayISAPI.dll?ViewItem&item=" + n;
    Fault(R"({"path":"/ws/","drop_after_bytes":100,"count":1})");
    CurlResult r = Curl(Url(item));
    EXPECT_EQ(r.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(r.body.size(), 100u);
    EXPECT_EQ(r.status, 200);

    Fault(R"({"path":"/ws/","drop_after_bytes":50,"stall":true,"stall_ms":400,"count":1})");
    r = Curl(Url(item));
    EXPECT_EQ(r.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(r.body.size(), 50u);
    EXPECT_GE(r.seconds, 0.39);

    // A stall before the first byte: nothing arrives for the whole stall.
    Fault(R"({"path":"/ws/","stall":true,"stall_ms":400,"count":1})");
    r = Curl(Url(item));
    EXPECT_NE(r.code, CURLE_OK);
    EXPECT_TRUE(r.body.empty());
    EXPECT_GE(r.seconds, 0.39);

    // While one request stalls, others are answered.
    Fault(R"({"path":"/aw-cgi/","stall":true,"stall_ms":3000,"count":1})");
    std::thread stalled([&] { Curl(Url("/aw-cgi/eBayISAPI.dll?TimeShow")); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = Clock::now();
    EXPECT_EQ(Get(item).status, 200);
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
    m_server->Stop();  // wakes the stalled handler: stopping does not wait out the stall
    stalled.join();
    EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 2.5);
}

TEST_F(FaultTest, RedirectChainsAndLoops) {
    std::string n = AddItem(R"({"title":"Lamp","price":5})");
    const std::string item = "/ws/eBayISAPI.dll?ViewItem&item=" + n;
    Fault(R"({"path":"/ws/","redirects":[302,302],"count":1})");
    CurlResult r = Curl(Url(item));
    EXPECT_EQ(r.status, 302);
    EXPECT_TRUE(Contains(r.headers, "Location: " + m_server->HttpBase() + "/_hop/"));

    Fault(R"({"path":"/ws/","redirects":[302,302],"count":1})");
    Control("DELETE", "/_control/log");
    r = Curl(Url(item), "", true);
    EXPECT_EQ(r.status, 200);
    rules::Item it;
    EXPECT_TRUE(rules::ParseItemPage(rules::StripTags(r.body), it));
    bx::Json log = Control("GET", "/_control/log");
    ASSERT_EQ(log.Items().size(), 3u);
    EXPECT_EQ(log.Items()[0].Get("target")->AsString(), item);
    EXPECT_EQ(log.Items()[2].Get("cookies")->AsString(), "hop=2");  // set mid-chain, sent on

    Fault(R"({"path":"/ws/","redirects":[302,301],"count":1,"lower_location":true})");
    r = Curl(Url(item), "", true);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(Contains(r.headers, "HTTP/1.1 301"));
    EXPECT_TRUE(Contains(r.headers, "location: "));
    EXPECT_FALSE(Contains(r.headers, "Location: "));

    Fault(R"({"path":"/ws/","redirects":[302],"no_location":true,"count":1})");
    r = Curl(Url(item), "", true);
    EXPECT_EQ(r.status, 302);
    EXPECT_FALSE(Contains(r.headers, "ocation"));

    Fault(R"({"path":"/ws/","redirect_loop":true,"count":1})");
    EXPECT_EQ(Curl(Url(item), "", true).code, CURLE_TOO_MANY_REDIRECTS);
    EXPECT_EQ(Curl(Url(item), "", true).code, CURLE_OK);
}

TEST_F(FaultTest, PaddedPageReadsTheSame) {
    std::string n = AddItem(R"({"title":"Lamp","price":5})");
    Fault(R"({"path":"/ws/","pad_bytes":3000000,"count":1})");
    Page p = Get("/ws/eBayISAPI.dll?ViewItem&item=" + n);
    EXPECT_EQ(p.body.size(), 3000000u);
    rules::Item it;
    EXPECT_TRUE(rules::ParseItemPage(rules::StripTags(p.body), it));
    EXPECT_EQ(it.price, "$5.00");
}

TEST_F(FaultTest, RequestLogRecordsTargetsAsReceived) {
    Account("jo", "pw");
    Control("DELETE", "/_control/log");
    Get("/ws/eBayISAPI.dll?SignIn", true);
    Get("/ws/eBayISAPI.dll?MfcISAPICommand=SignInWelcome&userid=jo&pass=p%77", true);
    Get("/ws/eBayISAPI.dll?ViewItem&item=1&x=US%20%2412");
    Control("GET", "/_control/items");
    bx::Json log = Control("GET", "/_control/log");
    ASSERT_EQ(log.Items().size(), 3u);  // control requests are not logged
    const bx::Json& a = log.Items()[0];
    const bx::Json& c = log.Items()[2];
    EXPECT_EQ(a.Get("scheme")->AsString(), "https");
    EXPECT_EQ(a.Get("host")->AsString(), "127.0.0.1:" + std::to_string(m_server->HttpsPort()));
    EXPECT_EQ(a.Get("cookies")->AsString(), "");
    EXPECT_EQ(log.Items()[1].Get("target")->AsString(),
              "/ws/eBayISAPI.dll?MfcISAPICommand=SignInWelcome&userid=jo&pass=p%77");
    EXPECT_TRUE(Contains(log.Items()[1].Get("cookies")->AsString(), "nonsession="));
    EXPECT_EQ(c.Get("scheme")->AsString(), "http");
    EXPECT_EQ(c.Get("target")->AsString(), "/ws/eBayISAPI.dll?ViewItem&item=1&x=US%20%2412");
    double t0 = a.Get("time")->AsNumber(), t2 = c.Get("time")->AsNumber();
    EXPECT_LE(t0, t2);
    EXPECT_NEAR(t2, m_site->SiteNow(), 5.0);
    EXPECT_NE(t0, std::floor(t0));  // fractions of a second are kept
}

TEST_F(FaultTest, ManyClientsAtOnce) {
    std::string n = AddItem(R"({"title":"Lamp","price":5})");
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 12; ++t)
        threads.emplace_back([&, t] {
            httplib::Client c("127.0.0.1", m_server->HttpPort());
            c.set_keep_alive(true);
            for (int i = 0; i < 25; ++i) {
                auto r = c.Get(("/ws/eBayISAPI.dll?ViewItem&item=" + n).c_str());
                if (r && r->status == 200 && Contains(r->body, "(item " + n)) ++ok;
                if (t % 3 == 0)
                    Control("POST", "/_control/bid",
                            "{\"item\":\"" + n + "\",\"user\":\"u" + std::to_string(t) +
                                "\",\"max\":" + std::to_string(10 + i) + "}");
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(ok.load(), 300);
    EXPECT_EQ(ItemState(n).Get("high_bidder")->AsString().substr(0, 1), "u");
}

TEST_F(FaultTest, CertificateIsTrustedThroughTheWrittenCaFile) {
    const std::string signIn = "/ws/eBayISAPI.dll?SignIn";
    CurlResult r = Curl(m_server->HttpsBase() + signIn, m_server->CertPath());
    EXPECT_EQ(r.code, CURLE_OK) << curl_easy_strerror(r.code);
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(Contains(r.headers, "Set-Cookie: nonsession="));
    r = Curl("https://localhost:" + std::to_string(m_server->HttpsPort()) + signIn,
             m_server->CertPath());
    EXPECT_EQ(r.code, CURLE_OK) << curl_easy_strerror(r.code);
    // Without it the certificate is refused, so verification is really on.
    EXPECT_EQ(Curl(m_server->HttpsBase() + signIn, "/dev/null").code, CURLE_SSL_CACERT_BADFILE);
    r = Curl(m_server->HttpsBase() + signIn);
    EXPECT_EQ(r.code, CURLE_PEER_FAILED_VERIFICATION);
    // The control API is not offered over HTTPS.
    EXPECT_EQ(Curl(m_server->HttpsBase() + "/_control/items", m_server->CertPath()).status, 404);
}

TEST_F(FaultTest, ControlApiServesOnlyItsOwnJsonClients) {
    AddItem(R"({"title":"Lamp","price":5})");
    Account("jo", "s3cret");
    httplib::Client c("127.0.0.1", m_server->HttpPort());
    const std::string port = ":" + std::to_string(m_server->HttpPort());
    auto get = [&](const std::string& host) {
        return c.Get("/_control/items", httplib::Headers{{"Host", host}});
    };
    // A page that rebound its own name to 127.0.0.1 sends that name as Host.
    auto rebound = get("attacker.example" + port);
    ASSERT_TRUE(rebound);
    EXPECT_EQ(rebound->status, 403);
    EXPECT_EQ(rebound->body.find("Lamp"), std::string::npos);
    EXPECT_EQ(get("127.0.0.1:1" + port)->status, 403);
    EXPECT_EQ(get("127.0.0.1")->status, 403);  // another port's site
    EXPECT_EQ(get("localhost" + port)->status, 200);
    EXPECT_EQ(get("127.0.0.1" + port)->status, 200);

    // A form post (or a fetch without a preflight) cannot change anything.
    for (const char* type : {"application/x-www-form-urlencoded", "text/plain",
                             "multipart/form-data; boundary=x", ""}) {
        auto r = c.Post("/_control/reset", "{}", type);
        ASSERT_TRUE(r);
        // (httplib itself answers 400 to a multipart body that is no multipart.)
        EXPECT_EQ(r->status, std::string(type).find("multipart") == 0 ? 400 : 415) << type;
    }
    auto noType = c.Delete("/_control/log");
    ASSERT_TRUE(noType);
    EXPECT_EQ(noType->status, 415);
    EXPECT_EQ(Control("GET", "/_control/items").Items().size(), 1u);  // nothing was reset
    auto json = c.Post("/_control/clock", R"({"advance":0})", "Application/JSON; charset=utf-8");
    ASSERT_TRUE(json);
    EXPECT_EQ(json->status, 200);

    // Accounts come back without their passwords.
    bx::Json accounts = Control("GET", "/_control/accounts");
    ASSERT_EQ(accounts.Items().size(), 1u);
    EXPECT_EQ(accounts.Items()[0].Get("user")->AsString(), "jo");
    EXPECT_EQ(accounts.Items()[0].Get("password"), nullptr);
    EXPECT_FALSE(Contains(accounts.Dump(), "s3cret"));
}

TEST_F(FaultTest, CertificateIsALeafThatVouchesForNoOtherHost) {
    auto readPem = [](const std::string& path, bool key) -> void* {
        FILE* f = fopen(path.c_str(), "r");
        if (!f) return nullptr;
        void* p = key ? static_cast<void*>(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr))
                      : static_cast<void*>(PEM_read_X509(f, nullptr, nullptr, nullptr));
        fclose(f);
        return p;
    };
    X509* site = static_cast<X509*>(readPem(m_server->CertPath(), false));
    EVP_PKEY* key = static_cast<EVP_PKEY*>(readPem(m_server->KeyPath(), true));
    ASSERT_TRUE(site && key);
    EXPECT_EQ(X509_check_ca(site), 0);
    EXPECT_EQ(X509_get_key_usage(site) & KU_KEY_CERT_SIGN, 0u);

    // Whoever gets hold of the key signs a certificate for another host.
    X509* forged = X509_new();
    X509_set_version(forged, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(forged), 2);
    X509_gmtime_adj(X509_getm_notBefore(forged), -3600);
    X509_gmtime_adj(X509_getm_notAfter(forged), 3600);
    EVP_PKEY* other = EVP_EC_gen("P-256");
    X509_set_pubkey(forged, other);
    X509_NAME* name = X509_get_subject_name(forged);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("signin.ebay.com"), -1, -1, 0);
    X509_set_issuer_name(forged, X509_get_subject_name(site));
    ASSERT_GT(X509_sign(forged, key, EVP_sha256()), 0);

    auto verifies = [&](X509* leaf, const char* host) {
        X509_STORE* store = X509_STORE_new();
        X509_STORE_add_cert(store, site);
        X509_STORE_CTX* ctx = X509_STORE_CTX_new();
        X509_STORE_CTX_init(ctx, store, leaf, nullptr);
        X509_VERIFY_PARAM_set1_host(X509_STORE_CTX_get0_param(ctx), host, 0);
        bool ok = X509_verify_cert(ctx) == 1;
        X509_STORE_CTX_free(ctx);
        X509_STORE_free(store);
        return ok;
    };
    EXPECT_TRUE(verifies(site, "localhost"));
    EXPECT_FALSE(verifies(forged, "signin.ebay.com"));
    X509_free(forged);
    EVP_PKEY_free(other);
    EVP_PKEY_free(key);
    X509_free(site);
}

TEST_F(FaultTest, SettingsFileIsWrittenPrivatelyAndNeverThroughAPlantedLink) {
    bexora::test::TempDir dir;
    const std::string victim = dir.File("victim.txt");
    { std::ofstream(victim) << "precious\n"; }
    const std::string out = dir.File("Bexora.ini");
    ASSERT_EQ(symlink(victim.c_str(), out.c_str()), 0);
    StartSite(std::nullopt, out);

    std::ifstream in(victim);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "precious\n");  // neither written through nor copied
    struct stat st {};
    ASSERT_EQ(lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::ifstream written(out);
    std::stringstream text;
    text << written.rdbuf();
    EXPECT_TRUE(Contains(text.str(), "CAFile=")) << text.str();
    EXPECT_FALSE(Contains(text.str(), "precious"));
    m_server.reset();
}

TEST_F(FaultTest, SettingsFileIsMergedIntoAnExistingOne) {
    char dir[] = "/tmp/site-settings-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string path = std::string(dir) + "/Bexora.ini";
    {
        std::ofstream out(path);
        out << "[Bid Dialog]\nUser "
               "ID=jo\n[site]\nsiteitemhost=cgi.ebay.com\nKeep=1\n[UPDATE]\nUpdate "
               "URL=old\nOther=2\n";
    }
    StartSite(std::nullopt, path);
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    const std::string http = "127.0.0.1:" + std::to_string(m_server->HttpPort());
    EXPECT_TRUE(Contains(text, "[Bid Dialog]\nUser ID=jo\n"));
    EXPECT_TRUE(Contains(text, "Keep=1\n"));
    EXPECT_TRUE(Contains(text, "Other=2\n"));
    EXPECT_FALSE(Contains(text, "cgi.ebay.com"));
    EXPECT_FALSE(Contains(text, "=old"));
    EXPECT_TRUE(Contains(text, "SiteItemHost=" + http + "\n"));
    EXPECT_TRUE(
        Contains(text, "SiteSignInHost=127.0.0.1:" + std::to_string(m_server->HttpsPort()) + "\n"));
    EXPECT_TRUE(Contains(text, "SiteHomeUrl=http://" + http + "/\n"));
    EXPECT_TRUE(Contains(text, "SiteDomain=127.0.0.1\n"));
    EXPECT_TRUE(Contains(text, "VendorSiteUrl=http://" + http + "/vendor\n"));
    EXPECT_TRUE(Contains(text, "Update URL=https://127.0.0.1:" + std::to_string(m_server->HttpsPort()) +
                                   "/vendor/\n"));
    EXPECT_TRUE(Contains(text, "CAFile=" + std::string(dir) + "/auction-site-cert.pem\n"));
    EXPECT_EQ(access(m_server->CertPath().c_str(), R_OK), 0);
    struct stat st {};
    ASSERT_EQ(stat(m_server->KeyPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    m_server.reset();
    for (const char* f : {"/Bexora.ini", "/auction-site-cert.pem", "/auction-site-key.pem"})
        unlink((std::string(dir) + f).c_str());
    rmdir(dir);
}

TEST(SiteProcess, PrintsPortsServesAndStopsOnSigterm) {
    char dir[] = "/tmp/site-process-XXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string settings = std::string(dir) + "/site.ini";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(AUCTION_SITE_BINARY, AUCTION_SITE_BINARY, "--demo", "--seed", "5", "--layout", "2",
              "--settings-out", settings.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    int http = 0, https = 0;
    ASSERT_EQ(sscanf(line.c_str(), "http=%d https=%d", &http, &https), 2) << line;
    httplib::Client client("127.0.0.1", http);
    auto r = client.Get("/_control/items");
    ASSERT_TRUE(r);
    auto items = bx::Json::Parse(r->body);
    ASSERT_TRUE(items);
    EXPECT_GE(items->Items().size(), 30u);
    r = client.Get("/_control/layout");  // started in the redesign
    ASSERT_TRUE(r);
    auto layout = bx::Json::Parse(r->body);
    ASSERT_TRUE(layout && layout->Get("layout"));
    EXPECT_EQ(layout->Get("layout")->AsNumber(), 2.0);
    r = client.Get("/");
    ASSERT_TRUE(r);
    EXPECT_GE(rules::QuickAdd(rules::ScanItemLinks(r->body)).size(), 20u);
    EXPECT_EQ(Curl("https://127.0.0.1:" + std::to_string(https) + "/v2/account/login",
                   std::string(dir) + "/auction-site-cert.pem")
                  .code,
              CURLE_OK);

    kill(pid, SIGTERM);
    int status = 0;
    auto start = Clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0 && Clock::now() - start < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const char* f : {"/site.ini", "/auction-site-cert.pem", "/auction-site-key.pem"})
        unlink((std::string(dir) + f).c_str());
    rmdir(dir);
}
