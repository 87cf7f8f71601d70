#include "platform/forms/DateTime.h"
#include "platform/forms/Format.h"
#include "support.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <functional>

using namespace forms;
using testing_support::TestMachine;

namespace {
// The machine starts on Thursday 2026-12-10 09:00:00 local.
DateTime at(const char* text) { return CDate(text); }
} // namespace

TEST(DateTime, MachineClock) {
    TestMachine m;
    EXPECT_EQ(CStr(Now()), "2026-12-10 9:00:00");
    m->clock().advance(90'500);
    EXPECT_EQ(CStr(Now()), "2026-12-10 9:01:30"); // whole seconds
    EXPECT_EQ(CStr(Date()), "2026-12-10");
    EXPECT_EQ(CStr(Time()), "9:01:30");
    EXPECT_DOUBLE_EQ(Timer(), 9 * 3600 + 90.5);
    m->clock().advance(15 * 3600 * 1000);
    EXPECT_EQ(CStr(Date()), "2026-12-11");
    EXPECT_DOUBLE_EQ(Timer(), 90.5);
}

TEST(DateTime, LocalTimeRoundTrips) {
    for (int64_t ms : {sys::localMsFrom(2026, 12, 10, 9, 5, 7), sys::localMsFrom(1960, 1, 1, 12, 0, 1),
                       sys::localMsFrom(1899, 12, 29, 6, 0, 0), sys::localMsFrom(2000, 2, 29, 23, 59, 59)}) {
        EXPECT_EQ(toLocalMs(fromLocalMs(ms + 999)), ms) << ms;
    }
    EXPECT_EQ(CStr(fromLocalMs(sys::localMsFrom(1960, 1, 1, 12, 0, 1))), "1960-1-1 12:00:01");
}

TEST(DateTime, PartsAndWeekdays) {
    const DateTime d = DateSerial(2026, 12, 10) + TimeSerial(21, 5, 7).value;
    EXPECT_EQ(Year(d), 2026);
    EXPECT_EQ(Month(d), 12);
    EXPECT_EQ(Day(d), 10);
    EXPECT_EQ(Hour(d), 21);
    EXPECT_EQ(Minute(d), 5);
    EXPECT_EQ(Second(d), 7);
    EXPECT_EQ(Weekday(d), 5); // Thursday, Sunday being 1
    EXPECT_EQ(Weekday(d, vbMonday), 4);
    EXPECT_EQ(Weekday(DateSerial(2026, 12, 13)), 1);
    EXPECT_EQ(Weekday(DateSerial(2026, 12, 12)), 7);
    EXPECT_EQ(WeekdayName(Weekday(d)), "星期四");
    // Before 1899-12-30 the fraction still runs forward from midnight.
    const DateTime early = DateSerial(1899, 12, 29) + 0.25;
    EXPECT_DOUBLE_EQ(early.value, -1.25);
    EXPECT_EQ(Hour(early), 6);
    EXPECT_EQ(CStr(early), "1899-12-29 6:00:00");
    EXPECT_DOUBLE_EQ(early - DateSerial(1899, 12, 31), -1.75);
    EXPECT_LT(DateSerial(1899, 12, 29), early); // ordered on the time line, not by the raw value
    EXPECT_LT(early, DateSerial(1899, 12, 30));
    EXPECT_EQ(CStr(DateSerial(2026, 12, 10) + TimeSerial(14, 30, 0)), "2026-12-10 14:30:00");
}

TEST(DateTime, SerialsCarryOver) {
    struct Case {
        int y, m, d;
        const char* expected;
    };
    const Case cases[] = {
        {2026, 13, 1, "2027-1-1"}, {2026, 3, 0, "2026-2-28"}, {2024, 3, 0, "2024-2-29"}, {26, 1, 5, "2026-1-5"},
        {30, 1, 1, "1930-1-1"},    {2026, 1, -1, "2025-12-30"}, {2026, 0, 1, "2025-12-1"}, {99, 12, 31, "1999-12-31"},
    };
    for (const auto& c : cases) EXPECT_EQ(CStr(DateSerial(c.y, c.m, c.d)), c.expected) << c.y << "-" << c.m << "-" << c.d;
    EXPECT_EQ(errorOf([] { DateSerial(10000, 1, 1); }), 5);
    EXPECT_EQ(CStr(TimeSerial(9, 65, 0)), "10:05:00");
    EXPECT_EQ(CStr(TimeSerial(25, 0, 0)), "1899-12-31 1:00:00");
    EXPECT_EQ(CStr(TimeSerial(0, 0, -1)), "1899-12-29 23:59:59");
}

TEST(DateTime, DateAdd) {
    TestMachine m;
    struct Case {
        const char* interval;
        double n;
        const char* from;
        const char* expected;
    };
    const Case cases[] = {
        {"m", 1, "2026-1-31 9:00", "2026-2-28 9:00:00"},  {"M", 13, "2026-1-31 9:00", "2027-2-28 9:00:00"},
        {"yyyy", -2, "2024-2-29", "2022-2-28"},           {"q", 1, "2026-1-31", "2026-4-30"},
        {"d", 1, "2026-1-31 9:00", "2026-2-1 9:00:00"},   {"d", -4, "2026-12-14", "2026-12-10"},
        {"d", 2.5, "2026-1-1", "2026-1-3"},               {"ww", 1, "2026-1-31", "2026-2-7"},
        {"h", 15, "2026-1-31 9:00", "2026-2-1"},          {"n", -541, "2026-1-31 9:00", "2026-1-30 23:59:00"},
        {"s", 86400, "2026-1-31 9:00", "2026-2-1 9:00:00"}, {"h", 5, "21:30:00", "1899-12-31 2:30:00"},
        {"d", 1, "1899-12-29 6:00", "6:00:00"}, // day 0 shows no date
    };
    for (const auto& c : cases)
        EXPECT_EQ(CStr(DateAdd(c.interval, c.n, at(c.from))), c.expected) << c.interval << " " << c.n << " " << c.from;
    EXPECT_EQ(errorOf([] { DateAdd("x", 1, Now()); }), 5);
    EXPECT_EQ(errorOf([] { DateAdd("yyyy", 8000, Now()); }), 5);
}

TEST(DateTime, DateDiffCountsBoundaries) {
    TestMachine m;
    struct Case {
        const char* interval;
        const char* a;
        const char* b;
        long expected;
        int firstDay = vbSunday;
    };
    const Case cases[] = {
        {"s", "14:30:00", "14:31:05", 65},
        {"s", "14:31:05", "14:30:00", -65},
        {"n", "10:59:59", "11:00:00", 1},
        {"h", "10:59", "11:00", 1},
        {"h", "11:00", "10:59", -1},
        {"d", "2026-12-10 23:59", "2026-12-11 0:01", 1},
        {"m", "2026-1-31", "2026-2-1", 1},
        {"yyyy", "2026-12-31", "2027-1-1", 1},
        {"q", "2026-3-31", "2026-4-1", 1},
        {"w", "2026-12-1", "2026-12-14", 1},
        {"ww", "2026-12-12", "2026-12-13", 1},   // Saturday to Sunday
        {"ww", "2026-12-13", "2026-12-19", 0},   // within one week
        {"ww", "2026-12-13", "2026-12-14", 1, vbMonday},
        {"s", "2026-12-10 23:59:59", "2026-12-11 0:00:01", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateDiff(c.interval, at(c.a), at(c.b), c.firstDay), c.expected) << c.interval << " " << c.a << " " << c.b;
    EXPECT_EQ(errorOf([] { DateDiff("x", Now(), Now()); }), 5);
}

TEST(DateTime, ReadsZhCnTexts) {
    TestMachine m; // texts without a year take the machine's
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"2026-12-10", "2026-12-10"},
        {"2026/12/10", "2026-12-10"},
        {"2026年12月10日", "2026-12-10"},
        {"2026年12月10日 14:30:05", "2026-12-10 14:30:05"},
        {"2026年12月", "2026-12-1"},
        {"12-10", "2026-12-10"},
        {"3月5日", "2026-3-5"},
        {"12/10/2026", "2026-12-10"},
        {"25/12/2026", "2026-12-25"},
        {"26-1-5", "2026-1-5"},
        {"99-1-5", "1999-1-5"},
        {"2026-12", "2026-12-1"},
        {"14:30", "14:30:00"},
        {"14:30:27", "14:30:27"},
        {"2:30 PM", "14:30:00"},
        {"2:30pm", "14:30:00"},
        {"下午 2:30", "14:30:00"},
        {"上午12:00", "0:00:00"},
        {"  2026-12-10   9:05 ", "2026-12-10 9:05:00"},
        {"9:05 2026-12-10", "2026-12-10 9:05:00"},
        {"2026.12.10 14:30", "2026-12-10 14:30:00"},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(IsDate(c.text)) << c.text;
        EXPECT_EQ(CStr(CDate(c.text)), c.expected) << c.text;
    }
    for (const char* bad : {"", "  ", "abc", "2026-13-01", "2026-2-30", "25:00", "12:60", "1.5", "45000",
                            "2026-12-10 9:05 10:00", "13:00 PM", "2026-12/10", "12:30:", "2026-12-10x",
                            "1234567890-1-1", "12.10", "1.5.3"}) {
        EXPECT_FALSE(IsDate(bad)) << bad;
        EXPECT_EQ(errorOf([&] { CDate(bad); }), 13) << bad;
    }
    EXPECT_EQ(CStr(DateValue("2026-12-10 14:30")), "2026-12-10");
    EXPECT_EQ(CStr(TimeValue("2026-12-10 14:30")), "14:30:00");
}

TEST(DateTime, NamedFormats) {
    const DateTime d = DateSerial(2026, 3, 5) + TimeSerial(9, 7, 0).value;
    EXPECT_EQ(CStr(d), "2026-3-5 9:07:00");
    EXPECT_EQ(CStr(DateSerial(2026, 3, 5)), "2026-3-5");
    EXPECT_EQ(CStr(TimeSerial(0, 0, 0)), "0:00:00");
    EXPECT_EQ(FormatDateTime(d, vbShortDate), "2026-3-5");
    EXPECT_EQ(FormatDateTime(d, vbLongDate), "2026年3月5日");
    EXPECT_EQ(FormatDateTime(d, vbLongTime), "9:07:00");
    EXPECT_EQ(FormatDateTime(d, vbShortTime), "09:07");
    // The texts read back to the same value.
    for (int f : {vbGeneralDate, vbLongDate}) EXPECT_EQ(CDate(FormatDateTime(d, f)), f == vbLongDate ? DateSerial(2026, 3, 5) : d);
}
