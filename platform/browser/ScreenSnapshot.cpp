#include "ScreenSnapshot.h"
#include "BrowserHost.h"
#include "Page.h"

#include "platform/desktop/CommCtrl.h"
#include "platform/desktop/CommonControls.h"
#include "platform/desktop/Cursor.h"
#include "platform/desktop/Dialog.h"
#include "platform/desktop/Input.h"
#include "platform/desktop/Message.h"
#include "platform/desktop/Paint.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Tray.h"
#include "platform/desktop/Window.h"
#include "platform/desktop/WindowShape.h"
#include "platform/forms/RuntimeError.h"
#include "platform/gdi/Gdi.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/system/CodePage.h"
#include "platform/system/Machine.h"
#include "platform/system/Process.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace web {

namespace {

std::string esc(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string box(int x, int y, int w, int h) {
    std::ostringstream o;
    o << "left:" << x << "px;top:" << y << "px;width:" << std::max(0, w) << "px;height:" << std::max(0, h) << "px;";
    return o.str();
}

// A menu caption without its access-key mark; the text after a tab goes to the right.
std::string menuText(const std::string& caption, std::string* shortcut) {
    std::string text = caption;
    if (auto tab = text.find('\t'); tab != std::string::npos) {
        *shortcut = text.substr(tab + 1);
        text.resize(tab);
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            if (text[i + 1] == '&') out += '&';
            else out += "<u>" + esc(std::string(1, text[i + 1])) + "</u>";
            ++i;
            continue;
        }
        out += esc(std::string(1, text[i]));
    }
    return out;
}

// A window's own face as a PNG, which wants straight alpha where the face is premultiplied;
// clear where the window's region leaves it out.
std::optional<std::string> facePng(win::HWND h, const win::WindowFace& face) {
    gdi::Image img{face.width, face.height, face.bgra};
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            uint8_t* p = &img.bgra[(static_cast<size_t>(y) * img.width + x) * 4];
            const unsigned a = win::inWindowRegion(h, x, y) ? p[3] : 0;
            for (int c = 0; c < 3; ++c) p[c] = a ? static_cast<uint8_t>(std::min(255u, (p[c] * 255u + a / 2) / a)) : 0;
            p[3] = static_cast<uint8_t>(a);
        }
    return gdi::encodePng(img);
}

// The rows of a list view, asked of it the way any other program would: through a block of the
// owning process's memory. Bounded, so a huge or broken list cannot stall the snapshot.
std::vector<std::vector<std::string>> listRows(win::HWND list, int maxRows) {
    std::vector<std::vector<std::string>> rows;
    const int count = std::min<int>(static_cast<int>(win::SendMessage(list, win::LVM_GETITEMCOUNT, 0, 0)), maxRows);
    const win::HWND header = static_cast<win::HWND>(win::SendMessage(list, win::LVM_GETHEADER, 0, 0));
    const int columns = header ? std::min<int>(static_cast<int>(win::SendMessage(header, win::HDM_GETITEMCOUNT, 0, 0)), 16)
                               : 1;
    if (count <= 0 || columns <= 0) return rows;
    win::DWORD pid = 0;
    win::GetWindowThreadProcessId(list, &pid);
    const win::HANDLE process = win::OpenProcess(
        win::PROCESS_VM_OPERATION | win::PROCESS_VM_READ | win::PROCESS_VM_WRITE, win::FALSE, pid);
    if (!process) return rows;
    constexpr win::DWORD kText = 256;
    const win::DWORD block =
        win::VirtualAllocEx(process, 0, sizeof(win::LVITEM32) + kText, win::MEM_COMMIT | win::MEM_RESERVE, win::PAGE_READWRITE);
    if (block) {
        win::LVITEM32 item;
        item.mask = win::LVIF_TEXT;
        item.pszText = block + sizeof item;
        item.cchTextMax = kText;
        for (int r = 0; r < count; ++r) {
            std::vector<std::string>& row = rows.emplace_back();
            for (int c = 0; c < columns; ++c) {
                item.iSubItem = c;
                win::DWORD done = 0;
                std::string text;
                if (win::WriteProcessMemory(process, block, &item, sizeof item, &done)) {
                    const auto n = win::SendMessage(list, win::LVM_GETITEMTEXTA, static_cast<win::WPARAM>(r),
                                                    static_cast<win::LPARAM>(block));
                    if (n > 0 && n < static_cast<win::LRESULT>(kText)) {
                        text.resize(static_cast<size_t>(n));
                        if (!win::ReadProcessMemory(process, item.pszText, text.data(), static_cast<win::DWORD>(n), &done))
                            text.clear();
                    }
                }
                row.push_back(sys::fromAnsi(text));
            }
        }
        win::VirtualFreeEx(process, block, 0, win::MEM_RELEASE);
    }
    win::CloseHandle(process);
    return rows;
}

class Composer {
public:
    explicit Composer(BrowserHost& host) : host_(host) {}

    void window(win::HWND h, int originX, int originY, bool topLevel) {
        if (!win::IsWindowVisible(h)) return;
        win::RECT r;
        win::GetWindowRect(h, &r);
        int x = r.left - originX, y = r.top - originY, w = r.right - r.left, hgt = r.bottom - r.top;
        const win::DWORD style = static_cast<win::DWORD>(win::GetWindowLong(h, win::GWL_STYLE));
        const win::DWORD ex = static_cast<win::DWORD>(win::GetWindowLong(h, win::GWL_EXSTYLE));
        const win::RECT f = win::frameOf(style, ex);
        const std::string cls = win::className(h);
        const std::string text = win::windowText(h);
        // A layered window shows only the face it was given, with its own alpha; another window
        // shows its picture (if any) under its frame and children, shaped by its region.
        const auto face = win::windowFace(h);
        std::optional<std::string> png;
        if (face && face->constantAlpha > 0) png = facePng(h, *face);
        if (ex & win::WS_EX_LAYERED) {
            if (png)
                html_ << "<img style='" << box(x, y, face->width, face->height) << "opacity:" << face->constantAlpha / 255.0
                      << "' src='data:image/png;base64," << base64(*png) << "'>";
            return;
        }
        html_ << "<div class='w' style='" << box(x, y, w, hgt) << (topLevel && !png ? "background:#ECE9D8;" : "") << "'>";
        if (png)
            html_ << "<img style='" << box(0, 0, face->width, face->height) << "' src='data:image/png;base64," << base64(*png)
                  << "'>";
        // The frame: borders of the frame's thickness, a caption bar when there is one.
        if (f.left || f.top || f.right || f.bottom) {
            html_ << "<div class='frame' style='" << box(0, 0, w - 2, hgt - 2) << "'></div>";
        }
        if ((style & win::WS_CAPTION) == win::WS_CAPTION) {
            int capH = std::max(0, f.top - f.bottom);
            const auto icon = topLevel ? captionIcon(h, style, ex) : std::nullopt;
            html_ << "<div class='cap' style='" << box(f.left, f.bottom, w - f.left - f.right, capH)
                  << "line-height:" << capH << "px" << (icon ? ";padding-left:22px" : "") << "'>" << esc(text) << "</div>";
            if (icon)
                html_ << "<img style='" << box(f.left + 3, f.bottom + (capH - 16) / 2, 16, 16) << "' src='data:image/png;base64,"
                      << base64(icon->png) << "'>";
        }
        win::RECT c;
        win::GetClientRect(h, &c);
        html_ << "<div class='client' style='" << box(f.left, f.top, c.right, c.bottom) << "'>";
        int popup = 0;
        if (auto page = host_.viewOf(h, &popup)) {
            std::string shot;
            try {
                if (page->alive()) {
                    json r = page->view(popup).call("Page.captureScreenshot", {{"format", "png"}});
                    shot = r.value("data", "");
                }
            } catch (const std::exception&) {
            }
            if (!shot.empty())
                html_ << "<img style='" << box(0, 0, c.right, c.bottom) << "' src='data:image/png;base64," << shot << "'>";
        } else if (sys::upperAscii(cls) == "SYSLISTVIEW32") {
            listView(h, c.right, c.bottom);
        } else if (!topLevel) {
            control(h, cls, text, style, c.right, c.bottom);
        }
        painted(h);
        // Children, back to front.
        std::vector<win::HWND> kids;
        for (win::HWND k = win::GetWindow(h, win::GW_CHILD); k; k = win::GetWindow(k, win::GW_HWNDNEXT)) kids.push_back(k);
        win::POINT o{0, 0};
        win::ClientToScreen(h, &o);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) window(*it, o.x, o.y, false);
        html_ << "</div></div>";
    }

    // The small icon of the window's class (its large one made small) left of the caption text,
    // where the window has a system menu and no dialog frame.
    static std::optional<win::IconImage> captionIcon(win::HWND h, win::DWORD style, win::DWORD ex) {
        if (!(style & win::WS_SYSMENU) || (ex & (win::WS_EX_DLGMODALFRAME | win::WS_EX_TOOLWINDOW))) return std::nullopt;
        if (auto small = win::iconImage(static_cast<win::HICON>(win::GetClassLong(h, win::GCL_HICONSM)))) return small;
        return win::iconImage(static_cast<win::HICON>(win::GetClassLong(h, win::GCL_HICON)));
    }

    // The cursor's shape at the pointer, its hot spot on the point.
    void cursor() {
        struct Shape {
            win::HCURSOR cursor;
            int hotX, hotY, w, h;
            const char* path;
        };
        const Shape shapes[] = {
            {win::LoadCursor(0, win::IDC_ARROW), 0, 0, 13, 21, "M0.5,0.5 V17 L4.5,13 L7.5,20 L10,19 L7,12 H12.5 Z"},
            {win::LoadCursor(0, win::IDC_HAND), 6, 0, 17, 22,
             "M5,2 Q5,0.5 6.5,0.5 Q8,0.5 8,2 V8.5 H10.5 V9.5 H12.5 V10.5 H14.5 Q16,10.5 16,12.5 V17 Q16,21 12,21.5 "
             "H7 Q4,21 2,16 L0.8,13 Q0.5,11.5 1.8,11.5 Q3,11.5 3.8,13 L5,15 Z"},
            {win::LoadCursor(0, win::IDC_WAIT), 7, 10, 15, 21,
             "M1,0.5 H14 V2 H12.5 Q12.5,7 8.5,10.5 Q12.5,14 12.5,19 H14 V20.5 H1 V19 H2.5 Q2.5,14 6.5,10.5 Q2.5,7 2.5,2 "
             "H1 Z M4.5,17.5 Q7.5,13 10.5,17.5 Z"},
        };
        const win::HCURSOR shown = win::GetCursor();
        win::POINT p;
        win::GetCursorPos(&p);
        for (const Shape& s : shapes) {
            if (s.cursor != shown) continue;
            html_ << "<svg class='cursor' width='" << s.w << "' height='" << s.h << "' style='left:" << p.x - s.hotX
                  << "px;top:" << p.y - s.hotY << "px'><path d='" << s.path
                  << "' fill='#fff' stroke='#000' stroke-width='1' stroke-linejoin='round'/></svg>";
        }
    }

    void control(win::HWND h, const std::string& cls, const std::string& text, win::DWORD style, int w, int hgt) {
        std::string upper = sys::upperAscii(cls);
        if (upper == "BUTTON") {
            const win::DWORD kind = style & 0x0F;
            const bool checked = win::SendMessage(h, win::BM_GETCHECK, 0, 0) == win::BST_CHECKED;
            if (kind == 2 || kind == 3 || kind == 5 || kind == 6)
                html_ << "<div class='label' style='" << box(0, 0, w, hgt) << "'>" << (checked ? "&#9745;" : "&#9744;") << " "
                      << esc(text) << "</div>";
            else if (kind == 4 || kind == 9)
                html_ << "<div class='label' style='" << box(0, 0, w, hgt) << "'>" << (checked ? "&#9673;" : "&#9675;") << " "
                      << esc(text) << "</div>";
            else if (kind == 7)
                html_ << "<div class='group' style='" << box(0, 6, w - 2, hgt - 8) << "'><span>" << esc(text) << "</span></div>";
            else
                html_ << "<div class='button' style='" << box(0, 0, w - 2, hgt - 2) << "'>" << esc(text) << "</div>";
        } else if (upper == "MSCTLS_HOTKEY32") {
            // As the system's control shows its combination: "Ctrl + Alt + M", or "无" for none.
            const auto value = win::SendMessage(h, win::HKM_GETHOTKEY, 0, 0);
            const int key = static_cast<int>(value & 0xFF), mods = static_cast<int>((value >> 8) & 0xFF);
            std::string shown;
            if (mods & win::HOTKEYF_CONTROL) shown += "Ctrl + ";
            if (mods & win::HOTKEYF_SHIFT) shown += "Shift + ";
            if (mods & win::HOTKEYF_ALT) shown += "Alt + ";
            if (key == 0) shown = "无";
            else if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) shown += static_cast<char>(key);
            else if (key >= 0x70 && key <= 0x87) shown += "F" + std::to_string(key - 0x6F);
            else shown += "#" + std::to_string(key);
            html_ << "<div class='edit' style='" << box(0, 0, w - 2, hgt - 2) << "'>" << esc(shown) << "</div>";
        } else if (upper == "SYSHEADER32") {
            html_ << "<div class='button' style='" << box(0, 0, w - 2, hgt - 2) << "'></div>";
        } else if (upper == "EDIT") {
            html_ << "<div class='edit' style='" << box(0, 0, w - 2, hgt - 2) << "'>" << esc(text) << "</div>";
        } else if (upper == "COMBOBOX") {
            const int fieldH = std::min(hgt, 22) - 2;
            html_ << "<div class='edit' style='" << box(0, 0, w - 2, fieldH) << "line-height:" << fieldH << "px'>" << esc(text)
                  << "<span class='drop'>&#9662;</span></div>";
        } else if (upper == "SYSTREEVIEW32") {
            html_ << "<div class='tree' style='" << box(0, 0, w - 2, hgt - 2) << "'>";
            for (const auto& item : win::treeItems(h)) {
                if (!item.visible) continue;
                html_ << "<div class='ti" << (item.selected ? " sel" : "") << "' style='position:static;margin-left:"
                      << 4 + item.depth * 16 << "px'>" << (item.expanded ? "&#8863; " : "") << esc(item.text) << "</div>";
            }
            html_ << "</div>";
        } else if (upper == "#32770") {
            // A dialog page: its caption is no text it shows.
        } else if (!text.empty()) {
            const win::StaticColors colors = win::staticColors(h);
            html_ << "<div class='label' style='" << box(0, 0, w, hgt) << "color:" << css(colors.text) << "'>" << esc(text)
                  << "</div>";
        }
    }

    static std::string css(win::COLORREF c) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "#%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        return buf;
    }

    // What the window painted of its own: fills, then texts in their fonts and colours.
    void painted(win::HWND h) {
        for (const auto& item : win::paintedItems(h)) {
            const auto& r = item.rect;
            if (item.kind == win::PaintedItem::Fill) {
                html_ << "<div style='" << box(r.left, r.top, r.right - r.left, r.bottom - r.top)
                      << "background:" << css(item.color) << "'></div>";
                continue;
            }
            const bool point = r.right == r.left && r.bottom == r.top;
            html_ << "<div class='painted' style='" << (point ? box(r.left, r.top, 2000, item.fontHeight + 4)
                                                            : box(r.left, r.top, r.right - r.left, r.bottom - r.top))
                  << "color:" << css(item.color) << ";font-size:" << item.fontHeight << "px;font-weight:" << item.fontWeight
                  << ";font-family:\"" << esc(item.font) << "\",'WenQuanYi Zen Hei',sans-serif;"
                  << ((item.format & win::DT_SINGLELINE) ? "white-space:nowrap;display:flex;" : "")
                  << ((item.format & win::DT_SINGLELINE) && (item.format & win::DT_VCENTER) ? "align-items:center;" : "")
                  << ((item.format & win::DT_CENTER) ? "justify-content:center;text-align:center;" : "")
                  << (item.opaque ? "background:" + css(item.background) + ";" : "") << "'>" << esc(item.text) << "</div>";
        }
    }

    void listView(win::HWND h, int w, int hgt) {
        const int rowH = 16, top = win::SendMessage(h, win::LVM_GETHEADER, 0, 0) ? 20 : 0;
        html_ << "<div style='" << box(0, 0, w, hgt) << "background:#fff'></div>";
        html_ << "<table class='list' style='left:0;top:" << top << "px;width:" << w << "px'>";
        for (const auto& row : listRows(h, std::max(1, (hgt - top) / rowH))) {
            html_ << "<tr>";
            for (const auto& cell : row) html_ << "<td>" << esc(cell) << "</td>";
            html_ << "</tr>";
        }
        html_ << "</table>";
    }

    void taskbar(int screenW, int screenH, const sys::Rect& work) {
        if (work.bottom >= screenH) return;
        html_ << "<div class='taskbar' style='" << box(0, work.bottom, screenW, screenH - work.bottom) << "'></div>";
    }

    void tray() {
        for (const auto& icon : win::trayIcons()) {
            html_ << "<div class='tray' style='" << box(icon.position.x, icon.position.y, 16, 16) << "' title='"
                  << esc(icon.tip) << "'></div>";
        }
        for (const auto& icon : win::trayIcons()) {
            if (!icon.balloonShown) continue;
            int w = 260, x = std::max(0, icon.position.x - w + 24), bottom = icon.position.y - 4;
            html_ << "<div class='balloon' style='left:" << x << "px;bottom:calc(100% - " << bottom << "px);width:" << w
                  << "px'>";
            if (!icon.balloonTitle.empty()) html_ << "<b>" << esc(icon.balloonTitle) << "</b><br>";
            html_ << "<span style='white-space:pre-line'>" << esc(icon.balloonText) << "</span></div>";
        }
    }

    void menu(const win::TrackedMenu& m) {
        html_ << "<table class='menu' style='left:" << m.x << "px;top:" << m.y << "px'>";
        for (const auto& item : m.items) {
            if (item.flags & win::MF_SEPARATOR) {
                html_ << "<tr><td colspan=3><hr></td></tr>";
                continue;
            }
            std::string shortcut;
            std::string text = menuText(item.text, &shortcut);
            html_ << "<tr" << ((item.flags & (win::MF_GRAYED | win::MF_DISABLED)) ? " class='grey'" : "") << "><td>"
                  << ((item.flags & win::MF_CHECKED) ? "&#10003;" : "") << "</td><td>" << text << "</td><td>"
                  << esc(shortcut) << (item.submenu.empty() ? "" : " &#9656;") << "</td></tr>";
        }
        html_ << "</table>";
    }

    std::string html(int w, int h) const {
        std::ostringstream o;
        o << "<!DOCTYPE html><html><head><meta charset='utf-8'><style>"
             "body{margin:0;width:" << w << "px;height:" << h << "px;overflow:hidden;position:relative;"
             "background:#3A6EA5;font:12px 'WenQuanYi Zen Hei',Tahoma,sans-serif}"
             "div,img,table,svg{position:absolute;box-sizing:content-box}"
             ".w{overflow:hidden}.client{overflow:hidden}"
             ".frame{border:1px solid #0A246A;background:transparent}"
             ".cap{background:linear-gradient(90deg,#0A246A,#A6CAF0);color:#fff;font-weight:bold;"
             "padding-left:4px;box-sizing:border-box;white-space:nowrap;overflow:hidden}"
             ".button{border:1px outset #fff;background:#ECE9D8;text-align:center;display:flex;"
             "align-items:center;justify-content:center}"
             ".edit{border:1px inset #999;background:#fff;padding-left:2px;white-space:nowrap;overflow:hidden}"
             ".label{white-space:nowrap;overflow:hidden}"
             ".group{border:1px solid #A0A0A0;border-radius:3px}.group span{position:relative;top:-8px;left:6px;"
             "background:#ECE9D8;padding:0 2px}"
             ".drop{position:absolute;right:0;top:0;width:16px;text-align:center;background:#ECE9D8;"
             "border-left:1px solid #999}"
             ".tree{border:1px inset #999;background:#fff;overflow:hidden;padding-top:2px}"
             ".ti{white-space:nowrap;line-height:18px}.ti.sel{background:#316AC5;color:#fff;display:table}"
             ".painted{overflow:hidden}"
             ".taskbar{background:linear-gradient(#245EDC,#3F8CF3);}"
             ".tray{background:#FFD700;border:1px solid #555}"
             ".balloon{background:#FFFFE1;border:1px solid #000;border-radius:6px;padding:6px;box-sizing:border-box}"
             ".list{background:#fff;border-collapse:collapse;table-layout:auto}"
             ".list td{padding:0 6px;height:15px;white-space:nowrap;border-bottom:1px solid #eee}"
             ".menu{background:#fff;border:1px solid #808080;border-collapse:collapse;box-shadow:2px 2px 2px #888}"
             ".menu td{padding:2px 8px;white-space:nowrap}.menu .grey{color:#999}.menu hr{margin:2px 0}"
             "</style></head><body>"
          << html_.str() << "</body></html>";
        return o.str();
    }

private:
    BrowserHost& host_;
    std::ostringstream html_;
};

} // namespace

std::string screenSnapshotPng(const SnapshotOptions& options) {
    auto& machine = sys::Machine::current();
    auto& host = BrowserHost::of(machine);
    const int w = machine.screenWidth(), h = machine.screenHeight();
    Composer c(host);
    c.taskbar(w, h, machine.workArea());
    std::vector<win::HWND> top;
    // The shell's bar is drawn above, under the windows.
    const win::HWND bar = win::FindWindow("Shell_TrayWnd", nullptr);
    win::EnumWindows([&](win::HWND hwnd, win::LPARAM) {
        if (hwnd != bar) top.push_back(hwnd);
        return win::TRUE;
    }, 0);
    for (auto it = top.rbegin(); it != top.rend(); ++it) c.window(*it, 0, 0, true);
    c.tray();
    for (const auto& m : options.openMenus) c.menu(m);
    c.cursor();

    // Drawn by a page of its own the size of the screen.
    auto page = host.openPage(w, h);
    struct Closer {
        BrowserHost& host;
        std::shared_ptr<Page> page;
        ~Closer() { host.closePage(*page); }
    } closer{host, page};
    page->call("Page.setDocumentContent", {{"frameId", page->targetId}, {"html", c.html(w, h)}});
    page->call("Runtime.evaluate",
               {{"expression", "Promise.all(Array.from(document.images, i => i.decode().catch(() => 0)))"},
                {"awaitPromise", true}});
    json shot = page->call("Page.captureScreenshot", {{"format", "png"}});
    return unbase64(shot.value("data", ""));
}

bool writeScreenSnapshot(const std::string& hostPath, const SnapshotOptions& options) {
    std::string png;
    try {
        png = screenSnapshotPng(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "pennant: no screen snapshot: %s\n", e.what());
        return false;
    }
    if (png.empty()) return false;
    std::ofstream f(hostPath, std::ios::binary | std::ios::trunc);
    f.write(png.data(), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(f);
}

std::optional<SnapshotSwitch> takeSnapshotSwitch(std::vector<std::string>& args) {
    std::optional<SnapshotSwitch> result;
    std::optional<uint64_t> after;
    for (auto it = args.begin(); it != args.end();) {
        const std::string& a = *it;
        if (a.rfind("--snapshot=", 0) == 0 && a.size() > 11) {
            if (!result) result = SnapshotSwitch{};
            result->path = a.substr(11);
        } else if (a.rfind("--snapshot-after=", 0) == 0) {
            try {
                size_t used = 0;
                long long v = std::stoll(a.substr(17), &used);
                if (used == a.size() - 17 && v >= 0 && v <= 24LL * 3600 * 1000) after = static_cast<uint64_t>(v);
                else std::fprintf(stderr, "pennant: ignoring %s\n", a.c_str());
            } catch (const std::exception&) {
                std::fprintf(stderr, "pennant: ignoring %s\n", a.c_str());
            }
        } else {
            ++it;
            continue;
        }
        it = args.erase(it);
    }
    if (result && after) result->afterMs = *after;
    return result;
}

void scheduleSnapshot(sys::Machine& machine, const SnapshotSwitch& request, std::function<void(bool)> done) {
    const uint64_t due = machine.clock().tickMs() + request.afterMs;
    auto id = std::make_shared<int>(0);
    sys::Machine* m = &machine;
    *id = machine.addPump({[m, id, due, request, done] {
                               if (m->clock().tickMs() < due || *id == 0) return;
                               const int mine = *id;
                               *id = 0;
                               m->removePump(mine);
                               bool ok = writeScreenSnapshot(request.path);
                               if (done) done(ok);
                           },
                           [due] { return std::optional<uint64_t>(due); }});
}

} // namespace web
