// The whole program, every window real, on settings files a user or a crash may leave behind: it
// starts with each, reading what it cannot use as its default, or refuses it with one message; it
// never aborts, and Exit always leaves.
#include "app/ProgramWindows.h"
#include "core/Program.h"
#include "core/frmMain.h"
#include "platform/desktop/MessageBox.h"
#include "platform/forms/Strings.h"
#include "support/Program.h"
#include "support/ProgramMachine.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace m_Main;
using testing_support::kProgramSettings;
using testing_support::shippedSettings;

// One machine for every run, as one user starting the program again and again: the terminal and
// the page browser stay up between runs, so a run costs its own start and exit only.
struct Runs {
    testing_support::TestMachine m;
    std::vector<std::string> events;

    Runs() {
        testing_support::installWholeProgram(*m);
        // The shipped file first: it starts the terminal, which every later run finds.
        const Outcome shipped = run(shippedSettings());
        EXPECT_TRUE(shipped.ready && shipped.exited);
    }
    ~Runs() { EndProgram(); }

    struct Outcome {
        bool started = false, ready = false, exited = false;
        std::string thrown;  // what escaped the program: the executable would abort on it
        std::vector<std::string> boxes;
    };
    // Starts the program on the settings text, waits until it has found the terminal (and so
    // opened its panels), runs while (when given) and leaves by Exit, as the user does.
    Outcome run(const std::string& settings, const std::function<void()>& whileRunning = nullptr) {
        Outcome o;
        EndProgram();
        m->writeFileAtomic(kProgramSettings, settings);
        setProgram(testing_support::kProgramFolder, "Pennant");
        events.clear();
        InstallWindows([this](const std::string& e) { events.push_back(e); });
        win::clearMessageBoxes();
        for (int i = 0; i < 8; ++i) win::queueMessageBoxAnswer(win::IDOK);
        try {
            o.started = Main();
            if (o.started) {
                o.ready = m.runUntilReal([&] {
                    for (const auto& e : events)
                        if (e.rfind("terminal found", 0) == 0) return true;
                    return false;
                });
                if (whileRunning) whileRunning();
                if (MainForm) MainForm->m_frmSysTray_MenuClick("Exit");
                o.exited = m.runUntilReal([] { return !MainForm || !MainForm->IsLoaded(); });
            }
        } catch (const std::exception& e) {
            o.thrown = e.what();
        }
        for (const auto& box : win::messageBoxes()) o.boxes.push_back(box.text);
        EndProgram();
        return o;
    }
};

std::string edited(const std::function<void(pugi::xml_node app)>& edit) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(shippedSettings().c_str()));
    edit(doc.child("App"));
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

// The attributes that hold numbers, in document order.
std::vector<pugi::xpath_node> numericAttributes(pugi::xml_node app) {
    std::vector<pugi::xpath_node> out;
    for (const pugi::xpath_node& n : app.root().select_nodes("//@*")) {
        const std::string v = n.attribute().value();
        if (!v.empty() && forms::IsNumeric(v)) out.push_back(n);
    }
    return out;
}

// Where an attribute is, and the value a run gives it: "/App/Window/Float/Item[EURUSD]@Left = 1e400".
std::string label(const pugi::xpath_node& n, const std::string& value) {
    const pugi::xml_node element = n.parent();
    std::string where = element.path();
    if (element.attribute("Symbol")) where += std::string("[") + element.attribute("Symbol").value() + "]";
    return where + "@" + n.attribute().name() + " = " + value;
}

TEST(DamagedSettings, StartOrAreRefusedCleanly) {
    using Edit = std::function<void(pugi::xml_node app)>;
    auto attr = [](pugi::xml_node n, const char* name, const char* value) {
        (n.attribute(name) ? n.attribute(name) : n.append_attribute(name)).set_value(value);
    };
    auto panels = [](pugi::xml_node app) { return app.child("Window").child("Float"); };
    struct Case { const char* name; Edit edit; std::string raw; bool starts; };
    std::string nested = "<App>";
    for (int i = 0; i < 300000; ++i) nested += "<a>";
    for (int i = 0; i < 300000; ++i) nested += "</a>";
    nested += "</App>";
    const std::vector<Case> cases = {
        {"huge icon place", [&](pugi::xml_node a) { attr(a.child("Window"), "Left", "1e400"), attr(a.child("Window"), "Top", "99999999999"); }, "", true},
        {"negative icon place", [&](pugi::xml_node a) { attr(a.child("Window"), "Left", "-1e400"), attr(a.child("Window"), "Top", "-500"); }, "", true},
        {"text for numbers", [&](pugi::xml_node a) { attr(a.child("Window"), "Left", "left"), attr(a.child("Window"), "Top", "&amp;#x1F600;"); }, "", true},
        {"panel numbers out of range", [&](pugi::xml_node a) {
             for (pugi::xml_node i : panels(a).children())
                 attr(i, "Left", "1e400"), attr(i, "Top", "-7"), attr(i, "Style", "x"), attr(i, "IconEvent", "99999999");
         }, "", true},
        {"timeout interval out of range", [&](pugi::xml_node a) { attr(a.child("Settings").child("Timeout"), "Interval", "1e400"); }, "", true},
        {"calendar weeks missing", [&](pugi::xml_node a) {
             pugi::xml_node cal = a.child("FXCalendar");
             for (int w = 1; w <= 5; ++w) cal.remove_child(("Week" + std::to_string(w)).c_str());
             attr(cal, "Update", "1");
         }, "", true},
        {"no panel list", [&](pugi::xml_node a) { a.child("Window").remove_child("Float"); }, "", true},
        {"deep nesting", nullptr, nested, false},
    };
    Runs runs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string settings = c.edit ? edited(c.edit) : c.raw;
        const auto o = runs.run(settings, [&] {
            const long x = MainForm->Left() / 15, y = MainForm->Top() / 15;
            EXPECT_GE(x, 0);
            EXPECT_GE(y, 0);
            EXPECT_LE(x + 36, runs.m->screenWidth());
            EXPECT_LE(y + 36, runs.m->screenHeight());
            runs.m->runFor(2000);
            EXPECT_TRUE(MainForm && MainForm->IsLoaded());
        });
        ASSERT_EQ(o.started, c.starts);
        if (!c.starts) {
            EXPECT_EQ(o.boxes.size(), 1u);
            EXPECT_EQ(runs.m->readFile(kProgramSettings).value(), c.raw);  // the file is left as it was
            continue;
        }
        EXPECT_TRUE(o.ready);
        EXPECT_TRUE(o.exited);
        EXPECT_LE(o.boxes.size(), 1u);
    }
}

// Every number of the shipped file, one at a time, beyond any number either way, text and empty:
// each run starts, opens its panels and leaves by Exit with nothing escaping and no error told.
// The runs are dealt to shards (the build runs each as a test of its own, side by side).
class EveryStoredNumber : public testing::TestWithParam<int> {};

TEST_P(EveryStoredNumber, StartsAndExitsBeyondRangeOrNotANumber) {
    pugi::xml_document shipped;
    ASSERT_TRUE(shipped.load_string(shippedSettings().c_str()));
    const size_t attributes = numericAttributes(shipped.child("App")).size();
    EXPECT_GT(attributes, 50u);
    Runs runs;
    std::vector<std::string> failures;
    size_t count = 0;
    for (size_t i = GetParam(); i < attributes; i += PROGRAM_TEST_SHARDS) {
        for (const char* value : {"1e400", "-1e400", "abc", ""}) {
            std::string row;
            const std::string settings = edited([&](pugi::xml_node app) {
                const pugi::xpath_node n = numericAttributes(app)[i];
                row = label(n, value);
                n.attribute().set_value(value);
            });
            ++count;
            const auto o = runs.run(settings);
            std::string what;
            if (!o.thrown.empty()) what += " aborted (" + o.thrown + ");";
            else if (!o.started) what += " refused;";
            else if (!o.ready) what += " terminal not found;";
            if (o.started && !o.exited) what += " exit refused;";
            for (const auto& box : o.boxes)
                if (box.find("错误") != std::string::npos) what += " told \"" + box + "\";";
            if (!what.empty()) failures.push_back(row + ":" + what);
        }
    }
    std::cout << "stored numbers: " << count << " runs, " << failures.size() << " failed\n";
    std::string all;
    for (const auto& f : failures) all += f + "\n";
    EXPECT_TRUE(failures.empty()) << all;
}

INSTANTIATE_TEST_SUITE_P(DamagedSettings, EveryStoredNumber, testing::Range(0, PROGRAM_TEST_SHARDS));

} // namespace
