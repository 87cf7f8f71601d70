#pragma once
// A pop-up menu built at run time: a main menu, at most one submenu being filled at a time, shown
// at a point and answering with the chosen item's identifier. Item flags are the platform's
// menu-item flags, passed through. No member raises; a platform call that fails leaves the menu
// as it was.
#include "platform/system/WinTypes.h"

#include <cstdint>
#include <string>

class cls_PopupMenu {
public:
    cls_PopupMenu();   // creates the main menu
    ~cls_PopupMenu();  // destroys it
    cls_PopupMenu(const cls_PopupMenu&) = delete;
    cls_PopupMenu& operator=(const cls_PopupMenu&) = delete;

    // Creates the main menu when none exists.
    void CreateMenu();
    void AddMenuItem(const std::string& caption, int32_t flags, int32_t identifier);
    // Appends a new submenu under the caption and makes it the current one.
    void CreateSubmenu(const std::string& caption);
    // Appends to the current submenu (nothing before the first CreateSubmenu).
    void AddSubmenuItem(const std::string& caption, int32_t flags, int32_t identifier);
    // Radio-marks the item at position marked (0-based) and clears first..last, in the main
    // menu or, with inSubmenu, in the current submenu.
    void CheckRadioItem(int32_t first, int32_t last, int32_t marked, bool inSubmenu);
    // Shows the main menu with its top-left at (x, y), or at the cursor when either is -1, and
    // waits for the user: the chosen identifier, 0 when closed without a choice.
    int32_t TrackMenu(win::HWND owner, int32_t x, int32_t y);
    // Destroys the main menu with its submenus; a new one can then be built with CreateMenu.
    void DeleteMenu();

    // The platform handles, for inspection.
    win::HMENU menuHandle() const { return menu_; }
    win::HMENU submenuHandle() const { return submenu_; }

private:
    win::HMENU menu_ = 0;
    win::HMENU submenu_ = 0;
};
