#include "platform/cabinet_source.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#ifdef FM_LOAD_GSF
#include <dlfcn.h>
#endif
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

namespace fm {

namespace {

constexpr std::size_t kHeader = 36;
constexpr std::uint16_t kFlagPrevious = 0x0001;
constexpr std::uint16_t kFlagNext = 0x0002;
constexpr std::uint16_t kFlagReserve = 0x0004;
// The most a header can take up to the end of its first folder entry: the fixed part, the
// reserve sizes and reserved area, four names of up to 255 bytes and their NULs, the entry.
constexpr std::size_t kHeaderMost = kHeader + 4 + 65535 + 4 * 256 + 8;
constexpr std::size_t kChunk = std::size_t(1) << 20;
constexpr unsigned char kCompoundSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Positioned reads of what is searched: a file or bytes in memory. Returns the bytes read, fewer
// only at the end, -1 on an error.
using ReadAt = std::function<long(std::uint64_t at, unsigned char* to, std::size_t n)>;

// The bytes a header check needs at `at` (as many as the header says it takes, at most the file's
// rest), then the cabinet's length there, or 0.
std::uint32_t lengthAt(const ReadAt& read, std::uint64_t at, std::uint64_t size,
                       std::vector<unsigned char>& buffer) {
    const std::uint64_t room = size - at;
    buffer.resize(kHeader + 4 + 4 * 256 + 8);
    long got = read(at, buffer.data(),
                    static_cast<std::size_t>(std::min<std::uint64_t>(room, buffer.size())));
    if (got < static_cast<long>(kHeader + 4))
        return got >= 0 ? ConsistentCabinetLength(buffer.data(), std::size_t(got), room) : 0;
    if (le16(buffer.data() + 30) & kFlagReserve) {
        buffer.resize(buffer.size() + le16(buffer.data() + 36));
        got = read(at, buffer.data(),
                   static_cast<std::size_t>(std::min<std::uint64_t>(room, buffer.size())));
    }
    return got > 0 ? ConsistentCabinetLength(buffer.data(), std::size_t(got), room) : 0;
}

// The search: chunk by chunk, memchr for the 'M' of each "MSCF", a header check at each one, and
// on after the end of each cabinet found.
std::vector<CabinetSource> search(const ReadAt& read, std::uint64_t size, const std::string& file,
                                  std::size_t most) {
    std::vector<CabinetSource> found;
    std::vector<unsigned char> chunk(
        static_cast<std::size_t>(std::min<std::uint64_t>(size, kChunk)));
    std::vector<unsigned char> header;
    std::uint64_t at = 0;
    while (found.size() < most && size - at >= kHeader) {
        const long got = read(at, chunk.data(),
                              static_cast<std::size_t>(std::min<std::uint64_t>(size - at, kChunk)));
        if (got < 4)
            break;
        const auto n = static_cast<std::size_t>(got);
        std::uint64_t next = at + n - 3; // a signature cut by the chunk's end is read again
        for (std::size_t p = 0; p + 4 <= n;) {
            const auto* m =
                static_cast<const unsigned char*>(std::memchr(&chunk[p], 'M', n - 3 - p));
            if (!m)
                break;
            p = static_cast<std::size_t>(m - chunk.data());
            if (std::memcmp(m, "MSCF", 4) == 0) {
                if (const std::uint32_t length = lengthAt(read, at + p, size, header)) {
                    found.push_back({file, at + p, {}});
                    next = at + p + length;
                    break;
                }
            }
            ++p;
        }
        at = next;
    }
    return found;
}

void quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// The libgsf calls this module makes. The program links libgsf; the tool, started for every
// extraction and test, loads it (and GLib with it) only when it first reads a package, so that
// the others do not pay for GLib's start-up.
struct Gsf {
    decltype(&gsf_init) init;
    decltype(&g_log_set_handler) setLogHandler;
    decltype(&g_object_unref) unref;
    decltype(&g_clear_error) clearError;
    decltype(&gsf_input_stdio_new) openFile;
    decltype(&gsf_input_memory_new) openMemory;
    decltype(&gsf_input_size) size;
    decltype(&gsf_input_seek) seek;
    decltype(&gsf_input_read) read;
    decltype(&gsf_infile_msole_new) openCompound;
    decltype(&gsf_infile_num_children) childCount;
    decltype(&gsf_infile_child_by_index) childAt;
    decltype(&gsf_infile_name_by_index) nameAt;
    decltype(&gsf_infile_child_by_name) childNamed;
};

#ifdef FM_LOAD_GSF
template <class F> bool bind(void* lib, const char* name, F& f) {
    f = reinterpret_cast<F>(::dlsym(lib, name));
    return f != nullptr;
}
Gsf* loadGsf() {
    static Gsf g;
    void* lib = ::dlopen("libgsf-1.so.114", RTLD_NOW | RTLD_LOCAL);
    const bool all =
        lib && bind(lib, "gsf_init", g.init) && bind(lib, "g_log_set_handler", g.setLogHandler) &&
        bind(lib, "g_object_unref", g.unref) && bind(lib, "g_clear_error", g.clearError) &&
        bind(lib, "gsf_input_stdio_new", g.openFile) &&
        bind(lib, "gsf_input_memory_new", g.openMemory) && bind(lib, "gsf_input_size", g.size) &&
        bind(lib, "gsf_input_seek", g.seek) && bind(lib, "gsf_input_read", g.read) &&
        bind(lib, "gsf_infile_msole_new", g.openCompound) &&
        bind(lib, "gsf_infile_num_children", g.childCount) &&
        bind(lib, "gsf_infile_child_by_index", g.childAt) &&
        bind(lib, "gsf_infile_name_by_index", g.nameAt) &&
        bind(lib, "gsf_infile_child_by_name", g.childNamed);
    return all ? &g : nullptr;
}
#else
Gsf* loadGsf() {
    static Gsf g{gsf_init,
                 g_log_set_handler,
                 g_object_unref,
                 g_clear_error,
                 gsf_input_stdio_new,
                 gsf_input_memory_new,
                 gsf_input_size,
                 gsf_input_seek,
                 gsf_input_read,
                 gsf_infile_msole_new,
                 gsf_infile_num_children,
                 gsf_infile_child_by_index,
                 gsf_infile_name_by_index,
                 gsf_infile_child_by_name};
    return &g;
}
#endif

// libgsf, set up once; null when it cannot be loaded. Its warnings about damaged files are not
// for the user's terminal (the tool's error lines are what the program shows).
const Gsf* gsf() {
    static const Gsf* const g = [] {
        Gsf* loaded = loadGsf();
        if (loaded) {
            loaded->init();
            loaded->setLogHandler("libgsf", GLogLevelFlags(G_LOG_LEVEL_MASK & ~G_LOG_LEVEL_ERROR),
                                  quiet, nullptr);
        }
        return loaded;
    }();
    return g;
}

struct Unref {
    void operator()(void* object) const {
        if (object)
            gsf()->unref(object);
    }
};
using InputPtr = std::unique_ptr<GsfInput, Unref>;
using InfilePtr = std::unique_ptr<GsfInfile, Unref>;

// The first bytes of a stream, as many as a header check can need.
std::uint32_t streamCabinetLength(GsfInput* stream) {
    const gsf_off_t size = gsf()->size(stream);
    if (size < static_cast<gsf_off_t>(kHeader))
        return 0;
    const auto n = static_cast<std::size_t>(std::min<gsf_off_t>(size, kHeaderMost));
    std::vector<unsigned char> bytes(n);
    if (!gsf()->seek(stream, 0, G_SEEK_SET) && gsf()->read(stream, n, bytes.data()))
        return ConsistentCabinetLength(bytes.data(), n, static_cast<std::uint64_t>(size));
    return 0;
}

std::vector<CabinetSource> compoundCabinets(InputPtr input, const std::string& file,
                                            std::size_t most) {
    std::vector<CabinetSource> found;
    if (!input)
        return found;
    const Gsf& g = *gsf(); // there is an input: libgsf is there
    GError* error = nullptr;
    InfilePtr ole(g.openCompound(input.get(), &error));
    g.clearError(&error);
    if (!ole)
        return found;
    const int children = g.childCount(ole.get());
    for (int i = 0; i < children && found.size() < most; ++i) {
        InputPtr child(g.childAt(ole.get(), i));
        const char* name = g.nameAt(ole.get(), i);
        if (child && name && streamCabinetLength(child.get()) > 0)
            found.push_back({file, 0, name});
    }
    return found;
}

// Null when the file cannot be opened (errno set) or libgsf cannot be loaded (errno 0).
InputPtr openCompound(const std::string& path) {
    const Gsf* g = gsf();
    if (!g) {
        errno = 0;
        return nullptr;
    }
    GError* error = nullptr;
    InputPtr input(g->openFile(path.c_str(), &error));
    g->clearError(&error);
    return input;
}

// Writes all `n` bytes to `fd`; false (errno set) when it cannot.
bool writeAll(int fd, const unsigned char* bytes, std::size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, bytes, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        bytes += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

constexpr const char* kGone = "the cabinet is no longer where it was found in its file";

// The copy of a stream's cabinet in a memory file.
int copyStream(const CabinetSource& source, int memory, std::string* why) {
    InputPtr input = openCompound(source.file);
    if (!input) {
        *why = errno ? std::string(std::strerror(errno))
                     : "reading Windows Installer packages needs libgsf (libgsf-1-114), which "
                       "cannot be loaded";
        return -1;
    }
    const Gsf& g = *gsf();
    GError* error = nullptr;
    InfilePtr ole(g.openCompound(input.get(), &error));
    g.clearError(&error);
    InputPtr stream(ole ? g.childNamed(ole.get(), source.stream.c_str()) : nullptr);
    if (!stream || streamCabinetLength(stream.get()) == 0) {
        *why = kGone;
        return -1;
    }
    g.seek(stream.get(), 0, G_SEEK_SET);
    std::vector<unsigned char> buffer(kChunk);
    for (gsf_off_t left = g.size(stream.get()); left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<gsf_off_t>(left, kChunk));
        if (!g.read(stream.get(), n, buffer.data())) {
            *why = "the package's stream cannot be read";
            return -1;
        }
        if (!writeAll(memory, buffer.data(), n)) {
            *why = std::string(std::strerror(errno));
            return -1;
        }
        left -= static_cast<gsf_off_t>(n);
    }
    return memory;
}

// The copy of the cabinet found by search at source.offset in a memory file.
int copyRange(const CabinetSource& source, int memory, std::string* why) {
    const int fd = ::open(source.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        *why = std::string(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    std::vector<unsigned char> header;
    const ReadAt read = [fd](std::uint64_t at, unsigned char* to, std::size_t n) {
        return static_cast<long>(::pread(fd, to, n, static_cast<off_t>(at)));
    };
    const std::uint32_t length =
        source.offset < size ? lengthAt(read, source.offset, size, header) : 0;
    off_t from = static_cast<off_t>(source.offset);
    std::size_t left = length;
    while (left > 0) {
        const ssize_t sent = ::sendfile(memory, fd, &from, left);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        left -= static_cast<std::size_t>(sent);
    }
    const int error = errno;
    ::close(fd);
    if (length == 0 || left > 0) {
        *why = length == 0 ? kGone : std::string(std::strerror(error));
        return -1;
    }
    return memory;
}

} // namespace

std::uint32_t ConsistentCabinetLength(const unsigned char* h, std::size_t available,
                                      std::uint64_t room) {
    if (available < kHeader || std::memcmp(h, "MSCF", 4) != 0 || le32(h + 4) != 0 ||
        le32(h + 12) != 0 || le32(h + 20) != 0 || h[24] != 3 || h[25] != 1)
        return 0;
    const std::uint32_t length = le32(h + 8);
    const std::uint32_t files = le32(h + 16);
    const std::uint16_t folderCount = le16(h + 26);
    const std::uint16_t fileCount = le16(h + 28);
    const std::uint16_t flags = le16(h + 30);
    // At least the header, one folder entry and one file record of a one-byte name.
    if (length > room || length < kHeader + 8 + 17 || files < kHeader + 8 || files >= length ||
        folderCount == 0 || fileCount == 0 || std::uint64_t(fileCount) * 17 > length - files ||
        (flags & ~(kFlagPrevious | kFlagNext | kFlagReserve)) != 0)
        return 0;
    std::size_t at = kHeader;
    std::size_t folderReserve = 0;
    if (flags & kFlagReserve) {
        if (available < kHeader + 4)
            return 0;
        at += 4 + le16(h + 36);
        folderReserve = h[38];
    }
    const int names = (flags & kFlagPrevious ? 2 : 0) + (flags & kFlagNext ? 2 : 0);
    for (int i = 0; i < names; ++i) {
        if (at >= available)
            return 0;
        const void* nul = std::memchr(h + at, 0, std::min<std::size_t>(available - at, 256));
        if (!nul)
            return 0;
        at = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - h) + 1;
    }
    if (at + 8 > available)
        return 0;
    const std::uint64_t folderTableEnd = at + std::uint64_t(folderCount) * (8 + folderReserve);
    const std::uint32_t firstData = le32(h + at);
    if (folderTableEnd > files || firstData < folderTableEnd || firstData > length ||
        (le16(h + at + 6) & 0x000F) > 3)
        return 0;
    return length;
}

std::vector<CabinetSource> FindCabinets(const std::string& posixPath, std::size_t most) {
    const int fd = ::open(posixPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    struct stat st {};
    unsigned char start[8] = {};
    const bool compound = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                          ::pread(fd, start, 8, 0) == 8 &&
                          std::memcmp(start, kCompoundSignature, 8) == 0;
    std::vector<CabinetSource> found;
    if (compound)
        found = compoundCabinets(openCompound(posixPath), posixPath, most);
    else if (S_ISREG(st.st_mode))
        found = search(
            [fd](std::uint64_t at, unsigned char* to, std::size_t n) {
                return static_cast<long>(::pread(fd, to, n, static_cast<off_t>(at)));
            },
            static_cast<std::uint64_t>(st.st_size), posixPath, most);
    ::close(fd);
    return found;
}

std::vector<CabinetSource> FindCabinetsIn(std::string_view bytes, std::size_t most) {
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kCompoundSignature, 8) == 0) {
        const Gsf* g = gsf();
        if (!g)
            return {};
        return compoundCabinets(
            InputPtr(g->openMemory(reinterpret_cast<const guint8*>(bytes.data()),
                                   static_cast<gsf_off_t>(bytes.size()), FALSE)),
            {}, most);
    }
    return search(
        [bytes](std::uint64_t at, unsigned char* to, std::size_t n) {
            const std::size_t take = at < bytes.size() ? std::min(n, bytes.size() - at) : 0;
            std::memcpy(to, bytes.data() + at, take);
            return static_cast<long>(take);
        },
        bytes.size(), {}, most);
}

std::string StreamDisplayName(std::string_view stream) {
    // UTF-8 in, UTF-8 out: the packed characters are all three bytes long (U+3800..U+4840).
    static constexpr char kDigits[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";
    std::string out;
    for (std::size_t i = 0; i < stream.size();) {
        const auto c = static_cast<unsigned char>(stream[i]);
        if ((c & 0xF0) == 0xE0 && i + 2 < stream.size()) {
            const unsigned code = (c & 0x0Fu) << 12 |
                                  (static_cast<unsigned char>(stream[i + 1]) & 0x3Fu) << 6 |
                                  (static_cast<unsigned char>(stream[i + 2]) & 0x3Fu);
            if (code >= 0x3800 && code <= 0x4840) {
                if (code < 0x4800) {
                    out += kDigits[(code - 0x3800) & 0x3F];
                    out += kDigits[((code - 0x3800) >> 6) & 0x3F];
                } else if (code < 0x4840) {
                    out += kDigits[code - 0x4800];
                }
                i += 3;
                continue;
            }
        }
        out += stream[i++];
    }
    return out;
}

int OpenCabinetSource(const CabinetSource& source, std::string* why) {
    if (source.whole()) {
        const int fd = ::open(source.file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            *why = std::string(std::strerror(errno));
        return fd;
    }
    const int memory = ::memfd_create("cabinet", MFD_CLOEXEC);
    if (memory < 0) {
        *why = std::string(std::strerror(errno));
        return -1;
    }
    const int fd =
        source.stream.empty() ? copyRange(source, memory, why) : copyStream(source, memory, why);
    if (fd < 0)
        ::close(memory);
    return fd;
}

} // namespace fm
