#pragma once
// Starts the local auction site in-process on free ports and talks to it like
// a browser would: one cookie jar for both ports, HTTPS checked against the
// site's own certificate.

#include <gtest/gtest.h>
#include <httplib.h>

#include <map>
#include <memory>
#include <string>

#include "ClientRules.h"
#include "base/Settings.h"
#include "site/CookieStore.h"
#include "site/PageFetch.h"
#include "support/TempDir.h"
#include "Json.h"
#include "Server.h"
#include "Site.h"

namespace bx = bexora::auction;

struct Page {
    int status = 0;  // 0 = no answer
    std::string body;
    httplib::Headers headers;
    std::string Header(const std::string& k) const {
        auto it = headers.find(k);
        return it == headers.end() ? "" : it->second;
    }
};

class SiteTest : public ::testing::Test {
protected:
    void SetUp() override { StartSite(std::nullopt); }
    void TearDown() override {
        bexora::CloseThreadConnections();
        m_server.reset();
        m_site.reset();
    }

    void StartSite(std::optional<uint64_t> seed, const std::string& settingsOut = "") {
        m_server.reset();
        m_site = std::make_unique<bx::Site>(seed);
        m_server = std::make_unique<bx::Server>(*m_site);
        bx::ServerOptions o;
        o.threads = 16;
        // The program's own readers find the site through this settings file.
        o.settingsOut = settingsOut.empty() ? m_dir.File("Bexora.ini") : settingsOut;
        std::string error;
        ASSERT_TRUE(m_server->Start(o, &error)) << error;
        bexora::SetSettingsPath(o.settingsOut);
        bexora::CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
    }

    // A plain GET over HTTP (or HTTPS), sending and keeping cookies.
    Page Get(const std::string& target, bool https = false) {
        httplib::Headers headers;
        std::string cookies;
        for (const auto& [k, v] : m_jar) cookies += (cookies.empty() ? "" : "; ") + k + "=" + v;
        if (!cookies.empty()) headers.emplace("Cookie", cookies);
        std::unique_ptr<httplib::ClientImpl> c;
        if (https) {
            auto ssl = std::make_unique<httplib::SSLClient>("127.0.0.1", m_server->HttpsPort());
            ssl->set_ca_cert_path(m_server->CertPath().c_str());
            ssl->enable_server_certificate_verification(true);
            c = std::move(ssl);
        } else {
            c = std::make_unique<httplib::ClientImpl>("127.0.0.1", m_server->HttpPort());
        }
        c->set_read_timeout(10, 0);
        httplib::Result r = c->Get(target.c_str(), headers);
        Page p;
        if (!r) return p;
        p.status = r->status;
        p.body = r->body;
        p.headers = r->headers;
        for (const auto& [k, v] : r->headers) {
            if (k != "Set-Cookie") continue;
            std::string pair = v.substr(0, v.find(';'));
            size_t eq = pair.find('=');
            std::string name = pair.substr(0, eq), value = pair.substr(eq + 1);
            // An expiry in 1970 removes the cookie (look at the attributes only:
            // a random token may well hold "1970").
            if (value.empty() || v.find("1970", v.find(';')) != std::string::npos)
                m_jar.erase(name);
            else
                m_jar[name] = value;
        }
        return p;
    }

    // The control API takes changes only as JSON (and only for its own Host,
    // which the client sends as 127.0.0.1:port).
    inline static const httplib::Headers kJsonHeaders = {{"Content-Type", "application/json"}};
    bx::Json Control(const std::string& method, const std::string& path,
                     const std::string& body = "") {
        httplib::Client c("127.0.0.1", m_server->HttpPort());
        httplib::Result r = method == "GET"      ? c.Get(path.c_str())
                            : method == "DELETE" ? c.Delete(path.c_str(), kJsonHeaders)
                                                 : c.Post(path.c_str(), body, "application/json");
        EXPECT_TRUE(r) << method << " " << path;
        if (!r) return {};
        EXPECT_EQ(r->status, 200) << path << ": " << r->body;
        auto j = bx::Json::Parse(r->body);
        EXPECT_TRUE(j) << r->body;
        return j ? *j : bx::Json();
    }

    std::string AddItem(const std::string& json) {
        return Control("POST", "/_control/items", json).Get("number")->AsString();
    }
    bx::Json ItemState(const std::string& number) {
        return Control("GET", "/_control/items/" + number);
    }
    void Account(const std::string& user, const std::string& password,
                 const std::string& extra = "") {
        Control("POST", "/_control/accounts",
                "{\"user\":\"" + user + "\",\"password\":\"" + password + "\"" + extra + "}");
    }
    void Competitor(const std::string& item, const std::string& user, double max) {
        Control("POST", "/_control/bid",
                "{\"item\":\"" + item + "\",\"user\":\"" + user +
                    "\",\"max\":" + std::to_string(max) + "}");
    }

    rules::Item Parse(const std::string& number, const std::string& savedUser = "") {
        Page p = Get("/ws/eBayISAPI.dll?ViewItem&item=" + number);
        rules::Item it;
        EXPECT_TRUE(rules::ParseItemPage(rules::StripTags(p.body), it, savedUser)) << p.body;
        return it;
    }

    // The bid engine's conversation, request by request, as the client makes it.
    std::string PlaceBid(const std::string& item, const std::string& user,
                         const std::string& password, const std::string& bid,
                         std::string* lastPage = nullptr) {
        Get("/ws/eBayISAPI.dll?SignIn", true);
        Page signin =
            Get("/ws/eBayISAPI.dll?co_partnerid=2&siteid=0&UsingSSL=1"
                "&MfcISAPICommand=SignInWelcome&ru=&pp=&pa1=&pa2=&pa3=&i1=-1&pageType=-1&userid=" +
                    user + "&pass=" + password,
                true);
        if (rules::Contains(signin.body, "Your sign in information is not valid"))
            return "Username and Password is invalid.";
        Page form = Get(
            "/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&uiid=-519273846&co_partnerid=&item=" + item +
            "&maxbid=" + Encode(bid));
        if (rules::Contains(form.body, "The following must be corrected before continuing:"))
            return rules::OfferErrorText(form.body);
        std::string key = rules::GetHiddenField(form.body, "key");
        std::string uiid = rules::GetHiddenField(form.body, "uiid");
        std::string pass = rules::GetHiddenField(form.body, "pass");
        std::string trimmed = bid;
        while (!trimmed.empty() &&
               (std::isalpha(static_cast<unsigned char>(trimmed[0])) || trimmed[0] == '$'))
            trimmed.erase(0, 1);
        Page answer =
            Get("/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&javascriptenabled=1&mode=1&maxbid=" +
                Encode(trimmed) + "&Item=" + item + "&key=" + key + "&user=" + user +
                "&pass=" + pass + "&uiid=" + uiid + "&quant=1");
        if (lastPage) *lastPage = answer.body;
        return rules::Classify(answer.body, user);
    }

    // The client sends values as they are; only a blank cannot travel raw.
    static std::string Encode(const std::string& s) {
        std::string out;
        for (char c : s) out += c == ' ' ? std::string("%20") : std::string(1, c);
        return out;
    }

    bexora::test::TempDir m_dir;  // settings and cookie jar of the client side

    std::unique_ptr<bx::Site> m_site;
    std::unique_ptr<bx::Server> m_server;
    std::map<std::string, std::string> m_jar;
};
