#include "mszip_decoder.h"

#include "cab_io.h"
#include "output_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <isa-l/igzip_lib.h>
#include <map>
#include <mspack.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace fm::tool {

namespace {

constexpr size_t kBlockMax = 32768;            // uncompressed bytes per block
constexpr size_t kInputMax = kBlockMax + 6144; // compressed bytes per block
// Cabinet bytes read at a time: enough to make reads cheap, small enough that a fresh buffer's
// page faults (one per 4 KB touched) stay few; they cost more than the extra reads.
constexpr size_t kReadAhead = 128 * 1024;
constexpr unsigned kHistory = 32768;

// ISA-L, loaded on first use. The tool is linked statically, for a fast start, and Debian ships
// ISA-L only as a shared library; loading it costs about as much as decoding a megabyte with
// zlib, so small cabinets never pay for it (see ToolEnvironment::isalFromBytes).
struct Isal {
    void (*init)(inflate_state*);
    void (*reset)(inflate_state*);
    int (*setDict)(inflate_state*, uint8_t*, uint32_t);
    int (*inflate)(inflate_state*);
};

// Null when none of `names` loads or one lacks an entry point: zlib then decodes alone.
const Isal* loadIsal(const std::vector<std::string>& names) {
    static std::map<std::vector<std::string>, std::unique_ptr<Isal>> loaded;
    auto [it, fresh] = loaded.try_emplace(names);
    if (!fresh)
        return it->second.get();
    void* lib = nullptr;
    for (const std::string& name : names) {
        if ((lib = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)))
            break;
    }
    if (!lib)
        return nullptr;
    auto isal = std::make_unique<Isal>(
        Isal{reinterpret_cast<void (*)(inflate_state*)>(::dlsym(lib, "isal_inflate_init")),
             reinterpret_cast<void (*)(inflate_state*)>(::dlsym(lib, "isal_inflate_reset")),
             reinterpret_cast<int (*)(inflate_state*, uint8_t*, uint32_t)>(
                 ::dlsym(lib, "isal_inflate_set_dict")),
             reinterpret_cast<int (*)(inflate_state*)>(::dlsym(lib, "isal_inflate"))});
    if (isal->init && isal->reset && isal->setDict && isal->inflate)
        it->second = std::move(isal);
    return it->second.get();
}

// ISA-L builds a Huffman code from any lengths that do not over-subscribe it, and fails only
// when the data uses a missing code; zlib and libmspack refuse an incomplete code outright. So a
// block whose header describes one, but whose data avoids the gaps, would come out of ISA-L as
// if whole. The headers are read here, which costs a few microseconds a block, and ISA-L is
// trusted only when each header is one zlib accepts. A Huffman-coded block that is not the
// last leaves the next header out of cheap reach: such streams go to zlib whole.
class HeaderWalk {
public:
    HeaderWalk(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    // True when every block header of the stream was read and zlib would accept it.
    bool sound() {
        for (;;) {
            const unsigned last = bits(1);
            const unsigned type = bits(2);
            if (type == 0) {
                at_ = (at_ + 7) & ~size_t(7);
                const unsigned length = bits(16);
                if (bits(16) != (~length & 0xFFFF))
                    return false;
                at_ += size_t(length) * 8;
            } else if (type == 1) {
                return last && !overrun(); // a fixed code is complete
            } else if (type == 2) {
                return dynamicHeader() && last;
            } else {
                return false;
            }
            if (overrun())
                return false;
            if (last)
                return true;
        }
    }

private:
    bool overrun() const { return at_ > size_ * 8; }

    // Up to 16 bits, zero past the end; overrun() tells.
    unsigned bits(unsigned n) {
        std::uint32_t word = 0;
        for (size_t i = 0, byte = at_ >> 3; i < 3 && byte + i < size_; ++i)
            word |= std::uint32_t(data_[byte + i]) << (8 * i);
        const unsigned v = (word >> (at_ & 7)) & ((1u << n) - 1);
        at_ += n;
        return v;
    }

    // zlib's rule: no over-subscribed code; an incomplete one only as a single code of length 1
    // for literals/lengths or distances (`single`), or no code at all for distances.
    static bool codeAccepted(const unsigned char* lengths, unsigned count, bool single) {
        unsigned perLength[16] = {};
        for (unsigned i = 0; i < count; ++i)
            ++perLength[lengths[i]];
        if (perLength[0] == count)
            return single;
        int left = 1;
        for (unsigned len = 1; len < 16; ++len) {
            left = left * 2 - static_cast<int>(perLength[len]);
            if (left < 0)
                return false;
        }
        return left == 0 || (single && perLength[1] == 1 && perLength[0] == count - 1);
    }

    bool dynamicHeader() {
        static constexpr unsigned char kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                     11, 4,  12, 3, 13, 2, 14, 1, 15};
        const unsigned literals = bits(5) + 257, distances = bits(5) + 1, codes = bits(4) + 4;
        if (literals > 286 || distances > 30)
            return false;
        unsigned char codeLengths[19] = {};
        for (unsigned i = 0; i < codes; ++i)
            codeLengths[kOrder[i]] = static_cast<unsigned char>(bits(3));
        if (overrun() || !codeAccepted(codeLengths, 19, false))
            return false;
        // The code-length code, complete by now, as a table on its next 7 bits (read first
        // bit first): symbol and length.
        unsigned char table[128][2] = {};
        unsigned next = 0;
        for (unsigned len = 1; len <= 7; ++len, next <<= 1) {
            for (unsigned symbol = 0; symbol < 19; ++symbol) {
                if (codeLengths[symbol] != len)
                    continue;
                unsigned reversed = 0;
                for (unsigned i = 0; i < len; ++i)
                    reversed |= ((next >> i) & 1u) << (len - 1 - i);
                for (unsigned fill = reversed; fill < 128; fill += 1u << len) {
                    table[fill][0] = static_cast<unsigned char>(symbol);
                    table[fill][1] = static_cast<unsigned char>(len);
                }
                ++next;
            }
        }
        unsigned char lengths[286 + 30];
        for (unsigned have = 0; have < literals + distances;) {
            const unsigned char* entry = table[bits(7)];
            at_ -= 7 - entry[1];
            const unsigned symbol = entry[0];
            unsigned repeat = 0;
            unsigned char value = 0;
            if (overrun()) {
                return false;
            } else if (symbol < 16) {
                lengths[have++] = static_cast<unsigned char>(symbol);
                continue;
            } else if (symbol == 16) {
                if (have == 0)
                    return false;
                value = lengths[have - 1];
                repeat = 3 + bits(2);
            } else {
                repeat = symbol == 17 ? 3 + bits(3) : 11 + bits(7);
            }
            if (have + repeat > literals + distances)
                return false;
            std::fill_n(lengths + have, repeat, value);
            have += repeat;
        }
        return !overrun() && lengths[256] != 0 && codeAccepted(lengths, literals, true) &&
               codeAccepted(lengths + literals, distances, true);
    }

    const unsigned char* data_;
    size_t size_;
    size_t at_ = 0; // in bits
};

} // namespace

struct MsZipDecoder::State {
    State() {} // provided, so that the buffers below are not zeroed first
    int fd = -1;
    bool started = false;
    bool streamReady = false;
    z_stream zs{};
    const Isal* isalApi = nullptr; // null: zlib alone
    inflate_state isal;
    unsigned blockNumber = 0; // in the folder

    unsigned folderIndex = 0;
    bool stored = false;          // a stored folder: blocks hold their data as it is
    std::uint16_t blockCount = 0; // as stored: the low 16 bits of the true count
    std::uint64_t blocksRead = 0;
    std::uint64_t dataEnd = 0;  // see FolderLayout::dataEnd
    std::uint64_t position = 0; // folder offset of block[blockPos]

    // Input: a window of the cabinet file; blocks are inflated straight from it.
    std::unique_ptr<unsigned char[]> input;
    size_t inputCapacity = 0;
    off_t inputStart = 0; // file offset of input[0]
    size_t inputLength = 0;
    off_t readAt = 0; // file offset of the next unread byte

    // The next block, read and checked but not yet inflated.
    const unsigned char* packed = nullptr;
    size_t packedSize = 0;
    size_t size = 0;

    // A block inflated here when it does not go straight to a file whole.
    unsigned char block[kBlockMax];
    size_t blockLength = 0;
    size_t blockPos = 0;
    // The last output of the folder, up to 32 KB: what the next block may reach back into.
    unsigned char history[kHistory];
    size_t historyLength = 0;

    ~State() {
        if (streamReady)
            inflateEnd(&zs);
        if (fd >= 0)
            ::close(fd);
    }
};

MsZipDecoder::MsZipDecoder(std::string cabinetPath, unsigned blockReserve, Inflater inflater,
                           std::vector<std::string> isalLibraries, unsigned* zlibBlocks)
    : path_(std::move(cabinetPath)), blockReserve_(blockReserve), inflater_(inflater),
      isalLibraries_(std::move(isalLibraries)), zlibBlocks_(zlibBlocks) {}

MsZipDecoder::~MsZipDecoder() = default;

const unsigned char* MsZipDecoder::view(size_t size) {
    State& s = *s_;
    off_t end = s.inputStart + static_cast<off_t>(s.inputLength);
    if (s.readAt < s.inputStart || s.readAt + static_cast<off_t>(size) > end) {
        ssize_t n;
        do {
            n = ::pread(s.fd, s.input.get(), s.inputCapacity, s.readAt);
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            n = 0;
        s.inputStart = s.readAt;
        s.inputLength = static_cast<size_t>(n);
        if (static_cast<size_t>(n) < size)
            return nullptr;
    }
    const unsigned char* p = s.input.get() + (s.readAt - s.inputStart);
    s.readAt += static_cast<off_t>(size);
    return p;
}

int MsZipDecoder::start(unsigned index, const FolderLayout& folder) {
    if (!s_) {
        s_ = std::make_unique<State>();
        s_->fd = OpenCabinetFile(path_);
        struct stat st {};
        if (s_->fd < 0 || ::fstat(s_->fd, &st) != 0) {
            s_.reset();
            return MSPACK_ERR_OPEN;
        }
        // No bigger than the cabinet, so small cabinets cost no large allocation; but always
        // room for one whole block.
        s_->inputCapacity =
            std::clamp<size_t>(static_cast<size_t>(st.st_size), kInputMax + 8 + 255, kReadAhead);
        s_->input = std::make_unique_for_overwrite<unsigned char[]>(s_->inputCapacity);
        if (inflater_ != Inflater::Zlib && (s_->isalApi = loadIsal(isalLibraries_)))
            s_->isalApi->init(&s_->isal); // zlib is set up only when first needed
    }
    s_->started = true;
    s_->folderIndex = index;
    s_->stored = (folder.compression & 0x0F) == MSCAB_COMP_NONE;
    s_->blockCount = folder.blockCount;
    s_->blocksRead = 0;
    s_->dataEnd = folder.dataEnd;
    s_->position = 0;
    s_->readAt = folder.firstBlock;
    s_->blockLength = s_->blockPos = 0;
    s_->historyLength = 0;
    s_->blockNumber = 0;
    return MSPACK_ERR_OK;
}

// Reads the next data block and checks what can be checked before inflating it. The stored
// block count keeps only the low 16 bits of a count above 65,535: past it, the folder's blocks
// go on as long as each lies whole within the folder's data (FolderLayout::dataEnd), so that
// one whose count has wrapped is read to its end, and no block is ever taken from beyond it.
int MsZipDecoder::readBlock() {
    State& s = *s_;
    const bool pastCount = s.blocksRead >= s.blockCount;
    const auto blockStart = static_cast<std::uint64_t>(s.readAt);
    const auto within = [&](std::uint64_t bytes) {
        return !pastCount || blockStart + bytes <= s.dataEnd;
    };
    if (!within(8 + blockReserve_))
        return MSPACK_ERR_DATAFORMAT; // the files claim more data than the folder holds
    ++s.blocksRead;

    const unsigned char* header = view(8);
    if (!header)
        return MSPACK_ERR_READ;
    const std::uint32_t checksum = static_cast<std::uint32_t>(header[0]) | header[1] << 8 |
                                   header[2] << 16 | static_cast<std::uint32_t>(header[3]) << 24;
    const unsigned char sizes[4] = {header[4], header[5], header[6], header[7]};
    s.packedSize = sizes[0] | sizes[1] << 8;
    s.size = sizes[2] | sizes[3] << 8;
    // A size of 0 marks a block continued in the next part: not for this decoder.
    if (s.packedSize > kInputMax || s.size > kBlockMax || s.size == 0 ||
        (s.stored ? s.packedSize != s.size : s.packedSize < 2) ||
        !within(8 + blockReserve_ + s.packedSize))
        return MSPACK_ERR_DATAFORMAT;
    s.readAt += blockReserve_;
    s.packed = view(s.packedSize);
    if (!s.packed)
        return MSPACK_ERR_READ;
    if (checksum != 0 &&
        BlockChecksum(sizes, 4, BlockChecksum(s.packed, s.packedSize, 0)) != checksum)
        return MSPACK_ERR_CHECKSUM;
    if (!s.stored && (s.packed[0] != 'C' || s.packed[1] != 'K'))
        return MSPACK_ERR_DATAFORMAT;
    return MSPACK_ERR_OK;
}

// Inflates the block readBlock() read into `dest` (room for s_->size bytes), and keeps its end
// as the history of the next.
int MsZipDecoder::inflateBlock(unsigned char* dest) {
    State& s = *s_;
    if (s.stored) {
        std::memcpy(dest, s.packed, s.size);
        return MSPACK_ERR_OK;
    }
    const bool drillRefusal = inflater_ == Inflater::IsalDrill && s.blockNumber % 2 == 1;
    ++s.blockNumber;
    // Without ISA-L (not installed, or not this version) zlib decodes every block.
    const bool ok = (s.isalApi && !drillRefusal &&
                     HeaderWalk(s.packed + 2, s.packedSize - 2).sound() && inflateIsal(dest)) ||
                    inflateZlib(dest);
    if (!ok)
        return MSPACK_ERR_DECRUNCH;
    if (s.size >= kHistory) {
        std::memcpy(s.history, dest + s.size - kHistory, kHistory);
        s.historyLength = kHistory;
    } else {
        size_t keep = std::min(s.historyLength, kHistory - s.size);
        std::memmove(s.history, s.history + s.historyLength - keep, keep);
        std::memcpy(s.history + keep, dest, s.size);
        s.historyLength = keep + s.size;
    }
    return MSPACK_ERR_OK;
}

// Each block is a deflate stream of its own over the history of those before it; it must end
// exactly where its size says.
bool MsZipDecoder::inflateIsal(unsigned char* dest) {
    State& s = *s_;
    const Isal& isal = *s.isalApi;
    isal.reset(&s.isal);
    if (s.historyLength > 0 &&
        isal.setDict(&s.isal, s.history, static_cast<uint32_t>(s.historyLength)) != COMP_OK)
        return false;
    s.isal.crc_flag = ISAL_DEFLATE;
    s.isal.next_in = const_cast<unsigned char*>(s.packed) + 2;
    s.isal.avail_in = static_cast<uint32_t>(s.packedSize - 2);
    s.isal.next_out = dest;
    s.isal.avail_out = static_cast<uint32_t>(s.size);
    return isal.inflate(&s.isal) == ISAL_DECOMP_OK && s.isal.block_state == ISAL_BLOCK_FINISH &&
           s.isal.avail_out == 0;
}

bool MsZipDecoder::inflateZlib(unsigned char* dest) {
    State& s = *s_;
    z_stream& zs = s.zs;
    if (!s.streamReady) {
        if (inflateInit2(&zs, -15) != Z_OK)
            return false;
        s.streamReady = true;
    }
    if (inflateReset(&zs) != Z_OK ||
        (s.historyLength > 0 &&
         inflateSetDictionary(&zs, s.history, static_cast<uInt>(s.historyLength)) != Z_OK))
        return false;
    zs.next_in = const_cast<unsigned char*>(s.packed) + 2;
    zs.avail_in = static_cast<uInt>(s.packedSize - 2);
    zs.next_out = dest;
    zs.avail_out = static_cast<uInt>(s.size);
    const bool ok = inflate(&zs, Z_NO_FLUSH) == Z_STREAM_END && zs.avail_out == 0;
    if (ok && zlibBlocks_)
        ++*zlibBlocks_;
    return ok;
}

int MsZipDecoder::extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                          std::uint32_t length, PendingFile* out) {
    if (length == 0)
        return MSPACK_ERR_OK; // nothing to decode, wherever it lies
    if (!s_ || !s_->started || s_->folderIndex != index || s_->position > offset) {
        if (int rc = start(index, folder))
            return rc;
    }
    State& s = *s_;
    std::uint64_t skip = offset - s.position;
    std::uint64_t want = length;
    int rc = MSPACK_ERR_OK;
    while (rc == MSPACK_ERR_OK && (skip > 0 || want > 0)) {
        if (s.blockPos == s.blockLength) {
            if ((rc = readBlock()))
                break;
            if (skip == 0 && want >= s.size) {
                // The whole block belongs to this file: inflate it into the file's buffer.
                auto* dest = reinterpret_cast<unsigned char*>(out->room(s.size));
                if (!dest) {
                    rc = MSPACK_ERR_WRITE;
                    break;
                }
                if ((rc = inflateBlock(dest)))
                    break;
                out->accept(s.size);
                s.position += s.size;
                want -= s.size;
                s.blockPos = s.blockLength = 0;
                continue;
            }
            if ((rc = inflateBlock(s.block)))
                break;
            s.blockLength = s.size;
            s.blockPos = 0;
        }
        size_t avail = s.blockLength - s.blockPos;
        size_t n = static_cast<size_t>(std::min<std::uint64_t>(skip > 0 ? skip : want, avail));
        if (skip == 0 && !out->write(s.block + s.blockPos, n)) {
            rc = MSPACK_ERR_WRITE;
            break;
        }
        (skip > 0 ? skip : want) -= n;
        s.blockPos += n;
        s.position += n;
    }
    if (rc != MSPACK_ERR_OK)
        s.started = false; // the next call starts its folder over
    return rc;
}

} // namespace fm::tool
