#include "decode_plan.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace fm::tool {

namespace {
// Restarts a run may spend besides one more pass over its folders' extents.
constexpr std::uint64_t kRestartAllowance = 64u << 20;
} // namespace

DecodePlan::DecodePlan(const mscabd_cabinet* cabinet, const std::vector<mscabd_file*>& files,
                       const std::vector<size_t>& chosen) {
    std::map<const mscabd_folder*, size_t> place;
    for (const mscabd_folder* f = cabinet->folders; f; f = f->next)
        place.emplace(f, place.size());
    folders_.resize(place.size());
    folderOf_.assign(files.size(), SIZE_MAX);
    std::vector<std::uint64_t> extent(place.size());
    for (size_t i : chosen) {
        const mscabd_file* f = files[i];
        auto it = f ? place.find(f->folder) : place.end();
        if (it == place.end())
            continue;
        folderOf_[i] = it->second;
        extent[it->second] =
            std::max<std::uint64_t>(extent[it->second], std::uint64_t(f->offset) + f->length);
    }
    for (std::uint64_t e : extent)
        budget_ += 2 * e;
    budget_ += kRestartAllowance;
    order_ = chosen;
    std::stable_sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
        const size_t fa = folderOf_[a] + 1, fb = folderOf_[b] + 1; // SIZE_MAX + 1: first
        if (fa != fb)
            return fa < fb;
        return fa != 0 && files[a]->offset < files[b]->offset;
    });
}

DecodePlan::Verdict DecodePlan::admit(size_t i, const mscabd_file* f) {
    if (folderOf_[i] == SIZE_MAX)
        return Verdict::Decode; // the decoder itself says why it cannot
    FolderRun& run = folders_[folderOf_[i]];
    if (run.damaged)
        return Verdict::FolderDamaged;
    const std::uint64_t end = std::uint64_t(f->offset) + f->length;
    const std::uint64_t work = f->offset >= run.end ? end - run.end : end;
    if (work > budget_)
        return Verdict::TooMuchWork;
    budget_ -= work;
    run.end = end;
    return Verdict::Decode;
}

void DecodePlan::failed(size_t i) {
    if (folderOf_[i] != SIZE_MAX)
        folders_[folderOf_[i]].damaged = true;
}

} // namespace fm::tool
