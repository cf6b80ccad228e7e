#pragma once

// Starting the cabinet tool: a program from a folder, with one parameter string.
//
// A Windows program hands a child one parameter string and the child's C runtime splits it; here
// the launcher splits it with SplitCommandLine, so the child gets the arguments it would get
// there. A launch does not wait for the program to end, but every launched process is collected
// when it ends (it never lingers as a zombie), and how it ended is kept until the caller takes it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace fm {

using LaunchId = std::uint64_t;

struct LaunchStart {
    int error = 0;   // 0 when the program runs, else the errno that kept it from starting
    LaunchId id = 0; // valid when error is 0
};

// How a launched program ended.
struct LaunchEnd {
    bool signaled = false; // ended by a signal
    int code = 0;          // its exit status, or the number of the signal
    // The first line the program wrote to its error output (without the line end), "" for none.
    std::string firstErrorLine;

    bool failed() const { return signaled || code != 0; }
};

class Launcher {
public:
    virtual ~Launcher() = default;

    // Starts `file` (a name looked up in `folder`, or a path) with `folder` (a POSIX path) as its
    // working folder and the arguments SplitCommandLine makes of `parameters`. A non-empty
    // `attachment` is readable by the program on descriptor 3 (kToolLinkDescriptor), from its
    // start, as a file of its own; no other descriptor past the standard three is inherited.
    // Returns once the program runs, or with the errno when it could not be started (missing, not
    // executable, not a program, the folder missing).
    virtual LaunchStart launch(const std::string& folder, const std::string& file,
                               const std::string& parameters, const std::string& attachment) = 0;

    // How the launch ended, once it has; nullopt while it still runs (and for an unknown id).
    // An end is handed out once: afterwards the launch is forgotten.
    virtual std::optional<LaunchEnd> takeEnd(LaunchId id) = 0;

    // The caller will not ask for this launch: its end is dropped when it comes.
    virtual void forget(LaunchId id) = 0;

    // Asks a launch that still runs to stop (SIGTERM: the tool removes what it was writing and
    // ends). Its end is then taken as usual. Nothing happens once it has ended.
    virtual void stop(LaunchId id) = 0;
};

// The real launcher: posix_spawn, standard input and output on /dev/null, the error output into
// a temporary file that is read (first line) and removed when the process has been collected, an
// attachment in an anonymous memory file (nothing of it is left on disk).
class SpawnLauncher : public Launcher {
public:
    SpawnLauncher();
    ~SpawnLauncher() override;
    SpawnLauncher(const SpawnLauncher&) = delete;
    SpawnLauncher& operator=(const SpawnLauncher&) = delete;

    LaunchStart launch(const std::string& folder, const std::string& file,
                       const std::string& parameters, const std::string& attachment) override;
    std::optional<LaunchEnd> takeEnd(LaunchId id) override;
    void forget(LaunchId id) override;
    void stop(LaunchId id) override;

    struct State;

private:
    // Shared with the threads that collect the children, so a launcher may go before they do.
    std::shared_ptr<State> state_;
};

} // namespace fm
