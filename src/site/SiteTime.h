#pragma once
// The site's clock. Auction end times are written in the site's own zone
// (Pacific time, "PST"/"PDT"); ParseSiteDate reads such a text as if it were
// local wall-clock time, and the clock offset (local clock minus the site
// clock read the same way) turns those values into local instants:
//
//   local instant = site time value + offset
//   time left     = end time + offset - local now
//
// The offset is one process-wide value shared by the UI thread and the
// workers; it is read and written atomically. It is kept against the boot
// clock, which nobody sets, so a step of the computer's clock (NTP after a
// resume, a restored virtual machine) changes the offset read from then on
// by exactly the step, before the time page is read again. A measurement
// that would move the offset beyond the bound of the estimate there is
// waits for a second one that agrees: one odd time page moves nothing.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace bexora {

// A site date-time ("Nov-11-06 14:23:45 PST", "Nov 11, 2006 14:23:45 PDT",
// "11-Nov-06 14:23:45 BST") as a time value in the local zone (TZ), with
// daylight saving taken from the zone letters. 0 when unreadable.
int64_t ParseSiteDate(const std::string& text);

// The site's current time from its official time page as a site time value;
// 0 when the page cannot be fetched or read.
int64_t GetSiteTime();
// What GetSiteTime reads from the time page it fetched (the raw page, tags
// and all): the site time value after "The official eBay Time is now:", or
// 0 when the page does not show one.
int64_t ReadSiteTimePage(std::string page);
class CSiteProfile;
int64_t ReadSiteTimePage(std::string page, const CSiteProfile& profile);

// Local clock minus site clock, in seconds. With refresh (or while nothing
// was measured yet) the time page is read, up to three tries; when all fail
// the old value stays. Warns "Your system clock must be set wrong. Please
// check it!" while the local clock is 37 hours or more ahead; the warning
// goes to the UI thread (PostPrompt) and only one is open at a time.
// Fetches: never call it on a UI thread, use ReadClockOffset there.
int64_t GetClockOffset(bool refresh);
// The offset as it is now, without a fetch: the pinned one, else the last
// measured one (0 while none was measured). For UI threads.
int64_t ReadClockOffset();
// The same offset in milliseconds, for timing a snipe to the millisecond:
// the finest estimate there is (the pinned or cached whole seconds x 1000
// until something finer was measured). ClockOffsetBoundMs is how far the
// true offset may lie from it either way; -1 when nothing was measured.
int64_t ReadClockOffsetMs();
int64_t ClockOffsetBoundMs();
// Whether a measurement (or a pin) stands behind ReadClockOffset. An offset
// of 0 is a real measurement for a right clock in the site's zone.
bool IsClockOffsetMeasured();

// What is known of the site's clock, for the user: the offset (ms) and its
// bound (-1: nothing measured), and when it was last measured (local wall
// clock, ms; 0 never or pinned).
struct ClockStatus {
    bool measured = false;
    int64_t offsetMs = 0;
    int64_t boundMs = -1;
    int64_t measuredAtMs = 0;
};
ClockStatus ReadClockStatus();
// The status for the user: "Site clock: measured 10:42:07, this computer
// 0.012 s ahead (within 8 ms)". The offset holds the site's zone in whole
// hours; the clock's own error is what is left of it.
std::string SiteClockText(const ClockStatus& st);
// How far the wall clock stands from the boot clock now (ms): a change is a
// step of the computer's clock.
int64_t WallClockStepMs();

// Pins the offset: while set, GetClockOffset returns it and never fetches
// or warns (bexora-cli parse-page --offset, benchmarks). nullopt unpins.
void FixClockOffset(std::optional<int64_t> offset);
// Test seams: the cached value as if it had been measured, and back to
// nothing measured.
void SetCachedClockOffset(int64_t offset);
void ForgetClockOffset();
int64_t CachedClockOffset();

// Reads the time page on a thread of its own, so that no UI thread waits
// for the time host: RequestRead asks for one measurement (requests that
// come while one is waiting count once) and returns at once. A measurement
// is a short series of reads timed against the site's change of second; it
// leaves the millisecond estimate and its bound (ReadClockOffsetMs,
// ClockOffsetBoundMs) and the whole seconds (ReadClockOffset) in the shared
// cache. Once started, the keeper also measures again by itself when the
// local clock is stepped. Stopping ends a fetch in progress.
class CClockKeeper {
public:
    CClockKeeper();
    ~CClockKeeper();
    CClockKeeper(const CClockKeeper&) = delete;
    CClockKeeper& operator=(const CClockKeeper&) = delete;

    void RequestRead();
    // Measurements finished so far (tests).
    int ReadsDone() const;
    // Reads of the time page started and finished (answered or not): once
    // a read started after some moment has finished, the offset has been
    // checked since.
    int ReadsStarted() const;
    int ReadsFinished() const;
    void Stop();

    // Test seam: where the offset and the keeper read how far the wall
    // clock stands from the boot clock (a jump means the local clock was
    // stepped); nullptr: the installed clock's StepMs.
    static void SetStepSource(int64_t (*source)());

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A signed span of seconds in the time-span codes: %D whole days, %H hours
// of the day (00-23), %M minutes (00-59), %S seconds (00-59), %% a percent
// sign; other characters are copied. A negative span prints its magnitude
// with one "-" in front of the first code ("-09 hours, 00 mins, 30 secs").
std::string FormatTimeSpan(int64_t seconds, const char* format);

// A time value as local date and time ("%x %X" of the current C locale).
std::string FormatLocalTime(int64_t t);

// The text of the "Get eBay Time" command: site time, local time, their
// difference, and a hint when the difference is not a whole number of hours
// give or take a minute. Measures the offset afresh.
std::string SiteTimeReport();

}  // namespace bexora
