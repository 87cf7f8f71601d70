#include "Form.h"

#include "RuntimeError.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Menu.h"
#include "platform/desktop/Message.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <map>

namespace forms {

namespace {

constexpr const char* kFormClass = "ThunderRT6FormDC";
constexpr long kTwips = 15;

struct FormRegistry {
    std::map<win::HWND, Form*> forms;
    bool classRegistered = false;
};
FormRegistry& registry() { return sys::Machine::current().service<FormRegistry>(); }

} // namespace

win::LRESULT formProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    Form* f = Form::fromHwnd(hwnd);
    if (!f) return win::DefWindowProc(hwnd, msg, wParam, lParam);
    const win::LRESULT r = f->WindowProc(hwnd, msg, wParam, lParam);
    if (msg == win::WM_NCDESTROY && Form::fromHwnd(hwnd) == f) f->forget();  // destroyed under us
    return r;
}

// ---- Menu -------------------------------------------------------------------------------

Menu& Menu::add(const std::string& name, const std::string& caption, int index) {
    auto m = std::make_unique<Menu>();
    m->Name = name;
    m->Caption = caption;
    m->Index = index;
    m->parent_ = this;
    items_.push_back(std::move(m));
    return *items_.back();
}

Menu* Menu::find(const std::string& name, std::optional<int> index) {
    for (auto& m : items_) {
        if (sys::iequals(m->Name, name) && (!index || m->Index == *index)) return m.get();
        if (Menu* f = m->find(name, index)) return f;
    }
    return nullptr;
}

std::vector<int> Menu::arrayIndices() const {
    std::vector<int> out;
    if (!parent_ || Index < 0) return out;
    for (auto& m : parent_->items_)
        if (sys::iequals(m->Name, Name)) out.push_back(m->Index);
    return out;
}

Menu& Menu::loadElement(int index) {
    if (!parent_ || Index < 0) throw RuntimeError(343, "Object not an array");
    auto& sib = parent_->items_;
    size_t last = 0;
    for (size_t i = 0; i < sib.size(); ++i)
        if (sys::iequals(sib[i]->Name, Name)) {
            if (sib[i]->Index == index) throw RuntimeError(360, "Object already loaded");
            last = i;
        }
    auto m = std::make_unique<Menu>();
    m->Name = Name;
    m->Index = index;
    m->Caption = Caption;
    m->Visible = Visible;
    m->Enabled = Enabled;
    m->Checked = Checked;
    m->Tag = Tag;
    m->Click = Click;
    m->parent_ = parent_;
    m->runtime_ = true;
    sib.insert(sib.begin() + static_cast<long>(last) + 1, std::move(m));
    return *sib[last + 1];
}

void Menu::unload() {
    if (!runtime_ || !parent_) throw RuntimeError(365, "Unable to unload within this context");
    auto& sib = parent_->items_;
    sib.erase(std::remove_if(sib.begin(), sib.end(), [this](const std::unique_ptr<Menu>& m) { return m.get() == this; }),
              sib.end());
}

// ---- Form -------------------------------------------------------------------------------

Form::Form(std::string name) : name_(std::move(name)) { design.caption = name_; }

Form::~Form() {
    if (hwnd_ && sys::Machine::currentOrNull()) {
        const win::HWND h = hwnd_;
        forget();
        win::DestroyWindow(h);
    }
}

Form* Form::fromHwnd(win::HWND hwnd) {
    if (!sys::Machine::currentOrNull()) return nullptr;
    auto& r = registry();
    auto it = r.forms.find(hwnd);
    return it == r.forms.end() ? nullptr : it->second;
}

int loadedFormCount() { return static_cast<int>(registry().forms.size()); }

void Form::forget() {
    registry().forms.erase(hwnd_);
    hwnd_ = 0;
}

void Form::Load() {
    if (hwnd_) return;
    auto& r = registry();
    if (!r.classRegistered) {
        win::WNDCLASS wc;
        wc.lpszClassName = kFormClass;
        wc.style = win::CS_DBLCLKS;
        wc.lpfnWndProc = win::wndProcOf(&formProc);
        win::RegisterClass(wc);
        r.classRegistered = true;
    }
    win::DWORD style = win::WS_CLIPCHILDREN, ex = 0;
    switch (design.borderStyle) {
    case vbBSNone: style |= win::WS_POPUP; break;
    case vbFixedSingle: style |= win::WS_CAPTION; break;
    case vbSizable: style |= win::WS_CAPTION | win::WS_THICKFRAME; break;
    case vbFixedDialog: style |= win::WS_CAPTION; ex |= win::WS_EX_DLGMODALFRAME; break;
    case vbFixedToolWindow: style |= win::WS_CAPTION; ex |= win::WS_EX_TOOLWINDOW; break;
    default: style |= win::WS_CAPTION | win::WS_THICKFRAME; ex |= win::WS_EX_TOOLWINDOW; break;
    }
    if (design.borderStyle != vbBSNone && design.controlBox) {
        style |= win::WS_SYSMENU;
        if (design.minButton && design.borderStyle < vbFixedToolWindow) style |= win::WS_MINIMIZEBOX;
        if (design.maxButton && design.borderStyle < vbFixedToolWindow) style |= win::WS_MAXIMIZEBOX;
    }
    if (design.showInTaskbar) ex |= win::WS_EX_APPWINDOW;
    // Creation messages reach DefWindowProc: the form is known by its handle from here on.
    const win::HWND h = win::CreateWindowEx(ex, kFormClass, design.caption, style, static_cast<int>(design.left / kTwips),
                                            static_cast<int>(design.top / kTwips), static_cast<int>(design.width / kTwips),
                                            static_cast<int>(design.height / kTwips), 0);
    if (!h) throw RuntimeError(7, "Out of memory");
    hwnd_ = h;
    r.forms[h] = this;
    hiddenState_ = design.windowState;
    Form_Load();
}

void Form::Show(int modal, Form* owner) {
    if (modal != vbModeless) throw RuntimeError(5, "Invalid procedure call or argument");
    Load();
    if (!hwnd_) return;  // unloaded from its own Load
    if (owner && owner != this) win::SetWindowLong(hwnd_, win::GWL_HWNDPARENT, owner->hWnd());
    if (win::IsWindowVisible(hwnd_)) {
        win::SetForegroundWindow(hwnd_);
        return;
    }
    const int cmd = hiddenState_ == vbMinimized ? win::SW_SHOWMINIMIZED
                    : hiddenState_ == vbMaximized ? win::SW_SHOWMAXIMIZED
                                                  : win::SW_SHOWNORMAL;
    win::ShowWindow(hwnd_, cmd);
}

void Form::Hide() {
    Load();
    hiddenState_ = WindowState();
    win::ShowWindow(hwnd_, win::SW_HIDE);
}

bool Form::Unload(int unloadMode) {
    if (!hwnd_ || unloading_) return true;
    unloading_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{unloading_};
    int cancel = 0;
    Form_QueryUnload(cancel, unloadMode);
    if (cancel || !hwnd_) return !hwnd_;
    std::vector<Form*> owned;
    for (auto& [h, f] : registry().forms)
        if (f != this && win::GetWindow(h, win::GW_OWNER) == hwnd_) owned.push_back(f);
    for (Form* f : owned)
        if (!f->Unload(vbFormOwner)) return false;
    Form_Unload(cancel);
    if (cancel || !hwnd_) return !hwnd_;
    const win::HWND h = hwnd_;
    forget();
    win::DestroyWindow(h);
    return true;
}

win::HWND Form::hWnd() {
    Load();
    return hwnd_;
}

bool Form::Visible() { return win::IsWindowVisible(hWnd()) != 0; }

void Form::setVisible(bool visible) {
    if (visible) Show();
    else Hide();
}

int Form::WindowState() {
    const win::HWND h = hWnd();
    if (!win::IsWindowVisible(h)) return hiddenState_;
    return win::IsIconic(h) ? vbMinimized : win::IsZoomed(h) ? vbMaximized : vbNormal;
}

void Form::setWindowState(int state) {
    const win::HWND h = hWnd();
    if (state < vbNormal || state > vbMaximized) throw RuntimeError(380, "Invalid property value");
    if (!win::IsWindowVisible(h)) {
        hiddenState_ = state;
        return;
    }
    win::ShowWindow(h, state == vbMinimized ? win::SW_MINIMIZE : state == vbMaximized ? win::SW_MAXIMIZE : win::SW_RESTORE);
}

std::string Form::Caption() { return win::windowText(hWnd()); }
void Form::setCaption(const std::string& caption) { win::SetWindowText(hWnd(), caption); }

namespace {
win::RECT rectOf(win::HWND h) {
    win::RECT r;
    win::GetWindowRect(h, &r);
    return r;
}
} // namespace

long Form::Left() { return rectOf(hWnd()).left * kTwips; }
long Form::Top() { return rectOf(hWnd()).top * kTwips; }
long Form::Width() {
    const auto r = rectOf(hWnd());
    return (r.right - r.left) * kTwips;
}
long Form::Height() {
    const auto r = rectOf(hWnd());
    return (r.bottom - r.top) * kTwips;
}

void Form::checkMovable() {
    if (win::IsIconic(hWnd()) || win::IsZoomed(hWnd()))
        throw RuntimeError(384, "A form can't be moved or sized while minimized or maximized");
}

void Form::Move(long left, std::optional<long> top, std::optional<long> width, std::optional<long> height) {
    checkMovable();
    const auto r = rectOf(hwnd_);
    const long t = top.value_or(r.top * kTwips);
    const long w = width.value_or((r.right - r.left) * kTwips);
    const long hgt = height.value_or((r.bottom - r.top) * kTwips);
    if (w < 0 || hgt < 0) throw RuntimeError(380, "Invalid property value");
    win::MoveWindow(hwnd_, static_cast<int>(left / kTwips), static_cast<int>(t / kTwips), static_cast<int>(w / kTwips),
                    static_cast<int>(hgt / kTwips));
}

void Form::setLeft(long twips) { Move(twips); }
void Form::setTop(long twips) { Move(Left(), twips); }
void Form::setWidth(long twips) { Move(Left(), Top(), twips); }
void Form::setHeight(long twips) { Move(Left(), Top(), Width(), twips); }

long Form::ScaleWidth() {
    win::RECT c;
    win::GetClientRect(hWnd(), &c);
    return c.right * kTwips;
}
long Form::ScaleHeight() {
    win::RECT c;
    win::GetClientRect(hWnd(), &c);
    return c.bottom * kTwips;
}

Menu& Form::menu(const std::string& name, std::optional<int> index) {
    Menu* m = menus_.find(name, index);
    if (!m) throw RuntimeError(340, "Control array element '" + name + "' doesn't exist");
    return *m;
}

namespace {
void buildPopup(win::HMENU h, Menu& m, std::vector<Menu*>& byId, int depth) {
    for (auto& item : m.Items()) {
        if (!item->Visible) continue;
        if (item->Caption == "-") {
            win::AppendMenu(h, win::MF_SEPARATOR, 0, "");
            continue;
        }
        win::UINT flags = win::MF_STRING;
        if (!item->Enabled) flags |= win::MF_GRAYED;
        if (item->Checked) flags |= win::MF_CHECKED;
        if (!item->Items().empty() && depth < 16) {
            const win::HMENU sub = win::CreatePopupMenu();
            buildPopup(sub, *item, byId, depth + 1);
            win::AppendMenu(h, flags | win::MF_POPUP, static_cast<win::UINT>(sub), item->Caption);
        } else {
            byId.push_back(item.get());
            win::AppendMenu(h, flags, static_cast<win::UINT>(byId.size()), item->Caption);
        }
    }
}
} // namespace

void Form::PopupMenu(Menu& m, int flags, std::optional<long> x, std::optional<long> y) {
    const win::HWND h = hWnd();
    if (m.Click) m.Click(m.Index);
    win::POINT p;
    if (x && y) {
        p = {static_cast<win::LONG>(*x / kTwips), static_cast<win::LONG>(*y / kTwips)};
        win::ClientToScreen(h, &p);
    } else {
        win::GetCursorPos(&p);
    }
    std::vector<Menu*> byId;
    const win::HMENU popup = win::CreatePopupMenu();
    buildPopup(popup, m, byId, 0);
    win::BOOL chosen = 0;
    try {
        chosen = win::TrackPopupMenu(popup, win::TPM_RETURNCMD | static_cast<win::UINT>(flags & 0xFF), p.x, p.y, 0, h);
    } catch (...) {
        win::DestroyMenu(popup);
        throw;
    }
    win::DestroyMenu(popup);
    if (chosen > 0 && static_cast<size_t>(chosen) <= byId.size()) {
        Menu* item = byId[static_cast<size_t>(chosen) - 1];
        if (item->Click) item->Click(item->Index);
    }
}

win::LRESULT Form::WindowProc(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    switch (msg) {
    case win::WM_CLOSE:
        Unload(vbFormControlMenu);
        return 0;
    case win::WM_SIZE:
        Form_Resize();
        break;
    case win::WM_ACTIVATE:
        if (win::LOWORD(wParam) != win::WA_INACTIVE) Form_Activate();
        else Form_Deactivate();
        break;
    default:
        break;
    }
    return win::DefWindowProc(hwnd, msg, wParam, lParam);
}

} // namespace forms
