#pragma once

// Where a cabinet keeps its folders' data: the few header fields a decoder of our own needs.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fm::tool {

struct FolderLayout {
    std::uint32_t firstBlock = 0;  // file offset of the folder's first data block
    std::uint16_t blockCount = 0;  // data blocks stored in this cabinet
    std::uint16_t compression = 0; // as stored: method in the low 4 bits, window above
};

// One file record as stored.
struct FileRecord {
    std::string name; // raw bytes
    std::uint32_t length = 0;
    std::uint32_t offset = 0; // in its folder
    std::uint16_t folder = 0; // index, or one of the continuation marks below
    // False for a file continued from the previous part (0xFFFD, 0xFFFF): it starts elsewhere.
    bool startsHere() const { return folder != 0xFFFD && folder != 0xFFFF; }
};

struct CabinetLayout {
    std::uint16_t flags = 0;       // header flags (1: previous part, 2: next part, 4: reserve)
    std::uint8_t blockReserve = 0; // bytes reserved after each data block header
    std::vector<FolderLayout> folders;
    std::vector<FileRecord> files; // in stored order
};

// Reads the header, folder table and file records of the cabinet file at `posixPath` (cabinet at
// offset 0). Nullopt when it cannot be read or is not a cabinet.
std::optional<CabinetLayout> ReadCabinetLayout(const std::string& posixPath);

// The data block checksum of the cabinet format: the block's data, then its two size fields,
// folded into 32-bit little-endian words by XOR. `seed` chains pieces.
std::uint32_t BlockChecksum(const unsigned char* data, size_t size, std::uint32_t seed);

} // namespace fm::tool
