// The notice page's links and menus: the options menu per tab and setting, the context menu by
// where the right click was made, the clipboard texts, remind-all, the taskbar button, and the
// link that opens in the news viewer with a bounded wait for its page.
#include "NoticeWindowFixture.h"

#include "platform/desktop/Menu.h"
#include "platform/desktop/MessageBox.h"
#include "platform/forms/Interaction.h"

#include <nlohmann/json.hpp>

#include <vector>

using namespace notice_testing;

namespace {

struct Item {
    unsigned id;
    const char* caption;  // nullptr: not checked
    bool checked = false;
};

constexpr unsigned kSep = 5;

void expectItems(const std::vector<win::MenuItemView>& got, const std::vector<Item>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].id, want[i].id);
        if (want[i].id == kSep) {
            EXPECT_TRUE(got[i].flags & win::MF_SEPARATOR);
            continue;
        }
        EXPECT_EQ(got[i].text, want[i].caption);
        EXPECT_EQ((got[i].flags & win::MF_CHECKED) != 0, want[i].checked);
    }
}

// The menu the window showed last.
std::vector<win::MenuItemView> lastMenu() {
    const auto menus = win::trackedMenus();
    return menus.empty() ? std::vector<win::MenuItemView>{} : menus.back().items;
}

const Item kTaskbar{800, "显示窗口标题在任务栏(&T)", true};
const Item kSeparator{kSep, nullptr};
const Item kClose{100, "关闭窗口(&X)"};
const Item kCopyRow{1, "单条复制(&C)"};
const Item kCopyAll{2, "全部复制(&A)"};
const Item kRemind{3, "选择提醒今日所有财经事件(&S)"};

struct MenuFixture : NoticeWindowFixture {
    explicit MenuFixture(int day = 10) : NoticeWindowFixture(machineOn(day)) {
        win::clearTrackedMenus();
        win::clearMessageBoxes();
        place(200, 100, 760, 660);
        open();
        // The loading cover goes with the first content, which these tests do without.
        js("document.getElementById('iFront').style.display = 'none'");
    }
    ~MenuFixture() {
        win::clearTrackedMenus();
        win::clearMessageBoxes();
    }
    // News rows as the window renders them; the last one hidden by the filter.
    void newsRows() {
        js("(function () { var b = document.getElementById('iTable').tBodies[0];"
           " [['12/10 09:12', '美元走强'], ['12/10 09:05', '欧元回落'], ['12/10 08:50', '日元持稳']].forEach("
           "  function (r, i) { var tr = b.insertRow(-1); tr.className = 'AllFX FX168';"
           "   tr.insertCell(-1).innerText = r[0]; tr.insertCell(-1).innerText = r[1] + ' - FX168';"
           "   if (i == 2) tr.style.display = 'none'; }); })()");
    }
    // The right click (or click) at an element's centre, as the user makes it.
    void mouseAt(const std::string& selector, win::MouseButton b) {
        const auto at = nlohmann::json::parse(js(
            "(function () { var r = document.querySelector(" + nlohmann::json(selector).dump() +
            ").getBoundingClientRect(); return JSON.stringify([Math.round(r.left + r.width / 2),"
            " Math.round(r.top + r.height / 2)]); })()"));
        win::POINT p{at[0].get<int>(), at[1].get<int>()};
        win::ClientToScreen(h(), &p);  // the page fills the client area
        win::mouseMove(p.x, p.y);
        win::mouseClick(p.x, p.y, b);
    }
    // A right click the page records, after which the page moves on before the window answers:
    // focus goes to the keyword box and the mouse leaves the table.
    void rightClickThenMoveOn(const std::string& selector, const std::string& after = "") {
        js("(function () { var e = document.querySelector(" + nlohmann::json(selector).dump() + ");"
           " e.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true }));"
           " document.getElementById('iFilterTxt').focus();"
           " document.getElementById('iFilterTxt').dispatchEvent(new Event('focusin', { bubbles: true }));"
           " document.getElementById('iTable').dispatchEvent(new MouseEvent('mouseout', { bubbles: true }));" +
           after + " })()");
    }
    bool menuShown(size_t count) {
        return pageWait([&] { return win::trackedMenus().size() >= count; });
    }
};

TEST(NoticeMenus, TheOptionsMenuOffersTheShownTabsWithTheCurrentOneChecked) {
    MenuFixture f;
    win::queueMenuDismiss();
    f.w->Click_MoreBut();
    expectItems(lastMenu(), {{500, "全部资讯", true}, {501, "FX168汇市信息"}, {502, "DailyFX财经市况"},
                             {503, "CaiXun汇市动态"}, {504, "策略服务"}, {505, "Vip服务"}, {506, "Kestrel公告"},
                             kSeparator, {600, "财经日历"}, kSeparator, kTaskbar, kSeparator, kClose});
    EXPECT_EQ(f.js("document.getElementById('chkRow').value"), "0");

    // The page's own button opens it too; a choice runs the tab's handler.
    win::queueMenuChoice(502);
    f.js("document.getElementById('moreBut').click()");
    ASSERT_TRUE(f.menuShown(2));
    ASSERT_TRUE(f.pageWait([&] { return f.w->CurrentPane() == "iDailyfx"; }));
    win::queueMenuChoice(600);
    f.w->Click_MoreBut();
    EXPECT_EQ(f.w->CurrentPane(), "iFXCalendar");

    // FX168 switched off in the settings: its tab and its item go.
    ASSERT_TRUE(Config().SetNodeAttrib("Settings/FXNews/Source/FX168_1", "Checked", "0"));
    f.w->FXEvent();
    f.w->ClickFn_Vip();
    win::queueMenuDismiss();
    f.w->Click_MoreBut();
    const auto items = lastMenu();
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].id, 500u);
    EXPECT_EQ(items[1].id, 502u);
    for (const auto& i : items) EXPECT_EQ((i.flags & win::MF_CHECKED) != 0, i.id == 505 || i.id == 800) << i.id;
}

TEST(NoticeMenus, RemindAllIsOfferedOnlyForADayStillToCome) {
    const struct {
        int date;  // December 2026: the 7th is a Monday
        int16_t shown;
        bool offered;
    } cases[] = {
        {7, 3, true},    // Wednesday shown on a Monday
        {9, 3, true},    // on the Wednesday itself
        {10, 3, false},  // on the Thursday after
        {12, 5, false},  // never at the weekend
        {13, 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        MenuFixture f(c.date);
        f.w->SelectWeekTab(c.shown);
        f.w->Calendar();
        win::queueMenuDismiss();
        f.w->Click_MoreBut();
        std::vector<Item> tail = {kTaskbar, kSeparator, kClose};
        if (c.offered) tail.insert(tail.begin(), {kRemind, kSeparator});
        const auto items = lastMenu();
        ASSERT_GE(items.size(), tail.size());
        expectItems(std::vector<win::MenuItemView>(items.end() - static_cast<long>(tail.size()), items.end()), tail);
        EXPECT_TRUE(items[items.size() - tail.size() - 2].flags & win::MF_CHECKED) << "the calendar item";
    }
}

TEST(NoticeMenus, TheContextMenuFollowsTheClickedTableAndRow) {
    MenuFixture f;
    f.newsRows();

    // Outside both tables: the taskbar item and close only.
    win::queueMenuDismiss();
    f.mouseAt("#v1", win::MouseButton::Right);
    ASSERT_TRUE(f.menuShown(1));
    expectItems(lastMenu(), {kTaskbar, kSeparator, kClose});

    // On a news row: copy that row.
    forms::Clipboard.SetText("before");
    win::queueMenuChoice(1);
    f.mouseAt("#iTable tbody tr:nth-child(2) td:nth-child(2)", win::MouseButton::Right);
    ASSERT_TRUE(f.menuShown(2));
    expectItems(lastMenu(), {kCopyRow, kCopyAll, kSeparator, kTaskbar, kSeparator, kClose});
    f.settle();
    EXPECT_EQ(forms::Clipboard.GetText(), "12/10 09:05\t欧元回落 - FX168");
    EXPECT_EQ(f.js("document.getElementById('chkRow').value"), "0");

    // The page moves on before the window answers: the menu still follows the clicked row, and
    // copy all takes the rows the filter shows, each ended by a line break.
    win::queueMenuChoice(2);
    f.rightClickThenMoveOn("#iTable tbody tr:nth-child(1) td:nth-child(1)");
    ASSERT_TRUE(f.menuShown(3));
    expectItems(lastMenu(), {kCopyRow, kCopyAll, kSeparator, kTaskbar, kSeparator, kClose});
    f.settle();
    EXPECT_EQ(forms::Clipboard.GetText(), "12/10 09:12\t美元走强 - FX168\r\n12/10 09:05\t欧元回落 - FX168\r\n");

    // A row that is gone by the time of the answer copies nothing.
    forms::Clipboard.SetText("kept");
    win::queueMenuChoice(1);
    f.rightClickThenMoveOn("#iTable tbody tr:nth-child(3) td:nth-child(2)",
                           "var b = document.getElementById('iTable').tBodies[0]; b.deleteRow(2); b.deleteRow(1);");
    ASSERT_TRUE(f.menuShown(4));
    f.settle();
    EXPECT_EQ(forms::Clipboard.GetText(), "kept");
}

TEST(NoticeMenus, RemindAllTicksTheDaysEventsInTheStoreAndTheTable) {
    MenuFixture f(7);  // a Monday
    cls_Config& c = Config();
    // The day's events as the week view draws them: a tick box, one already ticked, and one
    // greyed (its time is no clock).
    c.AddFXCalendar(3, "08:30", "美国非农就业人数", "高", "");
    c.AddFXCalendar(3, "10:00", "欧元区CPI", "中", "");
    c.AddFXCalendar(3, "待定", "美联储利率决议", "高", "");
    c.WeekList(3)[1].attribute("Notify").set_value("1");
    f.w->SelectWeekTab(3);
    f.w->Calendar();
    c.AddFXCalendar(3, "22:00", "表中尚未画出的事件", "低", "");  // stored after the table was drawn

    win::queueMenuChoice(3);
    f.rightClickThenMoveOn("#iCalTable tr:nth-child(2) td:nth-child(2)");
    ASSERT_TRUE(f.menuShown(1));
    expectItems(lastMenu(), {kCopyRow, kCopyAll, kSeparator, kRemind, kSeparator, kTaskbar, kSeparator, kClose});
    f.settle();
    ASSERT_EQ(c.WeekList(3).size(), 4u);
    for (const auto& item : c.WeekList(3)) EXPECT_STREQ(item.attribute("Notify").value(), "1");
    const auto boxes = nlohmann::json::parse(f.js(
        "JSON.stringify(Array.prototype.map.call(document.querySelectorAll('#iCalTable input'),"
        " function (e) { return [e.id, e.type, e.checked, e.disabled]; }))"));
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0], nlohmann::json::parse(R"(["w_3_chk1", "checkbox", true, false])"));
    EXPECT_EQ(boxes[1], nlohmann::json::parse(R"(["w_3_chk2", "checkbox", true, false])"));
    EXPECT_EQ(boxes[2], nlohmann::json::parse(R"(["w_3_chk3", "radio", false, true])"));

    // Copy all of the calendar takes every row after the header.
    win::queueMenuChoice(2);
    f.rightClickThenMoveOn("#iCalTable tr:nth-child(3) td:nth-child(1)");
    ASSERT_TRUE(f.menuShown(2));
    f.settle();
    EXPECT_EQ(forms::Clipboard.GetText(),
              "08:30\t美国非农就业人数\t高\t\r\n10:00\t欧元区CPI\t中\t\r\n待定\t美联储利率决议\t高\t\r\n");
}

TEST(NoticeMenus, TheTaskbarItemSwitchesTheButtonAndCloseHides) {
    MenuFixture f;
    auto appWindow = [&] { return (win::GetWindowLong(f.h(), win::GWL_EXSTYLE) & win::WS_EX_APPWINDOW) != 0; };
    ASSERT_TRUE(appWindow());
    for (bool expected : {false, true}) {
        win::queueMenuChoice(800);
        f.w->Click_MoreBut();
        EXPECT_EQ(appWindow(), expected);
        EXPECT_EQ(f.w->InTaskbarShown(), expected);
        EXPECT_TRUE(f.w->Visible());
    }
    win::queueMenuChoice(800);
    f.w->Click_MoreBut();
    win::queueMenuDismiss();
    f.w->Click_MoreBut();
    const auto items = lastMenu();
    ASSERT_GE(items.size(), 3u);
    expectItems({items.end() - 3, items.end()}, {{800, "显示窗口标题在任务栏(&T)", false}, kSeparator, kClose});

    win::queueMenuChoice(100);
    f.w->Click_MoreBut();
    EXPECT_FALSE(f.w->Visible());
    EXPECT_TRUE(f.w->IsLoaded());
}

TEST(NoticeMenus, OnlyAPlainWebLinkOpensAndInTheViewer) {
    MenuFixture f;
    std::vector<std::string> opened;
    auto saved = frmFXNotify::OpenItem;
    frmFXNotify::OpenItem = [&](const std::string& url) { opened.push_back(url); };
    const std::string plain = "http://www.fx168.example/fxnews/2026/1210/0912.htm";
    // Addresses that carry "http://" without being a plain web address open nothing.
    const std::vector<std::string> hrefs = {
        "javascript:location='http://x.example/'",
        "data:text/html,<a href=http://x.example/>x</a>",
        "file:///C:/http://x.example/a.htm",
        "fxnews/b.htm?from=http://x.example/",
        "HTTP://www.fx168.example/c.htm",
        "https://www.fx168.example/a.htm",
        "fxnews/b.htm",
        plain,
    };
    // Script and data addresses are only noted here, never followed, so the page stays.
    f.js("(function (hrefs) { var b = document.getElementById('iTable').tBodies[0];"
         " hrefs.forEach(function (href, i) {"
         "  var tr = b.insertRow(-1); tr.insertCell(-1).innerText = '12/10';"
         "  var a = document.createElement('A'); a.id = 'L' + i; a.target = '_blank'; a.setAttribute('href', href);"
         "  a.innerHTML = '<b>新闻' + i + '</b>'; tr.insertCell(-1).appendChild(a);"
         "  if (/^(javascript|data|file):/.test(href)) a.addEventListener('click', function (e) { e.preventDefault(); });"
         " }); })(" + nlohmann::json(hrefs).dump() + ")");
    const std::string before = f.js("location.href");
    for (size_t i = 0; i < hrefs.size(); ++i) f.mouseAt("#L" + std::to_string(i) + " b", win::MouseButton::Left);
    // The plain address is clicked last: once it has opened, the clicks before it have been handled.
    ASSERT_TRUE(f.pageWait([&] { return !opened.empty(); }));
    f.settle();
    EXPECT_EQ(opened, std::vector<std::string>{plain});
    EXPECT_EQ(f.js("location.href"), before) << "the page never navigates away";
    frmFXNotify::OpenItem = saved;
}

// A viewer that records what its opener does; its page is ready when told.
struct FakeViewer : NewsViewerWindow {
    FakeViewer() : NewsViewerWindow("frmFXNews") {}
    bool ready = false;
    std::vector<std::string> calls;
    bool Busy() override { return !ready; }
    void URL(const std::string& address) override { calls.push_back("URL " + address); }
    void XStyle() override { calls.push_back("XStyle"); }
    void GETData() override { calls.push_back("GETData"); }
};

TEST(NoticeMenus, TheOpenerWaitsForTheViewersPageAtMostHalfAMinute) {
    MenuFixture f;
    auto viewer = std::make_shared<FakeViewer>();
    m_Main::NewFXNews = [&] { return viewer; };

    // A page that never comes: the wait ends with a message and the viewer is left unfilled.
    win::queueMessageBoxAnswer(forms::vbOK);
    const uint32_t start = win::GetTickCount();
    frmFXNotify::OpenInViewer("http://www.fx168.example/a.htm");
    EXPECT_GE(win::GetTickCount() - start, 30000u);
    EXPECT_LT(win::GetTickCount() - start, 31000u);
    const auto boxes = win::messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "新闻窗口没有准备好,请稍后再试!");
    EXPECT_TRUE(viewer->calls.empty());
    EXPECT_EQ(forms::Screen.MousePointer(), forms::vbDefault);

    // Ready: the address, the style, then the download, in this order, on the one viewer.
    viewer->ready = true;
    frmFXNotify::OpenInViewer("http://www.fx168.example/b.htm");
    EXPECT_EQ(viewer->calls, (std::vector<std::string>{"URL http://www.fx168.example/b.htm", "XStyle", "GETData"}));
    EXPECT_EQ(m_Main::FXNewsForm, viewer);
    viewer->Unload();
    m_Main::FXNewsForm.reset();
}

} // namespace
