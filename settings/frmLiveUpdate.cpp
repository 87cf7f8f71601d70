#include "frmLiveUpdate.h"

#include "core/Program.h"
#include "core/frmMain.h"
#include "platform/desktop/Screen.h"
#include "platform/desktop/Timer.h"
#include "platform/forms/Interaction.h"
#include "platform/system/Machine.h"
#include "settings/frmAbout.h"
#include "toolkit/m_Main.h"

#include <pugixml.hpp>

#include <cctype>

namespace {

constexpr uint32_t kPageWaitMs = 20000;
const char* const kTitle = "在线升级";

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

frmLiveUpdate::frmLiveUpdate() : LiveUpdateWindow("frmLiveUpdate") {
    design.caption = "在线更新";
    design.borderStyle = forms::vbFixedDialog;
    design.minButton = design.maxButton = false;
    design.width = 406 * win::TwipsPerPixelX;
    design.height = 150 * win::TwipsPerPixelY;
}

frmLiveUpdate::~frmLiveUpdate() = default;

std::string frmLiveUpdate::RunningVersion() {
    return std::to_string(AppVersion::Major) + "." + std::to_string(AppVersion::Minor) + "." +
           std::to_string(AppVersion::Revision);
}

std::optional<std::vector<long>> frmLiveUpdate::VersionNumbers(const std::string& text) {
    std::vector<long> parts;
    size_t pos = 0;
    while (true) {
        const size_t dot = text.find('.', pos);
        const std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (part.empty() || part.size() > 9) return std::nullopt;
        for (char c : part)
            if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
        parts.push_back(std::stol(part));
        if (dot == std::string::npos) break;
        pos = dot + 1;
    }
    return parts;
}

bool frmLiveUpdate::IsNewer(const std::string& offered, const std::string& running) {
    auto a = VersionNumbers(offered), b = VersionNumbers(running);
    if (!a || !b) return false;
    const size_t n = std::max(a->size(), b->size());
    a->resize(n, 0);
    b->resize(n, 0);
    return *a > *b;
}

void frmLiveUpdate::Form_Load() {
    url_.clear();
    version_.clear();
    tip_ = checkDone_ = false;
    m_Main::LiveUpdateOpen = true;
    download_ = std::make_unique<ctlDownload>();
    download_->DownloadComplete = [weak = weak_from_this()](std::string data, bool success, const std::string&) {
        // Handled after the opener has said who asked, even when the start failed at once.
        sys::Machine::current().post([weak, data = std::move(data), success] {
            if (auto self = weak.lock(); self && self->IsLoaded()) self->versionFileComplete(data, success);
        });
    };
    // Only a site the machine leads to itself is asked; nothing leaves the machine.
    if (sys::Machine::current().setting(std::string("net.host.") + kUpdateHost).empty()) {
        download_->DownloadComplete("", false, "qrb");
        return;
    }
    download_->BeginDownload(kVersionFileUrl, "qrb");
}

void frmLiveUpdate::Tip(bool asked) {
    tip_ = asked;
    // A check that already ended with the offer on screen answers this request at once.
    if (asked && checkDone_) {
        tellAbout();
        if (Visible()) m_Main::SetTopMost(hWnd());
    }
}

void frmLiveUpdate::tellAbout() {
    if (!tip_) return;
    if (frmAbout* about = frmAbout::Ready()) about->ChkLiveUpdateOk();
}

void frmLiveUpdate::endCheck(const std::string& failure) {
    auto self = shared_from_this();
    checkDone_ = true;
    tellAbout();
    if (tip_ && m_Main::MainForm) {
        if (failure.empty()) m_Main::MainForm->ShowBalloonTip("您正在使用的 Pennant 已经是最新版本！", kTitle, 1, "");
        else m_Main::MainForm->ShowBalloonTip(failure, kTitle, 2, "");
    }
    Unload();
}

void frmLiveUpdate::versionFileComplete(const std::string& data, bool success) {
    if (checkDone_) return;
    if (!success) return endCheck("无法获取更新信息, 请稍后再试!");
    pugi::xml_document doc;
    if (!doc.load_buffer(data.data(), data.size())) return endCheck("更新信息无法读取, 请稍后再试!");
    pugi::xml_node root = doc.document_element();
    pugi::xml_node url = root.child("URL"), version = root.child("Version");
    if (!url || !version) return endCheck("更新信息无法读取, 请稍后再试!");
    url_ = url.text().get();
    version_ = version.text().get();
    if (!VersionNumbers(version_)) return endCheck("更新信息无法读取, 请稍后再试!");
    if (!IsNewer(version_, RunningVersion())) return endCheck("");

    auto self = shared_from_this();
    {
        forms::Screen.setMousePointer(forms::vbHourglass);
        LoadHTM();
        const uint32_t start = win::GetTickCount();
        while (IsLoaded() && Busy() && win::GetTickCount() - start < kPageWaitMs) forms::DoEvents();
        forms::Screen.setMousePointer(forms::vbDefault);
    }
    if (!IsLoaded()) return;
    checkDone_ = true;
    tellAbout();
    // An offer page that never became ready is not shown half made, and nobody is left waiting.
    if (Busy()) return endCheck("更新页面无法显示, 请稍后再试!");
    Show(forms::vbModeless, m_Main::MainForm.get());
    m_Main::PlaySysSound("SystemAsterisk");
}

void frmLiveUpdate::LoadHTM() { loadPage(hWnd(), m_Main::PageBase + "LiveUpdate.htm"); }

void frmLiveUpdate::pageComplete() {
    bindEvent("iOk", "onclick", "ClickOK");
    bindEvent("iCancel", "onclick", "ClickCancel");
    if (auto e = Document.all("iVER")) e.innerText(version_);
    if (auto box = Document.all("iBox")) {
        setHeight(Height() - ScaleHeight() + box.offsetHeight() * win::TwipsPerPixelY);
        setWidth(Width() - ScaleWidth() + box.offsetWidth() * win::TwipsPerPixelX);
    }
    WebBrowser1->Move(0, 0, ScaleWidth() / win::TwipsPerPixelX, ScaleHeight() / win::TwipsPerPixelY);
    const long screenW = win::GetSystemMetrics(win::SM_CXSCREEN) * win::TwipsPerPixelX;
    const long screenH = win::GetSystemMetrics(win::SM_CYSCREEN) * win::TwipsPerPixelY;
    Move((screenW - Width()) / 2, (screenH - Height()) / 2);
}

bool frmLiveUpdate::Busy() { return PageWindow::Busy(); }

void frmLiveUpdate::Form_Activate() { m_Main::SetTopMost(hWnd()); }

void frmLiveUpdate::ClickOK() {
    const std::string scheme = lower(url_.substr(0, 8));
    // The address comes from outside: only a web address is handed to the shell.
    if (scheme.rfind("http://", 0) == 0 || scheme.rfind("https://", 0) == 0) m_Main::OpenLink(url_);
    if (auto e = Document.all("iCancel")) e.innerText("关闭");
}

void frmLiveUpdate::ClickCancel() { Unload(); }

void frmLiveUpdate::Form_Unload(int&) {
    download_.reset();
    m_Main::LiveUpdateOpen = false;
    unloadPage();
}

const forms::MemberTable& frmLiveUpdate::memberTable() const {
    static const auto table = forms::Members<frmLiveUpdate>()
                                  .method("LoadHTM", [](frmLiveUpdate& w) { w.LoadHTM(); })
                                  .method("ClickCancel", [](frmLiveUpdate& w) { w.ClickCancel(); })
                                  .method("ClickOK", [](frmLiveUpdate& w) { w.ClickOK(); })
                                  .get("Busy", [](frmLiveUpdate& w) { return forms::Variant(w.Busy()); })
                                  .get("Tip", [](frmLiveUpdate& w) { return forms::Variant(w.Tip()); })
                                  .let("Tip", [](frmLiveUpdate& w, const forms::Variant& v) { w.Tip(v.toBool()); });
    return table;
}
