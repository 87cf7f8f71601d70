// The voice-quote dialog in the running program: opened for a panel's symbol, edited on its
// page, closed by the user, and its values in the quote record and the settings file.
#include "settings/frmVoiceQuote.h"

#include "app/ProgramWindows.h"
#include "core/NeighbourWindows.h"
#include "core/QuoteWindows.h"
#include "core/cls_Quote.h"
#include "core/frmMain.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Win.h"
#include "platform/speech/SpVoice.h"
#include "support/ProgramMachine.h"
#include "quotes/frmFloat.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

namespace {

using namespace m_Main;

struct Program {
    testing_support::TestMachine m;
    std::vector<std::string> events;

    // With the saved panels, or with the quote records alone.
    explicit Program(bool panels = false) {
        testing_support::installWholeProgram(*m);
        InstallWindows([this](const std::string& e) { events.push_back(e); });
        if (!panels) NewFloatPanel = nullptr;
        EXPECT_TRUE(Main());
        EXPECT_TRUE(runUntil([panels] {
            return panels ? FloatForms.Count() == 2 : Quotes.Exists("EURUSD") && Quotes.Exists("GBPUSD");
        }));
    }
    ~Program() {
        win::clearMessageBoxes();
        EndProgram();
        // Windows let go of during their own unload go in the next round.
        m->pumpOnce();
    }
    // The browser works in real time.
    bool runUntil(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    void runFor(uint64_t ms) { m.runForReal(ms); }
    std::shared_ptr<cls_Quote> record(const std::string& symbol) { return *Quotes.Find(symbol); }
    // Opens the dialog as the panel menu does.
    frmVoiceQuote* open(const std::string& symbol) {
        m->beginOutsideWork();
        MainForm->openVoiceSet(symbol);
        m->endOutsideWork();
        return dynamic_cast<frmVoiceQuote*>(VoiceQuoteForm);
    }
    // The user clicks elsewhere: the dialog loses activation.
    void clickAway() {
        win::SetActiveWindow(MainForm->hWnd());
        runFor(50);
    }
    static web::HTMLElement el(frmVoiceQuote& d, const std::string& id) { return d.PageDocument().all(id); }
    bool hasOwnSettings(const std::string& symbol) { return Config().isExist("VoiceQuote", symbol); }
    std::string stored(const std::string& symbol, const std::string& name) {
        return Config().GetNodeAttrib("VoiceQuote/" + symbol, name);
    }
};

// Opened from the record, the page shows the record; the window fits the page; closing without
// a change updates the record only, a change is stored and spoken from the next tick on.
TEST(VoiceQuoteDialog, OpensFromTheRecordAndSavesWhatChanged) {
    Program p(true);
    auto rec = p.record("EURUSD");
    frmVoiceQuote* d = p.open("EURUSD");
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->Busy());
    EXPECT_EQ(d->Caption(), "EURUSD - 语音报价设置");
    EXPECT_TRUE(d->Visible());
    EXPECT_EQ(win::GetWindow(d->hWnd(), win::GW_OWNER), MainForm->hWnd());
    EXPECT_TRUE(win::GetWindowLong(d->hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    EXPECT_EQ(d->ScaleWidth() / 15, 410);
    EXPECT_EQ(d->ScaleHeight() / 15, Program::el(*d, "iLayoutDiv").offsetHeight() + Program::el(*d, "iLayoutDiv").offsetTop());
    // The shipped defaults: neither trigger on, 10 points, 60 changes.
    EXPECT_EQ(Program::el(*d, "legPIPValue").value(), "10");
    EXPECT_EQ(Program::el(*d, "legTimeValue").value(), "60");
    EXPECT_EQ(Program::el(*d, "PIPFormat").value(), "[别名][价格]");
    EXPECT_EQ(Program::el(*d, "timeFormat").value(), "[别名][价格][方向][点差]");
    EXPECT_FALSE(Program::el(*d, "iVoiceCheck").checked());
    EXPECT_TRUE(Program::el(*d, "iOverlay").style().display().empty());
    // The page keeps one trigger on.
    EXPECT_TRUE(Program::el(*d, "iPIP").checked());
    EXPECT_FALSE(Program::el(*d, "iTime").checked());
    EXPECT_FALSE(d->SETChanged());
    EXPECT_FALSE(testing_support::writeSnapshot("voiceset_dialog").empty());

    // Only the master switch: the record follows, the file does not.
    Program::el(*d, "iVoiceCheck").click();
    EXPECT_FALSE(d->SETChanged());
    const std::weak_ptr<frmVoiceQuote> closed = d->weak_from_this();
    p.clickAway();
    EXPECT_EQ(VoiceQuoteForm, nullptr);
    // Unloaded, and gone once nothing of the program holds it.
    if (const auto still = closed.lock()) {
        EXPECT_FALSE(still->IsLoaded());
    }
    EXPECT_TRUE(rec->VoiceEnable());
    EXPECT_TRUE(rec->EnableDelta());
    EXPECT_FALSE(p.hasOwnSettings("EURUSD"));

    // A new template and threshold, closed by the close box: stored, and the next tick speaks it.
    d = p.open("EURUSD");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(Program::el(*d, "iVoiceCheck").checked());
    Program::el(*d, "legPIPValue").value("1");
    Program::el(*d, "PIPFormat").value("报价[别名]");
    EXPECT_TRUE(d->SETChanged());
    win::SendMessage(d->hWnd(), win::WM_CLOSE, 0, 0);
    EXPECT_EQ(VoiceQuoteForm, nullptr);
    EXPECT_EQ(rec->VoiceDelta(), 1);
    EXPECT_EQ(rec->DeltaFormat(), "报价[别名]");
    ASSERT_TRUE(p.hasOwnSettings("EURUSD"));
    EXPECT_EQ(p.stored("EURUSD", "PIP"), "1");
    EXPECT_EQ(p.stored("EURUSD", "PIPValue"), "1");
    EXPECT_EQ(p.stored("EURUSD", "PIPFormat"), "报价[别名]");
    EXPECT_EQ(p.stored("EURUSD", "Interval"), "0");
    EXPECT_EQ(p.stored("EURUSD", "IntervalValue"), "60");
    p.events.clear();
    ASSERT_TRUE(p.runUntil([&] {
        for (const auto& e : p.events)
            if (e.rfind("speak: 报价欧元", 0) == 0) return true;
        return false;
    }, 10000));
}

// What counts as a change: any of the six stored values, letter case included; not the master
// switch, and not a value changed and changed back.
TEST(VoiceQuoteDialog, ChangedMeansOneOfTheSixStoredValues) {
    Program p;
    frmVoiceQuote* d = p.open("GBPUSD");
    ASSERT_NE(d, nullptr);
    Program::el(*d, "timeFormat").value("abc[别名]");
    d->VoiceEnable(true);  // a new snapshot with that template
    ASSERT_FALSE(d->SETChanged());
    struct Case {
        const char* id;
        bool box;
        const char* text;
        bool changed;
    };
    const Case cases[] = {
        {"iTime", true, "", true},         {"iPIP", true, "", true},      {"legTimeValue", false, "61", true},
        {"legPIPValue", false, "11", true}, {"timeFormat", false, "ABC[别名]", true},
        {"PIPFormat", false, "[别名]", true}, {"iVoiceCheck", true, "", false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.id);
        web::HTMLElement e = Program::el(*d, k.id);
        if (k.box) {
            const bool was = e.checked();
            e.checked(!was);
            EXPECT_EQ(d->SETChanged(), k.changed);
            e.checked(was);
        } else {
            const std::string was = e.value();
            e.value(k.text);
            EXPECT_EQ(d->SETChanged(), k.changed);
            e.value(was);
        }
        EXPECT_FALSE(d->SETChanged());
    }
    d->Unload();
}

// A number field that holds no whole number of 32 bits at closing is refused: the record and
// the file keep the value the dialog opened with, and closing still hands everything back.
TEST(VoiceQuoteDialog, BadNumbersAreRefusedAtClosing) {
    Program p;
    auto rec = p.record("EURUSD");
    rec->VoiceDelta(7);
    rec->VoiceInterval(30);
    struct Case {
        const char* field;
        const char* text;
        int32_t delta, interval;
    };
    const Case cases[] = {
        {"legPIPValue", "", 7, 30},           {"legPIPValue", "abc", 7, 30},
        {"legPIPValue", "12abc", 7, 30},      {"legPIPValue", "99999999999", 7, 30},
        {"legPIPValue", "-5", 7, 30},         {"legTimeValue", "", 7, 30},
        {"legTimeValue", "2147483648", 7, 30}, {"legTimeValue", " 45 ", 7, 45},
    };
    bool voice = rec->VoiceEnable();
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.field) + " = '" + k.text + "'");
        frmVoiceQuote* d = p.open("EURUSD");
        ASSERT_NE(d, nullptr);
        Program::el(*d, k.field).value(k.text);
        Program::el(*d, "iVoiceCheck").click();
        voice = !voice;
        p.clickAway();
        EXPECT_EQ(VoiceQuoteForm, nullptr);
        EXPECT_EQ(rec->VoiceEnable(), voice);
        EXPECT_EQ(rec->VoiceDelta(), k.delta);
        EXPECT_EQ(rec->VoiceInterval(), k.interval);
        rec->VoiceInterval(30);
    }
    // Only the accepted number reached the file.
    ASSERT_TRUE(p.hasOwnSettings("EURUSD"));
    EXPECT_EQ(p.stored("EURUSD", "PIPValue"), "7");
    EXPECT_EQ(p.stored("EURUSD", "IntervalValue"), "45");
}

// The placeholder menu: the missing placeholders to append, the present ones to delete (every
// occurrence), for the template beside the button that was clicked.
TEST(VoiceQuoteDialog, PlaceholderMenuAppendsAndDeletes) {
    Program p;
    auto rec = p.record("EURUSD");
    rec->EnableInterval(true);
    frmVoiceQuote* d = p.open("EURUSD");
    ASSERT_NE(d, nullptr);
    using Items = std::vector<std::string>;
    const Items all = {"[别名]", "[价格]", "[方向]", "[点差]", "[尾数]"};
    struct Case {
        const char* button;
        const char* field;
        const char* text;
        int choice;  // 0: the menu is closed without a choice
        Items items, deletes;
        const char* after;
    };
    const Case cases[] = {
        {"SelPIPFormat", "PIPFormat", "", 2, all, {}, "[价格]"},
        {"SelPIPFormat", "PIPFormat", "[尾数]看", 1, {"[别名]", "[价格]", "[方向]", "[点差]", "", "删除(&D)"}, {"[尾数]"},
         "[尾数]看[别名]"},
        {"SelPIPFormat", "PIPFormat", "[别名][价格][方向][点差][尾数]", 103, {"", "删除(&D)"}, all,
         "[别名][价格][点差][尾数]"},
        {"SelTimeFormat", "timeFormat", "A[价格]B[价格]", 102, {"[别名]", "[方向]", "[点差]", "[尾数]", "", "删除(&D)"},
         {"[价格]"}, "AB"},
        {"SelTimeFormat", "timeFormat", "[别名]", 0, {"[价格]", "[方向]", "[点差]", "[尾数]", "", "删除(&D)"}, {"[别名]"},
         "[别名]"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.button) + " on '" + k.text + "'");
        Program::el(*d, k.field).value(k.text);
        // The focus is elsewhere: the button's own template is still the one meant.
        Program::el(*d, "iVoiceCheck").focus();
        win::clearTrackedMenus();
        if (k.choice) win::queueMenuChoice(static_cast<win::UINT>(k.choice));
        else win::queueMenuDismiss();
        Program::el(*d, k.button).FireEvent("onclick");
        ASSERT_TRUE(p.runUntil([] { return !win::trackedMenus().empty(); }));
        const auto menu = win::trackedMenus().front();
        EXPECT_EQ(menu.owner, d->hWnd());
        Items texts, deletes;
        for (const auto& i : menu.items) {
            texts.push_back(i.text);
            if (!i.submenu.empty())
                for (const auto& s : i.submenu) deletes.push_back(s.text);
        }
        EXPECT_EQ(texts, k.items);
        EXPECT_EQ(deletes, k.deletes);
        EXPECT_EQ(Program::el(*d, k.field).value(), k.after);
    }
    EXPECT_TRUE(d->IsLoaded());
    d->Unload();
}

// The opener's triggers are shown as the record has them, whichever it sets first; the page
// then refuses to switch off the last trigger, and the master switch greys the options.
TEST(VoiceQuoteDialog, TriggersFollowTheRecordAndOneStaysOn) {
    Program p;
    auto rec = p.record("GBPUSD");
    rec->EnableDelta(false);
    rec->EnableInterval(true);
    rec->VoiceEnable(true);
    frmVoiceQuote* d = p.open("GBPUSD");
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(Program::el(*d, "iPIP").checked());
    EXPECT_TRUE(Program::el(*d, "iTime").checked());
    EXPECT_TRUE(Program::el(*d, "legPIPValue").disabled());
    EXPECT_FALSE(Program::el(*d, "timeFormat").disabled());
    EXPECT_NE(Program::el(*d, "SelPIPFormat").className().find("ImgGray"), std::string::npos);
    EXPECT_EQ(Program::el(*d, "SelTimeFormat").className().find("ImgGray"), std::string::npos);
    EXPECT_TRUE(Program::el(*d, "iOverlay").style().display() == "none");

    Program::el(*d, "iTime").click();
    EXPECT_TRUE(Program::el(*d, "iTime").checked());
    Program::el(*d, "iPIP").click();
    Program::el(*d, "iTime").click();
    EXPECT_FALSE(Program::el(*d, "iTime").checked());
    EXPECT_TRUE(Program::el(*d, "timeFormat").disabled());
    Program::el(*d, "iVoiceCheck").click();
    EXPECT_TRUE(Program::el(*d, "iOverlay").style().display().empty());
    p.clickAway();
    EXPECT_TRUE(rec->EnableDelta());
    EXPECT_FALSE(rec->EnableInterval());
    EXPECT_FALSE(rec->VoiceEnable());
    // Opening and closing again changes nothing in the record.
    d = p.open("GBPUSD");
    ASSERT_NE(d, nullptr);
    p.clickAway();
    EXPECT_TRUE(rec->EnableDelta());
    EXPECT_FALSE(rec->EnableInterval());
}

} // namespace
