#include "VoiceFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voxling {

namespace {

// Recordings are short; a length above this in a record is damage, not a recording.
constexpr uint64_t kMaxRead = uint64_t(64) << 20;

int openRegular(const std::filesystem::path& hostPath, uint32_t& error, uint64_t& size) {
    // Not blocking: a named pipe or a device in the voice folder would hold the open for ever.
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        int err = errno;
        error = win32ErrorFromErrno(err);
        if (err == ENOENT) {
            std::error_code ec;
            if (!std::filesystem::is_directory(hostPath.parent_path(), ec)) error = kErrorPathNotFound;
        }
        return -1;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = kErrorAccessDenied;
        return -1;
    }
    size = uint64_t(st.st_size);
    error = 0;
    return fd;
}

} // namespace

uint32_t win32ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;
    case ENOMEM: return kErrorNotEnoughMemory;
    default: return kErrorReadFault;
    }
}

uint32_t WholeFile::open(const std::filesystem::path& hostPath, uint64_t maxBytes) {
    close();
    uint32_t error = 0;
    uint64_t size = 0;
    int fd = openRegular(hostPath, error, size);
    if (fd < 0) return error;
    if (size > maxBytes) {
        ::close(fd);
        return kErrorNotEnoughMemory;
    }
    bytes_.resize(size);
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, bytes_.data() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    bytes_.resize(got);  // a file cut short meanwhile keeps what was there
    open_ = true;
    return 0;
}

std::span<const uint8_t> WholeFile::slice(uint64_t offset, uint64_t length) const {
    if (offset > bytes_.size() || length > bytes_.size() - offset) return {};
    return {bytes_.data() + offset, size_t(length)};
}

uint32_t OpenFile::open(const std::filesystem::path& hostPath) {
    close();
    uint32_t error = 0;
    uint64_t size = 0;
    fd_ = openRegular(hostPath, error, size);
    return error;
}

void OpenFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::vector<uint8_t> OpenFile::read(uint64_t offset, uint64_t length) const {
    std::vector<uint8_t> out;
    read(offset, length, out);
    return out;
}

bool OpenFile::read(uint64_t offset, uint64_t length, std::vector<uint8_t>& out) const {
    out.clear();
    if (fd_ < 0 || length == 0 || length > kMaxRead) return false;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return false;
    uint64_t size = uint64_t(st.st_size);
    if (offset > size || length > size - offset) return false;
    out.resize(length);
    size_t got = 0;
    while (got < length) {
        ssize_t n = ::pread(fd_, out.data() + got, length - got, off_t(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            out.clear();
            return false;
        }
        got += size_t(n);
    }
    return true;
}

} // namespace voxling
