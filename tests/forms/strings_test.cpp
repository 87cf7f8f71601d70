#include "platform/forms/Strings.h"
#include "support.h"

#include <gtest/gtest.h>
#include <functional>

using namespace forms;

TEST(Strings, CountCharactersNotBytes) {
    const std::string s = "欧元EUR美元";
    EXPECT_EQ(Len(s), 7);
    EXPECT_EQ(Len(""), 0);
    EXPECT_EQ(Mid(s, 3, 3), "EUR");
    EXPECT_EQ(Mid(s, 6), "美元");
    EXPECT_EQ(Mid(s, 7, 5), "元");
    EXPECT_EQ(Mid(s, 8), "");
    EXPECT_EQ(Mid(s, 2, 0), "");
    EXPECT_EQ(Left(s, 2), "欧元");
    EXPECT_EQ(Left(s, 99), s);
    EXPECT_EQ(Right(s, 3), "R美元");
    EXPECT_EQ(Right(s, 0), "");
    EXPECT_EQ(StrReverse("ab中文"), "文中ba");
    EXPECT_EQ(String(3, "星期"), "星星星");
    EXPECT_EQ(String(2, 65L), "AA");
    EXPECT_EQ(Space(3), "   ");
}

TEST(Strings, StrayBytesStayIntact) {
    const std::string bad = std::string("a\xE4\xB8") + "b"; // a truncated sequence in the middle
    EXPECT_EQ(Len(bad), 3);
    EXPECT_EQ(Mid(bad, 2, 1), "\xE4\xB8");
    EXPECT_EQ(StrReverse(StrReverse(bad)), bad);
    // A byte inside a character is no match of its own.
    EXPECT_EQ(InStr("中", "\xB8"), 0);
    EXPECT_EQ(Replace("中中", "\xB8", "x"), "中中");
    EXPECT_EQ(Split("中", "\xB8").size(), 1u);
}

TEST(Strings, InvalidArgumentsRaise) {
    struct Case {
        const char* what;
        long expected;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"Mid start 0", 5, [] { Mid("abc", 0); }},
        {"Mid negative length", 5, [] { Mid("abc", 1, -1); }},
        {"Left negative", 5, [] { Left("abc", -1); }},
        {"Right negative", 5, [] { Right("abc", -1); }},
        {"InStr start 0", 5, [] { InStr(0, "abc", "a"); }},
        {"InStrRev start 0", 5, [] { InStrRev("abc", "a", 0); }},
        {"Replace start 0", 5, [] { Replace("abc", "a", "b", 0); }},
        {"Space negative", 5, [] { Space(-1); }},
        {"String empty", 5, [] { String(2, ""); }},
        {"Asc empty", 5, [] { Asc(""); }},
        {"ChrW too big", 5, [] { ChrW(65536); }},
        {"Split limit", 5, [] { Split("a b", " ", -2); }},
        {"Hex beyond 32 bits", 6, [] { Hex(4294967296LL); }},
    };
    for (const auto& c : cases) EXPECT_EQ(errorOf(c.call), c.expected) << c.what;
}

TEST(Strings, InStrAndInStrRev) {
    struct Case {
        long start;
        const char* s;
        const char* find;
        CompareMethod cmp;
        long expected;
    };
    const Case cases[] = {
        {1, "财经日历(星期一);", "星期", vbBinaryCompare, 6},
        {7, "财经日历(星期一);星期", "星期", vbBinaryCompare, 11},
        {1, "abcABC", "BC", vbBinaryCompare, 5},
        {1, "abcABC", "BC", vbTextCompare, 2},
        {1, "ＡＢＣ", "abc", vbTextCompare, 1}, // full-width letters match in text comparison
        {1, "abc", "", vbBinaryCompare, 1},
        {3, "abc", "", vbBinaryCompare, 3},
        {4, "abc", "", vbBinaryCompare, 0},
        {1, "", "", vbBinaryCompare, 0},
        {9, "abc", "a", vbBinaryCompare, 0},
        {1, "abc", "abcd", vbBinaryCompare, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InStr(c.start, c.s, c.find, c.cmp), c.expected) << c.s << " / " << c.find << " @" << c.start;

    EXPECT_EQ(InStrRev("a/b/c", "/"), 4);
    EXPECT_EQ(InStrRev("a/b/c", "/", 3), 2);
    EXPECT_EQ(InStrRev("路径\\文件\\名", "\\"), 6);
    EXPECT_EQ(InStrRev("aXbx", "x", -1, vbTextCompare), 4);
    EXPECT_EQ(InStrRev("abc", "c", 5), 0);
    EXPECT_EQ(InStrRev("abc", ""), 3);
}

TEST(Strings, ReplaceSplitJoin) {
    EXPECT_EQ(Replace("<nobr>中</nobr>", "<nobr>", " ("), " (中</nobr>");
    EXPECT_EQ(Replace("aAaA", "a", "x", 1, -1, vbTextCompare), "xxxx");
    EXPECT_EQ(Replace("aaaa", "a", "x", 1, 2), "xxaa");
    EXPECT_EQ(Replace("abcabc", "b", "B", 3), "caBc"); // the part before start is dropped
    EXPECT_EQ(Replace("abc", "", "x"), "abc");
    EXPECT_EQ(Replace("aa", "a", "aa"), "aaaa");
    EXPECT_EQ(Replace("3月5日", "月", "/"), "3/5日");

    using V = std::vector<std::string>;
    EXPECT_EQ(Split("a|b||c", "|"), (V{"a", "b", "", "c"}));
    EXPECT_EQ(Split("", "|"), V{});
    EXPECT_EQ(Split("abc", ""), V{"abc"});
    EXPECT_EQ(Split("a;b;c", ";", 2), (V{"a", "b;c"}));
    EXPECT_EQ(Split("1X2x3", "x", -1, vbTextCompare), (V{"1", "2", "3"}));
    EXPECT_EQ(Split("欧元,美元", ","), (V{"欧元", "美元"}));
    EXPECT_EQ(Join({"a", "", "b"}, "|"), "a||b");
    EXPECT_EQ(Join({}, "|"), "");
}

TEST(Strings, TrimAndCase) {
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(LTrim("  a "), "a ");
    EXPECT_EQ(RTrim(" a  "), " a");
    EXPECT_EQ(Trim("\ta\t"), "\ta\t"); // blanks only
    EXPECT_EQ(UCase("eurUsd 欧元 ｅｕｒ é"), "EURUSD 欧元 ＥＵＲ É");
    EXPECT_EQ(LCase("EURUSD 欧元"), "eurusd 欧元");
    EXPECT_EQ(StrComp("abc", "ABC", vbTextCompare), 0);
    EXPECT_LT(StrComp("ABC", "abc"), 0);
    EXPECT_TRUE(StrEqual("Pennant.XML", "pennant.xml", vbTextCompare));
}

TEST(Numbers, ValReadsTheLeadingNumber) {
    struct Case {
        const char* s;
        double expected;
    };
    const Case cases[] = {
        {"", 0},          {"abc", 0},        {"  12.5abc", 12.5},  {"1 2 3", 123},
        {"-1.5e3x", -1500}, {"1.2.3", 1.2},  {"&HFF", 255},        {"&HFFFF", -1},
        {"&H10000", 65536}, {"&HFFFFFFFF", -1}, {"&O17", 15},      {"&17", 15},
        {".5", 0.5},      {"-.5", -0.5},     {"1e", 1},            {"1D2", 100},
        {"+7", 7},        {"--1", 0},        {"1,000", 1},         {"\t\n 42", 42},
        {"1.23456", 1.23456}, {"5.", 5},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(Val(c.s), c.expected) << '"' << c.s << '"';
    EXPECT_EQ(errorOf([] { Val("&H123456789"); }), 6);
}

TEST(Numbers, CStrOfDoubles) {
    struct Case {
        double v;
        const char* expected;
    };
    const Case cases[] = {
        {0, "0"},           {-0.0, "0"},          {0.5, "0.5"},         {1.2345, "1.2345"},
        {-3.25, "-3.25"},   {100, "100"},         {1.23456 * 100000, "123456"},
        {0.1 + 0.2, "0.3"}, {123456789012345.0, "123456789012345"}, {1e15, "1E+15"},
        {1.5e20, "1.5E+20"}, {0.0001, "0.0001"},  {0.00001, "1E-05"},   {1.0 / 3, "0.333333333333333"},
    };
    for (const auto& c : cases) EXPECT_EQ(CStr(c.v), c.expected) << c.v;
    EXPECT_EQ(CStr(true), "True");
    EXPECT_EQ(CStr(-5L), "-5");
    EXPECT_EQ(CStr(size_t{3}), "3");
    EXPECT_EQ(CStr(std::string("x")), "x");
}

TEST(Numbers, WholeConversionsRoundHalfToEven) {
    struct Case {
        double v;
        int32_t expected;
    };
    const Case cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-2.5, -2}, {-1.5, -2}, {2.4999, 2}, {2147483647.4, 2147483647}};
    for (const auto& c : cases) EXPECT_EQ(CLng(c.v), c.expected) << c.v;
    EXPECT_EQ(CLng(" 12.5 "), 12);
    EXPECT_EQ(CLng("13.5"), 14);
    EXPECT_EQ(CLng("1,000"), 1000);
    EXPECT_EQ(CLng("&HFFFFFFFF"), -1);
    EXPECT_EQ(CLng("-1e3"), -1000);
    EXPECT_EQ(CInt(32767.4), 32767);

    struct Bad {
        const char* what;
        long expected;
        std::function<void()> call;
    };
    const Bad bad[] = {
        {"CLng beyond 32 bits", 6, [] { CLng(2147483647.5); }},
        {"CLng below", 6, [] { CLng(-2147483649.0); }},
        {"CInt beyond 16 bits", 6, [] { CInt(32767.5); }},
        {"CLng text beyond", 6, [] { CLng("3000000000"); }},
        {"CLng empty", 13, [] { CLng(""); }},
        {"CLng word", 13, [] { CLng("abc"); }},
        {"CLng trailing text", 13, [] { CLng("12abc"); }},
        {"CDbl lone point", 13, [] { CDbl("."); }},
        {"CDbl bare exponent", 13, [] { CDbl("1e"); }},
    };
    for (const auto& b : bad) EXPECT_EQ(errorOf(b.call), b.expected) << b.what;
}

TEST(Numbers, RoundHalvesToEven) {
    EXPECT_DOUBLE_EQ(Round(2.5), 2);
    EXPECT_DOUBLE_EQ(Round(3.5), 4);
    EXPECT_DOUBLE_EQ(Round(-2.5), -2);
    EXPECT_DOUBLE_EQ(Round(1.23456, 3), 1.235);
    EXPECT_DOUBLE_EQ(Round(0.125, 2), 0.12);
    EXPECT_EQ(errorOf([] { Round(1, -1); }), 5);
}

TEST(Numbers, IsNumericAndCDbl) {
    for (const char* yes : {"1", " 1 ", "-1.5", "+.5", "1.", "1e5", "1,234.5", "&HFF", "1D3"})
        EXPECT_TRUE(IsNumeric(yes)) << yes;
    for (const char* no : {"", " ", ".", "-", "1e", "abc", "1 2", "12a", "&H", "&HG", "1.2.3", ",1"})
        EXPECT_FALSE(IsNumeric(no)) << no;
    EXPECT_DOUBLE_EQ(CDbl(" 1,234.5 "), 1234.5);
    EXPECT_DOUBLE_EQ(CDbl("1.23456"), 1.23456);
}

TEST(Numbers, CharacterCodesAndHex) {
    EXPECT_EQ(Asc("A"), 65);
    EXPECT_EQ(Asc("中文"), -10544); // GBK D6D0 as a signed 16-bit code
    EXPECT_EQ(Chr(-10544), "中");
    EXPECT_EQ(Chr(13) + Chr(10), "\r\n");
    EXPECT_EQ(AscW("中"), 20013);
    EXPECT_EQ(AscW("\xEF\xBC\x81"), -255); // U+FF01 comes out negative, as a 16-bit code
    EXPECT_EQ(ChrW(20013), "中");
    EXPECT_EQ(ChrW(-255), "\xEF\xBC\x81");
    EXPECT_EQ(Hex(255), "FF");
    EXPECT_EQ(Hex(0), "0");
    EXPECT_EQ(Hex(-1), "FFFFFFFF");
    EXPECT_EQ(Hex(0xC0), "C0");
}
