#pragma once

// MSZIP folders decoded with ISA-L's inflate, zlib standing in for it.
//
// An MSZIP folder is a run of data blocks, each "CK" and a complete raw deflate stream whose
// matches may reach back into the previous blocks' output (32 KB of history). ISA-L's inflater
// is about twice as fast as zlib's and several times libmspack's; this decoder carries the
// history from block to block and checks what libmspack checks (block checksums, sizes, the
// stream ending with its block), and also that each block yields exactly the size its header
// gives. A block ISA-L refuses is given to zlib with the same history: only when zlib refuses it
// too is it damaged. Whole blocks are inflated straight into the output file's buffer.
//
// Stored folders are read the same way, each block's data copied as it is. Unlike libmspack,
// which stops at the folder's stored block count, it reads a folder of more than 65,535 blocks
// (whose count has wrapped) to its end; see readBlock().
//
// It handles folders held whole in one cabinet file; folders that cross into another part of a
// set stay with libmspack.

#include "cabinet_layout.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fm::tool {

class PendingFile;

class MsZipDecoder {
public:
    enum class Inflater {
        Isal,      // ISA-L, zlib for the blocks it refuses
        IsalDrill, // the same, with ISA-L's verdict on every other block taken as a refusal
        Zlib,      // zlib alone
    };

    // Reads from the cabinet file at `cabinetPath`, whose data blocks carry `blockReserve`
    // reserved bytes. ISA-L is loaded by the first of `isalLibraries` that loads; when none
    // does, zlib decodes every block. `zlibBlocks`, when set, counts the blocks zlib decoded.
    MsZipDecoder(std::string cabinetPath, unsigned blockReserve, Inflater inflater,
                 std::vector<std::string> isalLibraries, unsigned* zlibBlocks = nullptr);
    ~MsZipDecoder();
    MsZipDecoder(const MsZipDecoder&) = delete;
    MsZipDecoder& operator=(const MsZipDecoder&) = delete;

    // Writes the `length` bytes at `offset` of folder number `index` (laid out as `folder`) to
    // `out`. Continues where the previous call ended when it can, otherwise starts the folder
    // over. Returns a libmspack error code (MSPACK_ERR_OK on success); MSPACK_ERR_WRITE when
    // `out` refused a write. After a failure the next call starts its folder over.
    int extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                std::uint32_t length, PendingFile* out);

private:
    struct State;
    int start(unsigned index, const FolderLayout& folder);
    int readBlock();
    int inflateBlock(unsigned char* dest);
    bool inflateIsal(unsigned char* dest);
    bool inflateZlib(unsigned char* dest);
    // The next `size` cabinet bytes, read ahead in large pieces; null at the end of the file.
    const unsigned char* view(size_t size);

    std::string path_;
    unsigned blockReserve_;
    Inflater inflater_;
    std::vector<std::string> isalLibraries_;
    unsigned* zlibBlocks_;
    std::unique_ptr<State> s_;
};

} // namespace fm::tool
