#include "toolkit/MSubclass.h"

#include "platform/desktop/Win.h"
#include "platform/forms/RuntimeError.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace win;

namespace {

constexpr UINT kMsg = WM_USER + 7;
constexpr UINT kOther = WM_USER + 8;

struct Client : ISubclass {
    Client(std::string n, std::vector<std::string>& l) : name(std::move(n)), log(l) {}
    int32_t MsgResponse() override { return response; }
    void MsgResponse(int32_t v) override { response = v; }
    LRESULT WindowProc(HWND h, UINT m, WPARAM w, LPARAM l) override {
        log.push_back(name);
        if (onMessage) onMessage(h, m, w, l);
        return result;
    }
    std::string name;
    std::vector<std::string>& log;
    int32_t response = 0;
    LRESULT result = 0;
    std::function<void(HWND, UINT, WPARAM, LPARAM)> onMessage;
};

class Subclass : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASS wc;
        wc.lpszClassName = "SubclassTestWnd";
        ownProc = registerWndProc([this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == kMsg || m == kOther) {
                log.push_back("own");
                return 99;
            }
            if (m == WM_DESTROY) procAtDestroy = GetWindowLong(h, GWL_WNDPROC);
            return DefWindowProc(h, m, w, l);
        });
        wc.lpfnWndProc = ownProc;
        RegisterClass(wc);
        hwnd = CreateWindowEx(0, "SubclassTestWnd", "w", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, 0);
    }
    std::unique_ptr<Client> client(const std::string& name, int32_t response = 0) {
        auto c = std::make_unique<Client>(name, log);
        c->response = response;
        c->result = static_cast<LRESULT>(name[0]);
        return c;
    }
    static long hookError(ISubclass* c, HWND h, UINT m) {
        try {
            MSubclass::HookMessage(c, h, m);
        } catch (const forms::RuntimeError& e) {
            EXPECT_EQ(e.Source, "Pennant.WindowProc");
            return e.Number;
        }
        return 0;
    }
    bool anyProps() const {
        const std::string h = std::to_string(hwnd);
        for (const std::string& n : {h, h + "C", h + "#" + std::to_string(kMsg) + "C",
                                     h + "#" + std::to_string(kMsg) + "#1", h + "#" + std::to_string(kMsg) + "#2",
                                     h + "#" + std::to_string(kOther) + "C", h + "#" + std::to_string(kOther) + "#1"})
            if (GetProp(hwnd, n) != 0) return true;
        return false;
    }

    testing_support::TestMachine machine;
    std::vector<std::string> log;
    WNDPROC ownProc = 0;
    WNDPROC procAtDestroy = 0;
    HWND hwnd = 0;
};

} // namespace

// Clients run last-attached first; the first-attached client's answer places the window's own
// procedure and decides whose result the message gets.
TEST_F(Subclass, ChainsRunInOrderAndTheFirstClientDecides) {
    struct Case {
        int clients;
        int32_t firstResponse;
        std::vector<std::string> order;
        LRESULT result;
    };
    const Case cases[] = {
        {1, 2, {"own", "A"}, 'A'},
        {1, 1, {"A", "own"}, 99},
        {1, 0, {"A"}, 'A'},
        {2, 1, {"B", "A", "own"}, 99},
        {2, 2, {"B", "own", "A"}, 'A'},
        {3, 1, {"C", "B", "A", "own"}, 99},
        {3, 2, {"C", "B", "own", "A"}, 'A'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.clients << " clients, first answers " << c.firstResponse);
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < c.clients; ++i) {
            // Later clients answer the opposite; only the first one's answer counts.
            clients.push_back(client(std::string(1, char('A' + i)), i == 0 ? c.firstResponse : 3 - c.firstResponse));
            MSubclass::HookMessage(clients.back().get(), hwnd, kMsg);
        }
        log.clear();
        EXPECT_EQ(SendMessage(hwnd, kMsg, 0, 0), c.result);
        EXPECT_EQ(log, c.order);
        EXPECT_EQ(MSubclass::CurrentMessage(), static_cast<int32_t>(kMsg));
        for (auto& cl : clients) MSubclass::UnhookMessage(cl.get(), hwnd, kMsg);
        EXPECT_EQ(GetWindowLong(hwnd, GWL_WNDPROC), ownProc);
        EXPECT_FALSE(anyProps());
    }
}

// Messages without clients pass straight to the window; attachments count per message, and the
// window's own procedure comes back with the last detach.
TEST_F(Subclass, AttachmentCountsAndRestore) {
    auto a = client("A", 2);
    MSubclass::HookMessage(a.get(), hwnd, kMsg);
    MSubclass::HookMessage(a.get(), hwnd, kOther);
    EXPECT_NE(GetWindowLong(hwnd, GWL_WNDPROC), ownProc);
    EXPECT_EQ(GetProp(hwnd, std::to_string(hwnd) + "C"), 2);
    EXPECT_EQ(GetProp(hwnd, std::to_string(hwnd)), ownProc);

    log.clear();
    EXPECT_EQ(SendMessage(hwnd, WM_USER + 50, 0, 0), 0);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(MSubclass::CallPrevWndProc(hwnd, kMsg, 0, 0), 99);

    MSubclass::UnhookMessage(a.get(), hwnd, kMsg);
    EXPECT_NE(GetWindowLong(hwnd, GWL_WNDPROC), ownProc);
    log.clear();
    SendMessage(hwnd, kMsg, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"own"}));

    MSubclass::UnhookMessage(a.get(), hwnd, kOther);
    MSubclass::UnhookMessage(a.get(), hwnd, kOther);  // twice: nothing left to do
    EXPECT_EQ(GetWindowLong(hwnd, GWL_WNDPROC), ownProc);
    EXPECT_FALSE(anyProps());
    EXPECT_EQ(MSubclass::CallPrevWndProc(hwnd, kMsg, 0, 0), 0);
}

// Detaching a middle client keeps the others' order.
TEST_F(Subclass, DetachingTheMiddleClientKeepsOrder) {
    auto a = client("A", 1), b = client("B"), c = client("C");
    for (auto* cl : {a.get(), b.get(), c.get()}) MSubclass::HookMessage(cl, hwnd, kMsg);
    MSubclass::UnhookMessage(b.get(), hwnd, kMsg);
    log.clear();
    SendMessage(hwnd, kMsg, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"C", "A", "own"}));
    const std::string base = std::to_string(hwnd) + "#" + std::to_string(kMsg);
    EXPECT_EQ(GetProp(hwnd, base + "C"), 2);
    EXPECT_EQ(GetProp(hwnd, base + "#1"), a->subclassCookie());
    EXPECT_EQ(GetProp(hwnd, base + "#2"), c->subclassCookie());
    EXPECT_EQ(GetProp(hwnd, base + "#3"), 0);
}

// Refusals raise their numbers and leave everything as it was.
TEST_F(Subclass, RefusalsChangeNothing) {
    auto a = client("A", 2);
    MSubclass::HookMessage(a.get(), hwnd, kMsg);
    const WNDPROC installed = GetWindowLong(hwnd, GWL_WNDPROC);

    EXPECT_EQ(hookError(a.get(), hwnd, kMsg), static_cast<int32_t>(0x80040000u + 13082));
    try {
        MSubclass::HookMessage(a.get(), hwnd, kMsg);
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Description, "Message already handled by another class");
    }
    EXPECT_EQ(hookError(a.get(), 0x7FFF0000, kMsg), static_cast<int32_t>(0x80040000u + 13083));

    HWND foreign;
    {
        sys::ProcessScope other(4242);
        foreign = CreateWindowEx(0, "SubclassTestWnd", "theirs", 0, 0, 0, 10, 10, 0);
    }
    EXPECT_FALSE(MSubclass::IsOwnWindow(foreign));
    EXPECT_TRUE(MSubclass::IsOwnWindow(hwnd));
    const WNDPROC theirs = GetWindowLong(foreign, GWL_WNDPROC);
    EXPECT_EQ(hookError(a.get(), foreign, kMsg), static_cast<int32_t>(0x80040000u + 13084));
    EXPECT_EQ(GetWindowLong(foreign, GWL_WNDPROC), theirs);
    EXPECT_EQ(GetProp(foreign, std::to_string(foreign) + "C"), 0);

    EXPECT_EQ(GetWindowLong(hwnd, GWL_WNDPROC), installed);
    EXPECT_EQ(GetProp(hwnd, std::to_string(hwnd) + "C"), 1);
    log.clear();
    EXPECT_EQ(SendMessage(hwnd, kMsg, 0, 0), 'A');
    EXPECT_EQ(log, (std::vector<std::string>{"own", "A"}));
    MSubclass::UnhookMessage(a.get(), hwnd, kMsg);
}

// WM_DESTROY without a client for it puts the window's own procedure back before that
// procedure sees the message; a later detach finds no window.
TEST_F(Subclass, DestroyReleasesTheWindow) {
    auto a = client("A", 2);
    MSubclass::HookMessage(a.get(), hwnd, kMsg);
    DestroyWindow(hwnd);
    EXPECT_EQ(procAtDestroy, ownProc);
    MSubclass::UnhookMessage(a.get(), hwnd, kMsg);
}

// A client that goes without detaching is skipped; the window keeps working.
TEST_F(Subclass, AClientGoneWithoutDetachingIsSkipped) {
    auto a = client("A", 1), b = client("B");
    MSubclass::HookMessage(a.get(), hwnd, kMsg);
    MSubclass::HookMessage(b.get(), hwnd, kMsg);
    b.reset();
    log.clear();
    EXPECT_EQ(SendMessage(hwnd, kMsg, 0, 0), 99);
    EXPECT_EQ(log, (std::vector<std::string>{"A", "own"}));
    a.reset();
    log.clear();
    EXPECT_EQ(SendMessage(hwnd, kMsg, 0, 0), 99);
    EXPECT_EQ(log, (std::vector<std::string>{"own"}));
}

// A client may send messages from its WindowProc and detach itself there.
TEST_F(Subclass, ReentrantMessagesAndDetachInsideWindowProc) {
    auto a = client("A", 2), b = client("B", 2);
    MSubclass::HookMessage(a.get(), hwnd, kMsg);
    MSubclass::HookMessage(b.get(), hwnd, kOther);
    a->onMessage = [&](HWND h, UINT, WPARAM w, LPARAM) {
        if (w == 0) SendMessage(h, kOther, 0, 0);
        EXPECT_EQ(MSubclass::CurrentMessage(), static_cast<int32_t>(kMsg));  // restored after the nested one
        MSubclass::UnhookMessage(a.get(), h, kMsg);
    };
    log.clear();
    EXPECT_EQ(SendMessage(hwnd, kMsg, 0, 0), 'A');
    EXPECT_EQ(log, (std::vector<std::string>{"own", "A", "own", "B"}));
    log.clear();
    SendMessage(hwnd, kMsg, 1, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"own"}));
    MSubclass::UnhookMessage(b.get(), hwnd, kOther);
    EXPECT_EQ(GetWindowLong(hwnd, GWL_WNDPROC), ownProc);
}

// A client that detaches another mid-dispatch: each remaining client runs once, the detached one
// not at all.
TEST_F(Subclass, DetachingAnotherClientDuringDispatch) {
    auto a = client("A"), b = client("B"), c = client("C");
    for (auto* x : {a.get(), b.get(), c.get()}) MSubclass::HookMessage(x, hwnd, kMsg);
    c->onMessage = [&](HWND h, UINT, WPARAM, LPARAM) { MSubclass::UnhookMessage(b.get(), h, kMsg); };
    log.clear();
    SendMessage(hwnd, kMsg, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"C", "A"}));
    log.clear();
    SendMessage(hwnd, kMsg, 0, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"C", "A"}));
}
