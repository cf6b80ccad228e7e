#include "fast_route.h"

#include "cabinet_set.h"
#include "tool_main.h"

#include <sys/stat.h>

namespace fm::tool {

FastRoute::FastRoute(const CabinetSet& set, const std::string& path, const ToolEnvironment& env) {
    MsZipRoute route = env.msZip;
    const mscabd_cabinet* cab = set.cabinet();
    if (set.partPaths().size() != 1 || (cab->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB)))
        return;
    bool anyMsZip = false, anyLzx = false;
    for (const mscabd_folder* f = cab->folders; f; f = f->next) {
        anyMsZip = anyMsZip || (f->comp_type & 0x0F) == MSCAB_COMP_MSZIP;
        anyLzx = anyLzx || LzxDecoder::Handles(static_cast<std::uint16_t>(f->comp_type));
    }
    anyMsZip = anyMsZip && route != MsZipRoute::Libmspack;
    anyLzx = anyLzx && env.ownLzx;
    if (!anyMsZip && !anyLzx)
        return;
    layout_ = ReadCabinetLayout(path);
    if (!layout_)
        return;
    if (anyLzx)
        lzx_ = std::make_unique<LzxDecoder>(path, layout_->blockReserve, env.lzxFrames);
    if (!anyMsZip) {
        refresh(set);
        return;
    }
    struct stat st {};
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
    unsigned i = 0;
    for (const mscabd_folder* f = set.cabinet()->folders; f; f = f->next, ++i) {
        if (i >= layout_->folders.size() || f->comp_type != layout_->folders[i].compression ||
            f->num_blocks != layout_->folders[i].blockCount) {
            index_.clear(); // tables disagree: leave everything to libmspack
            return;
        }
        if (((f->comp_type & 0x0F) == MSCAB_COMP_MSZIP && decoder_) ||
            (LzxDecoder::Handles(static_cast<std::uint16_t>(f->comp_type)) && lzx_))
            index_[f] = i;
    }
    if (i != layout_->folders.size())
        index_.clear();
}

std::optional<int> FastRoute::extract(const mscabd_file* f, PendingFile* out) {
    auto it = index_.find(f->folder);
    if (it == index_.end())
        return std::nullopt;
    const FolderLayout& folder = layout_->folders[it->second];
    if ((folder.compression & 0x0F) == MSCAB_COMP_LZX)
        return lzx_->extract(it->second, folder, f->offset, f->length, out);
    return decoder_->extract(it->second, folder, f->offset, f->length, out);
}

} // namespace fm::tool
