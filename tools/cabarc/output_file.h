#pragma once

// Writing extracted files below a destination folder without ever leaving it.
//
// Every folder below the destination is opened relative to its parent with O_NOFOLLOW, so a
// symbolic link planted there (by a stored name or by anyone else) is never followed. A file is
// written without a name (O_TMPFILE) and given its name only once complete: linked in place when
// the name is free (never through a planted link), renamed over an existing file it replaces
// (which replaces a planted link, not what it points to). Where the file system has no nameless
// files, a hidden name of this process (".~x<pid>-<n>") stands in until then. A new file that
// fits in the write buffer (most files of a cabinet) is made only when complete, exclusively
// under its own name and filled by one write. A file that fails is removed, and a stop by
// SIGTERM, SIGINT or SIGHUP removes a hidden one or one being made: no partial file is left
// under its real name, and SIGKILL can only leave one in the instant of that last write.

#include <sys/stat.h>
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

    // A folder never to be written into (the tool's own): open() and folder() fail on it, with
    // errno EPERM and hitAvoided() true.
    void avoid(dev_t device, ino_t inode) { avoided_ = {device, inode, true}; }
    bool hitAvoided() const { return hitAvoided_; }

    // Opens the destination folder; with `create`, creating it and its missing parents. Links in
    // this path are the caller's choice and are followed. False with errno set on failure.
    bool open(const std::string& posixPath, bool create = true);
    // Takes a copy of `fd`, an open folder the caller checked, as the destination: no path is
    // looked up. False with errno set (ENOTDIR: not a folder).
    bool adopt(int fd);

    // The folder `names[0]/names[1]/...` below the destination, created where missing, never
    // through a symbolic link. The descriptor stays owned by this object (valid until the next
    // call). -1 with errno set on failure.
    int folder(const std::vector<std::string>& names);

private:
    bool avoided(int fd);

    struct {
        dev_t device;
        ino_t inode;
        bool set;
    } avoided_{};
    bool hitAvoided_ = false;
    int root_ = -1;
    int cached_ = -1;
    std::vector<std::string> cachedNames_;
};

// Removes the file being written, then ends the process as the signal would, on SIGTERM, SIGINT
// and SIGHUP. For the tool's main(); tests running the tool in-process leave them alone.
void InstallStopHandlers();

// One file being written in a folder.
class PendingFile {
public:
    explicit PendingFile(WriteFunction write = {});
    ~PendingFile(); // discards an uncommitted file
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    enum class Created {
        Fresh,    // to take its own name, which was free, on commit
        Replaces, // to replace the existing file of its name on commit
        Kept,     // not created: a file of that name exists and is to be kept
        Failed,   // not created: errno and error() say why
    };
    // Creates the file `name` in `folderFd`. With `keepExisting` an existing entry of that name
    // (a file, a link, anything) is left alone.
    Created create(int folderFd, const std::string& name, bool keepExisting);
    // Opens a file that keeps nothing: its bytes are counted and thrown away (the test mode).
    // False when even that fails (error() says why).
    bool openDiscarding();
    // After a commit: the device and inode of the file written, for telling files of the same
    // run apart.
    bool statCreated(struct stat* st) const;
    // Appends bytes. False once any write has failed (error() tells why).
    bool write(const void* data, size_t size);
    // Room for `size` (at most 64 KB) more bytes, to be filled in place and then accepted with
    // accept(size); spares a decoder a copy. Null once any write has failed.
    char* room(size_t size);
    void accept(size_t size) {
        buffered_ += size;
        size_ += size;
    }
    // Writes over `size` bytes already written at `offset` (a header completed at the end).
    bool writeAt(std::uint64_t offset, const void* data, size_t size);
    // Bytes accepted so far.
    std::uint64_t size() const { return size_; }
    // errno of the first failure, 0 when none.
    int error() const { return error_; }

    // Flushes, stamps the modification (and access) time, gives the file its name and closes. On
    // failure the file is removed and false returned with error() set.
    bool commit(std::time_t modified);
    // Removes the file.
    void discard();

private:
    void takeBuffer();
    bool flush();
    bool writeAll(const void* data, size_t size);
    bool fail(int err);
    bool place();
    bool openNameless();
    bool openWhole();

    WriteFunction write_;
    int folder_ = -1;
    int fd_ = -1;
    std::string pendingName_; // its hidden name until commit; empty while it has none
    std::string finalName_;   // the name it takes on commit
    bool replaces_ = false, keepExisting_ = false;
    bool deferred_ = false; // not made yet: its bytes are all in the buffer
    struct stat created_ {};
    std::unique_ptr<char[]> buffer_;
    std::unique_ptr<char[]>* spareSlot_ = nullptr; // where the buffer goes back for the next file
    size_t buffered_ = 0;
    std::uint64_t size_ = 0;
    int error_ = 0;
};

} // namespace fm::tool
