#include "core/SymbolElementName.h"

#include <gtest/gtest.h>

using namespace m_Main;

TEST(SymbolElementName, RoundTrips) {
    struct Case {
        const char* symbol;
        const char* element;
    } cases[] = {{"EURUSD", "EURUSD"},         {"#US30", "_x0023_US30"},       {"XAU/USD", "XAU_x002F_USD"},
                 {"1ABC", "_x0031_ABC"},       {"EUR USD", "EUR_x0020_USD"},   {"A_x0041_B", "A_x005F_x0041_B"},
                 {"GOLD.m", "GOLD.m"},         {"黄金", "黄金"},               {"a:b", "a_x003A_b"}};
    for (const auto& c : cases) {
        EXPECT_EQ(SymbolElementName(c.symbol), c.element) << c.symbol;
        EXPECT_EQ(SymbolFromElementName(c.element), c.symbol) << c.element;
    }
}
