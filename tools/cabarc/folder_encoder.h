#pragma once

// Compressing one folder of a new cabinet (the unit the cabinet compresses as one stream) into
// its data blocks. The folder's bytes go in by frames of 32 KiB (fewer only for the folder's
// last); each data block out holds the compressed form of exactly one frame.

#include <cstdint>
#include <memory>
#include <vector>

namespace fm::tool {

constexpr std::uint32_t kFrameSize = 32768;

enum class Method { None, MsZip, Lzx };

struct DataBlock {
    std::vector<unsigned char> data; // as stored
    std::uint32_t size = 0;          // the frame's uncompressed bytes
};

class FolderEncoder {
public:
    virtual ~FolderEncoder() = default;
    // Takes the folder's next frame and appends the blocks now complete to `out` (an encoder may
    // hold a few frames back to code them together).
    virtual void add(const unsigned char* data, std::uint32_t size,
                     std::vector<DataBlock>& out) = 0;
    // Appends the blocks still held back.
    virtual void finish(std::vector<DataBlock>&) {}
};

// A new encoder for one folder; `windowBits` (15 to 21) is LZX's.
std::unique_ptr<FolderEncoder> MakeFolderEncoder(Method method, int windowBits);

// The folder's compression type field: the method, and for LZX its window above.
std::uint16_t CompressionType(Method method, int windowBits);

} // namespace fm::tool
