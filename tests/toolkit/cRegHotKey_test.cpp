#include "toolkit/cRegHotKey.h"

#include "platform/desktop/Win.h"
#include "platform/forms/Strings.h"
#include "platform/system/Machine.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace win;

namespace {

struct Press {
    std::string name;
    int32_t modifiers;
    int32_t key;
    bool operator==(const Press&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Press& p) {
    return os << p.name << " " << p.modifiers << " " << p.key;
}

class RegHotKey : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASS wc;
        wc.lpszClassName = "HotKeyTestWnd";
        wc.lpfnWndProc = registerWndProc([this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_HOTKEY) ownHotKeys++;
            return DefWindowProc(h, m, w, l);
        });
        RegisterClass(wc);
        main = makeWindow();
        hk = std::make_unique<cRegHotKey>();
        hk->HotKeyPress = [this](const std::string& n, int32_t m, int32_t k) { presses.push_back({n, m, k}); };
        hk->Attach(main);
    }
    void TearDown() override { hk.reset(); }

    HWND makeWindow(DWORD style = WS_OVERLAPPEDWINDOW | WS_VISIBLE) {
        return CreateWindowEx(0, "HotKeyTestWnd", "w", style, 0, 0, 200, 100, 0);
    }
    // A window of another program that holds the combination.
    HWND holdElsewhere(UINT mods, UINT vk) {
        sys::ProcessScope other(2000);
        const HWND h = makeWindow();
        EXPECT_TRUE(RegisterHotKey(h, 7, mods, vk));
        return h;
    }
    std::string atomName(const std::string& name) {
        return name + "_Pennant_" + std::to_string(machine->clock().tickMs());
    }

    testing_support::TestMachine machine;
    HWND main = 0;
    int ownHotKeys = 0;
    std::vector<Press> presses;
    std::unique_ptr<cRegHotKey> hk;
};

TEST_F(RegHotKey, RegisteredKeyRaisesItsNameAfterTheWindowsOwnProcedure) {
    ASSERT_TRUE(hk->RegisterKey("Quote", 'Q', MOD_CONTROL | MOD_ALT, true, "Ctrl+Alt+Q"));
    const ATOM atom = GlobalFindAtom(atomName("Quote"));
    EXPECT_GE(atom, 0xC000);
    EXPECT_FALSE(RegisterHotKey(main, atom, 0, 'Z'));  // the atom is the hot-key id

    pressKey('Q', MOD_CONTROL | MOD_ALT);
    EXPECT_EQ(presses, (std::vector<Press>{{"Quote", 3, 'Q'}}));
    EXPECT_EQ(ownHotKeys, 1);
    pressKey('Q', MOD_CONTROL);  // other modifiers: not the hot key
    EXPECT_EQ(presses.size(), 1u);
    EXPECT_TRUE(messageBoxes().empty());
}

TEST_F(RegHotKey, SameNameTwiceIsRefusedAndKeepsTheFirst) {
    ASSERT_TRUE(hk->RegisterKey("MT4", 'M', MOD_CONTROL, false, "Ctrl+M"));
    queueMessageBoxAnswer(IDOK);
    EXPECT_FALSE(hk->RegisterKey("MT4", 'N', MOD_CONTROL, false, "Ctrl+N"));
    const auto boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "MT4\r\nThe HotKey is already registered.");
    EXPECT_EQ(boxes[0].caption, "Pennant");
    EXPECT_EQ(boxes[0].type, 16u);

    pressKey('N', MOD_CONTROL);
    pressKey('M', MOD_CONTROL);
    EXPECT_EQ(presses, (std::vector<Press>{{"MT4", 2, 'M'}}));
}

TEST_F(RegHotKey, NamesRegisteredInOneMillisecondGetTheirOwnAtoms) {
    ASSERT_TRUE(hk->RegisterKey("News", 'N', MOD_ALT, true, "Alt+N"));
    ASSERT_TRUE(hk->RegisterKey("Float", 'F', MOD_ALT, true, "Alt+F"));
    const ATOM news = GlobalFindAtom(atomName("News"));
    const ATOM flt = GlobalFindAtom(atomName("Float"));
    EXPECT_NE(news, 0);
    EXPECT_NE(flt, 0);
    EXPECT_NE(news, flt);
    pressKey('F', MOD_ALT);
    pressKey('N', MOD_ALT);
    EXPECT_EQ(presses, (std::vector<Press>{{"Float", 1, 'F'}, {"News", 1, 'N'}}));
}

TEST_F(RegHotKey, LongNamesAreCutToTheAtomLimitInCharacters) {
    const std::vector<std::string> names = {std::string(300, 'k'), forms::String(200, "键")};
    UINT vk = 'A';
    for (const auto& name : names) {
        ASSERT_TRUE(hk->RegisterKey(name, static_cast<int32_t>(vk), MOD_SHIFT, true, "x")) << name;
        EXPECT_NE(GlobalFindAtom(forms::Left(atomName(name), 254)), 0);
        pressKey(static_cast<BYTE>(vk), MOD_SHIFT);
        ASSERT_FALSE(presses.empty());
        EXPECT_EQ(presses.back().name, name);
        ++vk;
    }
}

TEST_F(RegHotKey, KeyHeldByAnotherProgramReportsOnlyWithAlert) {
    holdElsewhere(MOD_CONTROL | MOD_SHIFT, 'S');
    for (const bool alert : {false, true}) {
        clearMessageBoxes();
        if (alert) queueMessageBoxAnswer(IDOK);
        EXPECT_FALSE(hk->RegisterKey("Settings", 'S', MOD_CONTROL | MOD_SHIFT, alert, "Ctrl+Shift+S"));
        EXPECT_EQ(GlobalFindAtom(atomName("Settings")), 0) << "the atom is given back";
        const auto boxes = messageBoxes();
        if (!alert) {
            EXPECT_TRUE(boxes.empty());
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Failed to Register Hot Key (Ctrl+Shift+S)\r\nThe hot key is already registered.");
        EXPECT_EQ(boxes[0].caption, "Pennant");
        EXPECT_EQ(boxes[0].type, 16u);
    }
    // The name stays free for a later, working registration.
    EXPECT_TRUE(hk->RegisterKey("Settings", 'S', MOD_CONTROL | MOD_ALT, true, "Ctrl+Alt+S"));
}

TEST_F(RegHotKey, NoAtomLeftIsReportedWithTheSystemText) {
    int added = 0;
    while (GlobalAddAtom("filler" + std::to_string(added)) != 0) ++added;
    ASSERT_GT(added, 0);
    queueMessageBoxAnswer(IDOK);
    EXPECT_FALSE(hk->RegisterKey("Exit", 'X', MOD_ALT, false, "Alt+X"));
    const auto boxes = messageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to add GlobalAtom [Not enough memory is available for this command.]");
    EXPECT_EQ(boxes[0].type, 16u);
    pressKey('X', MOD_ALT);
    EXPECT_TRUE(presses.empty());
}

TEST_F(RegHotKey, UnregisteringAMiddleKeyKeepsTheOthersReachable) {
    ASSERT_TRUE(hk->RegisterKey("A", 'A', MOD_ALT, true, ""));
    machine->runFor(1);
    ASSERT_TRUE(hk->RegisterKey("B", 'B', MOD_ALT, true, ""));
    const std::string bAtom = atomName("B");
    ASSERT_NE(GlobalFindAtom(bAtom), 0);
    machine->runFor(1);
    ASSERT_TRUE(hk->RegisterKey("C", 'C', MOD_ALT, true, ""));
    const ATOM c = GlobalFindAtom(atomName("C"));

    hk->UnregisterKey("B");
    hk->UnregisterKey("nope");
    EXPECT_EQ(GlobalFindAtom(bAtom), 0);
    pressKey('B', MOD_ALT);
    pressKey('C', MOD_ALT);
    pressKey('A', MOD_ALT);
    SendMessage(main, WM_HOTKEY, c, 0);
    EXPECT_EQ(presses, (std::vector<Press>{{"C", 1, 'C'}, {"A", 1, 'A'}, {"C", 1, 'C'}}));
    // B's key and name are free again.
    holdElsewhere(MOD_ALT, 'B');
    EXPECT_TRUE(hk->RegisterKey("B", 'B', MOD_CONTROL, true, ""));
}

TEST_F(RegHotKey, SystemAndUnknownIdsAreReported) {
    struct Case {
        WPARAM id;
        LPARAM lParam;
        Press expect;
    };
    const Case cases[] = {
        {static_cast<WPARAM>(-2), 0, {"Desktop Snapshot", 0, 44}},
        {static_cast<WPARAM>(-1), 0, {"Window Snapshot", 4, 44}},
        {0xC123, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, 'K'), {"Unknown HotKey", 6, 'K'}},
        {5, MAKELPARAM(MOD_WIN, 0xFF), {"Unknown HotKey", 8, 0xFF}},
    };
    for (const auto& c : cases) {
        presses.clear();
        SendMessage(main, WM_HOTKEY, c.id, c.lParam);
        ASSERT_EQ(presses.size(), 1u) << c.expect;
        EXPECT_EQ(presses[0], c.expect);
    }
}

TEST_F(RegHotKey, ClearAndDestructionGiveEverythingBack) {
    cRegHotKey idle;
    idle.Clear();  // nothing registered, no window: nothing to do

    ASSERT_TRUE(hk->RegisterKey("A", 'A', MOD_ALT, true, ""));
    ASSERT_TRUE(hk->RegisterKey("B", 'B', MOD_ALT, true, ""));
    hk->Clear();
    EXPECT_EQ(GlobalFindAtom(atomName("A")), 0);
    EXPECT_EQ(GlobalFindAtom(atomName("B")), 0);
    SendMessage(main, WM_HOTKEY, static_cast<WPARAM>(-2), 0);
    EXPECT_TRUE(presses.empty()) << "detached";
    EXPECT_EQ(ownHotKeys, 1);

    hk->Attach(main);
    ASSERT_TRUE(hk->RegisterKey("A", 'A', MOD_ALT, true, ""));
    hk.reset();
    EXPECT_EQ(GlobalFindAtom(atomName("A")), 0);
    holdElsewhere(MOD_ALT, 'A');  // the key is free again
}

TEST_F(RegHotKey, AttachingAnotherWindowMovesTheBinding) {
    ASSERT_TRUE(hk->RegisterKey("A", 'A', MOD_ALT, true, ""));
    const HWND second = makeWindow();
    hk->Attach(second);
    pressKey('A', MOD_ALT);
    EXPECT_TRUE(presses.empty());
    ASSERT_TRUE(hk->RegisterKey("A", 'A', MOD_ALT, true, ""));
    pressKey('A', MOD_ALT);
    EXPECT_EQ(presses, (std::vector<Press>{{"A", 1, 'A'}}));
    SendMessage(main, WM_HOTKEY, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(presses.size(), 1u);
}

TEST_F(RegHotKey, UnusableWindowLeavesItUnboundWithoutRaising) {
    HWND foreign;
    {
        sys::ProcessScope other(2000);
        foreign = makeWindow();
    }
    for (const HWND w : {HWND(0), HWND(0x7777), foreign}) {
        clearMessageBoxes();
        EXPECT_NO_THROW(hk->Attach(w));
        queueMessageBoxAnswer(IDOK);
        EXPECT_FALSE(hk->RegisterKey("Q", 'Q', MOD_ALT, true, "Alt+Q"));
        const auto boxes = messageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Failed to Register Hot Key (Alt+Q)\r\nThe window handle is not valid.");
    }
}

TEST_F(RegHotKey, HandlerMayDestroyTheObject) {
    ASSERT_TRUE(hk->RegisterKey("Exit", 'X', MOD_ALT, true, ""));
    hk->HotKeyPress = [this](const std::string& n, int32_t, int32_t) {
        presses.push_back({n, 0, 0});
        hk.reset();
    };
    pressKey('X', MOD_ALT);
    EXPECT_EQ(presses.size(), 1u);
    EXPECT_FALSE(hk);
    holdElsewhere(MOD_ALT, 'X');
}

TEST_F(RegHotKey, RestoreAndActivateShowsRestoresAndForegrounds) {
    const HWND other = makeWindow();
    SetForegroundWindow(other);
    ShowWindow(main, SW_HIDE);
    hk->RestoreAndActivate(main);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(GetForegroundWindow(), main);

    ShowWindow(main, SW_MINIMIZE);
    SetForegroundWindow(other);
    hk->RestoreAndActivate(main);
    EXPECT_FALSE(IsIconic(main));
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_EQ(GetForegroundWindow(), main);
}

} // namespace
