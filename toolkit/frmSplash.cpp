#include "frmSplash.h"
#include "clsImage.h"
#include "m_Main.h"

#include "platform/gdi/Gdi.h"
#include "platform/system/Machine.h"

frmSplash::frmSplash() : forms::Form("frmSplash") {
    design.borderStyle = forms::vbBSNone;
    design.showInTaskbar = false;
}

frmSplash::~frmSplash() { stopFade(); }

std::shared_ptr<frmSplash>& frmSplash::Instance() {
    static std::shared_ptr<frmSplash> splash;
    return splash;
}

void frmSplash::ShowSplash() {
    auto& splash = Instance();
    if (!splash) splash = std::make_shared<frmSplash>();
    splash->Show();
}

void frmSplash::Form_Load() {
    constexpr int tpp = sys::Machine::twipsPerPixel;
    std::string folder = m_Main::AppDir;
    // AppDir ends with its separator; a second one would make a path other programs refuse.
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    {
        clsImage image;
        image.ImageFile(folder + "\\Splash.png");
        image.RSizeType(0);
        image.ColourDepth(32);
        image.LoadPicture();

        setWidth(image.width() * tpp);
        setHeight(image.Height() * tpp);
        const win::HWND h = hWnd();
        win::SetWindowLong(h, win::GWL_EXSTYLE,
                           static_cast<win::LONG>(static_cast<win::DWORD>(win::GetWindowLong(h, win::GWL_EXSTYLE)) |
                                                  win::WS_EX_LAYERED));
        const win::SIZE size{static_cast<win::LONG>(ScaleWidth() / tpp), static_cast<win::LONG>(ScaleHeight() / tpp)};
        const win::POINT source{0, 0};
        const win::BLENDFUNCTION blend{win::AC_SRC_OVER, 0, 255, win::AC_SRC_ALPHA};
        const win::HDC own = win::GetDC(h);
        // A missing or unreadable picture leaves a window of no size and no face.
        win::UpdateLayeredWindow(h, own, nullptr, &size, image.hdc(), &source, 0, &blend, win::ULW_ALPHA);
        win::ReleaseDC(h, own);
    }
    // Centred on the screen, where it is first shown.
    auto& m = sys::Machine::current();
    Move((m.screenWidth() * tpp - Width()) / 2, (m.screenHeight() * tpp - Height()) / 2);
    m_Main::SetTopMost(hWnd());
}

void frmSplash::CloseSplash() {
    stopFade();
    m_tmr = CTimer::create();
    m_tmr->ThatTime = [this] { m_tmr_ThatTime(); };
    m_tmr->Interval(kFadeIntervalMs);
    m_opacity = 255;
}

void frmSplash::m_tmr_ThatTime() {
    // Unloaded some other way: touching the window now would load it again.
    if (!IsLoaded()) {
        stopFade();
        return;
    }
    if (m_opacity < kFadeStep) {
        stopFade();
        const auto keep = Instance();  // this object outlives its own unloading
        Unload();
        if (Instance().get() == this) Instance().reset();
        return;
    }
    m_opacity = static_cast<uint8_t>(m_opacity - kFadeStep);
    const win::BLENDFUNCTION blend{win::AC_SRC_OVER, 0, m_opacity, win::AC_SRC_ALPHA};
    win::UpdateLayeredWindow(hWnd(), 0, nullptr, nullptr, 0, nullptr, 0, &blend, win::ULW_ALPHA);
}

void frmSplash::Form_Unload(int& Cancel) {
    (void)Cancel;
    stopFade();
}

void frmSplash::stopFade() {
    if (!m_tmr) return;
    auto timer = std::move(m_tmr);
    timer->Interval(0);
    timer->ThatTime = nullptr;
}
