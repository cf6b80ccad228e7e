#include "cabinet_layout.h"

#include "cab_io.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fm::tool {

namespace {

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderSize = 8;

} // namespace

std::optional<CabinetLayout> ReadCabinetLayout(const std::string& posixPath) {
    int fd = OpenCabinetFile(posixPath);
    if (fd < 0)
        return std::nullopt;
    // The fields are read through one window of the file, so a usual cabinet costs one read.
    std::vector<unsigned char> window;
    off_t windowStart = 0;
    auto bytes = [&](off_t at, size_t n) -> const unsigned char* {
        if (at < windowStart || at + static_cast<off_t>(n) > windowStart + off_t(window.size())) {
            window.resize(std::max<size_t>(n, 16384));
            ssize_t got = ::pread(fd, window.data(), window.size(), at);
            window.resize(got > 0 ? static_cast<size_t>(got) : 0);
            windowStart = at;
            if (window.size() < n)
                return nullptr;
        }
        return window.data() + (at - windowStart);
    };

    std::optional<CabinetLayout> result;
    do {
        const unsigned char* h = bytes(0, kHeaderSize);
        if (!h || std::memcmp(h, "MSCF", 4) != 0)
            break;
        CabinetLayout layout;
        layout.flags = le16(h + 30);
        const unsigned folders = le16(h + 26);
        const std::uint64_t bounds[] = {le32(h + 8), le32(h + 16)}; // cabinet size, file table
        off_t at = kHeaderSize;
        unsigned folderReserve = 0;
        if (layout.flags & 4) {
            const unsigned char* r = bytes(at, 4);
            if (!r)
                break;
            folderReserve = r[2];
            layout.blockReserve = r[3];
            at += 4 + le16(r);
        }
        bool ok = true;
        // The names of the previous and next parts and their disks: up to 256 bytes each.
        for (int names = ((layout.flags & 1) ? 2 : 0) + ((layout.flags & 2) ? 2 : 0);
             ok && names > 0; --names) {
            size_t len = 0;
            const unsigned char* c;
            while ((c = bytes(at + static_cast<off_t>(len), 1)) && *c != 0 && len < 255)
                ++len;
            ok = c && *c == 0;
            at += static_cast<off_t>(len) + 1;
        }
        for (unsigned i = 0; i < folders && ok; ++i) {
            const unsigned char* f = bytes(at, kFolderSize);
            if (!(ok = f != nullptr))
                break;
            layout.folders.push_back({le32(f), le16(f + 4), le16(f + 6), 0});
            at += kFolderSize + folderReserve;
        }
        struct stat st {};
        if (ok && ::fstat(fd, &st) == 0) {
            // Each folder's data ends at the nearest boundary after its start.
            for (FolderLayout& f : layout.folders) {
                f.dataEnd = std::max<std::uint64_t>(st.st_size, f.firstBlock);
                const auto limit = [&](std::uint64_t bound) {
                    if (bound > f.firstBlock)
                        f.dataEnd = std::min(f.dataEnd, bound);
                };
                for (std::uint64_t bound : bounds)
                    limit(bound);
                for (const FolderLayout& other : layout.folders)
                    limit(other.firstBlock);
            }
            result = std::move(layout);
        }
    } while (false);
    ::close(fd);
    return result;
}

std::uint32_t BlockChecksum(const unsigned char* data, size_t size, std::uint32_t seed) {
    // XOR of little-endian words; eight bytes at a time, folded back to 32 bits.
    static_assert(std::endian::native == std::endian::little, "words are read in host order");
    std::uint64_t wide = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, 8);
        wide ^= w;
    }
    std::uint32_t sum =
        seed ^ static_cast<std::uint32_t>(wide) ^ static_cast<std::uint32_t>(wide >> 32);
    if (i + 4 <= size) {
        sum ^= le32(data + i);
        i += 4;
    }
    // The format takes the last one to three bytes in reverse order of significance.
    std::uint32_t tail = 0;
    switch (size - i) {
    case 3:
        tail |= static_cast<std::uint32_t>(data[i++]) << 16;
        [[fallthrough]];
    case 2:
        tail |= static_cast<std::uint32_t>(data[i++]) << 8;
        [[fallthrough]];
    case 1:
        tail |= data[i];
    }
    return sum ^ tail;
}

} // namespace fm::tool
