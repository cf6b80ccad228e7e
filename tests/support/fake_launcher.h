#pragma once

// Stand-ins for the launcher and the process list: launches are recorded, not made, and the
// process list shows what the test puts in it.

#include "platform/launcher.h"
#include "platform/process_list.h"

#include <functional>
#include <map>
#include <vector>

namespace fm::test {

class FakeLauncher : public Launcher {
public:
    struct Call {
        std::string folder, file, parameters, attachment;
    };
    LaunchStart launch(const std::string& folder, const std::string& file,
                       const std::string& parameters, const std::string& attachment) override;
    std::optional<LaunchEnd> takeEnd(LaunchId id) override;
    void forget(LaunchId id) override { open_.erase(id); }
    void stop(LaunchId id) override { stops.push_back(id); }

    std::vector<Call> calls;          // every launch asked for, started or not
    std::map<size_t, int> refusals;   // launch number (from 0) -> errno; it does not start
    std::map<size_t, LaunchEnd> ends; // launch number -> its end; the others exit with 0
    std::vector<LaunchId> stops;      // every stop asked for
    size_t outstanding() const { return open_.size(); } // ends neither taken nor forgotten

private:
    std::map<LaunchId, LaunchEnd> open_;
};

class FakeProcessList : public ProcessList {
public:
    bool visit(const std::function<bool(std::string_view name)>& visit) const override;

    std::vector<std::string> names;
    bool readable = true;
    std::function<void(int)> onListing; // called with the number of earlier listings
    mutable int listings = 0;
};

} // namespace fm::test
