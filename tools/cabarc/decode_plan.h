#pragma once

// The order in which a run decodes its files, and the work it allows them.
//
// A folder is one compressed stream: its files are decoded in the order of their offsets, so
// that one pass serves them all. A file that starts before the end of the one decoded last
// (records that overlap) makes the decoder start its folder over; such restarts may cost at most
// as much again as one pass over every folder, plus a fixed allowance, so that the work stays
// bounded by the cabinet's own size. After a decode failure the rest of that folder is not tried:
// it would fail at the same place, each time after decoding everything before it.

#include <mspack.h>

#include <cstdint>
#include <vector>

namespace fm::tool {

class DecodePlan {
public:
    // `files` as the run holds them (null entries allowed); `chosen` the indexes it decodes.
    DecodePlan(const mscabd_cabinet* cabinet, const std::vector<mscabd_file*>& files,
               const std::vector<size_t>& chosen);

    // The chosen indexes, those without a file first, then by folder and offset (stable).
    const std::vector<size_t>& order() const { return order_; }

    enum class Verdict {
        Decode,        // go ahead
        FolderDamaged, // an earlier file of its folder failed to decode
        TooMuchWork,   // its folder would have to be decoded once too often
    };
    // Whether file `i` (of `files`, which may have been read again since) is decoded; counts the
    // work when it is.
    Verdict admit(size_t i, const mscabd_file* f);
    // Decoding file `i` failed: the files after it in its folder are not tried.
    void failed(size_t i);

private:
    struct FolderRun {
        std::uint64_t end = 0; // where the decoder stands after the last file
        bool damaged = false;
    };
    std::vector<size_t> order_;
    std::vector<size_t> folderOf_; // per index of `files`: its folder's place, SIZE_MAX for none
    std::vector<FolderRun> folders_;
    std::uint64_t budget_ = 0;
};

} // namespace fm::tool
