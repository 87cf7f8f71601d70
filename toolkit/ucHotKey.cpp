#include "ucHotKey.h"

#include "m_Main.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Screen.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <cmath>
#include <cstring>

const long ucHotKey::kErrInvalidWindow = static_cast<int32_t>(0x80040440u);
const long ucHotKey::kErrInvalidHotKey = static_cast<int32_t>(0x80040442u);
const long ucHotKey::kErrSetFailed = static_cast<int32_t>(0x80040443u);

namespace {

std::shared_ptr<forms::StdFont> defaultFont() { return forms::newFont("MS Sans Serif", 8); }
constexpr int32_t kDefaultModifier = win::HOTKEYF_ALT;

int32_t mulDiv(int32_t a, int32_t b, int32_t c) {
    const int64_t p = static_cast<int64_t>(a) * b;
    return static_cast<int32_t>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

} // namespace

ucHotKey::ucHotKey(win::HWND container) : forms::UserControl(container) {}

ucHotKey::~ucHotKey() {
    // The last font handle has no other owner.
    if (fontHandle_) win::DeleteFont(fontHandle_);
}

void ucHotKey::createHotKeyWindow() {
    if (hotKeyHwnd_ && win::IsWindow(hotKeyHwnd_)) return;
    if (!commonControlsReady_) {
        win::INITCOMMONCONTROLSEX icc;
        icc.dwICC = win::ICC_HOTKEY_CLASS;
        win::InitCommonControlsEx(&icc);
        commonControlsReady_ = true;
    }
    hotKeyHwnd_ = win::CreateWindowEx(0, "msctls_hotkey32", "", win::WS_CHILD | win::WS_VISIBLE, 0, 0,
                                      static_cast<int>(Width() / win::TwipsPerPixelX),
                                      static_cast<int>(Height() / win::TwipsPerPixelY), hWnd());
    if (hotKeyHwnd_) win::SetFocus(hotKeyHwnd_);
}

void ucHotKey::SetApplicationHotKey(win::HWND hwnd) {
    const win::LRESULT r = win::SendMessage(hwnd, win::WM_SETHOTKEY, static_cast<win::WPARAM>(HotKeyAndModifier()), 0);
    const std::string source = m_Main::kTitle + ".cHotKey";
    switch (r) {
    case 1: return;
    case -1: throw forms::RuntimeError(kErrInvalidHotKey, "Invalid Hot key", source);
    case 0: throw forms::RuntimeError(kErrInvalidWindow, "Invalid window for Hot key", source);
    case 2: throw forms::RuntimeError(kErrInvalidWindow, "Hot key previously assigned", source);
    default: throw forms::RuntimeError(kErrSetFailed, "Failed to set Hot key", source);
    }
}

void ucHotKey::InvalidHotKeyOperation(uint8_t combinations, uint8_t modifiers, bool add) {
    if (add) {
        invalid_ |= combinations;
        defaultMods_ |= modifiers;
    } else {
        invalid_ &= ~static_cast<int32_t>(combinations);
        defaultMods_ &= ~static_cast<int32_t>(modifiers);
    }
    win::SendMessage(hotKeyHwnd_, win::HKM_SETRULES, static_cast<win::WPARAM>(invalid_), defaultMods_);
}

int32_t ucHotKey::HotKeyAndModifier() {
    return hotKeyHwnd_ ? win::SendMessage(hotKeyHwnd_, win::HKM_GETHOTKEY, 0, 0) : 0;
}

int32_t ucHotKey::HotKey() { return HotKeyAndModifier() & 0xFF; }

void ucHotKey::HotKey(int32_t key) {
    // Only the low byte is a key code; more would spill into the modifiers.
    key &= 0xFF;
    const int32_t current = HotKeyAndModifier();
    if (key == (current & 0xFF)) return;
    win::SendMessage(hotKeyHwnd_, win::HKM_SETHOTKEY, static_cast<win::WPARAM>((current & 0xFF00) | key), 0);
    PropertyChanged("HotKey");
}

int32_t ucHotKey::HotKeyModifier() { return (HotKeyAndModifier() >> 8) & 0xFF; }

void ucHotKey::HotKeyModifier(uint8_t modifiers) {
    const int32_t current = HotKeyAndModifier();
    if (modifiers == ((current >> 8) & 0xFF)) return;
    win::SendMessage(hotKeyHwnd_, win::HKM_SETHOTKEY, static_cast<win::WPARAM>(modifiers * 256 + (current & 0xFF)), 0);
    PropertyChanged("HotKeyModifier");
}

void ucHotKey::Font(const std::shared_ptr<forms::StdFont>& font) {
    if (!font || font == font_) return;
    font_ = font;

    win::LOGFONTA lf;
    const int cp = sys::Machine::current().codePage();
    // Cut without splitting a double-byte character, leaving room for the terminating zero.
    const std::string face = sys::truncateAnsi(sys::toAnsi(font->Name, cp), win::LF_FACESIZE - 1, cp);
    std::memcpy(lf.lfFaceName, face.data(), face.size());
    lf.lfHeight = -mulDiv(static_cast<int32_t>(std::nearbyint(font->Size)), win::screenPixelsPerInch, 72);
    lf.lfWeight = font->Bold ? win::FW_BOLD : win::FW_NORMAL;
    lf.lfItalic = font->Italic;
    lf.lfUnderline = font->Underline;
    lf.lfStrikeOut = font->Strikethrough;
    logFont_ = lf;

    const win::HFONT handle = win::CreateFontIndirect(&logFont_);
    if (hotKeyHwnd_) win::SendMessage(hotKeyHwnd_, win::WM_SETFONT, static_cast<win::WPARAM>(handle), 1);
    if (fontHandle_) win::DeleteFont(fontHandle_);
    fontHandle_ = handle;
    PropertyChanged("Font");
}

void ucHotKey::UserControl_InitProperties() {
    Font(ambient.Font);
    createHotKeyWindow();
}

void ucHotKey::UserControl_ReadProperties(forms::PropertyBag& bag) {
    createHotKeyWindow();
    Font(bag.ReadFont("Font", defaultFont()));
    HotKey(bag.ReadProperty("HotKey", 0).toLong());
    HotKeyModifier(static_cast<uint8_t>(bag.ReadProperty("HotKeyModifier", kDefaultModifier).toLong() & 0xFF));
}

void ucHotKey::UserControl_WriteProperties(forms::PropertyBag& bag) {
    bag.WriteFont("Font", font_, defaultFont());
    bag.WriteProperty("HotKey", HotKey(), 0);
    bag.WriteProperty("HotKeyModifier", HotKeyModifier(), kDefaultModifier);
}

void ucHotKey::UserControl_Resize() {
    if (!hotKeyHwnd_) return;
    win::MoveWindow(hotKeyHwnd_, 0, 0, static_cast<int>(Width() / win::TwipsPerPixelX),
                    static_cast<int>(Height() / win::TwipsPerPixelY), win::TRUE);
}

void ucHotKey::UserControl_GotFocus() {
    if (hotKeyHwnd_) win::SetFocus(hotKeyHwnd_);
}
