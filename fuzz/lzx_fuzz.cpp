// LZX: for any run of data blocks, the tool's own decoder and libmspack's cabinet decompressor
// give the same bytes or the same error code, file by file, whether the folder is taken as one
// file or as two.
//
// Input: the window (15 + first byte % 7 bits), one byte choosing where a second file starts
// (0: no second file), one byte moving the end of the files away from the blocks' total size (by
// 64-byte steps, 128: not at all), then the data blocks as a cabinet stores them.

#include "folder_decoding.h"
#include "lzx_decoder.h"

namespace {

// `v` as `n` little-endian bytes.
std::string le(std::uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i)
        s += static_cast<char>(v >> 8 * i);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::MemoryFile cabinet;
    static fm::fuzz::ScratchFolder scratch;
    if (size < 3)
        return 0;
    const unsigned windowBits = 15 + data[0] % 7;
    const fm::fuzz::DataBlocks blocks =
        fm::fuzz::ClearedBlocks(std::string(reinterpret_cast<const char*>(data) + 3, size - 3));
    const std::int64_t shift = (data[2] - 128) * 64;
    const std::vector<std::uint32_t> cuts =
        fm::fuzz::FileCuts(static_cast<std::uint32_t>(std::clamp<std::int64_t>(
                               static_cast<std::int64_t>(blocks.total) + shift, 0, 1 << 30)),
                           data[1]);

    // A one-folder cabinet around the blocks: header, folder, file records, blocks.
    const std::size_t files = cuts.size() - 1, firstBlock = 36 + 8 + 18 * files;
    std::string cab = "MSCF" + le(0, 4) + le(firstBlock + blocks.bytes.size(), 4) + le(0, 4) +
                      le(44, 4) + le(0, 4) + "\x03\x01" + le(1, 2) + le(files, 2) + le(0, 6) +
                      le(firstBlock, 4) + le(blocks.count, 2) + le(3 | windowBits << 8, 2);
    for (std::size_t i = 0; i < files; ++i) // date 0x21, attributes 0x20
        cab += le(cuts[i + 1] - cuts[i], 4) + le(cuts[i], 4) + le(0, 2) + le(0x21, 2) + le(0, 2) +
               le(0x20, 2) + static_cast<char>('a' + i) + '\0';
    cabinet.assign(cab + blocks.bytes);

    // libmspack's verdicts and bytes, file by file.
    mscab_decompressor* cabd = mspack_create_cab_decompressor(nullptr);
    mscabd_cabinet* opened = cabd->open(cabd, cabinet.path().c_str());
    fm::fuzz::Outcome theirs;
    for (mscabd_file* f = opened ? opened->files : nullptr; f; f = f->next) {
        const std::string out = scratch.path() + "/theirs";
        theirs.codes.push_back(cabd->extract(cabd, f, out.c_str()));
        theirs.files.push_back(theirs.codes.back() ? "" : fm::test::readFile(out));
        ::unlink(out.c_str());
    }
    if (opened)
        cabd->close(cabd, opened);
    mspack_destroy_cab_decompressor(cabd);
    if (theirs.codes.size() != files)
        return 0; // a record libmspack does not take: the tool never gets that far

    fm::tool::FolderLayout folder;
    folder.firstBlock = static_cast<std::uint32_t>(firstBlock);
    folder.blockCount = static_cast<std::uint16_t>(blocks.count);
    folder.compression = static_cast<std::uint16_t>(3 | windowBits << 8);
    fm::tool::LzxDecoder decoder(cabinet.path(), 0);
    const fm::fuzz::Outcome ours =
        fm::fuzz::DecodeFiles(cuts, [&](auto offset, auto length, auto* out) {
            return decoder.extract(0, folder, offset, length, out);
        });
    for (std::size_t i = 0; i < files; ++i) {
        const std::string which = "file " + std::to_string(i) + ": ";
        FM_FUZZ_CHECK(ours.codes[i] == theirs.codes[i],
                      which + "ours " + std::to_string(ours.codes[i]) + ", libmspack's " +
                          std::to_string(theirs.codes[i]));
        FM_FUZZ_CHECK(ours.files[i] == theirs.files[i], which + "other bytes");
    }
    return 0;
}
