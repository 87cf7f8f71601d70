#pragma once
#include "platform/desktop/Win.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A fresh machine, a window class whose procedure logs every message, and helpers to make windows.
class DesktopTest : public ::testing::Test {
protected:
    struct Logged {
        win::HWND hwnd;
        win::UINT msg;
        win::WPARAM wParam;
        win::LPARAM lParam;
    };

    void SetUp() override {
        win::WNDCLASS wc;
        wc.lpszClassName = "TestWnd";
        wc.lpfnWndProc = win::registerWndProc([this](win::HWND h, win::UINT m, win::WPARAM w, win::LPARAM l) {
            log.push_back({h, m, w, l});
            return win::DefWindowProc(h, m, w, l);
        });
        win::RegisterClass(wc);
    }

    win::HWND top(const std::string& caption, win::HWND owner = 0, win::DWORD style = win::WS_OVERLAPPEDWINDOW,
                  win::DWORD ex = 0) {
        return win::CreateWindowEx(ex, "TestWnd", caption, style, 10, 20, 300, 200, owner);
    }
    win::HWND child(win::HWND parent, const std::string& caption, win::DWORD style = win::WS_VISIBLE) {
        return win::CreateWindowEx(0, "TestWnd", caption, win::WS_CHILD | style, 5, 5, 50, 20, parent);
    }
    std::vector<win::UINT> messagesTo(win::HWND h) const {
        std::vector<win::UINT> out;
        for (const auto& l : log)
            if (l.hwnd == h) out.push_back(l.msg);
        return out;
    }
    size_t count(win::HWND h, win::UINT msg) const {
        size_t n = 0;
        for (const auto& l : log)
            if (l.hwnd == h && l.msg == msg) ++n;
        return n;
    }
    // The test's own top-level windows, without the shell's taskbar.
    std::vector<win::HWND> topLevelOrder() const {
        std::vector<win::HWND> out;
        const win::HWND bar = win::FindWindow("Shell_TrayWnd", nullptr);
        win::EnumWindows([&](win::HWND h, win::LPARAM) {
            if (h != bar) out.push_back(h);
            return win::TRUE;
        }, 0);
        return out;
    }

    testing_support::TestMachine machine;
    std::vector<Logged> log;
};
