#include "support/fake_launcher.h"

namespace fm::test {

LaunchStart FakeLauncher::launch(const std::string& folder, const std::string& file,
                                 const std::string& parameters, const std::string& attachment) {
    const size_t n = calls.size();
    calls.push_back({folder, file, parameters, attachment});
    if (refusals.count(n))
        return {refusals[n], 0};
    open_[n + 1] = ends.count(n) ? ends[n] : LaunchEnd{};
    return {0, n + 1};
}

std::optional<LaunchEnd> FakeLauncher::takeEnd(LaunchId id) {
    auto it = open_.find(id);
    if (it == open_.end())
        return std::nullopt;
    LaunchEnd end = it->second;
    open_.erase(it);
    return end;
}

bool FakeProcessList::visit(const std::function<bool(std::string_view name)>& visit) const {
    if (onListing)
        onListing(listings);
    ++listings;
    for (const auto& n : names)
        if (readable && visit(n))
            return true;
    return readable;
}

} // namespace fm::test
