// The notice window's member channels, their notification, the toast and the filters, on the
// virtual clock against the fixture member site.
#include "FixtureSites.h"
#include "core/NeighbourWindows.h"
#include "core/frmMain.h"
#include "core/frmSysTray.h"
#include "notices/frmFXNotify.h"
#include "notices/frmToast.h"
#include "pages/Pages.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Window.h"
#include "platform/forms/DateTime.h"
#include "platform/forms/Interaction.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/ProgramSounds.h"
#include "settings/RecordingVoice.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "support/WaveFile.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
const std::string kMember = "http://member.kestrel.example";

struct Row {
    std::string cls, display, cell1, tip, text, html;
};

// A news viewer that stays busy for a number of questions and keeps what it was asked to show.
struct Viewer : NewsViewerWindow {
    Viewer() : NewsViewerWindow("frmFXNews") {}
    int busyFor = 3;
    std::vector<std::string> calls;
    bool Busy() override { return busyFor-- > 0; }
    void URL(const std::string& address) override { calls.push_back("URL " + address); }
    void XStyle() override { calls.push_back("XStyle"); }
    void GETData() override { calls.push_back("GETData"); }
};


// A channel page: title, link and category of each row.
struct Entry {
    std::string title, href, category;
};
std::string channelPage(const std::vector<Entry>& entries) {
    std::string rows;
    for (const auto& e : entries)
        rows += "<tr><td><a href='sub/icon.php'><img src='sub/new.gif'></a> <a href='" + e.href + "'>" + e.title +
                "</a></td><td>[" + e.category + "]</td><td>12-10 10:00</td></tr>";
    return "<html><body><div>会员</div><table class='list'>" + rows + "</table><table><tr><td>x</td></tr></table></body></html>";
}

// The program's notice window with a tray icon for its balloons, a speech object that keeps
// what it is told, and a sound for the service alerts.
struct MembersProgram {
    TestMachine m;
    fixtures::FixtureSites sites;
    frmFXNotify* w = nullptr;
    std::shared_ptr<std::vector<SpokenText>> said;
    std::shared_ptr<Viewer> viewer;

    explicit MembersProgram(int edition) : m([] {
        sys::MachineOptions o;
        o.startLocalMs = sys::localMsFrom(2026, 12, 10, 9, 0, 0);
        return o;
    }()) {
        m_Main::EndProgram();
        m->setSetting("audio.output", "none");
        installProgram(*m);
        pages::registerResources();
        m_Main::PageBase = kBase;
        m_Main::AppDir = std::string(kProgramFolder) + "\\";
        for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
        sites.setEdition(edition);
        said = RecordingVoice::install(*m);
        m->makeDirs(std::string(kProgramFolder) + "\\Sound");
        m->writeFileAtomic(std::string(kProgramFolder) + "\\Sound\\brisk.wav", testing_support::waveFile(1000));
        setSettingsAttrib("Settings/Brisk", "SoundFile", "brisk.wav");
        setSettingsAttrib("Settings/Brisk", "Voice", "1");
        m_Main::NewFXNotify = [] { return std::make_shared<frmFXNotify>(); };
        m_Main::NewFXNews = [this] {
            viewer = std::make_shared<Viewer>();
            return viewer;
        };
    }
    ~MembersProgram() {
        if (w && w->IsLoaded()) w->Unload();
        m_Main::EndProgram();
    }
    // Loads the window as the core does and waits for the first cycle to be shown.
    void open() {
        Config().XmlFile(kProgramSettings);
        ASSERT_TRUE(Config().Initialize());
        auto main = std::make_shared<frmMain>();
        main->m_FrmSysTray = std::make_shared<frmSysTray>();
        main->m_FrmSysTray->Load();
        m_Main::MainForm = main;
        w = dynamic_cast<frmFXNotify*>(m_Main::FXNotifyForm());
        ASSERT_NE(w, nullptr);
        w->Load();
        ASSERT_TRUE(pageWait([&] { return !w->Busy(); }));
        w->FXEvent();
        ASSERT_TRUE(m->runUntil([&] { return w->NewsShown(); }, kOutsideWaitMs));
    }
    bool pageWait(const std::function<bool()>& pred, uint64_t ms = kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    // Runs until the window's timer starts the next download of the Vip channel, which comes
    // every 30 ticks of a second; what it brings is then the site's answer, waited for apart.
    bool nextVipPoll() {
        const int asked = sites.hits("/member/vip.php");
        return m->runUntil([&] { return w->Source(11).InProgress || sites.hits("/member/vip.php") > asked; }, 40000);
    }
    std::string js(const std::string& code) {
        const auto v = w->PageDocument().execScript(code);
        return v.is_string() ? v.get<std::string>() : v.dump();
    }
    std::vector<Row> rows(const std::string& word = "") {
        const auto text = js(
            "JSON.stringify(Array.prototype.map.call(document.getElementById('iTable').tBodies[0].rows,"
            " function (r) { return [r.className, r.style.display, r.cells[0].innerText, r.cells[0].title,"
            " r.cells[1].innerText, r.cells[1].innerHTML]; }))");
        std::vector<Row> out;
        for (const auto& r : nlohmann::json::parse(text))
            if (word.empty() || r[0] == "AllFX " + word) out.push_back({r[0], r[1], r[2], r[3], r[4], r[5]});
        return out;
    }
    // A later cycle with these channel pages, straight into the processor.
    void cycle(const std::string& strategy, const std::string& vip, const std::string& notice) {
        w->Source(10).Content = strategy;
        w->Source(11).Content = vip;
        w->Source(12).Content = notice;
        w->ProcessSource(0);
        for (int slot : {10, 11, 12}) w->Source(slot).Content.clear();
    }
    std::vector<win::BalloonRecord> alerts() {
        std::vector<win::BalloonRecord> out;
        for (const auto& b : win::balloonHistory())
            if (b.title == "Kestrel交易提醒") out.push_back(b);
        return out;
    }
    // The service alert's sounds; the calendar's chime when the week comes in is not one.
    std::vector<std::string> sounds() {
        const std::string chime = media::systemSoundFile(*m, "SystemAsterisk").filename().string();
        std::vector<std::string> out;
        for (const auto& c : media::audioRecorder(*m).clips())
            if (chime.empty() || c.purpose != chime) out.push_back(c.purpose);
        return out;
    }
    std::vector<std::string> spoken() const {
        std::vector<std::string> out;
        for (const auto& s : *said) out.push_back(s.text);
        return out;
    }
    frmToast* toastOpen(uint64_t ms = kOutsideWaitMs) {
        pageWait([&] { return w->Toast() && w->Toast()->IsOpen(); }, ms);
        return w->Toast() && w->Toast()->IsOpen() ? w->Toast() : nullptr;
    }
    void set(const char* path, const char* name, const std::string& value) {
        ASSERT_TRUE(Config().SetNodeAttrib(path, name, value)) << path << " " << name;
    }
};

win::RECT rectOf(frmToast* t) {
    win::RECT r{};
    win::GetWindowRect(t->hWnd(), &r);
    return r;
}

TEST(MemberChannels, FirstCycleFillsQuietlyAndALaterOneAnnouncesOnlyTheNew) {
    MembersProgram p(3);
    p.open();
    // The first cycle: every entry a row, nothing announced.
    const auto strategy = p.rows("Strategy"), vip = p.rows("Vip"), notice = p.rows("Notice");
    ASSERT_EQ(strategy.size(), 2u);
    ASSERT_EQ(vip.size(), 2u);
    ASSERT_EQ(notice.size(), 1u);
    const Row& first = vip[0].html.find("no=201") != std::string::npos ? vip[0] : vip[1];
    EXPECT_EQ(first.cell1, "张分析") << "the category without its brackets";
    EXPECT_EQ(first.tip, "Vip");
    EXPECT_EQ(first.html, "<img src=\"ivip.gif\" align=\"absmiddle\">&nbsp;<a href=\"" + kMember +
                               "/sub/vip.php?no=201\" target=\"_blank\" style=\"text-decoration:underline\">"
                               "欧元兑美元日内交易参考 EURUSD</a>");
    for (const auto& r : p.rows()) EXPECT_EQ(r.display, "") << r.text;
    EXPECT_TRUE(p.alerts().empty());
    EXPECT_TRUE(p.sounds().empty());
    EXPECT_TRUE(p.spoken().empty());
    EXPECT_EQ(p.w->ToastHtml(), "");

    // The Vip page brings two entries beside the two seen ones; the next cycle announces them.
    p.sites.setEdition(4);
    ASSERT_TRUE(p.nextVipPoll());
    ASSERT_TRUE(p.m->runUntil([&] { return p.rows("Vip").size() >= 4; }, kOutsideWaitMs));
    EXPECT_EQ(p.rows("Vip").size(), 4u);
    EXPECT_EQ(p.rows("Strategy").size(), 2u);
    const auto alerts = p.alerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].text, "张分析 英镑兑美元日内交易：关注1.34阻力 GBPUSD\r\n李分析 日元长线策略 USDJPY\r\n点击冒泡显示内容.");
    EXPECT_EQ(m_Main::MainForm->BalloonKey, "Brisk");
    ASSERT_EQ(p.sounds().size(), 1u);
    EXPECT_NE(p.sounds()[0].find("Sound\\brisk.wav"), std::string::npos) << p.sounds()[0];
    // Each switched-on channel is spoken, in the order Vip, Strategy, Notice, with its count.
    ASSERT_EQ(p.spoken().size(), 1u);
    EXPECT_EQ(p.spoken()[0], "会员服务有2条新信息!策略服务有0条新信息!Kestrel公告有0条新信息!");
    EXPECT_EQ((*p.said)[0].flags, 1u);
    EXPECT_EQ(p.w->ToastHtml(),
              "<img src='ivip.gif' align='absbottom'/>&nbsp;<b>Vip服务</b>&nbsp;<span style='text-decoration:underline' "
              "class='popupText' data-link='" + kMember + "/sub/vip.php?no=203'>张分析&nbsp;英镑兑美元日内交易：关注1.34阻力 GBPUSD</span>"
              "<HR style='border:1 dashed #987cb9' SIZE=1 >"
              "<img src='ivip.gif' align='absbottom'/>&nbsp;<b>Vip服务</b>&nbsp;<span style='text-decoration:underline' "
              "class='popupText' data-link='" + kMember + "/sub/vip.php?no=204'>李分析&nbsp;日元长线策略 USDJPY</span>");
    // A later poll of the same pages announces nothing more.
    ASSERT_TRUE(p.m->runUntil([&] { return !p.w->Working(); }, kOutsideWaitMs));
    ASSERT_TRUE(p.nextVipPoll());
    ASSERT_TRUE(p.m->runUntil([&] { return !p.w->Working(); }, kOutsideWaitMs));
    EXPECT_EQ(p.alerts().size(), 1u);
    EXPECT_EQ(p.rows("Vip").size(), 4u);
}

// The switches of the service alerts over later cycles, and what a hostile channel page leaves.
TEST(MemberChannels, SwitchesGateTheNotificationAndPagesLeaveTextOnly) {
    MembersProgram p(1);
    p.open();
    ASSERT_TRUE(p.rows("Vip").empty()) << "the first edition's pages list no entries";
    struct Case {
        const char* name;
        const char *warn, *sound, *voice, *strategy, *vip, *notice, *file;
        bool alert, sound_;
        std::vector<std::string> speech;
    };
    const Case cases[] = {
        // The "brisk" switch of the settings is the master switch of the alerts.
        {"master switch off", "0", "1", "1", "1", "1", "1", "brisk.wav", false, false, {}},
        // Only the switched-off channel had news: the balloon, no sound, the others' counts.
        {"news only where switched off", "1", "1", "1", "1", "0", "1", "brisk.wav", true, false,
         {"策略服务有0条新信息!Kestrel公告有0条新信息!"}},
        {"sound without speech", "1", "1", "0", "0", "1", "0", "brisk.wav", true, true, {}},
        {"speech without sound", "1", "0", "1", "0", "1", "0", "brisk.wav", true, false, {"会员服务有1条新信息!"}},
        // The sound is a file of the sound folder, named bare.
        {"sound file outside its folder", "1", "1", "0", "0", "1", "0", "..\\Sound\\brisk.wav", true, false, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::pair<const char*, const char*> flags[] = {{"WarnChecked", c.warn}, {"Sound", c.sound},
                                                             {"Voice", c.voice},      {"Strategy", c.strategy},
                                                             {"Vip", c.vip},          {"Notice", c.notice},
                                                             {"SoundFile", c.file}};
        for (const auto& [name, value] : flags) p.set("Settings/Brisk", name, value);
        const size_t alerts = p.alerts().size(), sounds = p.sounds().size(), spoken = p.spoken().size();
        const std::string title = "新条目" + std::to_string(++n) + " EURUSD";
        p.cycle("", channelPage({{title, "sub/vip.php?no=" + std::to_string(n), "张分析"}}), "");
        EXPECT_EQ(p.rows("Vip").size(), static_cast<size_t>(n)) << "the row comes whatever the switches";
        EXPECT_NE(p.w->ToastHtml().find(title), std::string::npos);
        EXPECT_EQ(p.alerts().size(), alerts + (c.alert ? 1 : 0));
        EXPECT_EQ(p.sounds().size(), sounds + (c.sound_ ? 1 : 0));
        const auto now = p.spoken();
        const std::vector<std::string> said(now.begin() + static_cast<long>(spoken), now.end());
        EXPECT_EQ(said, c.speech);
    }

    // A page with markup in its texts, a script link, a third row without its title link: the
    // first two rows come as text, the script link as none, the fourth row is never read.
    p.set("Settings/Brisk", "WarnChecked", "1");
    const std::string hostile = "<img src=x onerror=window.__pwned=1>标题|引号";
    p.cycle(channelPage({{"&lt;img src=x onerror=window.__pwned=1&gt;标题|引号", "javascript:window.__pwned=2", "[李分析]"},
                         {"第二条 GBPUSD", "sub/vip.php?no=77", "张分析"}}) ,
            "", "");
    EXPECT_NE(p.w->ToastHtml().find("&lt;img src=x onerror=window.__pwned=1&gt;标题|引号"), std::string::npos);
    EXPECT_EQ(p.w->ToastHtml().find("javascript"), std::string::npos);
    EXPECT_NE(p.w->ToastHtml().find("data-link='" + kMember + "/sub/vip.php?no=77'"), std::string::npos);
    p.cycle("", "<table><tr><td><a href='sub/a'>x</a><a href='sub/b.php'>第一条</a></td><td>[A]</td></tr>"
                "<tr><td><a href='sub/a'>x</a><a href='sub/c.php'>第二条 USDJPY</a></td><td>[B]</td></tr>"
                "<tr><td>没有标题链接</td><td>[C]</td></tr>"
                "<tr><td><a href='sub/a'>x</a><a href='sub/d.php'>第四条</a></td><td>[D]</td></tr></table>",
            "");
    std::string all;
    for (const auto& r : p.rows()) all += r.text + "\n";
    EXPECT_NE(all.find(hostile), std::string::npos);
    EXPECT_NE(all.find("第一条"), std::string::npos);
    EXPECT_NE(all.find("第二条 USDJPY"), std::string::npos);
    EXPECT_EQ(all.find("第四条"), std::string::npos);
    for (const auto& r : p.rows("Strategy"))
        if (r.text.find("标题") != std::string::npos) {
            EXPECT_EQ(r.html.find("<a"), std::string::npos) << r.html;
            EXPECT_EQ(r.cell1, "李分析");
        }
    EXPECT_EQ(p.js("String(document.getElementById('iTable').querySelectorAll('[onerror],script').length)"), "0");
    EXPECT_EQ(p.js("typeof window.__pwned"), "undefined");
    EXPECT_NE(p.w->ToastHtml().find(kMember + "/sub/c.php"), std::string::npos);

    // On the Vip tab a new strategy comes hidden, a new Vip entry as the filter says, a notice
    // only on its own tab and the all-news tab.
    p.w->ClickFn_Vip();
    p.cycle(channelPage({{"策略新条目", "sub/s.php", "日内交易"}}),
            channelPage({{"会员新条目", "sub/v.php", "张分析"}}), channelPage({{"公告新条目", "sub/n.php", "公告"}}));
    for (const auto& r : p.rows()) {
        if (r.text.find("新条目") == std::string::npos) continue;
        EXPECT_EQ(r.display, r.cls == "AllFX Vip" ? "" : "none") << r.text;
    }
    p.w->ClickFn_Notice();
    p.cycle(channelPage({{"策略又一条", "sub/s2.php", "日内交易"}}), "", channelPage({{"公告又一条", "sub/n2.php", "公告"}}));
    for (const auto& r : p.rows()) {
        if (r.text.find("又一条") == std::string::npos) continue;
        EXPECT_EQ(r.display, r.cls == "AllFX Notice" ? "" : "none") << r.text;
    }
}

// The toast's keyword lists, and the filter bar with subjects and keywords.
TEST(NoticeFilters, ToastKeywordsAndTheFilterBar) {
    MembersProgram p(3);
    p.open();
    struct PopCase {
        const char *include, *exclude, *text;
        bool passes;
    };
    const PopCase pops[] = {
        {"美元;黄金;", "", "美元指数走强", true},
        {"美元;黄金;", "", "现货黄金回落", true},
        {"美元;黄金;", "", "英镑小幅走高", false},
        {"美元", "", "美元指数走强", true},  // no final ";" needed
        {"美元;", "加息;", "美元加息预期", false},
        {"美元;", "加息;", "央行加息", false},
        {"美元;", "加息;", "英镑走高", false},
        {"美元;", "加息;", "美元走强", true},
        {"", "加息", "英镑走高", true},
        {"", "加息", "央行加息", false},
        {" 美元 ; 黄金 ", "", "现货黄金回落", true},  // blanks around keywords do not count
        // Empty keywords are none: they neither let everything in nor keep everything out.
        {";;", "", "英镑走高", true},
        {"美元;;黄金", "", "英镑走高", false},
        {"", "; ;", "英镑走高", true},
        {"", ";", "英镑走高", true},
    };
    for (const auto& c : pops) {
        p.set("Settings/FXNews", "Include", c.include);
        p.set("Settings/FXNews", "Exclude", c.exclude);
        EXPECT_EQ(p.w->PopFilter(c.text), c.passes) << c.include << " | " << c.exclude << " | " << c.text;
    }

    // The filter bar over the table: every row of the pane whose text passes is shown.
    auto expectShown = [&](const char* pane, const std::function<bool(const Row&)>& wanted) {
        for (const auto& r : p.rows()) {
            const bool inPane = r.cls.find(pane) != std::string::npos;
            EXPECT_EQ(r.display, inPane && wanted(r) ? "" : "none") << r.cls << " " << r.cell1 << " " << r.text;
        }
    };
    auto select = [&](const char* id, int index) {
        p.js(std::string("document.getElementById('") + id + "').selectedIndex = " + std::to_string(index));
    };
    auto keywords = [&](const char* text) {
        p.js(std::string("document.getElementById('iFilterTxt').value = ") + nlohmann::json(text).dump());
    };
    auto has = [](std::initializer_list<const char*> words) {
        return [words](const Row& r) {
            for (const char* w : words)
                if ((r.cell1 + " " + r.text).find(w) != std::string::npos) return true;
            return false;
        };
    };
    const auto everything = [](const Row&) { return true; };
    ASSERT_FALSE(p.rows("Vip").empty());

    // "All" lets every row of the pane through, member rows without "/" among them.
    p.w->ClickFn_All();
    expectShown("AllFX", everything);
    for (const char* empty : {";;", "; ;", ";"}) {
        keywords(empty);
        p.w->Filter();
        expectShown("AllFX", everything);
    }
    keywords("EURUSD; 黄金");
    p.w->Filter();
    expectShown("AllFX", has({"EURUSD", "黄金"}));
    keywords("");
    EXPECT_TRUE(p.w->Filter("任意标题/"));
    EXPECT_TRUE(p.w->Filter("没有斜杠的标题"));
    select("iSelect", 1);  // "美元"
    p.w->Filter();
    expectShown("AllFX", has({"美元"}));
    EXPECT_TRUE(p.w->Filter("美元指数走强/"));
    EXPECT_FALSE(p.w->Filter("英镑走高/"));
    select("iSelect", 0);

    // The channel bars: the strategy kind is the strategies' subject, the analyst the Vip's.
    p.w->ClickFn_Strategy();
    select("iBriskOpt", 1);  // "日内交易"
    p.w->Filter();
    expectShown("Strategy", has({"日内交易"}));
    select("iBriskOpt", 0);
    select("iBriskSymbol", 6);  // "XAUUSD"
    p.w->Filter();
    expectShown("Strategy", has({"XAUUSD"}));
    select("iBriskSymbol", 0);
    p.js("var s = document.getElementById('iBriskTech'); s.add(new Option('张分析')); s.selectedIndex = 1;");
    p.w->ClickFn_Vip();
    expectShown("Vip", has({"张分析"}));
    select("iBriskTech", 0);
    p.w->Filter();
    expectShown("Vip", everything);

    // The notice pane shows its rows unfiltered; there an item test says no.
    p.w->ClickFn_Notice();
    expectShown("Notice", everything);
    EXPECT_FALSE(p.w->Filter("任意标题/"));
}

// The toast: where it rises and how, how long it stays, what its links reach.
TEST(Toast, RisesOverTheTrayCornerStaysItsTimeAndHandsOverItsLinks) {
    MembersProgram p(1);
    p.open();
    int n = 0;
    auto news = [&](int entries = 1) {
        std::vector<Entry> e;
        for (int i = 0; i < entries; ++i) {
            ++n;
            e.push_back({"会员信息" + std::to_string(n) + " EURUSD", "sub/vip.php?no=" + std::to_string(n), "张分析"});
        }
        p.cycle("", channelPage(e), "");
    };

    // Risen from the work area's bottom at the right edge, 10 px each 10 ms.
    news();
    frmToast* t = p.toastOpen();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Caption(), "即时市况速递");
    EXPECT_EQ(p.js("document.getElementById('Duration').value"), "20000");
    const int full = t->FullHeight();
    EXPECT_GT(full, 40);
    win::RECT r = rectOf(t);
    EXPECT_EQ(r.right - r.left, 300);
    EXPECT_EQ(r.left, 1280 - 300 - 1);
    EXPECT_EQ(r.bottom, 770) << "the work area ends above the task bar";
    const win::HWND front = win::GetForegroundWindow();
    while (t->Rising()) {
        const int before = rectOf(t).bottom - rectOf(t).top;
        p.m->runFor(frmToast::kStepMs);
        r = rectOf(t);
        const int after = r.bottom - r.top;
        EXPECT_TRUE(after == before + 10 || (after == full && after > before)) << before << " -> " << after;
        EXPECT_EQ(r.bottom, 770);
    }
    EXPECT_EQ(rectOf(t).top, 770 - full);
    EXPECT_EQ(win::GetForegroundWindow(), front) << "the toast takes no activation";
    EXPECT_TRUE(win::GetWindowLong(t->hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    // It closes by itself after its time.
    EXPECT_TRUE(t->ClosePending());
    p.m->runFor(15000);
    EXPECT_TRUE(t->IsOpen());
    p.m->runFor(6000);
    EXPECT_FALSE(t->IsOpen());
    EXPECT_FALSE(win::IsWindowVisible(t->hWnd()));

    // The mouse on it holds it; leaving starts the whole time again. The snapshot shows it risen.
    p.w->Show(forms::vbModeless);
    news();
    ASSERT_NE(p.toastOpen(), nullptr);
    p.m->runFor(500);
    r = rectOf(t);
    win::mouseMove(r.left + 150, r.bottom - 10);
    p.m->runFor(200);
    EXPECT_FALSE(t->ClosePending());
    p.m->runFor(30000);
    EXPECT_TRUE(t->IsOpen());
    ASSERT_TRUE(p.pageWait([&] { return t->PageDocument().execScript(testing_support::kImagesDone) == "true"; }));
    EXPECT_FALSE(writeSnapshot("notices_toast_tray").empty());
    win::mouseMove(200, 200);
    p.m->runFor(200);
    EXPECT_TRUE(t->ClosePending());
    p.m->runFor(19000);
    EXPECT_TRUE(t->IsOpen());
    p.m->runFor(1500);
    EXPECT_FALSE(t->IsOpen());

    // Items taller than a third of the screen are cut at that height.
    news(30);
    ASSERT_NE(p.toastOpen(), nullptr);
    EXPECT_EQ(p.js("document.getElementById('popupWin_BodyText').style.height"), "267px");
    EXPECT_LE(t->FullHeight(), 267 + 80);

    // Without a duration it stays until closed; its close button closes it.
    p.set("Settings/FXNews/Popup/Duration", "Checked", "0");
    news();
    ASSERT_NE(p.toastOpen(), nullptr);
    EXPECT_EQ(p.js("document.getElementById('Duration').value"), "");
    EXPECT_EQ(p.js("document.getElementById('popupWin_BodyText').style.height"), "");
    p.m->runFor(60000);
    EXPECT_TRUE(t->IsOpen());
    t->PageDocument().execScript("document.getElementById('popupWin_CloseButton').click()");
    ASSERT_TRUE(p.pageWait([&] { return !t->IsOpen(); }));

    // "更多..." closes it and brings the notice window out.
    p.w->Hide();
    news();
    ASSERT_NE(p.toastOpen(), nullptr);
    t->PageDocument().execScript("document.getElementById('popupWin_LinkMore').click()");
    ASSERT_TRUE(p.pageWait([&] { return p.w->Visible(); }));
    EXPECT_FALSE(t->IsOpen());

    // An item closes it and opens its address in the viewer, once the viewer is ready.
    news();
    ASSERT_NE(p.toastOpen(), nullptr);
    t->PageDocument().execScript("document.querySelector('[data-link]').click()");
    ASSERT_TRUE(p.pageWait([&] { return p.viewer && p.viewer->calls.size() == 3; }));
    EXPECT_EQ(p.viewer->calls, (std::vector<std::string>{"URL " + kMember + "/sub/vip.php?no=" + std::to_string(n),
                                                          "XStyle", "GETData"}));
    EXPECT_FALSE(t->IsOpen());
    EXPECT_EQ(forms::Screen.MousePointer(), forms::vbDefault);
}

// A program filling the screen holds the toast back; the desktop and a maximised window do not.
TEST(Toast, AFullScreenProgramHoldsItBack) {
    MembersProgram p(1);
    p.open();
    struct Case {
        const char* name;
        const char* cls;
        int width, height;
        const char* detect;
        bool shown;
    };
    const Case cases[] = {
        {"full-screen video", "VideoPlayerFS", 1280, 800, "1", false},
        {"the desktop", "Progman", 1280, 800, "1", true},
        {"maximised, task bar showing", "Notepad", 1280, 770, "1", true},
        {"full-screen video, test off", "VideoPlayerFS", 1280, 800, "0", true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        p.set("Settings/FXNews/Popup/DetectFSApp", "Checked", c.detect);
        win::WNDCLASS wc;
        wc.lpszClassName = c.cls;
        win::RegisterClass(wc);
        const win::HWND front = win::CreateWindowEx(0, c.cls, c.name, win::WS_POPUP | win::WS_VISIBLE, 0, 0, c.width,
                                                    c.height, 0);
        win::SetForegroundWindow(front);
        ASSERT_EQ(win::GetForegroundWindow(), front);
        ++n;
        p.cycle("", channelPage({{"全屏测试" + std::to_string(n), "sub/vip.php?no=" + std::to_string(n), "张分析"}}), "");
        if (c.shown) {
            ASSERT_NE(p.toastOpen(), nullptr);
            p.w->Toast()->PopupClose();
        } else {
            EXPECT_EQ(p.toastOpen(2000), nullptr);
        }
        win::DestroyWindow(front);
    }
}

// A link reaches the viewer only as a web address, and only after a bounded wait.
TEST(NoticeLinks, OnlyWebAddressesReachTheViewerAndItsWaitIsBounded) {
    MembersProgram p(1);
    Config().XmlFile(kProgramSettings);
    ASSERT_TRUE(Config().Initialize());
    p.w = dynamic_cast<frmFXNotify*>(m_Main::FXNotifyForm());
    ASSERT_NE(p.w, nullptr);
    p.w->Load();
    ASSERT_TRUE(p.pageWait([&] { return !p.w->Busy(); }));
    auto click = [&](const std::string& address) {
        p.js("document.getElementById('iLink').value = " + nlohmann::json(address).dump());
        p.w->ClickLink();
    };
    for (const char* bad : {"javascript:alert(1)", "file:///etc/passwd", "vip.php?no=1", ""}) {
        click(bad);
        EXPECT_EQ(p.viewer, nullptr) << bad;
    }
    click("http://www.fx168.example/news/1.htm");
    ASSERT_NE(p.viewer, nullptr);
    EXPECT_EQ(p.viewer->calls, (std::vector<std::string>{"URL http://www.fx168.example/news/1.htm", "XStyle", "GETData"}));
    // A viewer that never gets ready is given up, with a message.
    p.viewer->calls.clear();
    p.viewer->busyFor = 1 << 30;
    win::clearMessageBoxes();
    win::queueMessageBoxAnswer(forms::vbOK);
    const uint32_t start = win::GetTickCount();
    click("https://www.dailyfx-hk.example/news/2.htm");
    EXPECT_TRUE(p.viewer->calls.empty());
    EXPECT_LE(win::GetTickCount() - start, 31000u);
    EXPECT_EQ(forms::Screen.MousePointer(), forms::vbDefault);
    ASSERT_EQ(win::messageBoxes().size(), 1u);
    EXPECT_EQ(win::messageBoxes()[0].text, frmFXNotify::kViewerNotReady);
    EXPECT_EQ(m_Main::FXNewsForm, nullptr) << "the next link starts afresh";
}

// The failed-source bar after the calendar step: a change of text alone is no layout change,
// and once the week's calendar is stored the processor leaves the bar alone.
TEST(TimeOutBar, FollowsTheFailuresOnlyWhileTheCalendarStepRuns) {
    for (const bool stored : {false, true}) {
        SCOPED_TRACE(stored ? "calendar stored" : "calendar fetched");
        MembersProgram p(1);
        if (stored) {
            cls_Config c;
            c.XmlFile(kProgramSettings);
            ASSERT_TRUE(c.Initialize());
            c.SetNodeAttrib("FXCalendar", "DateFrom", forms::FormatDateTime(forms::DateSerial(2026, 12, 7), forms::vbShortDate));
            for (int16_t d = 1; d <= 5; ++d) c.AddFXCalendar(d, "10:00", "事件", "1", "");
            c.XMLSave();
        }
        p.sites.setStatus("/member/vip.php", 404);
        // Not stored, the week's calendar does not come in either, so its step runs every cycle.
        const std::string calendar = "/calendar-a/calendar/calendar_f_cnforex.php";
        std::string failing = "Vip服务;";
        if (!stored) {
            p.sites.setStatus(calendar, 404);
            for (const char* day : {"一", "二", "三", "四", "五"}) failing += std::string("财经日历(星期") + day + ");";
        }
        p.open();
        ASSERT_EQ(p.w->WeekComplete(), stored);
        auto bar = [&] { return p.js("document.getElementById('TimeOutBar').style.display"); };
        auto text = [&] { return p.js("document.getElementById('TimeOut').innerText"); };
        EXPECT_EQ(p.w->FailedSources(), failing);
        EXPECT_EQ(bar(), "");
        EXPECT_EQ(p.w->LayoutChanges(), 1);

        // The bar's text out of date: the processor writes it again without a layout change.
        p.js("document.getElementById('TimeOut').innerText = '旧'");
        p.w->ProcessSource(0);
        EXPECT_EQ(text(), stored ? "旧" : failing + " 采集超时!");
        EXPECT_EQ(p.w->LayoutChanges(), 1);
        // Hidden while a source still fails: shown again, a layout change.
        p.js("document.getElementById('TimeOutBar').style.display = 'none'");
        p.w->ProcessSource(0);
        EXPECT_EQ(bar(), stored ? "none" : "");
        EXPECT_EQ(p.w->LayoutChanges(), stored ? 1 : 2);
        if (stored) continue;
        // Nothing failing and the bar hidden: nothing changes.
        p.sites.setStatus("/member/vip.php", 0);
        p.sites.setStatus(calendar, 0);
        ASSERT_TRUE(p.m->runUntil([&] { return p.w->FailedSources().empty(); }, 180000));
        EXPECT_TRUE(p.w->WeekComplete());
        p.m->runFor(100);
        EXPECT_EQ(bar(), "none");
        EXPECT_EQ(p.w->LayoutChanges(), 3);
        p.w->ProcessSource(0);
        EXPECT_EQ(bar(), "none");
        EXPECT_EQ(p.w->LayoutChanges(), 3);
    }
}

}  // namespace
