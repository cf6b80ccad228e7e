#pragma once

// Starting the cabinet tool: a program from a folder, with one parameter string.
//
// A Windows program hands a child one parameter string and the child's C runtime splits it; here
// the launcher splits it with SplitCommandLine, so the child gets the arguments it would get
// there. A launch does not wait for the program to end, but every launched process is collected
// when it ends (it never lingers as a zombie), and how it ended is kept until the caller takes it.
//
// Each launch runs in a process group of its own, so the program and whatever it starts can be
// told to stop together, and a launch counts as running until that whole group is gone. The
// program itself is signalled through its pidfd; its group only while the program is not yet
// reaped (it is left a zombie until the group has gone), so the group's number cannot have been
// given to someone else's processes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace fm {

using LaunchId = std::uint64_t;

// The descriptor a launched program may write its progress to: lines "<done>/<total>\n" (bytes,
// decimal). The program is told so on its command line; the launcher keeps the last line.
inline constexpr int kLaunchProgressDescriptor = 4;
// The descriptor a launched program finds the folder it is to write into on, when it is handed
// one: the folder the caller checked, so that no path to it is looked up again.
inline constexpr int kLaunchFolderDescriptor = 5;

struct LaunchStart {
    int error = 0;   // 0 when the program runs, else the errno that kept it from starting
    LaunchId id = 0; // valid when error is 0

    // The system lacked processes, memory or descriptors for the start: it may succeed once
    // something that runs has ended.
    bool shortOfResources() const;
};

// How a launched program ended.
struct LaunchEnd {
    bool signaled = false; // ended by a signal
    int code = 0;          // its exit status, or the number of the signal
    // The first line the program wrote to its error output (without the line end), "" for none.
    std::string firstErrorLine;

    bool failed() const { return signaled || code != 0; }
};

// The last progress line a launched program wrote.
struct LaunchProgress {
    std::uint64_t done = 0, total = 0;
};

class Launcher {
public:
    virtual ~Launcher() = default;

    // Starts `file` (a name looked up in `folder`, or a path) with `folder` (a POSIX path) as its
    // working folder and the arguments SplitCommandLine makes of `parameters`. A non-empty
    // `attachment` is readable by the program on descriptor 3 (kToolLinkDescriptor), from its
    // start, as a file of its own; descriptor 4 is its progress pipe; an open `handedFolder` (a
    // folder descriptor, >= 0) is on descriptor 5 (kLaunchFolderDescriptor); no other descriptor
    // past the standard three is inherited. Returns once the program runs, or with the errno when
    // it could not be started (missing, not executable, not a program, the folder missing, or
    // short of resources).
    virtual LaunchStart launch(const std::string& folder, const std::string& file,
                               const std::string& parameters, const std::string& attachment,
                               int handedFolder = -1) = 0;

    // How the launch ended, once it has; nullopt while it still runs (and for an unknown id).
    // An end is handed out once: afterwards the launch is forgotten.
    virtual std::optional<LaunchEnd> takeEnd(LaunchId id) = 0;

    // The caller will not ask for this launch: its end is dropped when it comes.
    virtual void forget(LaunchId id) = 0;

    // Asks a running launch and everything in its process group to stop (SIGTERM), or makes them
    // (SIGKILL). Nothing happens for a launch that has ended or is unknown.
    virtual void terminate(LaunchId id) = 0;
    virtual void kill(LaunchId id) = 0;

    // The last progress a running launch reported, if any.
    virtual std::optional<LaunchProgress> progress(LaunchId) { return std::nullopt; }

    // A descriptor that becomes readable when a launched program has ended or reported something;
    // the caller then calls collect(). -1 when there is none. Either way the caller also calls
    // collect() from time to time: when a program ends before the processes it started, nothing
    // signals their end (collect() is cheap).
    virtual int eventDescriptor() const { return -1; }
    // Takes in what the launched programs have reported and how they ended. Never blocks.
    virtual void collect() {}
};

// Whether a process of the process group runs; one that has ended but was not yet collected (a
// zombie) does not count.
bool ProcessGroupRuns(int group);

// The real launcher: posix_spawn into a new process group, standard input and output on
// /dev/null, an attachment in an anonymous memory file (nothing of it is left on disk), the error
// output and the progress descriptor into pipes that are read as data
// arrives (the first error line kept, the rest drained so a chatty program never stalls). No
// thread and no file: everything waits on one epoll descriptor that the caller watches. Launches
// still running when the launcher goes are killed with their groups and collected.
class SpawnLauncher : public Launcher {
public:
    SpawnLauncher();
    ~SpawnLauncher() override;
    SpawnLauncher(const SpawnLauncher&) = delete;
    SpawnLauncher& operator=(const SpawnLauncher&) = delete;

    LaunchStart launch(const std::string& folder, const std::string& file,
                       const std::string& parameters, const std::string& attachment,
                       int handedFolder = -1) override;
    std::optional<LaunchEnd> takeEnd(LaunchId id) override;
    void forget(LaunchId id) override;
    void terminate(LaunchId id) override;
    void kill(LaunchId id) override;
    std::optional<LaunchProgress> progress(LaunchId id) override;
    int eventDescriptor() const override;
    void collect() override;

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace fm
