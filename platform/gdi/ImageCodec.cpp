#include "ImageCodec.h"
#include "GdiState.h"
#include "Resample.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace gdi {

namespace {

bool isPng(std::string_view b) { return b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0; }
bool isJpeg(std::string_view b) { return b.size() >= 3 && std::memcmp(b.data(), "\xFF\xD8\xFF", 3) == 0; }

std::optional<Image> decodePng(std::string_view bytes) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, bytes.data(), bytes.size())) return std::nullopt;
    if (img.width == 0 || img.height == 0 || static_cast<int64_t>(img.width) * img.height > kMaxPixels) {
        png_image_free(&img);
        return std::nullopt;
    }
    img.format = PNG_FORMAT_BGRA;
    Image out;
    out.width = static_cast<int>(img.width);
    out.height = static_cast<int>(img.height);
    out.bgra.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, out.bgra.data(), 0, nullptr)) {
        png_image_free(&img);
        return std::nullopt;
    }
    return out;
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegFail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void jpegQuiet(j_common_ptr, int) {}

// Kept free of objects with destructors between setjmp and the library calls that may jump.
bool decodeJpegInto(std::string_view bytes, Image& out, std::vector<unsigned char>& line) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    err.mgr.emit_message = jpegQuiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_width == 0 || cinfo.output_height == 0 || cinfo.output_components != 3 ||
        static_cast<int64_t>(cinfo.output_width) * cinfo.output_height > kMaxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.bgra.assign(static_cast<size_t>(out.width) * out.height * 4, 255);
    line.resize(static_cast<size_t>(out.width) * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = line.data();
        jpeg_read_scanlines(&cinfo, &row, 1);
        uint8_t* d = &out.bgra[static_cast<size_t>(y) * out.width * 4];
        for (int x = 0; x < out.width; ++x) d[x * 4] = line[x * 3 + 2], d[x * 4 + 1] = line[x * 3 + 1], d[x * 4 + 2] = line[x * 3];
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool encodeJpegInto(const Image& image, int quality, std::vector<unsigned char>& rgb, unsigned char*& mem,
                    unsigned long& size) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegFail;
    err.mgr.emit_message = jpegQuiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &mem, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(cinfo.next_scanline) * image.width * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool wellFormed(const Image& image) {
    return image.width > 0 && image.height > 0 && static_cast<int64_t>(image.width) * image.height <= kMaxPixels &&
           image.bgra.size() == static_cast<size_t>(image.width) * image.height * 4;
}

} // namespace

std::optional<Image> decodeImage(std::string_view bytes) {
    if (isPng(bytes)) return decodePng(bytes);
    if (isJpeg(bytes)) {
        Image out;
        std::vector<unsigned char> line;
        if (decodeJpegInto(bytes, out, line)) return out;
    }
    return std::nullopt;
}

std::optional<std::string> encodePng(const Image& image) {
    if (!wellFormed(image)) return std::nullopt;
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(image.width);
    img.height = static_cast<png_uint_32>(image.height);
    img.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&img, nullptr, &size, 0, image.bgra.data(), 0, nullptr)) return std::nullopt;
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&img, out.data(), &size, 0, image.bgra.data(), 0, nullptr)) return std::nullopt;
    out.resize(size);
    return out;
}

std::optional<std::string> encodeJpeg(const Image& image, int quality) {
    if (!wellFormed(image)) return std::nullopt;
    quality = std::clamp(quality, 0, 100);
    std::vector<unsigned char> rgb(static_cast<size_t>(image.width) * image.height * 3);
    for (size_t i = 0, n = static_cast<size_t>(image.width) * image.height; i < n; ++i) {
        rgb[i * 3] = image.bgra[i * 4 + 2];
        rgb[i * 3 + 1] = image.bgra[i * 4 + 1];
        rgb[i * 3 + 2] = image.bgra[i * 4];
    }
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    const bool ok = encodeJpegInto(image, quality, rgb, mem, size);
    std::optional<std::string> out;
    if (ok && mem && size) out = std::string(reinterpret_cast<const char*>(mem), size);
    std::free(mem);
    return out;
}

bool drawImage(win::HDC hdc, const Image& image, int width, int height, int turn) {
    win::gdi_detail::Bitmap* b = win::gdi_detail::bitmapOf(hdc);
    if (!b || b->stock || !wellFormed(image) || width <= 0 || height <= 0) return false;
    if (turn != 0 && turn != 90 && turn != 180 && turn != 270) return false;
    // Scale with premultiplied alpha, so transparent pixels lend no colour to their neighbours.
    std::vector<uint8_t> pre(image.bgra.size());
    for (size_t i = 0; i < pre.size(); i += 4) {
        const unsigned a = image.bgra[i + 3];
        for (int c = 0; c < 3; ++c) pre[i + c] = static_cast<uint8_t>((image.bgra[i + c] * a + 127) / 255);
        pre[i + 3] = static_cast<uint8_t>(a);
    }
    const auto scaled = win::gdi_detail::areaResample(pre, image.width, image.height, width, height);
    const bool sideways = turn == 90 || turn == 270;
    const int outW = sideways ? height : width, outH = sideways ? width : height;
    const int bpp = b->bits / 8;
    for (int y = 0; y < outH && y < b->height; ++y) {
        uint8_t* row = b->row(y);
        for (int x = 0; x < outW && x < b->width; ++x) {
            // The scaled picture's pixel (u, v) that lands on (x, y).
            int u = x, v = y;
            if (turn == 90) u = width - 1 - y, v = x;
            else if (turn == 270) u = y, v = height - 1 - x;
            else if (turn == 180) u = width - 1 - x, v = height - 1 - y;
            const uint8_t* s = &scaled[(static_cast<size_t>(v) * width + u) * 4];
            uint8_t* d = row + x * bpp;
            const unsigned keep = 255 - s[3];
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(s[c] + (d[c] * keep + 127) / 255);
            if (bpp == 4) d[3] = static_cast<uint8_t>(s[3] + (d[3] * keep + 127) / 255);
        }
    }
    return true;
}

std::optional<Image> readBitmap(win::HDC hdc) {
    win::gdi_detail::Bitmap* b = win::gdi_detail::bitmapOf(hdc);
    if (!b || b->stock) return std::nullopt;
    Image out;
    out.width = b->width;
    out.height = b->height;
    out.bgra.resize(static_cast<size_t>(b->width) * b->height * 4);
    const int bpp = b->bits / 8;
    for (int y = 0; y < b->height; ++y) {
        const uint8_t* row = b->row(y);
        for (int x = 0; x < b->width; ++x) {
            uint8_t* d = &out.bgra[(static_cast<size_t>(y) * b->width + x) * 4];
            d[0] = row[x * bpp], d[1] = row[x * bpp + 1], d[2] = row[x * bpp + 2];
            d[3] = bpp == 4 ? row[x * bpp + 3] : 255;
        }
    }
    return out;
}

} // namespace gdi
