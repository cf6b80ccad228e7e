// The test mode (T): every file decoded, nothing written, damage named per file; and its verdict
// beside cabextract -t on the shared real cabinets and damaged copies of them.

#include "tool_runner.h"

#include <regex>

namespace {

using TestMode = ToolTest;

// One bad block early in a folder of many files: T names the first file it reaches, in plain
// words when linked, writes nothing, and like X decodes each block at most once (zlib decodes
// every block and counts them), however many files lie past it.
TEST_F(TestMode, FindsDamageWritesNothingAndDecodesEachBlockOnce) {
    CabPlan p;
    p.folders = {CabCompression::MsZip};
    p.blockSize = 1000; // f0..f9 in block 0, f10..f19 in block 1
    for (int i = 0; i < 200; ++i)
        p.files.push_back(cabFile("f" + std::to_string(i), sampleData(100, i)));
    std::string bytes = buildCabinet(p);
    writeFile(tmp.file("t/a.cab"), bytes);
    EXPECT_EQ(run({"-q", "T", tmp.file("t/a.cab")}).err, "");
    bytes[blockOffset(bytes, p, 1) + 8 + 20] ^= 1;
    writeFile(tmp.file("t/a.cab"), bytes);
    writeFile(tmp.file("link"), "fendlemark-link 1\n");
    env.msZip = fm::tool::MsZipRoute::Zlib;
    unsigned blocks = 0;
    env.zlibBlocks = &blocks;
    for (const auto& [args, first] :
         {std::pair{Strings{"-q", "T", tmp.file("t/a.cab")}, "cabarc: f10: "},
          {Strings{"-@", tmp.file("link"), "T", tmp.file("t/a.cab")}, "f10: damaged (bad checksum"},
          {Strings{"-q", "X", tmp.file("t/a.cab"), out() + "/"}, "cabarc: f10: "}}) {
        blocks = 0;
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.rfind(first, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("f199: "), std::string::npos) << r.err;
        EXPECT_LE(blocks, 20u) << args[1];
        EXPECT_EQ(treeOf(tmp.file("t")), "a.cab");
    }
}

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
