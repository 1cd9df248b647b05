#include "SiteTime.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace bexora::auction {

namespace {
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Weekday (0 = Sunday) of a day count; 1970-01-01 was a Thursday.
int WeekdayOf(int64_t days) {
    int64_t w = (days + 4) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

// Day count of the n-th Sunday (n >= 1) of a month.
int64_t NthSunday(int year, int month, int n) {
    int64_t first = DaysFromCivil(year, month, 1);
    int wd = WeekdayOf(first);
    int64_t firstSunday = first + (7 - wd) % 7;
    return firstSunday + 7 * (n - 1);
}
}  // namespace

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool IsPacificDst(int64_t utc) {
    // The year of the instant in standard time is good enough: the switches
    // are far from New Year.
    int y, m, d;
    CivilFromDays(FloorDiv(utc - 8 * 3600, 86400), y, m, d);
    int64_t start = NthSunday(y, 3, 2) * 86400 + 10 * 3600;  // 2:00 PST
    int64_t end = NthSunday(y, 11, 1) * 86400 + 9 * 3600;    // 2:00 PDT
    return utc >= start && utc < end;
}

PacificTime ToPacific(int64_t utc) {
    PacificTime t;
    t.dst = IsPacificDst(utc);
    int64_t local = utc + (t.dst ? -7 : -8) * 3600;
    int64_t days = FloorDiv(local, 86400);
    int64_t secs = local - days * 86400;
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>(secs / 60 % 60);
    t.second = static_cast<int>(secs % 60);
    t.weekday = WeekdayOf(days);
    return t;
}

std::string FormatItemDate(int64_t utc) {
    PacificTime t = ToPacific(utc);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s-%02d-%02d %02d:%02d:%02d %s", kMonths[t.month - 1], t.day,
                  t.year % 100, t.hour, t.minute, t.second, t.dst ? "PDT" : "PST");
    return buf;
}

std::string FormatLongDate(int64_t utc) {
    PacificTime t = ToPacific(utc);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %02d, %04d %02d:%02d:%02d %s", kMonths[t.month - 1], t.day,
                  t.year, t.hour, t.minute, t.second, t.dst ? "PDT" : "PST");
    return buf;
}

std::string FormatTimePageDate(int64_t utc) {
    return std::string(kWeekdays[ToPacific(utc).weekday]) + ", " + FormatLongDate(utc);
}

std::string FormatTimeLeft(int64_t s) {
    if (s <= 0) return "Ended";
    char buf[64];
    int64_t days = s / 86400, hours = s / 3600 % 24, mins = s / 60 % 60, secs = s % 60;
    if (days > 0)
        std::snprintf(buf, sizeof buf, "%lld day%s %lld hour%s", (long long)days,
                      days == 1 ? "" : "s", (long long)hours, hours == 1 ? "" : "s");
    else if (hours > 0)
        std::snprintf(buf, sizeof buf, "%lld hour%s %lld min%s", (long long)hours,
                      hours == 1 ? "" : "s", (long long)mins, mins == 1 ? "" : "s");
    else
        std::snprintf(buf, sizeof buf, "%lld min%s %lld sec%s", (long long)mins,
                      mins == 1 ? "" : "s", (long long)secs, secs == 1 ? "" : "s");
    return buf;
}

std::string FormatUsd(int64_t cents) {
    bool negative = cents < 0;
    if (negative) cents = -cents;
    std::string whole = std::to_string(cents / 100);
    std::string grouped;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += ',';
        grouped += whole[i];
    }
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%02lld", (long long)(cents % 100));
    return std::string(negative ? "-" : "") + "US $" + grouped + frac;
}

int64_t ParseAmountCents(const std::string& text) {
    size_t p = text.find_first_of("0123456789");
    if (p == std::string::npos) return -1;
    std::string digits;
    for (size_t i = p; i < text.size(); ++i) {
        char c = text[i];
        if (c == ',') continue;
        if ((c >= '0' && c <= '9') || c == '.')
            digits += c;
        else
            break;
    }
    double v = std::atof(digits.c_str());
    if (!(v >= 0) || v > 1e12) return -1;
    return static_cast<int64_t>(std::llround(v * 100));
}

int64_t BidIncrement(int64_t p) {
    if (p < 100) return 5;
    if (p < 500) return 25;
    if (p < 2500) return 50;
    if (p < 10000) return 100;
    if (p < 25000) return 250;
    if (p < 50000) return 500;
    if (p < 100000) return 1000;
    if (p < 250000) return 2500;
    if (p < 500000) return 5000;
    return 10000;
}

}  // namespace bexora::auction
