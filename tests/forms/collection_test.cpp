#include "platform/forms/Collection.h"
#include "support.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using forms::Collection;

namespace {
std::string items(const Collection<std::string>& c) {
    std::string out;
    for (const auto& s : c) out += s;
    return out;
}
} // namespace

TEST(Collection, OneBasedWithKeysWithoutRegardToCase) {
    Collection<std::string> c;
    c.Add("a", "EURUSD");
    c.Add("b", "usdjpy");
    c.Add("c");
    EXPECT_EQ(c.Count(), 3);
    EXPECT_EQ(c.Item(1), "a");
    EXPECT_EQ(c.Item(3), "c");
    EXPECT_EQ(c.Item("eurusd"), "a");
    EXPECT_EQ(c("USDJPY"), "b");
    EXPECT_TRUE(c.Exists("EurUsd"));
    EXPECT_FALSE(c.Exists("GBPUSD"));
    EXPECT_FALSE(c.Exists(""));
    EXPECT_EQ(c.Find("gbpusd"), nullptr);
    ASSERT_NE(c.Find("usdJPY"), nullptr);
    *c.Find("usdJPY") = "B";
    EXPECT_EQ(c.Item(2), "B");
    EXPECT_EQ(c.Key(1), "EURUSD");
    EXPECT_EQ(items(c), "aBc");
}

TEST(Collection, ChineseKeysAndFullWidthLetters) {
    Collection<int> c;
    c.Add(1, "财经日历");
    c.Add(2, "ＥＵＲ");
    EXPECT_EQ(c.Item("财经日历"), 1);
    EXPECT_EQ(c.Item("eur"), 2);
}

TEST(Collection, BeforeAndAfter) {
    Collection<std::string> c;
    c.Add("b", "kb");
    c.Add("d", "kd");
    c.Add("a", "ka", 1);                   // before index 1
    c.Add("c", "kc", std::nullopt, "KB");  // after key kb
    c.Add("e", "", std::nullopt, 4);       // after the last one
    EXPECT_EQ(items(c), "abcde");
    EXPECT_EQ(c.Item("kc"), "c");
}

TEST(Collection, RemoveByIndexAndKey) {
    Collection<std::string> c;
    for (const char* s : {"a", "b", "c", "d"}) c.Add(s, std::string("k") + s);
    c.Remove(2);
    c.Remove("KD");
    EXPECT_EQ(items(c), "ac");
    EXPECT_FALSE(c.Exists("kb"));
    c.Add("b", "kb"); // a removed key is free again
    EXPECT_EQ(items(c), "acb");
    c.Clear();
    EXPECT_EQ(c.Count(), 0);
}

TEST(Collection, ErrorsAsTheRunTimeRaisesThem) {
    Collection<int> c;
    c.Add(1, "one");
    struct Case {
        const char* what;
        long expected;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"index 0", 9, [&] { c.Item(0); }},
        {"index past the end", 9, [&] { c.Item(2); }},
        {"absent key", 5, [&] { c.Item("two"); }},
        {"remove absent key", 5, [&] { c.Remove("two"); }},
        {"remove past the end", 9, [&] { c.Remove(5); }},
        {"duplicate key in another case", 457, [&] { c.Add(2, "ONE"); }},
        {"before and after", 5, [&] { c.Add(2, "two", 1, 1); }},
        {"before past the end", 9, [&] { c.Add(2, "two", 3); }},
        {"after an absent key", 5, [&] { c.Add(2, "two", std::nullopt, "zzz"); }},
    };
    for (const auto& k : cases) EXPECT_EQ(errorOf(k.call), k.expected) << k.what;
    EXPECT_EQ(c.Count(), 1); // failed adds leave nothing behind
}

TEST(Collection, HoldsSharedObjects) {
    struct Quote {
        std::string bid;
    };
    Collection<std::shared_ptr<Quote>> quotes;
    auto q = std::make_shared<Quote>();
    quotes.Add(q, "EURUSD");
    quotes.Item("eurusd")->bid = "1.23456";
    EXPECT_EQ(q->bid, "1.23456");
    for (auto& p : quotes) p->bid = "x";
    EXPECT_EQ(q->bid, "x");
}

// Large collections look keys up through an index: every change that moves items must keep
// each key pointing at its own item.
TEST(Collection, KeysStayRightInALargeCollectionAcrossChanges) {
    Collection<std::string> c;
    std::vector<std::string> model;  // the items in order, each item equal to its key
    auto check = [&](const char* step) {
        ASSERT_EQ(c.Count(), static_cast<long>(model.size())) << step;
        for (size_t i = 0; i < model.size(); ++i) {
            EXPECT_EQ(c.Item(static_cast<long>(i + 1)), model[i]) << step;
            const std::string* found = c.Find(model[i]);
            ASSERT_NE(found, nullptr) << step << " " << model[i];
            EXPECT_EQ(*found, model[i]) << step;
        }
    };
    for (int i = 0; i < 40; ++i) {
        const std::string k = "SYM" + std::to_string(i);
        c.Add(k, k);
        model.push_back(k);
    }
    check("appended");
    c.Remove("SYM3");
    model.erase(model.begin() + 3);
    c.Remove(1);
    model.erase(model.begin());
    check("removed");
    c.Add("NEW", "NEW", forms::CollectionRef(5));
    model.insert(model.begin() + 4, "NEW");
    c.Add("LAST", "LAST");
    model.push_back("LAST");
    c.Add("AFTER", "AFTER", std::nullopt, forms::CollectionRef("SYM10"));
    model.insert(std::find(model.begin(), model.end(), "SYM10") + 1, "AFTER");
    check("inserted");
    EXPECT_EQ(c.Find("SYM3"), nullptr);
    EXPECT_EQ(c.Find("sym0"), nullptr);
    EXPECT_TRUE(c.Exists("sym39"));
    c.Clear();
    model.clear();
    c.Add("ONE", "ONE");
    model.push_back("ONE");
    check("cleared");
}
