#pragma once
// The site's own clock: US Pacific time with daylight saving, worked out from
// UTC here so that the machine's TZ setting never changes what pages show.

#include <cstdint>
#include <string>

namespace bexora::auction {

struct PacificTime {
    int year = 1970, month = 1, day = 1;  // month 1..12
    int hour = 0, minute = 0, second = 0;
    int weekday = 0;  // 0 = Sunday
    bool dst = false;
};

// True when US daylight saving is in force at the UTC instant: from the
// second Sunday of March 2:00 PST (10:00 UTC) to the first Sunday of
// November 2:00 PDT (09:00 UTC).
bool IsPacificDst(int64_t utc);
PacificTime ToPacific(int64_t utc);

// "Nov-11-06 14:23:45 PST": the end-time form of item pages and titles.
std::string FormatItemDate(int64_t utc);
// "Saturday, Nov 11, 2006 14:23:45 PST": the official time page.
std::string FormatTimePageDate(int64_t utc);
// "Nov 11, 2006 14:23:45 PST": dates in page bodies.
std::string FormatLongDate(int64_t utc);
// "2 days 3 hours", "45 mins 10 secs", "Ended".
std::string FormatTimeLeft(int64_t seconds);

// Days since 1970-01-01 for a civil date, and back.
int64_t DaysFromCivil(int y, int m, int d);
void CivilFromDays(int64_t days, int& y, int& m, int& d);

// Money is held in whole cents.
// "US $1,234.50"
std::string FormatUsd(int64_t cents);
// The amount from a price text: from its first digit on, commas removed, a
// decimal number ("US $12.50", " $12.50", "12.5", "1,200"). -1 without a
// digit or when the amount is absurdly large.
int64_t ParseAmountCents(const std::string& text);
// The site's bid increment at a given price.
int64_t BidIncrement(int64_t priceCents);

}  // namespace bexora::auction
