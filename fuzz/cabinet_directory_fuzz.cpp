// The cabinet directory reader on any bytes: a listing or nothing, never a crash, a hang or a
// read past the file; and every listed name converts to UTF-8 that is stable and gains no
// separator the stored bytes did not have.

#include "fuzz_support.h"
#include "platform/cabinet_directory.h"

#include <algorithm>

namespace {

std::size_t separators(std::string_view s) {
    return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\\') +
                                    std::count(s.begin(), s.end(), '/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::MemoryFile file;
    file.assign({reinterpret_cast<const char*>(data), size});
    std::size_t delivered = 0;
    const fm::CabinetListing listing =
        fm::IterateCabinet(file.path(), [&](const fm::CabinetFileRecord& r) {
            ++delivered;
            FM_FUZZ_CHECK(r.name.size() <= 255 && r.name.find('\0') == std::string::npos, r.name);
            const std::string utf8 = fm::StoredNameToUtf8(r.name, r.nameIsUtf8);
            FM_FUZZ_CHECK(fm::StoredNameToUtf8(utf8, true) == utf8, "not valid UTF-8: " + utf8);
            FM_FUZZ_CHECK(separators(utf8) == separators(r.name), "separator made up: " + utf8);
            fm::DosDateTimeToDate(r.dosDate, r.dosTime);
        });
    FM_FUZZ_CHECK(listing.files == delivered, "count differs from the records delivered");
    return 0;
}
