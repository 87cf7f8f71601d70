#pragma once
// Writes the machine's screen to <build>/snapshots/<name>.png, for a person to look at what a
// test shows, and hands the picture back for the test to check. Only for tests that link
// platform_browser.
#include "platform/browser/ScreenSnapshot.h"
#include "platform/gdi/ImageCodec.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace testing_support {

inline std::string writeSnapshot(const std::string& name, const web::SnapshotOptions& options = {}) {
    std::filesystem::path dir = std::filesystem::current_path() / "snapshots";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string path = (dir / (name + ".png")).string();
    return web::writeScreenSnapshot(path, options) ? path : "";
}

// The screen as written by writeSnapshot; nothing when it could not be made.
struct Shot {
    gdi::Image image;
    // 0xRRGGBB of a screen pixel.
    uint32_t at(int x, int y) const {
        const uint8_t* p = &image.bgra[(static_cast<size_t>(y) * image.width + x) * 4];
        return (p[2] << 16) | (p[1] << 8) | p[0];
    }
};
inline std::optional<Shot> takeSnapshot(const std::string& name, const web::SnapshotOptions& options = {}) {
    const std::string path = writeSnapshot(name, options);
    if (path.empty()) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto image = gdi::decodeImage(bytes);
    if (!image) return std::nullopt;
    return Shot{std::move(*image)};
}

} // namespace testing_support
