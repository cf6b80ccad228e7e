#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::tool {

namespace {

constexpr size_t kBufferSize = 256 * 1024;
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

void closeKeepingErrno(int fd) {
    int saved = errno;
    ::close(fd);
    errno = saved;
}

// Opens (creating where missing) `name` in `parent` as a folder, never through a link.
int openChildFolder(int parent, const std::string& name) {
    int fd = ::openat(parent, name.c_str(), kDirFlags | O_NOFOLLOW);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST)
        return -1;
    return ::openat(parent, name.c_str(), kDirFlags | O_NOFOLLOW);
}

} // namespace

DestinationDir::~DestinationDir() {
    if (cached_ >= 0)
        ::close(cached_);
    if (root_ >= 0)
        ::close(root_);
}

namespace {

// mkdir -p: the missing folders from the deepest existing one down.
bool makeFolders(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    size_t cut = path.find_last_of('/', path.find_last_not_of('/'));
    if (cut == std::string::npos || cut == 0 || !makeFolders(path.substr(0, cut)))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

} // namespace

bool DestinationDir::open(const std::string& posixPath) {
    std::string path = posixPath.empty() ? std::string(".") : posixPath;
    root_ = ::open(path.c_str(), kDirFlags);
    if (root_ < 0 && errno == ENOENT && makeFolders(path))
        root_ = ::open(path.c_str(), kDirFlags);
    return root_ >= 0;
}

int DestinationDir::folder(const std::vector<std::string>& names) {
    if (names.empty())
        return root_;
    if (cached_ >= 0 && names == cachedNames_)
        return cached_;
    if (cached_ >= 0) {
        ::close(cached_);
        cached_ = -1;
    }
    int current = root_;
    for (const auto& name : names) {
        int next = openChildFolder(current, name);
        if (current != root_)
            closeKeepingErrno(current);
        if (next < 0)
            return -1;
        current = next;
    }
    cached_ = current;
    cachedNames_ = names;
    return cached_;
}

PendingFile::PendingFile(WriteFunction write) : write_(std::move(write)) {}

PendingFile::~PendingFile() {
    discard();
    if (spareSlot_ && buffer_ && !*spareSlot_)
        *spareSlot_ = std::move(buffer_);
}

bool PendingFile::create(int folderFd) {
    static unsigned counter = 0;
    static const std::string prefix = ".~x" + std::to_string(::getpid()) + "-";
    folder_ = folderFd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName_ = prefix + std::to_string(++counter);
        fd_ = ::openat(folder_, tempName_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            // One buffer serves every file in turn: a fresh one would cost its page faults anew.
            static std::unique_ptr<char[]> spare;
            buffer_ =
                spare ? std::move(spare) : std::make_unique_for_overwrite<char[]>(kBufferSize);
            spareSlot_ = &spare;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    tempName_.clear();
    error_ = errno;
    return false;
}

bool PendingFile::fail(int err) {
    if (!error_)
        error_ = err;
    return false;
}

bool PendingFile::write(const void* data, size_t size) {
    if (error_ || fd_ < 0)
        return fail(error_ ? error_ : EBADF);
    size_ += size;
    if (buffered_ + size > kBufferSize && !flush())
        return false;
    if (size >= kBufferSize) // large pieces go straight out rather than through the buffer
        return writeAll(data, size);
    std::memcpy(buffer_.get() + buffered_, data, size);
    buffered_ += size;
    return true;
}

char* PendingFile::room(size_t size) {
    if (error_ || fd_ < 0 || size > kBufferSize)
        return nullptr;
    if (buffered_ + size > kBufferSize && !flush())
        return nullptr;
    return buffer_.get() + buffered_;
}

bool PendingFile::flush() {
    size_t n = buffered_;
    buffered_ = 0;
    return writeAll(buffer_.get(), n);
}

bool PendingFile::writeAll(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write_ ? write_(fd_, p, size) : ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool PendingFile::commit(const std::string& name, std::time_t modified) {
    bool ok = fd_ >= 0 && !error_ && flush();
    if (ok) {
        struct timespec times[2] = {{modified, 0}, {modified, 0}};
        if (::futimens(fd_, times) != 0)
            ok = fail(errno);
    }
    if (fd_ >= 0) {
        if (::close(fd_) != 0 && ok)
            ok = fail(errno);
        fd_ = -1;
    }
    if (ok && ::renameat(folder_, tempName_.c_str(), folder_, name.c_str()) != 0)
        ok = fail(errno);
    if (!ok) {
        discard();
        return false;
    }
    tempName_.clear();
    return true;
}

void PendingFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ::unlinkat(folder_, tempName_.c_str(), 0);
        tempName_.clear();
    }
    buffered_ = 0;
}

} // namespace fm::tool
