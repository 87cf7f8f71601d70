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
#include "platform/desktop/Screen.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Window.h"
#include "platform/forms/Interaction.h"
#include "platform/media/AudioOutput.h"
#include "settings/RecordingVoice.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
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

// One second of silence as a wave file.
std::string silence() {
    std::string wav = "RIFF" + std::string(4, '\0') + "WAVEfmt ";
    auto u32 = [&](uint32_t v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    u32(16), u16(1), u16(1), u32(8000), u32(16000), u16(2), u16(16);
    wav += "data";
    u32(16000);
    wav += std::string(16000, '\0');
    const uint32_t riff = static_cast<uint32_t>(wav.size() - 8);
    wav.replace(4, 4, reinterpret_cast<const char*>(&riff), 4);
    return wav;
}

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
        m->writeFileAtomic(std::string(kProgramFolder) + "\\Sound\\brisk.wav", silence());
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
        ASSERT_TRUE(m->runUntil([&] { return w->NewsShown(); }, 30000));
    }
    bool pageWait(const std::function<bool()>& pred, uint64_t ms = 30000) {
        m->beginOutsideWork();
        const bool ok = m->runUntil(pred, ms);
        m->endOutsideWork();
        return ok;
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
    std::vector<std::string> sounds() {
        std::vector<std::string> out;
        for (const auto& c : media::audioRecorder(*m).clips()) out.push_back(c.purpose);
        return out;
    }
    std::vector<std::string> spoken() const {
        std::vector<std::string> out;
        for (const auto& s : *said) out.push_back(s.text);
        return out;
    }
    frmToast* toastOpen(uint64_t ms = 20000) {
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
    ASSERT_TRUE(p.m->runUntil([&] { return p.rows("Vip").size() >= 4; }, 40000));
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
    // Later polls of the same pages announce nothing more.
    p.m->runFor(40000);
    EXPECT_EQ(p.alerts().size(), 1u);
    EXPECT_EQ(p.rows("Vip").size(), 4u);
}

}  // namespace
