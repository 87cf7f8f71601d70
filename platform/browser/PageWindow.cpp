// The control's windows: the control in its parent, the page's inner window, pop-up windows.
#include "BrowserHost.h"
#include "Page.h"
#include "WebBrowser.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/system/CodePage.h"
#include "platform/desktop/Window.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"

#include <cstdio>

namespace web {

namespace {
constexpr const char* kControlClass = "Shell Embedding";
constexpr const char* kServerClass = "Internet Explorer_Server";
constexpr const char* kPopupClass = "Internet Explorer_TridentDlgFrame";

void registerClasses() {
    for (const char* name : {kControlClass, kServerClass, kPopupClass}) {
        win::WNDCLASS wc;
        wc.style = win::CS_DBLCLKS;
        wc.lpszClassName = name;
        win::RegisterClass(wc);  // 0 when this machine has it already
    }
}

// Mouse input of a window that shows a page goes to the page as the user's.
bool forwardMouse(Page& page, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    const char* type = nullptr;
    const char* button = "none";
    int clicks = 0;
    switch (msg) {
    case win::WM_MOUSEMOVE: type = "mouseMoved"; break;
    case win::WM_LBUTTONDOWN: type = "mousePressed"; button = "left"; clicks = 1; break;
    case win::WM_LBUTTONUP: type = "mouseReleased"; button = "left"; clicks = 1; break;
    case win::WM_LBUTTONDBLCLK: type = "mousePressed"; button = "left"; clicks = 2; break;
    case win::WM_RBUTTONDOWN: type = "mousePressed"; button = "right"; clicks = 1; break;
    case win::WM_RBUTTONUP: type = "mouseReleased"; button = "right"; clicks = 1; break;
    default: return false;
    }
    if (!page.alive()) return true;
    json params = {{"type", type}, {"x", win::GET_X_LPARAM(lParam)}, {"y", win::GET_Y_LPARAM(lParam)},
                   {"button", button}, {"clickCount", clicks}};
    int buttons = ((wParam & win::MK_LBUTTON) ? 1 : 0) | ((wParam & win::MK_RBUTTON) ? 2 : 0);
    params["buttons"] = buttons;
    try {
        page.call("Input.dispatchMouseEvent", params);
        if (msg == win::WM_LBUTTONDBLCLK) {
            params["type"] = "mouseReleased";
            page.call("Input.dispatchMouseEvent", params);
        }
    } catch (const forms::RuntimeError& e) {
        std::fprintf(stderr, "pennant: mouse input to a page failed: %s\n", e.what());
    }
    return true;
}
int modifiers() {
    return ((win::GetKeyState(win::VK_MENU) & 0x8000) ? 1 : 0) | ((win::GetKeyState(win::VK_CONTROL) & 0x8000) ? 2 : 0) |
           ((win::GetKeyState(win::VK_SHIFT) & 0x8000) ? 8 : 0);
}

// Keys of the window with the focus go to the page: key-down and key-up with the virtual key,
// characters (the code page's bytes, a double-byte one in two messages) as text.
bool forwardKey(Page& page, std::string& pendingLead, win::UINT msg, win::WPARAM wParam) {
    json params;
    switch (msg) {
    case win::WM_KEYDOWN:
    case win::WM_SYSKEYDOWN:
    case win::WM_KEYUP:
    case win::WM_SYSKEYUP: {
        const bool down = msg == win::WM_KEYDOWN || msg == win::WM_SYSKEYDOWN;
        params = {{"type", down ? "rawKeyDown" : "keyUp"}, {"windowsVirtualKeyCode", static_cast<int>(wParam)},
                  {"nativeVirtualKeyCode", static_cast<int>(wParam)}, {"modifiers", modifiers()}};
        break;
    }
    case win::WM_CHAR: {
        const unsigned ch = static_cast<unsigned>(wParam) & 0xFF;
        std::string text;
        if (!pendingLead.empty()) {
            text = sys::fromAnsi(pendingLead + static_cast<char>(ch));
            pendingLead.clear();
        } else if (ch >= 0x81 && ch <= 0xFE) {
            pendingLead = std::string(1, static_cast<char>(ch));
            return true;
        } else if (ch == '\b' || ch == 0x1B) {
            return true;  // the key itself did it
        } else {
            text = ch == '\r' ? std::string("\r") : sys::fromAnsi(std::string(1, static_cast<char>(ch)));
        }
        params = {{"type", "char"}, {"text", text}, {"unmodifiedText", text}, {"modifiers", modifiers()}};
        break;
    }
    default:
        return false;
    }
    if (!page.alive()) return true;
    try {
        page.call("Input.dispatchKeyEvent", params);
    } catch (const forms::RuntimeError& e) {
        std::fprintf(stderr, "pennant: key input to a page failed: %s\n", e.what());
    }
    return true;
}
} // namespace

void WebBrowser::attach(win::HWND parent, bool fillParent) {
    if (page_->controlHwnd) throw forms::RuntimeError(5, "The browser control is placed already", "WebBrowser");
    registerClasses();
    std::weak_ptr<Page> weak = page_;
    win::WNDPROC proc = win::registerWndProc([weak](win::HWND h, win::UINT msg, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
        auto page = weak.lock();
        if (page && msg == win::WM_SIZE && h == page->controlHwnd) {
            int w = win::LOWORD(static_cast<win::DWORD>(lp)), hgt = win::HIWORD(static_cast<win::DWORD>(lp));
            if (page->serverHwnd) win::MoveWindow(page->serverHwnd, 0, 0, w, hgt, win::TRUE);
            if (w > 0 && hgt > 0 && page->alive()) {
                try {
                    page->setViewport(w, hgt);
                } catch (const forms::RuntimeError&) {
                }
            }
            return 0;
        }
        return win::DefWindowProc(h, msg, wp, lp);
    });
    page_->procs.push_back(proc);
    win::RECT rc;
    win::GetClientRect(parent, &rc);
    page_->parentHwnd = parent;
    page_->fillParent = fillParent;
    page_->controlHwnd = win::CreateWindowEx(0, kControlClass, "", win::WS_CHILD | win::WS_VISIBLE | win::WS_CLIPCHILDREN,
                                             0, 0, rc.right, rc.bottom, parent);
    win::SetWindowLong(page_->controlHwnd, win::GWL_WNDPROC, proc);
    if (rc.right > 0 && rc.bottom > 0) setViewport(rc.right, rc.bottom);
    if (fillParent) page_->host.addFollower(page_);
    // A page that loaded before the control was placed has its inner window at once.
    if (!page_->url.empty() && !page_->busy) page_->createServerWindow();
}

void WebBrowser::Move(int left, int top, int width, int height) {
    if (!page_->controlHwnd) {
        setViewport(width, height);
        return;
    }
    page_->fillParent = false;
    win::MoveWindow(page_->controlHwnd, left, top, width, height, win::TRUE);
}

win::HWND WebBrowser::hWnd() const { return page_->controlHwnd; }
win::HWND WebBrowser::serverHwnd() const { return page_->serverHwnd; }

void Page::createServerWindow() {
    if (!controlHwnd || serverHwnd || !win::IsWindow(controlHwnd)) return;
    std::weak_ptr<Page> weak = weak_from_this();
    auto lead = std::make_shared<std::string>();
    win::WNDPROC proc = win::registerWndProc([weak, lead](win::HWND h, win::UINT msg, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
        auto page = weak.lock();
        // A press in the page gives its window the keyboard, as the old control did.
        if (msg == win::WM_LBUTTONDOWN || msg == win::WM_RBUTTONDOWN) win::SetFocus(h);
        if (page && (forwardMouse(*page, msg, wp, lp) || forwardKey(*page, *lead, msg, wp))) return 0;
        return win::DefWindowProc(h, msg, wp, lp);
    });
    procs.push_back(proc);
    win::RECT rc;
    win::GetClientRect(controlHwnd, &rc);
    serverHwnd = win::CreateWindowEx(0, kServerClass, "", win::WS_CHILD | win::WS_VISIBLE, 0, 0, rc.right, rc.bottom,
                                     controlHwnd);
    win::SetWindowLong(serverHwnd, win::GWL_WNDPROC, proc);
    host.addView(serverHwnd, shared_from_this(), 0);
}

void Page::showPopupWindow(const WebBrowser::PopupRequest& req) {
    if (!serverHwnd) return;
    auto it = popupHwnds.find(req.id);
    if (!req.show) {
        if (it != popupHwnds.end() && win::IsWindow(it->second)) win::ShowWindow(it->second, win::SW_HIDE);
        return;
    }
    win::POINT origin{req.x, req.y};
    win::ClientToScreen(serverHwnd, &origin);
    win::HWND hwnd = it != popupHwnds.end() && win::IsWindow(it->second) ? it->second : 0;
    if (!hwnd) {
        registerClasses();
        std::weak_ptr<Page> weak = weak_from_this();
        int id = req.id;
        win::WNDPROC proc = win::registerWndProc([weak, id](win::HWND h, win::UINT msg, win::WPARAM wp, win::LPARAM lp) -> win::LRESULT {
            if (auto page = weak.lock()) {
                auto p = page->popups.find(id);
                if (p != page->popups.end() && forwardMouse(*p->second, msg, wp, lp)) return 0;
            }
            return win::DefWindowProc(h, msg, wp, lp);
        });
        procs.push_back(proc);
        hwnd = win::CreateWindowEx(win::WS_EX_TOPMOST | win::WS_EX_TOOLWINDOW | win::WS_EX_NOACTIVATE, kPopupClass, "",
                                   win::WS_POPUP, origin.x, origin.y, req.w, req.h, win::GetAncestor(serverHwnd, win::GA_ROOT));
        win::SetWindowLong(hwnd, win::GWL_WNDPROC, proc);
        popupHwnds[req.id] = hwnd;
        host.addView(hwnd, shared_from_this(), req.id);
    }
    win::SetWindowPos(hwnd, win::HWND_TOPMOST, origin.x, origin.y, req.w, req.h, win::SWP_NOACTIVATE | win::SWP_SHOWWINDOW);
}

void Page::destroyWindows() {
    for (auto& [id, h] : popupHwnds) {
        host.removeView(h);
        if (win::IsWindow(h)) win::DestroyWindow(h);
    }
    popupHwnds.clear();
    if (serverHwnd) host.removeView(serverHwnd);
    if (controlHwnd && win::IsWindow(controlHwnd)) win::DestroyWindow(controlHwnd);
    controlHwnd = serverHwnd = 0;
    for (auto p : procs) win::releaseWndProc(p);
    procs.clear();
}

void BrowserHost::followParents() {
    for (auto it = followers_.begin(); it != followers_.end();) {
        auto page = it->lock();
        if (!page || !page->controlHwnd || !win::IsWindow(page->controlHwnd)) {
            it = followers_.erase(it);
            continue;
        }
        ++it;
        if (!page->fillParent) continue;
        win::RECT parent, mine;
        win::GetClientRect(page->parentHwnd, &parent);
        win::GetClientRect(page->controlHwnd, &mine);
        if (parent.right != mine.right || parent.bottom != mine.bottom)
            win::MoveWindow(page->controlHwnd, 0, 0, parent.right, parent.bottom, win::TRUE);
    }
}

} // namespace web
