#include "frmInsScript.h"

#include "core/Program.h"
#include "core/cls_MT4.h"
#include "core/frmMain.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "toolkit/frmToolTip.h"
#include "toolkit/mWindow.h"
#include "toolkit/m_Main.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint32_t kTipWaitMs = 10000;

bool holds(const std::string& line, const char* marker) { return line.find(marker) != std::string::npos; }

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// A name from the hot-key file or the listing must stay a plain file name inside its folder.
bool plainName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("\\/:*?\"<>|") == std::string::npos;
}

bool blank(const std::string& line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\r' || c == '\t'; });
}

std::shared_ptr<frmToolTip> readyTip(std::shared_ptr<frmToolTip> tip) {
    const uint32_t start = win::GetTickCount();
    while (tip->Busy() && win::GetTickCount() - start < kTipWaitMs) forms::DoEvents();
    return tip->Busy() ? nullptr : tip;
}

} // namespace

frmInsScript::frmInsScript() : PageDialog("frmInsScript") {
    design.caption = "安装MT4脚本";
    design.borderStyle = forms::vbFixedDialog;
    design.minButton = design.maxButton = false;
    design.showInTaskbar = false;
    design.width = 436 * win::TwipsPerPixelX;
    design.height = 300 * win::TwipsPerPixelY;
}

frmInsScript::~frmInsScript() = default;

std::string frmInsScript::TerminalFolder() {
    const std::string folder = m_Main::GetParentDir(m_Main::TerminalExe);
    // A relative folder would put the files wherever the program happens to run.
    if (folder.size() < 3 || folder[1] != ':' || folder[2] != '\\') return "";
    return folder;
}

void frmInsScript::Form_Load() {
    scripts_.clear();
    entryNames_.clear();
    entryValues_.clear();
    lines_.clear();
    failures_.clear();
    sectionFound_ = activated_ = false;
    loadPage(hWnd(), m_Main::PageBase + "iScript.htm");
}

void frmInsScript::Form_Activate() {
    m_Main::SetTopMost(hWnd());
    if (activated_) return;
    activated_ = true;
    if (auto e = Document.all("iScript")) e.setAttribute("align", "absmiddle");
}

void frmInsScript::Form_Unload(int&) {
    unloadPage();
}

bool frmInsScript::Busy() { return PageWindow::Busy(); }

void frmInsScript::readHotkeys(const std::string& file, const std::string& scriptsDir) {
    auto& m = sys::Machine::current();
    if (file.empty() || !m_Main::FileExists(file)) return;
    auto bytes = m.readFile(file);
    if (!bytes) return;
    const std::string text = sys::fromAnsi(*bytes);
    bool inside = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (blank(line)) continue;
        if (holds(line, "<scripts>")) {
            inside = sectionFound_ = true;
        } else if (holds(line, "</scripts>")) {
            inside = false;
        } else if (inside) {
            const size_t eq = line.find('=');
            if (eq == std::string::npos || eq == 0) continue;
            const std::string name = line.substr(0, eq);
            const std::string base = scriptsDir + name;
            if (!plainName(name) || !(m_Main::FileExists(base + ".ex4") || m_Main::FileExists(base + ".mq4"))) continue;
            entryNames_.push_back(name);
            entryValues_.push_back(line.substr(eq + 1));
        }
        lines_.push_back(line);
    }
}

void frmInsScript::pageComplete() {
    const std::string terminal = TerminalFolder();
    const std::string scriptsDir = terminal.empty() ? "" : terminal + "experts\\scripts\\";
    if (!terminal.empty()) readHotkeys(terminal + "profiles\\hotkeys.ini", scriptsDir);

    std::string rows;
    bool installable = false;
    int n = 0;
    const std::string source = m_Main::AppDir + "Scripts\\";
    for (const std::string& file : sys::Machine::current().listDir(source, "*.ex4", true)) {
        const size_t dot = file.find(".ex4");
        if (dot == std::string::npos || dot == 0) continue;
        const std::string name = file.substr(0, dot);
        if (!plainName(name)) continue;
        ++n;
        scripts_.push_back(name);
        const bool copied = !scriptsDir.empty() && m_Main::FileExists(scriptsDir + file);
        const bool keyed = copied && std::find(entryNames_.begin(), entryNames_.end(), name) != entryNames_.end();
        if (!keyed) installable = true;
        const std::string id = "ST" + std::to_string(n);
        const std::string disabled = keyed ? " Disabled " : "";
        rows += "<label " + disabled + "for='" + id + "' ><input type=" + (keyed ? "'radio'" : "'checkbox'") + " id='" +
                id + "' style='float:right' " + disabled + (keyed ? " Checked" : "") +
                "><img src='mScript.gif' align='ABSMIDDLE' " + (keyed ? "Class='ImgGray'" : "") + " >&nbsp;<span>" + name +
                "</span>";
        if (copied) rows += "<font color='#ff0000'> - 已安装</font>";
        if (keyed) rows += "<font color='#ff0000'> - 可执行</font>";
        rows += "</label>";
    }
    // Without an attached terminal there is nowhere to install to.
    if (terminal.empty()) installable = false;
    if (auto ok = Document.all("iOk")) ok.disabled(!installable);
    if (auto area = Document.all("ScriptArea")) area.innerHTML(rows);
    bindEvent("iOk", "onclick", "ClickOK");
    bindEvent("iCancel", "onclick", "ClickCancel");

    int left = 0, top = 0, width = 0, height = 0;
    GetElementPos("ButtonLayout", left, top, width, height);
    const int clientHeight = top + height;
    const int clientWidth = Document.all("iLayoutDiv") ? Document.all("iLayoutDiv").offsetWidth() : width;
    if (clientWidth > 0 && clientHeight > 0) {
        setHeight(Height() - ScaleHeight() + clientHeight * win::TwipsPerPixelY);
        setWidth(Width() - ScaleWidth() + clientWidth * win::TwipsPerPixelX);
    }
    WebBrowser1->Move(0, 0, ScaleWidth() / win::TwipsPerPixelX, ScaleHeight() / win::TwipsPerPixelY);
}

void frmInsScript::GetElementPos(const std::string& id, int& left, int& top, int& width, int& height) {
    left = top = width = height = 0;
    web::HTMLElement e = Document.all(id);
    if (!e) return;
    width = e.offsetWidth();
    height = e.offsetHeight();
    // The chain is bounded: a page is never this deep.
    for (int depth = 0; e && depth < 256; ++depth) {
        if (upper(e.tagName()) == "BODY") break;
        left += e.offsetLeft();
        top += e.offsetTop();
        e = e.offsetParent();
    }
}

void frmInsScript::tell(int icon, const std::string& text) {
    report_ = text;
    auto tip = std::make_shared<frmToolTip>();
    tip->Load();
    if (!readyTip(tip)) {
        tip->Unload();
        return;
    }
    tip->TIPIcon(icon);
    tip->Info(text);
    tip->Balloon(m_Main::TrayCursorPoint.x, m_Main::TrayCursorPoint.y);
}

void frmInsScript::ClickOK() {
    if (TerminalFolder().empty()) {
        tell(frmToolTip::kIconError, "没有找到正在运行的MT4平台, 无法安装脚本!");
        return;
    }
    const win::HWND h = MT4().Mt4Hwnd();
    const std::string title = frmMain::GetMT4Title(h ? mWindow::GetWindowTextString(h) : "");
    const std::string text = "在安装前,我们将会关闭当前运行的MT4平台(" + title +
                             "), 在安装后将会自动重启MT4平台. 点击'确定'按钮,将进入安装...\r\n\r\n"
                             "如果您想稍后再进行安装,请取消这个冒泡提示!";
    int left = 0, top = 0, width = 0, height = 0;
    GetElementPos("iOk", left, top, width, height);
    win::POINT pt{static_cast<int>(std::lround(left + width / 2.0)), static_cast<int>(std::lround(top + height / 2.0))};
    win::ClientToScreen(hWnd(), &pt);

    auto tip = readyTip(frmToolTip::Shared());
    if (!tip) return;
    // The tip's OK runs this installer, whichever one is open now.
    m_Main::BalloonReturn = [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->BalloonReturn();
    };
    tip->TIPIcon(frmToolTip::kIconInfo);
    tip->BalloonWidth(350);
    tip->IconVAlign("top");
    tip->InfoVAlign("top");
    tip->ClickOK(1);
    tip->Info(text);
    tip->Balloon(pt.x, pt.y);
}

void frmInsScript::BalloonReturn() { Install(); }

void frmInsScript::writeNewEntries(std::string& out, const std::string& from, const std::string& to) {
    auto& m = sys::Machine::current();
    for (size_t i = 0; i < scripts_.size(); ++i) {
        const std::string& name = scripts_[i];
        web::HTMLElement input = Document.all("ST" + std::to_string(i + 1));
        if (!input || input.getAttribute("type") != "checkbox" || !input.checked()) continue;
        if (keysExhausted_) {
            failures_.push_back(name + " (没有空闲的热键)");
            continue;
        }
        const std::string file = name + ".ex4";
        auto bytes = m.readFile(from + file);
        if (!bytes || !m.writeFileAtomic(to + file, *bytes)) {
            failures_.push_back(name + " (复制失败)");
            continue;
        }
        if (std::find(entryNames_.begin(), entryNames_.end(), name) != entryNames_.end()) continue;
        // Ctrl+0..9, then Alt+4..9, each only when no kept entry holds it.
        bool found = false;
        while (!found) {
            ++keyCounter_;
            if (keyCounter_ == 10) {
                if (keyAlt_) break;
                keyAlt_ = true;
                keyCounter_ = 4;
            }
            const std::string key = std::string(keyAlt_ ? "ALT+" : "CTRL+") + std::to_string(keyCounter_);
            found = std::none_of(entryValues_.begin(), entryValues_.end(),
                                 [&](const std::string& v) { return upper(v) == key; });
        }
        if (!found) {
            keysExhausted_ = true;
            failures_.push_back(name + " (没有空闲的热键)");
            continue;
        }
        out += name + (keyAlt_ ? "=Alt+" : "=Ctrl+") + std::to_string(keyCounter_) + "\r\n";
    }
}

void frmInsScript::Install() {
    auto self = shared_from_this();
    failures_.clear();
    report_.clear();
    const std::string terminal = TerminalFolder();
    if (terminal.empty() || !IsLoaded() || Document.isNull()) {
        tell(frmToolTip::kIconError, "没有找到正在运行的MT4平台, 无法安装脚本!");
        return;
    }
    Hide();
    if (m_Main::MainForm) m_Main::MainForm->CloseMT4();

    keyCounter_ = -1;
    keyAlt_ = keysExhausted_ = false;
    std::vector<std::string> lines = lines_;
    if (!sectionFound_) {
        lines.push_back("<scripts>");
        lines.push_back("</scripts>");
    }
    const std::string from = m_Main::AppDir + "Scripts\\";
    const std::string to = terminal + "experts\\scripts\\";
    auto& m = sys::Machine::current();
    m.makeDirs(to);
    std::string out;
    bool open = false;
    for (const std::string& line : lines) {
        out += line + "\r\n";
        if (holds(line, "<scripts>")) {
            writeNewEntries(out, from, to);
            open = true;
        } else if (holds(line, "</scripts>")) {
            open = false;
        }
    }
    // A file that ends inside the section would leave the new entries unclosed.
    if (open) out += "</scripts>\r\n";
    const std::string iniFile = terminal + "profiles\\hotkeys.ini";
    m.makeDirs(terminal + "profiles");
    // A failed write leaves the terminal's own file as it was.
    if (!m.writeFileAtomic(iniFile, sys::toAnsi(out))) failures_.push_back("profiles\\hotkeys.ini (写入失败)");

    if (m_Main::MainForm) m_Main::MainForm->RERunMT4();

    std::string report = "MT4脚本安装完成!";
    if (!failures_.empty()) {
        report = "MT4脚本没有全部安装:";
        for (const auto& f : failures_) report += "\r\n" + f;
    }
    report_ = report;
    tell(failures_.empty() ? frmToolTip::kIconOK : frmToolTip::kIconWarning, report);
    m_Main::PlaySysSound("SystemAsterisk");
    Unload();
}

void frmInsScript::ClickCancel() { Unload(); }

const forms::MemberTable& frmInsScript::memberTable() const {
    static const auto table = forms::Members<frmInsScript>()
                                  .method("BalloonReturn", [](frmInsScript& w) { w.BalloonReturn(); })
                                  .method("ClickOK", [](frmInsScript& w) { w.ClickOK(); })
                                  .method("Install", [](frmInsScript& w) { w.Install(); })
                                  .method("ClickCancel", [](frmInsScript& w) { w.ClickCancel(); })
                                  .get("Busy", [](frmInsScript& w) { return forms::Variant(w.Busy()); });
    return table;
}
