#pragma once
// The local auction site in-process on free ports, with the client's
// settings pointed at it, a private cookie jar, and the current directory
// moved into a fresh folder (the bid flow writes its page files there).

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Json.h"
#include "Server.h"
#include "Site.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "site/CookieStore.h"
#include "site/PageFetch.h"
#include "site/SiteTime.h"
#include "support/TempDir.h"

namespace bexora::test {

namespace bx = bexora::auction;

class LocalSite {
public:
    LocalSite() {
        m_site = std::make_unique<bx::Site>(42);
        m_server = std::make_unique<bx::Server>(*m_site);
        bx::ServerOptions o;
        o.threads = 8;
        o.settingsOut = m_dir.File("settings.ini");
        std::string error;
        m_ok = m_server->Start(o, &error);
        EXPECT_TRUE(m_ok) << error;
        SetSettingsPath(o.settingsOut);
        CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
        CCookieStore::Instance().Clear();
        FixClockOffset(0);  // item pages then need no time page
        char cwd[4096];
        m_oldCwd = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
        MakeDirs(m_dir.File("work"));
        EXPECT_EQ(chdir(m_dir.File("work").c_str()), 0);
    }
    ~LocalSite() {
        if (chdir(m_oldCwd.c_str()) != 0) { /* the folder goes anyway */ }
        m_server.reset();
        m_site.reset();
        FixClockOffset(std::nullopt);
    }

    bool Ok() const { return m_ok; }
    const std::string& Dir() const { return m_dir.Path(); }
    std::string WorkFile(const std::string& name) const { return m_dir.File("work/" + name); }
    std::string SettingsFile() const { return m_dir.File("settings.ini"); }
    bx::Site& Site() { return *m_site; }

    bx::Json Control(const std::string& method, const std::string& path, const std::string& body = "{}") {
        int status = 0;
        bx::Json j = m_site->Control(method, path, body, status);
        EXPECT_EQ(status, 200) << method << " " << path << " " << body << ": " << j.Dump();
        return j;
    }
    std::string AddItem(const std::string& json) {
        bx::Json j = Control("POST", "/_control/items", json);
        const bx::Json* n = j.Get("number");
        return n ? n->AsString() : "";
    }
    void Account(const std::string& user, const std::string& password, const std::string& extra = "") {
        bx::Json a = bx::Json::Object();
        a["user"] = user;
        a["password"] = password;
        std::string body = a.Dump();
        if (!extra.empty()) body = body.substr(0, body.size() - 1) + "," + extra + "}";
        Control("POST", "/_control/accounts", body);
    }
    void Fault(const std::string& json) { Control("POST", "/_control/faults", json); }
    void ClearFaults() { Control("DELETE", "/_control/faults"); }
    void ClearLog() { Control("DELETE", "/_control/log"); }
    // Request targets in the order the site received them.
    std::vector<std::string> Log() {
        std::vector<std::string> out;
        bx::Json list = Control("GET", "/_control/log");
        for (const bx::Json& e : list.Items()) out.push_back(e.Get("target")->AsString());
        return out;
    }
    size_t CountLog(const std::string& part) {
        size_t n = 0;
        for (const std::string& t : Log()) n += t.find(part) != std::string::npos;
        return n;
    }
    // Waits (up to timeoutMs) until a request containing part was received.
    bool WaitForRequest(const std::string& part, int timeoutMs = 5000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < end) {
            if (CountLog(part)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }

private:
    TempDir m_dir;
    std::string m_oldCwd;
    std::unique_ptr<bx::Site> m_site;
    std::unique_ptr<bx::Server> m_server;
    bool m_ok = false;
};

// Targets of the four requests of a bid.
constexpr const char* kSignInPageStep = "?SignIn";
constexpr const char* kSignInStep = "SignInWelcome";
constexpr const char* kOfferFormStep = "MakeBid&uiid";
constexpr const char* kConfirmStep = "mode=1";

}  // namespace bexora::test
