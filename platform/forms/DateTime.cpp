#include "DateTime.h"

#include "RuntimeError.h"
#include "Strings.h"
#include "platform/system/Machine.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace forms {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kUnixDayOfSerialZero = -25569; // 1899-12-30 counted from 1970-01-01
// 100-01-01 and 9999-12-31, the run-time's range.
constexpr int64_t kMinDay = -657434;
constexpr int64_t kMaxDay = 2958465;

int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    int64_t year;
    int month, day;
};

Civil civilFromDays(int64_t z) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {y + (m <= 2), m, d};
}

bool isLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int daysInMonth(int64_t y, int m) {
    static const int n[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : n[m - 1];
}

// A value split into its calendar day (serial day number) and second of the day.
struct Parts {
    int64_t day;
    int64_t sec;
};

Parts split(DateTime d) {
    const double v = d.value;
    if (!std::isfinite(v) || v < kMinDay - 1 || v > kMaxDay + 1) raise(err::Overflow);
    int64_t day = static_cast<int64_t>(std::trunc(v));
    const double frac = std::fabs(v - static_cast<double>(day));
    int64_t sec = static_cast<int64_t>(std::llround(frac * kSecondsPerDay));
    if (sec >= kSecondsPerDay) {
        sec -= kSecondsPerDay;
        ++day;
    }
    return {day, sec};
}

DateTime join(int64_t day, int64_t sec) {
    const double frac = static_cast<double>(sec) / kSecondsPerDay;
    return DateTime(day >= 0 ? static_cast<double>(day) + frac : static_cast<double>(day) - frac);
}

double linear(DateTime d) { return d.linear(); }

DateTime fromLinear(double x) {
    const double day = std::floor(x);
    const double frac = x - day;
    return DateTime(day >= 0 ? day + frac : day - frac);
}

void checkDay(int64_t day) {
    if (day < kMinDay || day > kMaxDay) raise(err::InvalidProcedureCall);
}

Civil civil(DateTime d) { return civilFromDays(split(d).day + kUnixDayOfSerialZero); }

int64_t serialDay(int64_t y, int m, int d) { return daysFromCivil(y, m, d) - kUnixDayOfSerialZero; }

// Year and month moved by a number of months, the day kept or clamped to the month's end.
int64_t addMonths(int64_t day, int64_t months) {
    const Civil c = civilFromDays(day + kUnixDayOfSerialZero);
    const int64_t total = c.year * 12 + (c.month - 1) + months;
    const int64_t y = floorDiv(total, 12);
    const int m = static_cast<int>(total - y * 12) + 1;
    if (y < 100 || y > 9999) raise(err::InvalidProcedureCall);
    return serialDay(y, m, std::min(c.day, daysInMonth(y, m)));
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string twoDigits(int64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02lld", static_cast<long long>(v));
    return buf;
}

// ---- Reading dates ------------------------------------------------------------------------

struct Parsed {
    std::optional<int64_t> day; // serial day number
    std::optional<int64_t> sec; // second of the day
};

int fullYear(int64_t y, size_t digits) {
    if (digits <= 2 && y < 100) return static_cast<int>(y < 30 ? 2000 + y : 1900 + y);
    return static_cast<int>(y);
}

std::optional<int64_t> makeDay(int64_t y, int64_t m, int64_t d) {
    if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, static_cast<int>(m)))
        return std::nullopt;
    return serialDay(y, static_cast<int>(m), static_cast<int>(d));
}

struct Num {
    int64_t v;
    size_t digits;
};

// Date from its numbers in the order written; zh-CN reads y-m-d first.
std::optional<int64_t> dateFromNumbers(const std::vector<Num>& n, bool chineseMarks) {
    if (n.size() == 3) {
        if (n[0].digits >= 3 || n[0].v > 31 || chineseMarks)
            return makeDay(fullYear(n[0].v, n[0].digits), n[1].v, n[2].v);
        if (n[2].digits >= 3 || n[2].v > 31) {
            const int y = fullYear(n[2].v, n[2].digits);
            if (auto d = makeDay(y, n[0].v, n[1].v)) return d; // month/day/year
            return makeDay(y, n[1].v, n[0].v);                 // day/month/year
        }
        return makeDay(fullYear(n[0].v, n[0].digits), n[1].v, n[2].v);
    }
    if (n.size() == 2) {
        if (n[0].digits >= 3 || n[0].v > 31) return makeDay(fullYear(n[0].v, n[0].digits), n[1].v, 1);
        if (auto d = makeDay(Year(Now()), n[0].v, n[1].v)) return d;
        if (n[1].digits >= 3 || n[1].v > 31) return makeDay(fullYear(n[1].v, n[1].digits), n[0].v, 1);
        return std::nullopt;
    }
    return std::nullopt;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<Parsed> parseDate(std::string_view s) {
    // Split into words at blanks; "上午"/"下午"/"AM"/"PM" may stand apart or touch the time.
    std::string text(s);
    auto replaceAll = [&](const std::string& from, const std::string& to) {
        for (size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size()))
            text.replace(p, from.size(), to);
    };
    int meridiem = 0; // 1 AM, 2 PM
    auto takeMark = [&](const std::string& mark, int which) {
        const size_t p = text.find(mark);
        if (p == std::string::npos) return;
        if (meridiem) meridiem = -1;
        else meridiem = which;
        text.replace(p, mark.size(), " ");
    };
    takeMark("上午", 1);
    takeMark("下午", 2);
    for (const char* m : {"AM", "am", "Am", "aM"}) takeMark(m, 1);
    for (const char* m : {"PM", "pm", "Pm", "pM"}) takeMark(m, 2);
    if (meridiem < 0) return std::nullopt;
    replaceAll("年", "-");
    replaceAll("月", "-");
    replaceAll("日", " ");
    const bool chineseMarks = s.find("年") != std::string_view::npos;

    std::vector<std::string> words;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!cur.empty()) words.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) words.push_back(cur);
    if (words.empty() || words.size() > 2) return std::nullopt;

    Parsed out;
    for (const auto& w : words) {
        // Numbers and the one kind of separator the word uses.
        std::vector<Num> nums;
        char sep = 0;
        size_t i = 0;
        bool ok = true;
        while (i < w.size()) {
            if (isDigit(w[i])) {
                int64_t v = 0;
                size_t k = i;
                while (k < w.size() && isDigit(w[k]) && k - i < 9) v = v * 10 + (w[k++] - '0');
                if (k < w.size() && isDigit(w[k])) return std::nullopt;
                nums.push_back({v, k - i});
                i = k;
                if (i == w.size()) break;
                const char c = w[i];
                if (c != ':' && c != '-' && c != '/' && c != '.') {
                    ok = false;
                    break;
                }
                if (sep && sep != c) {
                    ok = false;
                    break;
                }
                sep = c;
                ++i;
                // A trailing separator is allowed only where "年月" left one ("2026-12-").
                if (i == w.size() && !(c == '-' && chineseMarks)) ok = false;
            } else {
                ok = false;
                break;
            }
        }
        if (!ok || nums.empty()) return std::nullopt;
        // Points separate only a full year, month and day ("2026.12.10"), never a decimal number.
        if (sep == '.' && (nums.size() != 3 || nums[0].digits != 4)) return std::nullopt;
        if (sep == ':') {
            if (out.sec || nums.size() < 2 || nums.size() > 3) return std::nullopt;
            int64_t h = nums[0].v, m = nums[1].v, sec = nums.size() == 3 ? nums[2].v : 0;
            if (meridiem) {
                if (h < 1 || h > 12) return std::nullopt;
                h = h % 12 + (meridiem == 2 ? 12 : 0);
            }
            if (h > 23 || m > 59 || sec > 59) return std::nullopt;
            out.sec = h * 3600 + m * 60 + sec;
        } else {
            if (out.day || nums.size() < 2) return std::nullopt;
            out.day = dateFromNumbers(nums, chineseMarks);
            if (!out.day) return std::nullopt;
        }
    }
    if (meridiem && !out.sec) return std::nullopt;
    return out;
}

Parsed parseOrRaise(std::string_view s) {
    auto p = parseDate(s);
    if (!p) raise(err::TypeMismatch);
    return *p;
}

const char* const kWeekdays[] = {"星期日", "星期一", "星期二", "星期三", "星期四", "星期五", "星期六"};
const char* const kMonths[] = {"一月", "二月", "三月", "四月", "五月", "六月",
                               "七月", "八月", "九月", "十月", "十一月", "十二月"};

} // namespace

DateTime operator+(DateTime d, double days) { return fromLinear(linear(d) + days); }
DateTime operator-(DateTime d, double days) { return fromLinear(linear(d) - days); }
double operator-(DateTime a, DateTime b) { return linear(a) - linear(b); }
DateTime operator+(DateTime a, DateTime b) { return fromLinear(linear(a) + linear(b)); }

DateTime fromLocalMs(int64_t localMs) {
    const int64_t secs = floorDiv(localMs, 1000);
    const int64_t days = floorDiv(secs, kSecondsPerDay);
    return join(days - kUnixDayOfSerialZero, secs - days * kSecondsPerDay);
}

int64_t toLocalMs(DateTime d) {
    const Parts p = split(d);
    return ((p.day + kUnixDayOfSerialZero) * kSecondsPerDay + p.sec) * 1000;
}

DateTime Now() { return fromLocalMs(sys::Machine::current().clock().localMs()); }
DateTime Date() { return DateTime(static_cast<double>(split(Now()).day)); }
DateTime Time() { return join(0, split(Now()).sec); }

double Timer() {
    const int64_t ms = sys::Machine::current().clock().localMs();
    return static_cast<double>(ms - floorDiv(ms, kSecondsPerDay * 1000) * kSecondsPerDay * 1000) / 1000.0;
}

int Year(DateTime d) { return static_cast<int>(civil(d).year); }
int Month(DateTime d) { return civil(d).month; }
int Day(DateTime d) { return civil(d).day; }
int Hour(DateTime d) { return static_cast<int>(split(d).sec / 3600); }
int Minute(DateTime d) { return static_cast<int>(split(d).sec / 60 % 60); }
int Second(DateTime d) { return static_cast<int>(split(d).sec % 60); }

int Weekday(DateTime d, int firstDayOfWeek) {
    if (firstDayOfWeek == vbUseSystemDayOfWeek) firstDayOfWeek = vbSunday;
    if (firstDayOfWeek < vbSunday || firstDayOfWeek > vbSaturday) raise(err::InvalidProcedureCall);
    // Serial day 0 (1899-12-30) was a Saturday.
    const int sunday0 = static_cast<int>(((split(d).day + 6) % 7 + 7) % 7); // 0 = Sunday
    return (sunday0 - (firstDayOfWeek - 1) + 7) % 7 + 1;
}

std::string WeekdayName(int weekday, bool abbreviate, int firstDayOfWeek) {
    (void)abbreviate; // the zh-CN short and long names are the same
    if (firstDayOfWeek == vbUseSystemDayOfWeek) firstDayOfWeek = vbSunday;
    if (weekday < 1 || weekday > 7 || firstDayOfWeek < vbSunday || firstDayOfWeek > vbSaturday)
        raise(err::InvalidProcedureCall);
    return kWeekdays[(weekday - 1 + firstDayOfWeek - 1) % 7];
}

std::string MonthName(int month, bool abbreviate) {
    (void)abbreviate;
    if (month < 1 || month > 12) raise(err::InvalidProcedureCall);
    return kMonths[month - 1];
}

DateTime DateSerial(int year, int month, int day) {
    int64_t y = year;
    if (y >= 0 && y < 100) y = fullYear(y, 2);
    const int64_t total = y * 12 + (static_cast<int64_t>(month) - 1);
    const int64_t yy = floorDiv(total, 12);
    const int mm = static_cast<int>(total - yy * 12) + 1;
    if (yy < 0 || yy > 10000) raise(err::InvalidProcedureCall);
    const int64_t serial = serialDay(yy, mm, 1) + (static_cast<int64_t>(day) - 1);
    checkDay(serial);
    return DateTime(static_cast<double>(serial));
}

DateTime TimeSerial(int hour, int minute, int second) {
    const int64_t total = static_cast<int64_t>(hour) * 3600 + static_cast<int64_t>(minute) * 60 + second;
    const int64_t days = floorDiv(total, kSecondsPerDay);
    checkDay(days);
    return join(days, total - days * kSecondsPerDay);
}

DateTime DateAdd(std::string_view interval, double number, DateTime d) {
    const std::string iv = lower(interval);
    const int64_t n = CLng(number);
    const Parts p = split(d);
    int64_t day = p.day, sec = p.sec;
    if (iv == "yyyy") {
        day = addMonths(day, n * 12);
    } else if (iv == "q") {
        day = addMonths(day, n * 3);
    } else if (iv == "m") {
        day = addMonths(day, n);
    } else if (iv == "y" || iv == "d" || iv == "w") {
        day += n;
    } else if (iv == "ww") {
        day += n * 7;
    } else if (iv == "h" || iv == "n" || iv == "s") {
        const int64_t unit = iv == "h" ? 3600 : iv == "n" ? 60 : 1;
        const int64_t total = day * kSecondsPerDay + sec + n * unit;
        day = floorDiv(total, kSecondsPerDay);
        sec = total - day * kSecondsPerDay;
    } else {
        raise(err::InvalidProcedureCall);
    }
    checkDay(day);
    return join(day, sec);
}

long DateDiff(std::string_view interval, DateTime d1, DateTime d2, int firstDayOfWeek) {
    const std::string iv = lower(interval);
    if (firstDayOfWeek == vbUseSystemDayOfWeek) firstDayOfWeek = vbSunday;
    if (firstDayOfWeek < vbSunday || firstDayOfWeek > vbSaturday) raise(err::InvalidProcedureCall);
    const Parts a = split(d1), b = split(d2);
    const Civil ca = civilFromDays(a.day + kUnixDayOfSerialZero), cb = civilFromDays(b.day + kUnixDayOfSerialZero);
    const int64_t sa = a.day * kSecondsPerDay + a.sec, sb = b.day * kSecondsPerDay + b.sec;
    int64_t r = 0;
    if (iv == "yyyy") r = cb.year - ca.year;
    else if (iv == "q") r = (cb.year * 4 + (cb.month - 1) / 3) - (ca.year * 4 + (ca.month - 1) / 3);
    else if (iv == "m") r = (cb.year * 12 + cb.month) - (ca.year * 12 + ca.month);
    else if (iv == "y" || iv == "d") r = b.day - a.day;
    else if (iv == "w") r = (b.day - a.day) / 7;
    else if (iv == "ww") {
        // Weeks begin on firstDayOfWeek; serial day 1 (1899-12-31) was a Sunday.
        const int64_t shift = 1 + (firstDayOfWeek - 1);
        r = floorDiv(b.day - shift, 7) - floorDiv(a.day - shift, 7);
    } else if (iv == "h") r = floorDiv(sb, 3600) - floorDiv(sa, 3600);
    else if (iv == "n") r = floorDiv(sb, 60) - floorDiv(sa, 60);
    else if (iv == "s") r = sb - sa;
    else raise(err::InvalidProcedureCall);
    if (r < INT32_MIN || r > INT32_MAX) raise(err::Overflow);
    return static_cast<long>(r);
}

DateTime CDate(std::string_view s) {
    const Parsed p = parseOrRaise(s);
    return join(p.day.value_or(0), p.sec.value_or(0));
}

DateTime DateValue(std::string_view s) {
    const Parsed p = parseOrRaise(s);
    return join(p.day.value_or(0), 0);
}

DateTime TimeValue(std::string_view s) {
    const Parsed p = parseOrRaise(s);
    return join(0, p.sec.value_or(0));
}

bool IsDate(std::string_view s) {
    try {
        return parseDate(s).has_value();
    } catch (const RuntimeError&) {
        return false;
    }
}

std::string FormatDateTime(DateTime d, int namedFormat) {
    const Parts p = split(d);
    const Civil c = civilFromDays(p.day + kUnixDayOfSerialZero);
    const std::string y = std::to_string(c.year), m = std::to_string(c.month), dd = std::to_string(c.day);
    const std::string longTime =
        std::to_string(p.sec / 3600) + ":" + twoDigits(p.sec / 60 % 60) + ":" + twoDigits(p.sec % 60);
    switch (namedFormat) {
    case vbGeneralDate:
        if (p.day == 0) return longTime;
        if (p.sec == 0) return y + "-" + m + "-" + dd;
        return y + "-" + m + "-" + dd + " " + longTime;
    case vbLongDate: return y + "年" + m + "月" + dd + "日";
    case vbShortDate: return y + "-" + m + "-" + dd;
    case vbLongTime: return longTime;
    case vbShortTime: return twoDigits(p.sec / 3600) + ":" + twoDigits(p.sec / 60 % 60);
    default: raise(err::InvalidProcedureCall);
    }
}

std::string CStr(DateTime d) { return FormatDateTime(d, vbGeneralDate); }

} // namespace forms
