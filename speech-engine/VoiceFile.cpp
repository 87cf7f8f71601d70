#include "VoiceFile.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace voxling {

namespace {

// Recordings are short; a length above this in a record is damage, not a recording.
constexpr uint64_t kMaxRead = uint64_t(64) << 20;

// The file open for reading, with what fstat tells of it; -1 and a Win32 error code otherwise.
int openRegular(const std::filesystem::path& hostPath, uint32_t& error, struct stat& st) {
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
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = kErrorAccessDenied;
        return -1;
    }
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

namespace {

// What tells an unchanged file: the same file, size and modification and change times.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{}, changed{};
    bool operator==(const FileIdentity& o) const {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

FileIdentity identityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool settled(const FileIdentity& id) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::max(id.modified.tv_sec, id.changed.tv_sec) + 1 < now.tv_sec;
}

// The shared files, by path: a voice has two, and few voices are installed.
class SharedFiles {
public:
    std::shared_ptr<const std::vector<uint8_t>> find(const std::string& path, const FileIdentity& id) {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_)
            if (e.path == path && e.identity == id) return e.bytes;
        return nullptr;
    }
    void keep(const std::string& path, const FileIdentity& id, std::shared_ptr<const std::vector<uint8_t>> bytes) {
        std::lock_guard lock(mutex_);
        std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
        if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
        entries_.push_back({path, id, std::move(bytes)});
    }

private:
    static constexpr size_t kMaxEntries = 8;
    struct Entry {
        std::string path;
        FileIdentity identity;
        std::shared_ptr<const std::vector<uint8_t>> bytes;
    };
    std::mutex mutex_;
    std::vector<Entry> entries_;
};

SharedFiles& sharedFiles() {
    static SharedFiles files;
    return files;
}

} // namespace

uint32_t WholeFile::open(const std::filesystem::path& hostPath, uint64_t maxBytes) {
    return read(hostPath, maxBytes, false);
}

uint32_t WholeFile::openShared(const std::filesystem::path& hostPath, uint64_t maxBytes) {
    return read(hostPath, maxBytes, true);
}

uint32_t WholeFile::read(const std::filesystem::path& hostPath, uint64_t maxBytes, bool shared) {
    close();
    uint32_t error = 0;
    struct stat st {};
    int fd = openRegular(hostPath, error, st);
    if (fd < 0) return error;
    const uint64_t size = uint64_t(st.st_size);
    if (size > maxBytes) {
        ::close(fd);
        return kErrorNotEnoughMemory;
    }
    const FileIdentity id = identityOf(st);
    if (auto bytes = shared ? sharedFiles().find(hostPath.string(), id) : nullptr) {
        ::close(fd);
        bytes_ = std::move(bytes);
        open_ = true;
        return 0;
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>(size);
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, bytes->data() + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    ::close(fd);
    bytes->resize(got);  // a file cut short meanwhile keeps what was there
    // Only a file read as it was when it was looked at stands for that file, and only once its
    // times are older than the clock's grain: a change made within the same tick could
    // otherwise leave all of them as they were.
    if (shared && got == size && settled(id)) sharedFiles().keep(hostPath.string(), id, bytes);
    bytes_ = std::move(bytes);
    open_ = true;
    return 0;
}

std::span<const uint8_t> WholeFile::slice(uint64_t offset, uint64_t length) const {
    const size_t n = size();
    if (offset > n || length > n - offset) return {};
    return {data() + offset, size_t(length)};
}

uint32_t OpenFile::open(const std::filesystem::path& hostPath) {
    close();
    uint32_t error = 0;
    struct stat st {};
    fd_ = openRegular(hostPath, error, st);
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
