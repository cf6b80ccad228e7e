#pragma once

// A small writer of Microsoft Cabinet files for tests: stored and MSZIP folders, any raw name
// bytes, dates, times, attributes, and hooks to damage the result. Tests build every cabinet
// they need with it instead of shipping binary files.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fm::test {

enum class CabCompression { Stored, MsZip };

// Attribute bit that marks a stored name as UTF-8.
constexpr std::uint16_t kAttrNameIsUtf8 = 0x80;

constexpr std::uint16_t dosDate(int year, int month, int day) {
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
constexpr std::uint16_t dosTime(int hour, int minute, int second) {
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

struct CabFilePlan {
    std::string name; // raw bytes as stored (backslash-separated folders)
    std::string data = {};
    std::uint16_t date = dosDate(2002, 3, 15);
    std::uint16_t time = dosTime(12, 34, 56);
    std::uint16_t attribs = 0x20; // archive; add kAttrNameIsUtf8 for UTF-8 names
    // Index into CabPlan::folders; any other (0xFFFD..0xFFFF: parts of a spanned set, or past
    // the last folder) is written into the record as is, and the data stored nowhere.
    int folder = 0;
    // In the record instead of data.size() (up to 0xFFFFFFFF); the data is stored as given.
    std::optional<std::uint32_t> declaredSize = std::nullopt;
    // In the record instead of where the data starts in its folder's stream.
    std::optional<std::uint32_t> declaredOffset = std::nullopt;
    // In the record instead of `folder`, whose stream still holds the data (0xFFFD: continued).
    std::optional<std::uint16_t> storedFolder = std::nullopt;
};

struct CabPlan {
    std::vector<CabFilePlan> files; // in stored order
    std::vector<CabCompression> folders = {CabCompression::Stored};
    std::size_t blockSize = 32768; // uncompressed bytes per data block (<= 32768)
    // When set, the header's file-table offset points at these records, written after the data
    // (their data stored nowhere), while `files` still follow the folder table.
    std::optional<std::vector<CabFilePlan>> headerTable = std::nullopt;
    // The largest reserve areas, of 0xA5 bytes: 60,000 in the header, 255 per folder and block.
    bool largestReserves = false;
};

// A file for a plan, with the default date, time and attributes.
CabFilePlan cabFile(std::string name, std::string data, int folder = 0);

// The cabinet's bytes. Files are laid out in each folder in the order they appear in `files`.
std::string buildCabinet(const CabPlan& plan);

// Builds the cabinet and writes it to `path` (parent folders created).
void writeCabinet(const std::string& path, const CabPlan& plan);

// Offsets inside a cabinet built by buildCabinet, for tests that damage it on purpose.
struct CabLayout {
    std::size_t firstFileEntry; // offset of the first CFFILE record
    std::size_t firstDataBlock; // offset of the first CFDATA record of folder 0
};
CabLayout layoutOf(const CabPlan& plan);

} // namespace fm::test
