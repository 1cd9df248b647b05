// The program on a private D-Bus: desktop notifications, logind's sleep lock
// and its wake-up signal, against fake services that record what they were
// asked; the runner's unit file; the progress line on a terminal.

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>

#include "bidding/SiteHarness.h"
#include "listview/ListHarness.h"
#include "listview/SleepGuard.h"
#include "session/DesktopNotifier.h"
#include "session/LogindInhibitor.h"
#include "support/RunProcess.h"
#include "support/SessionBus.h"

namespace bexora::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

TEST(DesktopNotifierTest, ANotificationCarriesTitleTextAndUrgency) {
    PrivateBus bus;
    ASSERT_TRUE(bus.Ok());
    FakeServices services(bus.Address());
    ASSERT_TRUE(services.Ok());
    CDesktopNotifier notifier;
    ASSERT_TRUE(FakeServices::WaitFor([&] { return notifier.Available(); }));
    // 0x80 is the euro sign in the program's code page.
    EXPECT_TRUE(notifier.Notify("Bid Wins", "Item: 7 for \x80 5", UrgencyOfLevel(3)));
    ASSERT_TRUE(FakeServices::WaitFor([&] { return services.Notifications().size() == 1; }));
    Notification n = services.Notifications()[0];
    EXPECT_EQ(n.app, "Bexora");
    EXPECT_EQ(n.summary, "Bid Wins");
    EXPECT_EQ(n.body, "Item: 7 for \xE2\x82\xAC 5");
    EXPECT_EQ(n.urgency, 2);
    EXPECT_TRUE(FakeServices::WaitFor([&] { return notifier.LastId() == 1; }));
}

TEST(DesktopNotifierTest, NoServiceNoBusNoNoise) {
    // Once the first look has found nothing, nothing is asked for.
    for (bool busThere : {true, false}) {
        SCOPED_TRACE(busThere ? "no services" : "no bus");
        std::unique_ptr<PrivateBus> bus;
        std::unique_ptr<FakeServices> services;
        if (busThere) {  // else both addresses lead nowhere
            bus = std::make_unique<PrivateBus>();
            services = std::make_unique<FakeServices>(bus->Address(), false, false);
        }
        CDesktopNotifier notifier;
        EXPECT_TRUE(FakeServices::WaitFor(
            [&] { return !notifier.Notify("t", "x", NoticeUrgency::Normal); }));
        EXPECT_FALSE(notifier.Available());
        CLogindInhibitor lock;
        lock.Take("why");
        EXPECT_TRUE(FakeServices::WaitFor([&] { return !lock.Take("why"); }));
        EXPECT_EQ(lock.Mode(), "");
    }
}

// A bus that takes the connection and never says a word (a hung
// dbus-daemon), or a bus whose notification service and logind own their
// names and never read their calls.
struct Silence {
    explicit Silence(bool hungBus) {
        if (hungBus) {
            m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", m_dir.File("bus").c_str());
            m_ok = bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                   listen(m_fd, 64) == 0;  // and never accepted
            const std::string address = "unix:path=" + m_dir.File("bus");
            setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
            setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
            return;
        }
        m_bus = std::make_unique<PrivateBus>();
        sd_bus_new(&m_owner);
        sd_bus_set_address(m_owner, m_bus->Address().c_str());
        sd_bus_set_bus_client(m_owner, 1);
        m_ok = sd_bus_start(m_owner) >= 0 &&
               sd_bus_request_name(m_owner, "org.freedesktop.Notifications", 0) >= 0 &&
               sd_bus_request_name(m_owner, "org.freedesktop.login1", 0) >= 0;
    }
    ~Silence() {
        if (m_owner) sd_bus_close_unref(m_owner);
        if (m_fd >= 0) close(m_fd);
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bexora-test-bus", 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bexora-test-bus", 1);
    }
    TempDir m_dir;
    int m_fd = -1;
    std::unique_ptr<PrivateBus> m_bus;
    sd_bus* m_owner = nullptr;
    bool m_ok = false;
};

int64_t MsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

// The calls are made from the list's UI thread (the tick): a bus or a
// service that does not answer must not stop the ticks, or a snipe due
// meanwhile is lost.
TEST(SessionBusTest, AHungBusOrServiceNeverHoldsTheCallersThread) {
    for (bool hungBus : {true, false}) {
        SCOPED_TRACE(hungBus ? "the bus never answers" : "the services never answer");
        Silence silence(hungBus);
        ASSERT_TRUE(silence.m_ok);
        int64_t slowest = 0, total = 0;
        auto timed = [&](const std::function<void()>& call) {
            const auto start = SteadyClock::now();
            call();
            const int64_t ms = MsSince(start);
            slowest = std::max(slowest, ms);
            total += ms;
        };
        const auto start = SteadyClock::now();
        {
            CDesktopNotifier notifier;
            CLogindInhibitor logind;
            logind.WatchSleep([](bool) {});
            // Ticks past the calls' own time-outs, so the answers that
            // never come are given up meanwhile.
            for (int tick = 0; tick < 36; ++tick) {
                timed([&] {
                    notifier.Available();
                    notifier.Notify("Bid Wins", "Item: " + std::to_string(tick), NoticeUrgency::Normal);
                    notifier.LastId();
                    logind.Process();
                    if (tick % 10 == 0) logind.Take("Bid on item " + std::to_string(tick));
                    if (tick % 10 == 5) logind.Release();
                });
                if (slowest > 1000) break;  // held: the rest would only take longer
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            timed([&] { logind.Release(); });
        }
        EXPECT_LT(slowest, 20) << "total " << total << " ms";
        // Closing does not wait on the silence either.
        EXPECT_LT(MsSince(start), 36 * 50 + 1500);
    }
}

// The session bus restarted (the user logged in again, the daemon crashed):
// the next notification and the next lock go to the new bus, and the wake-up
// signal is heard there too.
TEST(SessionBusTest, ARestartedBusIsUsedAgain) {
    CDesktopNotifier notifier;
    CLogindInhibitor logind;
    std::vector<bool> told;
    logind.WatchSleep([&](bool sleeping) { told.push_back(sleeping); });
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        PrivateBus bus;
        FakeServices services(bus.Address());
        ASSERT_TRUE(services.Ok());
        ASSERT_TRUE(FakeServices::WaitFor([&] { return notifier.Available(); }));
        notifier.Notify("Bid Wins", "round " + std::to_string(round), NoticeUrgency::Normal);
        EXPECT_TRUE(FakeServices::WaitFor([&] {
            notifier.Process();
            return services.Notifications().size() == 1;
        }));
        logind.Take("round " + std::to_string(round));
        ASSERT_TRUE(FakeServices::WaitFor([&] { return services.Inhibitions().size() == 1; }));
        EXPECT_EQ(services.Inhibitions()[0].why, "round " + std::to_string(round));
        // The subscription went before the lock on the one connection.
        services.PrepareForSleep(false);
        EXPECT_TRUE(FakeServices::WaitFor([&] {
            logind.Process();
            return told.size() == size_t(round + 1);
        }));
        logind.Release();
        EXPECT_TRUE(FakeServices::WaitFor([&] { return services.Inhibitions()[0].Released(); }));
    }
}

class SleepLockTest : public ListTest {};

// logind waits for a "delay" lock before it suspends (InhibitDelayMaxSec):
// once the list is saved the lock is let go, so the machine sleeps at once,
// and after the wake it is taken again while the bid is still near.
TEST_F(SleepLockTest, TheLockGoesForTheSleepOnceTheListIsSavedAndComesBackOnWaking) {
    PrivateBus bus;
    FakeServices services(bus.Address());
    ASSERT_TRUE(services.Ok());
    CItem& item = Add("4711", 3600, "$20.00");
    Schedule(item, "$20.00", Now() + 5 * 60);
    Start();
    CLogindInhibitor logind;
    CSleepGuard guard(logind);
    std::vector<std::string> told;
    logind.WatchSleep([&](bool sleeping) {
        told.push_back(sleeping ? "sleep" : "wake");
        // While the list is saved, the lock still holds the machine.
        if (sleeping) {
            EXPECT_FALSE(services.Inhibitions().back().Released());
            m_core->SaveDocument();
        }
    });
    guard.Update({m_core.get()});
    ASSERT_TRUE(FakeServices::WaitFor([&] { return services.Inhibitions().size() == 1; }));
    auto until = [&](const std::function<bool()>& pred) {
        return FakeServices::WaitFor([&] {
            logind.Process();
            return pred();
        });
    };
    for (int cycle = 0; cycle < 2; ++cycle) {
        SCOPED_TRACE(cycle);
        const size_t before = services.Inhibitions().size();
        services.PrepareForSleep(true);
        EXPECT_TRUE(until([&] { return services.Inhibitions().back().Released(); }));
        EXPECT_EQ(told.back(), "sleep");
        // Cancelled while the machine was going down: nothing to take again.
        if (cycle == 1) guard.Release();
        services.PrepareForSleep(false);
        ASSERT_TRUE(until([&] { return told.back() == "wake"; }));
        if (cycle == 0) {
            ASSERT_TRUE(until([&] { return services.Inhibitions().size() == before + 1; }));
            std::vector<Inhibition> held = services.Inhibitions();
            EXPECT_EQ(held.back().why, held.front().why);
            EXPECT_EQ(held.back().mode, "block");
            EXPECT_FALSE(held.back().Released());
            EXPECT_TRUE(guard.Held());
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            logind.Process();
            EXPECT_EQ(services.Inhibitions().size(), before);
        }
    }
    EXPECT_EQ(told, (std::vector<std::string>{"sleep", "wake", "sleep", "wake"}));
}

TEST_F(SleepLockTest, ASnipeFiveMinutesAwayTakesLogindsLockACancelReleasesIt) {
    PrivateBus bus;
    FakeServices services(bus.Address());
    ASSERT_TRUE(services.Ok());
    CItem& item = Add("4711", 3600, "$20.00");
    Schedule(item, "$20.00", Now() + 5 * 60);
    Start();
    CLogindInhibitor logind;
    CSleepGuard guard(logind);
    guard.Update({m_core.get()});
    ASSERT_TRUE(guard.Held());
    ASSERT_TRUE(FakeServices::WaitFor([&] { return logind.Mode() == "block"; }));
    std::vector<Inhibition> held = services.Inhibitions();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].what, "sleep");
    EXPECT_EQ(held[0].who, "Bexora");
    EXPECT_EQ(held[0].why, "Bid on item 4711 due at " + FormatClockTime(item.m_tBidTime));
    EXPECT_EQ(held[0].mode, "block");
    EXPECT_FALSE(held[0].Released());

    m_core->SelectItems({"4711"});
    m_core->OnCancelPendingBid();
    guard.Update({m_core.get()});
    EXPECT_FALSE(guard.Held());
    EXPECT_TRUE(FakeServices::WaitFor([&] { return services.Inhibitions()[0].Released(); }));
}

TEST_F(SleepLockTest, AWakeFromLogindReadsTheClockAndPlacesTheLateSnipe) {
    PrivateBus bus;
    FakeServices services(bus.Address());
    ASSERT_TRUE(services.Ok());
    CItem& item = Add("4711", 3600, "$20.00");
    Schedule(item, "$20.00", Now() + 300);
    Start();
    int clockReads = 0;
    m_core->SetClockOffsetSource([&](bool refresh) {
        clockReads += refresh;
        return int64_t(0);
    });
    CLogindInhibitor logind;
    std::vector<bool> told;
    logind.WatchSleep([&](bool sleeping) {
        told.push_back(sleeping);
        if (!sleeping) m_core->NoteWake();
    });
    ASSERT_TRUE(FakeServices::WaitFor([&] { return logind.Watching(); }));  // before the signals go
    Tick();
    services.PrepareForSleep(true);
    m_clock.Advance(400);  // asleep past the bid's moment
    services.PrepareForSleep(false);
    ASSERT_TRUE(FakeServices::WaitFor([&] {
        logind.Process();
        return told.size() == 2;
    }));
    EXPECT_EQ(told, (std::vector<bool>{true, false}));
    Tick();
    EXPECT_EQ(clockReads, 1);
    ASSERT_EQ(m_jobs.bids.size(), 1u);
    bool lateNotice = false;
    for (const auto& n : m_front.notices)
        lateNotice |=
            n.first.rfind("Bid late:4711 The computer was asleep", 0) == 0 && n.second == 3;
    EXPECT_TRUE(lateNotice) << ::testing::PrintToString(NoticeTexts());
}

// ---- bexora-cli ----

class RunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_site.Ok());
        setenv("XDG_DATA_HOME", m_site.Dir().c_str(), 1);
        setenv("TZ", "UTC", 1);
        m_site.Account("pat", "secret");
        m_list = m_site.WorkFile("snipes.bid");
    }
    ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--settings", m_site.SettingsFile()});
        return RunProcess(BEXORA_CLI, args);
    }
    LocalSite m_site;
    std::string m_list;
};

TEST_F(RunnerTest, AWinIsOneDesktopNotificationWithTheBalloonsText) {
    PrivateBus bus;
    FakeServices services(bus.Address());
    ASSERT_TRUE(services.Ok());
    std::string item = m_site.AddItem("{\"title\":\"Brass desk lamp\",\"price\":5,\"ends_in\":4}");
    ASSERT_EQ(Cli({"add", m_list, item}).status, 0);
    auto bid = Cli({"bid", m_list, item, "--max", "20", "--before", "0:0:2", "--user", "pat",
                    "--password", "secret"});
    ASSERT_EQ(bid.status, 0) << bid.out << bid.err;
    auto run = Cli({"run", m_list, "--for", "7", "--notify"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_NE(
        run.out.find("balloon Bid Wins | Item: " + item + " Congratulations."),
        std::string::npos)
        << run.out;
    std::vector<Notification> sent = services.Notifications();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].summary, "Bid Wins");
    EXPECT_EQ(sent[0].body, "Item: " + item + " Congratulations.");
    EXPECT_EQ(sent[0].urgency, 1);
    // The snipe was near for the whole run: the lock was taken, and given
    // back when the program ended.
    std::vector<Inhibition> held = services.Inhibitions();
    ASSERT_GE(held.size(), 1u);
    EXPECT_NE(held[0].why.find("item " + item), std::string::npos) << held[0].why;
    for (const auto& h : held) EXPECT_TRUE(h.Released());
}

TEST_F(RunnerTest, WithoutAnyBusTheRunnerWorksAndSaysNothingOfIt) {
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bexora-test-bus", 1);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bexora-test-bus", 1);
    std::string item = m_site.AddItem("{\"title\":\"Lamp\",\"price\":5,\"ends_in\":600}");
    ASSERT_EQ(Cli({"add", m_list, item}).status, 0);
    auto bid = Cli({"bid", m_list, item, "--max", "20", "--before", "0:5:0", "--user", "pat",
                    "--password", "secret"});
    ASSERT_EQ(bid.status, 0);
    auto run = Cli({"run", m_list, "--for", "1.5", "--notify"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

// The runner under a service manager: READY once the list is open, the
// watchdog pinged while it runs, STOPPING on the way out.
TEST_F(RunnerTest, TellsTheServiceManagerItIsReadyAndAlive) {
    TempDir dir;
    const std::string path = dir.File("notify");
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::string item = m_site.AddItem("{\"title\":\"Lamp\",\"price\":5,\"ends_in\":600}");
    ASSERT_EQ(Cli({"add", m_list, item}).status, 0);
    setenv("NOTIFY_SOCKET", path.c_str(), 1);
    setenv("WATCHDOG_USEC", "2000000", 1);  // a ping at least every second
    auto run = Cli({"run", m_list, "--for", "3"});
    unsetenv("NOTIFY_SOCKET");
    unsetenv("WATCHDOG_USEC");
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<std::string> said;
    char buf[1024];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) break;
        said.emplace_back(buf, n);
    }
    close(fd);
    ASSERT_GE(said.size(), 4u) << ::testing::PrintToString(said);
    EXPECT_EQ(said.front().rfind("READY=1\n", 0), 0u) << said.front();
    EXPECT_EQ(said.back(), "STOPPING=1");
    size_t pings = 0;
    for (const auto& s : said) pings += s == "WATCHDOG=1";
    EXPECT_GE(pings, 2u) << ::testing::PrintToString(said);
}

// A list name resolved in the work folder, as the user unit passes it.
TEST_F(RunnerTest, TheUnitsListNameIsFoundInTheWorkFolder) {
    ASSERT_EQ(Cli({"config", "set", "Program Start", "Work Dir", m_site.WorkFile("")}).status, 0);
    std::string item = m_site.AddItem("{\"title\":\"Lamp\",\"price\":5,\"ends_in\":600}");
    ASSERT_EQ(Cli({"add", m_list, item}).status, 0);
    auto run = Cli({"run", "--in-work-dir", "snipes", "--for", "0.5"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Cli({"run", "--in-work-dir", "../x", "--for", "0"}).status, 2);
    EXPECT_EQ(Cli({"config", "get", "Update Interval", "Keep awake Min"}).out, "10\n");
}

// Runs bexora-cli with a terminal as its standard output and error.
std::string OnTerminal(const std::vector<std::string>& args) {
    // Made before the fork: the child of a threaded process must not allocate.
    std::vector<char*> argv{const_cast<char*>(BEXORA_CLI)};
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        execv(BEXORA_CLI, argv.data());
        _exit(127);
    }
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;  // EIO once the child has gone
        out.append(buf, n);
    }
    close(master);
    waitpid(pid, nullptr, 0);
    return out;
}

TEST_F(RunnerTest, ManyFetchesShowProgressOnATerminalOnly) {
    std::vector<std::string> items;
    for (int i = 0; i < 3; ++i)
        items.push_back(m_site.AddItem("{\"title\":\"Lamp\",\"price\":5,\"ends_in\":600}"));
    std::vector<std::string> add = {"--settings", m_site.SettingsFile(), "add", m_list};
    add.insert(add.end(), items.begin(), items.end());
    std::string shown = OnTerminal(add);
    EXPECT_NE(shown.find("Adding 3 of 3"), std::string::npos) << shown;
    std::string refreshed = OnTerminal({"--settings", m_site.SettingsFile(), "refresh", m_list});
    EXPECT_NE(refreshed.find("Refreshing 3 of 3"), std::string::npos) << refreshed;
    EXPECT_NE(refreshed.find(items[2] + "\t"), std::string::npos) << "the result lines still come";
    EXPECT_EQ(OnTerminal({"--settings", m_site.SettingsFile(), "refresh", m_list, "--quiet"})
                  .find("Refreshing"),
              std::string::npos);
    // Piped: nothing of it.
    auto piped = Cli({"refresh", m_list});
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.err.find("Refreshing"), std::string::npos);
    EXPECT_EQ(piped.out.find("Refreshing"), std::string::npos);
}

TEST(UnitFileTest, PassesSystemdAnalyzeVerify) {
    if (system("command -v systemd-analyze >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no systemd-analyze";
    TempDir dir;
    std::ifstream in(BEXORA_UNIT);
    std::stringstream text;
    text << in.rdbuf();
    // The unit names the installed program; here it is the one just built.
    std::string unit = std::regex_replace(text.str(), std::regex("ExecStart=bexora-cli"),
                                          std::string("ExecStart=") + BEXORA_CLI);
    ASSERT_NE(unit.find("Type=notify"), std::string::npos);
    std::ofstream(dir.File("bexora-run@.service")) << unit;
    mkdir(dir.File("run").c_str(), 0700);
    const std::string cmd = "cd " + dir.Path() + " && XDG_RUNTIME_DIR=" + dir.File("run") +
                            " systemd-analyze --user verify ./bexora-run@auctions.service > " +
                            dir.File("out") + " 2>&1";
    int status = system(cmd.c_str());
    std::ifstream outFile(dir.File("out"));
    std::stringstream out;
    out << outFile.rdbuf();
    EXPECT_EQ(status, 0) << out.str();
    EXPECT_EQ(out.str(), "") << "warnings count too";
}

}  // namespace
}  // namespace bexora::test
