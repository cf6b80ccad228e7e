#pragma once

// The cabinet tool as a function: everything main() does, with the process's surroundings
// passed in so tests can run it in-process.

#include "output_file.h"
#include "platform/cabinet_source.h"
#include "platform/drive_map.h"
#include "platform/tool_link.h"
#include "text_out.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fm::tool {

// Exit statuses.
constexpr int kExitOk = 0;          // every matched file extracted (or listed)
constexpr int kExitSomeFailed = 1;  // some file could not be extracted, or a pattern found none
constexpr int kExitCannotStart = 2; // usage error, or the cabinet cannot be opened

// How MSZIP folders held whole in one cabinet are decoded (those of a spanned set always go
// through libmspack).
enum class MsZipRoute {
    Isal,      // ISA-L, zlib for a block ISA-L refuses: the tool's own way
    IsalDrill, // the same, ISA-L's verdict on every other block taken as a refusal (tests)
    Zlib,      // zlib alone (for comparison)
    Libmspack, // libmspack's own inflater
};

struct ToolEnvironment {
    DriveMap drives;           // maps drive-form paths when no link brings the program's map
    std::string workingFolder; // POSIX, absolute
    std::string toolFolder;    // POSIX: the folder the tool runs from, never written into
    WriteFunction write;       // output writes; empty: write(2)
    MsZipRoute msZip = MsZipRoute::Isal;
    unsigned* zlibBlocks = nullptr; // when set, counts the MSZIP blocks zlib had to decode
    // LZX folders held whole in one cabinet go through the tool's own decoder, else libmspack's.
    bool ownLzx = true;
    std::uint64_t* lzxFrames = nullptr; // when set, counts the frames the own LZX decoder made
    // Threads that decode LZX folders ahead of the run (0: the run decodes them itself; unset:
    // FolderPrefetch::Workers(), asked only then), when it takes at least lzxAheadFromBytes from
    // them (starting threads costs more than it saves on small cabinets).
    std::optional<unsigned> lzxWorkers;
    std::uint64_t lzxAheadFromBytes = 4 << 20;
    // `N` starts a new folder once one holds this many bytes.
    std::uint64_t newFolderBytes = 32ull << 20;
    // Cabinets smaller than this are inflated by zlib alone: loading ISA-L (about 1-2 ms) costs
    // more than it saves on them.
    std::uint64_t isalFromBytes = 2 * 1024 * 1024;
    // The names ISA-L is loaded by; one that cannot be loaded leaves MSZIP to zlib.
    std::vector<std::string> isalLibraries = {"libisal.so.2", "libisal.so"};
};

// The environment of this process: the system drive map, working folder and tool folder.
ToolEnvironment SystemEnvironment();

// Runs the tool on the arguments after the program name. Listings and the per-file lines go to
// `out`, one line per problem to `err`. Returns the exit status.
int RunTool(const std::vector<std::string>& args, const ToolEnvironment& env, TextOut& out,
            TextOut& err);

// An extraction, once the command line and the link have been read and its paths resolved.
struct ExtractRequest {
    std::string cabinetPath;     // POSIX
    fm::CabinetSource within;    // the larger file the cabinet was copied from, if any
    std::string destinationPath; // POSIX
    int destinationFd = -1;      // when open: the destination itself, its path only a name
    // Launched by the program through a link: problems are told in the user's words, without the
    // tool's name, the cabinet or POSIX paths, and the destination must already exist.
    bool linked = false;
    // The exact selection (the link's file lines); null: the command line's patterns choose.
    const std::vector<LinkedRecord>* records = nullptr;
    // The records are every one the program listed: the cabinet must hold exactly those.
    bool allRecords = false;
};

// The commands, after the arguments have been parsed and the cabinet path resolved.
struct ToolArgs;
int RunList(const ToolArgs& args, const std::string& cabinetPath, TextOut& out, TextOut& err);
int RunExtract(const ToolArgs& args, const ExtractRequest& request, const ToolEnvironment& env,
               TextOut& out, TextOut& err);
// N: makes the cabinet `args.cabinet` of the files and folders `args.patterns`.
int RunNew(const ToolArgs& args, const DriveMap& drives, const ToolEnvironment& env, TextOut& out,
           TextOut& err);
// The test mode. Launched through a link (`linked`), each problem is told in the user's words.
int RunTest(const ToolArgs& args, const std::string& cabinetPath, bool linked,
            const ToolEnvironment& env, TextOut& out, TextOut& err,
            const fm::CabinetSource& within = {});

} // namespace fm::tool
