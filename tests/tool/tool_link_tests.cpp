// Extraction launched through a link: exactly the chosen records, a destination that must be
// meant, problems in plain words (existing files and drive maps: EndToEnd).

#include "tool_runner.h"

using LinkedTool = ToolTest;

// A record not as listed fails alone; with "these are all", a cabinet holding more or fewer
// records than listed is refused whole; a full disk fails the file it meets.
TEST_F(LinkedTool, ARecordThatIsNotAsListedFailsAlone) {
    const std::string cab = cabinet(namedPlan({"a.txt", "b.txt", "c.txt"}));
    fs::create_directories(out());
    // A record named twice alike is one choice; named twice differently, the second fails.
    ToolRun r = run(
        {"-@",
         link({{0, "a.txt"}, {1, "B.TXT"}, {3, "d.txt"}, {2, "c.txt"}, {0, "a.txt"}, {2, "x.txt"}}),
         "X", cab, out() + "/"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "d.txt: the cabinet has changed since it was listed\n"
                     "x.txt: the cabinet has changed since it was listed\n"
                     "B.TXT: the cabinet has changed since it was listed\n");
    EXPECT_EQ(treeOf(out()), "a.txt c.txt");
    const std::vector<fm::LinkedRecord> abc = {{2, "c.txt"}, {0, "a.txt"}, {1, "b.txt"}};
    for (size_t listed : {2, 4, 3}) {
        std::vector<fm::LinkedRecord> records(abc.begin(),
                                              abc.begin() + std::min<size_t>(listed, 3));
        if (listed == 4)
            records.push_back({3, "d.txt"});
        writeFile(tmp.file("all.txt"), fm::WriteToolLink({{}, records, true}));
        fs::remove_all(out());
        fs::create_directories(out());
        r = run({"-@", tmp.file("all.txt"), "X", cab, "*.*", out() + "/"});
        EXPECT_EQ(r.status, listed == 3 ? 0 : 1) << listed;
        EXPECT_EQ(r.err, listed == 3 ? "" : "the cabinet has changed since it was listed\n");
        EXPECT_EQ(treeOf(out()), listed == 3 ? "a.txt b.txt c.txt" : "");
    }
    // A full disk, in the words the program shows, leaves nothing of the file behind.
    fs::create_directories(out("full"));
    env.write = [](int, const void*, size_t) -> ssize_t { return errno = ENOSPC, -1; };
    r = run({"-@", link({{2, "c.txt"}}), "X", cab, out("full/")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "c.txt: no space left on the device\n");
    EXPECT_EQ(treeOf(out("full")), "");
}

// A destination that is not the one meant, a link or cabinet that cannot be used: refused before
// anything is written, in the words the program shows.
TEST_F(LinkedTool, WhatCannotBeUsedIsRefusedInPlainWords) {
    const std::string cab = cabinet(namedPlan({"Cabarc2.exe"}));
    fs::create_directories(tmp.file("tool"));
    fs::create_directories(out());
    env.toolFolder = env.workingFolder = tmp.file("tool");
    writeFile(tmp.file("plain"), "");
    writeFile(tmp.file("bad-link"), "fendlemark-link 1\nfile x a.txt\n");
    writeFile(tmp.file("not.cab"), "this is text");
    ASSERT_EQ(::mkfifo(tmp.file("fifo").c_str(), 0644), 0); // nobody writes: must not block
    const std::string none = link({}), dest = out() + "/",
                      driveTool = "C:" + tmp.file("tool") + "\\";
    const std::string unread = "cannot read the list of files to extract (";
    const std::pair<Strings, std::string> cases[] = {
        {{"-@", none, "X", cab}, "no destination folder was given"},
        {{"-@", none, "X", cab, "*.*"}, "no destination folder was given"},
        {{"-@", none, "X", cab, "\\"}, "the destination folder is not a full path"},
        {{"-@", none, "X", cab, "out\\"}, "the destination folder is not a full path"},
        {{"-@", none, "X", cab, "C:out\\"}, "the destination folder is not a full path"},
        {{"-@", none, "X", cab, "Q:\\out\\"}, "the destination's drive is not known"},
        {{"-@", none, "X", cab, tmp.file("missing") + "/"},
         "the destination folder does not exist"},
        {{"-@", none, "X", cab, tmp.file("plain") + "/"}, "the destination is not a folder"},
        {{"-@", none, "X", cab, driveTool},
         "cannot extract into the folder of the extraction tool"},
        {{"-@", none, "X", cab, tmp.file("tool/.") + "/"},
         "cannot extract into the folder of the extraction tool"},
        {{"-@", tmp.file("bad-link"), "X", cab, dest},
         unread + "link line 2: a bad record number)"},
        {{"-@", tmp.file("absent"), "X", cab, dest}, unread + "not found)"},
        {{"-@", tmp.path(), "X", cab, dest}, unread + "not a file or a pipe)"},
        {{"-@", tmp.file("fifo"), "X", cab, dest}, unread + "the link is empty)"},
        {{"-@", none, "X", tmp.file("gone.cab"), dest}, "no longer exists"},
        {{"-@", none, "X", tmp.file("not.cab"), dest}, "not a cabinet"},
        {{"-@", none, "X", tmp.path(), dest}, "not a cabinet"}};
    for (const auto& [args, error] : cases) {
        ToolRun r = run(args);
        EXPECT_EQ(r.status, 2) << error;
        EXPECT_EQ(r.err, error + "\n");
    }
    // Chosen records and patterns together make no sense: a usage error.
    ToolRun both = run({"-@", link({{0, "Cabarc2.exe"}}), "X", cab, "*.*", dest});
    EXPECT_EQ(both.status, 2);
    EXPECT_NE(both.err.find("usage:"), std::string::npos);
    // By hand too the tool never writes into its own folder, and refuses it in its own words.
    both = run({"X", cab});
    EXPECT_EQ(both.status, 2);
    EXPECT_EQ(both.err,
              "cabarc: " + tmp.file("tool") + ": the destination is the tool's own folder\n");
    EXPECT_EQ(treeOf(tmp.path()), "a.cab bad-link fifo link.txt not.cab out/ plain tool/");
}

// Each chosen record gives exactly its own file, or one error line naming it (random cabinets and
// hostile names: the selection fuzz target).
TEST_F(LinkedTool, HostileNamesGiveExactlyTheChosenRecordsOrACollision) {
    const std::string cab = cabinet(namedPlan({"a", "a\\b", "x\\y", "..", "x/y", "c"}));
    fs::create_directories(out());
    ToolRun r = run({"-p", "-@", link({{0, "a"}, {1, "a\\b"}, {2, "x\\y"}, {3, ".."}, {4, "x/y"}}),
                     "X", cab, out() + "/"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "a\\b: another file, folder or link is in the way\n"
                     "..: the name leaves nothing to extract to\n"
                     "x/y: same output file as x\\y\n");
    EXPECT_EQ(treeOf(out()), "a x/ x/y");
    for (const auto& [path, record] : {std::pair{"a", "a"}, {"x/y", "x\\y"}}) {
        EXPECT_EQ(readFile(out(path)), std::string("data of ") + record);
    }
}
