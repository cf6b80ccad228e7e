#include "lzx_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace fm::tool {

namespace {

constexpr std::uint32_t kMinMatch = 2, kMaxMatch = 257;
constexpr std::uint32_t kBlockFrames = 8; // frames coded as one block
constexpr int kChainDepth = 8;            // candidates looked at per position
constexpr std::uint32_t kNiceLength = 32; // a match this long is taken without looking further
constexpr std::uint32_t kGoodLength = 12; // past this, only a quarter of the depth is looked at
constexpr std::uint32_t kSkipAfter = 32;  // literals in a row before positions are skipped
constexpr std::uint32_t kLazyBelow = 16;  // shorter matches are put off when the next is better
constexpr int kHashBits = 18;
constexpr std::int32_t kE8FileSize = 12000000; // the translation size cabinets use
constexpr std::uint32_t kE8Frames = 32768;     // frames past this are not translated
constexpr int kMaxCodeLength = 16, kMaxPretreeLength = 15, kMaxAlignedLength = 7;

enum BlockType { kVerbatim = 1, kAligned = 2 };

int extraBits(int slot) {
    return slot < 4 ? 0 : std::min(slot / 2 - 1, 17);
}

std::uint32_t slotBase(int slot) {
    if (slot < 4)
        return static_cast<std::uint32_t>(slot);
    if (slot < 36)
        return (2u | (slot & 1)) << (slot / 2 - 1);
    return 262144u + static_cast<std::uint32_t>(slot - 36) * 131072u;
}

// The position slot of an offset as coded (the distance plus 2), 3 or more.
int slotOf(std::uint32_t offset) {
    if (offset < 4)
        return static_cast<int>(offset);
    if (offset >= 262144)
        return 34 + static_cast<int>(offset >> 17);
    const int top = std::bit_width(offset) - 1;
    return 2 * top + static_cast<int>((offset >> (top - 1)) & 1);
}

// Huffman code lengths for `count` symbols, none longer than `limit`. Always at least two
// symbols get a code, so that every code is complete, as decoders require.
void buildLengths(const std::uint32_t* frequency, int count, int limit, std::uint8_t* lengths) {
    std::vector<std::uint32_t> f(frequency, frequency + count);
    int used = 0;
    for (auto x : f)
        used += x != 0;
    for (int s = 0; used < 2; ++s) {
        if (!f[s]) {
            f[s] = 1;
            ++used;
        }
    }
    for (;;) {
        std::vector<std::pair<std::uint32_t, int>> leaves;
        for (int s = 0; s < count; ++s) {
            if (f[s])
                leaves.push_back({f[s], s});
        }
        std::sort(leaves.begin(), leaves.end());
        const int n = static_cast<int>(leaves.size());
        // Two queues: the sorted leaves, and the joined nodes in the order they are made.
        std::vector<std::uint64_t> weight(2 * n);
        std::vector<int> parent(2 * n, 0), depth(2 * n, 0);
        for (int i = 0; i < n; ++i)
            weight[i] = leaves[i].first;
        int leaf = 0, node = n;
        auto lightest = [&](int made) {
            return leaf < n && (node >= made || weight[leaf] <= weight[node]) ? leaf++ : node++;
        };
        for (int made = n; made < 2 * n - 1; ++made) {
            const int a = lightest(made), b = lightest(made);
            weight[made] = weight[a] + weight[b];
            parent[a] = parent[b] = made;
        }
        int longest = 0;
        for (int i = 2 * n - 3; i >= 0; --i) {
            depth[i] = depth[parent[i]] + 1;
            longest = std::max(longest, depth[i]);
        }
        if (longest <= limit) {
            std::fill(lengths, lengths + count, 0);
            for (int i = 0; i < n; ++i)
                lengths[leaves[i].second] = static_cast<std::uint8_t>(depth[i]);
            return;
        }
        for (auto& x : f)
            x = (x + 1) / 2; // flatter frequencies, a shallower tree
    }
}

// Canonical codes: shorter codes first, equal lengths in symbol order.
void buildCodes(const std::uint8_t* lengths, int count, std::uint16_t* codes) {
    int perLength[kMaxCodeLength + 1] = {};
    for (int s = 0; s < count; ++s)
        ++perLength[lengths[s]];
    perLength[0] = 0;
    std::uint32_t next[kMaxCodeLength + 2] = {};
    for (int bits = 1; bits <= kMaxCodeLength; ++bits)
        next[bits] = (next[bits - 1] + perLength[bits - 1]) << 1;
    for (int s = 0; s < count; ++s) {
        if (lengths[s])
            codes[s] = static_cast<std::uint16_t>(next[lengths[s]]++);
    }
}

std::uint32_t load32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Chains link positions whose next four bytes hash alike: shorter matches are rarely worth
// their distance, and leaving them out keeps the chains short.
std::uint32_t hash4(const unsigned char* p) {
    return (load32(p) * 2654435761u) >> (32 - kHashBits);
}

// Bytes equal at `a` and `b`, at most `limit`; reads up to 7 bytes past `a + limit`.
std::uint32_t matchLength(const unsigned char* a, const unsigned char* b, std::uint32_t limit) {
    std::uint32_t n = 0;
    while (n < limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y)
            return std::min(limit, n + static_cast<std::uint32_t>(std::countr_zero(x ^ y) / 8));
        n += 8;
    }
    return limit;
}

// Turns the relative targets of CALL instructions (E8) in a frame into absolute ones; `at` is the
// frame's position in the folder. The last 10 bytes are left, as the decoder leaves them.
void translateE8(unsigned char* data, std::uint32_t size, std::int32_t at) {
    if (size <= 10)
        return;
    for (std::uint32_t i = 0; i + 10 < size;) {
        if (data[i] != 0xE8) {
            ++i;
            continue;
        }
        const std::int32_t pos = at + static_cast<std::int32_t>(i);
        std::int32_t rel;
        std::memcpy(&rel, data + i + 1, 4);
        if (rel >= -pos && rel < kE8FileSize) {
            const std::int32_t abs = rel < kE8FileSize - pos ? rel + pos : rel - kE8FileSize;
            std::memcpy(data + i + 1, &abs, 4);
        }
        i += 5;
    }
}

} // namespace

LzxEncoder::LzxEncoder(int windowBits)
    : windowBits_(windowBits), maxDistance_((1u << windowBits) - 3),
      slots_(windowBits == 21   ? 50
             : windowBits == 20 ? 42
                                : 2 * windowBits),
      window_((1u << windowBits) + std::max(1u << windowBits, 1u << 20) + 16),
      head_(1u << kHashBits, -1), chain_(window_.size()) {
    mainCost_.fill(9);
    std::fill_n(mainCost_.begin(), 256, 8);
    lengthCost_.fill(0);
    items_.reserve(kBlockFrames * kFrameSize);
}

void LzxEncoder::slide() {
    // Keeps the last window's worth of bytes at the front, moving every position with them.
    const std::uint32_t keep = 1u << windowBits_;
    const std::uint32_t by = end_ - keep;
    std::memmove(window_.data(), window_.data() + by, keep);
    auto moved = [by](std::int32_t p) { return p >= static_cast<std::int32_t>(by) ? p - by : -1; };
    for (auto& h : head_)
        h = moved(h);
    for (std::uint32_t i = 0; i < keep; ++i)
        chain_[i] = moved(chain_[i + by]);
    end_ -= by;
    inserted_ -= by;
}

void LzxEncoder::insertUpTo(std::uint32_t pos) {
    std::uint32_t p = inserted_;
    for (; p < pos && p + 4 <= end_; ++p) {
        const std::uint32_t h = hash4(&window_[p]);
        chain_[p] = head_[h];
        head_[h] = static_cast<std::int32_t>(p);
    }
    inserted_ = p;
}

LzxEncoder::Match LzxEncoder::find(std::uint32_t pos, std::uint32_t end) {
    Match best;
    const std::uint32_t avail = std::min(kMaxMatch, end - pos);
    if (avail < kMinMatch)
        return best;
    const unsigned char* here = &window_[pos];
    for (std::uint32_t k = 0; k < 3; ++k) {
        const std::uint32_t d = repeats_[k];
        if (d > pos)
            continue;
        const unsigned char* there = here - d;
        if (here[0] != there[0] || here[1] != there[1])
            continue;
        const std::uint32_t len = matchLength(here, there, avail);
        const int gain = gainOf(here, len, k);
        if (gain > best.gain)
            best = {len, k, gain};
    }
    if (avail < 4 || best.length >= std::min(avail, kNiceLength))
        return best;
    insertUpTo(pos);
    std::uint32_t longest = std::max(best.length, kMinMatch);
    const std::int32_t lowest =
        pos > maxDistance_ ? static_cast<std::int32_t>(pos - maxDistance_) : 0;
    std::int32_t candidate = head_[hash4(here)];
    for (int depth = misses_ > kSkipAfter ? 2 : kChainDepth; candidate >= lowest && depth > 0;
         --depth, candidate = chain_[candidate]) {
        const unsigned char* there = &window_[candidate];
        if (there[longest] != here[longest] || load32(there) != load32(here))
            continue;
        const std::uint32_t len = matchLength(here, there, avail);
        if (len <= longest)
            continue;
        longest = len;
        const std::uint32_t offset = pos - static_cast<std::uint32_t>(candidate) + 2;
        const int gain = gainOf(here, len, offset);
        if (gain > best.gain)
            best = {len, offset, gain};
        if (len >= kNiceLength || len == avail)
            break;
        if (len >= kGoodLength)
            depth = std::min(depth, kChainDepth / 4 + 1);
    }
    return best;
}

int LzxEncoder::gainOf(const unsigned char* here, std::uint32_t len, std::uint32_t offset) const {
    // Past a few bytes a match wins whatever its distance: its gain need not be exact.
    int literals = 0;
    const std::uint32_t counted = std::min(len, kNiceLength);
    for (std::uint32_t i = 0; i < counted; ++i)
        literals += mainCost_[here[i]];
    literals += static_cast<int>(len - counted) * 8;
    // A repeat is reckoned cheap whatever its code: taking it keeps the recent distances, which
    // the next matches of regular data (tables, lists) reuse.
    if (offset < 3)
        return literals - (offset == 0 ? 6 : 8);
    const int slot = slotOf(offset);
    const std::uint32_t header = std::min(len - kMinMatch, 7u);
    int cost = mainCost_[256 + slot * 8 + header] + extraBits(slot);
    if (header == 7)
        cost += lengthCost_[std::min(len - kMinMatch - 7, kLengthSymbols - 1u)];
    return literals - cost;
}

void LzxEncoder::take(const Match& m) {
    items_.push_back({m.length, m.offset});
    if (m.offset >= 3) {
        repeats_ = {m.offset - 2, repeats_[0], repeats_[1]};
    } else {
        std::swap(repeats_[0], repeats_[m.offset]);
    }
}

void LzxEncoder::parseFrame(std::uint32_t pos, std::uint32_t end) {
    // Lazy matching: a match is put off by one byte when the next position has a better one.
    Match current = find(pos, end);
    while (pos < end) {
        if (current.gain <= 0) {
            // Where nothing has matched for a while (packed data), positions are skipped
            // without a look, more of them the longer it lasts.
            const std::uint32_t step =
                std::min<std::uint32_t>({1 + misses_ / kSkipAfter, 8, end - pos});
            ++misses_;
            for (std::uint32_t i = 0; i < step; ++i)
                items_.push_back({0, window_[pos + i]});
            pos += step;
            if (pos < end)
                current = find(pos, end);
            continue;
        }
        misses_ = 0;
        if (current.length < kLazyBelow && pos + 1 < end) {
            const Match next = find(pos + 1, end);
            if (next.gain > current.gain + 4) {
                items_.push_back({0, window_[pos]});
                ++pos;
                current = next;
                continue;
            }
        }
        take(current);
        pos += current.length;
        if (pos < end)
            current = find(pos, end);
    }
}

void LzxEncoder::add(const unsigned char* data, std::uint32_t size, std::vector<DataBlock>& out) {
    if (end_ + size + 16 > window_.size())
        slide();
    unsigned char* frame = &window_[end_];
    std::memcpy(frame, data, size);
    if (frames_ < kE8Frames)
        translateE8(frame, size, static_cast<std::int32_t>(frames_ * kFrameSize));
    ++frames_;
    const std::uint32_t start = end_;
    end_ += size;
    parseFrame(start, end_);
    frameEnds_.push_back(static_cast<std::uint32_t>(items_.size()));
    frameSizes_.push_back(size);
    if (frameSizes_.size() == kBlockFrames)
        emitBlock(out);
}

void LzxEncoder::finish(std::vector<DataBlock>& out) {
    if (!frameSizes_.empty())
        emitBlock(out);
}

void LzxEncoder::put(std::uint32_t value, int bits) {
    bitBuffer_ = bitBuffer_ << bits | value;
    bitCount_ += bits;
    while (bitCount_ >= 16) {
        bitCount_ -= 16;
        const auto word = static_cast<std::uint16_t>(bitBuffer_ >> bitCount_);
        bytes_.push_back(static_cast<unsigned char>(word));
        bytes_.push_back(static_cast<unsigned char>(word >> 8));
    }
}

void LzxEncoder::alignWord() {
    if (bitCount_ > 0)
        put(0, 16 - bitCount_);
}

// Code lengths go out as changes from the previous block's, through a small code of their own
// (the pretree) with runs of zeros and of equal lengths folded.
void LzxEncoder::writeLengths(const std::uint8_t* lengths, std::uint8_t* previous, int count) {
    struct Op {
        std::uint8_t symbol, bits, extra, change; // change: the code after a symbol 19
    };
    std::vector<Op> ops;
    auto change = [&](int i) {
        return static_cast<std::uint8_t>((previous[i] - lengths[i] + 17) % 17);
    };
    for (int i = 0; i < count;) {
        int run = 1;
        while (i + run < count && lengths[i + run] == lengths[i])
            ++run;
        if (lengths[i] == 0 && run >= 20) {
            run = std::min(run, 51);
            ops.push_back({18, 5, static_cast<std::uint8_t>(run - 20), 0});
        } else if (lengths[i] == 0 && run >= 4) {
            run = std::min(run, 19);
            ops.push_back({17, 4, static_cast<std::uint8_t>(run - 4), 0});
        } else if (lengths[i] != 0 && run >= 4) {
            run = std::min(run, 5);
            ops.push_back({19, 1, static_cast<std::uint8_t>(run - 4), change(i)});
        } else {
            run = 1;
            ops.push_back({change(i), 0, 0, 0});
        }
        i += run;
    }
    std::uint32_t frequency[20] = {};
    for (const Op& op : ops) {
        ++frequency[op.symbol];
        if (op.symbol == 19)
            ++frequency[op.change];
    }
    std::uint8_t pre[20];
    std::uint16_t codes[20] = {};
    buildLengths(frequency, 20, kMaxPretreeLength, pre);
    buildCodes(pre, 20, codes);
    for (auto l : pre)
        put(l, 4);
    for (const Op& op : ops) {
        put(codes[op.symbol], pre[op.symbol]);
        if (op.bits)
            put(op.extra, op.bits);
        if (op.symbol == 19)
            put(codes[op.change], pre[op.change]);
    }
    std::copy(lengths, lengths + count, previous);
}

void LzxEncoder::emitBlock(std::vector<DataBlock>& out) {
    const int mainCount = 256 + 8 * slots_;
    std::uint32_t mainFreq[kMainSymbols] = {}, lengthFreq[kLengthSymbols] = {}, alignedFreq[8] = {};
    std::uint32_t blockSize = 0;
    for (auto s : frameSizes_)
        blockSize += s;
    for (const Item& it : items_) {
        if (it.length == 0) {
            ++mainFreq[it.value];
            continue;
        }
        const std::uint32_t header = std::min(it.length - kMinMatch, 7u);
        const int slot = slotOf(it.value);
        ++mainFreq[256 + slot * 8 + header];
        if (header == 7)
            ++lengthFreq[it.length - kMinMatch - 7];
        if (extraBits(slot) >= 3)
            ++alignedFreq[it.value & 7];
    }
    std::uint8_t mainLen[kMainSymbols] = {}, lengthLen[kLengthSymbols] = {}, alignedLen[8] = {};
    std::uint16_t mainCode[kMainSymbols] = {}, lengthCode[kLengthSymbols] = {}, alignedCode[8] = {};
    buildLengths(mainFreq, mainCount, kMaxCodeLength, mainLen);
    buildLengths(lengthFreq, kLengthSymbols, kMaxCodeLength, lengthLen);
    std::uint32_t alignedWeights[8];
    std::uint64_t alignedBits = 24, verbatimBits = 0;
    for (int i = 0; i < 8; ++i)
        alignedWeights[i] = alignedFreq[i] + 1;
    buildLengths(alignedWeights, 8, kMaxAlignedLength, alignedLen);
    for (int i = 0; i < 8; ++i) {
        alignedBits += std::uint64_t{alignedFreq[i]} * alignedLen[i];
        verbatimBits += std::uint64_t{alignedFreq[i]} * 3;
    }
    const bool aligned = alignedBits < verbatimBits;
    buildCodes(mainLen, mainCount, mainCode);
    buildCodes(lengthLen, kLengthSymbols, lengthCode);
    buildCodes(alignedLen, 8, alignedCode);

    if (!started_) { // the stream's header: E8 translation on, with its size
        put(1, 1);
        put(static_cast<std::uint32_t>(kE8FileSize) >> 16, 16);
        put(static_cast<std::uint32_t>(kE8FileSize) & 0xFFFF, 16);
        started_ = true;
    }
    put(aligned ? kAligned : kVerbatim, 3);
    put(blockSize >> 8, 16);
    put(blockSize & 0xFF, 8);
    if (aligned) {
        for (auto l : alignedLen)
            put(l, 3);
    }
    writeLengths(mainLen, mainPrevious_.data(), 256);
    writeLengths(mainLen + 256, mainPrevious_.data() + 256, mainCount - 256);
    writeLengths(lengthLen, lengthPrevious_.data(), kLengthSymbols);
    // The next block's choices are weighed with this block's code lengths; a symbol it did not
    // use is taken to be rare.
    for (int s = 0; s < kMainSymbols; ++s)
        mainCost_[s] = mainLen[s] ? mainLen[s] : 12;
    for (int s = 0; s < kLengthSymbols; ++s)
        lengthCost_[s] = lengthLen[s] ? lengthLen[s] : 12;

    std::size_t item = 0;
    for (std::size_t f = 0; f < frameSizes_.size(); ++f) {
        for (; item < frameEnds_[f]; ++item) {
            const Item& it = items_[item];
            if (it.length == 0) {
                put(mainCode[it.value], mainLen[it.value]);
                continue;
            }
            const std::uint32_t header = std::min(it.length - kMinMatch, 7u);
            const int slot = slotOf(it.value);
            const int symbol = 256 + slot * 8 + static_cast<int>(header);
            put(mainCode[symbol], mainLen[symbol]);
            if (header == 7) {
                const std::uint32_t l = it.length - kMinMatch - 7;
                put(lengthCode[l], lengthLen[l]);
            }
            const int extra = extraBits(slot);
            const std::uint32_t bits = it.value - slotBase(slot);
            if (aligned && extra >= 3) {
                if (extra > 3)
                    put(bits >> 3, extra - 3);
                put(alignedCode[bits & 7], alignedLen[bits & 7]);
            } else if (extra > 0) {
                put(bits, extra);
            }
        }
        alignWord();
        out.push_back({std::move(bytes_), frameSizes_[f]});
        bytes_.clear();
    }
    items_.clear();
    frameEnds_.clear();
    frameSizes_.clear();
}

} // namespace fm::tool
