// The cabinet directory reader on any bytes: a listing or nothing, never a crash, a hang or a
// read past the file; every listed name converts to UTF-8 that is stable and gains no separator
// the stored bytes did not have, and its UTF-16 form says the same; and wherever libmspack reads
// the whole directory (of a cabinet that continues no previous part) the listing is libmspack's,
// record for record, with no problem.

#include "fuzz_support.h"
#include "platform/cabinet_directory.h"

#include <mspack.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::size_t separators(std::string_view s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\\') +
                                    std::count(s.begin(), s.end(), '/'));
}

// Well-formed UTF-8 as UTF-16.
std::u16string utf16Of(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(length);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

// libmspack's default I/O without its warnings on damaged cabinets.
FILE* asFile(mspack_file* f) {
    return reinterpret_cast<FILE*>(f);
}
mspack_file* quietOpen(mspack_system*, const char* name, int mode) {
    return mode == MSPACK_SYS_OPEN_READ ? reinterpret_cast<mspack_file*>(std::fopen(name, "rb"))
                                        : nullptr;
}
void quietClose(mspack_file* f) {
    std::fclose(asFile(f));
}
int quietRead(mspack_file* f, void* buffer, int bytes) {
    const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(bytes), asFile(f));
    return got > 0 || !std::ferror(asFile(f)) ? static_cast<int>(got) : -1;
}
int quietWrite(mspack_file*, void*, int) {
    return -1;
}
int quietSeek(mspack_file* f, off_t offset, int mode) {
    const int whence = mode == MSPACK_SYS_SEEK_START ? SEEK_SET
                       : mode == MSPACK_SYS_SEEK_CUR ? SEEK_CUR
                                                     : SEEK_END;
    return fseeko(asFile(f), offset, whence) == 0 ? 0 : -1;
}
off_t quietTell(mspack_file* f) {
    return ftello(asFile(f));
}
void quietMessage(mspack_file*, const char*, ...) {}
void* quietAlloc(mspack_system*, size_t bytes) {
    return std::malloc(bytes);
}
void quietFree(void* p) {
    std::free(p);
}
void quietCopy(void* src, void* dest, size_t bytes) {
    std::memmove(dest, src, bytes);
}
mspack_system quietSystem = {quietOpen,    quietClose, quietRead, quietWrite, quietSeek, quietTell,
                             quietMessage, quietAlloc, quietFree, quietCopy,  nullptr};

std::string describe(const std::string& name, bool utf8, std::uint32_t size, unsigned date,
                     unsigned time) {
    char fields[64];
    std::snprintf(fields, sizeof fields, " utf=%d size=%u date=%04x time=%04x", utf8, size, date,
                  time);
    return name + fields;
}

// libmspack's listing (no salvaging), or false when it refuses the directory or the cabinet
// continues a previous part.
bool listedByMspack(const std::string& path, std::vector<std::string>& out) {
    mscab_decompressor* d = mspack_create_cab_decompressor(&quietSystem);
    FM_FUZZ_CHECK(d, "no decompressor");
    d->set_param(d, MSCABD_PARAM_SALVAGE, 0);
    mscabd_cabinet* cab = d->open(d, path.c_str());
    const bool whole = cab && !(cab->flags & MSCAB_HDR_PREVCAB);
    for (const mscabd_file* f = whole ? cab->files : nullptr; f; f = f->next)
        out.push_back(describe(
            f->filename, (f->attribs & MSCAB_ATTRIB_UTF_NAME) != 0, f->length,
            static_cast<unsigned>(((f->date_y - 1980) << 9) | (f->date_m << 5) | f->date_d),
            static_cast<unsigned>((f->time_h << 11) | (f->time_m << 5) | (f->time_s >> 1))));
    if (cab)
        d->close(d, cab);
    mspack_destroy_cab_decompressor(d);
    return whole;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::MemoryFile file;
    file.assign({reinterpret_cast<const char*>(data), size});
    std::vector<std::string> delivered;
    const fm::CabinetListing listing =
        fm::IterateCabinet(file.path(), [&](const fm::CabinetFileRecord& r) {
            delivered.push_back(describe(r.name, r.nameIsUtf8, r.size, r.dosDate, r.dosTime));
            FM_FUZZ_CHECK(r.name.size() <= 255 && r.name.find('\0') == std::string::npos, r.name);
            // Any code page offered; in a double-byte one a 0x5C may be part of a character.
            const int codePage = fm::kNameCodePages[r.dosTime % std::size(fm::kNameCodePages)];
            const std::string utf8 = fm::StoredNameToUtf8(r.name, r.nameIsUtf8, codePage);
            FM_FUZZ_CHECK(fm::StoredNameToUtf8(utf8, true) == utf8, "not valid UTF-8: " + utf8);
            FM_FUZZ_CHECK(codePage < 932 || codePage > 950 ? separators(utf8) == separators(r.name)
                                                           : separators(utf8) <= separators(r.name),
                          "separator made up: " + utf8);
            char16_t units[256];
            FM_FUZZ_CHECK(std::u16string(units, fm::StoredNameToUtf16(r.name, r.nameIsUtf8, units,
                                                                      codePage)) == utf16Of(utf8),
                          "UTF-16 differs from UTF-8: " + utf8);
            fm::DosDateTimeToDate(r.dosDate, r.dosTime);
        });
    FM_FUZZ_CHECK(listing.files == delivered.size(), "count differs from the records delivered");
    std::vector<std::string> reference;
    if (listedByMspack(file.path(), reference)) {
        FM_FUZZ_CHECK(listing.problem.empty(),
                      "a problem where libmspack lists: " + listing.problem);
        FM_FUZZ_CHECK(delivered == reference, "records differ from libmspack's");
    }
    return 0;
}
