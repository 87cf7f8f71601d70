#include "frmAbout.h"

#include "core/Program.h"
#include "core/frmMain.h"
#include "platform/desktop/Screen.h"
#include "toolkit/cRegistry.h"
#include "toolkit/m_Main.h"

#include <cctype>

bool frmAbout::AboutReady = false;

namespace {
frmAbout* g_ready = nullptr;
}

frmAbout::frmAbout() : PageDialog("frmAbout") {
    design.caption = "关于";
    design.borderStyle = forms::vbFixedDialog;
    design.minButton = design.maxButton = false;
    design.showInTaskbar = false;
    design.width = 431 * win::TwipsPerPixelX;
    design.height = 330 * win::TwipsPerPixelY;
}

frmAbout::~frmAbout() {
    if (g_ready == this) {
        g_ready = nullptr;
        AboutReady = false;
    }
}

frmAbout* frmAbout::Ready() { return AboutReady ? g_ready : nullptr; }

void frmAbout::Form_Load() { loadPage(hWnd(), m_Main::PageBase + "about.htm"); }

void frmAbout::Form_Unload(int&) {
    AboutReady = false;
    if (g_ready == this) g_ready = nullptr;
    unloadPage();
}

bool frmAbout::Busy() { return PageWindow::Busy(); }

void frmAbout::pageComplete() {
    bindEvent("iClose", "onclick", "CloseFRM");
    bindEvent("iUpdate", "onclick", "LiveUpdate");

    cRegistry reg;
    reg.ClassKey(win::HKEY_LOCAL_MACHINE);
    reg.SectionKey("Software\\Microsoft\\Internet Explorer\\");
    reg.ValueKey("Version");
    reg.ValueType(win::REG_SZ);
    const cRegistry::Variant v = reg.Value();
    const std::string version = std::holds_alternative<std::string>(v) ? std::get<std::string>(v) : "";
    const int first = !version.empty() && std::isdigit(static_cast<unsigned char>(version[0])) ? version[0] - '0' : 0;
    if (first < 7) {
        const std::string& tmp = m_Main::TempDir;
        m_Main::SaveResToFile(m_Main::ExePath, "INFO.png", "2110", tmp + "Info.mpi");
        m_Main::SaveResToFile(m_Main::ExePath, "SSS.PNG", "2110", tmp + "Author.MPI");
        m_Main::SaveResToFile(m_Main::ExePath, "globe.PNG", "2110", tmp + "globe.MPI");
        m_Main::OldBrowser = true;
    }
    if (m_Main::OldBrowser) {
        const std::string folder = "file://" + m_Main::TempDir;
        if (auto e = Document.all("VerPng"))
            e.outerHTML("<img id='VerPng' src='" + folder + "Info.MPI" +
                        "' onload='fixPNG(this)'  style='width:24px;  height:24px;'/>");
        if (auto e = Document.all("AuthorPng"))
            e.outerHTML("<img id='AuthorPng' src='" + folder + "Author.MPI" +
                        "' onload='fixPNG(this)'  style='width:24px;  height:24px ;'/>");
        if (auto e = Document.all("WebPng"))
            e.outerHTML("<img id='WebPng' src='" + folder + "globe.MPI" +
                        "' onload='fixPNG(this)' style='width:24px;  height:24px ;'/>");
    }
    if (auto e = Document.all("iVer"))
        e.innerText(std::to_string(AppVersion::Major) + "." + std::to_string(AppVersion::Minor) + " Build " +
                    std::to_string(AppVersion::Revision));

    auto pagePos = [](web::HTMLElement e, int& left, int& top) {
        left = top = 0;
        for (int depth = 0; e && depth < 256; ++depth) {
            std::string tag = e.tagName();
            for (char& c : tag) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (tag == "BODY") break;
            left += e.offsetLeft();
            top += e.offsetTop();
            e = e.offsetParent();
        }
    };
    int left = 0, top = 0;
    if (auto pos = Document.all("iUpdatePOS"); pos) {
        pagePos(pos, left, top);
        if (auto button = Document.all("iUpdate")) {
            button.style().set("left", std::to_string(left) + "px");
            button.style().set("top", std::to_string(top - 1) + "px");
        }
    }
    if (auto bar = Document.all("ButtonLayout")) {
        pagePos(bar, left, top);
        setHeight(Height() - ScaleHeight() + (top + bar.offsetHeight()) * win::TwipsPerPixelY);
        setWidth(Width() - ScaleWidth() + bar.offsetWidth() * win::TwipsPerPixelX);
    }
    WebBrowser1->Move(0, 0, ScaleWidth() / win::TwipsPerPixelX, ScaleHeight() / win::TwipsPerPixelY);
    g_ready = this;
    AboutReady = true;
}

void frmAbout::CloseFRM() { Unload(); }

void frmAbout::LiveUpdate() {
    if (auto e = Document.all("iUpdate")) e.setAttribute("src", "RelatePost.gif");
    if (m_Main::MainForm) m_Main::MainForm->ChkLiveUpdate(true);
}

void frmAbout::ChkLiveUpdateOk() {
    if (auto e = Document.all("iUpdate")) e.setAttribute("src", "upp.gif");
}

const forms::MemberTable& frmAbout::memberTable() const {
    static const auto table = forms::Members<frmAbout>()
                                  .method("CloseFRM", [](frmAbout& w) { w.CloseFRM(); })
                                  .method("LiveUpdate", [](frmAbout& w) { w.LiveUpdate(); })
                                  .method("ChkLiveUpdateOk", [](frmAbout& w) { w.ChkLiveUpdateOk(); })
                                  .get("Busy", [](frmAbout& w) { return forms::Variant(w.Busy()); });
    return table;
}
