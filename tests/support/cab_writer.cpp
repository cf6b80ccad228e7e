#include "support/cab_writer.h"

#include "support/temp_dir.h"

#include <zlib.h>

#include <stdexcept>

namespace fm::test {

namespace {

constexpr std::size_t kHeaderSize = 36, kFolderSize = 8, kFileFixedSize = 16, kMaxBlock = 32768;

// `v` as `bytes` little-endian bytes.
std::string le(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// The cabinet checksum: XOR of little-endian 32-bit words, the tail bytes packed big-end first.
std::uint32_t checksum(std::string_view s, std::uint32_t seed) {
    auto byte = [&](std::size_t i) { return std::uint32_t(static_cast<unsigned char>(s[i])); };
    std::size_t i = 0;
    for (; i + 4 <= s.size(); i += 4)
        seed ^= byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24;
    std::uint32_t tail = 0;
    for (; i < s.size(); ++i)
        tail = tail << 8 | byte(i);
    return seed ^ tail;
}

// One MS-ZIP block: "CK" and a raw deflate stream finished on its own. A block may refer back
// into the block before it, which decoders only keep as history when it was a full 32K one.
std::string deflateBlock(std::string_view block, std::string_view previous) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    if (previous.size() == kMaxBlock)
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(previous.data()), kMaxBlock);
    std::string out = "CK";
    out.resize(2 + deflateBound(&z, static_cast<uLong>(block.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z.avail_in = static_cast<uInt>(block.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data() + 2);
    z.avail_out = static_cast<uInt>(out.size() - 2);
    const int rc = deflate(&z, Z_FINISH);
    out.resize(2 + z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate did not finish a block");
    return out;
}

std::size_t reserveOf(const CabPlan& plan, std::size_t size) {
    return plan.largestReserves ? size : 0;
}

bool inFolders(const CabPlan& plan, int folder) {
    return folder >= 0 && static_cast<std::size_t>(folder) < plan.folders.size();
}

} // namespace

CabLayout layoutOf(const CabPlan& plan) {
    if (plan.blockSize == 0 || plan.blockSize > kMaxBlock)
        throw std::invalid_argument("blockSize must be 1..32768");
    if (plan.files.size() > 0xFFFF || plan.folders.size() > 0xFFFF)
        throw std::invalid_argument("too many files or folders for one cabinet");
    CabLayout layout{kHeaderSize + reserveOf(plan, 60004) +
                         (kFolderSize + reserveOf(plan, 255)) * plan.folders.size(),
                     0};
    layout.firstDataBlock = layout.firstFileEntry;
    for (const CabFilePlan& f : plan.files)
        layout.firstDataBlock += kFileFixedSize + f.name.size() + 1;
    return layout;
}

std::string buildCabinet(const CabPlan& plan) {
    const CabLayout layout = layoutOf(plan);
    // Every folder's uncompressed bytes: its files' data in stored order.
    std::vector<std::string> streams(plan.folders.size());
    for (const CabFilePlan& f : plan.files)
        if (inFolders(plan, f.folder))
            streams[f.folder] += f.data;

    // The folder records, and the data blocks of every folder one folder after the other.
    std::string folders, data;
    for (std::size_t i = 0; i < streams.size(); ++i) {
        folders += le(layout.firstDataBlock + data.size(), 4);
        const std::string_view stream = streams[i];
        std::string_view previous;
        std::size_t blocks = 0;
        for (std::size_t at = 0; at < stream.size(); at += plan.blockSize, ++blocks) {
            const std::string_view block = stream.substr(at, plan.blockSize);
            const std::string packed = plan.folders[i] == CabCompression::MsZip
                                           ? deflateBlock(block, previous)
                                           : std::string(block);
            const std::string sizes = le(packed.size(), 2) + le(block.size(), 2);
            data += le(checksum(sizes, checksum(packed, 0)), 4) + sizes +
                    std::string(reserveOf(plan, 255), '\xA5') + packed;
            previous = block;
        }
        folders += le(blocks, 2) + le(plan.folders[i] == CabCompression::MsZip, 2) +
                   std::string(reserveOf(plan, 255), '\xA5');
    }

    // Version 1.3, no previous or next cabinet, set 0x1234, part 0.
    std::string out = "MSCF" + le(0, 4) + le(layout.firstDataBlock + data.size(), 4) + le(0, 4) +
                      le(layout.firstFileEntry, 4) + le(0, 4) + le(0x0103, 2) +
                      le(plan.folders.size(), 2) + le(plan.files.size(), 2) +
                      le(plan.largestReserves ? 4 : 0, 2) + le(0x1234, 2) + le(0, 2);
    if (plan.largestReserves)
        out += std::string("\x60\xEA\xFF\xFF", 4) + std::string(60000, '\xA5');
    out += folders;

    const auto putTable = [&](std::string& to, const std::vector<CabFilePlan>& files) {
        std::vector<std::uint32_t> offsetInFolder(plan.folders.size());
        for (const CabFilePlan& f : files) {
            const std::uint32_t size = static_cast<std::uint32_t>(f.data.size());
            to += le(f.declaredSize.value_or(size), 4) +
                  le(f.declaredOffset.value_or(inFolders(plan, f.folder) ? offsetInFolder[f.folder]
                                                                         : 0),
                     4) +
                  le(f.storedFolder.value_or(static_cast<std::uint16_t>(f.folder)), 2) +
                  le(f.date, 2) + le(f.time, 2) + le(f.attribs, 2) + f.name + '\0';
            if (inFolders(plan, f.folder))
                offsetInFolder[f.folder] += size;
        }
    };
    putTable(out, plan.files);
    if (plan.headerTable) {
        out.replace(16, 4, le(out.size() + data.size(), 4));
        putTable(data, *plan.headerTable);
        out.replace(8, 4, le(out.size() + data.size(), 4)); // the cabinet's size
    }
    return out + data;
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
