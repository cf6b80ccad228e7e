// The cabinet directory reader on any bytes: a listing or nothing, never a crash, a hang or a read
// past the file; every name converts to stable UTF-8 with no separator the stored bytes lacked,
// and to the same in UTF-16; and where libmspack reads the whole directory of a cabinet that
// continues no previous part, the listing is libmspack's, record for record, with no problem.

#include "fuzz_support.h"
#include "platform/cabinet_directory.h"

#include <iconv.h>
#include <mspack.h>

#include <algorithm>
#include <cstdio>
#include <vector>

// libmspack's own I/O: exported, though its header does not declare it.
extern "C" mspack_system* mspack_default_system;

namespace {

std::size_t separators(std::string_view s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\\') +
                                    std::count(s.begin(), s.end(), '/'));
}

// Well-formed UTF-8 as UTF-16, by iconv.
std::u16string utf16Of(std::string s) {
    static const iconv_t utf16 = ::iconv_open("UTF-16LE", "UTF-8");
    std::u16string out(s.size(), u'\0');
    char *in = s.data(), *to = reinterpret_cast<char*>(out.data());
    std::size_t inLeft = s.size(), outLeft = out.size() * 2;
    ::iconv(utf16, &in, &inLeft, &to, &outLeft);
    out.resize(out.size() - outLeft / 2);
    return out;
}

void quietMessage(mspack_file*, const char*, ...) {}

// libmspack's own I/O without its warnings on damaged cabinets.
mspack_system* quietSystem() {
    static mspack_system quiet = *mspack_default_system;
    quiet.message = quietMessage;
    return &quiet;
}

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
    mscab_decompressor* d = mspack_create_cab_decompressor(quietSystem());
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
