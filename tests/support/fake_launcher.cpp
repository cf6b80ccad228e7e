#include "support/fake_launcher.h"

#include <csignal>
#include <sys/stat.h>

namespace fm::test {

LaunchStart FakeLauncher::launch(const std::string& folder, const std::string& file,
                                 const std::string& parameters, const std::string& attachment,
                                 int handedFolder) {
    const size_t n = calls.size();
    struct stat st {};
    if (handedFolder >= 0)
        ::fstat(handedFolder, &st);
    calls.push_back({folder, file, parameters, attachment, {st.st_dev, st.st_ino}});
    if (onLaunch)
        onLaunch(n);
    if (refusals.count(n))
        return {refusals[n], 0};
    if (held.count(n))
        open_[n + 1] = std::nullopt;
    else
        open_[n + 1] = ends.count(n) ? ends[n] : LaunchEnd{};
    return {0, n + 1};
}

std::optional<LaunchEnd> FakeLauncher::takeEnd(LaunchId id) {
    auto it = open_.find(id);
    if (it == open_.end() || !it->second)
        return std::nullopt;
    LaunchEnd end = *it->second;
    open_.erase(it);
    return end;
}

void FakeLauncher::forget(LaunchId id) {
    open_.erase(id);
}

std::optional<LaunchProgress> FakeLauncher::progress(LaunchId id) {
    auto it = open_.find(id);
    if (it == open_.end() || it->second || !progressOf.count(id - 1))
        return std::nullopt;
    return progressOf[id - 1];
}

void FakeLauncher::finish(size_t launch, LaunchEnd end) {
    if (auto it = open_.find(launch + 1); it != open_.end() && !it->second)
        it->second = std::move(end);
}

void FakeLauncher::deliver(LaunchId id, int sig) {
    auto it = open_.find(id);
    if (it == open_.end() || it->second)
        return;
    signalsSent.push_back({id - 1, sig});
    if (sig == SIGKILL || !deaf.count(id - 1))
        it->second = LaunchEnd{true, sig, {}};
}

bool FakeProcessList::visit(const std::function<bool(std::string_view name)>& visit) const {
    for (const auto& n : names)
        if (visit(n))
            return true;
    return true;
}

} // namespace fm::test
