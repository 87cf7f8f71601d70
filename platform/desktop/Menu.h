#pragma once
// Pop-up menus. Captions are UTF-8 here and take the round trip through the code page that the
// "A" entry points give them.
#include "Modal.h"
#include "Window.h"

#include <optional>
#include <vector>

namespace win {

constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_MENUBARBREAK = 0x0020;
constexpr UINT MF_MENUBREAK = 0x0040;
constexpr UINT MF_DEFAULT = 0x1000;
constexpr UINT MFT_RADIOCHECK = 0x0200;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

HMENU CreatePopupMenu();
HMENU CreateMenu();
// With MF_POPUP, idOrSubmenu is the submenu's handle.
BOOL AppendMenu(HMENU menu, UINT flags, UINT idOrSubmenu, const std::string& text);
BOOL DestroyMenu(HMENU menu);  // with its submenus
BOOL IsMenu(HMENU menu);
int GetMenuItemCount(HMENU menu);
UINT GetMenuItemID(HMENU menu, int pos);  // 0xFFFFFFFF for a submenu or no item
HMENU GetSubMenu(HMENU menu, int pos);
// Previous check state (MF_CHECKED or MF_UNCHECKED), or 0xFFFFFFFF when there is no such item.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT flags);
BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags);
BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags);
// Waits for the user's (scripted) choice. With TPM_RETURNCMD: the chosen id or 0. Otherwise
// nonzero when an item was chosen, and WM_COMMAND is posted to the owner (not with TPM_NONOTIFY).
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* rect = nullptr);
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, const void* params = nullptr);

// ---- Test side --------------------------------------------------------------------------
struct MenuItemView {
    std::string text;  // UTF-8
    UINT id = 0;
    UINT flags = 0;    // MF_ state and type bits
    std::vector<MenuItemView> submenu;
};
struct TrackedMenu {
    HMENU menu = 0;
    HWND owner = 0;
    int x = 0, y = 0;
    UINT flags = 0;
    std::vector<MenuItemView> items;  // as shown
    UINT chosen = 0;                  // 0: dismissed
};
// The next menu picks the enabled item with this id, or with this caption (ignoring '&' and the
// text after a tab), searched through submenus; dismissMenu closes it without a choice.
void queueMenuChoice(UINT id);
void queueMenuChoice(const std::string& caption);
void queueMenuDismiss();
std::vector<TrackedMenu> trackedMenus();
void clearTrackedMenus();
std::vector<MenuItemView> menuItems(HMENU menu);

} // namespace win
