#pragma once

// LZX folders decoded by the tool itself: two to three times as fast as libmspack's decoder on text
// and machine code, level with it on data of short repeats (lists of numbers). libmspack's stays
// the referee (the LZX fuzz target holds the two to the same bytes or the same error).
//
// An LZX folder is one bit stream (16-bit little-endian words, most significant bit first) cut
// into data blocks; its output comes in frames of 32 KB, after each of which the stream is
// realigned to a word. The data blocks are read as libmspack's cabinet reader reads them: joined
// into one stream fetched in pieces of 4 KB, a damaged block only noticed when the decoder first
// needs a piece that holds it, and the folder's length only known (for the size of the last
// frame) once the piece holding the last block has been fetched. The decoder keeps track of how
// far libmspack's reader, which asks for up to 16 bits more than it uses, would have fetched, so
// that it fails where libmspack fails, with the same error code, and writes what it writes.
//
// It handles folders held whole in one cabinet file, with windows of 2^15 to 2^21 bytes.

#include "cabinet_layout.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace fm::tool {

class PendingFile;

class LzxDecoder {
public:
    // Reads from the cabinet file at `cabinetPath`, whose data blocks carry `blockReserve`
    // reserved bytes. `frames`, when set, counts the frames decoded.
    LzxDecoder(std::string cabinetPath, unsigned blockReserve, std::uint64_t* frames = nullptr);
    ~LzxDecoder();
    LzxDecoder(const LzxDecoder&) = delete;
    LzxDecoder& operator=(const LzxDecoder&) = delete;

    // Writes the `length` bytes at `offset` of folder number `index` (laid out as `folder`) to
    // `out` (null: decode them only). Continues where the previous call ended when it can,
    // otherwise starts the folder over. Returns a libmspack error code (MSPACK_ERR_OK on
    // success), the one libmspack's cabinet decompressor returns for the same file; after an
    // error the folder keeps failing, as it does in libmspack, until it starts over.
    int extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                std::uint32_t length, PendingFile* out);
    // The same, handing each piece decoded to `sink` (false: the write failed). On failure the
    // last piece was the end of the last frame decoded before the one that failed.
    using Sink = std::function<bool(const unsigned char*, size_t)>;
    int extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                std::uint32_t length, const Sink& sink);

    // Whether this decoder takes folders of compression type `compression` (as stored).
    static bool Handles(std::uint16_t compression);

    struct State; // the decoding state, in the source file

private:
    template <class Emit>
    int run(unsigned index, const FolderLayout& folder, std::uint32_t offset, std::uint32_t length,
            Emit&& emit);

    std::string path_;
    unsigned blockReserve_;
    std::uint64_t* frames_;
    std::unique_ptr<State> s_;
};

} // namespace fm::tool
