// The combo box and tree view controls. Texts cross in the machine's code page, as the "A"
// messages carry them; the controls keep UTF-8.
#include "Dialog.h"

#include "DesktopState.h"
#include "Message.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace win {

namespace {

std::string fromPinnedAnsi(LPARAM address) {
    size_t n = 0;
    const char* p = pinnedAt(address, &n);
    if (!p) return {};
    return sys::fromAnsi(std::string_view(p, strnlen(p, n)), sys::Machine::current().codePage());
}

// Copies text as ANSI into a pinned buffer of at most cap bytes (NUL included); the bytes copied.
LRESULT toPinnedAnsi(const std::string& text, LPARAM address, size_t cap) {
    size_t n = 0;
    char* p = pinnedAt(address, &n);
    if (!p || n == 0) return CB_ERR;
    const int cp = sys::Machine::current().codePage();
    cap = std::min(cap, n);
    if (cap == 0) return 0;
    const std::string a = sys::truncateAnsi(sys::toAnsi(text, cp), cap - 1, cp);
    std::memcpy(p, a.data(), a.size());
    p[a.size()] = '\0';
    return static_cast<LRESULT>(a.size());
}

void notifyCommand(HWND h, UINT code) {
    const HWND parent = GetParent(h);
    if (parent) SendMessage(parent, WM_COMMAND, static_cast<WPARAM>((GetWindowLong(h, GWL_ID) & 0xFFFF) | (code << 16)), h);
}

// ---- Combo box

struct ComboState {
    std::vector<std::string> items;
    int sel = -1;
};
struct Combos {
    std::map<HWND, ComboState> state;
};
ComboState& combo(HWND h) { return sys::Machine::current().service<Combos>().state[h]; }

// ---- Tree view

struct TreeNode {
    HTREEITEM parent = 0;
    std::string text;
    std::vector<HTREEITEM> children;
    bool expanded = false;
    int32_t lParam = 0;
};
struct TreeState {
    std::map<HTREEITEM, TreeNode> nodes;
    std::vector<HTREEITEM> roots;
    HTREEITEM selected = 0;
    HTREEITEM next = 0x00A10000;
};
struct Trees {
    std::map<HWND, TreeState> state;
};
TreeState& tree(HWND h) { return sys::Machine::current().service<Trees>().state[h]; }

std::vector<HTREEITEM>* siblingList(TreeState& t, HTREEITEM parent) {
    if (parent == 0 || parent == TVI_ROOT) return &t.roots;
    auto it = t.nodes.find(parent);
    return it == t.nodes.end() ? nullptr : &it->second.children;
}

TVITEM32 itemRecord(TreeState& t, HTREEITEM item) {
    TVITEM32 r;
    r.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    r.hItem = item;
    if (auto it = t.nodes.find(item); it != t.nodes.end()) {
        r.state = (it->second.expanded ? TVIS_EXPANDED : 0) | (t.selected == item ? TVIS_SELECTED : 0);
        r.lParam = it->second.lParam;
    }
    r.stateMask = TVIS_EXPANDED | TVIS_SELECTED;
    return r;
}

LRESULT notifyTree(HWND h, int32_t code, UINT action, HTREEITEM oldItem, HTREEITEM newItem) {
    const HWND parent = GetParent(h);
    if (!parent) return 0;
    TreeState& t = tree(h);
    NMTREEVIEW32 nm;
    nm.hdr.hwndFrom = h;
    nm.hdr.idFrom = static_cast<UINT>(GetWindowLong(h, GWL_ID));
    nm.hdr.code = code;
    nm.action = action;
    if (oldItem) nm.itemOld = itemRecord(t, oldItem);
    if (newItem) nm.itemNew = itemRecord(t, newItem);
    PinnedMemory mem(&nm, sizeof nm);
    return SendMessage(parent, WM_NOTIFY, nm.hdr.idFrom, mem.address());
}

bool selectItem(HWND h, HTREEITEM item, UINT action) {
    TreeState& t = tree(h);
    if (item && !t.nodes.count(item)) return false;
    const HTREEITEM old = t.selected;
    if (old == item) return true;
    if (notifyTree(h, TVN_SELCHANGINGA, action, old, item)) return false;
    tree(h).selected = item;
    notifyTree(h, TVN_SELCHANGEDA, action, old, item);
    return true;
}

void forgetSubtree(TreeState& t, HTREEITEM item) {
    auto it = t.nodes.find(item);
    if (it == t.nodes.end()) return;
    for (HTREEITEM c : std::vector<HTREEITEM>(it->second.children)) forgetSubtree(t, c);
    if (t.selected == item) t.selected = 0;
    t.nodes.erase(item);
}

void collect(TreeState& t, const std::vector<HTREEITEM>& level, int depth, bool visible, std::vector<TreeItemView>& out) {
    for (HTREEITEM i : level) {
        const TreeNode& n = t.nodes[i];
        out.push_back({i, n.text, depth, n.expanded, t.selected == i, visible});
        collect(t, n.children, depth + 1, visible && n.expanded, out);
    }
}

} // namespace

namespace detail {

LRESULT staticProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_LBUTTONUP && (static_cast<DWORD>(GetWindowLong(h, GWL_STYLE)) & SS_NOTIFY)) {
        notifyCommand(h, STN_CLICKED);
        return 0;
    }
    return DefWindowProc(h, msg, wParam, lParam);
}

LRESULT comboProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case CB_ADDSTRING: {
        ComboState& c = combo(h);
        c.items.push_back(fromPinnedAnsi(lParam));
        return static_cast<LRESULT>(c.items.size() - 1);
    }
    case CB_GETCOUNT: return static_cast<LRESULT>(combo(h).items.size());
    case CB_GETCURSEL: return combo(h).sel;
    case CB_SETCURSEL: {
        ComboState& c = combo(h);
        const int i = static_cast<int>(wParam);
        if (i < 0 || static_cast<size_t>(i) >= c.items.size()) {
            c.sel = -1;
            DefWindowProc(h, WM_SETTEXT, 0, 0);
            return CB_ERR;
        }
        c.sel = i;
        if (Wnd* w = findWnd(h)) w->text = c.items[static_cast<size_t>(i)];
        return i;
    }
    case CB_GETLBTEXTLEN:
    case CB_GETLBTEXT: {
        const ComboState& c = combo(h);
        if (wParam >= c.items.size()) return CB_ERR;
        const std::string& text = c.items[wParam];
        if (msg == CB_GETLBTEXTLEN) return static_cast<LRESULT>(sys::ansiLength(text, sys::Machine::current().codePage()));
        return toPinnedAnsi(text, lParam, SIZE_MAX);
    }
    case CB_FINDSTRINGEXACT: {
        const ComboState& c = combo(h);
        const std::string want = fromPinnedAnsi(lParam);
        for (size_t i = 0; i < c.items.size(); ++i)
            if (sys::iequals(c.items[i], want)) return static_cast<LRESULT>(i);
        return CB_ERR;
    }
    case CB_RESETCONTENT:
        combo(h) = ComboState{};
        return 0;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProc(h, msg, wParam, lParam);
        ComboState& c = combo(h);
        const std::string text = windowText(h);
        c.sel = -1;
        for (size_t i = 0; i < c.items.size(); ++i)
            if (c.items[i] == text) c.sel = static_cast<int>(i);
        return r;
    }
    case WM_NCDESTROY:
        sys::Machine::current().service<Combos>().state.erase(h);
        return DefWindowProc(h, msg, wParam, lParam);
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

LRESULT treeProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case TVM_INSERTITEMA: {
        auto* ins = pinnedAs<TVINSERTSTRUCT32>(lParam);
        if (!ins) return 0;
        TreeState& t = tree(h);
        std::vector<HTREEITEM>* level = siblingList(t, ins->hParent);
        if (!level) return 0;
        const HTREEITEM item = t.next++;
        TreeNode n;
        n.parent = ins->hParent == TVI_ROOT ? 0 : ins->hParent;
        if (ins->item.mask & TVIF_TEXT) n.text = fromPinnedAnsi(static_cast<LPARAM>(ins->item.pszText));
        if (ins->item.mask & TVIF_PARAM) n.lParam = ins->item.lParam;
        if (ins->hInsertAfter == TVI_FIRST) level->insert(level->begin(), item);
        else if (auto at = std::find(level->begin(), level->end(), ins->hInsertAfter); at != level->end())
            level->insert(at + 1, item);
        else level->push_back(item);
        t.nodes[item] = std::move(n);
        return item;
    }
    case TVM_DELETEITEM: {
        TreeState& t = tree(h);
        const HTREEITEM item = static_cast<HTREEITEM>(lParam);
        if (item == TVI_ROOT || item == 0) {
            t = TreeState{};
            return TRUE;
        }
        auto it = t.nodes.find(item);
        if (it == t.nodes.end()) return FALSE;
        if (auto* level = siblingList(t, it->second.parent)) level->erase(std::remove(level->begin(), level->end(), item), level->end());
        forgetSubtree(t, item);
        return TRUE;
    }
    case TVM_EXPAND: {
        TreeState& t = tree(h);
        auto it = t.nodes.find(static_cast<HTREEITEM>(lParam));
        if (it == t.nodes.end()) return FALSE;
        const UINT how = wParam & 0x3;
        it->second.expanded = how == TVE_EXPAND ? true : how == TVE_COLLAPSE ? false : !it->second.expanded;
        return TRUE;
    }
    case TVM_GETCOUNT: return static_cast<LRESULT>(tree(h).nodes.size());
    case TVM_GETNEXTITEM: {
        TreeState& t = tree(h);
        const HTREEITEM item = static_cast<HTREEITEM>(lParam);
        switch (wParam) {
        case TVGN_ROOT: return t.roots.empty() ? 0 : t.roots.front();
        case TVGN_CARET: return t.selected;
        case TVGN_CHILD: {
            const auto* level = siblingList(t, item);
            return level && !level->empty() ? level->front() : 0;
        }
        case TVGN_PARENT: {
            auto it = t.nodes.find(item);
            return it == t.nodes.end() ? 0 : it->second.parent;
        }
        case TVGN_NEXT: {
            auto it = t.nodes.find(item);
            if (it == t.nodes.end()) return 0;
            const auto* level = siblingList(t, it->second.parent);
            auto at = std::find(level->begin(), level->end(), item);
            return at != level->end() && at + 1 != level->end() ? *(at + 1) : 0;
        }
        default: return 0;
        }
    }
    case TVM_SELECTITEM:
        if (wParam != TVGN_CARET) return FALSE;
        return selectItem(h, static_cast<HTREEITEM>(lParam), TVC_UNKNOWN) ? TRUE : FALSE;
    case TVM_GETITEMA: {
        auto* item = pinnedAs<TVITEM32>(lParam);
        if (!item) return FALSE;
        TreeState& t = tree(h);
        auto it = t.nodes.find(item->hItem);
        if (it == t.nodes.end()) return FALSE;
        const TVITEM32 r = itemRecord(t, item->hItem);
        if (item->mask & TVIF_STATE) item->state = r.state;
        if (item->mask & TVIF_PARAM) item->lParam = r.lParam;
        if ((item->mask & TVIF_TEXT) && item->cchTextMax > 0)
            toPinnedAnsi(it->second.text, static_cast<LPARAM>(item->pszText), static_cast<size_t>(item->cchTextMax));
        return TRUE;
    }
    case WM_NCDESTROY:
        sys::Machine::current().service<Trees>().state.erase(h);
        return DefWindowProc(h, msg, wParam, lParam);
    default:
        return DefWindowProc(h, msg, wParam, lParam);
    }
}

} // namespace detail

std::vector<TreeItemView> treeItems(HWND h) {
    std::vector<TreeItemView> out;
    TreeState& t = tree(h);
    collect(t, t.roots, 0, true, out);
    return out;
}

void userSelectTreeItem(HWND h, HTREEITEM item) { selectItem(h, item, TVC_BYMOUSE); }

void userToggleTreeItem(HWND h, HTREEITEM item) {
    TreeState& t = tree(h);
    auto it = t.nodes.find(item);
    if (it == t.nodes.end() || it->second.children.empty()) return;
    const UINT action = it->second.expanded ? TVE_COLLAPSE : TVE_EXPAND;
    if (notifyTree(h, TVN_ITEMEXPANDINGA, action, 0, item)) return;
    if (auto again = tree(h).nodes.find(item); again != tree(h).nodes.end()) again->second.expanded = action == TVE_EXPAND;
    notifyTree(h, TVN_ITEMEXPANDEDA, action, 0, item);
}

std::vector<std::string> comboItems(HWND h) { return combo(h).items; }

void userTypeIntoCombo(HWND h, const std::string& text) {
    SendMessageSetText(h, WM_SETTEXT, 0, sys::toAnsi(text, sys::Machine::current().codePage()));
    notifyCommand(h, CBN_EDITCHANGE);
}

} // namespace win
