#include "platform/launcher.h"

#include "platform/command_line.h"
#include "platform/tool_link.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/epoll.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace fm {

bool LaunchStart::shortOfResources() const {
    return error == EAGAIN || error == ENOMEM || error == EMFILE || error == ENFILE;
}

namespace {

constexpr size_t kErrorLineMax = 4096;
constexpr size_t kProgressLineMax = 64;

// What an epoll event is about; the launch id is kept in the bits above.
enum Source : std::uint64_t { Exit = 0, ErrorOutput = 1, ProgressOutput = 2 };

} // namespace

bool ProcessGroupRuns(int group) {
    if (::kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return true;
    bool live = false;
    char stat[512];
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9')
            continue;
        const int fd = ::openat(::dirfd(dir), (std::string(e->d_name) + "/stat").c_str(),
                                O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const ssize_t n = ::read(fd, stat, sizeof stat - 1);
        ::close(fd);
        if (n <= 0)
            continue;
        stat[n] = '\0';
        // "PID (name) S PPID PGRP ...": the fields after the last ')'.
        const std::string_view text(stat, static_cast<size_t>(n));
        const size_t close = text.rfind(')');
        char state = 0;
        long parent = 0, pgrp = 0;
        if (close == std::string_view::npos ||
            std::sscanf(stat + close + 1, " %c %ld %ld", &state, &parent, &pgrp) != 3)
            continue;
        if (pgrp == group && state != 'Z' && state != 'X') {
            live = true;
            break;
        }
    }
    ::closedir(dir);
    return live;
}

namespace {

LaunchEnd endFrom(int status, bool known) {
    LaunchEnd end;
    if (known && WIFSIGNALED(status)) {
        end.signaled = true;
        end.code = WTERMSIG(status);
    } else if (known && WIFEXITED(status)) {
        end.code = WEXITSTATUS(status);
    }
    return end;
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// A descriptor the child gets is first moved above the numbers it is placed at, so placing one
// never overwrites another.
int moveHigh(int fd) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    ::close(fd);
    return high;
}

// A memory file holding `text`, positioned at its start, moved high like the pipes' ends; -1
// with errno set when it cannot be made.
int memoryFile(const std::string& text) {
    int fd = ::memfd_create("fendlemark-link", MFD_CLOEXEC);
    if (fd < 0 || (fd = moveHigh(fd)) < 0)
        return -1;
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int saved = n < 0 ? errno : EIO;
            ::close(fd);
            errno = saved;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() { closeFd(fd); }
};

struct Pipe {
    int read = -1, write = -1;
    ~Pipe() {
        closeFd(read);
        closeFd(write);
    }
    int open() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return errno;
        read = fds[0];
        write = moveHigh(fds[1]);
        if (write < 0)
            return errno;
        ::fcntl(read, F_SETFL, O_NONBLOCK);
        return 0;
    }
};

// posix_spawn's settings, released on every path.
struct SpawnSettings {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
    }
};

} // namespace

struct SpawnLauncher::State {
    struct Entry {
        pid_t pid = 0;                                  // also the process group
        int exitFd = -1, errorFd = -1, progressFd = -1; // exitFd: the program's pidfd
        bool reaped = false;
        std::optional<int> status; // the program's own end, once collected (-1: not known)
        std::string errorLine;
        bool errorLineDone = false;
        std::string progressText;
        std::optional<LaunchProgress> progress;
        std::optional<LaunchEnd> end; // once the program and its whole group are gone
        bool forgotten = false;
    };

    int epoll = -1;
    std::unordered_map<LaunchId, Entry> entries;
    LaunchId nextId = 1;

    void watch(LaunchId id, Source source, int fd) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = id << 2 | source;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
    }

    static void take(Entry& e, Source source, const char* data, size_t n) {
        if (source == ErrorOutput) {
            if (e.errorLineDone)
                return;
            e.errorLine.append(data, std::min(n, kErrorLineMax - e.errorLine.size()));
            if (size_t nl = e.errorLine.find('\n'); nl != std::string::npos) {
                e.errorLine.resize(nl);
                e.errorLineDone = true;
            }
            e.errorLineDone = e.errorLineDone || e.errorLine.size() >= kErrorLineMax;
            return;
        }
        e.progressText.append(data, n);
        for (size_t nl; (nl = e.progressText.find('\n')) != std::string::npos;) {
            const std::string line = e.progressText.substr(0, nl);
            e.progressText.erase(0, nl + 1);
            LaunchProgress p;
            const char* end = line.data() + line.size();
            auto [slash, err1] = std::from_chars(line.data(), end, p.done);
            if (err1 == std::errc() && slash < end && *slash == '/') {
                auto [rest, err2] = std::from_chars(slash + 1, end, p.total);
                if (err2 == std::errc() && rest == end)
                    e.progress = p;
            }
        }
        if (e.progressText.size() > kProgressLineMax) // no line end in sight: not a report
            e.progressText.clear();
    }

    // Reads what a pipe holds now; closes it at its end.
    static void drain(Entry& e, Source source) {
        int& fd = source == ErrorOutput ? e.errorFd : e.progressFd;
        char buf[4096];
        while (fd >= 0) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                take(e, source, buf, static_cast<size_t>(n));
            else if (n == 0 || errno != EINTR) {
                if (n == 0)
                    closeFd(fd);
                return;
            }
        }
    }

    // The group outlives its leader while a process it started stays in it. A member that has
    // ended but waits to be collected by whoever inherited it does not count: how soon that
    // happens is not ours to say.
    static bool groupGone(const Entry& e) { return !ProcessGroupRuns(e.pid); }

    // The program has ended: how is read, but it is left unreaped until its whole group is gone
    // (finishIfGone), so that its number, which is the group's, cannot be given to another
    // process meanwhile and a signal to the group reaches only ours.
    void exited(Entry& e) {
        siginfo_t info{};
        int r;
        while ((r = ::waitid(P_PID, static_cast<id_t>(e.pid), &info, WEXITED | WNOHANG | WNOWAIT)) <
                   0 &&
               errno == EINTR) {
        }
        if (r == 0 && info.si_pid == 0)
            return;
        // ECHILD: the system collected it (SIGCHLD ignored); how it ended is not known.
        if (r != 0)
            e.reaped = true;
        e.status = r != 0                       ? -1
                   : info.si_code == CLD_EXITED ? W_EXITCODE(info.si_status, 0)
                                                : W_EXITCODE(0, info.si_status);
        drain(e, ErrorOutput);
        drain(e, ProgressOutput);
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, e.exitFd, nullptr);
        closeFd(e.errorFd);
        closeFd(e.progressFd);
    }

    static void reap(Entry& e) {
        if (!e.reaped)
            while (::waitpid(e.pid, nullptr, WNOHANG) < 0 && errno == EINTR) {
            }
        e.reaped = true;
        closeFd(e.exitFd);
    }

    // Sends `signal` to the program through its pidfd, and to its group while that number is
    // provably still the group's: the program is not yet reaped, and the system does not reap
    // it on its own.
    static void signal(Entry& e, int signal) {
        struct sigaction child {};
        ::sigaction(SIGCHLD, nullptr, &child);
        const bool autoReaped = child.sa_handler == SIG_IGN || (child.sa_flags & SA_NOCLDWAIT);
        if (!e.reaped && !autoReaped)
            ::kill(-e.pid, signal);
        if (e.exitFd >= 0)
            ::syscall(SYS_pidfd_send_signal, e.exitFd, signal, nullptr, 0);
    }

    void finishIfGone(LaunchId id) {
        auto it = entries.find(id);
        if (it == entries.end() || !it->second.status || it->second.end || !groupGone(it->second))
            return;
        Entry& e = it->second;
        reap(e);
        if (e.forgotten) {
            entries.erase(it);
            return;
        }
        e.end = endFrom(*e.status, *e.status != -1);
        e.end->firstErrorLine = e.errorLine;
        if (!e.end->firstErrorLine.empty() && e.end->firstErrorLine.back() == '\r')
            e.end->firstErrorLine.pop_back();
    }

    void collect() {
        epoll_event events[64];
        int n;
        do {
            n = ::epoll_wait(epoll, events, 64, 0);
            for (int i = 0; i < n; ++i) {
                const LaunchId id = events[i].data.u64 >> 2;
                const auto source = static_cast<Source>(events[i].data.u64 & 3);
                auto it = entries.find(id);
                if (it == entries.end())
                    continue;
                if (source == Exit)
                    exited(it->second);
                else
                    drain(it->second, source);
            }
        } while (n == 64);
        std::vector<LaunchId> ended;
        for (const auto& [id, e] : entries)
            if (e.status && !e.end)
                ended.push_back(id);
        for (LaunchId id : ended)
            finishIfGone(id);
    }

    Entry* running(LaunchId id) {
        auto it = entries.find(id);
        return it == entries.end() || it->second.end ? nullptr : &it->second;
    }
};

SpawnLauncher::SpawnLauncher() : state_(std::make_unique<State>()) {
    state_->epoll = ::epoll_create1(EPOLL_CLOEXEC);
}

SpawnLauncher::~SpawnLauncher() {
    // No launch outlives the program. One that cannot die (stuck in the kernel) is not waited
    // for: it is collected by the system once the program has gone.
    for (auto& [id, e] : state_->entries) {
        if (!e.end)
            State::signal(e, SIGKILL);
        State::reap(e);
        closeFd(e.errorFd);
        closeFd(e.progressFd);
    }
    closeFd(state_->epoll);
}

LaunchStart SpawnLauncher::launch(const std::string& folder, const std::string& file,
                                  const std::string& parameters, const std::string& attachment,
                                  int handedFolder) {
    if (state_->epoll < 0)
        return {EMFILE, 0};
    Descriptor attached, handed;
    if (!attachment.empty() && (attached.fd = memoryFile(attachment)) < 0)
        return {errno, 0};
    if (handedFolder >= 0 && (handed.fd = ::fcntl(handedFolder, F_DUPFD_CLOEXEC, 10)) < 0)
        return {errno, 0};
    Pipe error, progress;
    if (int err = error.open(); err != 0)
        return {err, 0};
    if (int err = progress.open(); err != 0)
        return {err, 0};

    // The child enters the folder before it executes, so a name is looked up there.
    const std::string program = file.find('/') == std::string::npos ? "./" + file : file;
    std::vector<std::string> args = SplitCommandLine(parameters);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(file.c_str()));
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    SpawnSettings s;
    posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&s.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&s.actions, error.write, 2);
    posix_spawn_file_actions_adddup2(&s.actions, progress.write, kLaunchProgressDescriptor);
    if (attached.fd >= 0)
        posix_spawn_file_actions_adddup2(&s.actions, attached.fd, kToolLinkDescriptor);
    else
        posix_spawn_file_actions_addclose(&s.actions, kToolLinkDescriptor);
    if (handed.fd >= 0)
        posix_spawn_file_actions_adddup2(&s.actions, handed.fd, kLaunchFolderDescriptor);
    posix_spawn_file_actions_addclosefrom_np(
        &s.actions, handed.fd >= 0 ? kLaunchFolderDescriptor + 1 : kLaunchFolderDescriptor);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&s.actions, folder.c_str());
    // A child starts with no signal blocked or ignored, whatever the program does with them, and
    // leads a process group of its own.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    posix_spawnattr_setpgroup(&s.attr, 0);
    posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                          POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    // glibc reports a failed file action or exec as the result, once the child has executed.
    if (int err = ::posix_spawn(&pid, program.c_str(), &s.actions, &s.attr, argv.data(), environ))
        return {err, 0};
    closeFd(error.write);
    closeFd(progress.write);

    // Through syscall(): glibc's own declaration lacks C linkage for C++ callers.
    const int exitFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (exitFd < 0) {
        // Its end could not be watched: it must not run unwatched.
        const int err = errno;
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return {err, 0};
    }
    const LaunchId id = state_->nextId++;
    State::Entry& e = state_->entries[id];
    e.pid = pid;
    e.exitFd = exitFd;
    std::swap(e.errorFd, error.read);
    std::swap(e.progressFd, progress.read);
    state_->watch(id, Exit, e.exitFd);
    state_->watch(id, ErrorOutput, e.errorFd);
    state_->watch(id, ProgressOutput, e.progressFd);
    return {0, id};
}

std::optional<LaunchEnd> SpawnLauncher::takeEnd(LaunchId id) {
    state_->collect();
    auto it = state_->entries.find(id);
    if (it == state_->entries.end() || !it->second.end)
        return std::nullopt;
    LaunchEnd end = std::move(*it->second.end);
    state_->entries.erase(it);
    return end;
}

void SpawnLauncher::forget(LaunchId id) {
    auto it = state_->entries.find(id);
    if (it == state_->entries.end())
        return;
    if (it->second.end)
        state_->entries.erase(it);
    else
        it->second.forgotten = true;
}

void SpawnLauncher::terminate(LaunchId id) {
    if (State::Entry* e = state_->running(id))
        State::signal(*e, SIGTERM);
}

void SpawnLauncher::kill(LaunchId id) {
    if (State::Entry* e = state_->running(id))
        State::signal(*e, SIGKILL);
}

std::optional<LaunchProgress> SpawnLauncher::progress(LaunchId id) {
    const State::Entry* e = state_->running(id);
    return e ? e->progress : std::nullopt;
}

int SpawnLauncher::eventDescriptor() const {
    return state_->epoll;
}

void SpawnLauncher::collect() {
    state_->collect();
}

} // namespace fm
