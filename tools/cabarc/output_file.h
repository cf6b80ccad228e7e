#pragma once

// Writing extracted files below a destination folder without ever leaving it.
//
// Every folder below the destination is opened relative to its parent with O_NOFOLLOW, so a
// symbolic link planted there (by a stored name or by anyone else) is never followed. Every file
// is written under a temporary name in its own folder and renamed into place once complete; a
// rename onto a planted link replaces the link, not what it points to. A file that fails leaves
// nothing behind.

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fm::tool {

// Writes bytes to a file descriptor like write(2); tests put a failing one in its place.
using WriteFunction = std::function<ssize_t(int fd, const void* data, size_t size)>;

class DestinationDir {
public:
    DestinationDir() = default;
    ~DestinationDir();
    DestinationDir(const DestinationDir&) = delete;
    DestinationDir& operator=(const DestinationDir&) = delete;

    // Opens the destination folder, creating it and its missing parents. Links in this path are
    // the caller's choice and are followed. False with errno set on failure.
    bool open(const std::string& posixPath);

    // The folder `names[0]/names[1]/...` below the destination, created where missing, never
    // through a symbolic link. The descriptor stays owned by this object (valid until the next
    // call). -1 with errno set on failure.
    int folder(const std::vector<std::string>& names);

private:
    int root_ = -1;
    int cached_ = -1;
    std::vector<std::string> cachedNames_;
};

// One file being written under a temporary name in `folderFd`.
class PendingFile {
public:
    explicit PendingFile(WriteFunction write = {});
    ~PendingFile(); // discards an uncommitted file
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file. False with errno set on failure.
    bool create(int folderFd);
    // Appends bytes. False once any write has failed (error() tells why).
    bool write(const void* data, size_t size);
    // Room for `size` (at most 64 KB) more bytes, to be filled in place and then accepted with
    // accept(size); spares a decoder a copy. Null once any write has failed.
    char* room(size_t size);
    void accept(size_t size) {
        buffered_ += size;
        size_ += size;
    }
    // Bytes accepted so far.
    std::uint64_t size() const { return size_; }
    // errno of the first failure, 0 when none.
    int error() const { return error_; }

    // Flushes, stamps the modification (and access) time, closes and renames the file to `name`
    // in its folder, replacing what is there. On failure the temporary file is removed and
    // false returned with error() set.
    bool commit(const std::string& name, std::time_t modified);
    // Removes the temporary file.
    void discard();

private:
    bool flush();
    bool writeAll(const void* data, size_t size);
    bool fail(int err);

    WriteFunction write_;
    int folder_ = -1;
    int fd_ = -1;
    std::string tempName_;
    std::unique_ptr<char[]> buffer_;
    std::unique_ptr<char[]>* spareSlot_ = nullptr; // where the buffer goes back for the next file
    size_t buffered_ = 0;
    std::uint64_t size_ = 0;
    int error_ = 0;
};

} // namespace fm::tool
