#pragma once
// Writes the machine's screen to <build>/snapshots/<name>.png, for a person to look at what a
// test shows. Only for tests that link platform_browser.
#include "platform/browser/ScreenSnapshot.h"

#include <filesystem>
#include <string>

namespace testing_support {

inline std::string writeSnapshot(const std::string& name, const web::SnapshotOptions& options = {}) {
    std::filesystem::path dir = std::filesystem::current_path() / "snapshots";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string path = (dir / (name + ".png")).string();
    return web::writeScreenSnapshot(path, options) ? path : "";
}

} // namespace testing_support
