#include "frmSettings.h"

#include "core/Program.h"
#include "platform/desktop/CommonControls.h"
#include "platform/desktop/Dialogs.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Win.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/forms/UserControl.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/PlayMediaCls.h"
#include "toolkit/cRegistry.h"
#include "toolkit/cls_Config.h"
#include "toolkit/frmBalloon.h"
#include "toolkit/m_Main.h"
#include "toolkit/ucHotKey.h"

#include <cmath>

namespace {

// The two sound choices: play button, its list and its picture.
struct SoundRow {
    const char* button;
    const char* list;
    const char* image;
};
constexpr SoundRow kSoundRows[] = {{"TimeOutSoundTest", "TimeOutSoundList", "TimeOutSoundTestImg"},
                                   {"BriskSoundTest", "BriskSoundList", "BriskSoundTestImg"}};

const SoundRow* soundRow(const std::string& button) {
    for (const SoundRow& r : kSoundRows)
        if (button == r.button) return &r;
    return nullptr;
}

cRegistry runEntry() {
    cRegistry r;
    r.ClassKey(win::HKEY_LOCAL_MACHINE);
    r.SectionKey(frmSettings::kRunKey);
    r.ValueKey(frmSettings::kRunValue);
    r.ValueType(win::REG_SZ);
    return r;
}

// The entry's text; nothing when there is no entry (the read's default) or it holds no text.
std::optional<std::string> runEntryText(bool& exists) {
    cRegistry r = runEntry();
    const cRegistry::Variant v = r.Value();
    const auto* fallback = std::get_if<int16_t>(&v);
    exists = !(fallback && *fallback == -1);
    if (const auto* text = std::get_if<std::string>(&v)) return *text;
    return std::nullopt;
}

bool namesThisCopy(const std::optional<std::string>& entry) {
    return entry && forms::UCase(*entry) == forms::UCase(m_Main::ExePath);
}

} // namespace

frmSettings::frmSettings() : PageDialog("frmSettings") {
    design.caption = "配置选项";
    design.borderStyle = forms::vbFixedDialog;
    design.minButton = design.maxButton = false;
    design.showInTaskbar = false;
    design.width = 486 * win::TwipsPerPixelX;
    design.height = 390 * win::TwipsPerPixelY;
}

frmSettings::~frmSettings() = default;

// ---- Life -----------------------------------------------------------------------------------

void frmSettings::Form_Load() {
    loadPage(hWnd(), m_Main::PageBase + "Settings.htm");
    createHotKeyBoxes();
}

void frmSettings::createHotKeyBoxes() {
    for (auto& box : ucKey) {
        box = std::make_unique<ucHotKey>(hWnd());
        box->ambient.Font = forms::newFont("Tahoma", 8);
        box->UserControl_InitProperties();
        box->setVisible(false);
    }
    // A new box takes the focus; keys typed before the hot-key tab is shown are not for it.
    win::SetFocus(hWnd());
}

void frmSettings::Form_Activate() {
    m_Main::SetTopMost(hWnd());
    // The tab moves the keyboard into the page. A hot-key box would take it as its key.
    const win::HWND focus = win::GetFocus();
    for (const auto& box : ucKey)
        if (box && focus && (focus == box->hWnd() || win::IsChild(box->hWnd(), focus))) return;
    try {
        forms::SendKeys("{tab}");
    } catch (const forms::RuntimeError&) {
    }
}

void frmSettings::Form_Unload(int&) {
    if (m_PlayMedia) {
        m_PlayMedia->EndPlay = nullptr;
        m_PlayMedia->Stop_();
    }
    PlayingButton_.clear();
    // The page's forwarders and the program's reference hold this window; both go once the
    // unload (often run from the window's own page event) is over.
    KeepUntilIdle(shared_from_this());
    for (auto& box : ucKey) box.reset();
    unloadPage();
    m_Main::ReleaseSettingsForm(this);
}

bool frmSettings::Busy() { return PageWindow::Busy(); }

void frmSettings::ClickCancel() { Unload(); }

web::HTMLElement frmSettings::el(const std::string& id) const {
    web::HTMLElement e = Document.all(id);
    if (!e) throw forms::RuntimeError(forms::err::ObjectRequired, "找不到页面元素 " + id, "frmSettings");
    return e;
}

ucHotKey* frmSettings::HotKeyBox(int index) const {
    return index >= 0 && index < static_cast<int>(ucKey.size()) ? ucKey[static_cast<size_t>(index)].get() : nullptr;
}

// ---- Hot-key text -------------------------------------------------------------------------

int32_t frmSettings::ModToHotKeyFlags(int32_t mod) {
    int32_t f = (mod & win::MOD_ALT) ? win::HOTKEYF_ALT : 0;
    if (mod & win::MOD_SHIFT) f += win::HOTKEYF_SHIFT;
    if (mod & win::MOD_CONTROL) f |= win::HOTKEYF_CONTROL;
    if (mod & win::MOD_WIN) f |= win::HOTKEYF_EXT;
    return f;
}

void frmSettings::HotKeyFlagsToText(int32_t flags, std::string& prefix, int32_t& mod) {
    prefix.clear();
    mod = 0;
    if (flags & win::HOTKEYF_CONTROL) {
        prefix = "Ctrl+";
        mod = win::MOD_CONTROL;
    }
    if (flags & win::HOTKEYF_SHIFT) {
        prefix += "Shift+";
        mod |= win::MOD_SHIFT;
    }
    if (flags & win::HOTKEYF_ALT) {
        prefix += "Alt+";
        mod |= win::MOD_ALT;
    }
}

std::string frmSettings::KeyName(int32_t key) {
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
    if (key >= win::VK_F1 && key <= win::VK_F1 + 23) return "F" + std::to_string(key - win::VK_F1 + 1);
    if (key >= win::VK_NUMPAD0 && key <= win::VK_NUMPAD0 + 9) return "Num " + std::to_string(key - win::VK_NUMPAD0);
    struct Named {
        int32_t key;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {0x08, "Backspace"}, {0x09, "Tab"},    {0x0D, "Enter"},      {0x13, "Pause"},  {0x14, "CapsLock"},
        {0x1B, "Esc"},       {0x20, "Space"},  {0x21, "PgUp"},       {0x22, "PgDn"},   {0x23, "End"},
        {0x24, "Home"},      {0x25, "Left"},   {0x26, "Up"},         {0x27, "Right"},  {0x28, "Down"},
        {0x2C, "PrtSc"},     {0x2D, "Ins"},    {0x2E, "Del"},        {0x6A, "Num *"},  {0x6B, "Num +"},
        {0x6D, "Num -"},     {0x6E, "Num ."},  {0x6F, "Num /"},      {0x90, "NumLock"}, {0x91, "ScrollLock"},
        {0xBA, ";"},         {0xBB, "="},      {0xBC, ","},          {0xBD, "-"},      {0xBE, "."},
        {0xBF, "/"},         {0xC0, "`"},      {0xDB, "["},          {0xDC, "\\"},     {0xDD, "]"},
        {0xDE, "'"}};
    for (const Named& n : kNames)
        if (n.key == key) return n.name;
    return "#" + std::to_string(key);
}

std::string frmSettings::HotKeyText(int32_t mod, int32_t key) {
    if (key <= 0 || key > 255) return "";
    mod &= win::MOD_ALT | win::MOD_CONTROL | win::MOD_SHIFT | win::MOD_WIN;
    std::string prefix;
    int32_t bits = 0;
    HotKeyFlagsToText(ModToHotKeyFlags(mod), prefix, bits);
    if (mod & win::MOD_WIN) prefix += "Win+";
    return "Mod(" + std::to_string(mod) + ")Key(" + std::to_string(key) + ")HotKey(" + prefix + KeyName(key) + ")";
}

frmSettings::HotKeyValue frmSettings::ParseHotKeyText(const std::string& text) {
    auto part = [&](const char* name) {
        try {
            return m_Main::GetTagValue(text, name, "(", ")");
        } catch (const forms::RuntimeError&) {
            return std::string();  // no closing bracket
        }
    };
    HotKeyValue v;
    // A part out of its range reads as none.
    v.mod = wholeNumber(part("Mod"), 0, win::MOD_ALT | win::MOD_CONTROL | win::MOD_SHIFT | win::MOD_WIN).value_or(0);
    v.key = wholeNumber(part("Key"), 0, 255).value_or(0);
    return v;
}

// ---- Start with the system ------------------------------------------------------------------

bool frmSettings::IsAutoRun() {
    bool exists = false;
    return namesThisCopy(runEntryText(exists));
}

bool frmSettings::SetAutoRun() {
    const bool wanted = el("iSystemRun").checked();
    bool exists = false;
    const auto text = runEntryText(exists);
    try {
        cRegistry r = runEntry();
        // Written over in place: an entry deleted first would be lost when the write then fails.
        if (wanted && !(text && *text == m_Main::ExePath)) r.Value(m_Main::ExePath);
        else if (!wanted && exists) r.DeleteValue();
    } catch (const forms::RuntimeError&) {
        return false;
    }
    const auto after = runEntryText(exists);
    return wanted ? namesThisCopy(after) : !exists;
}

// ---- Sound preview ------------------------------------------------------------------------

void frmSettings::TestSound() {
    if (!m_PlayMedia) {
        m_PlayMedia = std::make_unique<PlayMediaCls>();
        m_PlayMedia->EndPlay = [this] { m_PlayMedia_EndPlay(); };
    }
    if (!PlayingButton_.empty()) {
        StopSound();
        return;
    }
    const web::HTMLElement active = Document.activeElement();
    const SoundRow* row = active ? soundRow(active.id()) : nullptr;
    if (!row) return;
    const web::HTMLElement list = el(row->list);
    const int index = list.number("selectedIndex");
    if (index < 0) return;
    const std::vector<web::HTMLElement> options = list.elements("options");
    if (index >= static_cast<int>(options.size())) return;
    const std::string name = options[static_cast<size_t>(index)].text("text");
    // The list holds names in the sound folder, nothing that leads out of it.
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos || name.find("..") != std::string::npos) return;
    if (!m_PlayMedia->OpenMedia(m_Main::AppDir + "Sound\\" + name)) return;
    el(row->image).setAttribute("src", "stop.gif");
    PlayingButton_ = row->button;
    m_PlayMedia->Play();
}

void frmSettings::StopSound() {
    if (PlayingButton_.empty()) return;
    const SoundRow* row = soundRow(PlayingButton_);
    if (!row) return;
    PlayingButton_.clear();
    if (m_PlayMedia) m_PlayMedia->Stop_();
    el(row->image).setAttribute("src", "play.gif");
}

void frmSettings::m_PlayMedia_EndPlay() { StopSound(); }

// ---- Hot-key boxes ----------------------------------------------------------------------------

void frmSettings::yHK() {
    for (size_t i = 0; i < ucKey.size(); ++i) {
        if (!ucKey[i]) continue;
        const ElementBox r = elementBox("iHotkey" + std::to_string(i), "frmSettings");
        ucKey[i]->Move((r.left + 2) * win::TwipsPerPixelX, (r.top + 2) * win::TwipsPerPixelY,
                       r.width * win::TwipsPerPixelX, r.height * win::TwipsPerPixelY);
        ucKey[i]->setVisible(true);
        // Over the page, not under it.
        win::SetWindowPos(ucKey[i]->hWnd(), win::HWND_TOP, 0, 0, 0, 0, win::SWP_NOMOVE | win::SWP_NOSIZE);
    }
}

void frmSettings::nHK() {
    if (!ucKey[0] || !ucKey[0]->Visible()) return;
    for (auto& box : ucKey)
        if (box) box->setVisible(false);
}

// ---- Terminal file choice -----------------------------------------------------------------

void frmSettings::SpecifyMT4File() {
    if (!m_Main::TerminalReady) return;
    const web::HTMLElement field = el("MT4File");
    field.value(m_Main::TerminalExe);
    field.FireEvent("onblur");
}

void frmSettings::GetTerminal() {
    win::OPENFILENAME ofn;
    ofn.hwndOwner = hWnd();
    ofn.lpstrFilter = "MetaTrader4|Terminal.exe";
    ofn.nFilterIndex = 1;
    ofn.lpstrInitialDir = "C:\\Program Files";
    ofn.lpstrTitle = "浏览(Terminal.exe)";
    ofn.Flags = 0;
    if (!win::GetOpenFileName(&ofn)) return;
    std::string path = ofn.lpstrFile.substr(0, ofn.lpstrFile.find('\0'));
    path = forms::Trim(path);
    // A name longer than the dialog's buffer never reaches it: the dialog fails as if cancelled.
    if (path.empty() || sys::toAnsi(path, sys::Machine::current().codePage()).size() > kFileBuffer) return;
    const size_t slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!sys::iequals(name, "Terminal.exe")) return;
    const web::HTMLElement field = el("MT4File");
    field.value(path);
    field.FireEvent("onblur");
}

// ---- Members by name ----------------------------------------------------------------------

const forms::MemberTable& frmSettings::memberTable() const {
    using F = frmSettings;
    static const auto table = forms::Members<F>()
                                  .method("ClickOK", [](F& f) { f.ClickOK(); })
                                  .method("TestSound", [](F& f) { f.TestSound(); })
                                  .method("StopSound", [](F& f) { f.StopSound(); })
                                  .method("ClickCancel", [](F& f) { f.ClickCancel(); })
                                  .method("GetTerminal", [](F& f) { f.GetTerminal(); })
                                  .method("yHK", [](F& f) { f.yHK(); })
                                  .method("nHK", [](F& f) { f.nHK(); })
                                  .method("SpecifyMT4File", [](F& f) { f.SpecifyMT4File(); })
                                  .method("SetAutoRun", [](F& f) { f.SetAutoRun(); })
                                  .get("Busy", [](F& f) { return forms::Variant(f.Busy()); });
    return table;
}
