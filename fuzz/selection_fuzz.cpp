// For any cabinet (hostile names and sizes from the input, odd but legal shapes included) and any
// selection of its records, the tool run as the program runs it writes exactly the selected
// records, each to the path its name gives, with its own data, and nothing outside the
// destination; a selected record it cannot write (no usable name, one path for two) is reported.

#include "fuzz_support.h"
#include "platform/cabinet_directory.h"
#include "platform/tool_link.h"
#include "support/cab_writer.h"
#include "text_out.h"
#include "tool_main.h"

#include <filesystem>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using fm::fuzz::Input;

// Names of the pieces that make names hard.
std::string hostileName(Input& in) {
    static const char* const kPieces[] = {
        "a",    "A",    "b",    "*",          "?",          "\\",   "/",
        ".",    "..",   "C:",   " ",          "\x01",       "\x7f", "\xc3\xa9",
        "\xc3", "\xff", "\xe9", "readme.txt", "README.TXT", "x\\",  "\\\\"};
    std::string name;
    for (int n = 1 + in.byte() % 6; n > 0; --n)
        name += kPieces[in.byte() % std::size(kPieces)];
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::ScratchFolder scratch;
    static fm::fuzz::MemoryFile link;
    Input in(data, size);
    scratch.clear();

    fm::test::CabPlan plan;
    if (in.byte() & 1)
        plan.folders = {fm::test::CabCompression::MsZip};
    const std::size_t count = 1 + in.byte() % 10;
    for (std::size_t i = 0; i < count; ++i) {
        // The data says whose it is, so that a file can be traced to its record.
        fm::test::CabFilePlan f = fm::test::cabFile(
            hostileName(in), "record " + std::to_string(i) + ";" +
                                 std::string(in.byte() % 40, static_cast<char>('a' + i % 26)));
        if (in.byte() & 1)
            f.attribs |= fm::test::kAttrNameIsUtf8;
        plan.files.push_back(std::move(f));
    }
    const bool keepFolders = in.byte() & 1;
    fm::ToolLink chosen;
    // Where each selected record should land, and which records share a path.
    std::map<std::string, std::vector<std::size_t>> byPath;
    for (std::size_t i = 0; i < count; ++i) {
        if (in.byte() & 1) {
            const auto& f = plan.files[i];
            const std::string listed =
                fm::StoredNameToUtf8(f.name, (f.attribs & fm::test::kAttrNameIsUtf8) != 0);
            chosen.records.push_back({static_cast<std::uint32_t>(i), listed});
            byPath[fm::OutputPath(listed, keepFolders)].push_back(i);
        }
    }
    if (chosen.records.empty())
        return 0; // no rows chosen: the program passes patterns instead
    // Records marked continued from a previous part the header does not name, and a header that
    // points at a second file table, its marks the other way round: readers count these apart.
    const unsigned marks = in.byte(), secondTable = in.byte();
    for (std::size_t i = 0; i < count; ++i)
        if (marks >> (i % 8) & 1)
            plan.files[i].storedFolder = 0xFFFD;
    if (secondTable & 1) {
        plan.headerTable = plan.files;
        for (auto& f : *plan.headerTable)
            f.storedFolder = f.storedFolder ? 0 : 0xFFFD;
    }

    const std::string cabinet = scratch.path() + "/a.cab";
    const std::string destination = scratch.path() + "/dest";
    fm::test::writeCabinet(cabinet, plan);
    fs::create_directory(destination);
    link.assign(fm::WriteToolLink(chosen));

    std::vector<std::string> args;
    if (keepFolders)
        args.push_back("-p");
    args.insert(args.end(), {"-@", link.path(), "X", cabinet, destination + "/"});
    fm::tool::ToolEnvironment env;
    env.workingFolder = scratch.path();
    fm::tool::StringOut out, err;
    const int status = fm::tool::RunTool(args, env, out, err);

    const std::string context =
        "\nstatus " + std::to_string(status) + "\nout:\n" + out.text() + "err:\n" + err.text();

    for (const auto& entry : fs::directory_iterator(scratch.path()))
        FM_FUZZ_CHECK(entry.path() == cabinet || entry.path() == destination,
                      "written outside the destination: " + entry.path().string() + context);

    // Every file in the destination is a selected record's, at that record's path.
    std::set<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(destination)) {
        if (entry.is_directory() && !entry.is_symlink())
            continue;
        const std::string rel = entry.path().lexically_relative(destination).generic_string();
        FM_FUZZ_CHECK(entry.is_regular_file() && !entry.is_symlink(),
                      "not a file: " + rel + context);
        const std::string content = fm::test::readFile(entry.path().string());
        std::size_t owner = count;
        for (std::size_t i = 0; i < count; ++i)
            if (content == plan.files[i].data)
                owner = i;
        FM_FUZZ_CHECK(owner < count, rel + " holds no record's data" + context);
        const auto at = byPath.find(rel);
        FM_FUZZ_CHECK(at != byPath.end() &&
                          std::count(at->second.begin(), at->second.end(), owner) == 1,
                      rel + " is not where record " + std::to_string(owner) + " belongs" + context);
        written.insert(rel);
    }

    // Every selected record was written, or the run failed saying so.
    bool allWritten = true;
    for (const auto& [path, records] : byPath) {
        const bool ok = !path.empty() && records.size() == 1 && written.count(path);
        allWritten = allWritten && ok;
        if (!ok)
            FM_FUZZ_CHECK(status != 0 && !err.text().empty(),
                          "record " + std::to_string(records[0]) + " (" + path +
                              ") neither written nor reported" + context);
    }
    if (allWritten)
        FM_FUZZ_CHECK(status == 0, "every record written, yet the run failed" + context);
    return 0;
}
