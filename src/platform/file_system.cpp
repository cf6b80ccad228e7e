#include "platform/file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

FolderId identity(int fd, bool* ok) {
    struct stat st {};
    *ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
    return {st.st_dev, st.st_ino};
}

} // namespace

bool PathExists(const std::string& posixPath) {
    struct stat st;
    return !posixPath.empty() && ::lstat(posixPath.c_str(), &st) == 0;
}

int MakeFolder(const std::string& posixPath, FolderId* made) {
    const size_t cut = posixPath.find_last_of('/', posixPath.find_last_not_of('/'));
    const std::string parentPath = cut == std::string::npos ? "." : posixPath.substr(0, cut + 1);
    std::string name = posixPath.substr(cut == std::string::npos ? 0 : cut + 1);
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    const int parent = ::open(parentPath.c_str(), kFolderFlags);
    if (parent < 0)
        return errno;
    int error = 0;
    if (::mkdirat(parent, name.c_str(), 0777) != 0) {
        error = errno;
    } else {
        const int fd = ::openat(parent, name.c_str(), kFolderFlags | O_NOFOLLOW);
        bool ok = false;
        const FolderId id = fd >= 0 ? identity(fd, &ok) : FolderId{};
        error = fd < 0 ? errno : ok ? 0 : ENOTDIR;
        if (made)
            *made = id;
        if (fd >= 0)
            ::close(fd);
    }
    ::close(parent);
    return error;
}

int OpenCheckedFolder(const std::string& posixPath, const FolderId& expected) {
    const int fd = ::open(posixPath.c_str(), kFolderFlags);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR || errno == ELOOP))
        errno = ESTALE; // gone, or something else in its place
    if (fd < 0)
        return -1;
    bool ok = false;
    if (identity(fd, &ok) == expected && ok)
        return fd;
    ::close(fd);
    errno = ESTALE;
    return -1;
}

} // namespace fm
