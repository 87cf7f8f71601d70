#pragma once
// The notice window on its page, on a fresh machine with a virtual clock. Nothing is polled:
// the sources wait for FXEvent, which the tests call where they need the settings applied; those
// that read the sites lead the site hosts to the fixture sites (NoticeSitesFixture).
#include "FixtureSites.h"
#include "core/Program.h"
#include "notices/frmFXNotify.h"
#include "pages/Pages.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "support/PageEvents.h"
#include "support/Program.h"
#include "support/TestMachine.h"
#include "toolkit/cls_Config.h"
#include "toolkit/m_Main.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace notice_testing {

inline sys::MachineOptions machineOn(int day, int screenWidth = 1280, int screenHeight = 800) {
    sys::MachineOptions o;
    o.startLocalMs = sys::localMsFrom(2026, 12, day, 9, 0, 0);
    o.screenWidth = screenWidth;
    o.screenHeight = screenHeight;
    return o;
}

inline win::RECT rectOf(win::HWND h) {
    win::RECT r{};
    win::GetWindowRect(h, &r);
    return r;
}

struct NoticeWindowFixture {
    testing_support::TestMachine m;
    frmFXNotify* w = nullptr;

    explicit NoticeWindowFixture(sys::MachineOptions options = machineOn(10)) : m(std::move(options)) {
        m_Main::EndProgram();
        testing_support::installProgram(*m);
        pages::registerResources();
        m_Main::PageBase = "res://C:\\Program Files\\Pennant\\pennant.exe/";
        m_Main::NewFXNotify = [] { return std::make_shared<frmFXNotify>(); };
    }
    ~NoticeWindowFixture() {
        if (w && w->IsLoaded()) w->Unload();
        m_Main::EndProgram();
    }
    // The saved place, pixels, before the window loads.
    void place(int left, int top, int width, int height) {
        testing_support::setSettingsAttrib("Window/FXNews", "Left", std::to_string(left));
        testing_support::setSettingsAttrib("Window/FXNews", "Top", std::to_string(top));
        testing_support::setSettingsAttrib("Window/FXNews", "Width", std::to_string(width));
        testing_support::setSettingsAttrib("Window/FXNews", "Height", std::to_string(height));
    }
    // Loads the window and waits for its page, as the core does.
    void load() {
        Config().XmlFile(testing_support::kProgramSettings);
        ASSERT_TRUE(Config().Initialize());
        w = dynamic_cast<frmFXNotify*>(m_Main::FXNotifyForm());
        ASSERT_NE(w, nullptr);
        w->Load();
        ASSERT_TRUE(pageWait([&] { return !w->Busy(); }));
    }
    // Loaded and shown.
    void open() {
        load();
        if (testing::Test::HasFatalFailure()) return;
        w->Show(forms::vbModeless);
        m->runFor(10);
    }
    // The browser's waits get real time.
    bool pageWait(const std::function<bool()>& pred, uint64_t ms = testing_support::kOutsideWaitMs) { return m.runUntilReal(pred, ms); }
    // The page's events so far have been handled.
    void settle() { ASSERT_TRUE(testing_support::settlePage(m, w->PageDocument())); }
    std::string js(const std::string& code) {
        const auto v = w->PageDocument().execScript(code);
        return v.is_string() ? v.get<std::string>() : v.dump();
    }
    win::HWND h() { return w->hWnd(); }
    win::RECT rect() { return rectOf(h()); }
    std::string saved(const char* name) { return Config().GetNodeAttrib("Window/FXNews", name); }

    // The user drags the caption so that the window's top-left corner ends at (x, y).
    void dragTo(int x, int y) {
        const win::RECT s = rect();
        win::SetCursorPos(s.left + 30, s.top + 5);
        win::queueMoveSize({{x + 30, y + 5}});
        win::SendMessage(h(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(win::HTCAPTION), 0);
    }
    // The user drags one corner of the frame (a hit-test code) by (dx, dy).
    void dragCorner(int hit, int dx, int dy) {
        const win::RECT s = rect();
        const win::POINT from = hit == win::HTTOPLEFT ? win::POINT{s.left, s.top} : win::POINT{s.right - 1, s.bottom - 1};
        win::SetCursorPos(from.x, from.y);
        win::queueMoveSize({{from.x + dx, from.y + dy}});
        win::SendMessage(h(), win::WM_NCLBUTTONDOWN, static_cast<win::WPARAM>(hit), 0);
    }
};

// The fixture sites, made before the window's fixture and gone after it.
struct WithFixtureSites {
    fixtures::FixtureSites sites;
};

// The notice window on a machine whose site hosts lead to the fixture sites.
struct NoticeSitesFixture : WithFixtureSites, NoticeWindowFixture {
    explicit NoticeSitesFixture(int day) : NoticeWindowFixture(machineOn(day)) {
        for (const auto& [key, value] : sites.hostSettings()) m->setSetting(key, value);
    }
    // The virtual clock; downloads hold it to real time themselves.
    bool run(const std::function<bool()>& pred, uint64_t ms) { return m->runUntil(pred, ms); }
    // Every download the window has started has come back and what it brought is shown.
    bool idle() {
        for (int i = 1; i <= 16; ++i)
            if (w->Source(i).InProgress) return false;
        return !w->Working();
    }
};

// How often the part stands in the text.
inline size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size())) ++n;
    return n;
}

} // namespace notice_testing
