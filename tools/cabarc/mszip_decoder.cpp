#include "mszip_decoder.h"

#include "output_file.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <mspack.h>
#include <unistd.h>
#include <zlib.h>

namespace fm::tool {

namespace {

constexpr size_t kBlockMax = 32768;            // uncompressed bytes per block
constexpr size_t kInputMax = kBlockMax + 6144; // compressed bytes per block
constexpr size_t kReadAhead = 1024 * 1024;     // cabinet bytes read at a time
constexpr unsigned kHistory = 32768;

} // namespace

struct MsZipDecoder::State {
    int fd = -1;
    bool started = false;
    bool streamReady = false;
    z_stream zs{};

    unsigned folderIndex = 0;
    unsigned blocksLeft = 0;
    std::uint64_t position = 0; // folder offset of block[blockPos]

    // Input: a window of the cabinet file.
    std::unique_ptr<unsigned char[]> input{new unsigned char[kReadAhead]};
    off_t inputStart = 0; // file offset of input[0]
    size_t inputLength = 0;
    off_t readAt = 0; // file offset of the next unread byte

    std::unique_ptr<unsigned char[]> packed{new unsigned char[kInputMax]};
    unsigned char block[kBlockMax];
    size_t blockLength = 0;
    size_t blockPos = 0;
    unsigned char history[kHistory];

    ~State() {
        if (streamReady)
            inflateEnd(&zs);
        if (fd >= 0)
            ::close(fd);
    }
};

MsZipDecoder::MsZipDecoder(std::string cabinetPath, unsigned blockReserve)
    : path_(std::move(cabinetPath)), blockReserve_(blockReserve) {}

MsZipDecoder::~MsZipDecoder() = default;

bool MsZipDecoder::readInput(void* buf, size_t size) {
    auto* out = static_cast<unsigned char*>(buf);
    while (size > 0) {
        off_t end = s_->inputStart + static_cast<off_t>(s_->inputLength);
        if (s_->readAt >= s_->inputStart && s_->readAt < end) {
            size_t at = static_cast<size_t>(s_->readAt - s_->inputStart);
            size_t n = std::min(size, s_->inputLength - at);
            std::memcpy(out, s_->input.get() + at, n);
            out += n;
            size -= n;
            s_->readAt += static_cast<off_t>(n);
            continue;
        }
        ssize_t n = ::pread(s_->fd, s_->input.get(), kReadAhead, s_->readAt);
        if (n <= 0)
            return false;
        s_->inputStart = s_->readAt;
        s_->inputLength = static_cast<size_t>(n);
    }
    return true;
}

int MsZipDecoder::start(unsigned index, const FolderLayout& folder) {
    if (!s_) {
        s_ = std::make_unique<State>();
        s_->fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        if (s_->fd < 0) {
            s_.reset();
            return MSPACK_ERR_OPEN;
        }
    }
    if (!s_->streamReady) {
        if (inflateInit2(&s_->zs, -15) != Z_OK)
            return MSPACK_ERR_NOMEMORY;
        s_->streamReady = true;
    }
    s_->started = true;
    s_->folderIndex = index;
    s_->blocksLeft = folder.blockCount;
    s_->position = 0;
    s_->readAt = folder.firstBlock;
    s_->blockLength = s_->blockPos = 0;
    return inflateReset(&s_->zs) == Z_OK ? MSPACK_ERR_OK : MSPACK_ERR_DECRUNCH;
}

// Decodes the next data block into s_->block.
int MsZipDecoder::nextBlock() {
    State& s = *s_;
    if (s.blocksLeft == 0)
        return MSPACK_ERR_DATAFORMAT; // the files claim more data than the folder holds
    --s.blocksLeft;

    unsigned char header[8];
    if (!readInput(header, sizeof header))
        return MSPACK_ERR_READ;
    s.readAt += blockReserve_;
    const std::uint32_t checksum = static_cast<std::uint32_t>(header[0]) | header[1] << 8 |
                                   header[2] << 16 | static_cast<std::uint32_t>(header[3]) << 24;
    const size_t packedSize = header[4] | header[5] << 8;
    const size_t size = header[6] | header[7] << 8;
    // A size of 0 marks a block continued in the next part: not for this decoder.
    if (packedSize > kInputMax || size > kBlockMax || size == 0 || packedSize < 2)
        return MSPACK_ERR_DATAFORMAT;
    if (!readInput(s.packed.get(), packedSize))
        return MSPACK_ERR_READ;
    if (checksum != 0 &&
        BlockChecksum(header + 4, 4, BlockChecksum(s.packed.get(), packedSize, 0)) != checksum)
        return MSPACK_ERR_CHECKSUM;
    if (s.packed[0] != 'C' || s.packed[1] != 'K')
        return MSPACK_ERR_DATAFORMAT;

    // Each block is a stream of its own over the history of those before it.
    z_stream& zs = s.zs;
    if (zs.total_out > 0) {
        unsigned have = 0;
        if (inflateGetDictionary(&zs, s.history, &have) != Z_OK || inflateReset(&zs) != Z_OK ||
            inflateSetDictionary(&zs, s.history, have) != Z_OK)
            return MSPACK_ERR_DECRUNCH;
    }
    zs.next_in = s.packed.get() + 2;
    zs.avail_in = static_cast<uInt>(packedSize - 2);
    zs.next_out = s.block;
    zs.avail_out = static_cast<uInt>(size);
    // Not Z_FINISH: zlib then skips keeping the history this decoder depends on.
    int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_STREAM_END || zs.avail_out != 0)
        return MSPACK_ERR_DECRUNCH;
    s.blockLength = size;
    s.blockPos = 0;
    return MSPACK_ERR_OK;
}

int MsZipDecoder::extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                          std::uint32_t length, PendingFile* out) {
    if (!s_ || !s_->started || s_->folderIndex != index || s_->position > offset) {
        if (int rc = start(index, folder))
            return rc;
    }
    State& s = *s_;
    std::uint64_t skip = offset - s.position;
    std::uint64_t want = length;
    while (skip > 0 || want > 0) {
        if (s.blockPos == s.blockLength) {
            if (int rc = nextBlock()) {
                s.started = false;
                return rc;
            }
        }
        size_t avail = s.blockLength - s.blockPos;
        if (skip > 0) {
            size_t n = static_cast<size_t>(std::min<std::uint64_t>(skip, avail));
            s.blockPos += n;
            s.position += n;
            skip -= n;
            continue;
        }
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(want, avail));
        if (!out->write(s.block + s.blockPos, n)) {
            s.started = false;
            return MSPACK_ERR_WRITE;
        }
        s.blockPos += n;
        s.position += n;
        want -= n;
    }
    return MSPACK_ERR_OK;
}

} // namespace fm::tool
