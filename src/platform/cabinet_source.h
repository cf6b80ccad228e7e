#pragma once

// Cabinets that live inside other files: self-extracting programs and installers (.exe, any
// file) hold them somewhere in their bytes, Windows Installer packages (.msi, compound files) in
// streams. The program lists them and its tool extracts them through this one module, so both
// find the very same cabinet.
//
// In a plain file a cabinet is found by search: "MSCF" at an offset where a header consistent
// with the file starts (reserved fields zero, version 1.3, a length that ends within the file, a
// file table within it, plausible folder and file counts, the first folder's data within the
// cabinet). The search goes on after each cabinet's end. In a compound file each stream that
// starts with such a header is a cabinet; streams are named as stored, and StreamDisplayName
// decodes the names Windows Installer packs into U+3800..U+4840.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fm {

// Where a cabinet lives: the outermost real file on disk and the way in.
struct CabinetSource {
    std::string file;         // POSIX path of the real file
    std::uint64_t offset = 0; // where the cabinet starts in it (found by search)
    std::string stream;       // the compound-file stream holding it (UTF-8, as stored), or ""
    // The cabinet is the whole file: nothing more need be said about the way in.
    bool whole() const { return offset == 0 && stream.empty(); }
    friend bool operator==(const CabinetSource&, const CabinetSource&) = default;
};

// The cabinet's length (its header's cbCabinet) when the `available` bytes at `header` start a
// header consistent with a file that has `room` bytes from there on; 0 when they do not. Needs the
// header, its reserved area and neighbour names and the first folder entry; fewer available bytes
// than these take give 0.
std::uint32_t ConsistentCabinetLength(const unsigned char* header, std::size_t available,
                                      std::uint64_t room);

// The cabinets in the file at `posixPath`, in order, at most `most` of them: a compound file's
// cabinet streams, in any other file those found by search. None for a file that cannot be read.
std::vector<CabinetSource> FindCabinets(const std::string& posixPath, std::size_t most = SIZE_MAX);

// The same for bytes in memory (the search, and the compound file read through libgsf), for
// checks; the sources name no file.
std::vector<CabinetSource> FindCabinetsIn(std::string_view bytes, std::size_t most = SIZE_MAX);

// A stream name as a user reads it: the characters Windows Installer packs two to a character
// (U+3800..U+47FF) or one (U+4800..U+483F) unpacked, its table mark (U+4840) dropped.
std::string StreamDisplayName(std::string_view stream);

// A descriptor open for reading on exactly the cabinet's bytes: the file itself for a whole one,
// otherwise an anonymous memory file holding a copy of them (nothing is written to disk, and it
// goes with the descriptor). -1 when there is none, with `why` in plain words (no full stop).
int OpenCabinetSource(const CabinetSource& source, std::string* why);

} // namespace fm
