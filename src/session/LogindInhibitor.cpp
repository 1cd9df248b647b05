#include "session/LogindInhibitor.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "session/BusThread.h"

namespace bexora {

namespace {
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
// A refused or unanswered lock is asked for again this much later.
constexpr int64_t kRetryMs = 30'000;
// A lost subscription is made again at most this often.
constexpr int64_t kWatchRetryMs = 1'000;
}  // namespace

CLogindInhibitor::CLogindInhibitor() {
    m_thread = std::make_unique<CBusThread>(
        CBusThread::Which::System, [this](sd_bus* bus) { AddMatch(bus); },
        [this] {
            std::lock_guard<std::mutex> lock(m_mutex);
            // The answers awaited went with the connection. A lock held
            // stays: its descriptor is logind's, not the bus's.
            m_bInFlight = false;
            m_bWatching = false;
            m_bMatchAdded = false;
            m_tNextAttempt = 0;
        });
}

CLogindInhibitor::~CLogindInhibitor() {
    Release();
    m_thread.reset();
}

std::string CLogindInhibitor::Mode() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_strMode;
}

bool CLogindInhibitor::Watching() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bWatching;
}

bool CLogindInhibitor::Take(const std::string& why) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bUnavailable && m_fd < 0 && BusMonotonicMs() < m_tNextAttempt) return false;
        m_bWant = true;
        m_strWant = why;
        ++m_nWantGen;
        m_tNextAttempt = 0;
    }
    m_thread->Post([this](sd_bus* bus) { Attempt(bus); });
    return true;
}

void CLogindInhibitor::Release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bWant = false;
    ++m_nWantGen;
    if (m_fd >= 0) close(m_fd);  // closing our copy lets logind's go
    m_fd = -1;
    m_strMode.clear();
    m_nHeldGen = UINT64_MAX;
}

void CLogindInhibitor::Attempt(sd_bus* bus) {
    std::lock_guard<std::mutex> lock(m_mutex);
    AttemptLocked(bus);
}

void CLogindInhibitor::AttemptLocked(sd_bus* bus) {
    if (!m_bWant || m_bSleeping || m_bInFlight || m_nHeldGen == m_nWantGen) return;
    if (bus) {
        m_nFlightGen = m_nWantGen;
        m_strFlightMode = "block";
        if (sd_bus_call_method_async(bus, nullptr, kLogind, kPath, kManager, "Inhibit",
                                     &OnInhibitReply, this, "ssss", "sleep", "Bexora",
                                     m_strWant.c_str(), "block") >= 0) {
            m_bInFlight = true;
            return;
        }
    }
    // A container or a machine without systemd has no system bus: no lock,
    // and no word about it.
    m_bUnavailable = true;
    m_tNextAttempt = BusMonotonicMs() + kRetryMs;
}

int CLogindInhibitor::OnInhibitReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* self = static_cast<CLogindInhibitor*>(userdata);
    const sd_bus_error* e = sd_bus_message_get_error(reply);
    int fd = -1;
    if (!e && sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0)
        fd = fcntl(fd, F_DUPFD_CLOEXEC, 3);  // the message owns the one it carried
    else
        fd = -1;
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_bInFlight = false;
    sd_bus* bus = sd_bus_message_get_bus(reply);
    if (fd >= 0) {
        if (self->m_nFlightGen == self->m_nWantGen && self->m_bWant && !self->m_bSleeping) {
            // The new lock is held before the old one goes, so there is no
            // gap in which the machine could slip away.
            if (self->m_fd >= 0) close(self->m_fd);
            self->m_fd = fd;
            self->m_strMode = self->m_strFlightMode;
            self->m_nHeldGen = self->m_nFlightGen;
            self->m_bUnavailable = false;
        } else {
            close(fd);  // asked for again, let go or asleep meanwhile
            self->AttemptLocked(bus);
        }
        return 0;
    }
    const bool noService = sd_bus_error_has_name(e, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                           sd_bus_error_has_name(e, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
    const bool silent = sd_bus_error_has_name(e, SD_BUS_ERROR_TIMEOUT) ||
                        sd_bus_error_has_name(e, SD_BUS_ERROR_NO_REPLY);
    if (!noService && !silent && self->m_strFlightMode == "block" &&
        self->m_nFlightGen == self->m_nWantGen && self->m_bWant) {
        // Refused (policy): a delay lock at least lets the list save.
        self->m_strFlightMode = "delay";
        if (sd_bus_call_method_async(bus, nullptr, kLogind, kPath, kManager, "Inhibit",
                                     &OnInhibitReply, self, "ssss", "sleep", "Bexora",
                                     self->m_strWant.c_str(), "delay") >= 0) {
            self->m_bInFlight = true;
            return 0;
        }
    }
    if (self->m_nFlightGen != self->m_nWantGen) {
        self->AttemptLocked(bus);  // asked for anew meanwhile
        return 0;
    }
    self->m_bUnavailable = true;
    self->m_tNextAttempt = BusMonotonicMs() + kRetryMs;
    return 0;
}

void CLogindInhibitor::WatchSleep(std::function<void(bool)> onSleep) {
    m_onSleep = std::move(onSleep);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bWatch = true;
    }
    m_thread->Post([this](sd_bus* bus) { AddMatch(bus); });
}

void CLogindInhibitor::AddMatch(sd_bus* bus) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!bus || !m_bWatch || m_bMatchAdded) return;
        m_bMatchAdded = true;
    }
    // Floating: the slot goes with the connection.
    if (sd_bus_match_signal_async(bus, nullptr, kLogind, kPath, kManager, "PrepareForSleep",
                                  &OnPrepareForSleep, &OnMatchAdded, this) < 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bMatchAdded = false;
    }
}

int CLogindInhibitor::OnMatchAdded(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* self = static_cast<CLogindInhibitor*>(userdata);
    std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_bWatching = !sd_bus_message_is_method_error(reply, nullptr);
    if (!self->m_bWatching) self->m_bMatchAdded = false;
    return 0;
}

int CLogindInhibitor::OnPrepareForSleep(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto* self = static_cast<CLogindInhibitor*>(userdata);
    int sleeping = 0;
    if (sd_bus_message_read(m, "b", &sleeping) >= 0) {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_signals.push_back(sleeping != 0);
    }
    return 0;
}

void CLogindInhibitor::Process() {
    std::vector<bool> signals;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        signals.swap(m_signals);
    }
    for (bool sleeping : signals) {
        // The list first (it saves while the lock still holds the sleep
        // back), then the lock.
        if (m_onSleep) m_onSleep(sleeping);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bSleeping = sleeping;
        if (sleeping) {
            // logind waits for delay locks until they go: the list is on
            // disk, so the machine may sleep now. Taken again on waking.
            if (m_fd >= 0) close(m_fd);
            m_fd = -1;
            m_strMode.clear();
            m_nHeldGen = UINT64_MAX;
        } else {
            m_tNextAttempt = 0;
        }
    }
    bool attempt = false, watch = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const int64_t now = BusMonotonicMs();
        attempt = m_bWant && !m_bSleeping && !m_bInFlight && m_nHeldGen != m_nWantGen &&
                  now >= m_tNextAttempt;
        if (attempt) m_tNextAttempt = now + kRetryMs;  // one try at a time from here
        watch = m_bWatch && !m_bWatching && now >= m_tWatchRetry;
        if (watch) m_tWatchRetry = now + kWatchRetryMs;
    }
    if (attempt) m_thread->Post([this](sd_bus* bus) { Attempt(bus); });
    if (watch) m_thread->Post([this](sd_bus* bus) { AddMatch(bus); });
}

}  // namespace bexora
