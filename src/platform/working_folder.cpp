#include "platform/working_folder.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
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

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/')
        return home;
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

std::string ProgramFolder() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buf.size()) {
            std::string exe(buf.data(), static_cast<size_t>(n));
            size_t slash = exe.find_last_of('/');
            if (slash == std::string::npos)
                return {};
            return slash == 0 ? std::string("/") : exe.substr(0, slash);
        }
        if (buf.size() > (1u << 20))
            return {};
        buf.resize(buf.size() * 2);
    }
}

} // namespace fm
