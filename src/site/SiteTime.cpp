#include "site/SiteTime.h"

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/Clock.h"
#include "base/Prompt.h"
#include "site/PageFetch.h"
#include "site/SiteEndpoints.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr char kClockWrong[] = "Your system clock must be set wrong. Please check it!";
constexpr int kTries = 3;

// The value and whether it was ever measured: 0 is a measurement too.
std::atomic<int64_t> g_offset{0};
std::atomic<bool> g_measured{false};
// The clock warning is open (or on its way to the UI thread).
std::atomic<bool> g_warningOpen{false};
// A pinned offset (command line, benchmarks) wins over the cache.
std::atomic<bool> g_fixed{false};
std::atomic<int64_t> g_fixedValue{0};

// The millisecond estimate and how far the true offset may lie from it;
// a bound of -1 means nothing finer than the whole seconds was measured.
std::mutex g_fineMutex;
int64_t g_fineMs = 0;
int64_t g_fineBoundMs = -1;

bool Contains(const std::string& s, const char* what) {
    return s.find(what) != std::string::npos;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// One read of the time page with the local instants it was sent and
// answered at. The page shows the site's second N at some instant between
// the two, so the offset (local minus site, ms) lies in
// (send - 1000 N - 1000, receive - 1000 N].
struct TimedRead {
    int64_t sendMs = 0, receiveMs = 0;
    int64_t site = 0;  // 0: no time read
    int64_t Lo() const { return sendMs - site * 1000 - 1000; }
    int64_t Hi() const { return receiveMs - site * 1000; }
    int64_t RoundTrip() const { return receiveMs - sendMs; }
};

TimedRead ReadTimed() {
    TimedRead r;
    r.sendMs = GetClock().NowMs();
    r.site = GetSiteTime();
    r.receiveMs = GetClock().NowMs();
    return r;
}

void ForgetFine() {
    std::lock_guard<std::mutex> lock(g_fineMutex);
    g_fineMs = 0;
    g_fineBoundMs = -1;
}

// A single read says less than the keeper's several; it replaces the
// finer estimate only when the two disagree (a clock was stepped since).
void TakeSingleRead(const TimedRead& r) {
    std::lock_guard<std::mutex> lock(g_fineMutex);
    if (g_fineBoundMs >= 0 && r.Lo() < g_fineMs + g_fineBoundMs && g_fineMs - g_fineBoundMs <= r.Hi())
        return;
    g_fineMs = r.Lo() + (r.Hi() - r.Lo()) / 2;
    g_fineBoundMs = (r.Hi() - r.Lo() + 1) / 2;
}

// Any thread may get here (the workers' page parses); the box belongs
// on the UI thread, and one is enough while it is open.
void WarnIfFarAhead(int64_t offset) {
    if (offset / 3600 > 36 && !g_warningOpen.exchange(true))
        PostPrompt(kClockWrong, PromptButtons::Ok, PromptIcon::Warning, [] { g_warningOpen.store(false); });
}

}  // namespace

int64_t ParseSiteDate(const std::string& text) {
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    char month[4] = {};
    // The zone is read as a whole word and only its first three letters are
    // kept; the buffer is just large enough that no word overruns it.
    char zone[64] = {};
    const char* s = text.c_str();
    bool twoDigitYear = true;
    if (Contains(text, "BST")) {
        std::sscanf(s, "%2d%*c%3s%*c%2d %d:%d:%d %63s", &day, month, &year, &hour, &minute,
                    &second, zone);
    } else if (Contains(text, "PDT") || Contains(text, "PST")) {
        if (Contains(text, "-")) {
            std::sscanf(s, "%3s%*c%2d%*c%2d %d:%d:%d %63s", month, &day, &year, &hour, &minute,
                        &second, zone);
        } else {
            twoDigitYear = false;
            std::sscanf(s, "%3s%*c%d, %d %d:%d:%d %63s", month, &day, &year, &hour, &minute,
                        &second, zone);
        }
    } else {
        return 0;
    }
    zone[3] = '\0';
    if (twoDigitYear) year += 2000;

    if (month[0] == '\0') return 0;
    const char* at = std::strstr(kMonths, month);
    if (!at) return 0;
    int mon = static_cast<int>(at - kMonths) / 3 + 1;

    if (day < 1 || day > 31 || year < 1980 || year > 2050 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0;

    int dst = -1;
    if (std::strstr(zone, "PDT"))
        dst = 1;
    else if (std::strstr(zone, "PST") || std::strstr(zone, "BST"))
        dst = 0;

    struct tm tm {};
    tm.tm_year = year - 1900;
    tm.tm_mon = mon - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = dst;
    time_t t = mktime(&tm);
    return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

int64_t GetSiteTime() {
    std::string page;
    FetchPage(site::OfficialTimeUrl(), page);
    return ReadSiteTimePage(std::move(page));
}

int64_t ReadSiteTimePage(std::string page) {
    StripTags(page);
    long marker = Find(page, "The official eBay Time is now:");
    if (marker < 0) return 0;
    // The date follows the weekday: "Saturday, Nov 11, 2006 14:23:45 PST".
    long b = Find(page, ',', marker);
    if (b < 0) return 0;
    long c = Find(page, "PDT", b);
    long d = Find(page, "PST", b);
    if (c < 0 || c - b >= 70) {
        if (d < 0 || d - b >= 70) return 0;
        c = d;
    }
    return ParseSiteDate(Mid(page, b + 1, c - b + 2));
}

int64_t GetClockOffset(bool refresh) {
    if (g_fixed.load()) return g_fixedValue.load();
    if (refresh || !g_measured.load()) {
        TimedRead read;
        for (int i = 0; i < kTries && read.site == 0; ++i) read = ReadTimed();
        // The time page failed every time: keep working with what we had.
        if (read.site == 0) return g_offset.load();
        g_offset.store(LocalNow() - read.site);
        g_measured.store(true);
        TakeSingleRead(read);
    }
    int64_t offset = g_offset.load();
    WarnIfFarAhead(offset);
    return offset;
}

int64_t ReadClockOffset() {
    if (g_fixed.load()) return g_fixedValue.load();
    return g_offset.load();
}

int64_t ReadClockOffsetMs() {
    if (!g_fixed.load()) {
        std::lock_guard<std::mutex> lock(g_fineMutex);
        if (g_fineBoundMs >= 0) return g_fineMs;
    }
    return ReadClockOffset() * 1000;
}

int64_t ClockOffsetBoundMs() {
    if (!g_fixed.load()) {
        std::lock_guard<std::mutex> lock(g_fineMutex);
        if (g_fineBoundMs >= 0) return g_fineBoundMs;
    }
    return IsClockOffsetMeasured() ? 1000 : -1;
}

bool IsClockOffsetMeasured() { return g_fixed.load() || g_measured.load(); }

void FixClockOffset(std::optional<int64_t> offset) {
    if (offset) {
        g_fixedValue.store(*offset);
        g_fixed.store(true);
    } else {
        g_fixed.store(false);
    }
}

void SetCachedClockOffset(int64_t offset) {
    ForgetFine();
    g_offset.store(offset);
    g_measured.store(true);
}

void ForgetClockOffset() {
    ForgetFine();
    g_measured.store(false);
    g_offset.store(0);
}

int64_t CachedClockOffset() { return g_offset.load(); }

namespace {

// A read that narrows the estimate by less than this ends the series: the
// round trip is as wide as what is left.
constexpr int64_t kMinGainMs = 5;
// Reads in one series at most (each waits for its phase, up to a second).
constexpr int kMaxReads = 10;
// Finer than this is lost in the scheduling of the snipe itself.
constexpr int64_t kGoodEnoughMs = 16;
// How often the keeper looks whether the local clock was stepped, and by how
// much the wall clock must have moved against the boot clock to count.
constexpr int64_t kStepPollMs = 1000;
constexpr int64_t kStepMs = 250;

int64_t SystemStep() {
    timespec wall {}, boot {};
    clock_gettime(CLOCK_REALTIME, &wall);
    clock_gettime(CLOCK_BOOTTIME, &boot);
    return (int64_t(wall.tv_sec) - boot.tv_sec) * 1000 + (wall.tv_nsec - boot.tv_nsec) / 1000000;
}

std::atomic<int64_t (*)()> g_stepSource{&SystemStep};

}  // namespace

struct CClockKeeper::State {
    std::mutex mutex;
    std::condition_variable wake;
    bool wanted = false;
    bool stop = false;
    int done = 0;
    std::atomic<bool> abort{false};  // ends a fetch in progress at Stop
    std::thread thread;

    // Waits until the local clock reads atMs (or Stop); false when stopping.
    bool SleepUntil(int64_t atMs) {
        const int64_t wait = atMs - GetClock().NowMs();
        std::unique_lock<std::mutex> lock(mutex);
        if (wait > 0) wake.wait_for(lock, std::chrono::milliseconds(wait), [&] { return stop; });
        return !stop;
    }
    bool Stopping() {
        std::lock_guard<std::mutex> lock(mutex);
        return stop;
    }
    void Measure();
};

// Several reads of the time page, each sent so that the middle of its round
// trip falls where the current estimate puts the site's change of second.
// Each read then cuts the interval the offset may lie in about in half (it
// cannot get narrower than the round trip), so a few reads pin it down.
void CClockKeeper::State::Measure() {
    TimedRead read;
    for (int i = 0; i < kTries && read.site == 0 && !Stopping(); ++i) read = ReadTimed();
    // The time page failed every time: keep working with what we had.
    if (read.site == 0) return;
    // With nothing measured yet the rows count down by local time and a
    // parse reads the time page itself: the first read stands until the
    // series is done, a few seconds later.
    if (!g_measured.load()) {
        g_offset.store(FloorDiv(read.receiveMs, 1000) - read.site);
        g_measured.store(true);
        TakeSingleRead(read);
    }
    int64_t lo = read.Lo(), hi = read.Hi();
    int64_t roundTrip = read.RoundTrip();
    for (int n = 1; n < kMaxReads && hi - lo > std::max(roundTrip + kMinGainMs, kGoodEnoughMs); ++n) {
        // The site's second turns at local instants k*1000 + offset.
        const int64_t aim = lo + (hi - lo) / 2 - roundTrip / 2;
        const int64_t earliest = GetClock().NowMs() + 10;
        const int64_t sendAt = earliest + ((aim - earliest) % 1000 + 1000) % 1000;
        if (!SleepUntil(sendAt)) break;
        TimedRead next = ReadTimed();
        if (next.site == 0) break;  // keep what the earlier reads said
        read = next;
        // A read held up on the way says little; it does not end the series.
        const bool slow = next.RoundTrip() > 2 * roundTrip + kMinGainMs;
        roundTrip = std::min(roundTrip, next.RoundTrip());
        const int64_t nlo = std::max(lo, next.Lo()), nhi = std::min(hi, next.Hi());
        if (nlo >= nhi) {
            // No offset fits both: a clock was stepped between the reads.
            // Start again from the newest.
            lo = next.Lo();
            hi = next.Hi();
            continue;
        }
        const bool gained = (hi - lo) - (nhi - nlo) >= kMinGainMs;
        lo = nlo;
        hi = nhi;
        if (!gained && !slow) break;
    }
    // The whole seconds keep their meaning for everything that shows time:
    // the estimate rounded once it is good to half a second, else what the
    // last read gave as ever (local second minus site second).
    const int64_t mid = lo + (hi - lo) / 2;
    const int64_t whole = hi - lo < 1000 ? FloorDiv(mid + 500, 1000) : FloorDiv(read.receiveMs, 1000) - read.site;
    {
        std::lock_guard<std::mutex> lock(g_fineMutex);
        g_offset.store(whole);
        g_measured.store(true);
        g_fineMs = mid;
        g_fineBoundMs = (hi - lo + 1) / 2;
    }
    WarnIfFarAhead(whole);
}

CClockKeeper::CClockKeeper() : m_state(std::make_unique<State>()) {}

CClockKeeper::~CClockKeeper() { Stop(); }

void CClockKeeper::RequestRead() {
    State& st = *m_state;
    std::lock_guard<std::mutex> lock(st.mutex);
    if (st.stop) return;
    st.wanted = true;
    if (!st.thread.joinable()) {
        st.thread = std::thread([&st] {
            SetFetchAbortFlag(&st.abort);
            int64_t step = g_stepSource.load()();
            std::unique_lock<std::mutex> lock(st.mutex);
            for (;;) {
                // A stepped local clock makes the estimate wrong by the step.
                st.wake.wait_for(lock, std::chrono::milliseconds(kStepPollMs), [&] { return st.wanted || st.stop; });
                if (st.stop) break;
                const int64_t nowStep = g_stepSource.load()();
                if (nowStep - step > kStepMs || step - nowStep > kStepMs) st.wanted = true;
                if (!st.wanted) continue;
                st.wanted = false;
                step = nowStep;
                lock.unlock();
                st.Measure();
                lock.lock();
                ++st.done;
            }
            lock.unlock();
            SetFetchAbortFlag(nullptr);
        });
    }
    st.wake.notify_all();
}

int CClockKeeper::ReadsDone() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->done;
}

void CClockKeeper::Stop() {
    State& st = *m_state;
    {
        std::lock_guard<std::mutex> lock(st.mutex);
        st.stop = true;
    }
    st.abort.store(true);
    st.wake.notify_all();
    if (st.thread.joinable()) st.thread.join();
}

void CClockKeeper::SetStepSource(int64_t (*source)()) { g_stepSource.store(source ? source : &SystemStep); }

std::string FormatTimeSpan(int64_t seconds, const char* format) {
    const bool negative = seconds < 0;
    // Unsigned so that the most negative span has a magnitude too.
    const uint64_t mag = negative ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
    bool signWritten = !negative;
    auto number = [&](std::string& out, uint64_t v, bool twoDigits) {
        if (!signWritten) {
            out += '-';
            signWritten = true;
        }
        if (twoDigits && v < 10) out += '0';
        out += std::to_string(v);
    };
    std::string out;
    for (const char* p = format ? format : ""; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        char code = p[1];
        if (code == '\0') {
            out += '%';
            break;
        }
        ++p;
        switch (code) {
            case 'D': number(out, mag / 86400, false); break;
            case 'H': number(out, mag / 3600 % 24, true); break;
            case 'M': number(out, mag / 60 % 60, true); break;
            case 'S': number(out, mag % 60, true); break;
            case '%': out += '%'; break;
            default:
                out += '%';
                out += code;
        }
    }
    return out;
}

std::string FormatLocalTime(int64_t t) {
    time_t tt = static_cast<time_t>(t);
    struct tm tm {};
    if (!localtime_r(&tt, &tm)) return {};
    char buf[128];
    size_t n = strftime(buf, sizeof buf, "%x %X", &tm);
    return std::string(buf, n);
}

std::string SiteTimeReport() {
    const int64_t offset = GetClockOffset(true);
    const int64_t now = LocalNow();
    const int64_t siteNow = now - offset;
    // Hours of the day alone would show a clock two days off as a few hours
    // off, so a difference of a day or more names the days as well.
    const char* spanFormat = (offset >= 86400 || offset <= -86400)
                                 ? "%D days, %H hours, %M mins, %S secs"
                                 : "%H hours, %M mins, %S secs";
    std::string text = "Current eBay time:     " + FormatLocalTime(siteNow) +
                       "\nCurrent system time:  " + FormatLocalTime(now) +
                       "\nDifference : " + FormatTimeSpan(offset, spanFormat) + "\n";
    // A whole number of hours is the gap between the site's zone and ours;
    // up to a minute short of it is fine too, whichever clock is ahead.
    const int64_t minutes = offset / 60 - (offset / 3600) * 60;
    if (minutes != 0 && minutes != 59 && minutes != -59)
        text += "\nYou system clock need adjustment.";
    return text;
}

}  // namespace bexora
