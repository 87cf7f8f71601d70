#include "support/TestMachine.h"
#include "platform/system/Resources.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

using testing_support::TestMachine;
namespace fs = std::filesystem;

TEST(MachinePaths, MapsWindowsPathsWithoutRegardToCase) {
    TestMachine m;
    m->makeDirs("C:\\Program Files\\Pennant\\Sound");
    std::ofstream(m->hostPath("C:\\Program Files\\Pennant\\Pennant.xml")) << "<App/>";

    struct Case { const char* in; const char* expectRel; };
    const Case cases[] = {
        {"C:\\Program Files\\Pennant\\Pennant.xml", "C/Program Files/Pennant/Pennant.xml"},
        {"c:\\PROGRAM FILES\\pennant\\PENNANT.XML", "C/Program Files/Pennant/Pennant.xml"},
        {"C:/Program Files/Pennant/./Sound/../Pennant.xml", "C/Program Files/Pennant/Pennant.xml"},
        {"C:\\program files\\PENNANT\\new\\File.TXT", "C/Program Files/Pennant/new/File.TXT"},
        {"C:\\\\Program Files\\\\Pennant\\\\", "C/Program Files/Pennant"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(m->hostPath(c.in), m->root() / c.expectRel) << c.in;
    }
    EXPECT_TRUE(m->fileExists("c:\\program files\\pennant\\pennant.xml"));
    EXPECT_TRUE(m->dirExists("C:\\PROGRAM FILES\\PENNANT\\SOUND"));
    EXPECT_FALSE(m->fileExists("C:\\Program Files\\Pennant\\Sound"));
}

TEST(MachinePaths, RelativePathsAndReverseMapping) {
    TestMachine m;
    m->makeDirs("C:\\Work\\Sub");
    m->setCurrentDirectory("C:\\Work");
    EXPECT_EQ(m->fullWinPath("Sub\\a.txt"), "C:\\Work\\Sub\\a.txt");
    EXPECT_EQ(m->fullWinPath("..\\..\\..\\x"), "C:\\x");
    EXPECT_EQ(m->fullWinPath("\\x"), "C:\\x");
    EXPECT_EQ(m->winPath(m->hostPath("C:\\Work\\Sub")), "C:\\Work\\Sub");
    EXPECT_EQ(m->winPath(m->root() / "C"), "C:\\");
    EXPECT_EQ(m->winPath("/etc/passwd"), "");
}

TEST(MachinePaths, ListingsAreSortedAndFiltered) {
    TestMachine m;
    m->makeDirs("C:\\S\\sub");
    for (const char* n : {"b.wav", "A.WAV", "c.mid", "a2.wav"})
        std::ofstream(m->hostPath(std::string("C:\\S\\") + n)) << "x";
    EXPECT_EQ(m->listDir("C:\\S", "*.wav"), (std::vector<std::string>{"A.WAV", "a2.wav", "b.wav"}));
    EXPECT_EQ(m->listDir("C:\\S", "*", true).size(), 4u);
    EXPECT_EQ(m->listDir("C:\\S").size(), 5u);
    EXPECT_TRUE(m->listDir("C:\\Missing").empty());
}

TEST(MachineFiles, AtomicWriteReplacesWholeFile) {
    TestMachine m;
    ASSERT_TRUE(m->writeFileAtomic("C:\\a\\f.txt", "first"));
    ASSERT_TRUE(m->writeFileAtomic("C:\\A\\F.TXT", "second"));
    EXPECT_EQ(m->readFile("c:\\a\\f.txt").value(), "second");
    EXPECT_EQ(m->listDir("C:\\a").size(), 1u);  // no temporary left behind
}

TEST(MachineClock, RunForJumpsBetweenDueTimesInOrder) {
    TestMachine m;
    std::vector<uint64_t> fired;
    uint64_t next = m->clock().tickMs() + 250;
    const uint64_t start = m->clock().tickMs();
    m->addPump({[&] {
                    if (m->clock().tickMs() >= next) {
                        fired.push_back(m->clock().tickMs() - start);
                        next += 250;
                    }
                },
                [&] { return std::optional<uint64_t>(next); }});
    m->runFor(1000);
    EXPECT_EQ(fired, (std::vector<uint64_t>{250, 500, 750, 1000}));
    EXPECT_EQ(m->clock().tickMs() - start, 1000u);
}

TEST(MachineClock, RunUntilStopsAtPredicateOrLimit) {
    TestMachine m;
    const uint64_t start = m->clock().tickMs();
    int posted = 0;
    m->post([&] { posted++; });
    EXPECT_TRUE(m->runUntil([&] { return posted == 1; }, 100));
    EXPECT_FALSE(m->runUntil([] { return false; }, 500));
    EXPECT_GE(m->clock().tickMs() - start, 500u);
    // Wall time moves with the tick count from the configured start.
    EXPECT_EQ(m->clock().localMs() - sys::localMsFrom(2026, 12, 10, 9, 0, 0),
              static_cast<int64_t>(m->clock().tickMs() - start));
}

// A failing completion or step costs nothing else of the round: with a handler, the error goes
// to it and the round goes on; without one, it reaches whoever pumped and the completions after
// it still run, in the next round.
TEST(MachinePump, AnErrorLeavesTheRestOfTheRoundOwed) {
    TestMachine m;
    std::vector<std::string> ran, handled;
    const int step = m->addPump({[&] { ran.push_back("step"); }, nullptr});
    const auto round = [&] {
        ran.clear();
        m->post([&] { ran.push_back("first"); });
        m->post([] { throw std::runtime_error("posted failed"); });
        m->post([&] { ran.push_back("last"); });
    };

    round();
    EXPECT_THROW(m->pumpOnce(), std::runtime_error);
    EXPECT_EQ(ran, (std::vector<std::string>{"first"}));
    m->pumpOnce();
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "last", "step"}));

    m->setPumpErrorHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            handled.push_back(x.what());
        }
    });
    round();
    m->pumpOnce();
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "last", "step"}));
    EXPECT_EQ(handled, (std::vector<std::string>{"posted failed"}));
    m->setPumpErrorHandler(nullptr);
    m->removePump(step);
}

TEST(MachineClock, LocalTimeFromDate) {
    EXPECT_EQ(sys::localMsFrom(1970, 1, 1), 0);
    EXPECT_EQ(sys::localMsFrom(2000, 3, 1, 12, 0, 0), 951912000000LL);
}

TEST(Resources, LookupIgnoresCase) {
    sys::addResource(sys::kPageResourceType, "ts.htm", "<html/>");
    EXPECT_EQ(sys::findResource(2110, "TS.HTM").value(), "<html/>");
    EXPECT_EQ(sys::findResource(2110, "Ts.Htm").value(), "<html/>");
    EXPECT_FALSE(sys::findResource(2110, "missing.htm"));
    EXPECT_FALSE(sys::findResource(10, "ts.htm"));
}

TEST(Wildcards, Table) {
    struct Case { const char* pat; const char* name; bool match; };
    const Case cases[] = {
        {"*", "abc", true},        {"*.wav", "x.WAV", true}, {"*.wav", "x.wave", false},
        {"a?c", "abc", true},      {"a?c", "ac", false},     {"*.*", "noext", true},
        {"*.ex4", "s.ex4", true},  {"x*y*z", "xaaybbz", true}, {"x*y*z", "xaaybb", false},
    };
    for (const auto& c : cases) EXPECT_EQ(sys::wildcardMatch(c.pat, c.name), c.match) << c.pat << " " << c.name;
}

namespace {
struct InnerService { int value = 7; };
struct OuterService {
    int inner;
    OuterService() : inner(sys::Machine::current().service<InnerService>().value) {}
};
} // namespace

TEST(MachineServices, AServiceMayUseAnotherWhileItIsBuilt) {
    TestMachine m;
    EXPECT_EQ(m->service<OuterService>().inner, 7);
    EXPECT_EQ(m->findService<InnerService>()->value, 7);
}
