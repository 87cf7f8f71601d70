#pragma once
// The image loader: decodes an image file or encoded bytes (PNG, JPEG), renders it into a
// device-independent bitmap of 24 or 32 bits per pixel, scaled by a size mode and turned by
// quarter turns, and encodes the rendered bitmap as JPEG.
#include "cDIBSection.h"

#include "platform/gdi/ImageCodec.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class clsImage {
public:
    clsImage();
    ~clsImage();
    clsImage(const clsImage&) = delete;
    clsImage& operator=(const clsImage&) = delete;

    const std::string& ImageFile() const { return m_ImageFile; }
    // Decodes the file; Valid tells whether it worked.
    void ImageFile(const std::string& path);
    bool CheckFile(const std::string& path);
    cDIBSection& DIB();
    bool Resample() const { return m_Resample; }
    void Resample(bool value) { m_Resample = value; }
    bool Valid() const { return m_Valid; }
    int32_t ActualWidth() const;
    int32_t ActualHeight() const;
    // The rendered bitmap's size; 0 before anything was rendered.
    int32_t width() const;
    int32_t Height() const;
    // The box that size modes 1 to 4 use.
    void width(int32_t value) { m_ReqWidth = value; }
    void Height(int32_t value) { m_ReqHeight = value; }
    void ColourDepth(int32_t value) { m_ColourDepth = value; }
    void RSizeType(int32_t value) { m_RSizeType = value; }
    int32_t Rotate() const { return m_Rotate; }
    void Rotate(int32_t value) { m_Rotate = value; }
    void GetMediaType(int32_t value) { m_MediaType = value; }
    win::HDC hdc() const;
    // An encoded image held in bytes; they are kept while the image decoded from them is.
    void Buffer(const std::vector<uint8_t>& bytes);
    // The rendered bitmap as JPEG; true when the buffer now holds it.
    bool SaveJPGToBuffer(std::vector<uint8_t>& buffer, int32_t quality);
    // Renders the decoded image into a new bitmap, once per load. Raises 6 when the size
    // computation overflows.
    void LoadPicture();

private:
    void TargetSize(int32_t boxW, int32_t boxH, int32_t& w, int32_t& h) const;

    int32_t m_RSizeType = 0;
    int32_t m_Rotate = 0;
    int32_t m_MediaType = 0;
    std::string m_ImageFile;
    bool m_Valid = false;
    int32_t m_Width = 0, m_Height = 0;
    bool m_Resample = false;
    int32_t m_ReqWidth = 0, m_ReqHeight = 0;
    bool m_GdiReady = false;
    std::optional<gdi::Image> m_Image;
    std::unique_ptr<cDIBSection> m_DIB;
    int32_t m_ColourDepth = 24;
    std::vector<uint8_t> m_Buffer;
};
