#pragma once

// Reading a cabinet's directory (no decompression), and the conversions its records need.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace fm {

// One file record of a cabinet's directory, as stored.
struct CabinetFileRecord {
    std::string name;        // raw name bytes as stored, backslash-separated folders
    bool nameIsUtf8 = false; // the record's UTF-8 name flag
    std::uint32_t size = 0;  // uncompressed size
    std::uint16_t dosDate = 0;
    std::uint16_t dosTime = 0;
    std::uint16_t folder = 0; // folder index as stored (0xFFFD..0xFFFF: continuation marks)
    std::uint32_t offset = 0; // where its data starts in the folder's uncompressed stream
};

// What a listing delivered, and why it stopped short when it did.
struct CabinetListing {
    std::size_t files = 0; // records delivered
    // Empty when the whole directory was read; otherwise one sentence in plain words for the
    // user ("This is not a cabinet file.", "Permission denied.", "The cabinet is damaged: ...").
    std::string problem;
    // The neighbouring parts of a spanned set the header names (raw bytes, Windows-1252), ""
    // when it names none.
    std::string previous;
    std::string next;
};

// Calls onFile once for every file stored in the cabinet at `posixPath`, in stored order, before
// returning. A cabinet that is damaged, truncated or not a cabinet at all yields the records that
// could be read (possibly none), prints nothing, and says why in the result. A part of a spanned
// set yields the files that start in it (also those continued into the next part), not those
// continued from the previous. A cabinet inside a larger file starts `offset` bytes into it.
CabinetListing IterateCabinet(const std::string& posixPath,
                              const std::function<void(const CabinetFileRecord&)>& onFile,
                              std::uint64_t offset = 0);

// The file in `folder` for a part named `name` in a header (only its last part is used), looked
// up exactly, then without regard to letter case: its path, or "" when there is none.
std::string FindCabinetPart(const std::string& folder, const std::string& name);

// What the cabinet tool needs besides the records to find them among libmspack's files.
struct CabinetTable {
    std::uint16_t flags = 0;   // header flags
    std::uint16_t folders = 0; // folders stored in this cabinet
    // Some record read is marked continued from the previous part (0xFFFD, 0xFFFF) or into
    // the next (0xFFFE, 0xFFFF): the first or last folder is joined with a neighbour's.
    bool marksPrevious = false;
    bool marksNext = false;
    std::vector<CabinetFileRecord> records; // exactly what IterateCabinet delivers, in order
    CabinetListing listing;
};

// The directory of the cabinet at `posixPath` read as IterateCabinet reads it, so that the
// program and its tool number a cabinet's records alike: the record index the program sends
// is an index into `records`.
CabinetTable ReadCabinetDirectory(const std::string& posixPath);

// The code pages a name stored without the UTF-8 flag can be read in: 1252 (Windows' Western,
// the default) first, then the other common ones (437, 850 and 866 of DOS; 932 Japanese, 936
// Simplified Chinese, 949 Korean, 950 Traditional Chinese; 1250, 1251 and 1253 of Windows).
inline constexpr int kNameCodePages[] = {1252, 437, 850, 866, 932, 936, 949, 950, 1250, 1251, 1253};
bool IsNameCodePage(int codePage);

// The stored name as UTF-8: taken as UTF-8 when the flag is set, otherwise in `codePage` (one of
// kNameCodePages; any other reads as 1252). Invalid UTF-8 (overlong forms included) and bytes
// the code page does not assign become U+FFFD, so they never yield a path separator; a
// double-byte character is always taken whole, also when its second byte is 0x5C ('\').
std::string StoredNameToUtf8(std::string_view raw, bool nameIsUtf8, int codePage = 1252);

// The same as UTF-16 into `out`, which has room for raw.size() units (never more are needed);
// returns the units written.
std::size_t StoredNameToUtf16(std::string_view raw, bool nameIsUtf8, char16_t* out,
                              int codePage = 1252);

// Windows-1252 bytes to UTF-8 (the five unassigned bytes map to the C1 controls, as Windows does).
std::string Windows1252ToUtf8(std::string_view bytes);

struct CalendarDate {
    int year = 1601;
    int month = 1;
    int day = 1;
    friend bool operator==(const CalendarDate&, const CalendarDate&) = default;
};

// The date part of a DOS date and time. Values that the Windows conversion rejects (month 0 or
// above 12, day 0 or past the month's end, hour above 23, minute above 59, seconds field above
// 29) give 1 January 1601, the date of file time zero.
CalendarDate DosDateTimeToDate(std::uint16_t dosDate, std::uint16_t dosTime);

} // namespace fm
