// auction-site: the local stand-in for the auction site. Prints
// "http=PORT https=PORT" once both servers listen, and runs until SIGINT or
// SIGTERM.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "Server.h"
#include "Site.h"

using namespace bexora::auction;

static void Usage(FILE* to) {
    std::fprintf(to,
                 "usage: auction-site [options]\n"
                 "  --http-port N       HTTP port (default: a free one)\n"
                 "  --https-port N      HTTPS port (default: a free one)\n"
                 "  --settings-out FILE write a client settings file pointing at this site\n"
                 "  --data-dir DIR      where the certificate and key go\n"
                 "  --seed N            make generated items and competitors reproducible\n"
                 "  --demo              start with the demo catalogue and the account demo/demo\n"
                 "  --threads N         worker threads per server (default 64)\n"
                 "  --layout N          1: the classic pages (default); 2: the redesigned\n"
                 "                      pages at their new addresses\n");
}

int main(int argc, char** argv) {
    ServerOptions options;
    std::optional<uint64_t> seed;
    bool demo = false;
    int layout = 1;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "auction-site: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        auto number = [&]() -> long long {
            std::string v = value();
            char* end = nullptr;
            long long n = std::strtoll(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0) {
                std::fprintf(stderr, "auction-site: %s needs a number, not \"%s\"\n", arg.c_str(),
                             v.c_str());
                std::exit(2);
            }
            return n;
        };
        if (arg == "--http-port")
            options.httpPort = static_cast<int>(number());
        else if (arg == "--https-port")
            options.httpsPort = static_cast<int>(number());
        else if (arg == "--settings-out")
            options.settingsOut = value();
        else if (arg == "--data-dir")
            options.dataDir = value();
        else if (arg == "--seed")
            seed = static_cast<uint64_t>(number());
        else if (arg == "--threads")
            options.threads = static_cast<int>(number());
        else if (arg == "--layout") {
            layout = static_cast<int>(number());
            if (layout != 1 && layout != 2) {
                std::fprintf(stderr, "auction-site: --layout is 1 or 2\n");
                return 2;
            }
        } else if (arg == "--demo")
            demo = true;
        else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "auction-site: unknown option %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    // The signals are taken by sigwait below; every thread started from
    // here on inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Site site(seed);
    site.SetLayout(layout);
    if (demo) site.LoadDemo();
    Server server(site);
    std::string error;
    if (!server.Start(options, &error)) {
        std::fprintf(stderr, "auction-site: %s\n", error.c_str());
        return 1;
    }
    std::printf("http=%d https=%d\n", server.HttpPort(), server.HttpsPort());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&signals, &sig);
    server.Stop();
    return 0;
}
