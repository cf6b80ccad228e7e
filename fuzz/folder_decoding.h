#pragma once

// What the decoder targets share: data blocks, the files of a folder, and each as extracted.

#include "fuzz_support.h"
#include "output_file.h"

#include <mspack.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace fm::fuzz {

// Data blocks as a cabinet stores them (checksum, packed size, size, packed bytes), their
// checksums cleared (both sides check them alike, and a wrong one would hide the decoding).
struct DataBlocks {
    std::string bytes;
    unsigned count = 0;      // at most 65,535
    std::uint64_t total = 0; // the sizes they claim to unpack to
};

inline DataBlocks ClearedBlocks(std::string bytes) {
    DataBlocks b{std::move(bytes)};
    for (std::size_t at = 0; at + 8 <= b.bytes.size() && b.count < 0xFFFF; ++b.count) {
        std::fill_n(b.bytes.begin() + static_cast<std::ptrdiff_t>(at), 4, '\0');
        const auto* p = reinterpret_cast<const unsigned char*>(b.bytes.data() + at);
        b.total += p[6] | p[7] << 8;
        at += 8 + (p[4] | p[5] << 8);
    }
    return b;
}

// Where the files of a folder of `length` bytes start and end: one file, or (split 1..255) two,
// the second starting at split/256 of it.
inline std::vector<std::uint32_t> FileCuts(std::uint32_t length, unsigned split) {
    std::vector<std::uint32_t> cuts{0};
    if (split != 0)
        cuts.push_back(static_cast<std::uint32_t>(std::uint64_t(length) * split / 256));
    cuts.push_back(length);
    return cuts;
}

// Each file between `cuts` extracted (offset, length, output): its error code, and its bytes,
// which a success must give in full.
struct Outcome {
    std::vector<int> codes;
    std::vector<std::string> files;
};

inline Outcome
DecodeFiles(const std::vector<std::uint32_t>& cuts,
            const std::function<int(std::uint32_t, std::uint32_t, tool::PendingFile*)>& extract) {
    static ScratchFolder scratch;
    static const int folderFd = ::open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Outcome outcome;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        std::string bytes;
        tool::PendingFile out([&](int, const void* data, std::size_t size) {
            bytes.append(static_cast<const char*>(data), size);
            return static_cast<ssize_t>(size);
        });
        FM_FUZZ_CHECK(out.create(folderFd, "out", false) == tool::PendingFile::Created::Fresh,
                      "no scratch file");
        const int rc = extract(cuts[i], cuts[i + 1] - cuts[i], &out);
        FM_FUZZ_CHECK(rc != MSPACK_ERR_OK || out.size() == cuts[i + 1] - cuts[i],
                      "success with a short file");
        if (rc == MSPACK_ERR_OK)
            FM_FUZZ_CHECK(out.commit(0), "commit");
        out.discard();
        ::unlinkat(folderFd, "out", 0);
        outcome.codes.push_back(rc);
        outcome.files.push_back(rc == MSPACK_ERR_OK ? bytes : std::string());
    }
    return outcome;
}

} // namespace fm::fuzz
