#include "toolkit/cls_PopupMenu.h"

#include "platform/desktop/Win.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace win;

namespace {

class PopupMenu : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASS wc;
        wc.lpszClassName = "PopupMenuTestWnd";
        wc.lpfnWndProc = registerWndProc([](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProc(h, m, w, l); });
        RegisterClass(wc);
        owner = CreateWindowEx(0, "PopupMenuTestWnd", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, 0);
    }
    static std::vector<std::string> texts(const std::vector<MenuItemView>& items) {
        std::vector<std::string> out;
        for (const auto& i : items) out.push_back(i.text);
        return out;
    }
    static std::vector<bool> radioMarks(const std::vector<MenuItemView>& items) {
        std::vector<bool> out;
        for (const auto& i : items) out.push_back((i.flags & (MF_CHECKED | MFT_RADIOCHECK)) == (MF_CHECKED | MFT_RADIOCHECK));
        return out;
    }

    testing_support::TestMachine machine;
    HWND owner = 0;
};

TEST_F(PopupMenu, SubmenuItemsGoToTheNewestSubmenuOnly) {
    cls_PopupMenu m;
    // Before any submenu there is nowhere to put a submenu item: the menu stays as it was.
    m.AddSubmenuItem("lost", MF_STRING, 9);
    m.AddMenuItem("弹出功能菜单", MF_STRING, 1);
    m.AddMenuItem("", MF_SEPARATOR, 100);
    m.CreateSubmenu("First");
    m.AddSubmenuItem("a", MF_STRING, 11);
    m.CreateSubmenu("Second");
    m.AddSubmenuItem("b", MF_STRING, 21);
    m.AddSubmenuItem("c", MF_GRAYED, 22);

    const auto items = menuItems(m.menuHandle());
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(texts(items), (std::vector<std::string>{"弹出功能菜单", "", "First", "Second"}));
    EXPECT_TRUE(items[1].flags & MF_SEPARATOR);
    EXPECT_EQ(texts(items[2].submenu), (std::vector<std::string>{"a"}));
    EXPECT_EQ(texts(items[3].submenu), (std::vector<std::string>{"b", "c"}));
    EXPECT_TRUE(items[3].submenu[1].flags & MF_GRAYED);
    EXPECT_EQ(GetSubMenu(m.menuHandle(), 3), m.submenuHandle());
}

TEST_F(PopupMenu, RadioMarksByPositionInTheMainMenuOrTheCurrentSubmenu) {
    cls_PopupMenu m;
    for (int i = 0; i < 3; ++i) m.AddMenuItem("m" + std::to_string(i), MF_CHECKED, 10 + i);
    m.CreateSubmenu("sub");
    for (int i = 0; i < 3; ++i) m.AddSubmenuItem("s" + std::to_string(i), MF_STRING, 20 + i);

    m.CheckRadioItem(0, 2, 1, false);
    auto items = menuItems(m.menuHandle());
    EXPECT_EQ(radioMarks(items), (std::vector<bool>{false, true, false, false}));
    EXPECT_FALSE(items[0].flags & MF_CHECKED);  // the other marks are cleared
    EXPECT_EQ(radioMarks(items[3].submenu), (std::vector<bool>{false, false, false}));

    m.CheckRadioItem(1, 2, 2, true);
    items = menuItems(m.menuHandle());
    EXPECT_EQ(radioMarks(items[3].submenu), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(radioMarks(items), (std::vector<bool>{false, true, false, false}));

    // A marked position outside the range changes nothing.
    m.CheckRadioItem(0, 1, 2, false);
    EXPECT_EQ(radioMarks(menuItems(m.menuHandle())), (std::vector<bool>{false, true, false, false}));
}

TEST_F(PopupMenu, TrackMenuReturnsTheChoiceWithoutNotifyingTheOwner) {
    cls_PopupMenu m;
    m.AddMenuItem("one", MF_STRING, 1);
    m.CreateSubmenu("more");
    m.AddSubmenuItem("deep", MF_STRING, 42);

    queueMenuChoice(42u);
    EXPECT_EQ(m.TrackMenu(owner, 300, 200), 42);
    EXPECT_EQ(pendingPostedMessages(), 0u);  // no WM_COMMAND

    SetCursorPos(77, 66);
    queueMenuDismiss();  // Escape or a click elsewhere
    EXPECT_EQ(m.TrackMenu(owner, -1, 500), 0);
    queueMenuChoice(1u);
    EXPECT_EQ(m.TrackMenu(owner, 400, -1), 1);

    const auto shown = trackedMenus();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].flags, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_LEFTBUTTON);
    EXPECT_EQ(shown[0].owner, owner);
    EXPECT_EQ((POINT{shown[0].x, shown[0].y}), (POINT{300, 200}));
    EXPECT_EQ((POINT{shown[1].x, shown[1].y}), (POINT{77, 66}));
    EXPECT_EQ((POINT{shown[2].x, shown[2].y}), (POINT{77, 66}));
    // The same menu can be shown again.
    EXPECT_EQ(shown[2].menu, shown[0].menu);
}

TEST_F(PopupMenu, TheMenuLivesAsLongAsTheObjectAndCanBeRebuilt) {
    HMENU first = 0, sub = 0;
    {
        cls_PopupMenu m;
        first = m.menuHandle();
        ASSERT_TRUE(IsMenu(first));
        m.CreateMenu();  // one exists: nothing new
        EXPECT_EQ(m.menuHandle(), first);
        m.CreateSubmenu("sub");
        sub = m.submenuHandle();

        m.DeleteMenu();
        EXPECT_FALSE(IsMenu(first));
        EXPECT_FALSE(IsMenu(sub));
        EXPECT_EQ(m.menuHandle(), 0);
        m.DeleteMenu();  // nothing left to destroy
        m.CreateSubmenu("nowhere");  // no main menu to hang it on
        EXPECT_EQ(m.submenuHandle(), 0);

        m.CreateMenu();
        m.AddSubmenuItem("orphan", MF_STRING, 5);  // the old submenu went with the old menu
        m.AddMenuItem("again", MF_STRING, 3);
        first = m.menuHandle();
        EXPECT_EQ(texts(menuItems(first)), (std::vector<std::string>{"again"}));
        queueMenuChoice(3u);
        EXPECT_EQ(m.TrackMenu(owner, 1, 1), 3);
    }
    EXPECT_FALSE(IsMenu(first));
}

} // namespace
