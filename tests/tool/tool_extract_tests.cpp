// Listing and extraction: what is listed, what lands where, what never lands outside, what
// damage leaves behind, and what refuses to start.

#include "tool_runner.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>

TEST_F(ToolTest, ListsEveryFileAsStored) {
    CabPlan plan;
    plan.folders = {CabCompression::Stored, CabCompression::MsZip};
    plan.files = {
        cabFile("zeta.txt", std::string(1234, 'z')),
        {.name = R"(docs\Alpha.TXT)", .date = dosDate(1999, 12, 31), .time = dosTime(23, 59, 58)},
        {.name = "m", .date = dosDate(2107, 1, 2), .time = dosTime(0, 0, 1)}, // 2 s steps
        {.name = "bad", .date = (5 << 9) | (13 << 5), .time = (25 << 11) | (61 << 5) | 31},
        cabFile("caf\xE9 \x80.txt", ""), // Windows-1252
        cabFile("f\xC3\xBC\xC3\x9F\xC0\xAF.txt", ""),
        cabFile("evil\nforged\x1b[2J\t\x7f", "")};
    plan.files[1].folder = 1;
    plan.files[3].declaredSize = 0xFFFFFFFFu;
    plan.files[5].attribs |= kAttrNameIsUtf8;
    ToolRun r = run({"L", cabinet(plan)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "      1234  2002-03-15 12:34:56  zeta.txt\n"
                     "         0  1999-12-31 23:59:58  docs\\Alpha.TXT\n"
                     "         0  2107-01-02 00:00:00  m\n"
                     "4294967295  1985-13-00 25:61:62  bad\n"
                     "         0  2002-03-15 12:34:56  café €.txt\n"
                     "         0  2002-03-15 12:34:56  füß\xEF\xBF\xBD\xEF\xBF\xBD.txt\n"
                     "         0  2002-03-15 12:34:56  evil\\nforged\\x1b[2J\\t\\x7f\n");
    const std::string some = run({"l", tmp.file("a.cab"), "*.txt"}).out;
    EXPECT_EQ(std::count(some.begin(), some.end(), '\n'), 4);
}

TEST_F(ToolTest, WhatCannotBeReadDoesNotStart) {
    CabPlan plan;
    plan.files = {cabFile("a.txt", "abc")};
    std::string bytes = buildCabinet(plan);
    writeFile(tmp.file("cut.cab"), bytes.substr(0, layoutOf(plan).firstFileEntry + 10));
    writeFile(tmp.file("text.cab"), "MSCF but nothing after it");
    ASSERT_EQ(::mkfifo(tmp.file("fifo.cab").c_str(), 0644), 0); // must not block
    const std::pair<const char*, const char*> cases[] = {
        {"cut.cab", "cut.cab: "},
        {"text.cab", "text.cab: "},
        {"absent.cab", "absent.cab: No such file"},
        {"fifo.cab", "fifo.cab: not a regular file"},
        {"Q:\\a.cab", "no such drive"}};
    for (const auto& [name, error] : cases) {
        for (const char* command : {"L", "X"}) {
            ToolRun r = run({command, name, out() + "/"});
            EXPECT_EQ(r.status, 2) << name;
            EXPECT_EQ(r.out, "") << name;
            EXPECT_NE(r.err.find(error), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(treeOf(tmp.path()), "cut.cab fifo.cab text.cab");
}

TEST_F(ToolTest, PatternsPickFilesFlatOrWithFolders) {
    CabPlan plan; // the contents are the names
    for (const char* name : {"readme.txt", "docs\\readme.txt", "docs\\sub\\README.TXT", "a.txt",
                             "docs\\b.txt", "docs\\b.txt.bak", "noext", "other\\B.TXT"})
        plan.files.push_back(cabFile(name, name));
    const std::string cab = cabinet(plan);
    const std::string all = "a.txt docs/ docs/b.txt docs/b.txt.bak docs/readme.txt docs/sub/ "
                            "docs/sub/README.TXT noext other/ other/B.TXT readme.txt";
    const std::tuple<Strings, bool, std::string> cases[] = {
        {{}, true, all},
        {{"*.*"}, true, all},
        {{"B.txt"}, true, "docs/ docs/b.txt other/ other/B.TXT"},
        {{"?.txt", "noext"}, false, "B.TXT a.txt b.txt noext"},
        {{"*\\README.TXT"}, true, "docs/ docs/readme.txt docs/sub/ docs/sub/README.TXT"},
        // A whole name picks that file only among its namesakes, as the program passes it.
        {{"\\readme.txt"}, true, "readme.txt"},
        {{"\\readme.txt"}, false, "readme.txt"},
        {{"docs\\Sub\\readme.txt"}, true, "docs/ docs/sub/ docs/sub/README.TXT"}};
    int n = 0;
    for (const auto& [patterns, keep, tree] : cases) {
        const std::string dest = out(std::to_string(++n));
        Strings args = {keep ? "-p" : "-o", "X", cab};
        args.insert(args.end(), patterns.begin(), patterns.end());
        args.push_back(dest + "/");
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(treeOf(dest), tree) << n;
    }
    EXPECT_EQ(readFile(out("7/readme.txt")), "readme.txt");
    EXPECT_EQ(run({"-q", "X", cab, out("q") + "/"}).out, "");
    EXPECT_EQ(run({"-p", "X", cab, "*b.txt", "*.bak", out("l") + "/"}).out,
              "docs\\b.txt\ndocs\\b.txt.bak\nother\\B.TXT\n");
    // A file two patterns match comes out once, and neither pattern counts as finding nothing.
    ToolRun both = run({"X", cab, "a.txt", "A.*", "\\a.txt", out("b") + "/"});
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(both.out, "a.txt\n");
    EXPECT_EQ(treeOf(out("b")), "a.txt");
    // A pattern that finds nothing fails, named on its own line; the others still come out.
    ToolRun missing = run({"X", cab, "a.txt", "missing.dat", "\\b.txt", out("m") + "/"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "cabarc: no file matches missing.dat\ncabarc: no file matches \\b.txt\n");
    EXPECT_EQ(treeOf(out("m")), "a.txt");
}

TEST_F(ToolTest, DestinationsAndTimes) {
    CabPlan plan;
    plan.files = {
        {.name = "a.txt", .data = "new", .date = dosDate(2001, 2, 3), .time = dosTime(4, 5, 6)}};
    cabinet(plan);
    fs::create_directories(tmp.file("work/sub"));
    writeFile(tmp.file("a.txt"), "old content, longer than the new");
    ::chmod(tmp.file("a.txt").c_str(), 0444); // replaced all the same
    // A drive mapped onto the temporary folder: d: is tmp, the working folder lies on it.
    env.workingFolder = tmp.file("work/sub");
    env.drives = fm::DriveMap({tmp.path()});
    const std::pair<Strings, const char*> cases[] = {
        {{"X", "D:\\a.cab"}, "work/sub/a.txt"},
        {{"X", "D:\\a.cab", "\\"}, "a.txt"},
        {{"X", "D:\\a.cab", "*.*", "D:\\new\\deep\\"}, "new/deep/a.txt"},
        {{"X", "..\\..\\a.cab", "rel\\"}, "work/sub/rel/a.txt"}};
    std::tm tm{6, 5, 4, 3, 1, 101, 0, 0, -1, 0, nullptr};
    for (const auto& [args, landed] : cases) {
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(readFile(tmp.file(landed)), "new");
        struct stat st {};
        ::stat(tmp.file(landed).c_str(), &st);
        EXPECT_EQ(st.st_mtime, std::mktime(&tm)); // local time, as the cabinet means it
    }
}

TEST_F(ToolTest, HostileNamesAndLinksNeverLeadOutside) {
    CabPlan plan;
    for (const char* name : {"..\\..\\evil1", "C:\\evil3", "..", "link\\evil6", "file"})
        plan.files.push_back(cabFile(name, "x"));
    const std::string cab = cabinet(plan, "box/a.cab"), dest = tmp.file("box/out");
    writeFile(tmp.file("outside/victim"), "keep");
    fs::create_directories(dest);
    fs::create_directory_symlink(tmp.file("outside"), dest + "/link");
    fs::create_symlink(tmp.file("outside/victim"), dest + "/file");

    ToolRun r = run({"-p", "X", cab, dest + "/"});
    EXPECT_EQ(r.status, 1); // ".." leaves no name; link\evil6 has no folder to go to
    EXPECT_NE(r.err.find("cabarc: ..: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("cabarc: link\\evil6: "), std::string::npos) << r.err;
    EXPECT_EQ(treeOf(tmp.path()), "box/ box/a.cab box/out/ box/out/evil1 box/out/evil3 "
                                  "box/out/file box/out/link outside/ outside/victim");
    EXPECT_EQ(readFile(tmp.file("outside/victim")), "keep");
    EXPECT_FALSE(fs::is_symlink(dest + "/file")); // the link is replaced, not written through

    // Handed the checked folder open (-d), the tool writes there, whatever its path names now.
    fs::remove(dest + "/evil1");
    fs::create_directory_symlink(tmp.file("outside"), tmp.file("box/swapped"));
    const int fd = ::open(dest.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    r = run({"-d", std::to_string(fd), "X", cab, "evil1", tmp.file("box/swapped") + "/"});
    ::close(fd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(treeOf(tmp.file("outside")), "victim");
    EXPECT_EQ(readFile(dest + "/evil1"), "x");
}

// Each MSZIP decoder of the tool, through the same extraction.
const std::pair<const char*, std::function<void(fm::tool::ToolEnvironment&)>> kDecoders[] = {
    {"Isal", [](fm::tool::ToolEnvironment& e) { e.msZip = fm::tool::MsZipRoute::Isal; }},
    // Every other block through the fallback: history must pass between the two both ways.
    {"IsalAndZlibFallback",
     [](fm::tool::ToolEnvironment& e) { e.msZip = fm::tool::MsZipRoute::IsalDrill; }},
    {"Zlib", [](fm::tool::ToolEnvironment& e) { e.msZip = fm::tool::MsZipRoute::Zlib; }},
    // ISA-L not installed: zlib takes every block.
    {"IsalMissing",
     [](fm::tool::ToolEnvironment& e) { e.isalLibraries = {"libisal-absent.so.9"}; }},
    {"Libmspack", [](fm::tool::ToolEnvironment& e) { e.msZip = fm::tool::MsZipRoute::Libmspack; }}};

class EachDecoder : public ToolTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override { kDecoders[GetParam()].second(env); }
    bool libmspack() const { return std::string(kDecoders[GetParam()].first) == "Libmspack"; }
};

constexpr CabCompression kStored = CabCompression::Stored, kMsZip = CabCompression::MsZip;

// The writer deflates MSZIP blocks with the earlier ones as history, as real cabinets are made:
// the decoders, and the fallback alternating them, must pass it on (libmspack vouches for it).
TEST_P(EachDecoder, LargeFilesAcrossBlocksComeOutExact) {
    CabPlan twice;
    twice.folders = {kMsZip};
    const std::string block = sampleData(32768, 5, true);
    twice.files = {cabFile("twice.bin", block + block.substr(16384))};
    EXPECT_LT(buildCabinet(twice).size(), block.size() + 1000);

    CabPlan plan;
    plan.folders = {kMsZip, kStored, kMsZip};
    const size_t sizes[] = {100000, 77777, 5, 300001, 0, 40000};
    for (int i = 0; i < 6; ++i) // folders 0 0 1 2 2 2
        plan.files.push_back(
            cabFile(std::string(1, 'a' + i), sampleData(sizes[i], i, i == 3), (i > 1) + (i > 2)));
    std::string cab = cabinet(plan);
    unsigned zlibBlocks = 0;
    env.zlibBlocks = &zlibBlocks;
    ASSERT_EQ(run({"X", cab, out("all") + "/"}).status, 0);
    // zlib only where ISA-L refuses (here never), or where told to stand in (17 blocks).
    const std::string decoder = kDecoders[GetParam()].first;
    EXPECT_EQ(zlibBlocks, decoder == "Isal"                               ? 0u
                          : decoder == "IsalAndZlibFallback"              ? 8u
                          : decoder == "Zlib" || decoder == "IsalMissing" ? 17u
                                                                          : 0u);
    for (const auto& f : plan.files)
        EXPECT_TRUE(readFile(out("all/" + f.name)) == f.data) << f.name;
    // Picking files further into a folder skips the data before them. The progress counts the
    // bytes of the picked files, a line per hundredth at most, up to all of them.
    const int progress = ::open(tmp.file("progress").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(run({"-r", std::to_string(progress), "X", cab, "f", "b", out("some") + "/"}).status,
              0);
    ::close(progress);
    EXPECT_TRUE(readFile(out("some/b")) == plan.files[1].data);
    EXPECT_TRUE(readFile(out("some/f")) == plan.files[5].data);
    std::istringstream lines(readFile(tmp.file("progress")));
    unsigned long long done = 0, total = 0, last = 0, count = 0;
    for (char slash; lines >> done >> slash >> total; ++count) {
        EXPECT_TRUE(slash == '/' && done >= last && total == 117777) << done << slash << total;
        last = done;
    }
    EXPECT_EQ(last, 117777u);
    EXPECT_TRUE(count >= 3 && count <= 102) << count;
}

// A damaged cabinet fails the files its damage reaches, leaves nothing of them behind, and never
// shifts data into the files after it. Folder 0 holds f0 (block 0) to f4 in blocks of 1000 bytes,
// f1 in blocks 1 and 2; folder 1 holds f5.
TEST_P(EachDecoder, DamageFailsTheFilesItReaches) {
    using Damage = std::function<void(std::string&, const CabPlan&)>;
    auto flip = [](int block, size_t at) -> Damage {
        return [=](std::string& cab, const CabPlan& plan) {
            cab[blockOffset(cab, plan, block) + 8 + at] ^= 1;
        };
    };
    // Block 2 without its checksum, so that only the change tells: of its signature, or of its
    // size to one byte more than it inflates to.
    auto header = [](size_t at, char by) -> Damage {
        return [=](std::string& cab, const CabPlan& plan) {
            const size_t block = blockOffset(cab, plan, 2);
            std::memset(&cab[block], 0, 4);
            cab[block + at] = static_cast<char>(cab[block + at] + by);
        };
    };
    Damage cut = [](std::string& cab, const CabPlan& plan) {
        cab.resize(blockOffset(cab, plan, 5) + 30);
    };
    Damage claim = [](std::string& cab, const CabPlan& plan) { // f5 claims 100,000 bytes
        cab[layoutOf(plan).firstFileEntry + 5 * 19 + 2] = 1;
    };
    const struct Case {
        const char* what;
        CabCompression compression;
        bool noise; // deflate stores it: a changed byte still inflates to the right length
        Damage damage;
        const char* lost;
        Strings intact;   // whole with every decoder
        Strings fastOnly; // whole too where the decoder does not read ahead
        // libmspack looks for the next "CK" rather than failing on a missing one, and takes a
        // block that inflates to less than its size says: only our decoders are held to those.
        bool libmspackToo = true;
    } cases[] = {{"compressed byte", kMsZip, false, flip(2, 20), "f1", {"f5"}, {"f0"}},
                 {"deflate-stored byte", kMsZip, true, flip(2, 500), "f1", {"f5"}, {"f0"}},
                 {"stored byte", kStored, true, flip(2, 500), "f1", {"f0", "f5"}, {}},
                 {"signature", kMsZip, false, header(8, 'Z' - 'C'), "f1", {"f5"}, {"f0"}, false},
                 {"size", kMsZip, false, header(6, 1), "f1", {"f5"}, {"f0"}, false},
                 {"cut", kMsZip, false, cut, "f3", {}, {"f0", "f1", "f2"}},
                 {"cut", kStored, false, cut, "f3", {"f0", "f1", "f2"}, {}},
                 {"claim", kMsZip, false, claim, "f5", {"f0", "f1", "f2", "f3", "f4"}, {}},
                 {"claim", kStored, false, claim, "f5", {"f0", "f1", "f2", "f3", "f4"}, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (libmspack() && !c.libmspackToo)
            continue;
        CabPlan plan;
        plan.folders = {c.compression, c.compression};
        plan.blockSize = 1000;
        for (int i = 0; i < 6; ++i)
            plan.files.push_back(cabFile(std::string("f") + char('0' + i),
                                         sampleData(i ? 1500 : 1000, i, c.noise), i / 5));
        std::string bytes = buildCabinet(plan);
        c.damage(bytes, plan);
        writeFile(tmp.file("d.cab"), bytes);
        fs::remove_all(out());
        ToolRun r = run({"X", tmp.file("d.cab"), out() + "/"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(std::string(c.lost) + ": "), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out(c.lost)));
        for (const auto& f : plan.files) {
            const bool whole =
                std::count(c.intact.begin(), c.intact.end(), f.name) ||
                (!libmspack() && std::count(c.fastOnly.begin(), c.fastOnly.end(), f.name));
            EXPECT_TRUE(fs::exists(out(f.name)) || !whole) << f.name << " is missing: " << r.err;
            if (fs::exists(out(f.name))) {
                EXPECT_TRUE(readFile(out(f.name)) == f.data) << f.name << " is not as stored";
            }
        }
        EXPECT_EQ(treeOf(out()).find(".~"), std::string::npos); // no temporary file left
    }
}

INSTANTIATE_TEST_SUITE_P(Decoders, EachDecoder, ::testing::Range(0, int(std::size(kDecoders))),
                         [](const auto& info) { return kDecoders[info.param].first; });

// Block counts wrapped past 16 bits (65,536 blocks stored as 0, 65,537 as 1), the largest
// reserves, and a file claiming data that lies in the next folder: the program's reader lists
// them as stored; the tool extracts and tests every file whole, but never that claim.
// Records one after another cost one pass over their folder, however many there are. Records
// that each go back to the folder's start are decoded while the work stays within two passes
// over it and 64 MiB, and refused after that.
TEST_F(ToolTest, RecordsGoingBackOverTheirDataAreDecodedWithinABudget) {
    CabPlan plan;
    std::string all;
    for (unsigned i = 0; i < 48; ++i) {
        plan.files.push_back(cabFile("f" + std::to_string(i), sampleData(96 << 10, i)));
        all += plan.files.back().data;
    }
    const std::string along = cabinet(plan, "along.cab");
    for (CabFilePlan& f : plan.files) {
        f.data.clear();
        f.declaredOffset = 0;
        f.declaredSize = static_cast<std::uint32_t>(all.size());
    }
    plan.files[0].data = all;
    const std::string back = cabinet(plan, "back.cab");
    for (const std::string& cab : {along, back}) {
        const std::string dest = out(cab == along ? "along" : "back");
        fs::create_directories(dest);
        const ToolRun r = run({"X", cab, dest + "/"});
        size_t refused = 0;
        for (size_t at = 0; (at = r.err.find("its data overlaps other files'", at)) != r.err.npos;
             ++at)
            ++refused;
        EXPECT_EQ(refused, cab == along ? 0u : 32u) << r.err; // 16 passes fit in the budget
        EXPECT_EQ(readFile(dest + "/f15"),
                  cab == along ? all.substr(15 * (96 << 10), 96 << 10) : all);
    }
}

TEST_F(ToolTest, WrappedBlockCountsAndLargestReservesComeOutWhole) {
    const auto kStored = CabCompression::Stored, kMsZip = CabCompression::MsZip;
    const struct Case {
        const char* what;
        std::vector<CabCompression> folders;
        std::size_t blockSize, bytes; // each folder holds two files sharing `bytes`
        bool reserves, cabextractToo;
        std::optional<std::uint32_t> claim = std::nullopt; // second file's size in the record
    } cases[] = {
        {"stored, 65,536 blocks", {kStored}, 1, 65536, false, false},
        {"MSZIP, 65,537 blocks", {kMsZip}, 1, 65537, false, false},
        {"reserves", {kStored, kMsZip}, 5000, 40000, true, true},
        {"claim into the next folder", {kStored, kStored}, 20000, 40000, false, false, 60000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CabPlan plan;
        plan.folders = c.folders;
        plan.blockSize = c.blockSize;
        plan.largestReserves = c.reserves;
        for (int i = 0; i < 2 * int(c.folders.size()); ++i)
            plan.files.push_back(cabFile("d\\f" + std::to_string(i),
                                         sampleData(c.bytes / 2 + i % 2 * (c.bytes % 2), i),
                                         i / 2));
        plan.files[1].declaredSize = c.claim;
        const std::string cab = cabinet(plan);
        const fm::CabinetTable listed = fm::ReadCabinetDirectory(cab);
        EXPECT_EQ(listed.listing.problem, "");
        ASSERT_EQ(listed.records.size(), plan.files.size());
        for (std::size_t i = 0; i < plan.files.size(); ++i) {
            EXPECT_EQ(listed.records[i].name, plan.files[i].name);
            EXPECT_EQ(listed.records[i].size, plan.files[i].declaredSize.value_or(
                                                  std::uint32_t(plan.files[i].data.size())));
            EXPECT_EQ(listed.records[i].offset, i % 2 ? plan.files[i - 1].data.size() : 0);
        }
        const bool theirs = c.cabextractToo && runProgram("cabextract", {"-v"}, "/").status == 0;
        fs::remove_all(out());
        EXPECT_EQ(run({"-p", "X", cab, out() + "/"}).status, c.claim ? 1 : 0);
        EXPECT_EQ(run({"T", cab}).status, c.claim ? 1 : 0);
        EXPECT_TRUE(!theirs ||
                    runProgram("cabextract", {"-q", "-d", tmp.file("theirs"), cab}, "/").status ==
                        0);
        for (std::size_t i = 0; i < plan.files.size(); ++i) {
            const std::string path = "d/f" + std::to_string(i);
            const auto whole = [&](const std::string& at) {
                return fs::exists(at) && readFile(at) == plan.files[i].data;
            };
            EXPECT_EQ(whole(out(path)), !c.claim || i != 1) << path;
            EXPECT_TRUE(!theirs || whole(tmp.file("theirs/" + path))) << path;
        }
    }
}
