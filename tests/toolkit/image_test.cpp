#include "toolkit/cDIBSection.h"
#include "toolkit/clsImage.h"
#include "toolkit/frmSplash.h"
#include "toolkit/m_Main.h"

#include "platform/desktop/MessageBox.h"
#include "platform/forms/RuntimeError.h"
#include "platform/gdi/ImageCodec.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>

#include <cstring>

using testing_support::TestMachine;

namespace {

// A picture of w x h in one colour (blue, green, red, alpha), with the first pixel given apart.
gdi::Image picture(int w, int h, std::array<uint8_t, 4> fill, std::array<uint8_t, 4> first = {}) {
    gdi::Image img{w, h, {}};
    for (int i = 0; i < w * h; ++i) img.bgra.insert(img.bgra.end(), fill.begin(), fill.end());
    if (first != std::array<uint8_t, 4>{}) std::copy(first.begin(), first.end(), img.bgra.begin());
    return img;
}

// Blue, green, red of picture pixel (x, y), y from the top.
std::array<uint8_t, 3> pixelAt(const cDIBSection& d, int x, int y) {
    const uint8_t* p = d.DIBSectionBitsPtr() + static_cast<size_t>(d.Height() - 1 - y) * d.BytesPerScanLine() +
                       x * (d.ColorBit() / 8);
    return {p[0], p[1], p[2]};
}

class ImageTest : public ::testing::Test {
protected:
    ImageTest() {
        machine->makeDirs("C:\\img");
        win::clearMessageBoxes();
    }
    void put(const std::string& name, const gdi::Image& img) {
        machine->writeFileAtomic("C:\\img\\" + name, *gdi::encodePng(img));
    }
    TestMachine machine;
};

// ---- cDIBSection ------------------------------------------------------------------------

TEST_F(ImageTest, CreateGivesRowStrideAndSize) {
    struct Case {
        int w, h, bits, stride, size;
    } cases[] = {{3, 2, 24, 12, 24}, {5, 1, 32, 20, 20}, {1, 1, 24, 4, 4}, {4, 3, 24, 12, 36}};
    for (const auto& c : cases) {
        cDIBSection d;
        ASSERT_TRUE(d.Create(c.w, c.h, c.bits));
        EXPECT_EQ(d.BytesPerScanLine(), c.stride) << c.w << "x" << c.h << "@" << c.bits;
        EXPECT_EQ(d.DataSize(), c.size);
        EXPECT_TRUE(d.hdc() && d.hDib() && d.DIBSectionBitsPtr());
    }
    cDIBSection d;
    EXPECT_FALSE(d.Create(0, 7, 24));
    EXPECT_EQ(d.hDib(), 0);
    EXPECT_EQ(d.hdc(), 0);
    EXPECT_EQ(d.Height(), 7);  // the header keeps the request
    d.CleanUp();
    EXPECT_EQ(d.Height(), 0);
    EXPECT_EQ(d.Header().bmiHeader.biSize, 40u);
    EXPECT_EQ(d.Header().bmiHeader.biPlanes, 0);
    EXPECT_EQ(win::gdiObjectCount(), 0u);
}

TEST_F(ImageTest, IsAlphaLooksAtEveryAlphaByte) {
    cDIBSection d;
    ASSERT_TRUE(d.Create(3, 2, 32));
    std::memset(d.DIBSectionBitsPtr(), 255, static_cast<size_t>(d.DataSize()));
    EXPECT_FALSE(d.isAlpha());
    d.DIBSectionBitsPtr()[d.BytesPerScanLine() + 2 * 4 + 3] = 254;  // last pixel of the top row
    EXPECT_TRUE(d.isAlpha());
    d.CleanUp();
    EXPECT_FALSE(d.isAlpha());
}

TEST_F(ImageTest, ResampleCopiesOrHalftonesIntoTwentyFourBits) {
    cDIBSection d;
    ASSERT_TRUE(d.Create(2, 2, 32));
    uint8_t* p = d.DIBSectionBitsPtr();
    const uint8_t values[4] = {10, 50, 90, 250};
    for (int i = 0; i < 4; ++i) std::memset(p + i * 4, values[i], 4);

    auto same = d.Resample(2, 2);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->ColorBit(), 24);
    for (int x = 0; x < 2; ++x)
        for (int y = 0; y < 2; ++y) EXPECT_EQ(pixelAt(*same, x, y), pixelAt(d, x, y));

    auto one = d.Resample(1, 1);  // height first
    ASSERT_TRUE(one);
    EXPECT_EQ(one->ColorBit(), 24);
    EXPECT_EQ(pixelAt(*one, 0, 0)[0], 100);  // the average of the four
    EXPECT_FALSE(d.Resample(0, 5));
}

TEST_F(ImageTest, ExtractDibHandsOverTheSection) {
    win::HBITMAP h = 0;
    {
        cDIBSection d;
        ASSERT_TRUE(d.Create(4, 4, 24));
        h = d.ExtractDib();
        EXPECT_EQ(d.hDib(), 0);
        EXPECT_EQ(d.hdc(), 0);
        EXPECT_EQ(d.width(), 0);
    }
    win::BITMAP bm;
    ASSERT_EQ(win::GetObject(h, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 4);
    EXPECT_TRUE(win::DeleteObject(h));
    EXPECT_EQ(win::gdiObjectCount(), 0u);
}

TEST_F(ImageTest, LoadAndCreateFromPicture) {
    cDIBSection d;
    win::queueMessageBoxAnswer(win::IDOK);
    EXPECT_FALSE(d.Load("C:\\img\\missing.bmp"));
    ASSERT_EQ(win::messageBoxes().size(), 1u);
    EXPECT_EQ(win::messageBoxes()[0].text, "Can't load BMP image");
    EXPECT_EQ(d.hdc(), 0);

    // A 32-bit bitmap file, 4 x 1, loads as a 24-bit bitmap with its colours and its own size.
    std::string bmp(54 + 16, '\0');
    const uint8_t header[] = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0};
    std::memcpy(bmp.data(), header, sizeof header);
    const uint8_t pixels[] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
    std::memcpy(bmp.data() + 54, pixels, sizeof pixels);
    machine->writeFileAtomic("C:\\img\\two.bmp", bmp);
    ASSERT_TRUE(d.Load("C:\\img\\two.bmp"));
    EXPECT_EQ(d.ColorBit(), 24);
    EXPECT_EQ(d.width(), 4);
    EXPECT_EQ(d.DataSize(), 12);
    EXPECT_EQ(pixelAt(d, 1, 0), (std::array<uint8_t, 3>{4, 5, 6}));

    // A 32-bit source becomes a 24-bit copy with its colours.
    cDIBSection src;
    ASSERT_TRUE(src.Create(3, 2, 32));
    for (int i = 0; i < 6; ++i) {
        uint8_t* px = src.DIBSectionBitsPtr() + i * 4;
        px[0] = static_cast<uint8_t>(i), px[1] = static_cast<uint8_t>(10 * i), px[2] = static_cast<uint8_t>(20 * i);
    }
    forms::StdPicture pic{src.hDib(), forms::vbPicTypeBitmap};
    // The picture's bitmap must be free to select: take it out of its own context first.
    const win::HBITMAP owned = src.ExtractDib();
    pic.Handle = owned;
    d.CreateFromPicture(pic, 24);
    ASSERT_TRUE(d.hDib());
    EXPECT_EQ(d.width(), 3);
    EXPECT_EQ(d.ColorBit(), 24);
    EXPECT_EQ(pixelAt(d, 2, 0), (std::array<uint8_t, 3>{5, 50, 100}));  // stored index 5 is the top right
    win::DeleteObject(owned);

    d.CreateFromPicture(forms::StdPicture{}, 24);
    EXPECT_EQ(d.hDib(), 0);
    EXPECT_EQ(win::messageBoxes().size(), 1u);
}

// ---- clsImage -------------------------------------------------------------------------

TEST_F(ImageTest, SizeModesGiveTheRenderedSize) {
    put("wide.png", picture(400, 300, {0, 0, 255, 255}));
    put("line.png", picture(1000, 1, {0, 0, 255, 255}));
    struct Case {
        const char* file;
        int mode, boxW, boxH, w, h;
    } cases[] = {
        {"wide.png", 0, 1, 1, 400, 300},    {"wide.png", 3, 200, 200, 200, 150}, {"wide.png", 2, 500, 500, 400, 300},
        {"wide.png", 1, 500, 500, 500, 375}, {"wide.png", 4, 50, 80, 50, 80},    {"wide.png", 2, 100, 500, 100, 75},
        {"wide.png", 1, 300, 100, 400, 300}, {"line.png", 3, 10, 10, 10, 1},     {"wide.png", 5, 10, 10, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.file << " mode " << c.mode << " box " << c.boxW << "x" << c.boxH);
        clsImage img;
        ASSERT_TRUE(img.CheckFile(std::string("C:\\img\\") + c.file));
        img.RSizeType(c.mode);
        img.width(c.boxW);
        img.Height(c.boxH);
        img.LoadPicture();
        EXPECT_EQ(img.width(), c.w);
        EXPECT_EQ(img.Height(), c.h);
    }
}

TEST_F(ImageTest, QuarterTurnsTurnThePicture) {
    // Two pixels: red on the left, blue on the right.
    gdi::Image img = picture(2, 1, {255, 0, 0, 255}, {0, 0, 255, 255});
    put("pair.png", img);
    const std::array<uint8_t, 3> red{0, 0, 255}, blue{255, 0, 0};
    struct Case {
        int turn, w, h;
        std::array<uint8_t, 3> first;  // picture pixel (0, 0)
    } cases[] = {{0, 2, 1, red}, {90, 1, 2, blue}, {180, 2, 1, blue}, {270, 1, 2, red}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.turn);
        clsImage im;
        im.Rotate(c.turn);
        ASSERT_TRUE(im.CheckFile("C:\\img\\pair.png"));
        EXPECT_EQ(im.ActualWidth(), c.w);
        im.LoadPicture();
        ASSERT_EQ(im.width(), c.w);
        ASSERT_EQ(im.Height(), c.h);
        EXPECT_EQ(pixelAt(im.DIB(), 0, 0), c.first);
    }
    // 200 x 100 turned a quarter in mode 0: 100 wide, 200 high.
    put("landscape.png", picture(200, 100, {1, 2, 3, 255}));
    clsImage im;
    im.Rotate(90);
    im.width(300);
    im.Height(300);
    ASSERT_TRUE(im.CheckFile("C:\\img\\landscape.png"));
    EXPECT_EQ(im.ActualWidth(), 100);
    im.LoadPicture();
    EXPECT_EQ(im.width(), 100);
    EXPECT_EQ(im.Height(), 200);
}

TEST_F(ImageTest, LoadingGoodMissingAndDamagedFiles) {
    put("good.png", picture(4, 4, {9, 9, 9, 255}));
    const std::string png = *machine->readFile("C:\\img\\good.png");
    machine->writeFileAtomic("C:\\img\\cut.png", png.substr(0, png.size() - 20));
    machine->writeFileAtomic("C:\\img\\text.png", "hello");

    clsImage img;
    EXPECT_TRUE(img.CheckFile("C:\\img\\good.png"));
    EXPECT_EQ(img.ActualWidth(), 4);
    for (const char* bad : {"C:\\img\\text.png", "C:\\img\\cut.png", "C:\\img\\none.png", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(img.CheckFile(bad));
        EXPECT_EQ(img.ImageFile(), bad);
        img.LoadPicture();
        EXPECT_EQ(img.width(), 0);
    }
    EXPECT_TRUE(win::messageBoxes().empty());

    // Bytes in memory: good, then garbage.
    img.Buffer(std::vector<uint8_t>(png.begin(), png.end()));
    EXPECT_TRUE(img.Valid());
    img.Buffer({1, 2, 3});
    EXPECT_FALSE(img.Valid());
}

TEST_F(ImageTest, RendersOncePerLoadAndWithAlpha) {
    // Half-transparent white with one opaque red pixel, rendered at 32 bits.
    put("glass.png", picture(2, 2, {255, 255, 255, 128}, {0, 0, 255, 255}));
    clsImage img;
    img.ColourDepth(32);
    ASSERT_TRUE(img.CheckFile("C:\\img\\glass.png"));
    img.LoadPicture();
    ASSERT_EQ(img.DIB().ColorBit(), 32);
    EXPECT_TRUE(img.DIB().isAlpha());
    const uint8_t* top = img.DIB().DIBSectionBitsPtr() + img.DIB().BytesPerScanLine();  // stored last row
    EXPECT_EQ(top[2], 255);
    EXPECT_EQ(top[3], 255);
    EXPECT_EQ(top[4], 128);  // premultiplied
    EXPECT_EQ(top[7], 128);
    EXPECT_FALSE(img.Valid());

    // A second render without a new load draws nothing new.
    std::memset(img.DIB().DIBSectionBitsPtr(), 7, static_cast<size_t>(img.DIB().DataSize()));
    img.LoadPicture();
    EXPECT_EQ(img.DIB().DIBSectionBitsPtr()[0], 7);
}

TEST_F(ImageTest, SizeOverflowRaisesSix) {
    put("wide.png", picture(400, 300, {0, 0, 0, 255}));
    clsImage img;
    ASSERT_TRUE(img.CheckFile("C:\\img\\wide.png"));
    img.RSizeType(3);
    img.width(10'000'000);
    img.Height(10'000'000);
    try {
        img.LoadPicture();
        FAIL() << "no overflow";
    } catch (const forms::RuntimeError& e) {
        EXPECT_EQ(e.Number, 6);
    }
}

TEST_F(ImageTest, SavesTheRenderingAsJpeg) {
    put("flat.png", picture(8, 6, {40, 80, 160, 255}));
    clsImage img;
    std::vector<uint8_t> buf{1, 2, 3};
    EXPECT_FALSE(img.SaveJPGToBuffer(buf, 80));  // nothing rendered
    EXPECT_EQ(buf.size(), 3u);
    for (int depth : {24, 32}) {
        SCOPED_TRACE(depth);
        img.ColourDepth(depth);
        ASSERT_TRUE(img.CheckFile("C:\\img\\flat.png"));
        img.LoadPicture();
        ASSERT_TRUE(img.SaveJPGToBuffer(buf, 80));
        auto back = gdi::decodeImage(std::string_view(reinterpret_cast<const char*>(buf.data()), buf.size()));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->width, 8);
        EXPECT_EQ(back->height, 6);
        EXPECT_NEAR(back->bgra[2], 160, 6);
    }
}

// ---- frmSplash ------------------------------------------------------------------------

class SplashTest : public ImageTest {
protected:
    SplashTest() {
        machine->makeDirs("C:\\Program Files\\Pennant");
        m_Main::AppDir = "C:\\Program Files\\Pennant\\";
    }
    ~SplashTest() override {
        if (auto& s = frmSplash::Instance()) {
            s->Unload();
            s.reset();
        }
        m_Main::AppDir.clear();
    }
};

TEST_F(SplashTest, ShowsThePictureCentredAndFadesOut) {
    machine->writeFileAtomic("C:\\Program Files\\Pennant\\Splash.png",
                             *gdi::encodePng(picture(40, 20, {0, 128, 0, 200})));
    frmSplash::ShowSplash();
    auto splash = frmSplash::Instance();
    ASSERT_TRUE(splash);
    const win::HWND h = splash->hWnd();
    EXPECT_TRUE(win::IsWindowVisible(h));
    EXPECT_TRUE(win::GetWindowLong(h, win::GWL_EXSTYLE) & win::WS_EX_TOPMOST);
    win::RECT r;
    win::GetWindowRect(h, &r);
    EXPECT_EQ(r.right - r.left, 40);
    EXPECT_EQ(r.bottom - r.top, 20);
    EXPECT_EQ(r.left, (machine->screenWidth() - 40) / 2);
    auto face = win::layeredFace(h);
    ASSERT_TRUE(face);
    EXPECT_EQ(face->constantAlpha, 255);
    EXPECT_EQ(face->bgra[3], 200);

    splash->CloseSplash();
    machine->runFor(17 * frmSplash::kFadeIntervalMs);
    EXPECT_EQ(splash->Opacity(), 0);
    EXPECT_EQ(win::layeredFace(h)->constantAlpha, 0);
    EXPECT_TRUE(splash->IsLoaded());
    machine->runFor(frmSplash::kFadeIntervalMs);
    EXPECT_FALSE(splash->IsLoaded());
    EXPECT_FALSE(frmSplash::Instance());
    EXPECT_EQ(mTimer::runningCount(), 0);
    EXPECT_EQ(win::gdiObjectCount(), 0u);
}

TEST_F(SplashTest, MissingPictureShowsNothingAndStillCloses) {
    frmSplash::ShowSplash();
    auto splash = frmSplash::Instance();
    ASSERT_TRUE(splash && splash->IsLoaded());
    win::RECT r;
    win::GetWindowRect(splash->hWnd(), &r);
    EXPECT_EQ(r.right - r.left, 0);
    EXPECT_FALSE(win::layeredFace(splash->hWnd()));
    EXPECT_TRUE(win::messageBoxes().empty());
    splash->CloseSplash();
    splash->CloseSplash();  // a second request restarts the fade, not a second timer
    EXPECT_EQ(mTimer::runningCount(), 1);
    machine->runFor(18 * frmSplash::kFadeIntervalMs);
    EXPECT_FALSE(splash->IsLoaded());
    EXPECT_EQ(mTimer::runningCount(), 0);
}

} // namespace
