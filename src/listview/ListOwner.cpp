#include "listview/ListOwner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bidding/UiDispatcher.h"
#include "listview/OwnerWire.h"

namespace bexora {

namespace {

using namespace wire;

// A client writes its request right after connecting.
constexpr int kRequestWaitMs = 5000;
// Commands served at once; more are refused (their request is read for at
// most this long first).
constexpr size_t kMaxConnections = 16;
constexpr int kRefuseReadMs = 200;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads into data until parsed() holds, the peer closes, wakeFd fires or
// timeoutMs passes (negative: no limit). True when parsed() held.
// timeoutMs is for the whole message, however slowly it drips in.
bool ReadMessage(int fd, int wakeFd, int timeoutMs, std::string& data, bool request,
                 const std::function<bool()>& parsed) {
    char buf[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // What came in after the last message may hold the next one whole.
        if (WholeMessage(data, request)) return parsed();
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int step = 1000;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            step = static_cast<int>(std::min<int64_t>(1000, left));
        }
        int r = poll(fds, wakeFd >= 0 ? 2 : 1, step);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (r == 0) continue;
        if (wakeFd >= 0 && (fds[1].revents & POLLIN)) return false;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.append(buf, static_cast<size_t>(n));
        if (data.size() > 2 * size_t(kMaxText)) return false;
    }
}

bool PeerUid(int fd, uid_t& uid) {
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    uid = cred.uid;
    return true;
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

}  // namespace

// ---- the lock ----

bool CListLock::TryAcquire(const std::string& list) {
    Release();
    // Named after the list's one canonical name, as the socket is: a list
    // reached through a link has the same lock. The lock file itself is
    // never followed (a link planted in its place in a shared folder would
    // have us truncate the file it points to).
    const std::string path = CanonicalListPath(list) + ".lock";
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0 && errno == ELOOP) return false;
    if (m_fd < 0) return true;  // a folder we cannot write: the save will say so
    if (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        close(m_fd);
        m_fd = -1;
        return false;
    }
    // Owners hold the lock while they listen: a socket still there now was
    // left by one that died.
    unlink(OwnerSocketPath(list).c_str());
    return true;
}

void CListLock::Release() {
    if (m_fd < 0) return;
    if (ftruncate(m_fd, 0) != 0) {
        // The text only names an owner; an old one is harmless once unlocked.
    }
    close(m_fd);  // releases the lock
    m_fd = -1;
}

void CListLock::SetOwnerText(const std::string& text) {
    if (m_fd < 0) return;
    std::string line = text + "\n";
    if (ftruncate(m_fd, 0) != 0 || pwrite(m_fd, line.data(), line.size(), 0) < 0) {
        // Naming the owner is a courtesy to the refused; the lock is what counts.
    }
}

std::string CListLock::OwnerText(const std::string& list) {
    int fd = open((CanonicalListPath(list) + ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return "";
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) return "";
    std::string text(buf, static_cast<size_t>(n));
    return Trimmed(text.substr(0, text.find('\n')));
}

bool CListLock::OwnerSendsProgress(const std::string& list) {
    int fd = open((CanonicalListPath(list) + ".lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    return n > 0 && std::string(buf, static_cast<size_t>(n)).find(std::string("\n") + kProgressRequestTag + "\n") != std::string::npos;
}

// ---- names ----

std::string CanonicalListPath(const std::string& list) {
    char buf[PATH_MAX];
    if (realpath(list.c_str(), buf)) return buf;
    size_t slash = list.rfind('/');
    std::string dir = slash == std::string::npos ? "." : list.substr(0, slash == 0 ? 1 : slash);
    std::string name = slash == std::string::npos ? list : list.substr(slash + 1);
    if (realpath(dir.c_str(), buf))
        return std::string(buf) + (std::strcmp(buf, "/") ? "/" : "") + name;
    if (!list.empty() && list[0] == '/') return list;
    return getcwd(buf, sizeof buf) ? std::string(buf) + "/" + list : list;
}

std::string OwnerSocketDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? std::string(runtime) + "/bexora"
                                          : "/tmp/bexora-" + std::to_string(geteuid());
    mkdir(dir.c_str(), 0700);
    // Only a folder of our own that nobody else can enter: another user
    // must not be able to put a socket of theirs in our owner's place.
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & 077) != 0)
        return "";
    return dir;
}

std::string OwnerSocketPath(const std::string& list) {
    std::string dir = OwnerSocketDir();
    if (dir.empty()) return "";
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : CanonicalListPath(list)) hash = (hash ^ c) * 1099511628211ull;
    char name[32];
    std::snprintf(name, sizeof name, "/%016llx.sock", static_cast<unsigned long long>(hash));
    return dir + name;
}

// ---- the owner ----

CListOwner::CListOwner(CUiDispatcher& ui, StartFn start) : m_ui(ui), m_start(std::move(start)) {}

CListOwner::~CListOwner() {
    Close();
}

bool CListOwner::Open(const std::string& list, const std::string& program, std::string* error,
                      CListLock* held) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        m_lock.Release();
        return false;
    };
    Close();
    m_bBusy = false;
    if (held && held->Held()) {
        m_lock.Adopt(*held);
    } else if (!m_lock.TryAcquire(list)) {
        m_bBusy = true;
        std::string owner = CListLock::OwnerText(list);
        return fail(list + " is open in " + (owner.empty() ? "another program" : owner));
    }
    if (!m_lock.Held()) return fail("cannot make " + list + ".lock: " + std::strerror(errno));
    m_socketPath = OwnerSocketPath(list);
    sockaddr_un addr{};
    if (!FillAddress(m_socketPath, addr))
        return fail(
            "no private folder for the list's socket (is $XDG_RUNTIME_DIR yours, mode 0700?)");
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return fail(std::string("cannot make a socket: ") + std::strerror(errno));
    unlink(m_socketPath.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        chmod(m_socketPath.c_str(), 0600) != 0 || listen(fd, 16) != 0) {
        std::string why =
            std::string("cannot listen on ") + m_socketPath + ": " + std::strerror(errno);
        close(fd);
        return fail(why);
    }
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        close(fd);
        unlink(m_socketPath.c_str());
        return fail(std::string("cannot make an eventfd: ") + std::strerror(errno));
    }
    m_listenFd = fd;
    m_list = list;
    m_bClosing = false;
    m_lock.SetOwnerText(program + " (process " + std::to_string(getpid()) + ")\n" + kProgressRequestTag);
    m_listener = std::thread([this] { Listen(); });
    return true;
}

void CListOwner::Close(CListLock* keep) {
    if (m_listenFd < 0) return;
    m_bClosing = true;
    uint64_t one = 1;
    if (write(m_wakeFd, &one, sizeof one) < 0) {
        // The eventfd cannot be full after one write; the joins below end it.
    }
    // A connection waiting for the UI thread (this one) is let go.
    m_ui.Close(this);
    m_listener.join();
    for (std::thread& t : m_connections) t.join();
    m_connections.clear();
    m_ended.clear();
    m_ui.Forget(this);
    // The socket goes before the lock: whoever takes the lock next must not
    // find a socket of ours that looks alive.
    unlink(m_socketPath.c_str());
    close(m_listenFd);
    close(m_wakeFd);
    m_listenFd = m_wakeFd = -1;
    if (keep)
        keep->Adopt(m_lock);
    else
        m_lock.Release();
}

void CListOwner::Listen() {
    for (;;) {
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        int r = poll(fds, 2, 1000);
        if (r < 0 && errno != EINTR) return;
        if (m_bClosing || (fds[1].revents & POLLIN)) return;
        // Connections that have ended are joined here, so a long run does
        // not collect them.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (auto it : m_ended) {
                it->join();
                m_connections.erase(it);
            }
            m_ended.clear();
        }
        if (r <= 0 || !(fds[0].revents & POLLIN)) continue;
        int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        uid_t uid = 0;
        // Only our own user's processes may run commands on our list; the
        // folder's mode says the same, this holds even if it was opened up.
        if (!PeerUid(fd, uid) || uid != geteuid()) {
            close(fd);
            continue;
        }
        // A client that stops reading must not keep the owner from closing.
        timeval sendLimit{kRequestWaitMs / 1000, 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_connections.size() - m_ended.size() >= kMaxConnections) {
            // Refused with an answer, not left waiting. The request is read
            // first (briefly): a socket closed with unread data resets the
            // connection, and the client would lose the answer with it.
            std::string request;
            ReadMessage(fd, m_wakeFd, kRefuseReadMs, request, true, [] { return true; });
            CListAnswer busy;
            busy.err = "the list's owner is busy with " + std::to_string(kMaxConnections) + " commands; try again\n";
            WriteAll(fd, EncodeAnswer(busy));
            shutdown(fd, SHUT_WR);
            close(fd);
            continue;
        }
        m_connections.emplace_back();
        auto it = std::prev(m_connections.end());
        *it = std::thread([this, fd, it] {
            Serve(fd);
            std::lock_guard<std::mutex> lock(m_mutex);
            m_ended.push_back(it);
        });
    }
}

void CListOwner::Serve(int fd) {
    std::string data;
    Request request;
    bool whole = ReadMessage(fd, m_wakeFd, kRequestWaitMs, data, true, [&] { return ParseRequest(data, request); });
    const std::string& cwd = request.cwd;
    const std::vector<std::string>& argv = request.argv;
    const bool streams = request.progress;  // the client takes progress messages
    if (!whole || argv.empty()) {
        close(fd);
        return;
    }
    CListAnswer answer;
    answer.err = "the list was closed before the command finished\n";
    PollFn poll_fn;
    bool done = false;
    bool sent = m_ui.Send(this, [&] {
        poll_fn = m_start(argv, cwd);
        done = !poll_fn || poll_fn(answer);
    });
    // A client that went away is not watched any more (its hang-up would
    // wake every poll); its command still finishes. Output that is ready
    // goes to a client that shows progress at once, else with the answer.
    bool gone = false;
    std::string early, shownProgress;
    auto passOn = [&] {
        if (done) return;
        if (streams && !gone && (!answer.out.empty() || answer.progress != shownProgress)) {
            if (!WriteAll(fd, EncodeProgress(answer.out, answer.progress))) gone = true;
            shownProgress = answer.progress;
        } else {
            early += answer.out;
        }
        answer.out.clear();
    };
    if (sent) passOn();
    while (sent && !done && !m_bClosing) {
        pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {fd, POLLRDHUP, 0}};
        poll(fds, gone ? 1 : 2, kPollMs);
        if (fds[0].revents & POLLIN) break;
        if (!gone && (fds[1].revents & (POLLRDHUP | POLLHUP | POLLERR))) {
            gone = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
        sent = m_ui.Send(this, [&] { done = poll_fn(answer); });
        if (sent) passOn();
    }
    if (!done) {
        answer = CListAnswer();
        answer.err = "the list was closed before the command finished\n";
    }
    answer.out = early + answer.out;
    // The command's state belongs to the UI thread; when that is gone
    // (closing) nothing else touches it any more.
    if (!m_ui.Send(this, [&] { poll_fn = nullptr; })) poll_fn = nullptr;
    WriteAll(fd, EncodeAnswer(answer));
    close(fd);
}

// ---- the client ----

CListClient::Result CListClient::Send(const std::string& list, const std::vector<std::string>& argv,
                                      CListAnswer& answer, std::string& error, int timeoutMs,
                                      const ProgressFn& progress) {
    sockaddr_un addr{};
    if (!FillAddress(OwnerSocketPath(list), addr)) return Result::NoOwner;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return Result::Failed;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return Result::NoOwner;
    }
    std::string owner = CListLock::OwnerText(list);
    if (owner.empty()) owner = "the program that has " + list + " open";
    uid_t uid = 0;
    if (!PeerUid(fd, uid) || uid != geteuid()) {
        close(fd);
        error = "the socket of " + list + " belongs to another user";
        return Result::Failed;
    }
    char cwd[PATH_MAX];
    const bool streams = progress && CListLock::OwnerSendsProgress(list);
    if (!WriteAll(fd, EncodeRequest({getcwd(cwd, sizeof cwd) ? cwd : "/", argv, streams}))) {
        close(fd);
        error = owner + " did not take the command";
        return Result::Failed;
    }
    std::string data;
    bool whole = false;
    for (;;) {
        whole = ReadMessage(fd, -1, timeoutMs, data, false, [] { return true; });
        if (!whole || !streams || data.compare(0, 4, kProgressTag) != 0) break;
        const size_t length = WholeMessage(data, false);
        std::string out, line;
        if (!ParseProgress(data.substr(0, length), out, line)) {
            whole = false;
            break;
        }
        data.erase(0, length);
        progress(out, line);
    }
    whole = whole && WholeMessage(data, false) == data.size() && ParseAnswer(data, answer);
    close(fd);
    if (!whole) {
        error = owner + " ended before it answered";
        return Result::Failed;
    }
    return Result::Answered;
}

}  // namespace bexora
