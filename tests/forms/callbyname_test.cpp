#include "platform/forms/CallByName.h"
#include "support.h"

#include <gtest/gtest.h>

using namespace forms;

namespace {

class Panel : public Dispatch {
public:
    std::string caption = "EURUSD";
    int refreshed = 0;
    std::vector<std::string> log;

    const MemberTable& memberTable() const override {
        static const auto table =
            Members<Panel>()
                .method("Refresh", [](Panel& p) { p.refreshed++; })
                .method("Sum", [](Panel& p, Args& a) {
                    p.log.push_back("Sum");
                    return arg(a, 0).toLong() + arg(a, 1).toLong();
                })
                .property("Caption", [](Panel& p) { return p.caption; },
                          [](Panel& p, const Variant& v) { p.caption = v.toString(); })
                .get("Cell", [](Panel& p, Args& a) { return p.caption + ":" + arg(a, 0).toString(); });
        return table;
    }
};

class BigPanel : public Panel {
public:
    const MemberTable& memberTable() const override {
        static const auto table = Members<BigPanel>()
                                      .include(Panel::memberTable())
                                      .method("Refresh", [](BigPanel& p) { p.refreshed += 10; })
                                      .get("Size", [](BigPanel&) { return 2; });
        return table;
    }
};

} // namespace

TEST(CallByName, DerivedClassesExtendTheBaseTable) {
    BigPanel p;
    CallByName(p, "Refresh", VbMethod);
    EXPECT_EQ(p.refreshed, 10);
    EXPECT_EQ(CallByName(p, "size", VbGet), Variant(2));
    EXPECT_EQ(CallByName(p, "Caption", VbGet), Variant("EURUSD"));
}

TEST(CallByName, CallsMembersWithoutRegardToCase) {
    Panel p;
    EXPECT_TRUE(CallByName(p, "refresh", VbMethod).isEmpty());
    EXPECT_EQ(p.refreshed, 1);
    EXPECT_EQ(CallByName(p, "SUM", VbMethod, {2, "40"}), Variant(42));
    EXPECT_EQ(CallByName(p, "caption", VbGet), Variant("EURUSD"));
    CallByName(p, "Caption", VbLet, {"GBPUSD"});
    EXPECT_EQ(p.caption, "GBPUSD");
    EXPECT_EQ(CallByName(p, "Cell", VbGet, {3}), Variant("GBPUSD:3"));
    // Late binding lets a method answer a get and a get a method call.
    EXPECT_EQ(CallByName(p, "Sum", VbGet, {1, 1}), Variant(2));
    EXPECT_EQ(CallByName(p, "Caption", VbMethod), Variant("GBPUSD"));
}

TEST(CallByName, ThroughObjectReferences) {
    auto p = std::make_shared<Panel>();
    Variant obj = p;
    EXPECT_TRUE(obj.isObject());
    CallByName(obj, "Refresh", VbMethod);
    EXPECT_EQ(p->refreshed, 1);
    Panel local;
    CallByName(Variant::ref(local), "Refresh", VbMethod);
    EXPECT_EQ(local.refreshed, 1);
}

TEST(CallByName, Errors) {
    Panel p;
    struct Case {
        const char* what;
        long expected;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"unknown member", 438, [&] { CallByName(p, "Nope", VbMethod); }},
        {"let of a read-only property", 438, [&] { CallByName(p, "Cell", VbLet, {1, "x"}); }},
        {"let of a method", 438, [&] { CallByName(p, "Refresh", VbLet, {1}); }},
        {"missing argument", 449, [&] { CallByName(p, "Sum", VbMethod, {1}); }},
        {"let without a value", 449, [&] { CallByName(p, "Caption", VbLet); }},
        {"arguments to a member without any", 450, [&] { CallByName(p, "Refresh", VbMethod, {1}); }},
        {"Nothing", 91, [&] { CallByName(Variant::nothing(), "Refresh", VbMethod); }},
        {"not an object", 424, [&] { CallByName(Variant(5), "Refresh", VbMethod); }},
        {"bad argument text", 13, [&] { CallByName(p, "Sum", VbMethod, {1, "x"}); }},
    };
    for (const auto& c : cases) EXPECT_EQ(errorOf(c.call), c.expected) << c.what;
}

TEST(Variant, Coercions) {
    EXPECT_EQ(Variant().toString(), "");
    EXPECT_EQ(Variant(true).toString(), "True");
    EXPECT_EQ(Variant(true).toLong(), -1);
    EXPECT_EQ(Variant(2.5).toLong(), 2);
    EXPECT_EQ(Variant(0.5).toString(), "0.5");
    EXPECT_EQ(Variant("12").toLong(), 12);
    EXPECT_TRUE(Variant("true").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_TRUE(Variant(-1).toBool());
    EXPECT_EQ(Variant(5000000000LL).type(), Variant::Type::Double);
    EXPECT_EQ(Variant(size_t{7}).type(), Variant::Type::Long);
    EXPECT_EQ(Variant(DateSerial(2026, 12, 10)).toString(), "2026-12-10");
    EXPECT_EQ(CStr(Variant("2026-12-10 9:05").toDate()), "2026-12-10 9:05:00");
    EXPECT_EQ(errorOf([] { Variant::null().toString(); }), 94);
    EXPECT_EQ(errorOf([] { Variant("abc").toBool(); }), 13);
    EXPECT_EQ(errorOf([] { Variant("abc").toLong(); }), 13);
}
