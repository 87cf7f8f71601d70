#pragma once
// A device-independent bitmap section kept selected in its own memory device context, so it can
// be drawn into with ordinary drawing calls and its pixels read and written through a pointer.
// Rows are stored bottom-up; a 24-bit pixel is blue, green, red, a 32-bit one adds alpha.
#include "platform/gdi/Gdi.h"
#include "platform/gdi/Picture.h"

#include <cstdint>
#include <memory>
#include <string>

class cDIBSection {
public:
    cDIBSection();
    ~cDIBSection();
    cDIBSection(const cDIBSection&) = delete;
    cDIBSection& operator=(const cDIBSection&) = delete;

    // Fills the header and makes a section for the context; the handle goes to hDib. True when
    // one was made.
    bool CreateDIB(win::HDC lHDC, int32_t lWidth, int32_t lHeight, int32_t lBits, win::HBITMAP& hDib);
    // Hands the section to the caller, who then owns it; the object is empty afterwards.
    win::HBITMAP ExtractDib();
    // Copies from the context into this bitmap at (0, 0); a negative size means this bitmap's.
    void LoadPictureBlt(win::HDC lHDC, int32_t lSrcLeft = 0, int32_t lSrcTop = 0, int32_t lSrcWidth = -1,
                        int32_t lSrcHeight = -1, win::DWORD eRop = win::SRCCOPY);
    bool Create(int32_t lWidth, int32_t lHeight, int32_t lBits);
    // A BMP file, held as 24 bits per pixel.
    bool Load(const std::string& sFileName);

    int32_t BytesPerScanLine() const;
    int32_t width() const { return m_bmi.bmiHeader.biWidth; }
    int32_t Height() const { return m_bmi.bmiHeader.biHeight; }
    int32_t ColorBit() const { return m_bmi.bmiHeader.biBitCount; }
    win::HDC hdc() const { return m_hDC; }
    win::HBITMAP hDib() const { return m_hDIb; }
    int32_t DataSize() const { return static_cast<int32_t>(m_bmi.bmiHeader.biSizeImage); }
    uint8_t* DIBSectionBitsPtr() const { return m_lPtr; }
    const win::BITMAPINFO& Header() const { return m_bmi; }

    void CleanUp();
    // A copy of the picture's bitmap at the given depth; empty when the picture has none.
    void CreateFromPicture(const forms::StdPicture& pic, int32_t lBits);
    // A 24-bit copy scaled to the new size; nothing when it cannot be made.
    std::shared_ptr<cDIBSection> Resample(int32_t lNewHeight, int32_t lNewWidth);
    void PaintPicture(win::HDC lHDC, int32_t lDestLeft = 0, int32_t lDestTop = 0, int32_t lDestWidth = -1,
                      int32_t lDestHeight = -1, int32_t lSrcLeft = 0, int32_t lSrcTop = 0,
                      win::DWORD eRop = win::SRCCOPY);
    // Some alpha byte of a 32-bit bitmap is below 255.
    bool isAlpha() const;

private:
    // Lets go of the device context; the bitmap too unless it is handed out.
    void release(bool deleteDib);
    // Bilinear scaling of this 24-bit bitmap into another one.
    void ResampleDib(cDIBSection& cDibTo) const;
    void ResetHeader();

    win::HBITMAP m_hDIb = 0;
    win::HGDIOBJ m_hBmpOld = 0;
    win::HDC m_hDC = 0;
    uint8_t* m_lPtr = nullptr;
    win::BITMAPINFO m_bmi{};
};
