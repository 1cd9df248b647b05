#pragma once
// One sd-bus connection served by a thread of its own, so that a bus or a
// service that hangs never holds the thread that asked (the list's UI
// thread: its tick must go on, or a snipe due meanwhile is lost). The
// caller posts jobs; each runs on the bus thread with the connection. The
// connection is made on first use and made again on the next use after it
// was lost (the daemon restarted, the user's session was replaced), or when
// it never came up within a call's time.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

typedef struct sd_bus sd_bus;

namespace bexora {

// The time any one call on a session bus is given: the bus answers locally,
// a service that is slower than this is as good as absent.
constexpr uint64_t kBusCallUsec = 1'500'000;

class CBusThread {
public:
    enum class Which { User, System };
    // Runs on the bus thread.
    using Job = std::function<void(sd_bus*)>;

    // onConnect: after each (re)connection, with the new bus (subscriptions);
    // onLost: the connection went, and with it every call awaiting an answer;
    // onIdle: each time round the loop (at least every kIdleMs), with the bus
    // or nullptr while there is none.
    CBusThread(Which which, Job onConnect = {}, std::function<void()> onLost = {},
               Job onIdle = {});
    // What was posted is still sent (given a moment); a bus that does not take
    // it is not waited for.
    ~CBusThread();
    CBusThread(const CBusThread&) = delete;
    CBusThread& operator=(const CBusThread&) = delete;

    // Runs job on the bus thread with the connection (nullptr when there is
    // no bus to be had). Never blocks beyond a lock held for a moment.
    void Post(Job job);
    // Asks the bus thread to run onIdle soon.
    void Wake();

    static constexpr int kIdleMs = 500;

private:
    void Run();
    sd_bus* Bus();  // connects when needed (the bus thread only)
    void Drop();
    void Drain();

    const Which m_which;
    Job m_onConnect;
    std::function<void()> m_onLost;
    Job m_onIdle;
    std::mutex m_mutex;
    std::vector<Job> m_jobs;
    bool m_bStop = false;
    int m_wake = -1;  // eventfd
    // The bus thread's own.
    sd_bus* m_bus = nullptr;
    int64_t m_tConnected = 0;
    std::thread m_thread;
};

// Monotonic milliseconds.
int64_t BusMonotonicMs();

}  // namespace bexora
