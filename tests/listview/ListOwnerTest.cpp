// The list owner and its client with real sockets and real processes: an
// owner that dies while a client waits, a socket left behind by a crash,
// and another user knocking at the door.

#include <gtest/gtest.h>
#include <signal.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "bidding/UiDispatcher.h"
#include "base/AtomicFile.h"
#include "listview/ListOwner.h"
#include "support/TempDir.h"

namespace bexora {
namespace {

using namespace std::chrono_literals;

class ListOwnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_runtime = m_dir.File("run");
        mkdir(m_runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", m_runtime.c_str(), 1);
        m_list = m_dir.File("snipes.bid");
    }

    // Runs the dispatcher on this (the UI) thread until done() or 10 s.
    static bool PumpUntil(CUiDispatcher& ui, const std::function<bool()>& done) {
        auto end = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            ui.WaitAndRunPending(10);
        }
        return true;
    }

    // A child process that owns the list and serves it with start; the
    // parent returns once the child listens.
    pid_t ForkOwner(
        const std::function<CListOwner::PollFn(const std::vector<std::string>&)>& start) {
        pid_t pid = fork();
        if (pid == 0) {
            CUiDispatcher ui;
            CListOwner owner(ui, [&](const std::vector<std::string>& argv, const std::string&) {
                return start(argv);
            });
            if (!owner.Open(m_list, "test-owner")) _exit(2);
            for (;;) ui.WaitAndRunPending(100);
        }
        for (int i = 0; i < 500 && CListLock::OwnerText(m_list).empty(); ++i)
            std::this_thread::sleep_for(10ms);
        return pid;
    }

    test::TempDir m_dir;
    std::string m_runtime;
    std::string m_list;
};

TEST_F(ListOwnerTest, AnsweredOnTheUiThreadAndOneOwnerAtATime) {
    CUiDispatcher ui;
    std::vector<std::string> seen;
    std::string seenCwd;
    int polls = 0;
    CListOwner owner(ui, [&](const std::vector<std::string>& argv, const std::string& cwd) {
        EXPECT_TRUE(ui.IsUiThread());
        seen = argv;
        seenCwd = cwd;
        // Finishes on the third look, as a bid does once its result is in.
        return CListOwner::PollFn([&](CListAnswer& a) {
            if (++polls < 3) return false;
            a.out = "out\n";
            a.err = std::string("err\0with a nul", 14);
            a.status = 7;
            return true;
        });
    });
    std::string error;
    ASSERT_TRUE(owner.Open(m_list, "bexora-cli run", &error)) << error;
    EXPECT_EQ(CListLock::OwnerText(m_list),
              "bexora-cli run (process " + std::to_string(getpid()) + ")");
    struct stat st {};
    ASSERT_EQ(stat(OwnerSocketPath(m_list).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A second owner is refused with the first one's name.
    CUiDispatcher ui2;
    CListOwner second(ui2, {});
    EXPECT_FALSE(second.Open(m_list, "other", &error));
    EXPECT_TRUE(second.LastOpenBusy());
    EXPECT_NE(error.find("is open in bexora-cli run (process"), std::string::npos) << error;

    auto sent = std::async(std::launch::async, [&] {
        CListAnswer answer;
        std::string why;
        auto r = CListClient::Send(m_list, {"note", "snipes.bid", "12", ""}, answer, why, 10000);
        return std::make_tuple(r, answer, why);
    });
    ASSERT_TRUE(PumpUntil(ui, [&] { return sent.wait_for(0s) == std::future_status::ready; }));
    auto [result, answer, why] = sent.get();
    ASSERT_EQ(result, CListClient::Result::Answered) << why;
    EXPECT_EQ(answer.out, "out\n");
    EXPECT_EQ(answer.err, std::string("err\0with a nul", 14));
    EXPECT_EQ(answer.status, 7);
    EXPECT_EQ(seen, (std::vector<std::string>{"note", "snipes.bid", "12", ""}));
    char cwd[4096];
    EXPECT_EQ(seenCwd, getcwd(cwd, sizeof cwd));

    owner.Close();
    EXPECT_NE(stat(OwnerSocketPath(m_list).c_str(), &st), 0) << "the socket goes with the owner";
    EXPECT_EQ(CListLock::OwnerText(m_list), "");
    CListLock lock;
    EXPECT_TRUE(lock.TryAcquire(m_list));
    EXPECT_TRUE(lock.Held());
}

TEST_F(ListOwnerTest, AnOwnerThatDiesMidAnswerGivesAnErrorNotAHang) {
    // The command never finishes; the owner is killed while the client waits.
    pid_t pid = ForkOwner([](const std::vector<std::string>&) {
        return CListOwner::PollFn([](CListAnswer&) { return false; });
    });
    ASSERT_GT(pid, 0);
    ASSERT_EQ(CListLock::OwnerText(m_list), "test-owner (process " + std::to_string(pid) + ")");
    auto sent = std::async(std::launch::async, [&] {
        CListAnswer answer;
        std::string why;
        auto r = CListClient::Send(m_list, {"list", m_list}, answer, why);
        return std::make_pair(r, why);
    });
    EXPECT_EQ(sent.wait_for(300ms), std::future_status::timeout) << "the owner is still at it";
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_EQ(sent.wait_for(10s), std::future_status::ready) << "the client hangs";
    auto [result, why] = sent.get();
    EXPECT_EQ(result, CListClient::Result::Failed);
    EXPECT_NE(why.find("test-owner (process " + std::to_string(pid) + ") ended before it answered"),
              std::string::npos)
        << why;

    // The crash left its socket; the lock died with the process. The next
    // command finds nobody there, takes the lock, and the socket goes.
    struct stat st {};
    EXPECT_EQ(stat(OwnerSocketPath(m_list).c_str(), &st), 0);
    CListAnswer answer;
    std::string why2;
    EXPECT_EQ(CListClient::Send(m_list, {"list", m_list}, answer, why2),
              CListClient::Result::NoOwner);
    CListLock lock;
    ASSERT_TRUE(lock.TryAcquire(m_list));
    EXPECT_TRUE(lock.Held());
    EXPECT_NE(stat(OwnerSocketPath(m_list).c_str(), &st), 0);
}

TEST_F(ListOwnerTest, AnOwnerExitingBeforeAnsweringIsAnError) {
    pid_t pid = ForkOwner([](const std::vector<std::string>&) -> CListOwner::PollFn { _exit(0); });
    ASSERT_GT(pid, 0);
    CListAnswer answer;
    std::string why;
    EXPECT_EQ(CListClient::Send(m_list, {"list", m_list}, answer, why, 10000),
              CListClient::Result::Failed);
    EXPECT_NE(why.find("ended before it answered"), std::string::npos) << why;
    waitpid(pid, nullptr, 0);
}

TEST_F(ListOwnerTest, AnotherUsersProcessIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
    CUiDispatcher ui;
    std::atomic<int> started{0};
    CListOwner owner(ui, [&](const std::vector<std::string>&, const std::string&) {
        ++started;
        return CListOwner::PollFn([](CListAnswer& a) {
            a.out = "served";
            a.status = 0;
            return true;
        });
    });
    ASSERT_TRUE(owner.Open(m_list, "bexora-cli run"));
    const std::string path = OwnerSocketPath(m_list);

    // Exit codes of the other user's try: 0 could not connect, 4 connected
    // and sent away unanswered, 2 answered, 3 could not become the other user.
    auto tryAsNobody = [&] {
        pid_t pid = fork();
        if (pid == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
            int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un addr{};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
            if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) _exit(0);
            const char request[] = "BXR1\x02\0\0\0\x01\0\0\0/\x04\0\0\0list";
            // Sent away at once: the send may already fail.
            if (send(fd, request, sizeof request - 1, MSG_NOSIGNAL) < 0) _exit(4);
            char buf[64];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            _exit(n > 0 ? 2 : 4);
        }
        int status = -1;
        // The owner's UI thread is this one: keep it turning while the child tries.
        PumpUntil(ui, [&] { return waitpid(pid, &status, WNOHANG) == pid; });
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    // The folder and the socket keep other users out...
    EXPECT_EQ(tryAsNobody(), 0);
    // ...and so does the owner when they are opened up.
    chmod(m_dir.Path().c_str(), 0711);
    chmod(m_runtime.c_str(), 0777);
    chmod((m_runtime + "/bexora").c_str(), 0777);
    chmod(path.c_str(), 0777);
    EXPECT_EQ(tryAsNobody(), 4);
    EXPECT_EQ(started.load(), 0);
    // A client of ours no longer trusts the opened-up folder.
    CListAnswer answer;
    std::string why;
    EXPECT_EQ(CListClient::Send(m_list, {"list", m_list}, answer, why, 5000),
              CListClient::Result::NoOwner);
    chmod((m_runtime + "/bexora").c_str(), 0700);
    auto sent = std::async(std::launch::async, [&] {
        return CListClient::Send(m_list, {"list", m_list}, answer, why, 5000);
    });
    ASSERT_TRUE(PumpUntil(ui, [&] { return sent.wait_for(0s) == std::future_status::ready; }));
    EXPECT_EQ(sent.get(), CListClient::Result::Answered) << why;
    EXPECT_EQ(answer.out, "served");
    EXPECT_EQ(started.load(), 1);
}

TEST_F(ListOwnerTest, TheSocketNameIsTheListsWhereverItIsNamedFrom) {
    ASSERT_EQ(chdir(m_dir.Path().c_str()), 0);
    EXPECT_EQ(OwnerSocketPath("snipes.bid"), OwnerSocketPath(m_list));
    EXPECT_EQ(OwnerSocketPath("./run/../snipes.bid"), OwnerSocketPath(m_list));
    EXPECT_NE(OwnerSocketPath("other.bid"), OwnerSocketPath(m_list));
    EXPECT_LT(OwnerSocketPath(m_list).size(), sizeof(sockaddr_un::sun_path));
    ASSERT_EQ(chdir("/"), 0);
    // A runtime folder others may enter is not used.
    chmod(m_runtime.c_str(), 0700);
    mkdir((m_runtime + "/bexora").c_str(), 0700);
    chmod((m_runtime + "/bexora").c_str(), 0755);
    EXPECT_EQ(OwnerSocketDir(), "");
}

// A raw client: connects to the list's socket and sends bytes of its own.
int RawConnect(const std::string& list) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = OwnerSocketPath(list);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string Request(const std::vector<std::string>& texts) {
    std::string r = "BXR1";
    auto put = [&r](uint32_t n) {
        for (int i = 0; i < 4; ++i) r += static_cast<char>((n >> (8 * i)) & 0xff);
    };
    put(static_cast<uint32_t>(texts.size()));
    for (const std::string& t : texts) {
        put(static_cast<uint32_t>(t.size()));
        r += t;
    }
    return r;
}

// Clients that misbehave hold nothing for long: one that hangs up while its
// command runs is not polled in a spin, one that drips its request a byte at
// a time is cut off when the request's time is up, and past a small number
// of commands at once the next is refused with an answer.
TEST_F(ListOwnerTest, HungUpDrippingAndCrowdingClientsAreHandled) {
    CUiDispatcher ui;
    std::atomic<int> polls{0};
    std::atomic<bool> release{false};
    CListOwner owner(ui, [&](const std::vector<std::string>& argv, const std::string&) {
        const auto until = std::chrono::steady_clock::now() + 1s;
        const bool held = argv[0] == "hold";
        return CListOwner::PollFn([&, until, held](CListAnswer& a) {
            ++polls;
            if (held ? !release.load() : std::chrono::steady_clock::now() < until) return false;
            a.status = 0;
            return true;
        });
    });
    ASSERT_TRUE(owner.Open(m_list, "bexora-cli run"));

    int fd = RawConnect(m_list);
    ASSERT_GE(fd, 0);
    const std::string request = Request({"/", "note"});
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    close(fd);
    const auto pumped = std::chrono::steady_clock::now() + 2s;
    PumpUntil(ui, [&] { return std::chrono::steady_clock::now() > pumped; });
    EXPECT_GE(polls.load(), 2);
    EXPECT_LE(polls.load(), 60) << "a hung-up client's command is looked at every 50 ms, no more";

    // A byte every 0.9 s: the connection ends when the request's 5 s are up.
    fd = RawConnect(m_list);
    ASSERT_GE(fd, 0);
    const auto start = std::chrono::steady_clock::now();
    bool cut = false;
    for (size_t i = 0; i < request.size() && std::chrono::steady_clock::now() - start < 9s; ++i) {
        if (send(fd, request.data() + i, 1, MSG_NOSIGNAL) != 1) {
            cut = true;
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 900) == 1) {
            char c;
            cut = recv(fd, &c, 1, 0) <= 0;
            if (cut) break;
        }
    }
    EXPECT_TRUE(cut);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 7s);
    close(fd);

    // Sixteen commands at once are served; the seventeenth is told why not.
    std::vector<int> held;
    const std::string hold = Request({"/", "hold"});
    for (int i = 0; i < 16; ++i) {
        held.push_back(RawConnect(m_list));
        ASSERT_EQ(send(held.back(), hold.data(), hold.size(), MSG_NOSIGNAL), static_cast<ssize_t>(hold.size()));
    }
    auto crowded = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(500ms);
        CListAnswer answer;
        std::string why;
        CListClient::Send(m_list, {"note"}, answer, why, 10000);
        return answer;
    });
    ASSERT_TRUE(PumpUntil(ui, [&] { return crowded.wait_for(0s) == std::future_status::ready; }));
    const CListAnswer answer = crowded.get();
    EXPECT_EQ(answer.status, 1);
    EXPECT_NE(answer.err.find("busy"), std::string::npos) << answer.err;
    release = true;
    PumpUntil(ui, [&] {
        for (int h : held) {
            pollfd p{h, POLLIN, 0};
            if (poll(&p, 1, 0) != 1) return false;
        }
        return true;
    });
    for (int h : held) close(h);
    owner.Close();
}

// A list reached through a link is the same list: one lock, one owner. A
// link planted where the lock file goes is not followed (nor truncated).
TEST_F(ListOwnerTest, ALinkedListHasOneLockAndAPlantedLockLinkIsNotFollowed) {
    ASSERT_TRUE(AtomicWriteFile(m_list, "list"));
    const std::string link = m_dir.File("link.bid");
    ASSERT_EQ(symlink(m_list.c_str(), link.c_str()), 0);
    CListLock real, linked;
    ASSERT_TRUE(real.TryAcquire(m_list));
    ASSERT_TRUE(real.Held());
    real.SetOwnerText("bexora-cli run (process 1)");
    EXPECT_FALSE(linked.TryAcquire(link));
    EXPECT_EQ(CListLock::OwnerText(link), "bexora-cli run (process 1)");
    real.Release();

    const std::string precious = m_dir.File("precious.txt");
    ASSERT_TRUE(AtomicWriteFile(precious, "keep me"));
    const std::string other = m_dir.File("other.bid");
    ASSERT_EQ(symlink(precious.c_str(), (other + ".lock").c_str()), 0);
    CListLock planted;
    EXPECT_FALSE(planted.TryAcquire(other));
    planted.Release();
    std::string text;
    ASSERT_TRUE(ReadWholeFile(precious, text));
    EXPECT_EQ(text, "keep me");
}

}  // namespace
}  // namespace bexora
