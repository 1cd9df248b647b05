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
#include "site/SiteProfile.h"
#include "text/TextTools.h"

namespace bexora {

namespace {

constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr char kClockWrong[] = "Your system clock must be set wrong. Please check it!";
constexpr int kTries = 3;

// Whether an offset was ever measured: 0 is a measurement too.
std::atomic<bool> g_measured{false};
// The clock warning is open (or on its way to the UI thread).
std::atomic<bool> g_warningOpen{false};
// A pinned offset (command line, benchmarks) wins over the cache.
std::atomic<bool> g_fixed{false};
std::atomic<int64_t> g_fixedValue{0};

// The estimate is kept against the boot clock, which nobody sets: a step of
// the wall clock does not move the site's clock, so readers add the wall
// clock's step of the moment they read (CurrentStepMs) and the offset is
// right at once, before the keeper has read the time page again.
int64_t SystemStep() { return GetClock().StepMs(); }
std::atomic<int64_t (*)()> g_stepSource{&SystemStep};
int64_t CurrentStepMs() { return g_stepSource.load()(); }

std::mutex g_mutex;
// Whole seconds (local second minus site second) and the step they were
// taken at.
int64_t g_offset = 0;
int64_t g_offsetStepMs = 0;
// The millisecond estimate (boot ms minus site ms) and how far the true
// offset may lie from it; a bound of -1 means nothing finer than the whole
// seconds was measured.
int64_t g_fineBootMs = 0;
int64_t g_fineBoundMs = -1;
// When the estimate was last taken (boot ms; 0: never).
int64_t g_measuredAtBootMs = 0;
// A measurement that disagreed with the estimate, waiting for a second one
// to confirm it (boot frame).
bool g_hasCandidate = false;
int64_t g_candidateLo = 0, g_candidateHi = 0;

bool Contains(const std::string& s, const char* what) {
    return s.find(what) != std::string::npos;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// A step in whole seconds, to the nearest.
int64_t StepSeconds(int64_t ms) { return FloorDiv(ms + 500, 1000); }

// One read of the time page with the local instants it was sent and
// answered at. The page shows the site's second N at some instant between
// the two, so the offset (local minus site, ms) lies in
// (send - 1000 N - 1000, receive - 1000 N]. Lo and Hi give it against the
// boot clock.
struct TimedRead {
    int64_t sendMs = 0, receiveMs = 0;
    int64_t stepMs = 0;  // the wall clock's step while the read ran
    int64_t site = 0;    // 0: no time read
    int64_t Lo() const { return sendMs - stepMs - site * 1000 - 1000; }
    int64_t Hi() const { return receiveMs - stepMs - site * 1000; }
    int64_t RoundTrip() const { return receiveMs - sendMs; }
};

TimedRead ReadTimed() {
    TimedRead r;
    r.stepMs = CurrentStepMs();
    r.sendMs = GetClock().NowMs();
    r.site = GetSiteTime();
    r.receiveMs = GetClock().NowMs();
    // The wall clock was set while the page was on its way: the two
    // instants do not belong together.
    const int64_t after = CurrentStepMs();
    if (after - r.stepMs > 50 || r.stepMs - after > 50) r.site = 0;
    return r;
}

enum class Verdict {
    Taken,     // the new measurement stands
    Agrees,    // it fits the finer estimate there was, which stays
    Doubted,   // it moves the offset beyond the estimate's bound: kept aside
};

// Whether a measurement [lo, hi] (boot frame) may replace the estimate. One
// time page (a stale copy, a page dated hours ahead) must not move a snipe:
// a measurement that leaves the current estimate's bound is taken only when
// a second one agrees with it. Locked.
Verdict Judge(int64_t lo, int64_t hi, bool single) {
    if (!g_measured.load() || g_fineBoundMs < 0) {
        g_hasCandidate = false;
        return Verdict::Taken;
    }
    const bool fits = lo <= g_fineBootMs + g_fineBoundMs && g_fineBootMs - g_fineBoundMs <= hi;
    if (fits) {
        g_hasCandidate = false;
        return single ? Verdict::Agrees : Verdict::Taken;
    }
    if (g_hasCandidate && lo <= g_candidateHi && g_candidateLo <= hi) {
        g_hasCandidate = false;
        return Verdict::Taken;
    }
    g_hasCandidate = true;
    g_candidateLo = lo;
    g_candidateHi = hi;
    return Verdict::Doubted;
}

// Stores an estimate. Locked.
void Store(int64_t whole, int64_t wholeStepMs, int64_t fineBootMs, int64_t boundMs) {
    g_offset = whole;
    g_offsetStepMs = wholeStepMs;
    g_fineBootMs = fineBootMs;
    g_fineBoundMs = boundMs;
    g_measuredAtBootMs = GetClock().BootMs();
    g_measured.store(true);
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
    // A cache on the way must not hand an old copy of the clock.
    FetchPage(site::OfficialTimeUrl(), page, FetchFresh::Yes);
    return ReadSiteTimePage(std::move(page));
}

int64_t ReadSiteTimePage(std::string page) {
    const std::shared_ptr<const CSiteProfile> profile = CurrentProfile();
    return ReadSiteTimePage(std::move(page), *profile);
}

int64_t ReadSiteTimePage(std::string page, const CSiteProfile& profile) {
    StripTags(page);
    if (!profile.Recognises("time.recognise", page)) return 0;
    long marker = Find(page, profile.Get("time.marker"));
    if (marker < 0) return 0;
    // The date follows the weekday: "Saturday, Nov 11, 2006 14:23:45 PST";
    // the first zone name (in the profile's order) within 70 characters
    // closes it.
    long b = Find(page, ',', marker);
    if (b < 0) return 0;
    for (const std::string& zone : profile.List("time.zone")) {
        long c = Find(page, zone, b);
        if (c >= 0 && c - b < 70)
            return ParseSiteDate(Mid(page, b + 1, c - b + static_cast<long>(zone.size()) - 1));
    }
    return 0;
}

int64_t GetClockOffset(bool refresh) {
    if (g_fixed.load()) return g_fixedValue.load();
    if (refresh || !g_measured.load()) {
        TimedRead read;
        for (int i = 0; i < kTries && read.site == 0; ++i) read = ReadTimed();
        // The time page failed every time: keep working with what we had.
        if (read.site == 0) return ReadClockOffset();
        std::lock_guard<std::mutex> lock(g_mutex);
        const int64_t whole = FloorDiv(read.receiveMs, 1000) - read.site;
        switch (Judge(read.Lo(), read.Hi(), true)) {
            case Verdict::Taken:
                Store(whole, read.stepMs, read.Lo() + (read.Hi() - read.Lo()) / 2, (read.Hi() - read.Lo() + 1) / 2);
                break;
            case Verdict::Agrees:
                g_offset = whole;
                g_offsetStepMs = read.stepMs;
                g_measuredAtBootMs = GetClock().BootMs();
                break;
            case Verdict::Doubted:
                break;
        }
    }
    int64_t offset = ReadClockOffset();
    WarnIfFarAhead(offset);
    return offset;
}

int64_t ReadClockOffset() {
    if (g_fixed.load()) return g_fixedValue.load();
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_measured.load()) return g_offset;
    return g_offset + StepSeconds(CurrentStepMs() - g_offsetStepMs);
}

int64_t ReadClockOffsetMs() {
    if (!g_fixed.load()) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_fineBoundMs >= 0) return g_fineBootMs + CurrentStepMs();
    }
    return ReadClockOffset() * 1000;
}

int64_t ClockOffsetBoundMs() {
    if (!g_fixed.load()) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_fineBoundMs >= 0) return g_fineBoundMs;
    }
    return IsClockOffsetMeasured() ? 1000 : -1;
}

bool IsClockOffsetMeasured() { return g_fixed.load() || g_measured.load(); }

ClockStatus ReadClockStatus() {
    ClockStatus st;
    st.measured = IsClockOffsetMeasured();
    st.offsetMs = ReadClockOffsetMs();
    st.boundMs = ClockOffsetBoundMs();
    if (!g_fixed.load()) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_measuredAtBootMs != 0) st.measuredAtMs = g_measuredAtBootMs + GetClock().StepMs();
    }
    return st;
}

int64_t WallClockStepMs() { return CurrentStepMs(); }

std::string SiteClockText(const ClockStatus& st) {
    if (!st.measured) return "Site clock: not measured yet";
    std::string when = "pinned";
    if (st.measuredAtMs != 0) {
        const time_t t = static_cast<time_t>(FloorDiv(st.measuredAtMs, 1000));
        struct tm tm {};
        char buf[32];
        if (localtime_r(&t, &tm) && strftime(buf, sizeof buf, "%H:%M:%S", &tm)) when = buf;
    }
    const int64_t mag = st.offsetMs < 0 ? -st.offsetMs : st.offsetMs;
    const int64_t zoneMs = (mag + 30 * 60 * 1000) / 3600000 * 3600000;
    const int64_t err = (st.offsetMs < 0 ? -1 : 1) * (mag - zoneMs);
    char buf[160];
    std::snprintf(buf, sizeof buf, "Site clock: measured %s, this computer %lld.%03lld s %s (within %lld ms)",
                  when.c_str(), static_cast<long long>((err < 0 ? -err : err) / 1000),
                  static_cast<long long>((err < 0 ? -err : err) % 1000), err < 0 ? "behind" : "ahead",
                  static_cast<long long>(st.boundMs));
    return buf;
}

void FixClockOffset(std::optional<int64_t> offset) {
    if (offset) {
        g_fixedValue.store(*offset);
        g_fixed.store(true);
    } else {
        g_fixed.store(false);
    }
}

void SetCachedClockOffset(int64_t offset) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fineBoundMs = -1;
    g_hasCandidate = false;
    g_offset = offset;
    g_offsetStepMs = CurrentStepMs();
    g_measuredAtBootMs = GetClock().BootMs();
    g_measured.store(true);
}

void ForgetClockOffset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_fineBoundMs = -1;
    g_fineBootMs = 0;
    g_hasCandidate = false;
    g_measuredAtBootMs = 0;
    g_measured.store(false);
    g_offset = 0;
    g_offsetStepMs = 0;
}

int64_t CachedClockOffset() { return ReadClockOffset(); }

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

}  // namespace

struct CClockKeeper::State {
    std::mutex mutex;
    std::condition_variable wake;
    bool wanted = false;
    bool stop = false;
    int done = 0;
    int started = 0, finished = 0;  // reads of the time page
    std::atomic<bool> abort{false};  // ends a fetch in progress at Stop
    std::thread thread;

    // Waits until the boot clock reads atMs (or Stop); false when stopping.
    bool SleepUntil(int64_t atMs) {
        const int64_t wait = atMs - GetClock().BootMs();
        std::unique_lock<std::mutex> lock(mutex);
        if (wait > 0) wake.wait_for(lock, std::chrono::milliseconds(wait), [&] { return stop; });
        return !stop;
    }
    bool Stopping() {
        std::lock_guard<std::mutex> lock(mutex);
        return stop;
    }
    TimedRead Read() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++started;
        }
        TimedRead r = ReadTimed();
        std::lock_guard<std::mutex> lock(mutex);
        ++finished;
        return r;
    }
    // False when the series was kept aside for want of a second opinion.
    bool Measure();
};

// Several reads of the time page, each sent so that the middle of its round
// trip falls where the current estimate puts the site's change of second.
// Each read then cuts the interval the offset may lie in about in half (it
// cannot get narrower than the round trip), so a few reads pin it down.
bool CClockKeeper::State::Measure() {
    TimedRead read;
    for (int i = 0; i < kTries && read.site == 0 && !Stopping(); ++i) read = Read();
    // The time page failed every time: keep working with what we had.
    if (read.site == 0) return true;
    // With nothing measured yet the rows count down by local time and a
    // parse reads the time page itself: the first read stands until the
    // series is done, a few seconds later.
    if (!g_measured.load()) {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_measured.load())
            Store(FloorDiv(read.receiveMs, 1000) - read.site, read.stepMs,
                  read.Lo() + (read.Hi() - read.Lo()) / 2, (read.Hi() - read.Lo() + 1) / 2);
    }
    int64_t lo = read.Lo(), hi = read.Hi();
    int64_t roundTrip = read.RoundTrip();
    for (int n = 1; n < kMaxReads && hi - lo > std::max(roundTrip + kMinGainMs, kGoodEnoughMs); ++n) {
        // The site's second turns at boot-clock instants k*1000 + offset.
        const int64_t aim = lo + (hi - lo) / 2 - roundTrip / 2;
        const int64_t earliest = GetClock().BootMs() + 10;
        const int64_t sendAt = earliest + ((aim - earliest) % 1000 + 1000) % 1000;
        if (!SleepUntil(sendAt)) break;
        TimedRead next = Read();
        if (next.site == 0) break;  // keep what the earlier reads said
        read = next;
        // A read held up on the way says little; it does not end the series.
        const bool slow = next.RoundTrip() > 2 * roundTrip + kMinGainMs;
        roundTrip = std::min(roundTrip, next.RoundTrip());
        const int64_t nlo = std::max(lo, next.Lo()), nhi = std::min(hi, next.Hi());
        if (nlo >= nhi) {
            // No offset fits both: one of the pages lied (a stale copy, a
            // page dated hours ahead). Start again from the newest; what the
            // series ends with still needs the estimate's or a second
            // series' word before it is taken.
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
    int64_t whole = 0;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (Judge(lo, hi, false) == Verdict::Doubted) return false;
        const int64_t wholeStep = hi - lo < 1000 ? CurrentStepMs() : read.stepMs;
        whole = hi - lo < 1000 ? FloorDiv(mid + wholeStep + 500, 1000) : FloorDiv(read.receiveMs, 1000) - read.site;
        Store(whole, wholeStep, mid, (hi - lo + 1) / 2);
    }
    WarnIfFarAhead(whole);
    return true;
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
            int64_t step = CurrentStepMs();
            std::unique_lock<std::mutex> lock(st.mutex);
            for (;;) {
                // A stepped local clock makes the estimate wrong by the step.
                st.wake.wait_for(lock, std::chrono::milliseconds(kStepPollMs), [&] { return st.wanted || st.stop; });
                if (st.stop) break;
                const int64_t nowStep = CurrentStepMs();
                if (nowStep - step > kStepMs || step - nowStep > kStepMs) st.wanted = true;
                if (!st.wanted) continue;
                st.wanted = false;
                step = nowStep;
                lock.unlock();
                const bool settled = st.Measure();
                lock.lock();
                ++st.done;
                // A measurement that moved the offset far waits for a
                // second one, at once.
                if (!settled) st.wanted = true;
            }
            lock.unlock();
            SetFetchAbortFlag(nullptr);
        });
    }
    st.wake.notify_all();
}

int CClockKeeper::ReadsStarted() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->started;
}

int CClockKeeper::ReadsFinished() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->finished;
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
    // The difference holds the site's zone (whole hours) as well as the
    // clocks' error; the error alone is what a user can put right.
    const ClockStatus st = ReadClockStatus();
    if (st.measured && st.boundMs >= 0 && st.boundMs < 1000) {
        const int64_t mag = st.offsetMs < 0 ? -st.offsetMs : st.offsetMs;
        const int64_t zoneMs = (mag + 30 * 60 * 1000) / 3600000 * 3600000;
        const int64_t err = (st.offsetMs < 0 ? -1 : 1) * (mag - zoneMs);
        const int64_t e = err < 0 ? -err : err;
        char line[160];
        std::snprintf(line, sizeof line,
                      "The site keeps Pacific time; this computer's clock is %lld.%03lld s %s the site's "
                      "(within %lld ms).\n",
                      static_cast<long long>(e / 1000), static_cast<long long>(e % 1000),
                      err < 0 ? "behind" : "ahead of", static_cast<long long>(st.boundMs));
        text += line;
    }
    // A whole number of hours is the gap between the site's zone and ours;
    // up to a minute short of it is fine too, whichever clock is ahead.
    const int64_t minutes = offset / 60 - (offset / 3600) * 60;
    if (minutes != 0 && minutes != 59 && minutes != -59)
        text += "\nYou system clock need adjustment.";
    return text;
}

}  // namespace bexora
