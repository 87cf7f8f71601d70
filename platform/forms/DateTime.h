#pragma once
// Dates and times of the forms run-time, on the machine's clock, with the fixed zh-CN formats:
// short date "yyyy-M-d", long date "yyyy年M月d日", long time "H:mm:ss", general date
// "yyyy-M-d H:mm:ss" (a value without a time shows the date only, one without a date the time only).
#include <cmath>
#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace forms {

// A date and time as the run-time holds it: days since 1899-12-30, the fraction the time of day.
// Before that day the value is negative but its fraction still counts forward from midnight
// (-1.25 is 1899-12-29 06:00), so use the operators below, not plain double arithmetic.
struct DateTime {
    double value = 0;
    constexpr DateTime() = default;
    constexpr explicit DateTime(double v) : value(v) {}
    // Days on a straight time line (the same as value from 1899-12-30 on).
    double linear() const {
        const double day = std::trunc(value);
        return day + std::fabs(value - day);
    }
    bool operator==(const DateTime& o) const { return value == o.value; }
    std::partial_ordering operator<=>(const DateTime& o) const { return linear() <=> o.linear(); }
};

enum VbDayOfWeek { vbUseSystemDayOfWeek = 0, vbSunday = 1, vbMonday, vbTuesday, vbWednesday, vbThursday,
                   vbFriday, vbSaturday };
enum VbDateTimeFormat { vbGeneralDate = 0, vbLongDate = 1, vbShortDate = 2, vbLongTime = 3, vbShortTime = 4 };

// Time line arithmetic in days (fractions allowed).
DateTime operator+(DateTime d, double days);
DateTime operator-(DateTime d, double days);
double operator-(DateTime a, DateTime b);
// A date plus a time of day (or any two values added on the time line).
DateTime operator+(DateTime a, DateTime b);

// Local wall time (ms since 1970 local, the machine clock's unit) and back; whole seconds.
DateTime fromLocalMs(int64_t localMs);
int64_t toLocalMs(DateTime d);

// The machine's local clock (sys::Machine::current()), to the second as the run-time gives it.
DateTime Now();
DateTime Date(); // today at midnight
DateTime Time(); // the time of day alone
// Seconds since local midnight, with fractions.
double Timer();

int Year(DateTime d);
int Month(DateTime d);
int Day(DateTime d);
int Hour(DateTime d);
int Minute(DateTime d);
int Second(DateTime d);
// 1 to 7, 1 being firstDayOfWeek (Sunday by default, as the system's setting is here).
int Weekday(DateTime d, int firstDayOfWeek = vbSunday);
// The day's name in Chinese ("星期一"), weekday counted from firstDayOfWeek.
std::string WeekdayName(int weekday, bool abbreviate = false, int firstDayOfWeek = vbSunday);
std::string MonthName(int month, bool abbreviate = false);

// Out-of-range months, days and times carry over (month 13 is January of the next year, day 0 the
// last day of the previous month); years 0-29 mean 2000-2029, 30-99 mean 1930-1999. A result outside
// the years 100 to 9999 raises 5.
DateTime DateSerial(int year, int month, int day);
DateTime TimeSerial(int hour, int minute, int second);

// Intervals "yyyy", "q", "m", "y", "d", "w", "ww", "h", "n", "s" (any case); another raises 5.
// A month step keeps the day when the month has it, else gives the month's last day.
DateTime DateAdd(std::string_view interval, double number, DateTime d);
// Boundaries crossed from d1 to d2 (so "h" from 10:59 to 11:00 is 1); "w" counts whole weeks.
long DateDiff(std::string_view interval, DateTime d1, DateTime d2, int firstDayOfWeek = vbSunday);

// Reading text as a date: "2026-12-10", "2026/12/10", "2026年12月10日", "12-10" and "12月10日" (this
// year), "12/10/2026", each optionally with a time "14:30", "14:30:05", "2:30 PM", "下午 2:30";
// or a time alone. A text that is not a date raises 13 (IsDate answers False).
DateTime CDate(std::string_view s);
DateTime DateValue(std::string_view s); // the date part alone
DateTime TimeValue(std::string_view s); // the time part alone
bool IsDate(std::string_view s);

// The general date text ("2026-12-10 9:05:00", "2026-12-10" at midnight, "9:05:00" without a date).
std::string CStr(DateTime d);
std::string FormatDateTime(DateTime d, int namedFormat = vbGeneralDate);

} // namespace forms
