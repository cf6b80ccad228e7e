// Extraction launched through a link: exactly the chosen records, the program's drive map, a
// destination that must be meant, existing files kept when asked, problems in plain words.

#include "tool_runner.h"

#include <iterator>
#include <random>

namespace {

class LinkedTool : public ToolTest {
protected:
    // Writes the link as tmp/link.txt and returns its path.
    std::string link(const std::vector<fm::LinkedRecord>& records,
                     const Strings& mounts = {}) const {
        writeFile(tmp.file("link.txt"), fm::WriteToolLink({mounts, records}));
        return tmp.file("link.txt");
    }
    // X through a link choosing `records` of `cab` into `dest` (POSIX, ends in '/').
    ToolRun extract(const std::string& cab, const std::vector<fm::LinkedRecord>& records,
                    const std::string& dest, Strings options = {}) const {
        options.insert(options.end(), {"-@", link(records), "X", cab, dest});
        return run(options);
    }
};

// The words of a tree listing in treeOf's order.
std::string sortedTree(const std::string& words) {
    std::istringstream in(words);
    std::set<std::string> sorted{std::istream_iterator<std::string>(in), {}};
    std::string text;
    for (const auto& w : sorted)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

} // namespace

TEST_F(LinkedTool, ARecordThatIsNotAsListedFailsAlone) {
    const std::string cab = cabinet(namedPlan({"a.txt", "b.txt", "c.txt"}));
    fs::create_directories(out());
    // A record named twice alike is one choice; named twice differently, the second fails.
    ToolRun r = extract(
        cab, {{0, "a.txt"}, {1, "B.TXT"}, {3, "d.txt"}, {2, "c.txt"}, {0, "a.txt"}, {2, "x.txt"}},
        out() + "/");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "d.txt: the cabinet has changed since it was listed\n"
                     "x.txt: the cabinet has changed since it was listed\n"
                     "B.TXT: the cabinet has changed since it was listed\n");
    EXPECT_EQ(treeOf(out()), "a.txt c.txt");
}

TEST_F(LinkedTool, TheLinksDriveMapBeatsTheSystems) {
    cabinet(namedPlan({"a.txt"}), "right/Setup.cab");
    cabinet(namedPlan({"b.txt"}), "wrong/Setup.cab");
    fs::create_directories(tmp.file("right/out"));
    fs::create_directories(tmp.file("wrong/out"));
    env.drives = fm::DriveMap({tmp.file("wrong")}); // what the mount table says now
    ToolRun r =
        run({"-@", link({}, {tmp.file("right")}), "X", "D:\\Setup.cab", "*.*", "d:\\out\\"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(treeOf(tmp.file("right/out")), "a.txt");
    EXPECT_EQ(treeOf(tmp.file("wrong/out")), "");
    // Without a link the tool maps drives itself.
    EXPECT_EQ(run({"X", "D:\\Setup.cab", "d:\\out\\"}).status, 0);
    EXPECT_EQ(treeOf(tmp.file("wrong/out")), "b.txt");
}

TEST_F(LinkedTool, TheDestinationMustBeTheOneMeant) {
    const std::string cab = cabinet(namedPlan({"Cabarc2.exe"}));
    fs::create_directories(tmp.file("tool"));
    env.toolFolder = tmp.file("tool");
    env.workingFolder = tmp.file("tool");
    writeFile(tmp.file("plain"), "");
    std::string driveTool = "C:" + tmp.file("tool") + "\\";
    const std::pair<Strings, const char*> cases[] = {
        {{"X", cab}, "no destination folder was given"},
        {{"X", cab, "*.*"}, "no destination folder was given"},
        {{"X", cab, "\\"}, "the destination folder is not a full path"},
        {{"X", cab, "out\\"}, "the destination folder is not a full path"},
        {{"X", cab, "C:out\\"}, "the destination folder is not a full path"},
        {{"X", cab, "Q:\\out\\"}, "the destination's drive is not known"},
        {{"X", cab, tmp.file("missing") + "/"}, "the destination folder does not exist"},
        {{"X", cab, tmp.file("plain") + "/"}, "the destination is not a folder"},
        {{"X", cab, driveTool}, "cannot extract into the folder of the extraction tool"},
        {{"X", cab, tmp.file("tool/.") + "/"},
         "cannot extract into the folder of the extraction tool"}};
    for (const auto& [args, error] : cases) {
        Strings linked = {"-@", link({})};
        linked.insert(linked.end(), args.begin(), args.end());
        ToolRun r = run(linked);
        EXPECT_EQ(r.status, 2) << error;
        EXPECT_EQ(r.err, std::string(error) + "\n");
    }
    // By hand too the tool never writes into its own folder, and refuses it in its own words.
    ToolRun r = run({"X", cab});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "cabarc: " + tmp.file("tool") + ": the destination is the tool's own folder\n");
    EXPECT_EQ(treeOf(tmp.path()), "a.cab link.txt plain tool/");
}

TEST_F(LinkedTool, WhatCannotBeUsedIsRefusedInPlainWords) {
    const std::string cab = cabinet(namedPlan({"a.txt"}));
    fs::create_directories(out());
    writeFile(tmp.file("bad-link"), "fendlemark-link 1\nfile x a.txt\n");
    writeFile(tmp.file("not.cab"), "this is text");
    ASSERT_EQ(::mkfifo(tmp.file("fifo").c_str(), 0644), 0); // nobody writes: must not block
    const std::string dest = out() + "/";
    const std::pair<Strings, const char*> cases[] = {
        {{"-@", tmp.file("bad-link"), "X", cab, dest},
         "cannot read the list of files to extract (link line 2: a bad record number)\n"},
        {{"-@", tmp.file("absent"), "X", cab, dest},
         "cannot read the list of files to extract (not found)\n"},
        {{"-@", tmp.path(), "X", cab, dest},
         "cannot read the list of files to extract (not a file or a pipe)\n"},
        {{"-@", tmp.file("fifo"), "X", cab, dest},
         "cannot read the list of files to extract (the link is empty)\n"},
        {{"-@", link({}), "X", tmp.file("gone.cab"), dest}, "no longer exists\n"},
        {{"-@", link({}), "X", tmp.file("not.cab"), dest}, "not a cabinet\n"},
        {{"-@", link({}), "X", tmp.path(), dest}, "not a cabinet\n"}};
    for (const auto& [args, error] : cases) {
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << error;
        EXPECT_EQ(r.err, error);
    }
    // Chosen records and patterns together make no sense: a usage error.
    ToolRun both = run({"-@", link({{0, "a.txt"}}), "X", cab, "*.*", dest});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("usage:"), std::string::npos);
    EXPECT_EQ(treeOf(out()), "");
}

TEST_F(LinkedTool, ExistingFilesAreKeptOrReplacedAsAsked) {
    const std::string cab = cabinet(namedPlan({"a.txt", "b.txt"}));
    for (bool keep : {true, false}) {
        fs::remove_all(out());
        writeFile(out("a.txt"), "mine");
        ToolRun r = extract(cab, {{0, "a.txt"}, {1, "b.txt"}}, out() + "/",
                            keep ? Strings{"-n"} : Strings{});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, keep ? "b.txt\n" : "a.txt\nb.txt\n"); // the files written
        EXPECT_EQ(readFile(out("a.txt")), keep ? "mine" : "data of a.txt");
        EXPECT_EQ(treeOf(out()), "a.txt b.txt");
    }
    // A folder in a file's way is no file to keep.
    fs::remove(out("b.txt"));
    fs::create_directories(out("b.txt"));
    EXPECT_EQ(extract(cab, {{1, "b.txt"}}, out() + "/", {"-n"}).err,
              "b.txt: another file, folder or link is in the way\n");
}

TEST_F(LinkedTool, DamageAndFullDisksInTheUsersWords) {
    CabPlan plan = namedPlan({"docs\\a.txt", "b.txt"});
    plan.folders = {CabCompression::MsZip, CabCompression::MsZip};
    plan.files[1].folder = 1;
    plan.files[0].data = sampleData(5000, 1);
    plan.blockSize = 1000;
    std::string bytes = buildCabinet(plan);
    bytes[blockOffset(bytes, plan, 2) + 20] ^= 1;
    writeFile(tmp.file("d.cab"), bytes);
    fs::create_directories(out());
    ToolRun r = extract(tmp.file("d.cab"), {{0, "docs\\a.txt"}, {1, "b.txt"}}, out() + "/");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "docs\\a.txt: damaged (bad checksum in a data block)\n");
    EXPECT_EQ(treeOf(out()), "b.txt");

    env.write = [](int, const void*, size_t) -> ssize_t {
        errno = ENOSPC;
        return -1;
    };
    r = extract(cabinet(namedPlan({"c.txt"})), {{0, "c.txt"}}, out() + "/");
    EXPECT_EQ(r.err, "c.txt: no space left on the device\n");
    EXPECT_EQ(treeOf(out()), "b.txt");
}

// All files come with every listed record and "these are all": a cabinet that holds more or
// fewer records now is refused whole, nothing written.
TEST_F(LinkedTool, AllFilesAreTheListedOnesOrNone) {
    const std::string cab = cabinet(namedPlan({"a.txt", "b.txt", "c.txt"}));
    const std::vector<fm::LinkedRecord> abc = {{2, "c.txt"}, {0, "a.txt"}, {1, "b.txt"}};
    for (size_t listed : {2, 4, 3}) {
        std::vector<fm::LinkedRecord> records(abc.begin(),
                                              abc.begin() + std::min<size_t>(listed, 3));
        if (listed == 4)
            records.push_back({3, "d.txt"});
        writeFile(tmp.file("all.txt"), fm::WriteToolLink({{}, records, true}));
        fs::remove_all(out());
        fs::create_directories(out());
        ToolRun r = run({"-@", tmp.file("all.txt"), "X", cab, "*.*", out() + "/"});
        EXPECT_EQ(r.status, listed == 3 ? 0 : 1) << listed;
        EXPECT_EQ(r.err, listed == 3 ? "" : "the cabinet has changed since it was listed\n");
        EXPECT_EQ(treeOf(out()), listed == 3 ? "a.txt b.txt c.txt" : "");
    }
}

// The program lists a cabinet with IterateCabinet and hands the tool the indexes of that list: both
// must count the same records, in parts of a spanned set and in cabinets of several folders.
TEST_F(LinkedTool, IndexesAreTheProgramsListing) {
    const std::string shared = sharedDir();
    if (shared.empty())
        GTEST_SKIP() << "FM_SHARED_DIR with cabs/ is absent: no real cabinets to read";
    for (const auto& entry : fs::directory_iterator(shared + "/cabs")) {
        if (entry.path().extension() != ".cab")
            continue;
        const std::string cab = entry.path().string();
        std::vector<fm::LinkedRecord> all;
        fm::IterateCabinet(cab, [&](const fm::CabinetFileRecord& r) {
            all.push_back({static_cast<std::uint32_t>(all.size()),
                           fm::StoredNameToUtf8(r.name, r.nameIsUtf8)});
        });
        // Every record on its own, checked by name: none may come out as another.
        for (const auto& one : all) {
            fs::remove_all(out());
            fs::create_directories(out());
            ToolRun r = extract(cab, {one}, out() + "/", {"-p"});
            EXPECT_EQ(r.err.find("changed"), std::string::npos) << cab << ": " << r.err;
            if (r.err.empty()) {
                EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << cab << ": " << r.out;
            }
        }
    }
}

// Random cabinets of hostile names and random selections: every chosen record gives exactly its
// own file, or is reported (a collision names the record that got the file first). Some records
// are marked continued from a previous part the header lacks, and some headers point at a second
// file table: the program's numbering must hold all the same.
TEST_F(LinkedTool, HostileNamesGiveExactlyTheChosenRecordsOrACollision) {
    const Strings pieces = {"a", "A",   "b",    "*",    "?",    "a*", ".",        "..",
                            "",  "x/y", "\xFF", "\xC3", "\x01", "_",  "\xC3\xBC", "B"};
    std::mt19937 random(20240611);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    for (int round = 0; round < 150; ++round) {
        CabPlan plan;
        plan.folders = {pick(2) ? CabCompression::MsZip : CabCompression::Stored};
        const size_t count = 1 + pick(10);
        for (size_t i = 0; i < count; ++i) {
            std::string name = pick(4) ? "" : "\\";
            for (size_t parts = 1 + pick(3); parts > 0; --parts)
                name += pieces[pick(pieces.size())] + (parts > 1 ? (pick(3) ? "\\" : "/") : "");
            if (name.empty())
                name = "\\";
            if (pick(5) == 0)
                name += "\\";
            plan.files.push_back(cabFile(name, "record " + std::to_string(i)));
            if (pick(3) == 0)
                plan.files.back().attribs |= kAttrNameIsUtf8;
            if (pick(5) == 0) // continued from a previous part the header does not name
                plan.files.back().storedFolder = 0xFFFD;
        }
        if (pick(3) == 0) { // the header points at another table, marks swapped
            plan.headerTable = plan.files;
            for (CabFilePlan& f : *plan.headerTable)
                f.storedFolder = f.storedFolder ? 0 : 0xFFFD;
        }
        std::vector<fm::LinkedRecord> chosen;
        for (size_t i = 0; i < count; ++i) {
            if (pick(3))
                chosen.push_back({static_cast<std::uint32_t>(i),
                                  fm::StoredNameToUtf8(plan.files[i].name,
                                                       plan.files[i].attribs & kAttrNameIsUtf8)});
        }
        if (chosen.empty())
            continue;
        const bool keep = pick(2);

        // What must come of it, record by record in stored order: its file, or one error line.
        std::map<std::string, std::string> files; // output path -> data
        std::map<std::string, std::string> firstOf;
        std::set<std::string> folders;
        Strings errors;
        std::vector<std::pair<std::string, size_t>> ordered;
        for (const auto& c : chosen)
            ordered.emplace_back(c.name, c.index);
        std::sort(ordered.begin(), ordered.end(),
                  [](const auto& x, const auto& y) { return x.second < y.second; });
        for (const auto& [name, index] : ordered) {
            const std::string path = fm::OutputPath(name, keep);
            const std::string shown = fm::tool::Printable(name) + ": ";
            if (path.empty()) {
                errors.push_back(shown);
                continue;
            }
            if (auto first = firstOf.find(path); first != firstOf.end()) {
                errors.push_back(shown + "same output file as " +
                                 fm::tool::Printable(first->second));
                continue;
            }
            firstOf.emplace(path, name);
            bool blocked = folders.count(path) > 0;
            Strings needed;
            for (size_t cut = path.find('/'); cut != std::string::npos;
                 cut = path.find('/', cut + 1))
                needed.push_back(path.substr(0, cut));
            for (const auto& folder : needed)
                blocked = blocked || files.count(folder);
            if (blocked) {
                errors.push_back(shown);
                continue;
            }
            folders.insert(needed.begin(), needed.end());
            files.emplace(path, plan.files[index].data);
        }

        SCOPED_TRACE("round " + std::to_string(round));
        fs::remove_all(out());
        fs::create_directories(out());
        ToolRun r = extract(cabinet(plan), chosen, out() + "/", keep ? Strings{"-p"} : Strings{});
        // libmspack refuses the folder of a record marked continued: never another's data.
        const bool refused = std::any_of(plan.files.begin(), plan.files.end(),
                                         [](const CabFilePlan& f) { return f.storedFolder; });
        for (const auto& [path, data] : files) {
            if (!refused || fs::is_regular_file(out(path))) {
                EXPECT_EQ(readFile(out(path)), data) << path;
            }
        }
        if (refused)
            continue;
        EXPECT_EQ(r.status, errors.empty() ? 0 : 1) << r.err;
        std::istringstream lines(r.err);
        for (const std::string& expected : errors) {
            std::string line;
            std::getline(lines, line);
            EXPECT_EQ(line.substr(0, expected.size()), expected) << r.err;
        }
        EXPECT_EQ(lines.peek(), EOF) << r.err;
        std::string tree;
        for (const auto& f : folders)
            tree += f + "/ ";
        for (const auto& [path, data] : files)
            tree += path + " ";
        EXPECT_EQ(treeOf(out()), sortedTree(tree));
    }
}
