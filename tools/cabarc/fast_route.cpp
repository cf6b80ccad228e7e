#include "fast_route.h"

#include "cabinet_set.h"
#include "tool_main.h"

#include <algorithm>
#include <sys/stat.h>

namespace fm::tool {

FastRoute::FastRoute(const CabinetSet& set, const std::string& path, const ToolEnvironment& env) {
    MsZipRoute route = env.msZip;
    const mscabd_cabinet* cab = set.cabinet();
    if (set.partPaths().size() != 1 || (cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)))
        return;
    bool anyMsZip = false, anyStored = false, anyLzx = false;
    for (const mscabd_folder* f = cab->folders; f; f = f->next) {
        anyMsZip = anyMsZip || (f->comp_type & 0x0F) == MSCAB_COMP_MSZIP;
        anyStored = anyStored || (f->comp_type & 0x0F) == MSCAB_COMP_NONE;
        anyLzx = anyLzx || LzxDecoder::Handles(static_cast<std::uint16_t>(f->comp_type));
    }
    // The MSZIP decoder also reads stored folders; the libmspack route keeps both with libmspack.
    const bool ownMsZip = (anyMsZip || anyStored) && route != MsZipRoute::Libmspack;
    anyLzx = anyLzx && env.ownLzx;
    if (!ownMsZip && !anyLzx)
        return;
    layout_ = ReadCabinetLayout(path);
    if (!layout_)
        return;
    if (anyLzx) {
        lzx_ = std::make_unique<LzxDecoder>(path, layout_->blockReserve, env.lzxFrames);
        path_ = path;
        lzxFrames_ = env.lzxFrames;
        lzxWorkers_ = env.lzxWorkers;
        lzxAheadFrom_ = env.lzxAheadFromBytes;
    }
    if (!ownMsZip) {
        refresh(set);
        return;
    }
    struct stat st {};
    if (!anyMsZip) // nothing to inflate: ISA-L is not loaded
        route = MsZipRoute::Zlib;
    if (route == MsZipRoute::Isal &&
        (::stat(path.c_str(), &st) != 0 || std::uint64_t(st.st_size) < env.isalFromBytes))
        route = MsZipRoute::Zlib;
    decoder_ = std::make_unique<MsZipDecoder>(
        path, layout_->blockReserve,
        route == MsZipRoute::Zlib        ? MsZipDecoder::Inflater::Zlib
        : route == MsZipRoute::IsalDrill ? MsZipDecoder::Inflater::IsalDrill
                                         : MsZipDecoder::Inflater::Isal,
        env.isalLibraries, env.zlibBlocks);
    refresh(set);
}

void FastRoute::refresh(const CabinetSet& set) {
    index_.clear();
    if (!layout_)
        return;
    // How far each folder's files reach into its data (a file of no bytes needs none of it).
    std::map<const mscabd_folder*, std::uint64_t> reach;
    for (const mscabd_file* file : set.setFiles()) {
        std::uint64_t& r = reach[file->folder];
        if (file->length > 0)
            r = std::max(r, std::uint64_t(file->offset) + file->length);
    }
    unsigned i = 0;
    for (const mscabd_folder* f = set.cabinet()->folders; f; f = f->next, ++i) {
        if (i >= layout_->folders.size() || f->comp_type != layout_->folders[i].compression ||
            f->num_blocks != layout_->folders[i].blockCount) {
            index_.clear(); // tables disagree: leave everything to libmspack
            return;
        }
        // A stored folder is libmspack's unless it holds more blocks than its stored count
        // (which then has wrapped past 65,535): its files reach beyond what that many blocks can
        // hold, or its data takes more room than that many blocks can and room enough for 65,536
        // blocks more.
        const FolderLayout& l = layout_->folders[i];
        const std::uint64_t room = l.dataEnd - l.firstBlock, header = 8u + layout_->blockReserve;
        const unsigned type = f->comp_type & 0x0F;
        if ((type == MSCAB_COMP_MSZIP && decoder_) ||
            (type == MSCAB_COMP_NONE && decoder_ &&
             (reach[f] > l.blockCount * std::uint64_t(32768) ||
              (room > l.blockCount * (header + 32768) &&
               room >= (l.blockCount + 65536u) * (header + 1)))) ||
            (LzxDecoder::Handles(static_cast<std::uint16_t>(f->comp_type)) && lzx_))
            index_[f] = i;
    }
    if (i != layout_->folders.size())
        index_.clear();
}

void FastRoute::expect(const std::vector<mscabd_file*>& files, const std::vector<size_t>& order) {
    if (!lzx_ || lzxWorkers_ == 0u)
        return;
    std::vector<FolderPrefetch::Folder> folders;
    std::map<unsigned, size_t> seen;
    std::map<size_t, std::uint64_t> taken; // where each folder's files taken so far end
    for (size_t i : order) {
        const mscabd_file* f = files[i];
        const auto it = f ? index_.find(f->folder) : index_.end();
        if (it == index_.end() || !LzxDecoder::Handles(layout_->folders[it->second].compression))
            continue;
        const auto [at, fresh] = seen.try_emplace(it->second, folders.size());
        if (fresh)
            folders.push_back({it->second, layout_->folders[it->second], 0});
        // A file beyond what its folder's blocks can hold (under 2 GiB) fails on its record alone.
        const std::uint64_t end = std::uint64_t(f->offset) + f->length;
        FolderPrefetch::Folder& folder = folders[at->second];
        if (f->length && end <= folder.layout.blockCount * std::uint64_t(32768)) {
            std::uint64_t& from = taken[at->second];
            folder.inOrder = folder.inOrder && f->offset >= from;
            from = std::max(from, end);
            folder.reach = std::max(folder.reach, static_cast<std::uint32_t>(end));
        }
    }
    std::uint64_t total = 0;
    for (const FolderPrefetch::Folder& f : folders)
        total += f.reach;
    if (folders.empty() || total < lzxAheadFrom_)
        return;
    if (const unsigned workers = lzxWorkers_.value_or(FolderPrefetch::Workers()); workers > 0)
        prefetch_ =
            std::make_unique<FolderPrefetch>(path_, layout_->blockReserve, std::move(folders),
                                             workers, FolderPrefetch::Budget(), lzxFrames_);
}

std::optional<int> FastRoute::extract(const mscabd_file* f, PendingFile* out) {
    auto it = index_.find(f->folder);
    if (it == index_.end())
        return std::nullopt;
    const FolderLayout& folder = layout_->folders[it->second];
    if ((folder.compression & 0x0F) == MSCAB_COMP_LZX) {
        if (prefetch_)
            if (auto rc = prefetch_->extract(it->second, f->offset, f->length, out))
                return rc;
        return lzx_->extract(it->second, folder, f->offset, f->length, out);
    }
    return decoder_->extract(it->second, folder, f->offset, f->length, out);
}

} // namespace fm::tool
