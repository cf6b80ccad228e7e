#include "cabinet_layout.h"

#include <bit>
#include <cstring>
#include <fcntl.h>
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
    int fd = ::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // Header, reserve sizes, four names of up to 256 bytes and 65535 folders fit in this bound,
    // but a reserve area can be bigger; read what the fields say, piece by piece.
    auto readAt = [fd](off_t at, void* buf, size_t n) {
        return ::pread(fd, buf, n, at) == static_cast<ssize_t>(n);
    };
    std::optional<CabinetLayout> result;
    unsigned char h[kHeaderSize];
    do {
        if (!readAt(0, h, sizeof h) || std::memcmp(h, "MSCF", 4) != 0)
            break;
        CabinetLayout layout;
        layout.flags = le16(h + 30);
        unsigned folders = le16(h + 26);
        off_t at = kHeaderSize;
        unsigned folderReserve = 0;
        if (layout.flags & 4) {
            unsigned char r[4];
            if (!readAt(at, r, sizeof r))
                break;
            folderReserve = r[2];
            layout.blockReserve = r[3];
            at += 4 + le16(r);
        }
        bool ok = true;
        for (int names = ((layout.flags & 1) ? 2 : 0) + ((layout.flags & 2) ? 2 : 0); names > 0;
             --names) {
            char s[256];
            ssize_t n = ::pread(fd, s, sizeof s, at);
            const void* nul = n > 0 ? std::memchr(s, 0, static_cast<size_t>(n)) : nullptr;
            if (!nul) {
                ok = false;
                break;
            }
            at += static_cast<const char*>(nul) - s + 1;
        }
        if (!ok)
            break;
        for (unsigned i = 0; i < folders && ok; ++i) {
            unsigned char f[kFolderSize];
            ok = readAt(at, f, sizeof f);
            layout.folders.push_back({le32(f), le16(f + 4), le16(f + 6)});
            at += kFolderSize + folderReserve;
        }
        if (ok)
            result = std::move(layout);
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
