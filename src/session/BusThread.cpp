#include "session/BusThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace bexora {

namespace {
// How long the end waits for what was posted to be written.
constexpr int64_t kDrainMs = 300;
}  // namespace

int64_t BusMonotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

CBusThread::CBusThread(Which which, Job onConnect, std::function<void()> onLost, Job onIdle)
    : m_which(which),
      m_onConnect(std::move(onConnect)),
      m_onLost(std::move(onLost)),
      m_onIdle(std::move(onIdle)) {
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { Run(); });
}

CBusThread::~CBusThread() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    Wake();
    m_thread.join();
    if (m_wake >= 0) close(m_wake);
}

void CBusThread::Post(Job job) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    Wake();
}

void CBusThread::Wake() {
    const uint64_t one = 1;
    if (m_wake >= 0) (void)!write(m_wake, &one, sizeof one);
}

sd_bus* CBusThread::Bus() {
    if (m_bus && !sd_bus_is_open(m_bus)) Drop();
    if (m_bus) return m_bus;
    // No bus (a server, a container): quietly none, asked again next time.
    sd_bus* bus = nullptr;
    const int r = m_which == Which::User ? sd_bus_open_user(&bus) : sd_bus_open_system(&bus);
    if (r < 0) return nullptr;
    sd_bus_set_method_call_timeout(bus, kBusCallUsec);
    m_bus = bus;
    m_tConnected = BusMonotonicMs();
    if (m_onConnect) m_onConnect(m_bus);
    return m_bus;
}

void CBusThread::Drop() {
    if (!m_bus) return;
    // Pending answers go with it: their callbacks are not called.
    sd_bus_close_unref(m_bus);
    m_bus = nullptr;
    if (m_onLost) m_onLost();
}

void CBusThread::Drain() {
    const int64_t until = BusMonotonicMs() + kDrainMs;
    while (m_bus && sd_bus_is_open(m_bus) && BusMonotonicMs() < until) {
        uint64_t queued = 0;
        if (sd_bus_get_n_queued_write(m_bus, &queued) < 0 ||
            (queued == 0 && sd_bus_is_ready(m_bus) > 0))
            break;
        if (sd_bus_process(m_bus, nullptr) < 0) break;
        const int events = sd_bus_get_events(m_bus);
        pollfd p{sd_bus_get_fd(m_bus), short(events < 0 ? 0 : events), 0};
        poll(&p, 1, int(std::max<int64_t>(1, until - BusMonotonicMs())));
    }
    if (m_bus) sd_bus_close_unref(m_bus);
    m_bus = nullptr;
}

void CBusThread::Run() {
    for (;;) {
        std::vector<Job> jobs;
        bool stop;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            jobs.swap(m_jobs);
            stop = m_bStop;
        }
        for (Job& job : jobs) job(Bus());
        if (stop) {
            Drain();
            return;
        }
        // A connection that never came up (a bus that takes the socket
        // and says nothing) is given up; the next use tries afresh.
        if (m_bus && sd_bus_is_ready(m_bus) <= 0 &&
            BusMonotonicMs() - m_tConnected > int64_t(kBusCallUsec / 1000))
            Drop();
        if (m_bus) {
            int r;
            while ((r = sd_bus_process(m_bus, nullptr)) > 0) {
            }
            if (r < 0 || !sd_bus_is_open(m_bus)) Drop();
        }
        if (m_onIdle) m_onIdle(m_bus);

        pollfd p[2] = {{m_wake, POLLIN, 0}, {-1, 0, 0}};
        int timeoutMs = kIdleMs;
        if (m_bus) {
            const int events = sd_bus_get_events(m_bus);
            p[1] = {sd_bus_get_fd(m_bus), short(events < 0 ? 0 : events), 0};
            uint64_t until = 0;
            if (sd_bus_get_timeout(m_bus, &until) >= 0 && until != UINT64_MAX) {
                timespec ts{};
                clock_gettime(CLOCK_MONOTONIC, &ts);
                const uint64_t now = uint64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
                const int64_t ms = until > now ? int64_t((until - now + 999) / 1000) : 0;
                timeoutMs = int(std::min<int64_t>(timeoutMs, ms));
            }
        }
        poll(p, m_bus ? 2 : 1, timeoutMs);
        uint64_t n;
        (void)!read(m_wake, &n, sizeof n);
    }
}

}  // namespace bexora
