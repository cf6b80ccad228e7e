#pragma once

// LZX compression of one folder, in the form cabinets store it: one data block per 32 KiB frame,
// each a run of 16-bit little-endian words (bits taken from the top of each word), padded to a
// whole word at the frame's end.
//
// Matches are found through hash chains (of positions whose next four bytes hash alike) of
// limited depth over the last 2^windowBits bytes, with one step of lazy matching, and the three
// most recent match distances coded as repeats. A match is weighed against the literals it
// replaces by the previous block's code lengths, so that in data of few distinct bytes (text,
// base64) short far matches, dearer than their literals, are left out; where nothing has matched
// for a while (packed data) positions are skipped without a look. Frames are gathered into blocks
// of up to kBlockFrames and coded with Huffman codes made for the block (the code lengths sent as
// changes from the previous block's); a block goes out as an aligned-offset block where coding the
// low three bits of long distances pays for its small extra code, as a verbatim block otherwise.
// x86 CALL targets (E8 and a 32-bit displacement) are turned into absolute addresses frame by frame
// before matching, as the decoder turns them back.

#include "folder_encoder.h"

#include <array>
#include <cstdint>
#include <vector>

namespace fm::tool {

class LzxEncoder : public FolderEncoder {
public:
    explicit LzxEncoder(int windowBits); // 15 to 21
    void add(const unsigned char* data, std::uint32_t size, std::vector<DataBlock>& out) override;
    void finish(std::vector<DataBlock>& out) override;

    static constexpr int kMainSymbols = 256 + 8 * 50; // literals, then 8 lengths per slot
    static constexpr int kLengthSymbols = 249;

private:
    struct Match {
        std::uint32_t length = 0;
        std::uint32_t offset = 0; // 0-2: a repeat; else the distance plus 2
        int gain = 0;             // bits saved against literals, roughly
    };
    struct Item {
        std::uint32_t length; // 0: a literal
        std::uint32_t value;  // the literal, or the offset as in Match
    };

    void slide();
    void insertUpTo(std::uint32_t pos);
    Match find(std::uint32_t pos, std::uint32_t end);
    int gainOf(const unsigned char* here, std::uint32_t len, std::uint32_t offset) const;
    void parseFrame(std::uint32_t start, std::uint32_t end);
    void take(const Match& m);
    void emitBlock(std::vector<DataBlock>& out);

    // Bit output: 16-bit words, most significant bit first, little-endian bytes.
    void put(std::uint32_t value, int bits);
    void alignWord();
    void writeLengths(const std::uint8_t* lengths, std::uint8_t* previous, int count);

    const int windowBits_;
    const std::uint32_t maxDistance_;
    const int slots_;
    std::vector<unsigned char> window_; // the folder's latest bytes, E8-translated
    std::uint32_t end_ = 0;             // bytes held in window_
    std::uint32_t inserted_ = 0;        // positions below this are in the hash chains
    std::vector<std::int32_t> head_, chain_;
    std::uint32_t misses_ = 0; // positions in a row without a match
    std::uint32_t frames_ = 0; // frames of the folder taken so far
    std::array<std::uint32_t, 3> repeats_{1, 1, 1};

    std::vector<Item> items_;               // the block being gathered
    std::vector<std::uint32_t> frameEnds_;  // item count at each of its frames' ends
    std::vector<std::uint32_t> frameSizes_; // and each frame's bytes
    std::array<std::uint8_t, kMainSymbols> mainPrevious_{};
    std::array<std::uint8_t, kLengthSymbols> lengthPrevious_{};
    // Bits a symbol is reckoned to cost when a match is weighed against literals: the last
    // block's code lengths, and before the first block a guess.
    std::array<std::uint8_t, kMainSymbols> mainCost_;
    std::array<std::uint8_t, kLengthSymbols> lengthCost_;
    bool started_ = false;

    std::vector<unsigned char> bytes_;
    std::uint64_t bitBuffer_ = 0;
    int bitCount_ = 0;
};

} // namespace fm::tool
