#include "support/cab_writer.h"

#include "support/temp_dir.h"

#include <zlib.h>

#include <stdexcept>

namespace fm::test {

namespace {

constexpr std::size_t kHeaderSize = 36;
constexpr std::size_t kFolderSize = 8;
constexpr std::size_t kFileFixedSize = 16;
constexpr std::size_t kDataHeaderSize = 8;
constexpr std::size_t kMaxBlock = 32768;

void put16(std::string& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>(v >> 8);
}

void put32(std::string& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void append16(std::string& out, std::uint16_t v) {
    out.append(2, '\0');
    put16(out, out.size() - 2, v);
}

void append32(std::string& out, std::uint32_t v) {
    out.append(4, '\0');
    put32(out, out.size() - 4, v);
}

// The cabinet checksum: XOR of little-endian 32-bit words, the tail bytes packed big-end first.
std::uint32_t checksum(const unsigned char* p, std::size_t n, std::uint32_t seed) {
    for (std::size_t i = 0; i + 4 <= n; i += 4)
        seed ^= std::uint32_t(p[i]) | std::uint32_t(p[i + 1]) << 8 | std::uint32_t(p[i + 2]) << 16 |
                std::uint32_t(p[i + 3]) << 24;
    const unsigned char* tail = p + (n & ~std::size_t(3));
    std::uint32_t t = 0;
    switch (n & 3) {
    case 3:
        t = std::uint32_t(tail[0]) << 16 | std::uint32_t(tail[1]) << 8 | tail[2];
        break;
    case 2:
        t = std::uint32_t(tail[0]) << 8 | tail[1];
        break;
    case 1:
        t = tail[0];
        break;
    }
    return seed ^ t;
}

// One MS-ZIP block: "CK" and a raw deflate stream finished on its own. A block may refer back
// into the block before it, which decoders only keep as history when it was a full 32K one.
std::string deflateBlock(std::string_view block, std::string_view previous) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    if (previous.size() == kMaxBlock) {
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(previous.data()),
                             static_cast<uInt>(previous.size()));
    }
    std::string out = "CK";
    out.resize(2 + deflateBound(&z, static_cast<uLong>(block.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z.avail_in = static_cast<uInt>(block.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data() + 2);
    z.avail_out = static_cast<uInt>(out.size() - 2);
    int rc = deflate(&z, Z_FINISH);
    out.resize(2 + z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate did not finish a block");
    return out;
}

bool inFolders(const CabPlan& plan, int folder) {
    return folder >= 0 && static_cast<std::size_t>(folder) < plan.folders.size();
}

// Every folder's uncompressed bytes: its files' data in stored order.
std::vector<std::string> folderStreams(const CabPlan& plan) {
    std::vector<std::string> streams(plan.folders.size());
    for (const CabFilePlan& f : plan.files) {
        if (inFolders(plan, f.folder))
            streams[f.folder] += f.data;
    }
    return streams;
}

std::size_t fileTableSize(const CabPlan& plan) {
    std::size_t n = 0;
    for (const CabFilePlan& f : plan.files)
        n += kFileFixedSize + f.name.size() + 1;
    return n;
}

void checkPlan(const CabPlan& plan) {
    if (plan.blockSize == 0 || plan.blockSize > kMaxBlock)
        throw std::invalid_argument("blockSize must be 1..32768");
    if (plan.files.size() > 0xFFFF || plan.folders.size() > 0xFFFF)
        throw std::invalid_argument("too many files or folders for one cabinet");
}

} // namespace

CabLayout layoutOf(const CabPlan& plan) {
    checkPlan(plan);
    CabLayout layout{};
    layout.firstFileEntry = kHeaderSize + kFolderSize * plan.folders.size();
    layout.firstDataBlock = layout.firstFileEntry + fileTableSize(plan);
    return layout;
}

std::string buildCabinet(const CabPlan& plan) {
    const CabLayout layout = layoutOf(plan);
    const std::vector<std::string> streams = folderStreams(plan);

    // The data blocks of every folder, one folder after the other.
    std::string data;
    std::vector<std::uint32_t> folderStart(plan.folders.size());
    std::vector<std::uint16_t> folderBlocks(plan.folders.size());
    for (std::size_t i = 0; i < streams.size(); ++i) {
        folderStart[i] = static_cast<std::uint32_t>(layout.firstDataBlock + data.size());
        std::string_view stream = streams[i];
        std::string_view previous;
        std::size_t blocks = 0;
        for (std::size_t at = 0; at < stream.size(); at += plan.blockSize, ++blocks) {
            std::string_view block = stream.substr(at, plan.blockSize);
            std::string packed = plan.folders[i] == CabCompression::MsZip
                                     ? deflateBlock(block, previous)
                                     : std::string(block);
            std::string header;
            append32(header, 0);
            append16(header, static_cast<std::uint16_t>(packed.size()));
            append16(header, static_cast<std::uint16_t>(block.size()));
            const std::uint32_t sum = checksum(
                reinterpret_cast<const unsigned char*>(header.data()) + 4, 4,
                checksum(reinterpret_cast<const unsigned char*>(packed.data()), packed.size(), 0));
            put32(header, 0, sum);
            data += header;
            data += packed;
            previous = block;
        }
        if (blocks > 0xFFFF)
            throw std::invalid_argument("too many data blocks in one folder");
        folderBlocks[i] = static_cast<std::uint16_t>(blocks);
    }

    std::string out;
    out.reserve(layout.firstDataBlock + data.size());
    out += "MSCF";
    append32(out, 0);
    append32(out, static_cast<std::uint32_t>(layout.firstDataBlock + data.size()));
    append32(out, 0);
    append32(out, static_cast<std::uint32_t>(layout.firstFileEntry));
    append32(out, 0);
    out += '\x03'; // version 1.3, minor first
    out += '\x01';
    append16(out, static_cast<std::uint16_t>(plan.folders.size()));
    append16(out, static_cast<std::uint16_t>(plan.files.size()));
    append16(out, 0); // flags: no reserve, no previous or next cabinet
    append16(out, plan.setId);
    append16(out, 0); // iCabinet

    for (std::size_t i = 0; i < plan.folders.size(); ++i) {
        append32(out, folderStart[i]);
        append16(out, folderBlocks[i]);
        append16(out, plan.folders[i] == CabCompression::MsZip ? 1 : 0);
    }

    std::vector<std::uint32_t> offsetInFolder(plan.folders.size());
    for (const CabFilePlan& f : plan.files) {
        std::uint32_t offset = 0;
        if (inFolders(plan, f.folder)) {
            offset = offsetInFolder[f.folder];
            offsetInFolder[f.folder] += static_cast<std::uint32_t>(f.data.size());
        }
        append32(out, f.declaredSize.value_or(static_cast<std::uint32_t>(f.data.size())));
        append32(out, offset);
        append16(out, static_cast<std::uint16_t>(f.folder));
        append16(out, f.date);
        append16(out, f.time);
        append16(out, f.attribs);
        out += f.name;
        out += '\0';
    }

    out += data;
    return out;
}

void writeCabinet(const std::string& path, const CabPlan& plan) {
    writeFile(path, buildCabinet(plan));
}

CabFilePlan cabFile(std::string name, std::string data, int folder) {
    CabFilePlan f;
    f.name = std::move(name);
    f.data = std::move(data);
    f.folder = folder;
    return f;
}

} // namespace fm::test
