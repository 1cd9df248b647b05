#pragma once
// One owner per item list. The process that has a list open to run it (a
// list window of the desktop program, bexora-cli run) holds an flock on
// LIST.bid.lock for as long as the list is open and serves the list on a
// private Unix socket under $XDG_RUNTIME_DIR; every other command on that
// list is sent there instead of loading its own copy, which the owner's
// next save would overwrite. The lock dies with its process, and a socket
// nobody listens on is removed, so a crashed owner never blocks anyone.
//
// The wire: each message is a 4-byte tag, then length-prefixed texts
// (32-bit little-endian lengths). A request is "BXR1", a count, the
// client's working folder and the command line; an answer is "BXA1", the
// command's standard output, its standard error and its exit status. A
// client that shows work in progress asks with "BXR2" (the same request)
// and may get "BXP1" messages before the answer: output so far and the
// progress line. Owners that send them say so on the lock file's second
// line ("BXR2"), so a client never asks an older owner for them.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bexora {

class CUiDispatcher;

// The flock on LIST.bid.lock. The list itself is replaced by every save,
// so it cannot carry the lock; the lock file stays behind, empty unless an
// owner holds it (an owner writes "PROGRAM PID" into it).
class CListLock {
public:
    CListLock() = default;
    ~CListLock() { Release(); }
    CListLock(const CListLock&) = delete;
    CListLock& operator=(const CListLock&) = delete;

    // True when this process now holds the list (also when no lock file can
    // be made there: the save will then say what is wrong with the folder).
    bool TryAcquire(const std::string& list);
    void Release();
    bool Held() const { return m_fd >= 0; }
    // Takes over the lock other holds (other then holds nothing).
    void Adopt(CListLock& other) {
        Release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    // Names the holder in the lock file ("bexora-cli run 1234").
    void SetOwnerText(const std::string& text);
    // What the holder wrote (its first line); empty when no owner names itself.
    static std::string OwnerText(const std::string& list);
    // Whether the holder sends work in progress to clients that ask.
    static bool OwnerSendsProgress(const std::string& list);

private:
    int m_fd = -1;
};

// The list's name as an owner and its clients agree on it: the absolute
// path with links resolved (of the folder, when the file is not there yet).
std::string CanonicalListPath(const std::string& list);
// The private folder for the sockets ($XDG_RUNTIME_DIR/bexora, else
// /tmp/bexora-UID), made with mode 0700; empty when it is not safe to use.
std::string OwnerSocketDir();
// The socket of list's owner (a hash of its canonical path keeps the name
// short enough for a Unix socket address).
std::string OwnerSocketPath(const std::string& list);

struct CListAnswer {
    std::string out;
    std::string err;
    int status = 1;
    // While the command works: "WHAT\tDONE\tTOTAL" for the client's
    // progress line (empty: none).
    std::string progress;
};

// The owner's side: takes the lock, listens, and hands each request to the
// UI thread through the list's dispatcher. Connections are read and answered
// on threads of their own, so a slow or silent client never holds the UI
// thread.
class CListOwner {
public:
    // A command in progress on the UI thread: called until it returns true,
    // with the answer filled in by then (a bid placed at once finishes only
    // when its result is in). Before that, answer.out may hold output that
    // is ready and answer.progress the work done so far; each call's out is
    // new output (sent on to a client that shows progress, else kept for
    // the answer).
    using PollFn = std::function<bool(CListAnswer& answer)>;
    // Starts argv (argv[0] the command's name) on the UI thread; cwd is the
    // client's working folder, against which its relative paths are meant.
    using StartFn =
        std::function<PollFn(const std::vector<std::string>& argv, const std::string& cwd)>;

    CListOwner(CUiDispatcher& ui, StartFn start);
    ~CListOwner();
    CListOwner(const CListOwner&) = delete;
    CListOwner& operator=(const CListOwner&) = delete;

    // Takes list's lock (or the one held already holds, taken before the
    // list was read) and starts listening; program names this process in
    // the lock file. False with the reason when the list has another owner
    // (the text names it) or the socket cannot be made.
    bool Open(const std::string& list, const std::string& program, std::string* error = nullptr,
              CListLock* held = nullptr);
    // Stops listening, ends the connections (a command in progress answers
    // "the list was closed") and releases the lock, or hands it to keep (the
    // list's last save is still to come). From the UI thread.
    void Close(CListLock* keep = nullptr);
    bool IsOpen() const { return m_listenFd >= 0; }
    // Whether the last Open failed because another process holds the list.
    bool LastOpenBusy() const { return m_bBusy; }
    const std::string& List() const { return m_list; }

    // How often a command in progress is polled.
    static constexpr int kPollMs = 50;

private:
    void Listen();
    void Serve(int fd);

    CUiDispatcher& m_ui;
    StartFn m_start;
    CListLock m_lock;
    std::string m_list;
    std::string m_socketPath;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    bool m_bBusy = false;  // eventfd that ends the listener and the connections
    std::atomic<bool> m_bClosing{false};
    std::thread m_listener;
    std::mutex m_mutex;
    std::list<std::thread> m_connections;
    std::vector<std::list<std::thread>::iterator> m_ended;  // to be joined
};

// The client's side.
class CListClient {
public:
    enum class Result { NoOwner, Answered, Failed };

    // Sends argv to list's owner and waits for the answer (timeoutMs < 0:
    // as long as the owner lives). NoOwner when nobody listens (a socket
    // left by a dead owner is removed when the caller holds the lock);
    // Failed, with the reason in error, when the owner is someone else's or
    // ends before it has answered. progress, when given and the owner sends
    // them, is called with output and progress as the command works (the
    // answer then holds only the output after them).
    using ProgressFn = std::function<void(const std::string& out, const std::string& progress)>;
    static Result Send(const std::string& list, const std::vector<std::string>& argv,
                       CListAnswer& answer, std::string& error, int timeoutMs = -1,
                       const ProgressFn& progress = {});
};

}  // namespace bexora
