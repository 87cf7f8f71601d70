#include "platform/forms/Format.h"
#include "support.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

using namespace forms;

TEST(Format, Numbers) {
    struct Case {
        double v;
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {1.23456, "0.00000", "1.23456"},   {1.2, "0.00000", "1.20000"},     {108.25, "000.00", "108.25"},
        {99.5, "000.00", "099.50"},        {1.234555, "0.00000", "1.23456"}, {5, "00", "05"},
        {123, "00", "123"},                {0, "00", "00"},                  {1234567.891, "#,##0", "1,234,568"},
        {0, "#,##0", "0"},                 {1234.5, "#,##0.00", "1,234.50"}, {-1.5, "0.0", "-1.5"},
        {1.005, "0.00", "1.01"},           {2.5, "0", "3"},                  {-2.5, "0", "-3"},
        {0.5, "#.##", ".5"},               {1.5, ".00", "1.50"},             {0.125, "0%", "13%"},
        {-5, "0;(0)", "(5)"},              {0, "0;-0;零", "零"},             {-0.001, "0.00", "0.00"},
        {5, "\\#0", "#5"},                 {5, "\"价格\"0.0", "价格5.0"},   {12345, "#,##0,", "12"},
        {0.000012, "0.00000", "0.00001"},  {999.999, "0.00", "1000.00"},    {1e20, "0", "100000000000000000000"},
        {1.5, "", "1.5"},                  {1234.5, "Standard", "1,234.50"}, {2, "Fixed", "2.00"},
        {0.25, "Percent", "25.00%"},       {1, "Yes/No", "Yes"},
    };
    for (const auto& c : cases) EXPECT_EQ(Format(c.v, c.pattern), c.expected) << c.v << " \"" << c.pattern << '"';
}

TEST(Format, Dates) {
    const DateTime d = DateSerial(2026, 3, 5) + TimeSerial(9, 7, 8).value;
    const DateTime evening = DateSerial(2026, 12, 10) + TimeSerial(21, 5, 0).value;
    struct Case {
        DateTime d;
        const char* pattern;
        const char* expected;
    };
    const Case cases[] = {
        {d, "yyyy-mm-dd", "2026-03-05"},
        {d, "hh:mm:ss", "09:07:08"},
        {d, "yyyy-mm-dd hh:mm", "2026-03-05 09:07"},
        {d, "hh:nn", "09:07"},
        {d, "yyyy-mm-dd hh:nn:ss", "2026-03-05 09:07:08"},
        {d, "mm/dd hh:nn", "03/05 09:07"},
        {d, "m/d", "3/5"},
        {d, "yyyy年m月d日", "2026年3月5日"},
        {d, "dddd", "星期四"},
        {d, "ddd", "星期四"},
        {d, "mmmm", "三月"},
        {d, "yy", "26"},
        {d, "y", "64"},
        {d, "q", "1"},
        {d, "w", "5"},
        {evening, "ww", "50"},
        {d, "h:m:s", "9:7:8"},
        {d, "mm:ss", "07:08"},
        {d, "ddddd", "2026-3-5"},
        {d, "dddddd", "2026年3月5日"},
        {d, "ttttt", "9:07:08"},
        {d, "c", "2026-3-5 9:07:08"},
        {d, "h:mm AM/PM", "9:07 AM"},
        {evening, "hh:mm AMPM", "09:05 下午"},
        {evening, "h a/p", "9 p"},
        {d, "\\d\\a\\y d", "day 5"},
        {d, "\"at\" hh", "at 09"},
        {d, "General Date", "2026-3-5 9:07:08"},
        {d, "Long Date", "2026年3月5日"},
        {d, "short date", "2026-3-5"},
        {d, "Long Time", "9:07:08"},
        {d, "Short Time", "09:07"},
        {d, "", "2026-3-5 9:07:08"},
    };
    for (const auto& c : cases) EXPECT_EQ(Format(c.d, c.pattern), c.expected) << '"' << c.pattern << '"';
}

TEST(Format, TextsAndVariants) {
    testing_support::TestMachine m;
    EXPECT_EQ(Format("1.5", "0.00"), "1.50");
    EXPECT_EQ(Format(std::string("7"), "00"), "07");
    EXPECT_EQ(Format("2026-3-5 14:30", "mm/dd hh:nn"), "03/05 14:30");
    EXPECT_EQ(Format("abc", "0.00"), "abc");
    EXPECT_EQ(Format("abc"), "abc");
    EXPECT_EQ(Format(Variant(3), "00"), "03");
    EXPECT_EQ(Format(Variant(), "00"), "");
    EXPECT_EQ(Format(Variant(DateSerial(2026, 12, 10)), "dddd"), "星期四");
    EXPECT_EQ(Format(46366.5, "yyyy-mm-dd hh:nn"), "2026-12-10 12:00"); // a number read as a date serial
    EXPECT_EQ(Format(DateSerial(2026, 12, 10), "0.0"), "46366.0");
}
