#include "platform/working_folder.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace fm {

std::string CurrentWorkingFolder() {
    std::vector<char> buf(4096);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE || buf.size() > (1u << 20))
            return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

bool SetCurrentWorkingFolder(const std::string& posixPath) {
    return ::chdir(posixPath.c_str()) == 0;
}

} // namespace fm
