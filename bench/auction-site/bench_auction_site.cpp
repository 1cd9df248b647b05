// How fast the local auction site serves item pages: 8 keep-alive clients
// fetch item pages for a few seconds, then the trivial "/ping" the same way;
// the ratio says what a page costs over the bare HTTP exchange.
//   bench_auction_site [seconds per run] [clients]

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Json.h"
#include "Server.h"
#include "Site.h"

using namespace bexora::auction;

static double Run(int port, const std::vector<std::string>& targets, double seconds, int clients,
                  long& failures) {
    std::atomic<long> done{0}, failed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < clients; ++t)
        threads.emplace_back([&, t] {
            httplib::Client c("127.0.0.1", port);
            c.set_keep_alive(true);
            for (size_t i = static_cast<size_t>(t); !stop.load(std::memory_order_relaxed); ++i) {
                auto r = c.Get(targets[i % targets.size()].c_str());
                if (r && r->status == 200)
                    done.fetch_add(1, std::memory_order_relaxed);
                else
                    failed.fetch_add(1, std::memory_order_relaxed);
            }
        });
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& th : threads) th.join();
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    failures = failed.load();
    return static_cast<double>(done.load()) / elapsed;
}

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    int clients = argc > 2 ? std::atoi(argv[2]) : 8;
    Site site(uint64_t{1});
    site.LoadDemo();  // three dozen items with bids, competitors running
    Server server(site);
    std::string error;
    if (!server.Start({}, &error)) {
        std::fprintf(stderr, "bench_auction_site: %s\n", error.c_str());
        return 1;
    }
    int status = 0;
    Json items = site.Control("GET", "/_control/items", "", status);
    std::vector<std::string> pages;
    for (const Json& i : items.Items())
        pages.push_back("/ws/eBayISAPI.dll?ViewItem&item=" + i.Get("number")->AsString());

    long pageFailures = 0, pingFailures = 0;
    Run(server.HttpPort(), pages, 0.5, clients, pageFailures);  // warm up
    double pageRate = Run(server.HttpPort(), pages, seconds, clients, pageFailures);
    double pingRate = Run(server.HttpPort(), {"/ping"}, seconds, clients, pingFailures);
    std::printf("item pages: %.0f/s with %d keep-alive clients (%zu items, %ld failed)\n", pageRate,
                clients, pages.size(), pageFailures);
    std::printf("ping:       %.0f/s (%ld failed)\n", pingRate, pingFailures);
    std::printf("ratio item page / ping: %.2f\n", pageRate / pingRate);
    std::printf("%s: at least 2000 item pages per second\n", pageRate >= 2000 ? "PASS" : "FAIL");
    return pageRate >= 2000 ? 0 : 1;
}
