#include "platform/cabinet_directory.h"
#include "platform/utf8.h"
#include "platform/wildcard.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

namespace fm {

namespace {

// ---------------------------------------------------------------------------------------------
// The directory: header, neighbour names, folder table, file table

// A read-only file with a read-ahead window. Reading a directory means many small reads close
// together (16-byte records, names of up to 256 bytes), so one pread per window keeps the system
// calls to one or two per cabinet, and most reads are served from the window without a copy.
class WindowedFile {
public:
    // Non-blocking, so a FIFO named like a cabinet fails at once instead of waiting for a writer.
    // `base`: where the cabinet starts in the file; positions count from there.
    WindowedFile(const char* path, off_t base)
        : fd_(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)), base_(base) {}
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

    // Up to n bytes (n at most the window's size) from the current position, without moving it:
    // fewer at the end of the file, and `got` is -1 on an error. The bytes stay valid until the
    // next call.
    const unsigned char* peek(int n, int& got) {
        if (!holds(n))
            return peekSlowly(n, got);
        got = n;
        return window_.get() + (pos_ - windowStart_);
    }

private:
    static constexpr std::size_t kWindow = 16384;

    bool holds(int n) const {
        return pos_ >= windowStart_ && pos_ + n <= windowStart_ + windowLength_;
    }

    // The bytes straddle the window's end (or lie outside it): copied window by window, as many
    // as the file gives.
    const unsigned char* peekSlowly(int n, int& got) {
        unsigned char* out = spare_;
        const off_t start = pos_;
        int done = 0;
        while (done < n) {
            if (pos_ < windowStart_ || pos_ >= windowStart_ + windowLength_) {
                if (!fill())
                    break;
            }
            const off_t inWindow = pos_ - windowStart_;
            const int take = static_cast<int>(std::min<off_t>(n - done, windowLength_ - inWindow));
            std::memcpy(out + done, window_.get() + inWindow, static_cast<std::size_t>(take));
            done += take;
            pos_ += take;
        }
        pos_ = start;
        got = done > 0 ? done : (eof_ ? 0 : -1);
        return out;
    }

    bool fill() {
        eof_ = false;
        ssize_t got;
        do {
            got = ::pread(fd_, window_.get(), kWindow, base_ + pos_);
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
    off_t base_;
    off_t pos_ = 0;
    off_t windowStart_ = 0;
    off_t windowLength_ = 0;
    bool eof_ = false;
    std::unique_ptr<unsigned char[]> window_ =
        std::make_unique_for_overwrite<unsigned char[]>(kWindow);
    unsigned char spare_[256];
};

constexpr std::uint16_t kFlagPrevCabinet = 0x0001;
constexpr std::uint16_t kFlagNextCabinet = 0x0002;
constexpr std::uint16_t kFlagReservePresent = 0x0004;
constexpr std::uint16_t kAttribUtf8Name = 0x0080;
constexpr std::uint16_t kFirstContinuationIndex = 0xFFFD;
constexpr std::uint16_t kContinuedFromPrev = 0xFFFD;
constexpr std::uint16_t kContinuedToNext = 0xFFFE;
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
    int got = 0;
    const unsigned char* p = f.peek(kNameWindow, got);
    if (got <= 0)
        return false;
    const void* nul = std::memchr(p, '\0', static_cast<std::size_t>(got));
    if (!nul)
        return false;
    const auto length = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
    out.assign(reinterpret_cast<const char*>(p), length);
    return f.seek(f.tell() + static_cast<off_t>(length) + 1);
}

// n bytes at the current position, which moves past them; null when fewer could be read.
const unsigned char* readExactly(WindowedFile& f, int n) {
    int got = 0;
    const unsigned char* p = f.peek(n, got);
    if (got != n)
        return nullptr;
    f.seek(f.tell() + n);
    return p;
}

constexpr const char* kNotACabinet = "This is not a cabinet file.";

std::string errnoText(int error) {
    return std::string(std::strerror(error)) + ".";
}

// A listing that stopped before the first record.
CabinetListing stopped(std::string why) {
    CabinetListing out;
    out.problem = std::move(why);
    return out;
}

// The records up to the first one that cannot be read whole. A record in no folder or with an
// empty name is skipped and the table goes on after it. In a part that continues a previous one,
// a file continued from there belongs to the part where it starts and is not listed here.
// Where the whole directory is sound this lists exactly what libmspack's directory reader lists
// (the fuzz target compares the two); unlike it, a damaged directory still yields what can be read.
// `facts`, when given, takes the header's flags and folder count and the continuation marks.
CabinetListing listFileTable(const std::string& path,
                             const std::function<void(const CabinetFileRecord&)>& onFile,
                             CabinetTable* facts = nullptr, std::uint64_t offset = 0) {
    CabinetListing out;
    WindowedFile f(path.c_str(), static_cast<off_t>(offset));
    if (!f.isOpen())
        return stopped(errnoText(errno));
    // In the words the tool uses: a file that starts as a cabinet does but ends too soon is a
    // cabinet cut short, not something else.
    const auto cutOff = [] {
        return stopped("The cabinet is damaged: it is cut short before its file list.");
    };
    int got = 0;
    const unsigned char* start = f.peek(4, got);
    if (got < 4 || std::memcmp(start, "MSCF", 4) != 0)
        return stopped(kNotACabinet);
    const unsigned char* header = readExactly(f, 36);
    if (!header)
        return cutOff();
    const std::uint16_t folders = le16(header + 26);
    const std::uint16_t files = le16(header + 28);
    const std::uint16_t flags = le16(header + 30);
    if (facts) {
        facts->flags = flags;
        facts->folders = folders;
    }

    int folderReserve = 0;
    if (flags & kFlagReservePresent) {
        const unsigned char* sizes = readExactly(f, 4);
        if (!sizes)
            return cutOff();
        folderReserve = sizes[2];
        f.seek(f.tell() + le16(sizes));
    }
    // Each neighbour: its file name, then its disk's name.
    std::string disk;
    if ((flags & kFlagPrevCabinet) && !(readName(f, out.previous) && readName(f, disk)))
        return cutOff();
    if ((flags & kFlagNextCabinet) && !(readName(f, out.next) && readName(f, disk)))
        return cutOff();
    f.seek(f.tell() + static_cast<off_t>(folders) * (8 + folderReserve));

    unsigned elsewhere = 0; // continued from the previous part: listed there
    CabinetFileRecord r;    // one for all records, so its name keeps its buffer
    for (unsigned i = 0; i < files; ++i) {
        const unsigned char* fixed = readExactly(f, 16);
        if (!fixed)
            break;
        // The fixed part first: reading the name may move the window under it.
        const std::uint16_t folder = le16(fixed + 8);
        r.size = le32(fixed);
        r.offset = le32(fixed + 4);
        r.folder = folder;
        r.dosDate = le16(fixed + 10);
        r.dosTime = le16(fixed + 12);
        r.nameIsUtf8 = (le16(fixed + 14) & kAttribUtf8Name) != 0;
        if (!readName(f, r.name))
            break;
        const bool folderKnown = folder >= kFirstContinuationIndex ? folders > 0 : folder < folders;
        const bool startsEarlier = (flags & kFlagPrevCabinet) && (folder == kContinuedFromPrev ||
                                                                  folder == kContinuedPrevAndNext);
        elsewhere += startsEarlier;
        if (facts && folders > 0 && !r.name.empty()) {
            facts->marksPrevious |= folder == kContinuedFromPrev || folder == kContinuedPrevAndNext;
            facts->marksNext |= folder == kContinuedToNext || folder == kContinuedPrevAndNext;
        }
        if (!folderKnown || r.name.empty() || startsEarlier)
            continue;
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
// above U+10FFFF, so no invalid sequence can stand for an ASCII character. `out` takes
// ascii(byte), sequence(its bytes, its code point) for each well-formed sequence of two bytes or
// more, and replacement() for each ill-formed subpart.
template <typename Out> void decodeUtf8(std::string_view in, Out& out) {
    std::size_t i = 0;
    while (i < in.size()) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x80) {
            out.ascii(static_cast<char>(lead));
            ++i;
            continue;
        }
        Utf8Lead seq;
        if (!ClassifyUtf8Lead(lead, seq)) {
            out.replacement();
            ++i;
            continue;
        }
        const int needed = seq.length - 1;
        unsigned char low = seq.low, high = seq.high;
        char32_t c = lead & (0x7F >> seq.length);
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 0; k < needed; ++k, ++j) {
            const auto b = j < in.size() ? static_cast<unsigned char>(in[j]) : 0;
            if (j >= in.size() || b < low || b > high) {
                complete = false;
                break;
            }
            c = c << 6 | (b & 0x3F);
            low = 0x80;
            high = 0xBF;
        }
        if (complete)
            out.sequence(in.substr(i, j - i), c);
        else
            out.replacement();
        i = j;
    }
}

struct Utf8Out {
    std::string text;
    void ascii(char c) { text += c; }
    void sequence(std::string_view bytes, char32_t) { text.append(bytes); }
    void replacement() { AppendUtf8(text, kReplacement); }
};

struct Utf16Out {
    char16_t* at;
    void ascii(char c) { *at++ = static_cast<char16_t>(c); }
    void sequence(std::string_view, char32_t c) {
        if (c >= 0x10000) {
            *at++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            *at++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            *at++ = static_cast<char16_t>(c);
        }
    }
    void replacement() { *at++ = static_cast<char16_t>(kReplacement); }
};

// 0x80..0x9F of Windows-1252; the five bytes it leaves unassigned keep their C1 code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// A name in one of the code pages other than 1252, as code points: through iconv, a converter
// per code page kept for the thread. A byte that starts no character of the code page (or an
// unfinished one at the end) becomes U+FFFD and the next byte is read afresh. Empty with
// ok = false when the system has no converter for the code page.
std::u32string decodeCodePage(std::string_view raw, int codePage, bool& ok) {
    struct Converter {
        int codePage = 0;
        iconv_t cd = reinterpret_cast<iconv_t>(-1);
        Converter() = default;
        Converter(const Converter&) = delete;
        Converter& operator=(const Converter&) = delete;
        ~Converter() {
            if (cd != reinterpret_cast<iconv_t>(-1))
                ::iconv_close(cd);
        }
    };
    thread_local std::array<Converter, std::size(kNameCodePages)> converters;
    iconv_t cd = reinterpret_cast<iconv_t>(-1);
    for (Converter& c : converters) {
        if (c.codePage == 0) {
            c.codePage = codePage;
            c.cd = ::iconv_open("UTF-32LE", ("CP" + std::to_string(codePage)).c_str());
        }
        if (c.codePage == codePage) {
            cd = c.cd;
            break;
        }
    }
    ok = cd != reinterpret_cast<iconv_t>(-1);
    std::u32string out;
    if (!ok)
        return out;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string in(raw);
    char* inAt = in.data();
    std::size_t inLeft = in.size();
    out.resize(in.size() + 1);
    char* outAt = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(char32_t);
    while (inLeft > 0) {
        if (::iconv(cd, &inAt, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG || outLeft < sizeof(char32_t))
            break; // more characters than bytes: never for these code pages
        const char32_t replacement = kReplacement;
        std::memcpy(outAt, &replacement, sizeof replacement);
        outAt += sizeof replacement;
        outLeft -= sizeof replacement;
        ++inAt;
        --inLeft;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<std::size_t>(reinterpret_cast<char32_t*>(outAt) - out.data()));
    return out;
}

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
                              const std::function<void(const CabinetFileRecord&)>& onFile,
                              std::uint64_t offset) {
    return listFileTable(posixPath, onFile, nullptr, offset);
}

std::string FindCabinetPart(const std::string& folder, const std::string& name) {
    const std::size_t cut = name.find_last_of("\\/");
    const std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    if (base.empty() || base == "." || base == "..")
        return {};
    const auto join = [&](std::string_view n) {
        return folder == "/" ? "/" + std::string(n) : folder + "/" + std::string(n);
    };
    struct stat st;
    if (::stat(join(base).c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return join(base);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return {};
    const std::u32string folded = FoldCase(base);
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        if (FoldCase(e->d_name) == folded && ::stat(join(e->d_name).c_str(), &st) == 0 &&
            S_ISREG(st.st_mode)) {
            found = join(e->d_name);
            break;
        }
    }
    ::closedir(dir);
    return found;
}

CabinetTable ReadCabinetDirectory(const std::string& posixPath) {
    CabinetTable d;
    d.listing = listFileTable(
        posixPath, [&](const CabinetFileRecord& r) { d.records.push_back(r); }, &d);
    return d;
}

bool IsNameCodePage(int codePage) {
    return std::find(std::begin(kNameCodePages), std::end(kNameCodePages), codePage) !=
           std::end(kNameCodePages);
}

std::string StoredNameToUtf8(std::string_view raw, bool nameIsUtf8, int codePage) {
    if (!nameIsUtf8) {
        bool ok = false;
        if (codePage != 1252 && IsNameCodePage(codePage)) {
            std::string text;
            for (char32_t c : decodeCodePage(raw, codePage, ok))
                AppendUtf8(text, c);
            if (ok)
                return text;
        }
        return Windows1252ToUtf8(raw);
    }
    Utf8Out out;
    out.text.reserve(raw.size());
    decodeUtf8(raw, out);
    return std::move(out.text);
}

std::size_t StoredNameToUtf16(std::string_view raw, bool nameIsUtf8, char16_t* out, int codePage) {
    if (nameIsUtf8) {
        Utf16Out sink{out};
        decodeUtf8(raw, sink);
        return static_cast<std::size_t>(sink.at - out);
    }
    if (codePage != 1252 && IsNameCodePage(codePage)) {
        bool ok = false;
        const std::u32string points = decodeCodePage(raw, codePage, ok);
        if (ok) {
            Utf16Out sink{out};
            char16_t* const end = out + raw.size();
            for (char32_t c : points) {
                if (sink.at + (c >= 0x10000 ? 2 : 1) > end)
                    break;
                sink.sequence({}, c);
            }
            return static_cast<std::size_t>(sink.at - out);
        }
    }
    for (char ch : raw) {
        const auto b = static_cast<unsigned char>(ch);
        *out++ = b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return raw.size();
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
