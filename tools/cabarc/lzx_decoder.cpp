#include "lzx_decoder.h"

#include "cab_io.h"
#include "output_file.h"

#include <mspack.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <unistd.h>
#include <vector>

namespace fm::tool {

namespace {

constexpr unsigned kFrame = 32768;
constexpr unsigned kBlockMax = 32768;            // uncompressed bytes per data block
constexpr unsigned kInputMax = kBlockMax + 6144; // compressed bytes per data block
constexpr std::uint64_t kLengthMax = std::uint64_t(kBlockMax) * 65535; // of a folder
// libmspack's reader fetches the joined blocks in pieces of this many bytes.
constexpr std::uint64_t kPiece = 4096;
constexpr std::uint64_t kNever = UINT64_MAX / 16;
// Stream bytes kept loaded ahead of the reader, and the zero bytes after the loaded ones.
constexpr size_t kAhead = 256 * 1024;
constexpr size_t kPad = 64;

constexpr unsigned kChars = 256;
constexpr unsigned kMainBits = 12;                  // the main code's first-level table
constexpr unsigned kMainSymbols = kChars + 290 * 8; // every slot a damaged header can reach
constexpr unsigned kLengthSymbols = 250;            // one more than a header sets
constexpr unsigned kLensSlack = 64; // a run of lengths may run past the symbols it is for
constexpr unsigned char kVerbatim = 1, kAligned = 2, kUncompressed = 3;

constexpr unsigned kPositionSlots[7] = {30, 32, 34, 36, 38, 42, 50};

// Slot bases: base[i] = base[i-1] + (1 << extra[i-1]), extra 17 from slot 36 on.
struct Slots {
    std::uint32_t base[290];
    unsigned char extra[290];
    constexpr Slots() : base(), extra() {
        for (unsigned i = 0; i < 290; ++i) {
            extra[i] = i < 4 ? 0 : i < 36 ? static_cast<unsigned char>(i / 2 - 1) : 17;
            base[i] = i == 0 ? 0 : base[i - 1] + (1u << extra[i - 1]);
        }
    }
};
constexpr Slots kSlots;

std::uint64_t roundUp16(std::uint64_t bits) {
    return (bits + 15) & ~std::uint64_t(15);
}

// A canonical Huffman code as a table on its first `bits` bits, with second-level tables on the
// remaining bits up to 16 for longer codes. An entry is symbol << kSymbolShift | length <<
// kLengthShift | length, or, with the top bit set, the index of the second-level table. In the
// main code's first-level table an entry whose bits also hold the whole code of a second literal
// carries it too: the literal at kSecondShift, and both codes' length in the low bits (what the
// literal loop shifts by), the first code's alone staying at kLengthShift.
constexpr unsigned kLengthShift = 6, kSecondShift = 11, kSymbolShift = 19;
constexpr std::uint32_t kSub = 0x80000000u;
// First-level entries below this are literals, alone or in pairs.
constexpr std::uint32_t kLiteralsBelow = 256u << kSymbolShift;

struct Huffman {
    enum class Built { Ok, Empty, Bad };
    std::vector<std::uint32_t> table;
    unsigned bits = 0;

    // libmspack takes the complete codes (lengths over 16 are no code, but not empty) and one
    // without any code at all. Its table is made on `refBits` bits first: when the codes up to
    // that length complete the code, the longer ones are left out unseen.
    Built build(const unsigned char* lens, unsigned count, unsigned tableBits, unsigned refBits,
                bool pairs = false) {
        bits = tableBits;
        unsigned perLength[17] = {};
        bool any = false;
        for (unsigned i = 0; i < count; ++i) {
            any = any || lens[i] != 0;
            if (lens[i] <= 16)
                ++perLength[lens[i]];
        }
        perLength[0] = 0;
        std::int64_t left = 1;
        unsigned maxLen = 16;
        for (unsigned len = 1; len <= 16; ++len) {
            left = left * 2 - perLength[len];
            if (left < 0)
                return Built::Bad;
            if (len == refBits && left == 0) {
                maxLen = len;
                break;
            }
        }
        if (left != 0 && maxLen == 16)
            return any ? Built::Bad : Built::Empty;
        unsigned next[17] = {};
        for (unsigned len = 1, code = 0; len <= 16; ++len) {
            code = (code + perLength[len - 1]) << 1;
            next[len] = code;
        }
        table.assign(size_t(1) << bits, 0);
        const unsigned subBits = 16 - bits;
        // Codes of one length go to the symbols in their order.
        for (unsigned sym = 0; sym < count; ++sym) {
            const unsigned len = lens[sym];
            if (len == 0 || len > maxLen)
                continue;
            const unsigned code = next[len]++;
            const std::uint32_t entry = sym << kSymbolShift | len << kLengthShift | len;
            if (len <= bits) {
                const size_t from = size_t(code) << (bits - len);
                std::fill_n(table.begin() + from, size_t(1) << (bits - len), entry);
                continue;
            }
            const unsigned prefix = code >> (len - bits);
            if (table[prefix] == 0) {
                table[prefix] = kSub | static_cast<std::uint32_t>(table.size());
                table.resize(table.size() + (size_t(1) << subBits));
            }
            const size_t sub = table[prefix] & ~kSub;
            const unsigned rest = code & ((1u << (len - bits)) - 1);
            std::fill_n(table.begin() + sub + (size_t(rest) << (16 - len)), size_t(1) << (16 - len),
                        entry);
        }
        if (pairs)
            pairLiterals();
        return Built::Ok;
    }

    // Where a literal's code leaves room in the first-level bits for a second literal's whole
    // code, the entry takes both (the fields it reads from other entries are left as they are).
    void pairLiterals() {
        const unsigned mask = (1u << bits) - 1;
        for (unsigned i = 0; i <= mask; ++i) {
            const std::uint32_t e = table[i];
            const unsigned len = (e >> kLengthShift) & 31;
            if (e >= kLiteralsBelow || len == 0 || len >= bits)
                continue;
            const std::uint32_t next = table[(i << len) & mask];
            const unsigned both = len + ((next >> kLengthShift) & 31);
            if (next >= kLiteralsBelow || both > bits)
                continue;
            table[i] = (e & ~63u) | (next >> kSymbolShift) << kSecondShift | both;
        }
    }
};

// A table as the hot loop holds it.
struct Table {
    const std::uint32_t* entries;
    unsigned bits;
};

// The bit reader: `bb` holds `bc` bits, the next one at the top; `ip` indexes the next unread
// byte of `in`.
struct Bits {
    const unsigned char* in;
    size_t ip;
    std::uint64_t bb;
    unsigned bc;

    // Tops the buffer up to at least 48 bits with whole 16-bit words, without a branch. The bits
    // below the `bc` counted are the stream's next ones too (or zeros past the loaded input,
    // where the stream's bits are put in later): filling them again changes nothing. Needs bc
    // under 64, as it always is.
    void refill() {
#ifdef __SSE2__ // the four words' order turned round in one instruction
        const auto w = static_cast<std::uint64_t>(_mm_cvtsi128_si64(
            _mm_shufflelo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + ip)), 0x1B)));
#else
        std::uint64_t x;
        std::memcpy(&x, in + ip, 8);
        const std::uint64_t w =
            (x << 48) | ((x & 0xFFFF0000u) << 16) | ((x >> 16) & 0xFFFF0000u) | (x >> 48);
#endif
        bb |= w >> bc;
        const unsigned take = (63 - bc) >> 4;
        bc += 16 * take;
        ip += 2 * take;
    }
    // n in 1..17; the buffer must hold them.
    unsigned take(unsigned n) {
        const auto v = static_cast<unsigned>(bb >> (64 - n));
        bb <<= n;
        bc -= n;
        return v;
    }
    // The same for a table of `Bits` first-level bits, known here.
    template <unsigned TableBits> unsigned symbol(const std::uint32_t* entries) {
        std::uint32_t e = entries[bb >> (64 - TableBits)];
        if (e & kSub)
            e = entries[(e & ~kSub) + ((bb << TableBits) >> (64 - (16 - TableBits)))];
        const unsigned len = (e >> kLengthShift) & 31;
        bb <<= len;
        bc -= len;
        return e >> kSymbolShift;
    }
    unsigned symbol(const Table& t) {
        const std::uint32_t* entries = t.entries;
        std::uint32_t e = entries[bb >> (64 - t.bits)];
        if (e & kSub)
            e = entries[(e & ~kSub) + ((bb << t.bits) >> (64 - (16 - t.bits)))];
        const unsigned len = (e >> kLengthShift) & 31;
        bb <<= len;
        bc -= len;
        return e >> kSymbolShift;
    }
};

constexpr int kMore = -1; // a run stopped short of the end of the loaded input

// A match this far back, or from the window's previous round, is copied late (decodeRun).
constexpr std::uint32_t kFarDistance = 16384;
constexpr std::uint32_t kFarRound = 2 * kFrame; // source past the match in the previous round
constexpr unsigned kFarQueue = 16;

// A match copy a word at a time, its source at least 8 bytes before its destination or clear of
// it. The last word ends with the match (it may write bytes already written again, with the same
// values): nothing after the match is touched, as a later match may still reach the previous round
// of the window there.
struct FarCopy {
    unsigned char* dest;
    const unsigned char* src;
    std::uint32_t len;

    void copy() const {
        if (len >= 8) {
            for (std::uint32_t n = 0; n + 8 < len; n += 8)
                std::memcpy(dest + n, src + n, 8);
            std::memcpy(dest + len - 8, src + len - 8, 8);
        } else if (len >= 4) {
            std::memcpy(dest, src, 4);
            std::memcpy(dest + len - 4, src + len - 4, 4);
        } else {
            std::memcpy(dest, src, 2);
            dest[len - 1] = src[len - 1];
        }
    }
};

// Adds `c` to the queue, first making the oldest copy when it is full, and starts fetching its
// source.
inline void queue(FarCopy (&q)[kFarQueue], unsigned& first, unsigned& queued, const FarCopy& c) {
    if (queued == kFarQueue) {
        q[first].copy();
        first = (first + 1) % kFarQueue;
        --queued;
    }
    __builtin_prefetch(c.src);
    __builtin_prefetch(c.src + c.len - 1);
    q[(first + queued++) % kFarQueue] = c;
}

} // namespace

struct LzxDecoder::State {
    int fd = -1;
    FolderLayout folder;
    unsigned folderIndex = 0;
    bool started = false;
    int error = MSPACK_ERR_OK; // sticky, as in libmspack
    std::uint64_t offset = 0;  // folder bytes handed out

    // The joined blocks: stream bytes [inStart, inStart + inLen) in `in`, zeros after them.
    std::vector<unsigned char> in;
    std::uint64_t inStart = 0;
    size_t inLen = 0;
    off_t nextBlock = 0;
    unsigned blocksRead = 0;
    bool blocksDone = false;
    std::uint64_t outLength = 0; // the blocks' sizes, summed
    // The first stream byte libmspack's reader cannot have, and why; where the piece holding the
    // last block starts.
    std::uint64_t failAt = kNever;
    int failCode = MSPACK_ERR_OK;
    std::uint64_t knownAt = kNever;

    // The reader, and the furthest bit libmspack's reader has asked for (its fetch reaches the
    // next word boundary after it).
    Bits r{};
    std::uint64_t reach = 0;
    bool byteMode = false; // in an uncompressed block's data: libmspack reads bytes there

    unsigned windowBits = 0;
    std::uint32_t windowSize = 0, numOffsets = 0;
    // Fresh zero pages from calloc, so that a large window costs only the pages a folder uses.
    struct Free {
        void operator()(unsigned char* p) const { std::free(p); }
    };
    std::unique_ptr<unsigned char[], Free> window;
    std::uint32_t windowPosn = 0, framePosn = 0, frame = 0;
    std::uint32_t R0 = 1, R1 = 1, R2 = 1;
    bool headerRead = false, intelStarted = false;
    std::int32_t intelFilesize = 0;
    unsigned char blockType = 0;
    std::uint32_t blockRemaining = 0, blockLength = 0;
    unsigned char mainLens[kMainSymbols + kLensSlack];
    unsigned char lengthLens[kLengthSymbols + kLensSlack];
    unsigned char alignedLens[8];
    Huffman main, length, aligned, pre;
    bool lengthEmpty = false;

    // The last frame, from oPtr to oEnd not yet handed out.
    std::unique_ptr<unsigned char[]> e8;
    const unsigned char* oPtr = nullptr;
    const unsigned char* oEnd = nullptr;

    ~State() {
        if (fd >= 0)
            ::close(fd);
    }

    std::uint64_t bitPos() const { return (inStart + r.ip) * 8 - r.bc; }

    // --- input ---------------------------------------------------------------------------

    void fail(std::uint64_t at, int code) {
        if (at < failAt) {
            failAt = at;
            failCode = code;
        }
        blocksDone = true;
    }

    bool readAll(void* to, size_t size, off_t at) {
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pread(fd, static_cast<char*>(to) + done, size - done,
                                      at + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    // Reads one more data block onto the stream, with libmspack's checks.
    void readBlock(unsigned reserve) {
        const std::uint64_t start = inStart + inLen;
        if (blocksRead == folder.blockCount) {
            fail(start + 2, MSPACK_ERR_DATAFORMAT); // libmspack pads the stream with 2 zeros
            return;
        }
        ++blocksRead;
        unsigned char h[8];
        int rc = MSPACK_ERR_OK;
        size_t packed = 0, size = 0;
        if (!readAll(h, 8, nextBlock)) {
            rc = MSPACK_ERR_READ;
        } else {
            packed = h[4] | h[5] << 8;
            size = h[6] | h[7] << 8;
            nextBlock += 8 + reserve;
            if (packed > kInputMax || size > kBlockMax)
                rc = MSPACK_ERR_DATAFORMAT;
        }
        if (rc == MSPACK_ERR_OK) {
            if (inLen + packed + kPad > in.size()) {
                // Drop what the reader is past.
                std::memmove(in.data(), in.data() + r.ip, inLen - r.ip);
                inStart += r.ip;
                inLen -= r.ip;
                r.ip = 0;
            }
            // The buffer holds the whole cabinet when it is small: a block that does not fit
            // runs past the end of the file.
            if (inLen + packed + kPad > in.size() ||
                !readAll(in.data() + inLen, packed, nextBlock)) {
                rc = MSPACK_ERR_READ;
            } else {
                nextBlock += static_cast<off_t>(packed);
                const std::uint32_t sum = static_cast<std::uint32_t>(h[0]) | h[1] << 8 |
                                          h[2] << 16 | static_cast<std::uint32_t>(h[3]) << 24;
                if (sum != 0 &&
                    BlockChecksum(h + 4, 4, BlockChecksum(in.data() + inLen, packed, 0)) != sum)
                    rc = MSPACK_ERR_CHECKSUM;
                else if (size == 0) // continued in a next part: there is none
                    rc = MSPACK_ERR_DATAFORMAT;
            }
        }
        if (rc != MSPACK_ERR_OK) {
            std::fill_n(in.data() + inLen, kPad, 0);
            fail(start & ~(kPiece - 1), rc);
            return;
        }
        inLen += packed;
        std::fill_n(in.data() + inLen, kPad, 0);
        outLength += size;
        if (blocksRead == folder.blockCount) {
            knownAt = start & ~(kPiece - 1);
            fail(inStart + inLen + 2, MSPACK_ERR_DATAFORMAT);
        }
    }

    // Loads blocks until the stream reaches `upTo`, or there are no more.
    void load(std::uint64_t upTo, unsigned reserve) {
        while (!blocksDone && inStart + inLen < upTo)
            readBlock(reserve);
    }

    // --- libmspack's reader --------------------------------------------------------------

    // Whether libmspack's reader gets `bits` more bits from here (asking for a word fetches it).
    bool need(unsigned bits) {
        reach = std::max(reach, bitPos() + bits);
        return roundUp16(reach) <= failAt * 8;
    }
    // Reads n (1..17) bits, as libmspack does; false where libmspack fails.
    bool readBits(unsigned n, unsigned& v) {
        if (!need(n))
            return false;
        r.refill();
        v = r.take(n);
        return true;
    }
    bool readSymbol(const Huffman& h, unsigned& v) {
        if (!need(16))
            return false;
        r.refill();
        v = r.symbol(Table{h.table.data(), h.bits});
        return true;
    }
    // Stream bytes libmspack's reader has fetched.
    std::uint64_t fetched() const { return byteMode ? bitPos() / 8 : roundUp16(reach) / 8; }

    int readError() const { return failCode; }

    // --- decoding --------------------------------------------------------------------------

    // The code lengths of symbols first..last of `lens`, as deltas coded with a pretree.
    int readLengths(unsigned char* lens, unsigned first, unsigned last) {
        unsigned char preLens[20];
        for (auto& l : preLens) {
            unsigned v;
            if (!readBits(4, v))
                return readError();
            l = static_cast<unsigned char>(v);
        }
        if (pre.build(preLens, 20, 8, 6) != Huffman::Built::Ok)
            return MSPACK_ERR_DECRUNCH;
        for (unsigned x = first; x < last;) {
            unsigned z, y;
            if (!readSymbol(pre, z))
                return readError();
            if (z == 17 || z == 18) {
                if (!readBits(z == 17 ? 4 : 5, y))
                    return readError();
                y += z == 17 ? 4 : 20;
                std::fill_n(lens + x, y, 0);
                x += y;
            } else if (z == 19) {
                if (!readBits(1, y) || !readSymbol(pre, z))
                    return readError();
                y += 4;
                int v = lens[x] - static_cast<int>(z);
                if (v < 0)
                    v += 17;
                std::fill_n(lens + x, y, static_cast<unsigned char>(v));
                x += y;
            } else {
                int v = lens[x] - static_cast<int>(z);
                if (v < 0)
                    v += 17;
                lens[x++] = static_cast<unsigned char>(v);
            }
        }
        return MSPACK_ERR_OK;
    }

    int readBlockHeader() {
        if (blockType == kUncompressed && (blockLength & 1)) {
            if (bitPos() / 8 >= failAt)
                return readError();
            ++r.ip; // the pad byte after odd-sized stored data
        }
        byteMode = false;
        reach = std::max(reach, bitPos());
        unsigned type, hi, lo;
        if (!readBits(3, type) || !readBits(16, hi) || !readBits(8, lo))
            return readError();
        blockType = static_cast<unsigned char>(type);
        blockRemaining = blockLength = hi << 8 | lo;
        switch (blockType) {
        case kAligned:
            for (auto& l : alignedLens) {
                unsigned v;
                if (!readBits(3, v))
                    return readError();
                l = static_cast<unsigned char>(v);
            }
            if (aligned.build(alignedLens, 8, 7, 7) != Huffman::Built::Ok)
                return MSPACK_ERR_DECRUNCH;
            [[fallthrough]];
        case kVerbatim: {
            if (int rc = readLengths(mainLens, 0, kChars))
                return rc;
            if (int rc = readLengths(mainLens, kChars, kChars + numOffsets))
                return rc;
            if (main.build(mainLens, kMainSymbols, kMainBits, 12, true) != Huffman::Built::Ok)
                return MSPACK_ERR_DECRUNCH;
            if (mainLens[0xE8] != 0)
                intelStarted = true;
            if (int rc = readLengths(lengthLens, 0, kLengthSymbols - 1))
                return rc;
            const auto built = length.build(lengthLens, kLengthSymbols, 10, 12);
            if (built == Huffman::Built::Bad)
                return MSPACK_ERR_DECRUNCH;
            lengthEmpty = built == Huffman::Built::Empty;
            return MSPACK_ERR_OK;
        }
        case kUncompressed: {
            intelStarted = true;
            // 1 to 16 bits up to the next word: whatever libmspack's buffer still holds.
            std::uint64_t q = roundUp16(reach);
            if (q == bitPos()) {
                if (!need(16))
                    return readError();
                q += 16;
            }
            r.ip = static_cast<size_t>(q / 8 - inStart);
            r.bb = 0;
            r.bc = 0;
            byteMode = true;
            if (q / 8 + 12 > failAt)
                return readError();
            std::uint32_t rs[3];
            for (auto& v : rs) {
                const unsigned char* p = r.in + r.ip;
                v = p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
                r.ip += 4;
            }
            R0 = rs[0];
            R1 = rs[1];
            R2 = rs[2];
            return MSPACK_ERR_OK;
        }
        default:
            return MSPACK_ERR_DECRUNCH;
        }
    }

    // Copies a match of `len` bytes from `dist` back to `posn`, as libmspack allows it.
    bool copyMatch(std::uint32_t dist, std::uint32_t len, std::uint32_t posn) {
        unsigned char* w = window.get();
        unsigned char* dest = w + posn;
        if (dist > posn) {
            if (dist > offset)
                return false; // before the start of the folder
            const std::uint32_t j = dist - posn;
            if (j > windowSize)
                return false;
            const unsigned char* src = w + windowSize - j;
            std::uint32_t n = len;
            if (j < n) {
                std::memmove(dest, src, j); // dest lies before src
                dest += j;
                n -= j;
                src = w;
            }
            while (n-- > 0)
                *dest++ = *src++;
        } else if (dist >= 8) {
            FarCopy{dest, dest - dist, len}.copy();
        } else if (dist == 1) {
            std::memset(dest, dest[-1], len);
        } else {
            const unsigned char* src = dest - dist; // dist 0 leaves the window as it is
            for (std::uint32_t n = 0; n < len; ++n)
                dest[n] = src[n];
        }
        return true;
    }

    // Decodes `run` more bytes of a verbatim or aligned block. Careful: near where libmspack's
    // reader fails, each read is checked; otherwise the run stops short (kMore) when the input
    // loaded runs low. `lastSymbol` is where the last Huffman symbol was read.
    template <bool Careful> int decodeRun(std::int64_t& runLeft, std::uint64_t& lastSymbol) {
        Bits b = r;
        const std::uint64_t limit = std::min<std::uint64_t>(inStart + inLen, failAt);
        const size_t stop =
            limit > inStart + kPad ? static_cast<size_t>(limit - inStart - kPad) : 0;
        std::uint32_t posn = windowPosn, r0 = R0, r1 = R1, r2 = R2;
        std::int64_t run = runLeft;
        unsigned char* const w = window.get();
        const bool isAligned = blockType == kAligned, noLengths = lengthEmpty;
        const Table mainT{main.table.data(), main.bits}, lenT{length.table.data(), length.bits},
            alignT{aligned.table.data(), aligned.bits};
        size_t lastIp = b.ip;
        unsigned lastBc = b.bc;
        int rc = MSPACK_ERR_OK;
        auto check = [&](unsigned bits) {
            if constexpr (Careful) {
                r = b;
                return need(bits);
            }
            return true;
        };
        auto symbol = [&] {
            lastIp = b.ip;
            lastBc = b.bc;
            return check(16);
        };
        // Far matches read window bytes long out of the cache. Their copies wait in a short queue
        // while the next symbols are decoded, their sources being fetched meanwhile; they are
        // made in order before any other match, and literals go ahead of them, never into what a
        // waiting copy reads (a source lies before the match, or at least kFarRound bytes after
        // it in the window's previous round: more than a run writes).
        FarCopy waiting[kFarQueue];
        unsigned first = 0, queued = 0;
        auto flush = [&] {
            for (; queued; --queued, first = (first + 1) % kFarQueue)
                waiting[first].copy();
        };
        while (run > 0) {
            if (!Careful && b.ip >= stop) {
                rc = kMore;
                break;
            }
            if constexpr (!Careful) {
                // Literals come in runs, two a look-up where their codes fit the table together,
                // four look-ups (of at most kMainBits each) to a refill of 48 bits or more. Both
                // bytes are written either way (the second is then written over next): the run
                // has room for them.
                std::uint32_t e = 0, lastE = 0;
                auto literals = [&] {
                    e = mainT.entries[b.bb >> (64 - kMainBits)];
                    if (e >= kLiteralsBelow)
                        return false;
                    const unsigned both = e & 63, two = both != ((e >> kLengthShift) & 31);
                    w[posn] = static_cast<unsigned char>(e >> kSymbolShift);
                    w[posn + 1] = static_cast<unsigned char>(e >> kSecondShift);
                    b.bb <<= both;
                    b.bc -= both;
                    posn += 1 + two;
                    run -= 1 + two;
                    lastE = e;
                    return true;
                };
                while (run >= 8 && b.ip < stop) {
                    b.refill();
                    if (!(literals() && literals() && literals() && literals()))
                        break;
                }
                if (lastE) { // where the last literal's code began
                    const unsigned both = lastE & 63, first = (lastE >> kLengthShift) & 31;
                    lastIp = b.ip;
                    lastBc = b.bc + (both != first ? both - first : both);
                }
                if (run == 0 || b.ip >= stop)
                    continue;
            }
            if (b.bc < 16)
                b.refill(); // 48 bits or more
            if (!symbol()) {
                rc = readError();
                break;
            }
            unsigned sym = b.symbol<kMainBits>(mainT.entries);
            if (sym < kChars) {
                w[posn++] = static_cast<unsigned char>(sym);
                --run;
                continue;
            }
            if (b.bc < 33)
                b.refill();
            sym -= kChars;
            std::uint32_t len = sym & 7;
            if (len == 7) {
                if (noLengths) {
                    rc = MSPACK_ERR_DECRUNCH;
                    break;
                }
                if (!symbol()) {
                    rc = readError();
                    break;
                }
                len += b.symbol(lenT);
            }
            len += 2;
            std::uint32_t dist;
            const unsigned slot = sym >> 3;
            if (slot == 0) {
                dist = r0;
            } else if (slot == 1) {
                dist = r1;
                r1 = r0;
                r0 = dist;
            } else if (slot == 2) {
                dist = r2;
                r2 = r0;
                r0 = dist;
            } else {
                const unsigned extra = kSlots.extra[slot];
                dist = kSlots.base[slot] - 2;
                if (extra >= 3 && isAligned) {
                    if (extra > 3) {
                        if (!check(extra - 3)) {
                            rc = readError();
                            break;
                        }
                        dist += b.take(extra - 3) << 3;
                    }
                    b.refill();
                    if (!symbol()) {
                        rc = readError();
                        break;
                    }
                    dist += b.symbol(alignT);
                } else if (extra) {
                    if (!check(extra)) {
                        rc = readError();
                        break;
                    }
                    dist += b.take(extra);
                }
                r2 = r1;
                r1 = r0;
                r0 = dist;
            }
            if (len > run) {
                rc = MSPACK_ERR_DECRUNCH; // past the frame or the block: libmspack refuses it
                break;
            }
            if (dist >= kFarDistance && dist <= posn) {
                queue(waiting, first, queued, {w + posn, w + posn - dist, len});
                posn += len;
                run -= len;
                continue;
            }
            if (dist > posn && dist <= offset && dist - posn >= len &&
                windowSize - dist >= kFarRound) {
                queue(waiting, first, queued, {w + posn, w + posn + (windowSize - dist), len});
                posn += len;
                run -= len;
                continue;
            }
            flush();
            // Copied from this many bytes back: the distance, or under 8, the nearest whole
            // number of its repeating pattern at least 8 bytes back.
            const std::uint32_t step = dist >= 8 ? dist : (8 + dist - 1) / dist * dist;
            if (dist <= posn && dist >= 2 && len >= 8 + step - dist) {
                // Whole words, the last one ending with the match: nothing after the match is
                // touched, as a later match may still reach the previous round of the window
                // there. A distance under 8 first lays down 8 bytes of its pattern.
                unsigned char* const dest = w + posn;
                if (dist < 8) {
                    const unsigned char* const from = dest - dist;
                    for (unsigned n = 0; n < 8; ++n)
                        dest[n] = from[n];
                } else {
                    std::memcpy(dest, dest - dist, 8);
                }
                const unsigned char* const src = dest - step;
                for (std::uint32_t n = 8; n + 8 < len; n += 8)
                    std::memcpy(dest + n, src + n, 8);
                std::memcpy(dest + len - 8, src + len - 8, 8);
            } else if (dist <= posn && dist >= 8) {
                unsigned char* const dest = w + posn;
                const unsigned char* const src = dest - dist;
                if (len >= 4) {
                    std::memcpy(dest, src, 4);
                    std::memcpy(dest + len - 4, src + len - 4, 4);
                } else {
                    std::memcpy(dest, src, 2);
                    dest[len - 1] = src[len - 1];
                }
            } else if (dist > posn && dist <= offset && dist - posn >= len &&
                       windowSize - dist >= len) {
                FarCopy{w + posn, w + posn + (windowSize - dist), len}.copy();
            } else if (!copyMatch(dist, len, posn)) {
                // before the start of the folder: libmspack refuses it
                rc = MSPACK_ERR_DECRUNCH;
                break;
            }
            posn += len;
            run -= len;
        }
        flush();
        r = b;
        windowPosn = posn;
        R0 = r0;
        R1 = r1;
        R2 = r2;
        runLeft = run;
        lastSymbol = std::max(lastSymbol, (inStart + lastIp) * 8 - lastBc);
        return rc;
    }
};

LzxDecoder::LzxDecoder(std::string cabinetPath, unsigned blockReserve, std::uint64_t* frames)
    : path_(std::move(cabinetPath)), blockReserve_(blockReserve), frames_(frames) {}

LzxDecoder::~LzxDecoder() = default;

bool LzxDecoder::Handles(std::uint16_t compression) {
    const unsigned windowBits = (compression >> 8) & 0x1F;
    return (compression & 0x0F) == MSCAB_COMP_LZX && windowBits >= 15 && windowBits <= 21;
}

namespace {

// libmspack's lzxd_decompress for `outBytes` more bytes, each piece handed to `emit` (false:
// the write failed).
template <class Emit>
int Decompress(LzxDecoder::State& s, std::uint64_t outBytes, Emit&& emit, unsigned reserve,
               std::uint64_t* frames);

} // namespace

int LzxDecoder::extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                        std::uint32_t length, PendingFile* out) {
    return run(index, folder, offset, length,
               [out](const unsigned char* data, size_t n) { return !out || out->write(data, n); });
}

int LzxDecoder::extract(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                        std::uint32_t length, const Sink& sink) {
    return run(index, folder, offset, length, sink);
}

template <class Emit>
int LzxDecoder::run(unsigned index, const FolderLayout& folder, std::uint32_t offset,
                    std::uint32_t length, Emit&& emit) {
    // libmspack's checks of the file record come first.
    if (offset > kLengthMax || length > kLengthMax || std::uint64_t(offset) + length > kLengthMax)
        return MSPACK_ERR_DATAFORMAT;
    if (std::uint64_t(offset) + length > std::uint64_t(folder.blockCount) * kBlockMax)
        return MSPACK_ERR_DECRUNCH;
    if (!s_) {
        s_ = std::make_unique<State>();
        s_->fd = OpenCabinetFile(path_);
        struct stat st {};
        if (s_->fd < 0 || ::fstat(s_->fd, &st) != 0) {
            s_.reset();
            return MSPACK_ERR_OPEN;
        }
        s_->in.resize(std::min<size_t>(2 * kAhead + kInputMax, static_cast<size_t>(st.st_size)) +
                      kPad);
        s_->e8 = std::make_unique_for_overwrite<unsigned char[]>(kFrame);
    }
    State& s = *s_;
    if (!s.started || s.folderIndex != index || s.offset > offset) {
        const unsigned windowBits = (folder.compression >> 8) & 0x1F;
        if (!Handles(folder.compression))
            return MSPACK_ERR_DATAFORMAT;
        s.started = true;
        s.folderIndex = index;
        s.folder = folder;
        s.error = MSPACK_ERR_OK;
        s.offset = 0;
        s.inStart = 0;
        s.inLen = 0;
        std::fill_n(s.in.data(), kPad, 0);
        s.nextBlock = folder.firstBlock;
        s.blocksRead = 0;
        s.blocksDone = false;
        s.outLength = 0;
        s.failAt = s.knownAt = kNever;
        s.failCode = MSPACK_ERR_OK;
        s.r = Bits{s.in.data(), 0, 0, 0};
        s.reach = 0;
        s.byteMode = false;
        s.windowBits = windowBits;
        s.windowSize = 1u << windowBits;
        s.window.reset(static_cast<unsigned char*>(std::calloc(s.windowSize, 1)));
        if (!s.window)
            return MSPACK_ERR_NOMEMORY;
        s.numOffsets = kPositionSlots[windowBits - 15] << 3;
        s.windowPosn = s.framePosn = s.frame = 0;
        s.R0 = s.R1 = s.R2 = 1;
        s.headerRead = s.intelStarted = false;
        s.intelFilesize = 0;
        s.blockType = 0;
        s.blockRemaining = s.blockLength = 0;
        std::memset(s.mainLens, 0, sizeof s.mainLens);
        std::memset(s.lengthLens, 0, sizeof s.lengthLens);
        s.lengthEmpty = false;
        s.oPtr = s.oEnd = s.e8.get();
    }
    if (length == 0)
        return MSPACK_ERR_OK;
    int rc = MSPACK_ERR_OK;
    if (offset > s.offset)
        rc = Decompress(
            s, offset - s.offset, [](const unsigned char*, size_t) { return true; }, blockReserve_,
            frames_);
    if (rc == MSPACK_ERR_OK)
        rc = Decompress(s, length, emit, blockReserve_, frames_);
    return rc;
}

namespace {

int DecodeFrame(LzxDecoder::State& s, std::uint32_t frameSize, unsigned reserve) {
    std::int64_t todo = static_cast<std::int64_t>(s.framePosn) + frameSize - s.windowPosn;
    std::uint64_t lastSymbolAt = 0;
    while (todo > 0) {
        if (s.blockRemaining == 0) {
            s.load(s.inStart + s.r.ip + 16384, reserve);
            if (int rc = s.readBlockHeader())
                return rc;
        }
        std::int64_t run = std::min<std::int64_t>(s.blockRemaining, todo);
        todo -= run;
        s.blockRemaining -= static_cast<std::uint32_t>(run);
        if (s.blockType == kUncompressed) {
            s.load(s.inStart + s.r.ip + static_cast<std::uint64_t>(run) + kPad, reserve);
            if (s.inStart + s.r.ip + static_cast<std::uint64_t>(run) > s.failAt)
                return s.readError();
            std::memcpy(s.window.get() + s.windowPosn, s.r.in + s.r.ip, static_cast<size_t>(run));
            s.r.ip += static_cast<size_t>(run);
            s.windowPosn += static_cast<std::uint32_t>(run);
            continue;
        }
        int rc = s.decodeRun<false>(run, lastSymbolAt);
        if (rc == kMore) {
            s.load(s.inStart + s.r.ip + kAhead, reserve);
            rc = s.decodeRun<false>(run, lastSymbolAt);
            if (rc == kMore)
                rc = s.decodeRun<true>(run, lastSymbolAt);
        }
        if (rc != MSPACK_ERR_OK)
            return rc;
    }
    // Realign to a word, as libmspack does: when its buffer holds bits, it first makes sure of
    // 16, then drops all but whole words.
    const std::uint64_t at = s.bitPos();
    if (!s.byteMode) {
        s.reach = std::max({s.reach, at, lastSymbolAt + 16});
        if (roundUp16(s.reach) > at) {
            if (!s.need(16))
                return s.readError();
            const unsigned drop = static_cast<unsigned>(roundUp16(at) - at);
            if (drop) {
                s.r.refill();
                s.r.take(drop);
            }
        }
    }
    return MSPACK_ERR_OK;
}

template <class Emit>
int Decompress(LzxDecoder::State& s, std::uint64_t outBytes, Emit&& write, unsigned reserve,
               std::uint64_t* frames) {
    if (s.error)
        return s.error;
    auto emit = [&](const unsigned char* data, std::uint64_t n) {
        if (n && !write(data, static_cast<size_t>(n)))
            return false;
        s.offset += n;
        return true;
    };
    std::uint64_t pending = std::min<std::uint64_t>(s.oEnd - s.oPtr, outBytes);
    if (pending) {
        if (!emit(s.oPtr, pending))
            return s.error = MSPACK_ERR_WRITE;
        s.oPtr += pending;
        outBytes -= pending;
    }
    if (outBytes == 0)
        return MSPACK_ERR_OK;
    const std::uint64_t endFrame = (s.offset + outBytes) / kFrame + 1;
    while (s.frame < endFrame) {
        s.load(s.inStart + s.r.ip + kAhead, reserve);
        if (!s.headerRead) {
            unsigned bit = 0, hi = 0, lo = 0;
            if (!s.readBits(1, bit) || (bit && (!s.readBits(16, hi) || !s.readBits(16, lo))))
                return s.error = s.readError();
            s.intelFilesize = static_cast<std::int32_t>(hi << 16 | lo);
            s.headerRead = true;
        }
        std::uint32_t frameSize = kFrame;
        if (s.fetched() > s.knownAt) { // libmspack has read the last block: it knows the length
            if (s.outLength < s.offset)
                return s.error = MSPACK_ERR_DECRUNCH;
            frameSize = static_cast<std::uint32_t>(
                std::min<std::uint64_t>(frameSize, s.outLength - s.offset));
        }
        if (int rc = DecodeFrame(s, frameSize, reserve))
            return s.error = rc;
        if (frames)
            ++*frames;
        const unsigned char* data = s.window.get() + s.framePosn;
        if (s.intelStarted && s.intelFilesize && s.frame < 32768 && frameSize > 10) {
            unsigned char* e8 = s.e8.get();
            std::memcpy(e8, data, frameSize);
            const std::int32_t size = s.intelFilesize;
            auto curpos = static_cast<std::int32_t>(s.offset);
            unsigned char* const end = e8 + frameSize - 10;
            for (unsigned char* p = e8; p < end;) {
                auto* hit = static_cast<unsigned char*>(std::memchr(p, 0xE8, size_t(end - p)));
                if (!hit)
                    break;
                curpos += static_cast<std::int32_t>(hit - p);
                p = hit + 1;
                const auto abs = static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                                           static_cast<std::uint32_t>(p[3]) << 24);
                if (abs >= -curpos && abs < size) {
                    const std::uint32_t rel =
                        static_cast<std::uint32_t>(abs >= 0 ? abs - curpos : abs + size);
                    p[0] = static_cast<unsigned char>(rel);
                    p[1] = static_cast<unsigned char>(rel >> 8);
                    p[2] = static_cast<unsigned char>(rel >> 16);
                    p[3] = static_cast<unsigned char>(rel >> 24);
                }
                p += 4;
                curpos += 5;
            }
            data = e8;
        }
        s.oPtr = data;
        s.oEnd = data + frameSize;
        const std::uint64_t n = std::min<std::uint64_t>(outBytes, frameSize);
        if (!emit(s.oPtr, n))
            return s.error = MSPACK_ERR_WRITE;
        s.oPtr += n;
        outBytes -= n;
        s.framePosn += frameSize;
        ++s.frame;
        if (s.windowPosn == s.windowSize)
            s.windowPosn = 0;
        if (s.framePosn == s.windowSize)
            s.framePosn = 0;
    }
    if (outBytes)
        return s.error = MSPACK_ERR_DECRUNCH;
    return MSPACK_ERR_OK;
}

} // namespace

} // namespace fm::tool
