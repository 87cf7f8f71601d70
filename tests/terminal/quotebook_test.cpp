#include "terminal-sim/QuoteBook.h"

#include <gtest/gtest.h>
#include <stdexcept>

using termsim::QuoteBook;
using termsim::SymbolSpec;

namespace {

double value(const std::string& s) { return std::stod(s); }

TEST(QuoteBook, ColumnLayouts) {
    QuoteBook book(1, {{"EURUSD", 5, 1.2, 20}});
    struct Case { int count; std::vector<std::string> headers; };
    const Case cases[] = {
        {3, {"交易品种", "卖价", "买价"}},
        {4, {"交易品种", "卖价", "买价", "时间"}},
        {5, {"交易品种", "卖价", "买价", "最高价", "最低价"}},
        {6, {"交易品种", "卖价", "买价", "最高价", "最低价", "时间"}},
        {7, {"交易品种", "卖价", "买价", "点差", "最高价", "最低价", "时间"}},
    };
    for (const auto& c : cases) {
        book.setColumnCount(c.count);
        ASSERT_EQ(book.columnCount(), c.count);
        for (int i = 0; i < c.count; ++i) EXPECT_EQ(book.headerText(i), c.headers[i]) << c.count;
        EXPECT_EQ(book.cell(0, 0), "EURUSD");
        EXPECT_EQ(book.cell(0, 1), "1.20000");
        EXPECT_EQ(book.cell(0, 2), "1.20020");
        EXPECT_EQ(book.cell(0, c.count), "");
    }
    EXPECT_THROW(book.setColumnCount(2), std::invalid_argument);
    EXPECT_THROW(book.setColumnCount(8), std::invalid_argument);
    EXPECT_THROW(book.setSymbols({{"X", 6, 1.0, 1}}), std::invalid_argument);
    EXPECT_THROW(book.setSymbols({{"", 5, 1.0, 1}}), std::invalid_argument);
}

TEST(QuoteBook, PricesKeepTheirDigits) {
    struct Case { int64_t points; int digits; const char* text; };
    const Case cases[] = {{108250, 3, "108.250"}, {5, 2, "0.05"}, {123456, 5, "1.23456"}, {203145, 2, "2031.45"}};
    for (const auto& c : cases) EXPECT_EQ(QuoteBook::formatPrice(c.points, c.digits), c.text);
    EXPECT_EQ(QuoteBook::formatTime(86400000LL * 3 + 3723000), "01:02:03");
}

TEST(QuoteBook, SeededWalkIsRepeatableAndConsistent) {
    auto run = [](uint64_t seed) {
        QuoteBook book(seed);
        book.setColumnCount(7);
        book.advanceTo(0, 9 * 3600000);
        std::vector<std::string> seen;
        for (uint64_t t = 500; t <= 60000; t += 500) {
            book.advanceTo(t, 9 * 3600000 + static_cast<int64_t>(t));
            for (int r = 0; r < book.rowCount(); ++r) {
                const double bid = value(book.cell(r, 1)), ask = value(book.cell(r, 2));
                EXPECT_LE(value(book.cell(r, 5)), bid);
                EXPECT_GE(value(book.cell(r, 4)), bid);
                EXPECT_GT(ask, bid);
                EXPECT_EQ(book.bidText(r), book.cell(r, 1));
                seen.push_back(book.cell(r, 1) + book.cell(r, 6));
            }
        }
        return seen;
    };
    const auto a = run(7), b = run(7), c = run(8);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    // The quotes do move, and the time column says when.
    QuoteBook book(3);
    book.advanceTo(0, 0);
    const std::string before = book.cell(0, 1);
    book.advanceTo(30000, 30000);
    EXPECT_NE(book.cell(0, 1), before);
    EXPECT_EQ(book.cell(0, 5), "00:00:30");
}

TEST(QuoteBook, ScriptedRowsStayExactlyAsSet) {
    QuoteBook book(1);
    book.setRows({{"EURUSD", "1.1", "1.2", "extra", "more"}, {"黄金", "2000.1"}}, 4);
    EXPECT_TRUE(book.scripted());
    EXPECT_EQ(book.rowCount(), 2);
    EXPECT_EQ(book.columnCount(), 4);
    book.advanceTo(0, 0);
    book.advanceTo(100000, 100000);
    EXPECT_EQ(book.cell(0, 3), "extra");
    EXPECT_EQ(book.cell(0, 4), "");
    EXPECT_EQ(book.cell(1, 0), "黄金");
    EXPECT_EQ(book.cellAnsi(1, 0), "\xBB\xC6\xBD\xF0");
    EXPECT_EQ(book.cell(1, 2), "");
    EXPECT_EQ(book.rowOf("黄金"), 1);
    EXPECT_EQ(book.rowOf("GBPUSD"), -1);
}

} // namespace
