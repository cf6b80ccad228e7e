// LZX: for any run of data blocks, the tool's own decoder and libmspack's cabinet decompressor
// give the same bytes or the same error code, file by file, whether the folder is taken as one
// file or as two.
//
// Input: the window (15 + first byte % 7 bits), one byte choosing where a second file starts
// (0: no second file), one byte moving the end of the files away from the blocks' total size (by
// 64-byte steps, 128: not at all), then the data blocks as a cabinet stores them (checksum,
// packed size, size, packed bytes). Checksums are cleared: both check them alike.

#include "fuzz_support.h"
#include "lzx_decoder.h"
#include "output_file.h"

#include <mspack.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace {

void put16(std::string& s, unsigned v) {
    s += {char(v), char(v >> 8)};
}
void put32(std::string& s, std::uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::MemoryFile cabinet;
    static fm::fuzz::ScratchFolder scratch;
    static const int folderFd = ::open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (size < 3)
        return 0;
    const unsigned windowBits = 15 + data[0] % 7, split = data[1];
    const int shift = (data[2] - 128) * 64;
    std::string blocks(reinterpret_cast<const char*>(data) + 3, size - 3);
    unsigned count = 0;
    std::int64_t total = 0;
    for (std::size_t at = 0; at + 8 <= blocks.size() && count < 0xFFFF; ++count) {
        std::fill_n(blocks.begin() + static_cast<std::ptrdiff_t>(at), 4, '\0');
        const auto* p = reinterpret_cast<const unsigned char*>(blocks.data() + at);
        total += p[6] | p[7] << 8;
        at += 8 + (p[4] | p[5] << 8);
    }
    const auto length =
        static_cast<std::uint32_t>(std::clamp<std::int64_t>(total + shift, 0, 1 << 30));
    std::vector<std::uint32_t> cuts{0};
    if (split != 0)
        cuts.push_back(static_cast<std::uint32_t>(std::uint64_t(length) * split / 256));
    cuts.push_back(length);

    // A one-folder cabinet around the blocks: header, folder, file records, blocks.
    const std::size_t files = cuts.size() - 1, firstBlock = 36 + 8 + 18 * files;
    std::string cab = "MSCF";
    put32(cab, 0);
    put32(cab, static_cast<std::uint32_t>(firstBlock + blocks.size()));
    put32(cab, 0);
    put32(cab, 44);
    put32(cab, 0);
    cab += {3, 1};
    put16(cab, 1);
    put16(cab, static_cast<unsigned>(files));
    put16(cab, 0);
    put16(cab, 0);
    put16(cab, 0);
    put32(cab, static_cast<std::uint32_t>(firstBlock));
    put16(cab, count);
    put16(cab, 3 | windowBits << 8);
    for (std::size_t i = 0; i < files; ++i) {
        put32(cab, cuts[i + 1] - cuts[i]);
        put32(cab, cuts[i]);
        put16(cab, 0);
        put16(cab, 0x21);
        put16(cab, 0);
        put16(cab, 0x20);
        cab += {char('a' + i), 0};
    }
    cabinet.assign(cab + blocks);

    // libmspack's verdicts and bytes, file by file.
    mscab_decompressor* cabd = mspack_create_cab_decompressor(nullptr);
    mscabd_cabinet* opened = cabd->open(cabd, cabinet.path().c_str());
    std::vector<int> theirCodes;
    std::vector<std::string> theirFiles;
    for (mscabd_file* f = opened ? opened->files : nullptr; f; f = f->next) {
        const std::string out = scratch.path() + "/theirs";
        theirCodes.push_back(cabd->extract(cabd, f, out.c_str()));
        theirFiles.push_back(theirCodes.back() ? "" : fm::test::readFile(out));
        ::unlink(out.c_str());
    }
    if (opened)
        cabd->close(cabd, opened);
    mspack_destroy_cab_decompressor(cabd);
    if (theirCodes.size() != files)
        return 0; // a record libmspack does not take: the tool never gets that far

    fm::tool::FolderLayout folder;
    folder.firstBlock = static_cast<std::uint32_t>(firstBlock);
    folder.blockCount = static_cast<std::uint16_t>(count);
    folder.compression = static_cast<std::uint16_t>(3 | windowBits << 8);
    fm::tool::LzxDecoder decoder(cabinet.path(), 0);
    for (std::size_t i = 0; i < files; ++i) {
        std::string bytes;
        fm::tool::PendingFile out([&](int, const void* p, std::size_t n) {
            bytes.append(static_cast<const char*>(p), n);
            return static_cast<ssize_t>(n);
        });
        FM_FUZZ_CHECK(out.create(folderFd, "ours", false) == fm::tool::PendingFile::Created::Fresh,
                      "no scratch file");
        const int rc = decoder.extract(0, folder, cuts[i], cuts[i + 1] - cuts[i], &out);
        if (rc == MSPACK_ERR_OK)
            FM_FUZZ_CHECK(out.commit(0), "commit");
        out.discard();
        ::unlinkat(folderFd, "ours", 0);
        FM_FUZZ_CHECK(rc == theirCodes[i], "file " + std::to_string(i) + ": ours " +
                                               std::to_string(rc) + ", libmspack's " +
                                               std::to_string(theirCodes[i]));
        FM_FUZZ_CHECK(rc != MSPACK_ERR_OK || bytes == theirFiles[i],
                      "file " + std::to_string(i) + ": other bytes");
    }
    return 0;
}
