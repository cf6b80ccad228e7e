#pragma once

// The cabinet tool's command line:
//
//   cabarc [-p] [-o] [-n] [-q] [-c <codepage>] [-@ <link>] [-r <fd>] [-d <fd>] <command> <cabinet>
//   [<file> ...]
//          [<dest>\]
//   cabarc [-m NONE|MSZIP|LZX:<15..21>] [-p] [-o] [-q] [-r <fd>] N <cabinet> <file or folder>...
//
// Options come before the command and are case-insensitive: -p keeps the stored folders, -o is
// accepted (existing files are replaced unless -n is given), -n leaves existing files alone,
// -q silences the per-file lines, -c names the code page of names stored without the UTF-8 flag
// (one of fm::kNameCodePages; 1252 without it, the link's when a link gives one), -@ names the link
// the program hands over (platform/tool_link.h): its drive map, and the exact records to extract;
// -r names a descriptor the extraction writes its progress to ("<bytes done>/<bytes in all>" lines,
// see ProgressReport); -d names a descriptor holding the destination folder open, which is written
// into instead of the folder <dest> names (no link in that path can be swapped in between).
// Commands are L (list), X (extract), T (test: decode every file, write nothing) and N (new: make
// a cabinet of the files and folders given), in either case. For N, -m names the compression
// (MSZIP without it; LZX with its window of 2^15 to 2^21 bytes), -p keeps the paths below each
// folder given in the stored names, and -o replaces an existing cabinet. For X the last argument is
// the destination when it ends in '\' or '/'; the other arguments after the cabinet are name
// patterns (NamePattern says how they match; one other than * and *.* that matches nothing makes
// the exit status 1).

#include "folder_encoder.h"

#include <optional>
#include <string>
#include <vector>

namespace fm::tool {

enum class Command { List, Extract, Test, New };

struct ToolArgs {
    bool keepFolders = false;        // -p
    bool overwrite = false;          // -o (the tool never asks either way)
    bool skipExisting = false;       // -n
    bool quiet = false;              // -q
    int codePage = 1252;             // -c
    std::optional<std::string> link; // -@: where to read the link from
    std::optional<int> progressFd;   // -r: where to report progress
    std::optional<int> folderFd;     // -d: the destination folder, open
    Method method = Method::MsZip;   // -m, for N
    int lzxWindowBits = 21;          // -m LZX:<bits>
    bool methodGiven = false;
    Command command = Command::List;
    std::string cabinet;                    // as given (drive form or POSIX)
    std::vector<std::string> patterns;      // empty: every file; for N the files to add
    std::optional<std::string> destination; // as given, trailing separator included
};

struct ParsedArgs {
    std::optional<ToolArgs> args; // set when the command line is usable
    std::string error;            // otherwise, what is wrong with it
};

// Parses the arguments after the program name.
ParsedArgs ParseToolArgs(const std::vector<std::string>& args);

// The usage text, several lines, each ending in a newline.
const char* UsageText();

} // namespace fm::tool
