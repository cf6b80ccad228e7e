// The tool beside cabextract on the shared real cabinets: the same listing, the same files.
// Where cabextract follows a planted link or leaves a broken file behind, the tool must not.

#include "support/cab_writer.h"
#include "support/temp_dir.h"
#include "tool_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iconv.h>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace fm::test;

namespace {

// stdout of a shell command, and its exit status.
std::pair<std::string, int> shell(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return {out, -1};
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    int status = ::pclose(p);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

bool haveCabextract() {
    return shell("command -v cabextract >/dev/null 2>&1").second == 0;
}

// cabextract prints and writes names without the UTF-8 flag as raw bytes: read those as
// Windows-1252 with the C library's converter.
std::string asUtf8(const std::string& raw) {
    iconv_t probe = ::iconv_open("UTF-8", "UTF-8");
    std::string in = raw, out(raw.size() * 4 + 4, '\0');
    auto convert = [&](iconv_t cd) {
        char* ip = in.data();
        char* op = out.data();
        size_t il = in.size(), ol = out.size();
        bool ok = ::iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1);
        ::iconv_close(cd);
        return ok ? std::optional<std::string>(out.substr(0, out.size() - ol)) : std::nullopt;
    };
    if (auto same = convert(probe))
        return *same;
    return convert(::iconv_open("UTF-8", "WINDOWS-1252")).value_or("<unconvertible>");
}

// "%10u | DD.MM.YYYY HH:MM:SS | name" -> our line format, names with '/'.
std::vector<std::string> cabextractListing(const std::string& cab) {
    auto [text, status] = shell("cabextract -l " + quoted(cab) + " 2>/dev/null");
    std::vector<std::string> lines;
    static const std::regex row(R"(^ *(\d+) \| (\d\d)\.(\d\d)\.(\d{4}) (\d\d:\d\d:\d\d) \| (.*)$)");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        std::smatch m;
        if (!std::regex_match(line, m, row))
            continue;
        char head[64];
        std::snprintf(head, sizeof head, "%10s  %s-%s-%s %s  ", m[1].str().c_str(),
                      m[4].str().c_str(), m[3].str().c_str(), m[2].str().c_str(),
                      m[5].str().c_str());
        lines.push_back(head + asUtf8(m[6].str()));
    }
    return lines;
}

std::vector<std::string> toolListing(const std::string& cab) {
    ToolRun r = runTool({"L", cab}, toolEnvironment("/"));
    EXPECT_EQ(r.status, 0) << cab << ": " << r.err;
    std::replace(r.out.begin(), r.out.end(), '\\', '/');
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(r.out.substr(start, end - start));
    return lines;
}

struct Extracted {
    std::string bytes;
    std::time_t modified;
};

// Regular files below `folder` by relative UTF-8 name.
std::map<std::string, Extracted> filesIn(const std::string& folder) {
    std::map<std::string, Extracted> files;
    for (const auto& rel : treeOf(folder)) {
        std::string path = folder + "/" + rel;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        files[asUtf8(rel)] = {readFile(path), st.st_mtime};
    }
    return files;
}

std::vector<std::string> sharedCabinets(const std::string& shared, bool standAlone) {
    std::vector<std::string> cabs;
    for (const auto& e : fs::directory_iterator(shared + "/cabs")) {
        std::string name = e.path().filename().string();
        bool split = name.rfind("split-", 0) == 0;
        if (name.ends_with(".cab") && (!standAlone || !split))
            cabs.push_back(e.path().string());
    }
    std::sort(cabs.begin(), cabs.end());
    return cabs;
}

class ToolBesideCabextract : public ::testing::Test {
protected:
    void SetUp() override {
        shared_ = sharedDir();
        if (shared_.empty())
            GTEST_SKIP() << "FM_SHARED_DIR with cabs/ is absent: no real cabinets to compare";
        if (!haveCabextract())
            GTEST_SKIP() << "cabextract is not installed (scripts/install-deps installs it)";
    }

    // Extracts `cab` with both and expects the same files, bytes and times.
    // With `extracted`, the tool's files are already there.
    void expectSameFiles(const std::string& cab, std::string ours = {}) {
        const std::string name = fs::path(cab).stem().string();
        const std::string theirs = tmp.file("ce/" + name);
        auto [text, status] = shell("cabextract -q -d " + quoted(theirs) + " " + quoted(cab));
        ASSERT_EQ(status, 0) << cab;
        if (ours.empty()) {
            ours = tmp.file("us/" + name);
            ToolRun r = runTool({"-p", "X", cab, "*.*", ours + "/"}, toolEnvironment(tmp.path()));
            ASSERT_EQ(r.status, 0) << cab << ": " << r.err;
        }

        auto expected = filesIn(theirs);
        auto got = filesIn(ours);
        ASSERT_FALSE(expected.empty()) << cab;
        ASSERT_EQ(got.size(), expected.size()) << cab;
        for (const auto& [rel, file] : expected) {
            auto it = got.find(rel);
            ASSERT_NE(it, got.end()) << cab << ": " << rel;
            EXPECT_TRUE(it->second.bytes == file.bytes) << cab << ": " << rel;
            EXPECT_EQ(it->second.modified, file.modified) << cab << ": " << rel;
        }
    }

    std::string shared_;
    TempDir tmp;
};

} // namespace

TEST_F(ToolBesideCabextract, ListsWhatCabextractLists) {
    for (const auto& cab : sharedCabinets(shared_, true)) {
        auto expected = cabextractListing(cab);
        EXPECT_FALSE(expected.empty()) << cab;
        EXPECT_EQ(toolListing(cab), expected) << cab;
    }
}

TEST_F(ToolBesideCabextract, ExtractsWhatCabextractExtracts) {
    for (const auto& cab : sharedCabinets(shared_, true))
        expectSameFiles(cab);
}

TEST_F(ToolBesideCabextract, EachFileOfASpannedSetFromThePartWhereItStarts) {
    // cabextract lists and extracts the whole set from its first part; the tool, given each
    // part, lists and extracts what starts there. The header names Split-2.CAB and so on.
    std::vector<std::string> listed;
    const std::string ours = tmp.file("us");
    int lines = 0;
    for (int i = 1; i <= 5; ++i) {
        const std::string part = shared_ + "/cabs/split-" + std::to_string(i) + ".cab";
        for (auto& line : toolListing(part))
            listed.push_back(line);
        ToolRun r = runTool({"-p", "X", part, ours + "/"}, toolEnvironment(tmp.path()));
        EXPECT_EQ(r.status, 0) << part << ": " << r.err;
        lines += static_cast<int>(std::count(r.out.begin(), r.out.end(), '\n'));
    }
    EXPECT_EQ(listed, cabextractListing(shared_ + "/cabs/split-1.cab"));
    EXPECT_EQ(lines, 6); // every file once
    expectSameFiles(shared_ + "/cabs/split-1.cab", ours);
}

TEST_F(ToolBesideCabextract, NeverWritesThroughAPlantedLink) {
    CabPlan plan;
    CabFilePlan f;
    f.name = "hello.txt";
    f.data = "payload";
    plan.files = {f};
    writeCabinet(tmp.file("a.cab"), plan);
    for (const char* who : {"ce", "us"}) {
        writeFile(tmp.file(std::string(who) + "-victim"), "keep");
        fs::create_directories(tmp.file(who));
        fs::create_symlink(tmp.file(std::string(who) + "-victim"),
                           tmp.file(std::string(who) + "/hello.txt"));
    }
    shell("cabextract -q -d " + quoted(tmp.file("ce")) + " " + quoted(tmp.file("a.cab")));
    ToolRun r = runTool({"X", tmp.file("a.cab"), tmp.file("us") + "/"}, toolEnvironment("/"));

    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(tmp.file("us-victim")), "keep");
    EXPECT_EQ(readFile(tmp.file("us/hello.txt")), "payload");
    if (readFile(tmp.file("ce-victim")) != "keep")
        std::cout << "note: cabextract wrote through the planted link\n";
}

TEST_F(ToolBesideCabextract, LeavesNoBrokenFileBehind) {
    CabPlan plan;
    plan.folders = {CabCompression::MsZip};
    plan.blockSize = 4096;
    CabFilePlan f;
    f.name = "long.txt";
    for (int i = 0; f.data.size() < 100000; ++i)
        f.data += "row " + std::to_string(i * 7919 % 10007) + "\n";
    plan.files = {f};
    std::string bytes = buildCabinet(plan);
    // Break the signature of the sixth block, its checksum cleared so only that tells.
    size_t at = layoutOf(plan).firstDataBlock;
    for (int b = 0; b < 5; ++b)
        at += 8 + (static_cast<unsigned char>(bytes[at + 4]) |
                   static_cast<unsigned char>(bytes[at + 5]) << 8);
    std::memset(&bytes[at], 0, 4);
    bytes[at + 8] = 'Z';
    writeFile(tmp.file("a.cab"), bytes);

    auto [text, status] = shell("cabextract -q -d " + quoted(tmp.file("ce")) + " " +
                                quoted(tmp.file("a.cab")) + " 2>/dev/null");
    ToolRun r = runTool({"X", tmp.file("a.cab"), tmp.file("us") + "/"}, toolEnvironment("/"));

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("long.txt"), std::string::npos);
    EXPECT_TRUE(treeOf(tmp.file("us")).empty());
    if (fs::exists(tmp.file("ce/long.txt")))
        std::cout << "note: cabextract left long.txt behind with "
                  << fs::file_size(tmp.file("ce/long.txt")) << " of " << f.data.size()
                  << " bytes\n";
}
