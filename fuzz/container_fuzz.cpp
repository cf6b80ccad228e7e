// Cabinets inside other files, on any bytes: the search and the compound-file reader neither
// crash nor hang; every cabinet found by search lies inside the file, after the one before it,
// with a header that holds there; the file on disk gives the same cabinets as its bytes in
// memory; and the tool's copy of each is exactly its bytes (of a stream, a cabinet header).

#include "fuzz_support.h"
#include "platform/cabinet_source.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes behind a descriptor OpenCabinetSource gave, which it closes.
std::string readAll(int fd) {
    std::string out;
    char buffer[65536];
    for (ssize_t n; (n = ::pread(fd, buffer, sizeof buffer, off_t(out.size()))) > 0;)
        out.append(buffer, std::size_t(n));
    ::close(fd);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<fm::CabinetSource> found = fm::FindCabinetsIn(bytes);
    fm::fuzz::MemoryFile file;
    file.assign(bytes);
    const std::vector<fm::CabinetSource> onDisk = fm::FindCabinets(file.path());
    FM_FUZZ_CHECK(onDisk.size() == found.size(), "the file and its bytes differ");
    std::uint64_t end = 0;
    for (std::size_t i = 0; i < found.size(); ++i) {
        const fm::CabinetSource& s = found[i];
        const std::string at = std::to_string(s.offset);
        FM_FUZZ_CHECK(onDisk[i].offset == s.offset && onDisk[i].stream == s.stream, at);
        std::string why;
        const int fd = fm::OpenCabinetSource(onDisk[i], &why);
        FM_FUZZ_CHECK(fd >= 0, why);
        const std::string copy = readAll(fd);
        const auto* head = reinterpret_cast<const unsigned char*>(copy.data());
        if (!s.stream.empty()) {
            FM_FUZZ_CHECK(fm::ConsistentCabinetLength(head, copy.size(), copy.size()) > 0,
                          "a stream that is no cabinet");
            continue;
        }
        const std::uint64_t room = size - s.offset;
        const std::uint32_t length = fm::ConsistentCabinetLength(data + s.offset, room, room);
        FM_FUZZ_CHECK(s.offset >= end && length > 0 && s.offset + length <= size, at);
        end = s.offset + length;
        FM_FUZZ_CHECK(s.whole() ? copy == bytes : copy == bytes.substr(s.offset, length), at);
    }
    return 0;
}
