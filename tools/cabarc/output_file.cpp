#include "output_file.h"

#include <atomic>
#include <cerrno>
#include <csignal>
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

// The file being written, for the stop handler. Its name is stored before the exclusive create
// and the state says how far that got: while the create is under way the name may still belong
// to someone else's file, so a signal then is only noted and acted on once the create returns.
enum : int { kIdle, kCreating, kOpen };
volatile std::sig_atomic_t pendingState = kIdle;
volatile std::sig_atomic_t deferredSignal = 0;
int pendingFolder = -1;
char pendingName[4096];

void die(int signal) {
    std::signal(signal, SIG_DFL);
    std::raise(signal); // delivered as the handler returns: the parent sees the signal
}

void onStop(int signal) {
    if (pendingState == kCreating) {
        deferredSignal = signal;
        return;
    }
    if (pendingState == kOpen)
        ::unlinkat(pendingFolder, pendingName, 0);
    die(signal);
}

void fence() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Before a file is created under `name`: a signal from now on is held back.
bool startPending(int folder, const std::string& name) {
    if (name.size() >= sizeof pendingName) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(pendingName, name.c_str(), name.size() + 1);
    pendingFolder = folder;
    fence();
    pendingState = kCreating;
    fence();
    return true;
}

// After the create: the file exists (`open`) or not; a signal that came meanwhile ends the
// process now, removing the new file.
void endCreate(bool open) {
    fence();
    pendingState = open ? kOpen : kIdle;
    fence();
    if (deferredSignal)
        onStop(deferredSignal);
}

void endPending() {
    fence();
    pendingState = kIdle;
    fence();
}

} // namespace

void InstallStopHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onStop;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&sa.sa_mask, s);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &sa, nullptr);
}

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

bool DestinationDir::avoided(int fd) {
    struct stat st {};
    if (!avoided_.set || ::fstat(fd, &st) != 0 || st.st_dev != avoided_.device ||
        st.st_ino != avoided_.inode)
        return false;
    hitAvoided_ = true;
    ::close(fd);
    errno = EPERM;
    return true;
}

bool DestinationDir::open(const std::string& posixPath, bool create) {
    std::string path = posixPath.empty() ? std::string(".") : posixPath;
    root_ = ::open(path.c_str(), kDirFlags);
    if (root_ < 0 && errno == ENOENT && create && makeFolders(path))
        root_ = ::open(path.c_str(), kDirFlags);
    if (root_ >= 0 && avoided(root_))
        root_ = -1;
    return root_ >= 0;
}

bool DestinationDir::adopt(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    root_ = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (root_ >= 0 && avoided(root_))
        root_ = -1;
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
        if (next < 0 || avoided(next))
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

namespace {

constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

// A hidden name of this process for a file until it is complete.
std::string temporaryName() {
    static unsigned counter = 0;
    static const std::string prefix = ".~x" + std::to_string(::getpid()) + "-";
    return prefix + std::to_string(++counter);
}

// Gives the nameless file `fd` the name `name` in `folder`; fails with EEXIST when it is taken.
// Through the descriptor itself where the process may, else through its /proc path.
bool linkNameless(int fd, int folder, const std::string& name) {
    static bool throughProc = false;
    if (!throughProc) {
        if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno != ENOENT)
            return false;
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, path.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return false;
    throughProc = true;
    return true;
}

} // namespace

PendingFile::Created PendingFile::create(int folderFd, const std::string& name, bool keepExisting) {
    folder_ = folderFd;
    struct stat st {};
    const bool exists = ::fstatat(folder_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && errno != ENOENT) {
        error_ = errno;
        return Created::Failed;
    }
    if (exists && keepExisting)
        return Created::Kept;
    finalName_ = name;
    replaces_ = exists;
    keepExisting_ = keepExisting;
    takeBuffer();
    // A new file is made only once its bytes outgrow the buffer, or at commit: most files of a
    // cabinet are small, and then take their name whole, in one write.
    deferred_ = !exists;
    if (!deferred_ && !openNameless()) {
        finalName_.clear();
        return Created::Failed;
    }
    return exists ? Created::Replaces : Created::Fresh;
}

bool PendingFile::openNameless() {
    deferred_ = false;
    // Written without a name and named once complete: a process killed meanwhile leaves
    // nothing behind.
    fd_ = ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // A file system without nameless files: a hidden name of this process until complete.
    for (int attempt = 0;
         fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) && attempt < 100;
         ++attempt) {
        std::string temp = temporaryName();
        if (!startPending(folder_, temp))
            break;
        fd_ = ::openat(folder_, temp.c_str(), kCreateFlags, 0666);
        const int saved = fd_ < 0 && errno == EEXIST ? EINVAL : errno; // taken: another try
        endCreate(fd_ >= 0);
        errno = saved;
        if (fd_ >= 0)
            pendingName_ = std::move(temp);
    }
    return fd_ >= 0 || fail(errno);
}

bool PendingFile::openWhole() {
    deferred_ = false;
    if (!startPending(folder_, finalName_))
        return fail(errno);
    fd_ = ::openat(folder_, finalName_.c_str(), kCreateFlags, 0666);
    const int saved = errno;
    endCreate(fd_ >= 0);
    errno = saved;
    if (fd_ >= 0) { // under its own name, written at once: nothing left to rename
        pendingName_ = std::move(finalName_);
        finalName_.clear();
        return true;
    }
    // Taken since create() looked: placed as any other file, which knows what to do then.
    return errno == EEXIST ? openNameless() : fail(errno);
}

bool PendingFile::place() {
    if (pendingName_.empty()) { // nameless: named in place, or beside and then renamed over
        if (!replaces_ && linkNameless(fd_, folder_, finalName_))
            return true;
        if (replaces_ || (errno == EEXIST && !keepExisting_)) {
            for (int attempt = 0; attempt < 100 && pendingName_.empty(); ++attempt) {
                std::string temp = temporaryName();
                if (!startPending(folder_, temp))
                    return false;
                const bool named = linkNameless(fd_, folder_, temp);
                const int saved = errno;
                endCreate(named);
                errno = saved;
                if (named)
                    pendingName_ = std::move(temp);
                else if (errno != EEXIST)
                    return false;
            }
            replaces_ = true;
        }
        if (pendingName_.empty())
            return false;
    }
    if (!replaces_) {
        if (::renameat2(folder_, pendingName_.c_str(), folder_, finalName_.c_str(),
                        RENAME_NOREPLACE) == 0)
            return true;
        // A file system without the flag relies on the look at create().
        if (errno != EINVAL && (errno != EEXIST || keepExisting_))
            return false;
    }
    return ::renameat(folder_, pendingName_.c_str(), folder_, finalName_.c_str()) == 0;
}

void PendingFile::takeBuffer() {
    // One buffer serves every file in turn: a fresh one would cost its page faults anew.
    static std::unique_ptr<char[]> spare;
    buffer_ = spare ? std::move(spare) : std::make_unique_for_overwrite<char[]>(kBufferSize);
    spareSlot_ = &spare;
}

bool PendingFile::openDiscarding() {
    fd_ = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fd_ < 0)
        return fail(errno);
    takeBuffer();
    return true;
}

bool PendingFile::statCreated(struct stat* st) const {
    if (created_.st_ino == 0)
        return false;
    *st = created_;
    return true;
}

bool PendingFile::fail(int err) {
    if (!error_)
        error_ = err;
    return false;
}

bool PendingFile::write(const void* data, size_t size) {
    if (error_ || (fd_ < 0 && !deferred_))
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

bool PendingFile::writeAt(std::uint64_t offset, const void* data, size_t size) {
    if (error_ || (fd_ < 0 && !deferred_))
        return fail(error_ ? error_ : EBADF);
    if (!flush())
        return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : EIO);
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

char* PendingFile::room(size_t size) {
    if (error_ || (fd_ < 0 && !deferred_) || size > kBufferSize)
        return nullptr;
    if (buffered_ + size > kBufferSize && !flush())
        return nullptr;
    return buffer_.get() + buffered_;
}

bool PendingFile::flush() {
    size_t n = buffered_;
    buffered_ = 0;
    if (deferred_ && !openNameless()) // more than the buffer holds: written nameless from now on
        return false;
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

bool PendingFile::commit(std::time_t modified) {
    bool ok = !error_ && (deferred_ ? openWhole() : fd_ >= 0) && flush();
    if (ok) {
        struct timespec times[2] = {{modified, 0}, {modified, 0}};
        if (::futimens(fd_, times) != 0)
            ok = fail(errno);
    }
    const bool nameless = pendingName_.empty();
    if (ok && nameless && !place()) // named while still open
        ok = fail(errno);
    if (fd_ >= 0) {
        if (ok && ::fstat(fd_, &created_) != 0)
            ok = fail(errno);
        if (::close(fd_) != 0 && ok) {
            ok = fail(errno);
            if (nameless) // already in place, but not known to be whole
                ::unlinkat(folder_, finalName_.c_str(), 0);
        }
        fd_ = -1;
    }
    if (ok && !nameless && !finalName_.empty() && !place())
        ok = fail(errno);
    if (!ok) {
        discard();
        return false;
    }
    endPending();
    pendingName_.clear();
    finalName_.clear();
    return true;
}

void PendingFile::discard() {
    deferred_ = false;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!pendingName_.empty()) {
        ::unlinkat(folder_, pendingName_.c_str(), 0);
        endPending();
        pendingName_.clear();
    }
    finalName_.clear();
    buffered_ = 0;
}

} // namespace fm::tool
