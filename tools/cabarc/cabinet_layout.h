#pragma once

// Where a cabinet keeps its folders' data: the few header fields a decoder of our own needs. (The
// file records are read by ReadCabinetDirectory, the program's own reader.)

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fm::tool {

struct FolderLayout {
    std::uint32_t firstBlock = 0;  // file offset of the folder's first data block
    std::uint16_t blockCount = 0;  // data blocks stored in this cabinet, as stored (16 bits)
    std::uint16_t compression = 0; // as stored: method in the low 4 bits, window above
    // Where the folder's data ends at the latest: the nearest of the next folder's first block,
    // the file table and the cabinet's end (its stored size, and the file's) that lies after its
    // own first block. A folder of more than 65,535 blocks stores only the low 16 bits of their
    // count; its blocks run on up to here.
    std::uint64_t dataEnd = 0;
};

struct CabinetLayout {
    std::uint16_t flags = 0;       // header flags (1: previous part, 2: next part, 4: reserve)
    std::uint8_t blockReserve = 0; // bytes reserved after each data block header
    std::vector<FolderLayout> folders;
};

// Reads the header and folder table of the cabinet file at `posixPath` (cabinet at
// offset 0). Nullopt when it cannot be read or is not a cabinet.
std::optional<CabinetLayout> ReadCabinetLayout(const std::string& posixPath);

// The data block checksum of the cabinet format: the block's data, then its two size fields,
// folded into 32-bit little-endian words by XOR. `seed` chains pieces.
std::uint32_t BlockChecksum(const unsigned char* data, size_t size, std::uint32_t seed);

} // namespace fm::tool
