// MSZIP: for any run of data blocks, ISA-L (zlib for the blocks it refuses), the same refusing
// every other block, and zlib alone give the same bytes or the same error, the folder taken as one
// file or as two. Input: one byte choosing where a second file starts (0: none), then the data
// blocks as a cabinet stores them, their checksums cleared (a wrong one would hide the inflation).

#include "fuzz_support.h"
#include "mszip_decoder.h"
#include "output_file.h"

#include <mspack.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace {

using fm::tool::MsZipDecoder;

struct Outcome {
    std::vector<int> codes;
    std::vector<std::string> files;
};

Outcome decode(const std::string& path, const fm::tool::FolderLayout& folder,
               const std::vector<std::uint32_t>& cuts, MsZipDecoder::Inflater inflater) {
    static fm::fuzz::ScratchFolder scratch;
    static const int folderFd = ::open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    MsZipDecoder decoder(path, 0, inflater, {"libisal.so.2", "libisal.so"});
    Outcome outcome;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        std::string bytes;
        fm::tool::PendingFile out([&](int, const void* data, std::size_t size) {
            bytes.append(static_cast<const char*>(data), size);
            return static_cast<ssize_t>(size);
        });
        FM_FUZZ_CHECK(out.create(folderFd, "out", false) == fm::tool::PendingFile::Created::Fresh,
                      "no scratch file");
        const int rc = decoder.extract(0, folder, cuts[i], cuts[i + 1] - cuts[i], &out);
        FM_FUZZ_CHECK(rc != MSPACK_ERR_OK || out.size() == cuts[i + 1] - cuts[i],
                      "success with a short file");
        if (rc == MSPACK_ERR_OK)
            FM_FUZZ_CHECK(out.commit(0), "commit");
        out.discard();
        ::unlinkat(folderFd, "out", 0);
        outcome.codes.push_back(rc);
        outcome.files.push_back(rc == MSPACK_ERR_OK ? bytes : std::string());
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::MemoryFile cabinet;
    if (size < 1)
        return 0;
    const unsigned split = data[0];
    std::string blocks(reinterpret_cast<const char*>(data) + 1, size - 1);
    fm::tool::FolderLayout folder;
    folder.compression = 1; // MSZIP
    std::uint64_t total = 0;
    for (std::size_t at = 0; at + 8 <= blocks.size() && folder.blockCount < 0xFFFF;) {
        std::fill_n(blocks.begin() + static_cast<std::ptrdiff_t>(at), 4, '\0');
        const auto* p = reinterpret_cast<const unsigned char*>(blocks.data() + at);
        total += p[6] | p[7] << 8;
        ++folder.blockCount;
        at += 8 + (p[4] | p[5] << 8);
    }
    cabinet.assign(blocks);
    const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, 0xFFFFFFFF));
    std::vector<std::uint32_t> cuts{0};
    if (split != 0)
        cuts.push_back(static_cast<std::uint32_t>(std::uint64_t(length) * split / 256));
    cuts.push_back(length);

    const Outcome zlib = decode(cabinet.path(), folder, cuts, MsZipDecoder::Inflater::Zlib);
    for (auto inflater : {MsZipDecoder::Inflater::Isal, MsZipDecoder::Inflater::IsalDrill}) {
        const Outcome other = decode(cabinet.path(), folder, cuts, inflater);
        const char* name = inflater == MsZipDecoder::Inflater::Isal ? "ISA-L" : "ISA-L drill";
        FM_FUZZ_CHECK(other.codes == zlib.codes, std::string(name) + " and zlib end differently: " +
                                                     std::to_string(other.codes.back()) + " vs " +
                                                     std::to_string(zlib.codes.back()));
        FM_FUZZ_CHECK(other.files == zlib.files, std::string(name) + " and zlib differ in bytes");
    }
    return 0;
}
