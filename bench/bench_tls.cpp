// Fresh HTTPS connections to the local site with its certificate trusted
// through CAFile (the system's bundle plus the extra file, handed to curl as
// one text), against the same trust the system's own way: no CAFile, and a
// bundle file that holds the system's certificates and the site's. The
// ratio shows what trusting an extra CA file costs a new connection.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "Server.h"
#include "Site.h"
#include "base/AtomicFile.h"
#include "base/Settings.h"
#include "site/CookieStore.h"
#include "site/PageFetch.h"
#include "../tests/support/TempDir.h"

namespace {

constexpr int kFetches = 100;
constexpr int kRounds = 5;

// Milliseconds for kFetches fetches, each on a new connection.
double FreshFetches(const std::string& url) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kFetches; ++i) {
        std::string page;
        bexora::FetchPage(url, page);
        if (page.find("Sign") == std::string::npos) {
            std::fprintf(stderr, "bench_tls: the sign-in page did not come\n");
            return -1;
        }
        bexora::CloseThreadConnections();
    }
    std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start;
    return ms.count();
}

}  // namespace

int main() {
    bexora::test::TempDir dir;
    bexora::auction::Site site(1);
    bexora::auction::Server server(site);
    bexora::auction::ServerOptions options;
    options.threads = 4;
    options.settingsOut = dir.File("settings.ini");
    std::string error;
    if (!server.Start(options, &error)) {
        std::fprintf(stderr, "bench_tls: cannot start the site: %s\n", error.c_str());
        return 1;
    }
    bexora::SetSettingsPath(options.settingsOut);
    bexora::CCookieStore::Instance().SetJarPath(dir.File("cookies.txt"));
    const std::string url = server.HttpsBase() + "/ws/eBayISAPI.dll?SignIn";

    const std::string system = "/etc/ssl/certs/ca-certificates.crt";
    std::string bundle, cert;
    if (!bexora::ReadWholeFile(system, bundle) || !bexora::ReadWholeFile(server.CertPath(), cert)) {
        std::fprintf(stderr, "bench_tls: needs %s\n", system.c_str());
        return 1;
    }
    const std::string both = dir.File("bundle.pem");
    bexora::AtomicWriteFile(both, bundle + "\n" + cert);

    // The two take turns, so that the machine's load falls on both alike;
    // the best round of each counts.
    double caFile = 1e18, systemOnly = 1e18;
    for (int round = 0; round < kRounds; ++round) {
        bexora::Settings().WriteString(bexora::setting::SiteCaFile, server.CertPath());
        bexora::SetSystemCaLocations(system, "");
        caFile = std::min(caFile, FreshFetches(url));
        bexora::Settings().WriteString(bexora::setting::SiteCaFile, "");
        bexora::SetSystemCaLocations(both, "");
        systemOnly = std::min(systemOnly, FreshFetches(url));
    }
    bexora::SetSystemCaLocations("", "");
    if (caFile <= 0 || systemOnly <= 0) return 1;
    std::printf("ratio CAFile / system bundle holding the same certificate = %.2f "
                "(%d fresh HTTPS fetches: %.1f ms vs %.1f ms)\n",
                caFile / systemOnly, kFetches, caFile, systemOnly);
    return 0;
}
