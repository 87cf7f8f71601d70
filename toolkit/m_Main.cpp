#include "m_Main.h"
#include "cLibrary.h"

#include "platform/desktop/Input.h"
#include "platform/desktop/Screen.h"
#include "platform/forms/ShellExecute.h"
#include "platform/forms/Interaction.h"
#include "platform/forms/RuntimeError.h"
#include "platform/forms/Strings.h"
#include "platform/media/Player.h"
#include "platform/system/Machine.h"
#include "platform/system/CodePage.h"
#include "platform/system/Resources.h"

#include <cstdio>

namespace m_Main {

std::string AppDir;
std::string ExePath;
std::string TempDir;
std::string PageBase;
std::function<void()> BalloonReturn;
std::function<void(const std::string& line)> Tell;

bool FileExists(const std::string& path) {
    try {
        return !path.empty() && sys::Machine::current().fileExists(path);
    } catch (...) {
        return false;
    }
}

bool DirExists(const std::string& path) {
    try {
        auto& m = sys::Machine::current();
        return !path.empty() && (m.dirExists(path) || m.fileExists(path));
    } catch (...) {
        return false;
    }
}

bool GetWorkArea(win::RECT& rect) {
    return win::SystemParametersInfo(win::SPI_GETWORKAREA, 0, &rect, 0) != 0;
}

bool SaveResToFile(const std::string& modulePath, const std::string& resName, const std::string& resType,
                   const std::string& outPath) {
    cLibrary library;
    library.Filename(modulePath);
    if (!library.hModule()) return false;
    if (resType.empty() || !forms::IsNumeric(resType)) return false;
    const auto bytes = win::moduleResource(library.hModule(), static_cast<int>(forms::CLng(resType)), resName);
    if (!bytes || bytes->empty()) return false;

    // Truncated: written over a longer file, the old tail would follow the new bytes.
    const auto host = sys::Machine::current().hostPath(outPath);
    std::FILE* f = std::fopen(host.c_str(), "wb");
    if (!f) throw forms::RuntimeError(75, "路径/文件访问错误", "m_Main.SaveResToFile");
    const bool ok = std::fwrite(bytes->data(), 1, bytes->size(), f) == bytes->size();
    if (std::fclose(f) != 0 || !ok) throw forms::RuntimeError(75, "路径/文件访问错误", "m_Main.SaveResToFile");
    return true;
}

void SetTopMost(win::HWND hwnd) {
    win::SetWindowPos(hwnd, win::HWND_TOPMOST, 0, 0, 0, 0, win::SWP_NOSIZE | win::SWP_NOMOVE | win::SWP_NOACTIVATE);
}

std::string GetTagValue(const std::string& text, const std::string& name, const std::string& open,
                        const std::string& close) {
    const long at = forms::InStr(forms::UCase(text), forms::UCase(name + open));
    if (at == 0) return "";
    const long start = at + forms::Len(name + open);
    const long end = forms::InStr(start, text, close);
    if (end == 0) throw forms::RuntimeError(5, "无效的过程调用或参数", "m_Main.GetTagValue");
    return forms::Mid(text, start, end - start);
}

std::string GetTempDir() {
    std::string temp = sys::Machine::current().env("TEMP");
    if (temp.empty()) return "";
    if (temp.back() != '\\') temp += "\\";
    return GetLongPath(temp);
}

std::string GetLongPath(const std::string& path) {
    auto& m = sys::Machine::current();
    if (path.empty() || !(m.fileExists(path) || m.dirExists(path))) return "";
    if (sys::toAnsi(path).size() >= 254) return "";
    return path;
}

void PlaySysSound(const std::string& alias) { media::playSystemSound(alias); }

int32_t KeyLParam(int32_t key, bool keyUp) {
    const uint32_t scan = win::MapVirtualKey(static_cast<win::UINT>(key), 0) & 0xFF;
    return static_cast<int32_t>((keyUp ? 0xC0000000u : 0u) | (scan << 16) | 1u);
}

std::string GetParentDir(const std::string& path) {
    const auto pos = path.rfind('\\');
    return pos == std::string::npos ? "" : path.substr(0, pos + 1);
}

void OpenLink(const std::string& target) {
    if (target.empty()) return;
    forms::Screen.setMousePointer(forms::vbHourglass);
    win::ShellExecute(0, "open", target, "", "", win::SW_SHOWNORMAL);
    forms::Screen.setMousePointer(forms::vbDefault);
}

} // namespace m_Main
