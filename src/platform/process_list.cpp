#include "platform/process_list.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

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

ProcFsProcessList::ProcFsProcessList(std::string root, int self)
    : root_(std::move(root)), self_(self != 0 ? self : ::getpid()) {}

bool ProcFsProcessList::visit(const std::function<bool(std::string_view name)>& visit) const {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(root_.c_str()));
    if (!dir)
        return false;
    const int dirFd = ::dirfd(dir.get());

    // Every running process with its parent; ours are then found from `self_` down.
    struct Process {
        std::string pid, command;
    };
    std::unordered_map<long, std::vector<Process>> children;
    std::string stat;
    while (const dirent* e = ::readdir(dir.get())) {
        if (!allDigits(e->d_name) || !readSmall(dirFd, std::string(e->d_name) + "/stat", stat, 512))
            continue;
        // "PID (command name) S PPID ...": the name may hold spaces and parentheses, the state
        // follows the last ')'.
        const size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open ||
            close + 4 >= stat.size())
            continue;
        const char state = stat[close + 2];
        if (state == 'Z' || state == 'X' || state == 'x')
            continue;
        const long parent = std::strtol(stat.c_str() + close + 4, nullptr, 10);
        children[parent].push_back({e->d_name, stat.substr(open + 1, close - open - 1)});
    }

    std::string link(4096, '\0'), cmdline;
    std::vector<long> parents{self_};
    std::unordered_set<long> seen{self_}; // a listing taken while processes come and go may loop
    while (!parents.empty()) {
        auto found = children.find(parents.back());
        parents.pop_back();
        if (found == children.end())
            continue;
        for (const Process& p : found->second) {
            if (!seen.insert(std::strtol(p.pid.c_str(), nullptr, 10)).second)
                continue;
            parents.push_back(std::strtol(p.pid.c_str(), nullptr, 10));
            // The executable link names the file that was started; it can be read for this
            // user's processes, and the command name stands in for the others.
            std::string_view name = p.command;
            ssize_t n = ::readlinkat(dirFd, (p.pid + "/exe").c_str(), link.data(), link.size());
            if (n > 0 && static_cast<size_t>(n) < link.size()) {
                std::string_view target(link.data(), static_cast<size_t>(n));
                constexpr std::string_view deleted = " (deleted)";
                if (target.ends_with(deleted))
                    target.remove_suffix(deleted.size());
                name = baseName(target);
            } else if (name.size() == kCommandNameMax &&
                       readSmall(dirFd, p.pid + "/cmdline", cmdline, 4096)) {
                std::string_view first = baseName(std::string_view(cmdline.c_str()));
                if (first.starts_with(name))
                    name = first;
            }
            if (visit(name))
                return true;
        }
    }
    return true;
}

} // namespace fm
