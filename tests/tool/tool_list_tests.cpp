// Listing: one line per stored file, in stored order, names as UTF-8.

#include "support/cab_writer.h"
#include "support/temp_dir.h"
#include "tool_runner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

using namespace fm::test;

namespace {

CabFilePlan file(std::string name, std::string data, std::uint16_t attribs = 0x20) {
    CabFilePlan f = cabFile(std::move(name), std::move(data));
    f.attribs = attribs;
    return f;
}

class ToolList : public ::testing::Test {
protected:
    TempDir tmp;
    ToolRun list(const CabPlan& plan, std::vector<std::string> patterns = {}) {
        writeCabinet(tmp.file("a.cab"), plan);
        std::vector<std::string> args = {"L", tmp.file("a.cab")};
        args.insert(args.end(), patterns.begin(), patterns.end());
        return runTool(args, toolEnvironment(tmp.path()));
    }
};

} // namespace

TEST_F(ToolList, OneAlignedLinePerFileInStoredOrder) {
    CabPlan plan;
    plan.folders = {CabCompression::Stored, CabCompression::MsZip};
    CabFilePlan z = file("zeta.txt", std::string(1234, 'z'));
    z.date = dosDate(2002, 3, 15);
    z.time = dosTime(12, 34, 56);
    CabFilePlan a = file(R"(docs\Alpha.TXT)", "");
    a.date = dosDate(1999, 12, 31);
    a.time = dosTime(23, 59, 58);
    a.folder = 1;
    CabFilePlan m = file("m", "m");
    m.date = dosDate(2107, 1, 2);
    m.time = dosTime(0, 0, 1); // two-second steps: shown as stored, 00
    plan.files = {z, a, m};

    ToolRun r = list(plan);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "      1234  2002-03-15 12:34:56  zeta.txt\n"
                     "         0  1999-12-31 23:59:58  docs\\Alpha.TXT\n"
                     "         1  2107-01-02 00:00:00  m\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(ToolList, SizesAndDatesAsStored) {
    CabPlan plan;
    CabFilePlan big = file("big", "");
    big.declaredSize = 0xFFFFFFFFu;
    big.date = static_cast<std::uint16_t>((5 << 9) | (13 << 5) | 0); // month 13, day 0
    big.time = static_cast<std::uint16_t>((25 << 11) | (61 << 5) | 31);
    plan.files = {big};
    ToolRun r = list(plan);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "4294967295  1985-13-00 25:61:62  big\n");
}

TEST_F(ToolList, NamesBecomeUtf8) {
    CabPlan plan;
    plan.files = {file("caf\xE9 \x80.txt", ""),                              // Windows-1252
                  file("f\xC3\xBC\xC3\x9F.txt", "", 0x20 | kAttrNameIsUtf8), // UTF-8
                  file("bad\xC0\xAF\xFF.txt", "", 0x20 | kAttrNameIsUtf8)};
    ToolRun r = list(plan);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "         0  2002-03-15 12:34:56  café €.txt\n"
              "         0  2002-03-15 12:34:56  füß.txt\n"
              "         0  2002-03-15 12:34:56  bad\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD.txt\n");
}

TEST_F(ToolList, PatternsNarrowTheList) {
    CabPlan plan;
    plan.files = {file("a.txt", ""), file(R"(d\b.TXT)", ""), file("c.ini", "")};
    ToolRun r = list(plan, {"*.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "         0  2002-03-15 12:34:56  a.txt\n"
                     "         0  2002-03-15 12:34:56  d\\b.TXT\n");
}

TEST_F(ToolList, UnreadableCabinetsAreStartFailures) {
    writeFile(tmp.file("text.cab"), "MSCF but nothing after it");
    ToolRun r = runTool({"L", tmp.file("text.cab")}, toolEnvironment(tmp.path()));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("text.cab"), std::string::npos);

    CabPlan plan;
    plan.files = {file("a.txt", "abc")};
    std::string bytes = buildCabinet(plan);
    writeFile(tmp.file("cut.cab"), bytes.substr(0, layoutOf(plan).firstFileEntry + 10));
    r = runTool({"L", tmp.file("cut.cab")}, toolEnvironment(tmp.path()));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
}

TEST_F(ToolList, PartOfASetListsWhatItHolds) {
    const std::string shared = sharedDir();
    if (shared.empty())
        GTEST_SKIP() << "FM_SHARED_DIR with cabs/ is absent: no spanned set to list";
    // split-3 holds only the middle of medium2.bin, which starts in split-2.
    ToolRun r = runTool({"l", shared + "/cabs/split-3.cab"}, toolEnvironment(tmp.path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = runTool({"l", shared + "/cabs/split-2.cab"}, toolEnvironment(tmp.path()));
    EXPECT_EQ(r.out, "     50000  2018-07-17 08:52:54  medium2.bin\n");
}

TEST_F(ToolList, AFifoNamedLikeACabinetIsRefusedAtOnce) {
    ASSERT_EQ(::mkfifo(tmp.file("x.cab").c_str(), 0644), 0);
    for (const char* command : {"L", "X"}) {
        ToolRun r = runTool({command, tmp.file("x.cab"), tmp.file("out") + "/"},
                            toolEnvironment(tmp.path()));
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("x.cab: not a regular file"), std::string::npos) << r.err;
    }
}

TEST_F(ToolList, ControlCharactersAreEscapedAndWrittenAsUnderscores) {
    CabPlan plan;
    plan.files = {file("evil\nforged line\x1b[2J\t\x7f.txt", "x"), file("plain.txt", "p")};
    ToolRun r = list(plan);
    EXPECT_EQ(r.out, "         1  2002-03-15 12:34:56  evil\\nforged line\\x1b[2J\\t\\x7f.txt\n"
                     "         1  2002-03-15 12:34:56  plain.txt\n");
    fs::create_directories(tmp.file("out/evil_forged line_[2J__.txt"));
    r = runTool({"X", tmp.file("a.cab"), "evil*", tmp.file("out") + "/"},
                toolEnvironment(tmp.path()));
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
    EXPECT_NE(r.err.find("evil\\nforged line\\x1b[2J\\t\\x7f.txt: cannot write"), std::string::npos)
        << r.err;
    fs::remove(tmp.file("out/evil_forged line_[2J__.txt"));
    r = runTool({"X", tmp.file("a.cab"), tmp.file("out") + "/"}, toolEnvironment(tmp.path()));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "evil_forged line_[2J__.txt\nplain.txt\n");
    EXPECT_EQ(readFile(tmp.file("out/evil_forged line_[2J__.txt")), "x");
}
