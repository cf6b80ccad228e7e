#include "platform/launcher.h"

#include "platform/command_line.h"
#include "platform/tool_link.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

extern char** environ;

namespace fm {

namespace {

// Collecting a child needs next to no stack; a small one lets a run start a thousand tools
// without reserving gigabytes of address space.
constexpr size_t kCollectorStack = 64 * 1024;
constexpr size_t kErrorLineMax = 4096;

// The first line of a file (at most kErrorLineMax bytes), without its line end.
std::string firstLine(const std::string& path) {
    std::string line;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return line;
    char buf[kErrorLineMax];
    ssize_t n;
    while (line.size() < kErrorLineMax && (n = ::read(fd, buf, sizeof buf)) != 0) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        line.append(buf, static_cast<size_t>(n));
        if (line.find('\n') != std::string::npos)
            break;
    }
    ::close(fd);
    line = line.substr(0, std::min(line.find('\n'), kErrorLineMax));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

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

// Where the error-output files go: TMPDIR when set, else memory-backed /dev/shm when there is
// one (a run makes and removes a file per launch, a thousand in a row), else /tmp.
std::string tempFolder() {
    if (const char* t = std::getenv("TMPDIR"); t && *t)
        return t;
    return ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
}

// A memory file holding `text`, positioned at its start, on a descriptor above the one the child
// gets it on (so the dup2 in the child is a real copy, which clears close-on-exec); -1 with errno
// set when it cannot be made.
int memoryFile(const std::string& text) {
    int fd = ::memfd_create("fendlemark-link", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    if (fd <= kToolLinkDescriptor) {
        const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kToolLinkDescriptor + 1);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        if ((fd = high) < 0)
            return -1;
    }
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

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

struct SpawnLauncher::State {
    struct Entry {
        pid_t pid = 0;
        std::string errorFile;
        bool watched = false; // a collector thread waits for it
        bool forgotten = false;
        bool exited = false; // ended, maybe not yet collected: its pid may not be signalled
        std::optional<LaunchEnd> end;
    };

    std::mutex mutex;
    std::unordered_map<LaunchId, Entry> entries;
    LaunchId nextId = 1;
    size_t unwatched = 0; // entries no collector thread waits for

    // Records how a child ended; called with the mutex free.
    void finish(LaunchId id, int status, bool known, const std::string& errorFile) {
        LaunchEnd end = endFrom(status, known);
        end.firstErrorLine = firstLine(errorFile);
        ::unlink(errorFile.c_str());
        std::lock_guard lock(mutex);
        auto it = entries.find(id);
        if (it == entries.end())
            return;
        if (it->second.forgotten)
            entries.erase(it);
        else
            it->second.end = std::move(end);
    }

    // Children no thread watches (a thread could not be made): collected when they have ended.
    void sweep() {
        struct Done {
            LaunchId id;
            int status;
            bool known;
            std::string errorFile;
        };
        std::vector<Done> done;
        {
            std::lock_guard lock(mutex);
            if (unwatched == 0)
                return;
            for (auto& [id, e] : entries) {
                if (e.watched || e.end || e.pid == 0)
                    continue;
                int status = 0;
                pid_t r = ::waitpid(e.pid, &status, WNOHANG);
                if (r == 0)
                    continue;
                e.pid = 0;
                --unwatched;
                done.push_back({id, status, r > 0, e.errorFile});
            }
        }
        for (const Done& d : done)
            finish(d.id, d.status, d.known, d.errorFile);
    }
};

namespace {

struct Collector {
    std::shared_ptr<SpawnLauncher::State> state;
    LaunchId id;
    pid_t pid;
    std::string errorFile;
};

void* collect(void* arg) {
    std::unique_ptr<Collector> job(static_cast<Collector*>(arg));
    // First seen ended but left uncollected, so that stop() never signals a reused pid.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(job->pid), &info, WEXITED | WNOWAIT) < 0 &&
           errno == EINTR) {
    }
    {
        std::lock_guard lock(job->state->mutex);
        if (auto it = job->state->entries.find(job->id); it != job->state->entries.end())
            it->second.exited = true;
    }
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(job->pid, &status, 0)) < 0 && errno == EINTR) {
    }
    // ECHILD: someone else collected it (SIGCHLD ignored); how it ended is not known.
    job->state->finish(job->id, status, r == job->pid, job->errorFile);
    return nullptr;
}

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

SpawnLauncher::SpawnLauncher() : state_(std::make_shared<State>()) {}

SpawnLauncher::~SpawnLauncher() {
    // Children still running are left to their collector threads, which keep the state alive.
    std::lock_guard lock(state_->mutex);
    for (auto& [id, e] : state_->entries)
        e.forgotten = true;
}

LaunchStart SpawnLauncher::launch(const std::string& folder, const std::string& file,
                                  const std::string& parameters, const std::string& attachment) {
    state_->sweep();

    Descriptor attached;
    if (!attachment.empty() && (attached.fd = memoryFile(attachment)) < 0)
        return {errno, 0};

    // The error output goes to a file, not a pipe: a pipe nobody reads while the run starts
    // further tools could fill and stop the child.
    std::string errorFile = tempFolder() + "/fendlemark-stderr-XXXXXX";
    int fd = ::mkostemp(errorFile.data(), O_CLOEXEC);
    if (fd < 0)
        return {errno, 0};
    ::close(fd);

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
    posix_spawn_file_actions_addopen(&s.actions, 2, errorFile.c_str(),
                                     O_WRONLY | O_TRUNC | O_NOFOLLOW, 0);
    int firstClosed = 3;
    if (attached.fd >= 0) {
        posix_spawn_file_actions_adddup2(&s.actions, attached.fd, kToolLinkDescriptor);
        firstClosed = kToolLinkDescriptor + 1;
    }
    posix_spawn_file_actions_addclosefrom_np(&s.actions, firstClosed);
    if (!folder.empty())
        posix_spawn_file_actions_addchdir_np(&s.actions, folder.c_str());
    // A child starts with no signal blocked or ignored, whatever the program does with them.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&s.attr, &none);
    posix_spawnattr_setsigdefault(&s.attr, &all);
    posix_spawnattr_setflags(&s.attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    // glibc reports a failed file action or exec as the result, once the child has executed.
    if (int err = ::posix_spawn(&pid, program.c_str(), &s.actions, &s.attr, argv.data(), environ)) {
        ::unlink(errorFile.c_str());
        return {err, 0};
    }

    LaunchId id;
    {
        std::lock_guard lock(state_->mutex);
        id = state_->nextId++;
        state_->entries[id] = State::Entry{pid, errorFile, true, false, false, std::nullopt};
    }
    auto* job = new Collector{state_, id, pid, errorFile};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, kCollectorStack);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int err = ::pthread_create(&thread, &attr, collect, job);
    pthread_attr_destroy(&attr);
    if (err != 0) {
        delete job;
        std::lock_guard lock(state_->mutex);
        state_->entries[id].watched = false;
        ++state_->unwatched;
    }
    return {0, id};
}

std::optional<LaunchEnd> SpawnLauncher::takeEnd(LaunchId id) {
    state_->sweep();
    std::lock_guard lock(state_->mutex);
    auto it = state_->entries.find(id);
    if (it == state_->entries.end() || !it->second.end)
        return std::nullopt;
    LaunchEnd end = std::move(*it->second.end);
    state_->entries.erase(it);
    return end;
}

void SpawnLauncher::forget(LaunchId id) {
    std::lock_guard lock(state_->mutex);
    auto it = state_->entries.find(id);
    if (it == state_->entries.end())
        return;
    if (it->second.end)
        state_->entries.erase(it);
    else
        it->second.forgotten = true;
}

void SpawnLauncher::stop(LaunchId id) {
    std::lock_guard lock(state_->mutex);
    auto it = state_->entries.find(id);
    // Not yet seen ended, so not yet collected: the pid is still this child's.
    if (it != state_->entries.end() && !it->second.exited && !it->second.end && it->second.pid > 0)
        ::kill(it->second.pid, SIGTERM);
}

} // namespace fm
