// The extraction run through the main window with a launcher that records: parameter strings,
// links, destinations, the checks before the run, messages.

#include "extract/extraction_run.h"
#include "extract/short_path.h"
#include "platform/tool_link.h"
#include "support/window_tests.h"

#include <QMessageBox>

namespace {

class ExtractionRun : public ::testing::Test {
protected:
    // a.cab, b.cab, c.cab; rows per cabinet: a1.txt, docs\a2.txt, a*, docs\A*.
    bool writeCabinets() {
        for (std::string n : {"a", "b", "c"})
            writeCabinet(world.startFolder() + "/" + n + ".cab",
                         {{cabFile(n + "1.txt", "1"), cabFile("docs\\" + n + "2.txt", "2"),
                           cabFile(n + "*", "r"), cabFile("docs\\" + upper(n) + "*", "R")}});
        return true;
    }
    static std::string upper(const std::string& n) { return std::string(1, char(n[0] - 32)); }
    void SetUp() override {
        w.show();
        w.StgExtrObName = QStringLiteral("obSameFolder");
    }
    std::string at(const std::string& name = {}) {
        const std::string d = world.drivePath(world.startFolder()).toStdString();
        return name.empty() ? d : d + "\\" + name;
    }
    using Call = FakeLauncher::Call;
    std::vector<std::string> sent(std::string Call::*field = &Call::parameters) const {
        std::vector<std::string> out;
        for (const auto& c : world.launcher.calls)
            out.push_back(c.*field);
        return out;
    }
    // The records each launch's link chose, and the drives it carried.
    std::vector<std::vector<LinkedRecord>> records() const {
        std::vector<std::vector<LinkedRecord>> out;
        for (const auto& c : world.launcher.calls) {
            auto link = ReadToolLink(c.attachment, nullptr);
            EXPECT_TRUE(link) << c.attachment;
            EXPECT_EQ(link->driveMounts, ToolLink::mountsOf(world.drives));
            out.push_back(link->records);
        }
        return out;
    }

    WindowWorld world;
    bool written_ = writeCabinets();
    frmFendlemark& w = world.loaded();
};

} // namespace

// All files of every cabinet under each rule: the tool's two names take turns, started in the
// program folder, each with a link that carries the drives.
TEST_F(ExtractionRun, AllFilesUnderEachRuleWithTheToolNumbersTakingTurns) {
    fs::create_directories(world.startFolder() + "/has space");
    w.StgExtrSetFolder = QString::fromStdString(at("has space"));
    clickRows(*w.File1, {0, 1, 2});
    const std::string cwd = CurrentWorkingFolder();
    const std::vector<std::string> turns{"Cabarc1.exe", "Cabarc2.exe", "Cabarc1.exe"};
    auto run = [&](const std::string& mode) {
        SCOPED_TRACE(mode);
        world.launcher.calls.clear();
        w.StgExtrObName = QString::fromStdString(mode);
        w.StgExtrPreservePath = mode == "obSameFolder" ? 1 : 2;
        extractSelected(w);
        std::vector<std::string> expected;
        std::vector<std::vector<LinkedRecord>> listed; // all files: every row, and "these are all"
        for (std::string n : {"a", "b", "c"}) {
            listed.push_back({{0, n + "1.txt"},
                              {1, "docs\\" + n + "2.txt"},
                              {2, n + "*"},
                              {3, "docs\\" + upper(n) + "*"}});
            const std::string run = " -@ /dev/fd/3 -r 4 -d 5 X " + at(n + ".cab") + " *.* ";
            expected.push_back(mode == "obSameFolder" ? " -p" + run + at() + "\\"
                               : mode == "obSetFolder"
                                   ? run + "\"" + at("has space") + "\"\\"
                                   : run + "\"" + at(n + " Extracted") + "\"\\");
        }
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(records(), listed);
        for (const auto& c : world.launcher.calls)
            EXPECT_TRUE(ReadToolLink(c.attachment, nullptr)->allRecords);
        EXPECT_EQ(sent(&Call::file), turns);
        EXPECT_EQ(sent(&Call::folder), std::vector<std::string>(3, world.programFolder()));
    };
    for (const char* mode : {"obSameFolder", "obSetFolder", "obSamePlus", "obsameplus"})
        run(mode); // the last, an unknown name, as obSamePlus
    clickRows(*w.lvwFiles, {0, 11}, Qt::ShiftModifier);
    run("obSamePlus");
    EXPECT_TRUE(fs::is_directory(world.startFolder() + "/c Extracted"));
    EXPECT_EQ(CurrentWorkingFolder(), cwd);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("12 files extracted."));
    EXPECT_EQ(w.lblFiles->foreColor(), kColorBlue);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(world.prompt.shown.isEmpty());
}

// Rows that would land on one file: the user is told which, and nothing runs.
TEST_F(ExtractionRun, CollisionsAreReportedAndNothingRuns) {
    writeCabinet(world.startFolder() + "/d.cab",
                 {{cabFile("readme.txt", "1"), cabFile("x\\readme.txt", "2"),
                   cabFile("\\readme.txt", "3"), cabFile("X\\README.TXT", "4")}});
    w.mRefresh->trigger();
    clickRows(*w.File1, {3});
    const QString head = "Nothing was extracted: files would be written over one another.\n\n";
    for (qint16 keep : {0, 1}) {
        w.StgExtrPreservePath = keep;
        extractSelected(w);
    }
    EXPECT_TRUE(world.launcher.calls.empty());
    EXPECT_EQ(world.prompt.shown,
              (QStringList{head + "'readme.txt' in d.cab and 'x\\readme.txt' in d.cab both go to "
                                  "'readme.txt'\n'readme.txt' in d.cab and '\\readme.txt' in "
                                  "d.cab both go to 'readme.txt'\n\nTick \"Preserve Path\" or "
                                  "choose fewer files.",
                           head + "'readme.txt' in d.cab and '\\readme.txt' in d.cab both go to "
                                  "'readme.txt'\n\nChoose fewer files."}));
    EXPECT_FALSE(w.lblFiles->text().endsWith(QStringLiteral("extracted.")));
}

// Five existing files are named in the question; after Skip the status line counts them as kept
// and names the folder; No to "again" leaves it as it stood.
TEST_F(ExtractionRun, TheQuestionNamesFiveExistingFilesAndSkipKeepsThem) {
    for (const char* n : {"a1.txt", "a2.txt", "a*", "b1.txt", "b2.txt"})
        writeFile(world.startFolder() + "/" + n, "mine");
    clickRows(*w.File1, {0, 1});
    world.prompt.choices = {Existing::Skip};
    extractSelected(w);
    ASSERT_EQ(world.prompt.shown.size(), 1);
    EXPECT_TRUE(world.prompt.shown[0].startsWith("5 files to extract exist already:\n\n" +
                                                 QString::fromStdString(at("a1.txt\n"))));
    EXPECT_TRUE(
        world.prompt.shown[0].endsWith("\n\nReplace them, or skip them and keep the files there?"));
    EXPECT_EQ(world.prompt.shown[0].count(u'\n'), 2 + 4 + 2);
    EXPECT_EQ(w.lblFiles->text(), "3 files extracted, 5 kept.");
    EXPECT_EQ(w.lblFiles->toolTip().toStdString(), "Extracted to " + at());
    world.prompt.answers = {false};
    click(*w.cmdExtract);
    EXPECT_EQ(w.lblFiles->text(), "3 files extracted, 5 kept.");
}

// Checks before the run: a cabinet gone since listed, a link planted as the folder beside one.
TEST_F(ExtractionRun, VanishedCabinetsAndPlantedLinks) {
    const std::string start = world.startFolder();
    clickRows(*w.File1, {0, 1, 2});
    w.StgExtrObName = QStringLiteral("obSamePlus");
    fs::remove(start + "/b.cab");
    fs::create_directories(start + "/elsewhere");
    writeFile(start + "/elsewhere/.profile", "mine");
    fs::create_directory_symlink(start + "/elsewhere", start + "/c Extracted");
    for (int i = 0; i < 2; ++i)
        extractSelected(w);
    EXPECT_EQ(sent(), std::vector<std::string>(2, " -@ /dev/fd/3 -r 4 -d 5 X " + at("a.cab") +
                                                      " *.* \"" + at("a Extracted") + "\"\\"));
    const QString head = "These cabinets were not extracted completely:\n\n",
                  gone = QString::fromStdString(at("b.cab")) + ":\n    it no longer exists\n",
                  link = QString::fromStdString(at("c.cab")) +
                         ":\n    the destination is a link, not a folder: '" +
                         QString::fromStdString(at("c Extracted")) + "'";
    // The report's lines may shorten a path, never the words before it; its details hold all.
    ASSERT_EQ(world.prompt.shown.size(), 2);
    EXPECT_TRUE(world.prompt.shown[0].startsWith(head + gone + link.left(link.indexOf(": '"))));
    EXPECT_EQ(world.prompt.details, (QStringList{gone + link, link}));
    EXPECT_FALSE(fs::exists(start + "/b Extracted"));
    EXPECT_EQ(readFile(start + "/elsewhere/.profile"), "mine");
    // The refresh after the run dropped the gone cabinet's rows.
    EXPECT_EQ(w.lvwFiles->rowCount(), 8);
    EXPECT_EQ(w.lvwFiles->subItem(5, 3).toStdString(), at("c.cab"));
}

// The tool gets the very folder checked, handed over open: one swapped in after is not used.
TEST_F(ExtractionRun, TheToolGetsTheFolderCheckedNotOneSwappedIn) {
    const std::string start = world.startFolder();
    clickRows(*w.File1, {0, 1});
    w.StgExtrObName = QStringLiteral("obSamePlus");
    fs::create_directories(start + "/b Extracted");
    fs::create_directories(start + "/elsewhere");
    world.launcher.onLaunch = [&](size_t) {
        fs::rename(start + "/b Extracted", start + "/moved");
        fs::create_directory_symlink(start + "/elsewhere", start + "/b Extracted");
    };
    extractSelected(w);
    ASSERT_EQ(world.launcher.calls.size(), 1u);
    struct stat st {};
    EXPECT_EQ(::stat((start + "/a Extracted").c_str(), &st), 0);
    EXPECT_EQ(world.launcher.calls[0].handed, (FolderId{st.st_dev, st.st_ino}));
    EXPECT_EQ(world.prompt.shown.value(0).toStdString(),
              "These cabinets were not extracted completely:\n\n" + at("b.cab") +
                  ":\n    its folder was replaced after it was checked");
}

// An unusable set folder gives way to the one beside each cabinet after a question; No runs
// nothing.
TEST_F(ExtractionRun, UnusableSetFolderFallsBackAfterAsking) {
    clickRows(*w.File1, {0, 1});
    w.StgExtrObName = QStringLiteral("obSetFolder");
    const QString folders[] = {QString::fromStdString(at("out\x7fx")), QStringLiteral("Q:\\out"),
                               QString::fromStdString(at("'CAB NAME' extracted\\\\"))};
    world.prompt.answers = {false, true, true};
    for (const QString& folder : folders) {
        w.StgExtrSetFolder = folder;
        extractSelected(w);
    }
    ASSERT_EQ(world.prompt.shown.size(), 3);
    EXPECT_EQ(world.prompt.shown[0], "The set folder '" + QString::fromStdString(at("out")) +
                                         QChar(0xfffd) +
                                         "x' cannot be used: its name holds a control character."
                                         "\n\nExtract beside each cabinet instead, into a folder "
                                         "named after it?");
    EXPECT_TRUE(world.prompt.shown[1].contains("there is no drive Q:"));
    EXPECT_TRUE(world.prompt.shown[2].contains("'CAB name' stands for each cabinet's own name"));
    std::vector<std::string> expected;
    for (int i = 0; i < 2; ++i)
        for (std::string n : {"a", "b"})
            expected.push_back(" -@ /dev/fd/3 -r 4 -d 5 X " + at(n + ".cab") + " *.* \"" +
                               at(n + " Extracted") + "\"\\");
    EXPECT_EQ(sent(), expected);
    EXPECT_FALSE(fs::exists(world.startFolder() + "/'CAB NAME' extracted"));
}

TEST_F(ExtractionRun, FailuresAreReported) {
    clickRows(*w.File1, {0, 1, 2});
    const QString before = w.lblFiles->text();
    const QString missing = QString::fromStdString(at("no\\such"));
    w.GoExtract = false;
    w.CheckExtractCabs(); // not confirmed: nothing happens
    w.StgExtrObName = QStringLiteral("obSetFolder");
    w.StgExtrSetFolder = missing;
    extractSelected(w); // no folder, nothing launched
    EXPECT_TRUE(world.launcher.calls.empty());
    EXPECT_EQ(w.lblFiles->text(), before);
    w.StgExtrObName = QStringLiteral("obSameFolder");
    world.launcher.refusals = {{1, ENOENT}};
    world.launcher.ends = {
        {0, LaunchEnd{false, 1, "x.txt: damaged (bad checksum in a data block)"}},
        {2, LaunchEnd{true, 9, ""}}};
    extractSelected(w);
    EXPECT_EQ(world.launcher.calls.size(), 3u);
    EXPECT_EQ(world.launcher.outstanding(), 0u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(world.prompt.shown.size(), 2);
    EXPECT_EQ(world.prompt.shown[0], "Unable to create directory '" + missing + "'.");
    EXPECT_EQ(world.prompt.shown[1].toStdString(),
              "These cabinets were not extracted completely:\n\n" + at("a.cab") +
                  ":\n    x.txt: damaged (bad checksum in a data block)\n" + at("b.cab") +
                  ":\n    the extraction tool could not be started: No such file or directory\n" +
                  at("c.cab") + ":\n    the extraction tool was stopped (signal 9, " +
                  strsignal(9) + ")");

    clickRows(*w.File1, {0, 0}); // no cabinet: nothing to launch
    extractSelected(w);
    EXPECT_EQ(world.launcher.calls.size(), 3u);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("0 files extracted."));
}

// Refresh reads the mount table again: a new volume, a letter moved, the tool gets the new map;
// a run to a volume unmounted since is refused, though its letter now names another.
TEST(DriveRefresh, NewVolumeListedLettersFollowedAndHandedToTheTool) {
    TempDir volumes;
    const std::string va = volumes.file("va"), vb = volumes.file("vb");
    fs::create_directories(va);
    writeCabinet(vb + "/x.cab", {{cabFile("x.txt", "x")}});
    WindowWorld world({vb});
    std::vector<std::string> mounted{va, vb};
    world.readDrives = [&] { return DriveMap(mounted); };
    frmFendlemark& w = world.loaded();
    w.Dir1->setPath(QStringLiteral("D:\\"));
    w.StgExtrObName = QStringLiteral("obSetFolder");
    w.StgExtrSetFolder = QStringLiteral("D:\\");
    ASSERT_EQ(w.Drive1->listCount(), 2);
    w.mRefresh->trigger();
    EXPECT_EQ(w.Drive1->listCount(), 3);
    EXPECT_EQ(w.Drive1->drive().toStdString(), "e: [" + vb + "]");
    EXPECT_EQ(w.Dir1->path(), QStringLiteral("E:\\"));
    EXPECT_EQ(w.StgExtrSetFolder, QStringLiteral("E:\\"));
    clickRows(*w.File1, {0});
    extractSelected(w);
    ASSERT_EQ(world.launcher.calls.size(), 1u);
    EXPECT_EQ(world.launcher.calls[0].parameters, " -@ /dev/fd/3 -r 4 -d 5 X E:\\x.cab *.* E:\\");
    EXPECT_EQ(ReadToolLink(world.launcher.calls[0].attachment, nullptr)->driveMounts,
              (std::vector<std::string>{va, vb}));
    // E:'s volume gone and another mounted at E: in its stead, the window not yet refreshed.
    mounted[1] = volumes.file("vc");
    fs::create_directories(mounted[1]);
    extractSelected(w);
    EXPECT_EQ(world.launcher.calls.size(), 1u);
    ASSERT_FALSE(world.prompt.shown.empty());
    EXPECT_TRUE(world.prompt.shown.back().contains(u"drive E: is not available"))
        << world.prompt.shown.back().toStdString();
}

// A folder typed as \x is on the working folder's drive; a network path leads nowhere.
TEST(PosixPathOf, RootedPathsAndNetworkPaths) {
    const DriveMap drives({"/media/ann/STICK"});
    EXPECT_EQ(PosixPathOf(drives, QStringLiteral("\\out"), "/media/ann/STICK/x"),
              "/media/ann/STICK/out");
    EXPECT_EQ(PosixPathOf(drives, QStringLiteral("\\out"), "/home"), "/out");
    EXPECT_EQ(PosixPathOf(drives, QStringLiteral("\\\\server\\s"), "/home"), std::nullopt);
}

// The real three-way box: caption "Fendlemark", Enter keeps the files (Skip), Esc cancels.
TEST(MessageBoxPrompt, ReplaceSkipCancelAnswersAsTheUserDoes) {
    MessageBoxPrompt prompt;
    const std::pair<std::function<void(QMessageBox&)>, Existing> cases[] = {
        {[](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Return); }, Existing::Skip},
        {[](QMessageBox& b) { QTest::keyClick(&b, Qt::Key_Escape); }, Existing::Cancel},
        {[](QMessageBox& b) { b.buttons()[0]->click(); }, Existing::Replace},
    };
    for (const auto& [act, answer] : cases) {
        QTimer::singleShot(0, [&act] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Fendlemark"));
            act(*box);
        });
        EXPECT_EQ(prompt.replaceSkipCancel(nullptr, QStringLiteral("2 files exist")), answer);
    }
}
