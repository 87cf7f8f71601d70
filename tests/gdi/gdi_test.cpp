#include "platform/gdi/Gdi.h"
#include "platform/gdi/ImageCodec.h"
#include "tests/support/TestMachine.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace win;

namespace {

// A BMP file: bits 24 or 8 (8 uses a grey palette), rows bottom-up, each pixel from fn(x, y).
std::string bmpFile(int w, int h, int bits, uint8_t (*fn)(int, int)) {
    const int stride = ((w * bits + 31) / 32) * 4;
    const int palette = bits == 8 ? 256 * 4 : 0;
    std::string f(54 + palette + stride * h, '\0');
    auto put32 = [&](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i)); };
    f[0] = 'B', f[1] = 'M';
    put32(2, static_cast<uint32_t>(f.size()));
    put32(10, 54 + palette);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    f[26] = 1;
    f[28] = static_cast<char>(bits);
    for (int i = 0; i < palette / 4; ++i) f[54 + i * 4] = f[55 + i * 4] = f[56 + i * 4] = static_cast<char>(i);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char* p = &f[54 + palette + (h - 1 - y) * stride + x * (bits / 8)];
            const uint8_t v = fn(x, y);
            for (int c = 0; c < bits / 8; ++c) p[c] = static_cast<char>(v);
        }
    return f;
}

uint8_t ramp(int x, int y) { return static_cast<uint8_t>(x * 10 + y * 100); }

struct Dib {
    HDC dc = 0;
    HBITMAP bmp = 0;
    HGDIOBJ old = 0;
    uint8_t* bits = nullptr;
    Dib(int w, int h, int depth) {
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = 40;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = static_cast<WORD>(depth);
        dc = CreateCompatibleDC(0);
        void* p = nullptr;
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &p, 0, 0);
        bits = static_cast<uint8_t*>(p);
        old = SelectObject(dc, bmp);
    }
    ~Dib() {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
};

class GdiTest : public ::testing::Test {
protected:
    testing_support::TestMachine machine;
};

TEST_F(GdiTest, SelectedBitmapIsNotDeletedAndObjectsAreCounted) {
    {
        Dib d(2, 2, 24);
        ASSERT_TRUE(d.bmp);
        EXPECT_EQ(DeleteObject(d.bmp), FALSE);  // still selected
        HDC other = CreateCompatibleDC(0);
        EXPECT_EQ(SelectObject(other, d.bmp), 0);  // one context at a time
        DeleteDC(other);
        EXPECT_EQ(gdiObjectCount(), 2u);
    }
    EXPECT_EQ(gdiObjectCount(), 0u);
    BITMAPINFO bad{};
    bad.bmiHeader.biSize = 40;
    bad.bmiHeader.biWidth = 0;
    bad.bmiHeader.biHeight = 5;
    bad.bmiHeader.biPlanes = 1;
    bad.bmiHeader.biBitCount = 24;
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(0, &bad, DIB_RGB_COLORS, &bits, 0, 0), 0);
    EXPECT_EQ(bits, nullptr);
}

TEST_F(GdiTest, LoadsBitmapFilesAndRefusesBrokenOnes) {
    machine->makeDirs("C:\\img");
    const std::string good = bmpFile(3, 2, 24, ramp);
    machine->writeFileAtomic("C:\\img\\good.bmp", good);
    machine->writeFileAtomic("C:\\img\\grey.bmp", bmpFile(3, 2, 8, ramp));
    machine->writeFileAtomic("C:\\img\\short.bmp", good.substr(0, good.size() - 4));
    machine->writeFileAtomic("C:\\img\\text.bmp", "not a bitmap at all, just some words to fill the file up");
    std::string huge = good;
    huge[18] = '\xff', huge[19] = '\xff', huge[20] = '\xff', huge[21] = '\x7f';  // width far past the data
    machine->writeFileAtomic("C:\\img\\huge.bmp", huge);

    for (const char* name : {"C:\\img\\good.bmp", "C:\\IMG\\GREY.BMP"}) {
        SCOPED_TRACE(name);
        HBITMAP h = static_cast<HBITMAP>(LoadImage(0, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        ASSERT_TRUE(h);
        BITMAP bm;
        ASSERT_EQ(GetObject(h, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, 3);
        EXPECT_EQ(bm.bmHeight, 2);
        // Top-left picture pixel is the last stored row.
        const auto* px = static_cast<const uint8_t*>(bm.bmBits);
        EXPECT_EQ(px[bm.bmWidthBytes + 0], ramp(0, 0));
        EXPECT_EQ(px[2 * 3 + 1], ramp(2, 1));
        EXPECT_TRUE(DeleteObject(h));
    }
    for (const char* name : {"C:\\img\\short.bmp", "C:\\img\\text.bmp", "C:\\img\\huge.bmp", "C:\\img\\none.bmp"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(LoadImage(0, name, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), 0);
    }
}

TEST_F(GdiTest, HalftoneStretchAveragesAndBitBltClips) {
    Dib src(2, 2, 24), dst(1, 1, 24), big(4, 4, 32);
    const uint8_t values[4] = {0, 100, 200, 40};
    for (int i = 0; i < 4; ++i) std::memset(src.bits + (i / 2) * 8 + (i % 2) * 3, values[i], 3);
    SetStretchBltMode(dst.dc, HALFTONE);
    ASSERT_TRUE(StretchBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(dst.bits[0], 85);
    // A copy reaching past both bitmaps lands only where it fits; 24 bits give alpha 0.
    std::memset(big.bits, 0xEE, 4 * 4 * 4);
    ASSERT_TRUE(BitBlt(big.dc, 3, 3, 5, 5, src.dc, 0, 0, SRCCOPY));
    // Picture (3, 3) is stored row 0, column 3.
    EXPECT_EQ(big.bits[3 * 4], src.bits[8]);  // source picture top-left is stored row 1
    EXPECT_EQ(big.bits[3 * 4 + 3], 0);
    EXPECT_EQ(big.bits[2 * 4], 0xEE);
}

TEST_F(GdiTest, CodecsRoundTripAndRefuseDamage) {
    gdi::Image img;
    img.width = 3;
    img.height = 2;
    img.bgra = {10, 20, 30, 255, 40, 50, 60, 128, 0, 0, 0, 0, 1, 2, 3, 4, 250, 240, 230, 255, 9, 9, 9, 9};
    auto png = gdi::encodePng(img);
    ASSERT_TRUE(png);
    auto back = gdi::decodeImage(*png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 3);
    EXPECT_EQ(back->bgra, img.bgra);

    gdi::Image grey{16, 16, std::vector<uint8_t>(16 * 16 * 4, 128)};
    auto jpg = gdi::encodeJpeg(grey, 90);
    ASSERT_TRUE(jpg);
    auto j = gdi::decodeImage(*jpg);
    ASSERT_TRUE(j);
    EXPECT_EQ(j->width, 16);
    EXPECT_NEAR(j->bgra[4 * 40], 128, 3);
    EXPECT_EQ(j->bgra[3], 255);

    for (const std::string& damaged : {png->substr(0, png->size() / 2), jpg->substr(0, 40), std::string("GIF89a"),
                                       std::string()}) {
        EXPECT_FALSE(gdi::decodeImage(damaged));
    }
    gdi::Image wrong{4, 4, std::vector<uint8_t>(3)};
    EXPECT_FALSE(gdi::encodePng(wrong));
}

TEST_F(GdiTest, LayeredWindowKeepsItsFaceAndBlend) {
    HWND h = CreateWindowEx(0, "Static", "", WS_POPUP, 10, 10, 50, 50, 0);
    Dib face(2, 1, 32);
    const uint8_t px[8] = {0, 0, 128, 128, 255, 255, 255, 255};
    std::memcpy(face.bits, px, 8);
    SIZE size{2, 1};
    POINT at{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    EXPECT_FALSE(UpdateLayeredWindow(h, 0, nullptr, &size, face.dc, &at, 0, &blend, ULW_ALPHA));  // not layered
    SetWindowLong(h, GWL_EXSTYLE, static_cast<LONG>(WS_EX_LAYERED));
    EXPECT_FALSE(UpdateLayeredWindow(h, 0, nullptr, nullptr, 0, nullptr, 0, &blend, ULW_ALPHA));  // no face yet
    ASSERT_TRUE(UpdateLayeredWindow(h, 0, nullptr, &size, face.dc, &at, 0, &blend, ULW_ALPHA));
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r, (RECT{10, 10, 12, 11}));
    blend.SourceConstantAlpha = 30;
    ASSERT_TRUE(UpdateLayeredWindow(h, 0, nullptr, nullptr, 0, nullptr, 0, &blend, ULW_ALPHA));
    auto f = layeredFace(h);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->constantAlpha, 30);
    EXPECT_EQ(f->bgra, std::vector<uint8_t>(px, px + 8));
    DestroyWindow(h);
    EXPECT_FALSE(layeredFace(h));
}

// A window's picture is a reference: later drawing shows, a deleted bitmap shows nothing, and a
// layered window shows its own face instead.
TEST_F(GdiTest, WindowPictureRefersToItsBitmap) {
    HWND h = CreateWindowEx(0, "Static", "", WS_POPUP, 0, 0, 50, 50, 0);
    Dib pic(1, 2, 24);  // bottom-up: the first stored row is the picture's bottom row
    const uint8_t rows[8] = {1, 2, 3, 0, 4, 5, 6, 0};
    std::memcpy(pic.bits, rows, 8);
    EXPECT_FALSE(setWindowPicture(h, 0x7FFFFFF0));
    EXPECT_FALSE(windowFace(h));
    ASSERT_TRUE(setWindowPicture(h, pic.bmp));
    EXPECT_EQ(windowPicture(h), pic.bmp);
    auto f = windowFace(h);
    ASSERT_TRUE(f);
    EXPECT_FALSE(f->layered);
    EXPECT_EQ(f->bgra, (std::vector<uint8_t>{4, 5, 6, 255, 1, 2, 3, 255}));
    pic.bits[0] = 9;
    EXPECT_EQ(windowFace(h)->bgra[4], 9);

    HBITMAP gone = CreateCompatibleBitmap(0, 3, 3);
    ASSERT_TRUE(setWindowPicture(h, gone));
    ASSERT_TRUE(DeleteObject(gone));
    EXPECT_FALSE(windowFace(h));

    SetWindowLong(h, GWL_EXSTYLE, static_cast<LONG>(WS_EX_LAYERED));
    SIZE size{1, 2};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, 0};
    ASSERT_TRUE(setWindowPicture(h, pic.bmp));
    ASSERT_TRUE(UpdateLayeredWindow(h, 0, nullptr, &size, pic.dc, nullptr, 0, &blend, 0));
    ASSERT_TRUE(windowFace(h));
    EXPECT_TRUE(windowFace(h)->layered);
    DestroyWindow(h);
    EXPECT_FALSE(windowFace(h));
    EXPECT_EQ(windowPicture(h), 0);
}

} // namespace
