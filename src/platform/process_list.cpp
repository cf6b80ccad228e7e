#include "platform/process_list.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace fm {

namespace {

// The kernel keeps a command name of at most 15 bytes.
constexpr size_t kCommandNameMax = 15;

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// Up to `max` bytes of a file below `dirFd`; false when it cannot be read (the process is gone).
bool readSmall(int dirFd, const std::string& path, std::string& out, size_t max) {
    int fd = ::openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.resize(max);
    size_t got = 0;
    while (got < max) {
        ssize_t n = ::read(fd, out.data() + got, max - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(got);
    return got > 0;
}

std::string_view baseName(std::string_view path) {
    size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool allDigits(const char* s) {
    if (!*s)
        return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

} // namespace

ProcFsProcessList::ProcFsProcessList(std::string root) : root_(std::move(root)) {}

bool ProcFsProcessList::visit(const std::function<bool(std::string_view name)>& visit) const {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(root_.c_str()));
    if (!dir)
        return false;
    const int dirFd = ::dirfd(dir.get());
    std::string stat, link(4096, '\0'), cmdline;
    while (const dirent* e = ::readdir(dir.get())) {
        if (!allDigits(e->d_name))
            continue;
        const std::string pid = e->d_name;

        // A process whose executable link can be read is running (a zombie has none); that
        // link is all most processes need, which keeps a listing of thousands cheap.
        std::string_view name;
        ssize_t n = ::readlinkat(dirFd, (pid + "/exe").c_str(), link.data(), link.size());
        if (n > 0 && static_cast<size_t>(n) < link.size()) {
            std::string_view target(link.data(), static_cast<size_t>(n));
            constexpr std::string_view deleted = " (deleted)";
            if (target.ends_with(deleted))
                target.remove_suffix(deleted.size());
            name = baseName(target);
        } else {
            // "PID (command name) S ...": the name may hold spaces and parentheses, the state
            // follows the last ')'.
            if (!readSmall(dirFd, pid + "/stat", stat, 512))
                continue;
            const size_t open = stat.find('('), close = stat.rfind(')');
            if (open == std::string::npos || close == std::string::npos || close < open ||
                close + 2 >= stat.size())
                continue;
            const char state = stat[close + 2];
            if (state == 'Z' || state == 'X' || state == 'x')
                continue;
            name = std::string_view(stat).substr(open + 1, close - open - 1);
            if (name.size() == kCommandNameMax &&
                readSmall(dirFd, pid + "/cmdline", cmdline, 4096)) {
                std::string_view first = baseName(std::string_view(cmdline.c_str()));
                if (first.starts_with(name))
                    name = first;
            }
        }
        if (visit(name))
            return true;
    }
    return true;
}

} // namespace fm
