// The test mode (T): every file decoded, nothing written, damage named per file; and its verdict
// beside cabextract -t on the shared real cabinets and damaged copies of them.

#include "platform/cabinet_directory.h"
#include "tool_runner.h"

#include <algorithm>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;
using namespace fm::test;

namespace {

class TestMode : public ToolTest {
protected:
    // Three MSZIP files in blocks of 4,096 bytes: one.txt in block 0, docs\two.txt in blocks
    // 0..1, three.txt in blocks 1..2.
    CabPlan plan() const {
        CabPlan p;
        p.folders = {CabCompression::MsZip};
        p.blockSize = 4096;
        p.files = {cabFile("one.txt", sampleData(3000, 1)),
                   cabFile("docs\\two.txt", sampleData(3000, 2)),
                   cabFile("three.txt", sampleData(5000, 3))};
        return p;
    }
};

TEST_F(TestMode, FindsEachKindOfDamageAndWritesNothing) {
    struct Case {
        const char* what;
        std::function<void(std::string&, const CabPlan&)> damage;
        int status;
        std::string firstBad; // "" when intact
        std::string words;    // in the error line, linked
    };
    const std::vector<Case> cases = {
        {"intact", [](std::string&, const CabPlan&) {}, 0, "", ""},
        {"bad data in block 1",
         [](std::string& c, const CabPlan& p) { c[blockOffset(c, p, 1) + 20] ^= 0x40; }, 1,
         "docs\\two.txt", "damaged (bad checksum"},
        {"cut short in block 2",
         [](std::string& c, const CabPlan& p) { c.resize(blockOffset(c, p, 2) + 30); }, 1,
         "three.txt", "damaged (the cabinet is cut short)"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::string bytes = buildCabinet(plan());
        k.damage(bytes, plan());
        writeFile(tmp.file("t/a.cab"), bytes);
        const ToolRun r = run({"-q", "T", tmp.file("t/a.cab")});
        EXPECT_EQ(r.status, k.status) << r.err;
        if (k.firstBad.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.err.substr(0, r.err.find(':', 8)), "cabarc: " + k.firstBad) << r.err;
        }
        // Linked, as the program runs it: plain words, no tool name.
        writeFile(tmp.file("link"), "fendlemark-link 1\n");
        const ToolRun linked = run({"-@", tmp.file("link"), "T", tmp.file("t/a.cab")});
        EXPECT_EQ(linked.status, k.status);
        if (!k.firstBad.empty()) {
            EXPECT_EQ(linked.err.rfind(k.firstBad + ": " + k.words, 0), 0u) << linked.err;
        }
        EXPECT_EQ(treeOf(tmp.file("t")), "a.cab");
    }
}

TEST_F(TestMode, RecordClaimingMoreThanStoredIsDamaged) {
    CabPlan p;
    p.files = {cabFile("ok.bin", "def"), cabFile("short.bin", "abc")};
    p.files[1].declaredSize = 4;
    const ToolRun r = run({"-q", "T", cabinet(p)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("short.bin"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("ok.bin"), std::string::npos) << r.err;
}

// One bad block early in a folder of many files: testing or extracting decodes each block at
// most once (zlib decodes every block and counts them), however many files lie past it.
TEST_F(TestMode, DamageAndOverlapsCostOnePassOverTheFolder) {
    CabPlan p;
    p.folders = {CabCompression::MsZip};
    p.blockSize = 1000;
    for (int i = 0; i < 200; ++i)
        p.files.push_back(cabFile("f" + std::to_string(i), sampleData(100, i)));
    std::string bytes = buildCabinet(p);
    bytes[blockOffset(bytes, p, 1) + 8 + 20] ^= 1;
    writeFile(tmp.file("d.cab"), bytes);
    env.msZip = fm::tool::MsZipRoute::Zlib;
    unsigned blocks = 0;
    env.zlibBlocks = &blocks;
    for (const Strings& args : {Strings{"-q", "T", tmp.file("d.cab")},
                                Strings{"-q", "X", tmp.file("d.cab"), out() + "/"}}) {
        blocks = 0;
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("f199: "), std::string::npos) << r.err;
        EXPECT_LE(blocks, 20u) << args[1];
    }
}

TEST_F(TestMode, TakesNoFileNames) {
    const ToolRun r = run({"T", cabinet(plan()), "one.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("takes nothing after it"), std::string::npos);
}

// cabextract -t's first failed file, "" when it names none; its status separately.
std::string theirFirstBad(const std::string& output) {
    static const std::regex failed(R"(^  (.*?)  failed )");
    std::smatch m;
    for (size_t at = 0; at < output.size();) {
        const size_t end = std::min(output.find('\n', at), output.size());
        const std::string line = output.substr(at, end - at);
        if (std::regex_search(line, m, failed))
            return m[1].str();
        at = end + 1;
    }
    return "";
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
