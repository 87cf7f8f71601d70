// The news viewer showing the fixture sites' articles on the virtual clock.
#include "app/ProgramWindows.h"
#include "FixtureSites.h"
#include "core/Program.h"
#include "notices/frmFXNews.h"
#include "notices/frmFXNotify.h"
#include "pages/Pages.h"
#include "platform/desktop/Clipboard.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/MessageBox.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Form.h"
#include "platform/forms/ShellExecute.h"
#include "platform/system/Resources.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

namespace {

const std::string kBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
const char* const kNode = "Window/FXNews_Content";
const std::string kFX168Article = "http://www.fx168.example/fxnews/2026/1210/0912.htm";
const std::string kCaiXunArticle = "http://forex.caixun.example/fx_information/20261210/1.html";
const std::string kServiceArticle = "http://bbs.kestrel.example/news/show.php?id=7";
const std::string kHostileArticle = "http://bbs.kestrel.example/news/show.php?id=666";

struct ViewerProgram {
    testing_support::TestMachine m;
    fixtures::FixtureSites sites;

    ViewerProgram() {
        m_Main::EndProgram();
        testing_support::installProgram(*m);
        pages::registerResources();
        m_Main::PageBase = kBase;
        for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
        m_Main::NewFXNews = [] { return std::make_shared<frmFXNews>(); };
        Config().XmlFile(testing_support::kProgramSettings);
        EXPECT_TRUE(Config().Initialize());
    }
    ~ViewerProgram() {
        if (m_Main::FXNewsForm) m_Main::FXNewsForm->Unload();
        m_Main::EndProgram();
    }
    frmFXNews* viewer() { return dynamic_cast<frmFXNews*>(m_Main::FXNewsForm.get()); }
    // The browser's waits get real time.
    bool pageWait(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    std::string js(const std::string& code) {
        const auto v = viewer()->PageDocument().execScript(code);
        return v.is_string() ? v.get<std::string>() : v.dump();
    }
    // Opens the link as the notice window does and waits for the article or the fallback.
    void open(const std::string& url) {
        m->beginOutsideWork();
        frmFXNotify::OpenInViewer(url);
        m->endOutsideWork();
        ASSERT_NE(viewer(), nullptr);
        ASSERT_TRUE(pageWait([&] { return js("document.getElementById('iLoad').style.display") == "none"; }));
        EXPECT_EQ(js("document.getElementById('FxNews').style.display"), "");
    }
    // Loads the viewer with its stored place, without an article.
    void load() {
        m_Main::FXNewsForm = m_Main::NewFXNews();
        m_Main::FXNewsForm->Load();
        ASSERT_TRUE(pageWait([&] { return !m_Main::FXNewsForm->Busy(); }));
    }
    void store(const std::map<std::string, std::string>& values) {
        for (const char* a : {"Left", "Top", "Width", "Height", "PopupStyle"}) {
            auto it = values.find(a);
            if (it != values.end()) ASSERT_TRUE(Config().CreateAttrib(kNode, a, it->second));
            else Config().document().select_node("/App/Window/FXNews_Content").node().remove_attribute(a);
        }
    }
    win::RECT rect() {
        win::RECT r{};
        win::GetWindowRect(viewer()->hWnd(), &r);
        return r;
    }
    uint32_t style() { return static_cast<uint32_t>(win::GetWindowLong(viewer()->hWnd(), win::GWL_STYLE)); }
};

TEST(NewsViewer, StoredPlaceIsClampedToTheScreen) {
    // The screen is 1280 x 800.
    const struct {
        const char* name;
        std::map<std::string, std::string> stored;
        long left, top, width, height;
        bool popup;
    } cases[] = {
        {"as stored", {{"Left", "200"}, {"Top", "120"}, {"Width", "640"}, {"Height", "480"}, {"PopupStyle", "0"}},
         200, 120, 640, 480, false},
        {"beyond the right edge", {{"Left", "1000"}, {"Top", "100"}, {"Width", "640"}, {"Height", "480"}, {"PopupStyle", "1"}},
         640, 100, 640, 480, true},
        {"above and left of the screen", {{"Left", "-40"}, {"Top", "-30"}, {"Width", "400"}, {"Height", "300"}, {"PopupStyle", "7"}},
         0, 0, 400, 300, true},
        {"below the bottom", {{"Left", "10"}, {"Top", "700"}, {"Width", "400"}, {"Height", "300"}}, 10, 500, 400, 300, false},
        {"too small", {{"Left", "50"}, {"Top", "60"}, {"Width", "120"}, {"Height", "80"}, {"PopupStyle", "0"}},
         50, 60, 300, 200, false},
        {"nothing stored", {}, 0, 0, 300, 200, false},
        {"not numbers", {{"Left", "abc"}, {"Top", "1e400"}, {"Width", "wide"}, {"Height", "-5"}, {"PopupStyle", "x"}},
         0, 0, 300, 200, false},
        {"wider than the screen", {{"Left", "-100"}, {"Top", "0"}, {"Width", "3000"}, {"Height", "480"}}, 0, 0, 1280, 480, false},
    };
    ViewerProgram p;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        p.store(c.stored);
        p.load();
        const win::RECT r = p.rect();
        EXPECT_EQ(r.left, c.left);
        EXPECT_EQ(r.top, c.top);
        EXPECT_EQ(r.right - r.left, c.width);
        EXPECT_EQ(r.bottom - r.top, c.height);
        EXPECT_EQ(p.viewer()->PopupStyle(), c.popup);
        EXPECT_FALSE(win::IsWindowVisible(p.viewer()->hWnd())) << "the opener shows it";
        m_Main::FXNewsForm->Unload();
        EXPECT_EQ(m_Main::FXNewsForm, nullptr) << "its unload empties the program's variable";
    }
}

TEST(NewsViewer, TheStyleButtonSwapsTheWindowStyle) {
    ViewerProgram p;
    p.store({{"Left", "200"}, {"Top", "100"}, {"Width", "620"}, {"Height", "520"}, {"PopupStyle", "0"}});
    p.open(kFX168Article);
    frmFXNews* w = p.viewer();
    // Dialog style: captioned and sizable; the tip names the other style.
    EXPECT_TRUE(win::IsWindowVisible(w->hWnd()));
    EXPECT_EQ(p.style() & (win::WS_CAPTION | win::WS_THICKFRAME | win::WS_SYSMENU),
              win::WS_CAPTION | win::WS_THICKFRAME | win::WS_SYSMENU);
    EXPECT_EQ(w->Caption(), "新闻");
    EXPECT_EQ(p.js("document.getElementById('Style').title"), "切换到弹出式窗口");
    EXPECT_NE(p.js("document.getElementById('StyleImg').src").find("popup.gif"), std::string::npos);
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));
    EXPECT_FALSE(testing_support::writeSnapshot("newsview_dialog").empty());

    // The page's button: pop-up style, the whole style replaced, shown again by the size event.
    p.js("document.getElementById('Style').click()");
    ASSERT_TRUE(p.pageWait([&] { return w->PopupStyle() && win::IsWindowVisible(w->hWnd()); }));
    EXPECT_EQ(p.style() & ~(win::WS_VISIBLE | win::WS_CLIPSIBLINGS), 0u);
    EXPECT_EQ(p.js("document.getElementById('Style').title"), "切换到对话式窗口");
    EXPECT_NE(p.js("document.getElementById('StyleImg').src").find("window.gif"), std::string::npos);
    // The page fills the whole window.
    win::RECT page{};
    win::GetWindowRect(w->Browser()->hWnd(), &page);
    EXPECT_EQ(page, p.rect());
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));
    EXPECT_FALSE(testing_support::writeSnapshot("newsview_popup").empty());

    // And back.
    w->StyleON();
    ASSERT_TRUE(p.pageWait([&] { return !w->PopupStyle() && win::IsWindowVisible(w->hWnd()); }));
    EXPECT_EQ(p.style() & ~(win::WS_VISIBLE | win::WS_CLIPSIBLINGS), frmFXNews::kDialogStyle);
    EXPECT_EQ(p.js("document.getElementById('Style').title"), "切换到弹出式窗口");

    // Closing by its button keeps place and style.
    p.js("document.getElementById('Close').click()");
    ASSERT_TRUE(p.pageWait([] { return m_Main::FXNewsForm == nullptr; }));
    EXPECT_EQ(Config().GetNodeAttrib(kNode, "Left"), "200");
    EXPECT_EQ(Config().GetNodeAttrib(kNode, "Width"), "620");
    EXPECT_EQ(Config().GetNodeAttrib(kNode, "PopupStyle"), "0");
}

TEST(NewsViewer, DraggedAndSizedThroughTheWindowSystemNoSmallerThanItsMinimum) {
    ViewerProgram p;
    p.store({{"Left", "200"}, {"Top", "100"}, {"Width", "600"}, {"Height", "500"}, {"PopupStyle", "1"}});
    p.open(kServiceArticle);
    frmFXNews* w = p.viewer();
    ASSERT_TRUE(p.pageWait([&] { return win::IsWindowVisible(w->hWnd()); }));
    const win::RECT start = p.rect();
    // The picture at the top left drags the frameless window.
    win::SetCursorPos(start.left + 30, start.top + 30);
    win::queueMoveSize({{start.left + 70, start.top + 55}});
    p.js("document.getElementById('iMove').dispatchEvent(new MouseEvent('mousedown', {bubbles: true}))");
    ASSERT_TRUE(p.pageWait([&] { return p.rect().left != start.left; }));
    win::RECT r = p.rect();
    EXPECT_EQ(r.left - start.left, 40);
    EXPECT_EQ(r.top - start.top, 25);
    EXPECT_EQ(r.right - r.left, 600);
    // The grip sizes it from its bottom-right corner, down to 300 x 200 and no further.
    win::SetCursorPos(r.right - 5, r.bottom - 5);
    win::queueMoveSize({{r.right - 105, r.bottom - 55}, {r.left + 20, r.top + 20}});
    p.js("document.getElementById('SizeGrip').dispatchEvent(new MouseEvent('mousedown', {bubbles: true}))");
    ASSERT_TRUE(p.pageWait([&] { return p.rect().right - p.rect().left == 300; }));
    r = p.rect();
    EXPECT_EQ(r.bottom - r.top, 200);
    EXPECT_EQ(r.left, start.left + 40);
    // The page follows the window.
    win::RECT page{};
    win::GetWindowRect(w->Browser()->hWnd(), &page);
    EXPECT_EQ(page, r);
}

TEST(NewsViewer, PopupClosesWhenItLosesActivationAndDialogStays) {
    ViewerProgram p;
    forms::Form other("frmOther");
    for (const char* popup : {"0", "1"}) {
        SCOPED_TRACE(popup);
        p.store({{"Left", "300"}, {"Top", "150"}, {"Width", "500"}, {"Height", "400"}, {"PopupStyle", popup}});
        p.open(kCaiXunArticle);
        ASSERT_TRUE(p.pageWait([&] { return win::IsWindowVisible(p.viewer()->hWnd()); }));
        EXPECT_EQ(win::GetActiveWindow(), p.viewer()->hWnd());
        // The user moves it, then clicks another window.
        win::SetWindowPos(p.viewer()->hWnd(), 0, 340, 170, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER);
        other.Show();
        p.m->runFor(50);
        if (popup[0] == '0') {
            ASSERT_NE(p.viewer(), nullptr);
            EXPECT_TRUE(win::IsWindowVisible(p.viewer()->hWnd()));
            p.viewer()->Unload();
        } else {
            EXPECT_EQ(m_Main::FXNewsForm, nullptr);
        }
        EXPECT_EQ(Config().GetNodeAttrib(kNode, "Left"), "340");
        EXPECT_EQ(Config().GetNodeAttrib(kNode, "Top"), "170");
        EXPECT_EQ(Config().GetNodeAttrib(kNode, "PopupStyle"), popup);
    }
}

TEST(NewsViewer, EachSiteRuleShowsItsArticleFromTheSite) {
    ViewerProgram p;
    p.store({{"Left", "100"}, {"Top", "50"}, {"Width", "700"}, {"Height", "600"}, {"PopupStyle", "0"}});
    const struct {
        std::string url, title, text;
        std::vector<std::string> images;
    } cases[] = {
        {kFX168Article, "美元指数早盘窄幅震荡 市场静待非农数据", "非农就业数据将决定美元短线方向",
         {"/fx168/fxnews/2026/1210/img/dxy.gif", "/fx168/images/logo.gif"}},
        {kCaiXunArticle, "美元兑人民币中间价报7.0650", "人民币短期或延续双向波动格局",
         {"/caixun/fx_information/images/cny.gif"}},
        {kServiceArticle, "Kestrel 策略服务 12月10日交易提示", "目标 1.1750", {"/service/images/kestrel.gif"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        p.open(c.url);
        EXPECT_EQ(p.js("document.querySelector('#FxNews .NewsTitle').innerText.trim()"), c.title);
        EXPECT_NE(p.js("document.getElementById('FxNews').innerText").find(c.text), std::string::npos);
        EXPECT_EQ(p.js("String(document.querySelectorAll('#FxNews script').length)"), "0");
        // Pictures are asked of the article's site by the window and handed to the page as data.
        EXPECT_EQ(p.js("String(document.querySelectorAll('#FxNews img').length)"), std::to_string(c.images.size()));
        EXPECT_TRUE(p.pageWait([&] {
            return p.js("String(Array.prototype.every.call(document.querySelectorAll('#FxNews img'),"
                        " function (i) { return /^data:image\\/gif;base64,/.test(i.src) && i.complete && i.naturalWidth > 0; }))") == "true";
        }));
        for (const auto& path : c.images) EXPECT_EQ(p.sites.hits(path), 1) << path;
        // Every link opens a new window.
        EXPECT_EQ(p.js("String(Array.prototype.every.call(document.querySelectorAll('#FxNews a'),"
                       " function (a) { return a.target == '_blank' && /^http:/.test(a.href); }))"),
                  "true");
    }
    // A click on a link asks the user's browser, not the viewer, for it.
    const size_t before = win::shellOpened().size();
    p.js("document.querySelector('#FxNews a').click()");
    ASSERT_TRUE(p.pageWait([&] { return win::shellOpened().size() > before; }));
    EXPECT_EQ(win::shellOpened().back().file, "http://bbs.kestrel.example/vip/");
    EXPECT_NE(p.js("location.href").find("FXNews.htm"), std::string::npos);
    // The service's advertisement shows, rebuilt, in its sandboxed frame.
    EXPECT_EQ(p.js("document.getElementById('iAd').getAttribute('sandbox')"), "");
    EXPECT_NE(p.js("document.getElementById('iAd').srcdoc").find("Kestrel 会员策略服务"), std::string::npos);
    EXPECT_EQ(p.js("document.getElementById('iAd').srcdoc").find("script"), std::string::npos);
}

TEST(NewsViewer, ANoticeLinkReusesTheOpenViewer) {
    ViewerProgram p;
    m_Main::InstallWindows();
    ASSERT_TRUE(frmFXNotify::OpenItem);
    p.store({{"Left", "100"}, {"Top", "50"}, {"Width", "640"}, {"Height", "480"}, {"PopupStyle", "1"}});
    p.m->beginOutsideWork();
    frmFXNotify::OpenItem(kFX168Article);
    p.m->endOutsideWork();
    ASSERT_NE(p.viewer(), nullptr);
    frmFXNews* first = p.viewer();
    ASSERT_TRUE(p.pageWait([&] { return p.js("document.getElementById('FxNews').style.display") == ""; }));
    EXPECT_TRUE(win::GetWindowLong(first->hWnd(), win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    // The next link: the same window hides the article and shows the busy image until it arrives.
    p.sites.setDelay("/caixun/fx_information/20261210/1.html", 1500);
    p.m->beginOutsideWork();
    frmFXNotify::OpenItem(kCaiXunArticle);
    p.m->endOutsideWork();
    EXPECT_EQ(p.viewer(), first);
    EXPECT_EQ(p.js("document.getElementById('FxNews').style.display"), "none");
    EXPECT_EQ(p.js("document.getElementById('iLoad').style.display"), "");
    ASSERT_TRUE(p.pageWait([&] { return p.js("document.getElementById('iLoad').style.display") == "none"; }));
    EXPECT_NE(p.js("document.getElementById('FxNews').innerText").find("美元兑人民币中间价报7.0650"), std::string::npos);
    EXPECT_TRUE(first->PopupStyle());
    EXPECT_TRUE(p.pageWait([&] { return win::IsWindowVisible(first->hWnd()); })) << "shown again in its style";
}

TEST(NewsViewer, AFailedDownloadOrAnUnknownSiteShowsTheAddress) {
    ViewerProgram p;
    p.sites.setStatus("/fx168/fxnews/2026/1210/0912.htm", 404);
    const struct {
        std::string url;
        bool link;
    } cases[] = {
        {kFX168Article, true},
        {"http://www.elsewhere.example/a.htm?x=1&y=2", true},
        // An address that would break out of the link is shown as text.
        {"http://www.elsewhere.example/a.htm?y='><img src=x onerror=alert(1)>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        p.open(c.url);
        const auto shown = nlohmann::json::parse(p.js(
            "JSON.stringify(Array.prototype.map.call(document.getElementById('FxNews').childNodes,"
            " function (n) { return [n.nodeName, n.textContent, n.target || '', n.href || '']; }))"));
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0][0], c.link ? "A" : "#text");
        EXPECT_EQ(shown[0][1], c.url);
        EXPECT_EQ(shown[0][2], c.link ? "_blank" : "");
        EXPECT_EQ(shown[0][3], c.link ? c.url : "");
    }
}

TEST(NewsViewer, AHostileArticleIsShownInert) {
    ViewerProgram p;
    p.open(kHostileArticle);
    ASSERT_TRUE(p.pageWait([&] { return p.js(testing_support::kImagesDone) == "true"; }));
    EXPECT_EQ(p.js("typeof window.__pwned"), "undefined");
    EXPECT_EQ(p.js("String(document.querySelectorAll('#FxNews script, #FxNews iframe, #FxNews object, #FxNews embed,"
                   " #FxNews svg, #FxNews form, #FxNews style, #FxNews [id], #FxNews [name]').length)"),
              "0");
    EXPECT_EQ(p.js("String(Array.prototype.some.call(document.querySelectorAll('#FxNews *'), function (e) {"
                   " return Array.prototype.some.call(e.attributes, function (a) { return /^on/i.test(a.name); }); }))"),
              "false");
    EXPECT_EQ(p.js("String(Array.prototype.some.call(document.querySelectorAll('#FxNews a'), function (a) {"
                   " return !/^https?:/.test(a.href); }))"),
              "false");
    // The page's own elements are still what their ids name.
    EXPECT_EQ(p.js("document.all('Close').tagName"), "BUTTON");
    EXPECT_EQ(p.js("document.all('Style').tagName"), "BUTTON");
    EXPECT_NE(p.js("document.getElementById('FxNews').innerText").find("正文仍然可读。"), std::string::npos)
        << p.js("document.getElementById('FxNews').innerHTML");
    // Hovering and clicking what had handlers runs nothing.
    p.js("Array.prototype.forEach.call(document.querySelectorAll('#FxNews *'), function (e) {"
         " e.dispatchEvent(new MouseEvent('mouseover', {bubbles: true})); e.dispatchEvent(new MouseEvent('click', {bubbles: true})); })");
    // Handlers run as their events are dispatched.
    EXPECT_EQ(p.js("typeof window.__pwned"), "undefined");
}

TEST(NewsViewer, ContextMenuCopiesTheArticleOnlyInsideIt) {
    ViewerProgram p;
    p.open(kServiceArticle);
    frmFXNews* w = p.viewer();
    auto press = [&](const std::string& selector) {
        p.js("document.querySelector(\"" + selector + "\").dispatchEvent(new MouseEvent('mousedown', {bubbles: true, button: 2}))");
    };
    win::clearTrackedMenus();
    // Outside the article no menu shows (an unanswered one would fail the test).
    press("#iMove");
    EXPECT_FALSE(w->WebDoc_oncontextmenu());
    EXPECT_TRUE(win::trackedMenus().empty());
    // Inside, from a cell of its table: one item, which copies the article's text.
    press("#FxNews td");
    win::queueMenuChoice(1);
    EXPECT_FALSE(w->WebDoc_oncontextmenu());
    const auto menus = win::trackedMenus();
    ASSERT_EQ(menus.size(), 1u);
    ASSERT_EQ(menus[0].items.size(), 1u);
    EXPECT_EQ(menus[0].items[0].text, "复制新闻内容(&C)");
    EXPECT_EQ(menus[0].items[0].id, 1u);
    EXPECT_EQ(win::GetClipboardText(), p.js("document.getElementById('FxNews').innerText"));
    EXPECT_NE(win::GetClipboardText().find("Kestrel 策略服务"), std::string::npos);
}

TEST(NewsViewer, APageThatNeverCompletesEndsTheWaitWithAMessage) {
    ViewerProgram p;
    // A page without its controls never completes its set-up.
    const std::string_view page = *sys::findResource(sys::kPageResourceType, "FXNews.htm");
    static const std::string broken = "<html><body><div id='FxNews'></div></body></html>";
    sys::addResource(sys::kPageResourceType, "FXNews.htm", broken);
    win::clearMessageBoxes();
    win::queueMessageBoxAnswer(1);
    const uint64_t start = p.m->clock().tickMs();
    frmFXNotify::OpenInViewer(kFX168Article);
    sys::addResource(sys::kPageResourceType, "FXNews.htm", page);
    EXPECT_GE(p.m->clock().tickMs() - start, frmFXNotify::kViewerWaitMs);
    const auto boxes = win::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, frmFXNotify::kViewerNotReady);
    EXPECT_EQ(m_Main::FXNewsForm, nullptr) << "the next link starts afresh";
    EXPECT_EQ(p.sites.hits("/fx168/fxnews/2026/1210/0912.htm"), 0);
    EXPECT_EQ(Config().GetNodeAttrib(kNode, "Left"), "200") << "the user's place is kept";
    EXPECT_EQ(Config().GetNodeAttrib(kNode, "Width"), "640");
}

} // namespace
