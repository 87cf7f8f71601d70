#include "cRegHotKey.h"

#include "MSubclass.h"
#include "m_Main.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/system/LastError.h"
#include "platform/system/Machine.h"
#include "platform/system/SystemMessage.h"

namespace {

constexpr win::UINT kStopStyle = 16;
constexpr int32_t kDesktopSnapshotId = -2;
constexpr int32_t kWindowSnapshotId = -1;
constexpr int32_t kSnapshotKey = 44;  // the print-screen key

// The application's title as start-up set it; the program's own name until then.
std::string programTitle() {
    std::string title = forms::appTitle();
    return title.empty() ? m_Main::kTitle : title;
}

void stopBox(const std::string& text) { win::MessageBox(0, text, programTitle(), kStopStyle); }

} // namespace

cRegHotKey::~cRegHotKey() { Clear(); }

void cRegHotKey::Attach(win::HWND hwnd) {
    Clear();
    if (hwnd == 0) return;
    try {
        MSubclass::HookMessage(this, hwnd, win::WM_HOTKEY);
        attached_ = hwnd;
    } catch (const forms::RuntimeError&) {
        // Not one of the program's windows: presses could never reach us, so stay unbound.
    }
}

void cRegHotKey::Clear() {
    while (!keys_.empty()) {
        const std::string name = keys_.back().name;
        UnregisterKey(name);
    }
    if (attached_ != 0) {
        MSubclass::UnhookMessage(this, attached_, win::WM_HOTKEY);
        attached_ = 0;
    }
}

bool cRegHotKey::RegisterKey(const std::string& name, int32_t key, int32_t modifiers, bool alert,
                             const std::string& display) {
    if (KeyIndex(name) != 0) {
        stopBox(name + "\r\nThe HotKey is already registered.");
        return false;
    }
    const uint64_t tick = sys::Machine::current().clock().tickMs();
    const std::string atomName = forms::Left(name + "_" + programTitle() + "_" + std::to_string(tick), 254);
    const win::ATOM atom = win::GlobalAddAtom(atomName);
    if (atom == 0) {
        const std::string text = ErrorText(win::GetLastError());
        stopBox("Failed to add GlobalAtom" + (text.empty() ? std::string() : " [" + text + "]"));
        return false;
    }
    if (win::RegisterHotKey(attached_, atom, static_cast<win::UINT>(modifiers), static_cast<win::UINT>(key))) {
        keys_.push_back({name, atomName, atom, key, modifiers});
        return true;
    }
    const win::DWORD error = win::GetLastError();
    win::GlobalDeleteAtom(atom);
    if (!alert) return false;
    const std::string text = ErrorText(error);
    stopBox("Failed to Register Hot Key (" + display + ")" + (text.empty() ? std::string() : "\r\n" + text));
    return false;
}

void cRegHotKey::UnregisterKey(const std::string& name) {
    const size_t index = KeyIndex(name);
    if (index == 0) return;
    const KeyEntry& entry = keys_[index - 1];
    win::UnregisterHotKey(attached_, entry.id);
    win::GlobalDeleteAtom(static_cast<win::ATOM>(entry.id));
    keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(index - 1));
}

void cRegHotKey::RestoreAndActivate(win::HWND hwnd) {
    if (!win::IsWindowVisible(hwnd)) win::ShowWindow(hwnd, win::SW_SHOW);
    if (win::IsIconic(hwnd)) win::SendMessage(hwnd, win::WM_SYSCOMMAND, win::SC_RESTORE, 0);
    win::SetForegroundWindow(hwnd);
}

win::LRESULT cRegHotKey::WindowProc(win::HWND, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) {
    if (msg != win::WM_HOTKEY) return 0;
    const int32_t id = static_cast<int32_t>(wParam);
    std::string name;
    int32_t modifiers = 0;
    int32_t key = 0;
    if (id == kDesktopSnapshotId) {
        name = "Desktop Snapshot";
        key = kSnapshotKey;
    } else if (id == kWindowSnapshotId) {
        name = "Window Snapshot";
        modifiers = 4;
        key = kSnapshotKey;
    } else {
        const KeyEntry* found = nullptr;
        for (const auto& e : keys_)
            if (e.id == id) {
                found = &e;
                break;
            }
        if (found) {
            name = found->name;
            modifiers = found->modifiers;
            key = found->key;
        } else {
            const uint32_t l = static_cast<uint32_t>(lParam);
            name = "Unknown HotKey";
            modifiers = static_cast<int32_t>(l & 0xFFFF);
            key = static_cast<int32_t>(l >> 16);
        }
    }
    // A copy: the handler may destroy this object, and with it the member.
    const auto handler = HotKeyPress;
    if (handler) handler(name, modifiers, key);
    return 0;
}

size_t cRegHotKey::KeyIndex(const std::string& name) const {
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i].name == name) return i + 1;
    return 0;
}

std::string cRegHotKey::ErrorText(win::DWORD code) {
    std::string text;
    if (win::FormatMessage(win::FORMAT_MESSAGE_FROM_SYSTEM | win::FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                           text, 256, nullptr) == 0)
        return {};
    // The table's texts end in a line break, which would land inside the brackets of the box.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}
