#pragma once
// Form: the base of the program's windows, with the forms runtime's life cycle (Load, Show,
// Hide, Unload with QueryUnload/Unload and Cancel), geometry in twips and design-time menus.
#include "platform/desktop/Window.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace forms {

// WindowState
constexpr int vbNormal = 0;
constexpr int vbMinimized = 1;
constexpr int vbMaximized = 2;
// Show
constexpr int vbModeless = 0;
// UnloadMode of QueryUnload
constexpr int vbFormControlMenu = 0;
constexpr int vbFormCode = 1;
constexpr int vbAppWindows = 2;
constexpr int vbAppTaskManager = 3;
constexpr int vbFormMDIForm = 4;
constexpr int vbFormOwner = 5;
// BorderStyle
constexpr int vbBSNone = 0;
constexpr int vbFixedSingle = 1;
constexpr int vbSizable = 2;
constexpr int vbFixedDialog = 3;
constexpr int vbFixedToolWindow = 4;
constexpr int vbSizableToolWindow = 5;
// PopupMenu flags
constexpr int vbPopupMenuLeftAlign = 0;
constexpr int vbPopupMenuRightButton = 2;

// A menu of a form: design-time items, possibly control arrays (items of one name with an
// Index each). The Click handler gets the item's Index (-1 outside an array).
class Menu {
public:
    std::string Name;
    int Index = -1;
    std::string Caption;  // "-" makes a separator
    bool Visible = true;
    bool Enabled = true;
    bool Checked = false;
    std::string Tag;
    std::function<void(int index)> Click;

    Menu* Parent() const { return parent_; }
    const std::vector<std::unique_ptr<Menu>>& Items() const { return items_; }
    Menu& add(const std::string& name, const std::string& caption, int index = -1);
    // The first item of that name (and index, when given) below this one, at any depth; the
    // name without regard to case.
    Menu* find(const std::string& name, std::optional<int> index = std::nullopt);
    // Load mnu(index): a new element of this item's control array, placed after the array's
    // last element, with this element's caption, state and handler. 360 when the index exists,
    // 343 when this item is no array.
    Menu& loadElement(int index);
    // Unload mnu(index): removes an element loaded at run time; 365 for a design-time one.
    void unload();
    // Indices of this item's control array, in order.
    std::vector<int> arrayIndices() const;

private:
    Menu* parent_ = nullptr;
    bool runtime_ = false;
    std::vector<std::unique_ptr<Menu>> items_;
};

class Form {
public:
    explicit Form(std::string name);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return name_; }

    // Design-time properties: set them before the form loads.
    struct Design {
        std::string caption;
        long left = 0, top = 0, width = 4800, height = 3600;  // twips
        int borderStyle = vbSizable;
        bool controlBox = true, minButton = true, maxButton = true;
        bool showInTaskbar = true;
        int windowState = vbNormal;
    } design;

    // Creates the window (hidden) and raises Form_Load; nothing when loaded. Touching a
    // property of an unloaded form loads it, as the runtime does.
    void Load();
    bool IsLoaded() const { return hwnd_ != 0; }
    // Shows modeless, owned by owner when given (modal showing is not supported: error 5).
    void Show(int modal = vbModeless, Form* owner = nullptr);
    void Hide();
    // Raises Form_QueryUnload (unloading owned forms first with vbFormOwner) and Form_Unload;
    // either may cancel. False when cancelled.
    bool Unload(int unloadMode = vbFormCode);

    win::HWND hWnd();
    bool Visible();
    void setVisible(bool visible);
    int WindowState();
    void setWindowState(int state);
    std::string Caption();
    void setCaption(const std::string& caption);
    // Outer window geometry in twips. Moving or sizing a minimised or maximised form raises 384.
    long Left();
    long Top();
    long Width();
    long Height();
    void setLeft(long twips);
    void setTop(long twips);
    void setWidth(long twips);
    void setHeight(long twips);
    void Move(long left, std::optional<long> top = {}, std::optional<long> width = {},
              std::optional<long> height = {});
    long ScaleWidth();   // client area, twips
    long ScaleHeight();

    // The form's menu tree (the root itself is not shown).
    Menu& Menus() { return menus_; }
    Menu& menu(const std::string& name, std::optional<int> index = std::nullopt);
    // Raises the menu's Click, shows its visible items as a pop-up at (x, y) in client twips or
    // at the cursor, and raises the chosen item's Click before returning.
    void PopupMenu(Menu& menu, int flags = 0, std::optional<long> x = {}, std::optional<long> y = {});

    // The loaded form whose window this is, or nullptr.
    static Form* fromHwnd(win::HWND hwnd);

protected:
    virtual void Form_Load() {}
    virtual void Form_QueryUnload(int& Cancel, int UnloadMode) { (void)Cancel, (void)UnloadMode; }
    virtual void Form_Unload(int& Cancel) { (void)Cancel; }
    virtual void Form_Resize() {}
    virtual void Form_Activate() {}
    virtual void Form_Deactivate() {}
    // Every message of the form's window arrives here; call Form::WindowProc for the runtime's
    // handling (close requests, resize and activation events, then DefWindowProc).
    virtual win::LRESULT WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam);

private:
    friend win::LRESULT formProc(win::HWND, win::UINT, win::WPARAM, win::LPARAM);
    void checkMovable();
    void forget();

    std::string name_;
    win::HWND hwnd_ = 0;
    bool unloading_ = false;
    int hiddenState_ = vbNormal;
    Menu menus_;
};

// Loaded forms of the current machine.
int loadedFormCount();

} // namespace forms
