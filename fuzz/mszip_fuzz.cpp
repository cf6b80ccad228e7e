// MSZIP: for any run of data blocks, ISA-L (zlib for the blocks it refuses), the same refusing
// every other block, and zlib alone give the same bytes or the same error, the folder taken as one
// file or as two. Input: one byte choosing where a second file starts (0: none), then the data
// blocks as a cabinet stores them, their checksums cleared (a wrong one would hide the inflation).

#include "folder_decoding.h"
#include "mszip_decoder.h"

using fm::tool::MsZipDecoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::MemoryFile cabinet;
    if (size < 1)
        return 0;
    const fm::fuzz::DataBlocks blocks =
        fm::fuzz::ClearedBlocks(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    cabinet.assign(blocks.bytes);
    fm::tool::FolderLayout folder;
    folder.compression = 1; // MSZIP
    folder.blockCount = static_cast<std::uint16_t>(blocks.count);
    const std::vector<std::uint32_t> cuts = fm::fuzz::FileCuts(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(blocks.total, 0xFFFFFFFF)), data[0]);
    auto decode = [&](MsZipDecoder::Inflater inflater) {
        MsZipDecoder decoder(cabinet.path(), 0, inflater, {"libisal.so.2", "libisal.so"});
        return fm::fuzz::DecodeFiles(cuts, [&](auto offset, auto length, auto* out) {
            return decoder.extract(0, folder, offset, length, out);
        });
    };
    const fm::fuzz::Outcome zlib = decode(MsZipDecoder::Inflater::Zlib);
    for (auto inflater : {MsZipDecoder::Inflater::Isal, MsZipDecoder::Inflater::IsalDrill}) {
        const fm::fuzz::Outcome other = decode(inflater);
        const char* name = inflater == MsZipDecoder::Inflater::Isal ? "ISA-L" : "ISA-L drill";
        FM_FUZZ_CHECK(other.codes == zlib.codes, std::string(name) + " and zlib end differently: " +
                                                     std::to_string(other.codes.back()) + " vs " +
                                                     std::to_string(zlib.codes.back()));
        FM_FUZZ_CHECK(other.files == zlib.files, std::string(name) + " and zlib differ in bytes");
    }
    return 0;
}
