#pragma once

// The link between the program and its cabinet tool, both halves in one place.
//
// A row of the contents list must reach the tool as exactly that record, and every drive-form
// path must name on the tool's side what it names on the program's. Neither survives being passed
// as a pattern or re-mapped from the mount table at launch time, so the program hands the tool a
// link: a small text that the tool reads from the path given after -@ (the program passes
// kToolLinkPath, a descriptor it inherits).
//
//   fendlemark-link 1
//   codepage 932                      names stored without the UTF-8 flag are in this code page
//                                     (kNameCodePages; the line is left out for 1252)
//   drive d /media/ann/STICK          the program's drive map, one line per drive after c: (= /)
//   source offset 4096                the cabinet is not the whole file named on the command
//   source stream <name>              line but lies in it: from this byte on (found by search),
//                                     or in this compound-file stream (cabinet_source.h); the
//                                     line is left out for a cabinet that is a file of its own
//   file 17 docs\readme.txt           a chosen record: its index among the files that start in
//   file 18 a*                        this cabinet (stored order, from 0) and the name the
//                                     program listed for it (StoredNameToUtf8 in the link's code
//                                     page), which must match
//   files 2 all                       the file lines are every record the program listed, 2 in all
//
// The index is the record's place in what IterateCabinet delivers (ReadCabinetDirectory), which
// the tool reads with the same code. Without file lines the command line's patterns choose. For
// all files the program passes *.* and every listed record, then the "files N all" line: the tool
// extracts nothing when the cabinet's records are no longer exactly those listed.
// In every field a backslash, a space and each byte below 0x21 or equal to 0x7f is written as \ooo
// (three octal digits), so any name and any mount path survives one line.
//
// The parameter strings the program builds (the cabinet and destination quoted only when they
// hold a space, a tab or a quote; see QuoteArgument):
//   all files      " [-p ][-n ]-@ /dev/fd/3 -r 4 -d 5 X <cabinet> *.* <destination>\"
//   chosen rows    " [-p ][-n ]-@ /dev/fd/3 -r 4 -d 5 X <cabinet> <destination>\"
// -p keeps the stored folders, -n leaves existing files alone (replaced without it), -r 4 asks
// for progress reports on descriptor 4 (kLaunchProgressDescriptor), -d 5 hands the destination
// folder over open on descriptor 5 (kLaunchFolderDescriptor): the folder the program checked is
// the one written into, whatever its path names meanwhile.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fm {

class DriveMap;

// The descriptor the tool inherits the link on, and the path the program names it by.
inline constexpr int kToolLinkDescriptor = 3;
inline constexpr char kToolLinkPath[] = "/dev/fd/3";

struct LinkedRecord {
    std::uint32_t index = 0; // among the files that start in the cabinet, stored order, from 0
    std::string name;        // as listed: StoredNameToUtf8 of the stored name
    friend bool operator==(const LinkedRecord&, const LinkedRecord&) = default;
};

struct ToolLink {
    std::vector<std::string> driveMounts; // mount paths of d:, e:, ... in letter order
    std::vector<LinkedRecord> records;    // empty (and not allRecords): the patterns choose
    bool allRecords = false;              // records are every record listed, for *.*
    int codePage = 1252;                  // of names stored without the UTF-8 flag
    std::uint64_t sourceOffset = 0;       // where the cabinet starts in the file named
    std::string sourceStream = {};        // or the stream of it that holds the cabinet
    friend bool operator==(const ToolLink&, const ToolLink&) = default;

    // The drive map the link carries (c: is always /).
    DriveMap drives() const;
    // The mounts of a drive map, d: onwards, for driveMounts.
    static std::vector<std::string> mountsOf(const DriveMap& drives);
};

// The link as text, and back. Reading refuses (nullopt, with the reason in `error`) a wrong first
// line, an unknown line, a malformed escape or number, a drive out of letter order, a second
// source line or one after the file lines, and a
// "files N all" line that is not last or whose N is not the number of file lines.
std::string WriteToolLink(const ToolLink& link);
std::optional<ToolLink> ReadToolLink(std::string_view text, std::string* error);

// `text` as one argument of a parameter string, read back exactly by SplitCommandLine: in double
// quotes, a quote inside escaped and the backslashes before a quote or the closing quote doubled.
std::string QuoteArgument(std::string_view text);
// A path as one argument: quoted (QuoteArgument) when it holds a space, a tab or a quote,
// otherwise as it is.
std::string PathArgument(std::string_view path);

// The names of the path a stored name (as UTF-8) is extracted to, below the destination. Both
// '\' and '/' separate folders; leading separators and drive designations ("C:") are dropped,
// empty, "." and ".." parts are removed, and each control character (1-31, 127) becomes '_', so
// every name is one a user can type. Empty when nothing usable is left.
std::vector<std::string> OutputNameParts(std::string_view storedName);

// The file a stored name is written to below the destination, parts joined by '/': the whole
// safe path with folders kept, its last part without. Empty when nothing usable is left. Two
// records with the same output path in one run collide.
std::string OutputPath(std::string_view storedName, bool keepFolders);

} // namespace fm
