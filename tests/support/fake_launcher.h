#pragma once

// Stand-ins for the launcher and the process list: launches are recorded, not made, and the
// process list shows what the test puts in it.

#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/process_list.h"

#include <csignal>
#include <functional>
#include <map>
#include <set>
#include <vector>

namespace fm::test {

class FakeLauncher : public Launcher {
public:
    struct Call {
        std::string folder, file, parameters, attachment;
        FolderId handed; // the folder handed over open, if any
    };
    LaunchStart launch(const std::string& folder, const std::string& file,
                       const std::string& parameters, const std::string& attachment,
                       int handedFolder = -1) override;
    std::optional<LaunchEnd> takeEnd(LaunchId id) override;
    void forget(LaunchId id) override;
    void terminate(LaunchId id) override { deliver(id, SIGTERM); }
    void kill(LaunchId id) override { deliver(id, SIGKILL); }
    std::optional<LaunchProgress> progress(LaunchId id) override;

    // Ends a launch that `held` kept running.
    void finish(size_t launch, LaunchEnd end = {});

    std::vector<Call> calls;              // every launch asked for, started or not
    std::map<size_t, int> refusals;       // launch number (from 0) -> errno; it does not start
    std::map<size_t, LaunchEnd> ends;     // launch number -> its end; the others exit with 0
    std::set<size_t> held;                // launches that run until finished or signalled
    std::set<size_t> deaf;                // of those, the ones SIGTERM does not end
    std::function<void(size_t)> onLaunch; // called with the launch number as it is made
    std::map<size_t, LaunchProgress> progressOf;        // what a running launch reports
    std::vector<std::pair<size_t, int>> signalsSent;    // (launch number, signal)
    size_t outstanding() const { return open_.size(); } // ends neither taken nor forgotten

private:
    void deliver(LaunchId id, int sig);
    std::map<LaunchId, std::optional<LaunchEnd>> open_; // nullopt while it runs
};

class FakeProcessList : public ProcessList {
public:
    bool visit(const std::function<bool(std::string_view name)>& visit) const override;

    std::vector<std::string> names;
};

} // namespace fm::test
