// The test mode (T) beside cabextract -t on the shared real cabinets and damaged copies of them.

#include "tool_runner.h"

#include <regex>

namespace {

using TestMode = ToolTest;

// cabextract -t's first failed file, "" when it names none.
std::string theirFirstBad(const std::string& output) {
    static const std::regex failed(R"(^  (.*?)  failed )", std::regex::multiline);
    std::smatch m;
    return std::regex_search(output, m, failed) ? m[1].str() : "";
}

TEST_F(TestMode, AgreesWithCabextractOnRealAndDamagedCabinets) {
    if (sharedDir().empty())
        GTEST_SKIP() << "FM_SHARED_DIR with cabs/ is absent: no real cabinets to compare";
    if (runProgram("cabextract", {"-v"}, "/").status != 0)
        GTEST_SKIP() << "cabextract is not installed (scripts/install-deps installs it)";
    const std::string shared = sharedDir() + "/cabs";
    // Damage that leaves the header readable and damage that does not, at several places.
    const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
        {"as it is", [](std::string&) {}},
        {"a byte changed at 3/4", [](std::string& c) { c[c.size() * 3 / 4] ^= 0x55; }},
        {"a byte changed near the end", [](std::string& c) { c[c.size() - 8] ^= 0x55; }},
        {"cut at 2/3", [](std::string& c) { c.resize(c.size() * 2 / 3); }},
    };
    int damagedSeen = 0;
    for (const auto& entry : fs::directory_iterator(shared)) {
        if (entry.path().extension() != ".cab")
            continue;
        const std::string name = entry.path().filename().string();
        for (const auto& [what, damage] : damages) {
            SCOPED_TRACE(name + ", " + what);
            const std::string folder =
                tmp.file(name + "-" + std::to_string(&damage - &damages[0].second));
            fs::create_directories(folder);
            // The other parts of a spanned set beside it, as they are.
            for (const auto& part : fs::directory_iterator(shared))
                if (name.starts_with("split-") &&
                    part.path().filename().string().starts_with("split-"))
                    fs::copy_file(part.path(), folder + "/" + part.path().filename().string());
            std::string bytes = readFile(entry.path().string());
            damage(bytes);
            fs::remove(folder + "/" + name);
            writeFile(folder + "/" + name, bytes);

            const ToolRun theirs = runProgram("cabextract", {"-t", name}, folder);
            const ToolRun ours = run({"-q", "T", folder + "/" + name});
            EXPECT_EQ(ours.status != 0, theirs.status != 0) << ours.err << "\n" << theirs.out;
            damagedSeen += theirs.status != 0;
            const std::string first = theirFirstBad(theirs.out);
            if (!first.empty() && ours.status == 1) {
                std::string mine = ours.err.substr(8, ours.err.find(": ", 8) - 8);
                std::replace(mine.begin(), mine.end(), '\\', '/');
                // cabextract prints names without the UTF-8 flag as their raw bytes.
                const bool utf8 = fm::StoredNameToUtf8(first, true) == first;
                EXPECT_EQ(mine, utf8 ? first : fm::Windows1252ToUtf8(first)) << ours.err;
            }
        }
    }
    EXPECT_GT(damagedSeen, 10); // the damage took: the comparison is not all "intact"
}

} // namespace
