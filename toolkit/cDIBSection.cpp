#include "cDIBSection.h"

#include "platform/forms/Interaction.h"

#include <cmath>

cDIBSection::cDIBSection() { ResetHeader(); }

cDIBSection::~cDIBSection() { CleanUp(); }

void cDIBSection::ResetHeader() {
    m_bmi = win::BITMAPINFO{};
    m_bmi.bmiHeader.biSize = sizeof(win::BITMAPINFOHEADER);
}

bool cDIBSection::CreateDIB(win::HDC lHDC, int32_t lWidth, int32_t lHeight, int32_t lBits, win::HBITMAP& hDib) {
    auto& h = m_bmi.bmiHeader;
    h.biSize = sizeof(win::BITMAPINFOHEADER);
    h.biWidth = lWidth;
    h.biHeight = lHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<win::WORD>(lBits);
    h.biCompression = win::BI_RGB;
    h.biSizeImage = static_cast<win::DWORD>(static_cast<int64_t>(BytesPerScanLine()) * lHeight);
    void* bits = nullptr;
    hDib = win::CreateDIBSection(lHDC, &m_bmi, win::DIB_RGB_COLORS, &bits, 0, 0);
    m_lPtr = hDib ? static_cast<uint8_t*>(bits) : nullptr;
    return hDib != 0;
}

win::HBITMAP cDIBSection::ExtractDib() {
    const win::HBITMAP dib = m_hDIb;
    release(false);
    return dib;
}

void cDIBSection::LoadPictureBlt(win::HDC lHDC, int32_t lSrcLeft, int32_t lSrcTop, int32_t lSrcWidth,
                                 int32_t lSrcHeight, win::DWORD eRop) {
    if (lSrcWidth < 0) lSrcWidth = width();
    if (lSrcHeight < 0) lSrcHeight = Height();
    win::BitBlt(m_hDC, 0, 0, lSrcWidth, lSrcHeight, lHDC, lSrcLeft, lSrcTop, eRop);
}

bool cDIBSection::Create(int32_t lWidth, int32_t lHeight, int32_t lBits) {
    CleanUp();
    const win::HDC screen = win::GetDC(0);
    m_hDC = win::CreateCompatibleDC(screen);
    win::ReleaseDC(0, screen);
    if (!m_hDC) return false;
    if (CreateDIB(m_hDC, lWidth, lHeight, lBits, m_hDIb)) {
        m_hBmpOld = win::SelectObject(m_hDC, m_hDIb);
        return true;
    }
    win::DeleteDC(m_hDC);
    m_hDC = 0;
    return false;
}

bool cDIBSection::Load(const std::string& sFileName) {
    CleanUp();
    const win::HDC screen = win::GetDC(0);
    m_hDC = win::CreateCompatibleDC(screen);
    win::ReleaseDC(0, screen);
    if (!m_hDC) return false;

    const win::HBITMAP loaded = win::LoadImage(0, sFileName, win::IMAGE_BITMAP, 0, 0,
                                               win::LR_LOADFROMFILE | win::LR_CREATEDIBSECTION);
    if (!loaded) {
        win::DeleteDC(m_hDC);
        m_hDC = 0;
        forms::MsgBox("Can't load BMP image", forms::vbOKOnly);
        return false;
    }
    auto& h = m_bmi.bmiHeader;
    h.biSize = sizeof(win::BITMAPINFOHEADER);
    win::GetDIBits(m_hDC, loaded, 0, 0, nullptr, &m_bmi, win::DIB_RGB_COLORS);
    h.biBitCount = 24;
    h.biCompression = win::BI_RGB;
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    // The file's own image size is wrong for the 24-bit copy of a file of another depth.
    h.biSizeImage = static_cast<win::DWORD>(static_cast<int64_t>(BytesPerScanLine()) * h.biHeight);
    void* bits = nullptr;
    m_hDIb = win::CreateDIBSection(m_hDC, &m_bmi, win::DIB_RGB_COLORS, &bits, 0, 0);
    if (!m_hDIb) {
        win::DeleteObject(loaded);
        win::DeleteDC(m_hDC);
        m_hDC = 0;
        ResetHeader();
        return false;
    }
    m_lPtr = static_cast<uint8_t*>(bits);
    m_hBmpOld = win::SelectObject(m_hDC, m_hDIb);
    h.biSize = sizeof(win::BITMAPINFOHEADER);
    win::GetDIBits(m_hDC, loaded, 0, static_cast<win::UINT>(h.biHeight), m_lPtr, &m_bmi, win::DIB_RGB_COLORS);
    win::DeleteObject(loaded);
    return true;
}

int32_t cDIBSection::BytesPerScanLine() const {
    const double bytes = (ColorBit() / 8.0) * width() + 3;
    return static_cast<int32_t>(static_cast<int64_t>(bytes) & ~int64_t{3});
}

void cDIBSection::CleanUp() { release(true); }

void cDIBSection::release(bool deleteDib) {
    if (m_hDC) {
        if (m_hDIb && m_hBmpOld) win::SelectObject(m_hDC, m_hBmpOld);
        if (m_hDIb && deleteDib) win::DeleteObject(m_hDIb);
        win::DeleteDC(m_hDC);
    }
    m_hDC = 0;
    m_hDIb = 0;
    m_hBmpOld = 0;
    m_lPtr = nullptr;
    ResetHeader();
}

void cDIBSection::CreateFromPicture(const forms::StdPicture& pic, int32_t lBits) {
    win::BITMAP bm;
    if (!pic.Handle || win::GetObject(pic.Handle, sizeof bm, &bm) == 0) {
        CleanUp();
        return;
    }
    if (!Create(bm.bmWidth, bm.bmHeight, lBits)) return;
    const win::HDC screen = win::GetDC(0);
    const win::HDC tmp = win::CreateCompatibleDC(screen);
    win::ReleaseDC(0, screen);
    if (!tmp) return;
    const win::HGDIOBJ old = win::SelectObject(tmp, pic.Handle);
    LoadPictureBlt(tmp, 0, 0, -1, -1, win::SRCCOPY);
    win::SelectObject(tmp, old);
    win::DeleteDC(tmp);
}

std::shared_ptr<cDIBSection> cDIBSection::Resample(int32_t lNewHeight, int32_t lNewWidth) {
    auto to = std::make_shared<cDIBSection>();
    if (!to->Create(lNewWidth, lNewHeight, 24)) return nullptr;
    if (lNewWidth != width() || lNewHeight != Height()) {
        win::SetStretchBltMode(to->hdc(), win::HALFTONE);
        win::StretchBlt(to->hdc(), 0, 0, lNewWidth, lNewHeight, m_hDC, 0, 0, width(), Height(), win::SRCCOPY);
    } else {
        to->LoadPictureBlt(m_hDC, 0, 0, -1, -1, win::SRCCOPY);
    }
    return to;
}

void cDIBSection::PaintPicture(win::HDC lHDC, int32_t lDestLeft, int32_t lDestTop, int32_t lDestWidth,
                               int32_t lDestHeight, int32_t lSrcLeft, int32_t lSrcTop, win::DWORD eRop) {
    if (lDestWidth < 0) lDestWidth = width();
    if (lDestHeight < 0) lDestHeight = Height();
    win::BitBlt(lHDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, m_hDC, lSrcLeft, lSrcTop, eRop);
}

bool cDIBSection::isAlpha() const {
    if (!m_lPtr) return false;
    const int32_t stride = BytesPerScanLine();
    for (int32_t x = 0; x + 4 <= stride; x += 4)
        for (int32_t y = 0; y < Height(); ++y)
            if (m_lPtr[static_cast<size_t>(y) * stride + x + 3] < 255) return true;
    return false;
}

void cDIBSection::ResampleDib(cDIBSection& cDibTo) const {
    if (!m_lPtr || !cDibTo.m_lPtr || ColorBit() != 24 || cDibTo.ColorBit() != 24) return;
    const int32_t toW = cDibTo.width(), toH = cDibTo.Height();
    if (toW <= 0 || toH <= 0) return;
    const int32_t fromStride = BytesPerScanLine(), toStride = cDibTo.BytesPerScanLine();
    const float sx = static_cast<float>(width() - 1) / toW, sy = static_cast<float>(Height() - 1) / toH;
    for (int32_t y = 0; y < toH; ++y) {
        const float fy = sy * y;
        const int32_t iy = static_cast<int32_t>(std::floor(fy));
        const float dy = fy - iy;
        const uint8_t* top = m_lPtr + static_cast<size_t>(iy) * fromStride;
        const uint8_t* bottom = top + (iy + 1 < Height() ? fromStride : 0);
        uint8_t* out = cDibTo.m_lPtr + static_cast<size_t>(y) * toStride;
        for (int32_t x = 0; x < toW; ++x) {
            const float fx = sx * x;
            const int32_t ix = static_cast<int32_t>(std::floor(fx));
            const float dx = fx - ix;
            const int32_t right = ix + 1 < width() ? ix + 1 : ix;
            for (int c = 0; c < 3; ++c) {
                const float l = std::nearbyint((1 - dy) * top[ix * 3 + c] + dy * bottom[ix * 3 + c]);
                const float r = std::nearbyint((1 - dy) * top[right * 3 + c] + dy * bottom[right * 3 + c]);
                const float v = std::nearbyint((1 - dx) * l + dx * r);
                out[x * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
}
