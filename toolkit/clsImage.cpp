#include "clsImage.h"

#include "platform/forms/RuntimeError.h"
#include "platform/system/Machine.h"

#include <cmath>
#include <limits>

namespace {

const char* const kSource = "Pennant.clsImage";

// A product of two 32-bit values, as the runtime forms it: past the range it overflows.
int32_t product(int32_t a, int32_t b) {
    const int64_t p = static_cast<int64_t>(a) * b;
    if (p > std::numeric_limits<int32_t>::max() || p < std::numeric_limits<int32_t>::min())
        throw forms::RuntimeError(forms::err::Overflow, forms::errorDescription(forms::err::Overflow), kSource);
    return static_cast<int32_t>(p);
}

// Nearest, halves to even.
int32_t roundEven(double v) {
    const double r = std::nearbyint(v);
    if (r > std::numeric_limits<int32_t>::max() || r < std::numeric_limits<int32_t>::min())
        throw forms::RuntimeError(forms::err::Overflow, forms::errorDescription(forms::err::Overflow), kSource);
    return static_cast<int32_t>(r);
}

} // namespace

clsImage::clsImage() {
    // The imaging library of this platform needs no start-up; it is always ready.
    m_GdiReady = true;
}

clsImage::~clsImage() = default;

void clsImage::ImageFile(const std::string& path) {
    m_ImageFile = path;
    m_Image.reset();
    m_Buffer.clear();
    m_Valid = false;
    if (!m_GdiReady || path.empty()) return;
    std::optional<std::string> bytes;
    try {
        bytes = sys::Machine::current().readFile(path);
    } catch (const std::exception&) {
    }
    if (!bytes) return;
    m_Image = gdi::decodeImage(*bytes);
    if (!m_Image) return;
    m_Width = m_Image->width;
    m_Height = m_Image->height;
    m_Valid = true;
}

bool clsImage::CheckFile(const std::string& path) {
    ImageFile(path);
    return m_Valid;
}

cDIBSection& clsImage::DIB() {
    if (!m_DIB) m_DIB = std::make_unique<cDIBSection>();
    return *m_DIB;
}

int32_t clsImage::ActualWidth() const { return m_Rotate == 90 || m_Rotate == 270 ? m_Height : m_Width; }

int32_t clsImage::ActualHeight() const { return m_Rotate == 90 || m_Rotate == 270 ? m_Width : m_Height; }

int32_t clsImage::width() const { return m_DIB ? m_DIB->width() : 0; }

int32_t clsImage::Height() const { return m_DIB ? m_DIB->Height() : 0; }

win::HDC clsImage::hdc() const { return m_DIB ? m_DIB->hdc() : 0; }

void clsImage::Buffer(const std::vector<uint8_t>& bytes) {
    m_Image.reset();
    m_Valid = false;
    m_Buffer = bytes;
    if (!m_GdiReady) return;
    m_Image = gdi::decodeImage(std::string_view(reinterpret_cast<const char*>(m_Buffer.data()), m_Buffer.size()));
    if (!m_Image) {
        m_Buffer.clear();
        return;
    }
    m_Width = m_Image->width;
    m_Height = m_Image->height;
    m_Valid = true;
}

void clsImage::TargetSize(int32_t boxW, int32_t boxH, int32_t& w, int32_t& h) const {
    const int32_t w0 = m_Width, h0 = m_Height;
    auto fit = [&] {
        if (h0 > w0) {
            h = boxH;
            w = roundEven(static_cast<double>(product(boxH, w0)) / h0);
            if (w > boxW) {
                w = boxW;
                h = roundEven(static_cast<double>(product(boxW, h0)) / w0);
            }
        } else {
            w = boxW;
            h = roundEven(static_cast<double>(product(boxW, h0)) / w0);
            if (h > boxH) {
                h = boxH;
                w = roundEven(static_cast<double>(product(boxH, w0)) / h0);
            }
        }
        if (w == 0) w = 1;
        if (h == 0) h = 1;
    };
    switch (m_RSizeType) {
    case 0: w = w0, h = h0; break;
    case 1:
        if (w0 >= boxW && h0 >= boxH) w = w0, h = h0;
        else fit();
        break;
    case 2:
        if (w0 <= boxW && h0 <= boxH) w = w0, h = h0;
        else fit();
        break;
    case 3: fit(); break;
    case 4: w = boxW, h = boxH; break;
    default: w = 0, h = 0;
    }
}

void clsImage::LoadPicture() {
    if (!m_Valid || !m_Image) return;
    int32_t w = 0, h = 0;
    const bool sideways = m_Rotate != 0 && m_Rotate != 180;
    if (sideways) {
        TargetSize(m_ReqHeight, m_ReqWidth, w, h);
        DIB().Create(h, w, m_ColourDepth);
    } else {
        TargetSize(m_ReqWidth, m_ReqHeight, w, h);
        DIB().Create(w, h, m_ColourDepth);
    }
    // Other turns get the bitmap and no picture.
    if (DIB().hDib() && (m_Rotate == 0 || m_Rotate == 90 || m_Rotate == 180 || m_Rotate == 270))
        gdi::drawImage(DIB().hdc(), *m_Image, w, h, m_Rotate);
    m_Image.reset();
    m_Buffer.clear();
    m_Valid = false;
}

bool clsImage::SaveJPGToBuffer(std::vector<uint8_t>& buffer, int32_t quality) {
    if (!m_GdiReady || !m_DIB || !m_DIB->hDib()) return false;
    // The bitmap is read in its own depth, so a 32-bit rendering encodes correctly too.
    const auto pixels = gdi::readBitmap(m_DIB->hdc());
    if (!pixels) return false;
    const auto jpeg = gdi::encodeJpeg(*pixels, quality);
    if (!jpeg) return false;
    buffer.assign(jpeg->begin(), jpeg->end());
    return true;
}
