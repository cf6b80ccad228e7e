#pragma once

// The cabinet tool's command line:
//
//   cabarc [-p] [-o] [-n] [-q] [-c <codepage>] [-@ <link>] [-r <fd>] [-d <fd>] <command> <cabinet>
//   [<file> ...]
//          [<dest>\]
//
// Options come before the command and are case-insensitive: -p keeps the stored folders, -o is
// accepted (existing files are replaced unless -n is given), -n leaves existing files alone,
// -q silences the per-file lines, -c names the code page of names stored without the UTF-8 flag
// (one of fm::kNameCodePages; 1252 without it, the link's when a link gives one), -@ names the link
// the program hands over (platform/tool_link.h): its drive map, and the exact records to extract;
// -r names a descriptor the extraction writes its progress to ("<bytes done>/<bytes in all>" lines,
// see ProgressReport); -d names a descriptor holding the destination folder open, which is written
// into instead of the folder <dest> names (no link in that path can be swapped in between).
// Commands are L (list), X (extract) and T (test: decode every file, write nothing), in either
// case. For X the last argument is the destination when it ends in '\' or '/'; the other arguments
// after the cabinet are name patterns (NamePattern says how they match; one other than * and *.*
// that matches nothing makes the exit status 1).

#include <optional>
#include <string>
#include <vector>

namespace fm::tool {

enum class Command { List, Extract, Test };

struct ToolArgs {
    bool keepFolders = false;        // -p
    bool overwrite = false;          // -o (the tool never asks either way)
    bool skipExisting = false;       // -n
    bool quiet = false;              // -q
    int codePage = 1252;             // -c
    std::optional<std::string> link; // -@: where to read the link from
    std::optional<int> progressFd;   // -r: where to report progress
    std::optional<int> folderFd;     // -d: the destination folder, open
    Command command = Command::List;
    std::string cabinet;                    // as given (drive form or POSIX)
    std::vector<std::string> patterns;      // empty: every file
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
