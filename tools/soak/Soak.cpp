// The fault and load soak: bexora-cli run on a list of 500 items with 50
// snipes in bid groups, against the local auction site while it injects
// latency, dropped connections, stalls, 500s, redirect loops, truncated and
// oversized pages, and a skewed clock that jumps. Every save of the list is
// loaded as it appears. Prints a report; exits 1 when the run crashed or
// hung, a snipe got no result notice, or a saved list did not load.
//
//   bexora-soak --cli PATH [--seconds N] [--report FILE]

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Json.h"
#include "Server.h"
#include "Site.h"
#include "base/AtomicFile.h"
#include "base/Prompt.h"
#include "base/Settings.h"
#include "model/ebayDoc.h"
#include "reliability/ListBuilder.h"
#include "site/CookieStore.h"
#include "site/SiteTime.h"

namespace bx = bexora::auction;
using namespace bexora;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kItems = 500;
constexpr int kSnipes = 50;
constexpr int kGroupSize = 5;  // ten groups of five, each wanting two
constexpr int kGroupWanted = 2;

class CQuietPrompts : public IPromptHandler {
public:
    PromptAnswer Ask(const std::string&, PromptButtons, PromptIcon) override { return PromptAnswer::No; }
};

double WallNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct Control {
    bx::Site& site;
    bx::Json Call(const std::string& method, const std::string& path, const std::string& body = "{}") {
        int status = 0;
        bx::Json j = site.Control(method, path, body, status);
        if (status != 200) std::cerr << "soak: " << method << " " << path << " " << body << " -> " << j.Dump() << "\n";
        return j;
    }
};

// Watches the list file and loads every version that appears.
class CSaveWatcher {
public:
    explicit CSaveWatcher(std::string path) : m_path(std::move(path)) {
        m_thread = std::thread([this] { Watch(); });
    }
    ~CSaveWatcher() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    int Seen() const { return m_seen; }
    int Failed() const { return m_failed; }

private:
    void Watch() {
        struct stat last {};
        while (!m_stop) {
            struct stat st {};
            if (stat(m_path.c_str(), &st) == 0 &&
                (st.st_ino != last.st_ino || st.st_mtim.tv_nsec != last.st_mtim.tv_nsec ||
                 st.st_mtim.tv_sec != last.st_mtim.tv_sec || st.st_size != last.st_size)) {
                last = st;
                ++m_seen;
                if (test::LoadedItemCount(m_path) != kItems) ++m_failed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_seen{0}, m_failed{0};
    std::thread m_thread;
};

// One fault every second or so, of every kind the site knows, plus jumps of
// its clock. Counts what it injected.
void InjectFaults(Control& c, std::atomic<bool>& stop, std::map<std::string, int>& counts,
                  std::mutex& countsMutex) {
    std::mt19937 rng(1234);
    const std::string itemPath = "/ws/eBayISAPI.dll?ViewItem";
    const std::vector<std::string> bidPaths = {"/ws/eBayISAPI.dll?SignIn",
                                               "/ws/eBayISAPI.dll?MfcISAPICommand=MakeBid"};
    int tick = 0;
    while (!stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        ++tick;
        std::string kind, body;
        switch (rng() % 10) {
        case 0:
            kind = "latency";
            body = R"({"path":")" + itemPath + R"(","latency_ms":)" + std::to_string(rng() % 2001) +
                   R"(,"count":)" + std::to_string(1 + rng() % 5) + "}";
            break;
        case 1:
            kind = "dropped";
            body = R"({"path":")" + itemPath + R"(","drop_after_bytes":0,"count":2})";
            break;
        case 2:
            kind = "truncated";
            body = R"({"path":")" + itemPath + R"(","drop_after_bytes":700,"count":2})";
            break;
        case 3:
            // Mostly short stalls; now and then one past the client's stall time-out.
            kind = tick % 40 == 3 ? "long stall" : "stall";
            body = R"({"path":")" + itemPath + R"(","stall":true,"stall_ms":)" +
                   (tick % 40 == 3 ? "35000" : "3000") + R"(,"count":1})";
            break;
        case 4:
            kind = "500";
            body = R"({"path":")" + itemPath + R"(","status":500,"count":3})";
            break;
        case 5:
            kind = "redirect loop";
            body = R"({"path":")" + itemPath + R"(","redirect_loop":true,"count":1})";
            break;
        case 6:
            kind = tick % 3 ? "10 MB page" : "20 MB page (cut)";
            body = R"({"path":")" + itemPath + R"(","pad_bytes":)" +
                   (tick % 3 ? "10000000" : "20000000") + R"(,"count":1})";
            break;
        case 7:
            kind = "bid path latency";
            body = R"({"path":")" + bidPaths[rng() % bidPaths.size()] + R"(","latency_ms":)" +
                   std::to_string(rng() % 2001) + R"(,"count":1})";
            break;
        case 8:
            kind = "time page 503";
            body = R"({"path":"/aw-cgi/","status":503,"count":2})";
            break;
        default:
            kind = "clock jump";
            body = std::string(R"({"advance":)") + (rng() % 2 ? "2" : "-2") + "}";
            c.Call("POST", "/_control/clock", body);
            body.clear();
        }
        if (!body.empty()) c.Call("POST", "/_control/faults", body);
        std::lock_guard<std::mutex> lock(countsMutex);
        ++counts[kind];
    }
}

struct Args {
    std::string cli;
    int seconds = 120;
    std::string report;
};

bool ParseArgs(int argc, char** argv, Args& a) {
    for (int i = 1; i < argc; ++i) {
        std::string k = argv[i];
        if (i + 1 >= argc) return false;
        std::string v = argv[++i];
        if (k == "--cli") a.cli = v;
        else if (k == "--seconds") a.seconds = std::atoi(v.c_str());
        else if (k == "--report") a.report = v;
        else return false;
    }
    return !a.cli.empty() && a.seconds >= 60;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    if (!ParseArgs(argc, argv, args)) {
        std::cerr << "usage: bexora-soak --cli PATH [--seconds N>=60] [--report FILE]\n";
        return 2;
    }
    setenv("TZ", "America/Los_Angeles", 1);  // the site writes Pacific times
    tzset();
    signal(SIGPIPE, SIG_IGN);
    static CQuietPrompts prompts;
    SetPromptHandler(&prompts);

    char tmpl[] = "/tmp/bexora-soak.XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    setenv("XDG_DATA_HOME", dir.c_str(), 1);
    setenv("HOME", dir.c_str(), 1);
    if (chdir(dir.c_str()) != 0) return 1;

    bx::Site site(7);
    bx::Server server(site);
    bx::ServerOptions options;
    options.settingsOut = dir + "/Bexora.ini";
    options.threads = 32;
    std::string error;
    if (!server.Start(options, &error)) {
        std::cerr << "soak: the site does not start: " << error << "\n";
        return 1;
    }
    SetSettingsPath(options.settingsOut);
    CCookieStore::Instance().SetJarPath(dir + "/driver-cookies.txt");
    Settings().WriteInt(setting::UpdateMin, 0);
    Settings().WriteInt(setting::UpdateSec, 30);  // every item refreshed twice a minute

    Control c{site};
    c.Call("POST", "/_control/accounts", R"({"user":"soak","password":"s3cret"})");
    c.Call("POST", "/_control/clock", R"({"skew":137})");  // the site runs 137 s ahead

    // The snipes end across the run, from 40 s in to 30 s before its end;
    // the other items end in one to three days.
    const int run = args.seconds;
    const int spread = run - 70;
    test::ListPlan plan;
    plan.user = "soak";
    plan.password = "s3cret";
    std::vector<std::string> snipeNumbers;
    for (int i = 0; i < kItems; ++i) {
        bx::Json item = bx::Json::Object();
        item["title"] = "Soak item " + std::to_string(i);
        item["price"] = 5 + i % 20;
        if (i < kSnipes) {
            item["ends_in"] = 40 + (i * spread) / kSnipes + 8;
            if (i % 3 == 0) item["competitors"] = 2;
        } else {
            item["ends_in"] = 86400 + (i * 347) % (2 * 86400);
        }
        bx::Json made = c.Call("POST", "/_control/items", item.Dump());
        const bx::Json* n = made.Get("number");
        if (!n) return 1;
        plan.numbers.push_back(n->AsString());
        if (i < kSnipes) {
            test::SnipePlan s;
            s.number = n->AsString();
            s.beforeEnd = 8;
            s.maxBid = std::to_string(30 + i) + ".00";
            s.group = "group" + std::to_string(i / kGroupSize);
            s.groupWanted = kGroupWanted;
            plan.snipes.push_back(s);
            snipeNumbers.push_back(s.number);
        }
    }
    GetClockOffset(true);  // the list's bid times as the bid dialog would compute them
    const std::string list = dir + "/soak.bid";
    if (!test::BuildList(list, plan, &error)) {
        std::cerr << "soak: " << error << "\n";
        return 1;
    }
    std::map<std::string, int64_t> bidTimes;
    {
        CebayDoc doc;
        doc.OnOpenDocument(list);
        for (const auto& it : doc.Items())
            if (it->m_bBidPending) bidTimes[it->m_strItemNumber] = it->m_tBidTime;
    }
    c.Call("DELETE", "/_control/log");
    const double started = WallNow();

    // The run, its output collected as it comes.
    int out[2];
    if (pipe(out) != 0) return 1;
    // Made before the fork: the child of a threaded process must not allocate.
    const std::string forSeconds = std::to_string(run);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(out[0]);
        close(out[1]);
        execl(args.cli.c_str(), args.cli.c_str(), "--settings", options.settingsOut.c_str(), "run",
              list.c_str(), "--for", forSeconds.c_str(), "--quiet", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string output;
    std::thread reader([&] {
        char buf[65536];
        for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) output.append(buf, static_cast<size_t>(n));
    });
    CSaveWatcher watcher(list);
    std::atomic<bool> stopFaults{false};
    std::map<std::string, int> faultCounts;
    std::mutex faultMutex;
    std::thread faults([&] { InjectFaults(c, stopFaults, faultCounts, faultMutex); });

    // A run that outlives its --for by a minute has hung.
    int status = 0;
    rusage usage{};
    bool hung = false;
    const auto hangAt = Steady::now() + std::chrono::seconds(run + 60);
    for (;;) {
        pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) break;
        if (Steady::now() > hangAt) {
            hung = true;
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    stopFaults = true;
    faults.join();
    reader.join();
    close(out[0]);
    watcher.Stop();
    const double ended = WallNow();

    // What the site saw: when each snipe's offer form was asked for, and
    // whether its confirmation was sent.
    std::map<std::string, double> offerAt;
    std::map<std::string, bool> confirmed;
    size_t itemPages = 0;
    bx::Json log = c.Call("GET", "/_control/log");
    for (const bx::Json& e : log.Items()) {
        const std::string target = e.Get("target")->AsString();
        const double t = e.Get("time")->AsNumber();
        if (target.find("ViewItem") != std::string::npos) ++itemPages;
        for (const std::string& n : snipeNumbers) {
            if (target.find("MakeBid&uiid") != std::string::npos && target.find("item=" + n) != std::string::npos &&
                !offerAt.count(n))
                offerAt[n] = t;
            if (target.find("mode=1") != std::string::npos && target.find("Item=" + n + "&") != std::string::npos)
                confirmed[n] = true;
        }
    }

    // Every snipe must have a result notice: success, failure, skipped for
    // its group, or ended before it could leave.
    const std::vector<std::string> lines = Lines(output);
    int withResult = 0, onTime = 0, placed = 0, success = 0, skipped = 0;
    double worstLate = 0;
    std::vector<std::string> noResult;
    for (const std::string& n : snipeNumbers) {
        bool result = false;
        for (const std::string& l : lines) {
            if (l.find(n) == std::string::npos) continue;
            if (l.find("Bid Success: " + n) != std::string::npos) ++success, result = true;
            else if (l.find("Bid failure: " + n) != std::string::npos || l.find("Bid failed:" + n) != std::string::npos)
                result = true;
            else if (l.find("Bid skipped:" + n) != std::string::npos) ++skipped, result = true;
            // Overtaken by the price before it left: dropped, with a notice.
            else if (l.find("Bid Warning: " + n + "Pending price too low.") != std::string::npos)
                result = true;
            if (result) break;
        }
        if (result) ++withResult; else noResult.push_back(n);
        if (confirmed[n]) ++placed;
        if (offerAt.count(n)) {
            // The conversation's third request: two sign-in answers come first,
            // and either may carry up to 2 s of injected latency.
            const double late = offerAt[n] - static_cast<double>(bidTimes[n]);
            worstLate = std::max(worstLate, late);
            if (late < 1.5) ++onTime;
        }
    }

    int finalItems = test::LoadedItemCount(list);
    int updateFailed = 0;
    {
        CebayDoc doc;
        if (doc.OnOpenDocument(list))
            for (const auto& it : doc.Items()) updateFailed += it->m_bUpdateFailed != 0;
    }
    const bool exitedOk = !hung && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const bool ok = exitedOk && noResult.empty() && watcher.Failed() == 0 && finalItems == kItems;

    std::ostringstream r;
    r << "soak: " << run << " s run of bexora-cli on " << kItems << " items, " << kSnipes
      << " snipes in " << kSnipes / kGroupSize << " groups wanting " << kGroupWanted << " each\n";
    r << "  wall time              " << static_cast<int>(ended - started) << " s\n";
    r << "  run ended              " << (hung ? "HUNG (killed)" : WIFEXITED(status) ? "exit " + std::to_string(WEXITSTATUS(status)) : "signal " + std::to_string(WTERMSIG(status))) << "\n";
    r << "  peak memory            " << usage.ru_maxrss / 1024 << " MB\n";
    r << "  faults injected        ";
    for (const auto& [k, v] : faultCounts) r << k << " " << v << "; ";
    r << "\n";
    r << "  item pages requested   " << itemPages << "\n";
    r << "  refreshes lost         " << updateFailed << " items whose last refresh failed at the end\n";
    r << "  snipes with a result   " << withResult << "/" << kSnipes << " (" << success << " succeeded, " << skipped
      << " skipped by their group)\n";
    r << "  bids placed            " << placed << " confirmations reached the site\n";
    r << "  bids at their moment   " << onTime << "/" << offerAt.size()
      << " offer forms within 1.5 s of the bid time (latest " << static_cast<int>(worstLate * 1000) << " ms)\n";
    r << "  bids lost              " << noResult.size() << (noResult.empty() ? "" : " (no result notice:");
    for (const std::string& n : noResult) r << " " << n;
    r << (noResult.empty() ? "" : ")") << "\n";
    r << "  saves loaded           " << watcher.Seen() - watcher.Failed() << "/" << watcher.Seen() << "\n";
    r << "  list at the end        " << (finalItems == kItems ? "loads, all items" : "BROKEN") << "\n";
    r << "  verdict                " << (ok ? "ok" : "FAILED") << "\n";
    std::cout << r.str();
    if (!args.report.empty()) AtomicWriteFile(args.report, r.str() + "\n--- run output ---\n" + output);
    if (!ok) std::cerr << output.substr(output.size() > 20000 ? output.size() - 20000 : 0);

    server.Stop();
    std::error_code ec;
    if (ok) std::filesystem::remove_all(dir, ec);
    else std::cerr << "soak: files kept in " << dir << "\n";
    return ok ? 0 : 1;
}
