#include "Menu.h"

#include "DesktopState.h"
#include "Message.h"
#include "platform/system/CodePage.h"

#include <algorithm>
#include <deque>
#include <variant>

namespace win {

namespace {

struct Item {
    std::string text;
    UINT id = 0;
    UINT flags = 0;
    HMENU sub = 0;
};

struct MenuState {
    HMENU next = 0x000A0010;
    std::map<HMENU, std::vector<Item>> menus;
    std::deque<std::variant<std::monostate, UINT, std::string>> choices;  // monostate: dismiss
    std::vector<TrackedMenu> tracked;
};
MenuState& ms() { return sys::Machine::current().service<MenuState>(); }

std::vector<Item>* itemsOf(HMENU h) {
    auto& s = ms();
    auto it = s.menus.find(h);
    return it == s.menus.end() ? nullptr : &it->second;
}

// The item a command id or a position names, and the menu that holds it.
Item* locate(HMENU h, UINT item, UINT flags, int depth = 0) {
    auto* items = itemsOf(h);
    if (!items || depth > 16) return nullptr;
    if (flags & MF_BYPOSITION) return item < items->size() ? &(*items)[item] : nullptr;
    for (auto& i : *items) {
        if (!i.sub && !(i.flags & MF_SEPARATOR) && i.id == item) return &i;
        if (i.sub)
            if (Item* f = locate(i.sub, item, flags, depth + 1)) return f;
    }
    return nullptr;
}

std::vector<MenuItemView> view(HMENU h, int depth = 0) {
    std::vector<MenuItemView> out;
    auto* items = itemsOf(h);
    if (!items || depth > 16) return out;
    for (auto& i : *items) {
        MenuItemView v;
        v.text = i.text;
        v.id = i.id;
        v.flags = i.flags;
        if (i.sub) v.submenu = view(i.sub, depth + 1);
        out.push_back(std::move(v));
    }
    return out;
}

std::string plainCaption(std::string s) {
    if (auto tab = s.find('\t'); tab != std::string::npos) s.resize(tab);
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size() && s[i + 1] != '&') continue;
        if (s[i] == '&') ++i;
        out.push_back(s[i]);
    }
    return out;
}

const Item* findChoice(HMENU h, const std::variant<std::monostate, UINT, std::string>& want, int depth = 0) {
    auto* items = itemsOf(h);
    if (!items || depth > 16) return nullptr;
    for (auto& i : *items) {
        if (i.sub) {
            if (const Item* f = findChoice(i.sub, want, depth + 1)) return f;
            continue;
        }
        if (i.flags & MF_SEPARATOR) continue;
        if (std::holds_alternative<UINT>(want) && i.id == std::get<UINT>(want)) return &i;
        if (std::holds_alternative<std::string>(want) &&
            (i.text == std::get<std::string>(want) || plainCaption(i.text) == std::get<std::string>(want)))
            return &i;
    }
    return nullptr;
}

void destroyTree(HMENU h, int depth = 0) {
    auto& s = ms();
    auto it = s.menus.find(h);
    if (it == s.menus.end() || depth > 16) return;
    std::vector<HMENU> subs;
    for (auto& i : it->second)
        if (i.sub) subs.push_back(i.sub);
    s.menus.erase(it);
    for (HMENU sub : subs) destroyTree(sub, depth + 1);
}

} // namespace

HMENU CreatePopupMenu() {
    auto& s = ms();
    const HMENU h = s.next;
    s.next += 2;
    s.menus[h] = {};
    return h;
}

HMENU CreateMenu() { return CreatePopupMenu(); }

BOOL AppendMenu(HMENU menu, UINT flags, UINT idOrSubmenu, const std::string& text) {
    auto* items = itemsOf(menu);
    if (!items) return FALSE;
    Item i;
    i.flags = flags & ~MF_BYPOSITION;
    if (flags & MF_POPUP) {
        const HMENU sub = static_cast<HMENU>(idOrSubmenu);
        if (!itemsOf(sub) || sub == menu) return FALSE;
        i.sub = sub;
    } else {
        i.id = idOrSubmenu;
    }
    if (!(flags & MF_SEPARATOR)) {
        const int cp = sys::Machine::current().codePage();
        i.text = sys::fromAnsi(sys::toAnsi(text, cp), cp);
    }
    itemsOf(menu)->push_back(std::move(i));
    return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
    if (!itemsOf(menu)) return FALSE;
    destroyTree(menu);
    return TRUE;
}

BOOL IsMenu(HMENU menu) { return itemsOf(menu) ? TRUE : FALSE; }

int GetMenuItemCount(HMENU menu) {
    auto* items = itemsOf(menu);
    return items ? static_cast<int>(items->size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int pos) {
    auto* items = itemsOf(menu);
    if (!items || pos < 0 || static_cast<size_t>(pos) >= items->size() || (*items)[pos].sub) return 0xFFFFFFFF;
    return (*items)[pos].id;
}

HMENU GetSubMenu(HMENU menu, int pos) {
    auto* items = itemsOf(menu);
    if (!items || pos < 0 || static_cast<size_t>(pos) >= items->size()) return 0;
    return (*items)[pos].sub;
}

DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags) {
    Item* i = locate(menu, item, flags);
    if (!i) return 0xFFFFFFFF;
    const DWORD old = i->flags & MF_CHECKED;
    if (flags & MF_CHECKED) i->flags |= MF_CHECKED;
    else i->flags &= ~MF_CHECKED;
    return old;
}

BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags) {
    auto* items = itemsOf(menu);
    if (!items || first > last) return FALSE;
    if (flags & MF_BYPOSITION) {
        if (check < first || check > last || last >= items->size()) return FALSE;
        for (UINT p = first; p <= last; ++p) {
            Item& i = (*items)[p];
            if (p == check) i.flags |= MF_CHECKED | MFT_RADIOCHECK;
            else i.flags &= ~(MF_CHECKED | MFT_RADIOCHECK);
        }
        return TRUE;
    }
    bool found = false;
    for (auto& i : *items) {
        if (i.sub || i.id < first || i.id > last) continue;
        if (i.id == check) {
            i.flags |= MF_CHECKED | MFT_RADIOCHECK;
            found = true;
        } else {
            i.flags &= ~(MF_CHECKED | MFT_RADIOCHECK);
        }
    }
    return found ? TRUE : FALSE;
}

BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags) {
    Item* i = locate(menu, item, flags);
    if (!i) return -1;
    const BOOL old = static_cast<BOOL>(i->flags & (MF_GRAYED | MF_DISABLED));
    i->flags = (i->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return old;
}

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, const void*) {
    auto& s = ms();
    if (!itemsOf(menu) || !IsWindow(owner)) return FALSE;
    TrackedMenu t;
    t.menu = menu;
    t.owner = owner;
    t.x = x, t.y = y;
    t.flags = flags;
    t.items = view(menu);
    std::variant<std::monostate, UINT, std::string> want;
    if (!s.choices.empty()) {
        want = s.choices.front();
        s.choices.pop_front();
    } else if (unansweredModal() == UnansweredModal::Fail) {
        s.tracked.push_back(t);
        throw UnansweredModalError("unanswered pop-up menu of " + std::to_string(t.items.size()) + " items");
    }
    if (!std::holds_alternative<std::monostate>(want)) {
        const Item* i = findChoice(menu, want);
        if (!i || (i->flags & (MF_GRAYED | MF_DISABLED))) {
            s.tracked.push_back(t);
            throw UnansweredModalError(i ? "the queued menu choice is greyed" : "the queued menu choice is not in the menu");
        }
        t.chosen = i->id;
    }
    s.tracked.push_back(t);
    if (flags & TPM_RETURNCMD) return static_cast<BOOL>(t.chosen);
    if (t.chosen && !(flags & TPM_NONOTIFY)) PostMessage(owner, WM_COMMAND, t.chosen & 0xFFFF, 0);
    return t.chosen ? TRUE : FALSE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

void queueMenuChoice(UINT id) { ms().choices.emplace_back(id); }
void queueMenuChoice(const std::string& caption) { ms().choices.emplace_back(caption); }
void queueMenuDismiss() { ms().choices.emplace_back(std::monostate{}); }
std::vector<TrackedMenu> trackedMenus() { return ms().tracked; }
void clearTrackedMenus() { ms().tracked.clear(); }
std::vector<MenuItemView> menuItems(HMENU menu) { return view(menu); }

} // namespace win
