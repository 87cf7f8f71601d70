#include "cls_PopupMenu.h"

#include "platform/desktop/Win.h"

cls_PopupMenu::cls_PopupMenu() { CreateMenu(); }

cls_PopupMenu::~cls_PopupMenu() { DeleteMenu(); }

void cls_PopupMenu::CreateMenu() {
    if (menu_ == 0) menu_ = win::CreatePopupMenu();
}

void cls_PopupMenu::AddMenuItem(const std::string& caption, int32_t flags, int32_t identifier) {
    win::AppendMenu(menu_, static_cast<win::UINT>(flags), static_cast<win::UINT>(identifier), caption);
}

void cls_PopupMenu::CreateSubmenu(const std::string& caption) {
    const win::HMENU sub = win::CreatePopupMenu();
    if (sub == 0) return;
    if (!win::AppendMenu(menu_, win::MF_POPUP, static_cast<win::UINT>(sub), caption)) {
        // Not part of any menu: nothing else would ever destroy it.
        win::DestroyMenu(sub);
        return;
    }
    submenu_ = sub;
}

void cls_PopupMenu::AddSubmenuItem(const std::string& caption, int32_t flags, int32_t identifier) {
    win::AppendMenu(submenu_, static_cast<win::UINT>(flags), static_cast<win::UINT>(identifier), caption);
}

void cls_PopupMenu::CheckRadioItem(int32_t first, int32_t last, int32_t marked, bool inSubmenu) {
    win::CheckMenuRadioItem(inSubmenu ? submenu_ : menu_, static_cast<win::UINT>(first),
                            static_cast<win::UINT>(last), static_cast<win::UINT>(marked), win::MF_BYPOSITION);
}

int32_t cls_PopupMenu::TrackMenu(win::HWND owner, int32_t x, int32_t y) {
    if (x == -1 || y == -1) {
        win::POINT p{};
        win::GetCursorPos(&p);
        x = p.x;
        y = p.y;
    }
    constexpr win::UINT kFlags = win::TPM_RETURNCMD | win::TPM_LEFTALIGN | win::TPM_LEFTBUTTON;
    return static_cast<int32_t>(win::TrackPopupMenu(menu_, kFlags, x, y, 0, owner));
}

void cls_PopupMenu::DeleteMenu() {
    if (menu_ == 0) return;
    if (win::DestroyMenu(menu_)) {
        menu_ = 0;
        // The submenus went with it.
        submenu_ = 0;
    }
}
