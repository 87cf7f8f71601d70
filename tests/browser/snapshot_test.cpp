#include "TestPage.h"
#include "pages/Pages.h"
#include "platform/browser/ScreenSnapshot.h"
#include "platform/browser/WebBrowser.h"
#include "platform/desktop/Win.h"
#include "platform/gdi/Gdi.h"
#include "platform/system/Resources.h"
#include "support/Snapshot.h"
#include "support/TestMachine.h"
#include "terminal-sim/Terminal.h"
#include "platform/system/CodePage.h"
#include "platform/system/Process.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    uint32_t at(int x, int y) const {
        const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        return (p[0] << 16) | (p[1] << 8) | p[2];
    }
};

Image decode(const std::string& png) {
    Image img;
    png_image pi{};
    pi.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&pi, png.data(), png.size())) return img;
    pi.format = PNG_FORMAT_RGBA;
    img.rgba.resize(PNG_IMAGE_SIZE(pi));
    if (!png_image_finish_read(&pi, nullptr, img.rgba.data(), 0, nullptr)) return {};
    img.width = static_cast<int>(pi.width);
    img.height = static_cast<int>(pi.height);
    return img;
}

TEST(ScreenSnapshot, ShowsWindowsPagesBalloonsAndMenus) {
    pages::registerResources();
    sys::addResource(sys::kPageResourceType, "test.htm", kTestPage);
    testing_support::TestMachine machine;

    win::WNDCLASS wc;
    wc.lpszClassName = "ThunderForm";
    win::RegisterClass(wc);
    // A plain window with a button, and a page window over part of it.
    win::HWND plain = win::CreateWindowEx(0, "ThunderForm", "设置", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 40, 40,
                                          300, 200, 0);
    win::CreateWindowEx(0, "Button", "确定", win::WS_CHILD | win::WS_VISIBLE, 10, 10, 80, 24, plain);
    win::HWND form = win::CreateWindowEx(0, "ThunderForm", "Page", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 200, 150,
                                         320, 240, 0);
    web::WebBrowser browser;
    browser.attach(form);
    browser.Navigate(kBase + "test.htm");
    ASSERT_TRUE(machine->runUntil([&] { return !browser.Busy(); }, testing_support::kOutsideWaitMs));
    browser.Document().body().style().backgroundColor("#00FF00");

    win::NOTIFYICONDATA nid;
    nid.cbSize = 488;
    nid.hWnd = plain;
    nid.uID = 1;
    nid.uFlags = win::NIF_TIP | win::NIF_INFO;
    std::strcpy(nid.szTip, "Pennant");
    std::strcpy(nid.szInfo, "EURUSD 1.2345");
    std::strcpy(nid.szInfoTitle, "Quote");
    win::Shell_NotifyIcon(win::NIM_ADD, &nid);

    win::HMENU menu = win::CreatePopupMenu();
    win::AppendMenu(menu, 0, 1, "设置(&S)...");
    win::AppendMenu(menu, win::MF_SEPARATOR, 0, "");
    win::AppendMenu(menu, 0, 2, "退出(&X)");
    win::queueMenuDismiss();
    win::TrackPopupMenu(menu, 0, 600, 300, 0, plain);

    web::SnapshotOptions options;
    ASSERT_FALSE(win::trackedMenus().empty());
    options.openMenus = {win::trackedMenus().back()};
    ASSERT_EQ(options.openMenus[0].items.size(), 3u);
    std::string png = web::screenSnapshotPng(options);
    Image img = decode(png);
    ASSERT_EQ(img.width, machine->screenWidth());
    ASSERT_EQ(img.height, machine->screenHeight());

    // The page window's client area shows the page.
    win::POINT p{100, 100};
    win::ClientToScreen(form, &p);
    EXPECT_EQ(img.at(p.x, p.y), 0x00FF00u);
    // The plain window's client area is the window colour; its caption bar is dark blue.
    win::POINT q{20, 100};
    win::ClientToScreen(plain, &q);
    EXPECT_EQ(img.at(q.x, q.y), 0xECE9D8u);
    win::RECT r;
    win::GetWindowRect(plain, &r);
    uint32_t cap = img.at(r.left + 8, r.top + 8);
    EXPECT_LT((cap >> 16) & 0xFF, 0x40u);
    // The desktop is not covered where no window is.
    EXPECT_EQ(img.at(5, 5), 0x3A6EA5u);
    // The menu is drawn white where it was opened.
    EXPECT_EQ(img.at(610, 305), 0xFFFFFFu);

    EXPECT_FALSE(testing_support::writeSnapshot("snapshot_test", options).empty());
    win::DestroyWindow(plain);
    win::DestroyWindow(form);
}

} // namespace

namespace {

TEST(ScreenSnapshot, CommandLineSwitchWritesTheScreenLater) {
    std::vector<std::string> args = {"pennant", "--snapshot=/tmp/x.png", "/min", "--snapshot-after=250"};
    auto sw = web::takeSnapshotSwitch(args);
    ASSERT_TRUE(sw);
    EXPECT_EQ(sw->path, "/tmp/x.png");
    EXPECT_EQ(sw->afterMs, 250u);
    EXPECT_EQ(args, (std::vector<std::string>{"pennant", "/min"}));
    std::vector<std::string> none = {"pennant", "--snapshot-after=x"};
    EXPECT_FALSE(web::takeSnapshotSwitch(none));

    testing_support::TestMachine machine;
    std::string path = (std::filesystem::temp_directory_path() / "pennant_switch_snapshot.png").string();
    std::filesystem::remove(path);
    std::optional<bool> written;
    web::scheduleSnapshot(machine.get(), {path, 250}, [&](bool ok) { written = ok; });
    machine->runFor(200);
    EXPECT_FALSE(written);
    machine->beginOutsideWork();
    ASSERT_TRUE(machine->runUntil([&] { return written.has_value(); }, testing_support::kOutsideWaitMs));
    machine->endOutsideWork();
    EXPECT_TRUE(*written);
    EXPECT_GT(std::filesystem::file_size(path), 0u);
    std::filesystem::remove(path);
}

} // namespace

namespace {

// A layered window shows its face with the face's alpha and the blend's; one without a face
// shows nothing, not a grey box.
TEST(ScreenSnapshot, LayeredWindowsShowTheirFace) {
    testing_support::TestMachine machine;
    const win::DWORD style = win::WS_POPUP | win::WS_VISIBLE;
    win::HWND faced = win::CreateWindowEx(win::WS_EX_LAYERED, "Static", "", style, 600, 400, 10, 10, 0);
    win::HWND bare = win::CreateWindowEx(win::WS_EX_LAYERED, "Static", "", style, 100, 400, 40, 40, 0);
    (void)bare;

    win::HDC dc = win::CreateCompatibleDC(0);
    win::BITMAPINFO bi{};
    bi.bmiHeader = {40, 20, 20, 1, 32, 0, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    win::HBITMAP bmp = win::CreateDIBSection(dc, &bi, win::DIB_RGB_COLORS, &bits, 0, 0);
    win::HGDIOBJ old = win::SelectObject(dc, bmp);
    auto* px = static_cast<uint8_t*>(bits);
    for (int i = 0; i < 20 * 20; ++i) px[i * 4] = 0, px[i * 4 + 1] = 0, px[i * 4 + 2] = 255, px[i * 4 + 3] = 255;
    win::SIZE size{20, 20};
    win::POINT at{0, 0};
    win::BLENDFUNCTION blend{win::AC_SRC_OVER, 0, 255, win::AC_SRC_ALPHA};
    ASSERT_TRUE(win::UpdateLayeredWindow(faced, 0, nullptr, &size, dc, &at, 0, &blend, win::ULW_ALPHA));
    win::SelectObject(dc, old);
    win::DeleteObject(bmp);
    win::DeleteDC(dc);

    const auto taken = testing_support::takeSnapshot("snapshot_layered_faces");
    if (!taken) GTEST_SKIP() << "no screen snapshot";
    const testing_support::Shot& shot = *taken;
    ASSERT_GT(shot.image.width, 700);
    EXPECT_EQ(shot.at(610, 410), 0xFF0000u);  // the face, at its full 20 x 20
    EXPECT_EQ(shot.at(120, 420), shot.at(5, 5));  // the bare one: desktop shows through
}

} // namespace

namespace {

// What the program reads off the terminal's lists is what a person sees of them.
TEST(ScreenSnapshot, ListViewsShowTheirRowsAndBalloonsTheirLines) {
    testing_support::TestMachine machine;
    termsim::Terminal::registerProgram();
    const std::string exe = termsim::Terminal::install(*machine, "C:\\Program Files\\MetaTrader 4");
    ASSERT_NE(sys::ProcessTable::of(*machine).start(exe, "", win::SW_SHOWNORMAL).pid, 0u);
    machine->runFor(1500);
    const win::HWND main = win::FindWindow(termsim::Terminal::kMainClass, nullptr);
    ASSERT_NE(main, 0);
    const win::HWND list = termsim::Terminal::ofWindow(main)->marketWatchList();

    win::NOTIFYICONDATA nid;
    nid.cbSize = 488;
    nid.hWnd = main;
    nid.uID = 1;
    nid.uFlags = win::NIF_INFO;
    std::strcpy(nid.szInfo, sys::toAnsi("第一行\n第二行\n第三行").c_str());
    win::Shell_NotifyIcon(win::NIM_ADD, &nid);

    const auto taken = testing_support::takeSnapshot("snapshot_terminal_lists");
    if (!taken) GTEST_SKIP() << "no screen snapshot";
    const testing_support::Shot& shot = *taken;
    // Rows of text: dark pixels on the list's white below its header.
    win::RECT r;
    win::GetWindowRect(list, &r);
    int dark = 0;
    for (int y = r.top + 22; y < std::min<int>(r.top + 120, shot.image.height); ++y)
        for (int x = r.left + 2; x < std::min<int>(r.left + 200, shot.image.width); ++x)
            if (((shot.at(x, y) >> 8) & 0xFF) < 0x60) ++dark;
    EXPECT_GT(dark, 200);
    // Three lines of balloon text stand taller than one: the balloon's top is well above the icon.
    const win::TrayIconRecord icon = win::trayIcons().front();
    bool balloonHigh = false;
    for (int y = icon.position.y - 60; y < icon.position.y - 50 && y > 0; ++y)
        if (shot.at(icon.position.x - 100, y) == 0xFFFFE1u) balloonHigh = true;
    EXPECT_TRUE(balloonHigh);
}

} // namespace

namespace {

std::string solidPng(int size, uint8_t r, uint8_t g, uint8_t b) {
    gdi::Image img{size, size, {}};
    for (int i = 0; i < size * size; ++i) img.bgra.insert(img.bgra.end(), {b, g, r, 255});
    return gdi::encodePng(img).value_or("");
}

win::HICON iconOf(const std::string& png) {
    return win::CreateIconFromResourceEx(reinterpret_cast<const win::BYTE*>(png.data()),
                                         static_cast<win::DWORD>(png.size()), win::TRUE, 0x00030000, 0, 0, 0);
}

// A caption shows its class's small icon (the large one made small when there is no small one),
// and the pointer shows the cursor's shape with its hot spot on the point.
TEST(ScreenSnapshot, CaptionsShowTheClassIconAndThePointerItsCursor) {
    testing_support::TestMachine machine;
    const struct {
        const char* cls;
        win::HICON big, small;
        uint32_t shown;
    } classes[] = {
        {"BothIcons", iconOf(solidPng(32, 0, 0, 255)), iconOf(solidPng(16, 255, 0, 0)), 0xFF0000u},
        {"LargeOnly", iconOf(solidPng(32, 0, 200, 0)), 0, 0x00C800u},
    };
    std::vector<win::HWND> windows;
    int y = 60;
    for (const auto& c : classes) {
        win::WNDCLASS wc;
        wc.lpszClassName = c.cls;
        wc.hIcon = c.big;
        wc.hIconSm = c.small;
        ASSERT_TRUE(win::RegisterClass(wc));
        windows.push_back(win::CreateWindowEx(0, c.cls, "有图标", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE, 60, y, 300,
                                              120, 0));
        y += 160;
    }

    struct Shape {
        int id;
        win::POINT inside, outside;  // from the pointer
    };
    const Shape shapes[] = {
        {win::IDC_ARROW, {3, 9}, {-3, 9}},
        {win::IDC_HAND, {0, 5}, {-4, 4}},
        {win::IDC_WAIT, {0, -6}, {-9, 0}},
    };
    const win::POINT pointer{900, 500};
    win::mouseMove(pointer.x, pointer.y);  // over the desktop: nothing changes the shape
    for (const Shape& s : shapes) {
        win::SetCursor(win::LoadCursor(0, s.id));
        const auto taken = testing_support::takeSnapshot("snapshot_caption_icons_and_cursor_" + std::to_string(s.id));
        if (!taken) GTEST_SKIP() << "no screen snapshot";
        const testing_support::Shot& shot = *taken;
        ASSERT_GT(shot.image.width, 1000);
        EXPECT_EQ(shot.at(pointer.x + s.inside.x, pointer.y + s.inside.y), 0xFFFFFFu) << s.id;
        EXPECT_EQ(shot.at(pointer.x + s.outside.x, pointer.y + s.outside.y), 0x3A6EA5u) << s.id;
        if (s.id != win::IDC_ARROW) continue;
        for (size_t i = 0; i < windows.size(); ++i) {
            win::RECT r;
            win::GetWindowRect(windows[i], &r);
            const win::RECT f = win::frameOf(win::WS_OVERLAPPEDWINDOW, 0);
            const int capH = f.top - f.bottom;
            EXPECT_EQ(shot.at(r.left + f.left + 3 + 8, r.top + f.bottom + capH / 2), classes[i].shown) << classes[i].cls;
            EXPECT_NE(shot.at(r.left + f.left + 3 + 20, r.top + f.bottom + capH / 2), classes[i].shown) << classes[i].cls;
        }
    }
}

} // namespace
