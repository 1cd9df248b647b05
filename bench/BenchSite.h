#pragma once
// The local auction site a scenario benchmark runs against: started in this
// process on free ports, with the program's settings file, cookie jar and
// bid page files in a private folder.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../tests/support/TempDir.h"
#include "Json.h"
#include "Server.h"
#include "Site.h"
#include "base/Settings.h"
#include "site/CookieStore.h"

namespace bexora::bench {

namespace bx = bexora::auction;

// A control request; false, after saying why, unless the site answered 200.
inline bool Control(bx::Site& site, const std::string& method, const std::string& path,
                    const std::string& body, bx::Json* out = nullptr) {
    int status = 0;
    bx::Json j = site.Control(method, path, body, status);
    if (out) *out = j;
    if (status != 200)
        std::fprintf(stderr, "control %s %s: %s\n", method.c_str(), path.c_str(), j.Dump().c_str());
    return status == 200;
}

class CBenchSite {
public:
    CBenchSite(uint64_t seed, int threads) : m_site(seed), m_server(m_site), m_threads(threads) {}

    // Starts the site and points the program at it; false after a message.
    bool Start() {
        bx::ServerOptions options;
        options.threads = m_threads;
        options.settingsOut = m_dir.File("settings.ini");
        std::string error;
        if (!m_server.Start(options, &error)) {
            std::fprintf(stderr, "cannot start the site: %s\n", error.c_str());
            return false;
        }
        SetSettingsPath(options.settingsOut);
        CCookieStore::Instance().SetJarPath(m_dir.File("cookies.txt"));
        return chdir(m_dir.Path().c_str()) == 0;  // the bid page files go there
    }

    bx::Site& Site() { return m_site; }
    test::TempDir& Dir() { return m_dir; }

private:
    test::TempDir m_dir;
    bx::Site m_site;
    bx::Server m_server;
    int m_threads;
};

}  // namespace bexora::bench
