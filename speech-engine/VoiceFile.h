#pragma once
// Read-only access to the files of a voice library: read whole, or kept open for reads by offset.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace voxling {

// Win32 error codes the file opens report (the engine turns them into HRESULTs).
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorReadFault = 30;

uint32_t win32ErrorFromErrno(int err);

// A whole file held in memory. Reading it whole (rather than mapping it) means a file cut short
// by someone else while the engine holds it can never fault a read.
class WholeFile {
public:
    // 0 or a Win32 error code. Only regular files are read; one above maxBytes is refused.
    uint32_t open(const std::filesystem::path& hostPath, uint64_t maxBytes = uint64_t(1) << 30);
    // The same for a file every engine object reads when it is bound (a voice's tables): while
    // the file stays as it was (same file, size and change times), its bytes are read once for
    // the process and shared. They are never written, so no engine sees another's state.
    uint32_t openShared(const std::filesystem::path& hostPath, uint64_t maxBytes = uint64_t(1) << 30);
    void close() { bytes_.reset(); open_ = false; }
    bool isOpen() const { return open_; }
    size_t size() const { return bytes_ ? bytes_->size() : 0; }
    const uint8_t* data() const { return bytes_ ? bytes_->data() : nullptr; }
    // The bytes [offset, offset + length) when they lie wholly inside the file, else empty.
    std::span<const uint8_t> slice(uint64_t offset, uint64_t length) const;

private:
    uint32_t read(const std::filesystem::path& hostPath, uint64_t maxBytes, bool shared);
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    bool open_ = false;
};

// A file kept open for reads by offset and length.
class OpenFile {
public:
    OpenFile() = default;
    ~OpenFile() { close(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    uint32_t open(const std::filesystem::path& hostPath);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // The bytes [offset, offset + length), or empty when any of them lies outside the file or
    // cannot be read.
    std::vector<uint8_t> read(uint64_t offset, uint64_t length) const;
    // The same into out, whose storage is reused from call to call; false when out is left empty.
    bool read(uint64_t offset, uint64_t length, std::vector<uint8_t>& out) const;

private:
    int fd_ = -1;
};

} // namespace voxling
