#include "platform/cabinet_directory.h"
#include "platform/utf8.h"

#include <mspack.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace fm {

namespace {

// ---------------------------------------------------------------------------------------------
// File access for libmspack and for our own reading of the file table

// A read-only file with a read-ahead window. Reading a directory means many small reads close
// together (16-byte records, 256-byte name probes followed by a seek back), so one pread per
// window keeps the system calls to one or two per cabinet.
class WindowedFile {
public:
    // Non-blocking, so a FIFO named like a cabinet fails at once instead of waiting for a writer.
    explicit WindowedFile(const char* path)
        : fd_(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~WindowedFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WindowedFile(const WindowedFile&) = delete;
    WindowedFile& operator=(const WindowedFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    off_t tell() const { return pos_; }

    bool seek(off_t to) {
        if (to < 0)
            return false;
        pos_ = to;
        return true;
    }

    bool size(off_t& out) const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            return false;
        out = st.st_size;
        return true;
    }

    // Up to n bytes from the current position; fewer at the end of the file, -1 on an error.
    int read(void* dst, int n) {
        if (n <= 0)
            return n == 0 ? 0 : -1;
        auto* out = static_cast<char*>(dst);
        int done = 0;
        while (done < n) {
            if (pos_ < windowStart_ || pos_ >= windowStart_ + windowLength_) {
                if (!fill())
                    return done > 0 ? done : (eof_ ? 0 : -1);
            }
            const off_t inWindow = pos_ - windowStart_;
            const int take = static_cast<int>(std::min<off_t>(n - done, windowLength_ - inWindow));
            std::memcpy(out + done, window_.data() + inWindow, static_cast<std::size_t>(take));
            done += take;
            pos_ += take;
        }
        return done;
    }

private:
    bool fill() {
        eof_ = false;
        ssize_t got;
        do {
            got = ::pread(fd_, window_.data(), window_.size(), pos_);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            eof_ = got == 0;
            return false;
        }
        windowStart_ = pos_;
        windowLength_ = got;
        return true;
    }

    int fd_;
    off_t pos_ = 0;
    off_t windowStart_ = 0;
    off_t windowLength_ = 0;
    bool eof_ = false;
    std::vector<char> window_ = std::vector<char>(16384);
};

WindowedFile* asWindowed(mspack_file* f) {
    return reinterpret_cast<WindowedFile*>(f);
}

// libmspack's I/O through WindowedFile. Its own default system prints warnings about damaged
// cabinets to stderr; ours says nothing, as a listing that fails must stay silent.
mspack_file* sysOpen(mspack_system*, const char* filename, int mode) {
    if (mode != MSPACK_SYS_OPEN_READ)
        return nullptr;
    auto* f = new (std::nothrow) WindowedFile(filename);
    if (f && !f->isOpen()) {
        delete f;
        f = nullptr;
    }
    return reinterpret_cast<mspack_file*>(f);
}

void sysClose(mspack_file* f) {
    delete asWindowed(f);
}

int sysRead(mspack_file* f, void* buffer, int bytes) {
    return asWindowed(f)->read(buffer, bytes);
}

int sysWrite(mspack_file*, void*, int) {
    return -1;
}

int sysSeek(mspack_file* f, off_t offset, int mode) {
    WindowedFile* w = asWindowed(f);
    off_t base = 0;
    switch (mode) {
    case MSPACK_SYS_SEEK_START:
        break;
    case MSPACK_SYS_SEEK_CUR:
        base = w->tell();
        break;
    case MSPACK_SYS_SEEK_END:
        if (!w->size(base))
            return -1;
        break;
    default:
        return -1;
    }
    return w->seek(base + offset) ? 0 : -1;
}

off_t sysTell(mspack_file* f) {
    return asWindowed(f)->tell();
}

void sysMessage(mspack_file*, const char*, ...) {}

void* sysAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}

void sysFree(void* p) {
    std::free(p);
}

void sysCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}

mspack_system quietSystem = {sysOpen,    sysClose, sysRead, sysWrite, sysSeek, sysTell,
                             sysMessage, sysAlloc, sysFree, sysCopy,  nullptr};

bool mspackUsable() {
    static const bool usable = [] {
        int result = MSPACK_ERR_OK;
        MSPACK_SYS_SELFTEST(result);
        return result == MSPACK_ERR_OK;
    }();
    return usable;
}

// ---------------------------------------------------------------------------------------------
// The directory through libmspack

struct DecompressorDeleter {
    void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};
using Decompressor = std::unique_ptr<mscab_decompressor, DecompressorDeleter>;

class OpenCabinet {
public:
    OpenCabinet(mscab_decompressor* d, const char* path) : d_(d), cab_(d->open(d, path)) {}
    ~OpenCabinet() {
        if (cab_)
            d_->close(d_, cab_);
    }
    OpenCabinet(const OpenCabinet&) = delete;
    OpenCabinet& operator=(const OpenCabinet&) = delete;

    const mscabd_cabinet* get() const { return cab_; }

private:
    mscab_decompressor* d_;
    mscabd_cabinet* cab_;
};

CabinetFileRecord recordOf(const mscabd_file& f) {
    // libmspack splits the DOS fields into parts; putting them back together is lossless.
    CabinetFileRecord r;
    r.name = f.filename;
    r.nameIsUtf8 = (f.attribs & MSCAB_ATTRIB_UTF_NAME) != 0;
    r.size = f.length;
    r.dosDate = static_cast<std::uint16_t>(((f.date_y - 1980) << 9) | (f.date_m << 5) | f.date_d);
    r.dosTime = static_cast<std::uint16_t>((f.time_h << 11) | (f.time_m << 5) | (f.time_s >> 1));
    return r;
}

enum class MspackOutcome { Listed, NoSuchFile, Refused, ContinuesPrevious };

MspackOutcome listWithMspack(const std::string& path,
                             const std::function<void(const CabinetFileRecord&)>& onFile,
                             std::size_t& count) {
    if (!mspackUsable())
        return MspackOutcome::Refused;
    Decompressor d(mspack_create_cab_decompressor(&quietSystem));
    if (!d)
        return MspackOutcome::Refused;
    // No salvage: it would skip a record whose name runs past 255 bytes and read on from the
    // middle of that name. Refusing the cabinet leaves the records before it to our own reading.
    d->set_param(d.get(), MSCABD_PARAM_SALVAGE, 0);
    OpenCabinet cab(d.get(), path.c_str());
    if (!cab.get())
        return d->last_error(d.get()) == MSPACK_ERR_OPEN ? MspackOutcome::NoSuchFile
                                                         : MspackOutcome::Refused;
    // A later part of a spanned set: libmspack attaches the files continued from the previous
    // part to the first folder, with nothing left to tell them apart, so our own reading of the
    // file table lists this part.
    if (cab.get()->flags & MSCAB_HDR_PREVCAB)
        return MspackOutcome::ContinuesPrevious;
    // Files continued into the next part (folder index 0xFFFE) start here and are listed.
    for (const mscabd_file* f = cab.get()->files; f; f = f->next) {
        onFile(recordOf(*f));
        ++count;
    }
    return MspackOutcome::Listed;
}

// ---------------------------------------------------------------------------------------------
// Our own reading of the file table, for cabinets libmspack refuses as a whole

constexpr std::uint16_t kFlagPrevCabinet = 0x0001;
constexpr std::uint16_t kFlagNextCabinet = 0x0002;
constexpr std::uint16_t kFlagReservePresent = 0x0004;
constexpr std::uint16_t kFirstContinuationIndex = 0xFFFD;
constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t kContinuedPrevAndNext = 0xFFFF;
constexpr int kNameWindow = 256; // a name and its NUL never take more

std::uint16_t le16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// A NUL-terminated string of at most 255 bytes at the current position; leaves the position just
// after the NUL. False when none could be read whole.
bool readName(WindowedFile& f, std::string& out) {
    char buf[kNameWindow];
    const off_t start = f.tell();
    const int got = f.read(buf, kNameWindow);
    if (got <= 0)
        return false;
    const void* nul = std::memchr(buf, '\0', static_cast<std::size_t>(got));
    if (!nul)
        return false;
    out.assign(buf, static_cast<std::size_t>(static_cast<const char*>(nul) - buf));
    return f.seek(start + static_cast<off_t>(out.size()) + 1);
}

bool readExactly(WindowedFile& f, unsigned char* dst, int n) {
    return f.read(dst, n) == n;
}

constexpr const char* kNotACabinet = "This is not a cabinet file.";

std::string errnoText(int error) {
    return std::string(std::strerror(error)) + ".";
}

// The records up to the first one that cannot be read whole. A record in no folder or with an
// empty name is skipped and the table goes on after it, as libmspack's salvage mode does. In a
// part that continues a previous one, a file continued from there belongs to the part where it
// starts and is not listed here.
CabinetListing listFileTable(const std::string& path,
                             const std::function<void(const CabinetFileRecord&)>& onFile) {
    CabinetListing out;
    WindowedFile f(path.c_str());
    if (!f.isOpen())
        return {0, errnoText(errno)};
    unsigned char header[36];
    if (!readExactly(f, header, sizeof header) || std::memcmp(header, "MSCF", 4) != 0)
        return {0, kNotACabinet};
    const auto cutOff = [] {
        return CabinetListing{0, "The cabinet is damaged: it is cut off before its file list."};
    };
    const std::uint16_t folders = le16(header + 26);
    const std::uint16_t files = le16(header + 28);
    const std::uint16_t flags = le16(header + 30);

    int folderReserve = 0;
    if (flags & kFlagReservePresent) {
        unsigned char sizes[4];
        if (!readExactly(f, sizes, sizeof sizes))
            return cutOff();
        folderReserve = sizes[2];
        f.seek(f.tell() + le16(sizes));
    }
    const int neighbourStrings =
        ((flags & kFlagPrevCabinet) ? 2 : 0) + ((flags & kFlagNextCabinet) ? 2 : 0);
    std::string ignored;
    for (int i = 0; i < neighbourStrings; ++i) {
        if (!readName(f, ignored))
            return cutOff();
    }
    f.seek(f.tell() + static_cast<off_t>(folders) * (8 + folderReserve));

    unsigned elsewhere = 0; // continued from the previous part: listed there
    for (unsigned i = 0; i < files; ++i) {
        unsigned char fixed[16];
        CabinetFileRecord r;
        if (!readExactly(f, fixed, sizeof fixed) || !readName(f, r.name))
            break;
        const std::uint16_t folder = le16(fixed + 8);
        const bool folderKnown = folder >= kFirstContinuationIndex ? folders > 0 : folder < folders;
        const bool startsEarlier = (flags & kFlagPrevCabinet) && (folder == kContinuedFromPrev ||
                                                                  folder == kContinuedPrevAndNext);
        elsewhere += startsEarlier;
        if (!folderKnown || r.name.empty() || startsEarlier)
            continue;
        r.size = le32(fixed);
        r.dosDate = le16(fixed + 10);
        r.dosTime = le16(fixed + 12);
        r.nameIsUtf8 = (le16(fixed + 14) & MSCAB_ATTRIB_UTF_NAME) != 0;
        onFile(r);
        ++out.files;
    }
    if (out.files + elsewhere < files)
        out.problem = "The cabinet is damaged: " + std::to_string(out.files) + " of its " +
                      std::to_string(files - elsewhere) + " files could be read.";
    return out;
}

// ---------------------------------------------------------------------------------------------
// Text

constexpr char32_t kReplacement = 0xFFFD;

// Decodes strictly: every maximal subpart of an ill-formed sequence becomes one U+FFFD, and
// the range of the first continuation byte excludes overlong forms, surrogates and anything
// above U+10FFFF, so no invalid sequence can stand for an ASCII character.
std::string decodeUtf8(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        Utf8Lead seq;
        if (!ClassifyUtf8Lead(lead, seq)) {
            AppendUtf8(out, kReplacement);
            ++i;
            continue;
        }
        const int needed = seq.length - 1;
        unsigned char low = seq.low, high = seq.high;
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < needed; ++k, ++j) {
            const auto b = j < in.size() ? static_cast<unsigned char>(in[j]) : 0;
            if (j >= in.size() || b < low || b > high) {
                complete = false;
                break;
            }
            low = 0x80;
            high = 0xBF;
        }
        if (complete)
            out.append(in.substr(i, j - i));
        else
            AppendUtf8(out, kReplacement);
        i = j;
    }
    return out;
}

// 0x80..0x9F of Windows-1252; the five bytes it leaves unassigned keep their C1 code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// ---------------------------------------------------------------------------------------------
// Dates

bool isLeapYear(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

} // namespace

CabinetListing IterateCabinet(const std::string& posixPath,
                              const std::function<void(const CabinetFileRecord&)>& onFile) {
    std::size_t count = 0;
    switch (listWithMspack(posixPath, onFile, count)) {
    case MspackOutcome::Listed:
        return {count, {}};
    case MspackOutcome::NoSuchFile: // our own opening tells why
    case MspackOutcome::ContinuesPrevious:
    case MspackOutcome::Refused:
        // libmspack gives up on the whole directory at the first bad record (a cabinet cut off
        // in its file table, a record in no folder); the records before it are still worth
        // listing, and records in no folder are skipped as salvaging would.
        return listFileTable(posixPath, onFile);
    }
    return {count, {}};
}

std::string StoredNameToUtf8(std::string_view raw, bool nameIsUtf8) {
    return nameIsUtf8 ? decodeUtf8(raw) : Windows1252ToUtf8(raw);
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        AppendUtf8(out, b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char32_t(b));
    }
    return out;
}

CalendarDate DosDateTimeToDate(std::uint16_t dosDate, std::uint16_t dosTime) {
    const int year = 1980 + (dosDate >> 9);
    const int month = (dosDate >> 5) & 0x0F;
    const int day = dosDate & 0x1F;
    const int hour = dosTime >> 11;
    const int minute = (dosTime >> 5) & 0x3F;
    const int twoSeconds = dosTime & 0x1F;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || twoSeconds > 29)
        return CalendarDate{};
    return CalendarDate{year, month, day};
}

} // namespace fm
