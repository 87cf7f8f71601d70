// The forms runtime's SendKeys: the notation parsed into key strokes, typed through the window
// system's keyboard as a user would.
#include "Interaction.h"
#include "RuntimeError.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Window.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace forms {

using namespace win;

namespace {

struct KeyStroke {
    BYTE vk = 0;
    UINT mods = 0;    // MOD_SHIFT | MOD_CONTROL | MOD_ALT
    int ansiChar = 0; // a character no key types: sent as WM_CHAR
};

[[noreturn]] void badKeys() { throw forms::RuntimeError(5, "Invalid procedure call or argument"); }

BYTE namedKey(std::string name) {
    for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const std::pair<const char*, BYTE> names[] = {
        {"BACKSPACE", VK_BACK}, {"BS", VK_BACK}, {"BKSP", VK_BACK}, {"BREAK", VK_CANCEL},
        {"CAPSLOCK", VK_CAPITAL}, {"DELETE", VK_DELETE}, {"DEL", VK_DELETE}, {"DOWN", VK_DOWN},
        {"END", VK_END}, {"ENTER", VK_RETURN}, {"ESC", VK_ESCAPE}, {"HELP", VK_HELP}, {"HOME", VK_HOME},
        {"INSERT", VK_INSERT}, {"INS", VK_INSERT}, {"LEFT", VK_LEFT}, {"NUMLOCK", VK_NUMLOCK},
        {"PGDN", VK_NEXT}, {"PGUP", VK_PRIOR}, {"PRTSC", VK_SNAPSHOT}, {"RIGHT", VK_RIGHT},
        {"SCROLLLOCK", VK_SCROLL}, {"TAB", VK_TAB}, {"UP", VK_UP}, {"ADD", VK_ADD},
        {"SUBTRACT", VK_SUBTRACT}, {"MULTIPLY", VK_MULTIPLY}, {"DIVIDE", VK_DIVIDE}};
    for (const auto& [n, vk] : names)
        if (name == n) return vk;
    if (name.size() >= 2 && name[0] == 'F' && std::all_of(name.begin() + 1, name.end(), ::isdigit) && name.size() <= 3) {
        const int f = std::stoi(name.substr(1));
        if (f >= 1 && f <= 16) return static_cast<BYTE>(VK_F1 + f - 1);
    }
    return 0;
}

void addChar(std::vector<KeyStroke>& out, const std::string& utf8, UINT mods) {
    if (utf8.size() == 1) {
        const SHORT k = win::VkKeyScanA(utf8[0]);
        if (k == -1) badKeys();
        out.push_back({static_cast<BYTE>(k & 0xFF), mods | ((k & 0x100) ? MOD_SHIFT : 0), 0});
        return;
    }
    // A character no key of the layout types arrives as its code-page bytes.
    const std::string ansi = sys::toAnsi(utf8, sys::Machine::current().codePage());
    for (unsigned char c : ansi) out.push_back({0, 0, c});
}

size_t utf8Len(unsigned char c) { return c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4; }

void parseKeys(const std::string& s, size_t& i, UINT outerMods, bool inGroup, std::vector<KeyStroke>& out) {
    UINT pending = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '+' || c == '^' || c == '%') {
            pending |= c == '+' ? MOD_SHIFT : c == '^' ? MOD_CONTROL : MOD_ALT;
            ++i;
            if (i >= s.size()) badKeys();
            continue;
        }
        const UINT mods = outerMods | pending;
        pending = 0;
        if (c == '~') {
            out.push_back({VK_RETURN, mods, 0});
            ++i;
        } else if (c == '(') {
            ++i;
            parseKeys(s, i, mods, true, out);
            if (i >= s.size() || s[i] != ')') badKeys();
            ++i;
        } else if (c == ')') {
            if (inGroup) return;
            badKeys();
        } else if (c == '}') {
            badKeys();
        } else if (c == '{') {
            // "{}}" is the brace itself; otherwise the text up to the next "}".
            size_t close = (i + 2 < s.size() && s[i + 1] == '}' && s[i + 2] == '}') ? i + 2 : s.find('}', i + 2);
            if (i + 1 >= s.size() || close == std::string::npos) badKeys();
            std::string body = s.substr(i + 1, close - i - 1);
            i = close + 1;
            int count = 1;
            if (auto sp = body.rfind(' '); sp != std::string::npos && sp > 0) {
                const std::string n = body.substr(sp + 1);
                if (n.empty() || n.size() > 5 || !std::all_of(n.begin(), n.end(), ::isdigit)) badKeys();
                count = std::stoi(n);
                body = body.substr(0, sp);
            }
            if (body.empty()) badKeys();
            std::vector<KeyStroke> one;
            if (body.size() == utf8Len(static_cast<unsigned char>(body[0]))) addChar(one, body, mods);
            else if (BYTE vk = namedKey(body)) one.push_back({vk, mods, 0});
            else badKeys();
            for (int k = 0; k < count; ++k) out.insert(out.end(), one.begin(), one.end());
        } else {
            const size_t n = std::min(utf8Len(static_cast<unsigned char>(c)), s.size() - i);
            addChar(out, s.substr(i, n), mods);
            i += n;
        }
    }
    if (inGroup) badKeys();  // no closing parenthesis
}

// Where typed characters go: the focus window when it belongs to the foreground window.
HWND keyTarget() {
    const HWND active = GetForegroundWindow();
    if (!active) return 0;
    const HWND focus = GetFocus();
    return (focus && GetAncestor(focus, GA_ROOT) == active) ? focus : active;
}

} // namespace

void SendKeys(const std::string& text, bool wait) {
    std::vector<KeyStroke> strokes;
    size_t i = 0;
    parseKeys(text, i, 0, false, strokes);
    for (const auto& k : strokes) {
        if (!k.vk) {
            if (const HWND t = keyTarget()) PostMessage(t, WM_CHAR, static_cast<WPARAM>(k.ansiChar), 1);
            continue;
        }
        if (k.mods & MOD_SHIFT) keybd_event(VK_SHIFT, 0, 0, 0);
        if (k.mods & MOD_CONTROL) keybd_event(VK_CONTROL, 0, 0, 0);
        if (k.mods & MOD_ALT) keybd_event(VK_MENU, 0, 0, 0);
        keybd_event(k.vk, 0, 0, 0);
        keybd_event(k.vk, 0, KEYEVENTF_KEYUP, 0);
        if (k.mods & MOD_ALT) keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
        if (k.mods & MOD_CONTROL) keybd_event(VK_CONTROL, 0, KEYEVENTF_KEYUP, 0);
        if (k.mods & MOD_SHIFT) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    }
    if (wait) {
        auto& m = sys::Machine::current();
        for (int round = 0; round < 64 && pendingPostedMessages() > 0; ++round) m.pumpOnce();
    }
}

} // namespace forms
