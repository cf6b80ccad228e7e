#pragma once

// Which files of a cabinet the tool's own decoders take, and the decoding of those: MSZIP, LZX and
// stored folders (the stored ones only where their block count has wrapped past 65,535) of a
// cabinet that is not part of a set, once the cabinet's own folder table agrees with what
// libmspack read. Everything else (Quantum, sets) stays with libmspack. Extraction and the test
// mode decode through it alike, so a test passes exactly what an extraction would write.

#include "cabinet_layout.h"
#include "folder_prefetch.h"
#include "lzx_decoder.h"
#include "mszip_decoder.h"

#include <map>
#include <memory>
#include <mspack.h>
#include <optional>
#include <string>
#include <vector>

namespace fm::tool {

class CabinetSet;
class PendingFile;
struct ToolEnvironment;

class FastRoute {
public:
    FastRoute(const CabinetSet& set, const std::string& path, const ToolEnvironment& env);

    // Learns the folder pointers again (after the set was reopened).
    void refresh(const CabinetSet& set);

    // The files the run will ask for, in its order (null entries allowed): their LZX folders are
    // then decoded on other cores, ahead of the run.
    void expect(const std::vector<mscabd_file*>& files, const std::vector<size_t>& order);

    // Decodes `f` into `out` when it is this route's (a libmspack error code); nullopt when it
    // is not.
    std::optional<int> extract(const mscabd_file* f, PendingFile* out);

private:
    std::optional<CabinetLayout> layout_;
    std::unique_ptr<MsZipDecoder> decoder_;
    std::unique_ptr<LzxDecoder> lzx_;
    std::unique_ptr<FolderPrefetch> prefetch_;
    std::string path_;
    std::uint64_t* lzxFrames_ = nullptr;
    std::optional<unsigned> lzxWorkers_;
    std::uint64_t lzxAheadFrom_ = 0;
    std::map<const mscabd_folder*, unsigned> index_;
};

} // namespace fm::tool
