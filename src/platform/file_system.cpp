#include "platform/file_system.h"

#include <cerrno>
#include <sys/stat.h>

namespace fm {

bool PathExists(const std::string& posixPath) {
    struct stat st;
    return !posixPath.empty() && ::lstat(posixPath.c_str(), &st) == 0;
}

int MakeFolder(const std::string& posixPath) {
    return ::mkdir(posixPath.c_str(), 0777) == 0 ? 0 : errno;
}

} // namespace fm
