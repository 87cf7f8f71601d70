// Dialog boxes from templates, their scripted modal loop, combo boxes, tree views and painting.
#include "DesktopFixture.h"

#include "platform/desktop/Dialog.h"
#include "platform/desktop/Paint.h"
#include "platform/desktop/WindowSystemCalls.h"
#include "platform/system/CodePage.h"

#include <cstring>

using namespace win;

namespace {

DLGTEMPLATE smallDialog() {
    DLGTEMPLATE t;
    t.caption = "设置";
    t.cx = 200, t.cy = 100;
    DLGITEMTEMPLATE combo{"ComboBox", "", 10, CBS_DROPDOWN | WS_VISIBLE, 10, 10, 80, 22};
    DLGITEMTEMPLATE ok{"Button", "确定", IDOK, BS_DEFPUSHBUTTON | WS_VISIBLE, 10, 60, 60, 22};
    DLGITEMTEMPLATE hidden{"Button", "隐藏", 20, 0, 80, 60, 60, 22};
    t.items = {combo, ok, hidden};
    return t;
}

} // namespace

TEST_F(DesktopTest, ModalDialogRunsTheUsersScriptWithItsOwnerDisabled) {
    const HWND owner = top("主窗口");
    std::vector<UINT> seen;
    std::string typed;
    auto proc = [&](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> BOOL {
        seen.push_back(msg);
        if (msg == WM_INITDIALOG) {
            EXPECT_EQ(lParam, 77);
            SendMessageSetText(GetDlgItem(h, 10), CB_ADDSTRING, 0, sys::toAnsi("一千"));
            SendMessageSetText(GetDlgItem(h, 10), CB_ADDSTRING, 0, "2000");
            SendMessage(GetDlgItem(h, 10), CB_SETCURSEL, 1, 0);
            return TRUE;
        }
        if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
            typed = windowText(GetDlgItem(h, 10));
            EndDialog(h, 42);
            return TRUE;
        }
        return FALSE;
    };
    queueModalScript([&](HWND dlg) {
        EXPECT_EQ(windowText(dlg), "设置");
        EXPECT_FALSE(IsWindowEnabled(owner));
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(dlg, IDOK)));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, 20)));
        const HWND combo = GetDlgItem(dlg, 10);
        EXPECT_EQ(comboItems(combo), (std::vector<std::string>{"一千", "2000"}));
        EXPECT_EQ(windowText(combo), "2000");
        EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), 1);
        userTypeIntoCombo(combo, "12345");
        EXPECT_EQ(SendMessage(combo, CB_GETCURSEL, 0, 0), CB_ERR);
        SendMessage(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(DialogBoxIndirectParam(smallDialog(), owner, proc, 77), 42);
    EXPECT_EQ(typed, "12345");
    EXPECT_TRUE(IsWindowEnabled(owner));
    ASSERT_EQ(modalWindows().size(), 1u);
    EXPECT_FALSE(IsWindow(modalWindows()[0].hwnd));
    EXPECT_EQ(seen.front(), WM_INITDIALOG);

    // Closing the window cancels; nothing scripted fails the test that forgot the user.
    queueModalScript([](HWND dlg) { SendMessage(dlg, WM_CLOSE, 0, 0); });
    EXPECT_EQ(DialogBoxIndirectParam(smallDialog(), owner, proc, 77), IDCANCEL);
    EXPECT_THROW(DialogBoxIndirectParam(smallDialog(), owner, proc, 77), UnansweredModalError);
    EXPECT_TRUE(IsWindowEnabled(owner));
    setUnansweredModal(UnansweredModal::TakeDefault);
    EXPECT_EQ(DialogBoxIndirectParam(smallDialog(), owner, proc, 77), IDCANCEL);
}

TEST_F(DesktopTest, TreeViewTellsItsParentOfSelectionAndExpansion) {
    std::vector<std::pair<int32_t, NMTREEVIEW32>> notes;
    bool refuseCollapse = false;
    const HWND dlg = top("树");
    SetWindowLong(dlg, GWL_WNDPROC, registerWndProc([&](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg != WM_NOTIFY) return DefWindowProc(h, msg, wParam, lParam);
        const auto* nm = pinnedAs<NMTREEVIEW32>(lParam);
        notes.push_back({nm->hdr.code, *nm});
        return refuseCollapse && nm->hdr.code == TVN_ITEMEXPANDINGA;
    }));
    const HWND tree = CreateWindowEx(0, "SysTreeView32", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, dlg, 5);
    auto insert = [&](HTREEITEM parent, const std::string& text, int32_t param) {
        std::string ansi = sys::toAnsi(text) + '\0';
        PinnedMemory pinnedText(ansi.data(), ansi.size());
        TVINSERTSTRUCT32 ins;
        ins.hParent = parent;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM;
        ins.item.pszText = static_cast<uint32_t>(pinnedText.address());
        ins.item.lParam = param;
        PinnedMemory pinned(&ins, sizeof ins);
        return SendMessage(tree, TVM_INSERTITEMA, 0, pinned.address());
    };
    const HTREEITEM root = insert(TVI_ROOT, "根", 0);
    const HTREEITEM a = insert(root, "甲", 1);
    const HTREEITEM b = insert(root, "乙", 2);
    EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0), root);
    EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CHILD, root), a);
    EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_NEXT, a), b);
    EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_PARENT, b), root);
    EXPECT_FALSE(treeItems(tree)[1].visible);

    // The program's own expansion tells nothing; its selection does.
    SendMessage(tree, TVM_EXPAND, TVE_EXPAND, root);
    EXPECT_TRUE(notes.empty());
    SendMessage(tree, TVM_SELECTITEM, TVGN_CARET, b);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].first, TVN_SELCHANGINGA);
    EXPECT_EQ(notes[1].first, TVN_SELCHANGEDA);
    EXPECT_EQ(notes[1].second.itemNew.hItem, b);
    EXPECT_EQ(notes[1].second.itemNew.lParam, 2);
    EXPECT_EQ(notes[1].second.hdr.idFrom, 5u);
    EXPECT_EQ(SendMessage(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), b);

    notes.clear();
    userToggleTreeItem(tree, root);
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[1].first, TVN_ITEMEXPANDEDA);
    EXPECT_EQ(notes[1].second.action, TVE_COLLAPSE);
    EXPECT_FALSE(treeItems(tree)[0].expanded);
    refuseCollapse = true;
    userToggleTreeItem(tree, root);
    EXPECT_FALSE(treeItems(tree)[0].expanded);  // refused by the parent

    char buf[16] = {};
    PinnedMemory pinnedBuf(buf, sizeof buf);
    TVITEM32 item;
    item.mask = TVIF_TEXT | TVIF_STATE;
    item.hItem = b;
    item.pszText = static_cast<uint32_t>(pinnedBuf.address());
    item.cchTextMax = sizeof buf;
    PinnedMemory pinnedItem(&item, sizeof item);
    ASSERT_TRUE(SendMessage(tree, TVM_GETITEMA, 0, pinnedItem.address()));
    EXPECT_EQ(sys::fromAnsi(buf), "乙");
    EXPECT_TRUE(item.state & TVIS_SELECTED);
}

TEST_F(DesktopTest, PaintRecordsTextAndStaticsAskTheirParentForColours) {
    const HWND w = top("画");
    const HWND label = CreateWindowEx(0, "Static", "链接", WS_CHILD | WS_VISIBLE, 0, 0, 50, 16, w, 9);
    int paints = 0;
    SetWindowLong(w, GWL_WNDPROC, registerWndProc([&](HWND h, UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (msg == WM_CTLCOLORSTATIC) {
            SetTextColor(static_cast<HDC>(wParam), RGB(0, 0, 255));
            SetBkMode(static_cast<HDC>(wParam), TRANSPARENT);
            return CreateSolidBrush(RGB(1, 2, 3));
        }
        if (msg != WM_PAINT) return DefWindowProc(h, msg, wParam, lParam);
        ++paints;
        PAINTSTRUCT ps;
        const HDC dc = BeginPaint(h, &ps);
        RECT band{0, 0, 100, 20};
        FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
        LOGFONTA lf;
        lf.lfHeight = 14;
        lf.lfWeight = FW_BOLD;
        std::strcpy(lf.lfFaceName, "SimSun");
        const HFONT font = CreateFontIndirect(&lf);
        SelectFont(dc, font);
        SetTextColor(dc, RGB(128, 0, 128));
        DrawText(dc, "zhōng", &band, DT_SINGLELINE | DT_VCENTER);
        EndPaint(h, &ps);
        DeleteFont(font);
        return 0;
    }));
    InvalidateRect(w, nullptr, TRUE);
    InvalidateRect(w, nullptr, TRUE);
    EXPECT_EQ(paints, 0);
    DoEvents();
    EXPECT_EQ(paints, 1);
    const auto items = paintedItems(w);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].kind, PaintedItem::Fill);
    EXPECT_EQ(items[1].text, "zhōng");
    EXPECT_EQ(items[1].font, "SimSun");
    EXPECT_EQ(items[1].fontWeight, FW_BOLD);
    EXPECT_EQ(items[1].color, RGB(128, 0, 128));

    const StaticColors c = staticColors(label);
    EXPECT_EQ(c.text, RGB(0, 0, 255));
    EXPECT_TRUE(c.transparent);
    EXPECT_EQ(c.background, RGB(1, 2, 3));

    // A library loaded into the program finds the same window system on the machine.
    const auto* calls = sys::Machine::current().findService<WindowSystemCalls>();
    ASSERT_TRUE(calls);
    EXPECT_EQ(calls->windowText(label), "链接");
}
