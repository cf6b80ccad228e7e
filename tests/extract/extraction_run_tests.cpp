// The extraction run through the main window, with a launcher that records and a process list
// that the test fills: parameter strings, tool numbers, destinations, folders, batches, messages.

#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"
#include "platform/command_line.h"
#include "platform/working_folder.h"
#include "run_fixture.h"
#include "support/cab_writer.h"

#include <QAction>
#include <QApplication>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;

namespace {

class ExtractionRun : public ::testing::Test {
protected:
    // a.cab, b.cab, c.cab; rows per cabinet: a1.txt, docs\a2.txt, readme.txt, docs\README.TXT.
    bool writeCabinets() {
        for (std::string n : {"a", "b", "c"})
            writeCabinet(world.startFolder() + "/" + n + ".cab",
                         {{cabFile(n + "1.txt", "1"), cabFile("docs\\" + n + "2.txt", "2"),
                           cabFile("readme.txt", "r"), cabFile("docs\\README.TXT", "R")}});
        return true;
    }
    void SetUp() override {
        w.show();
        w.StgExtrObName = QStringLiteral("obSameFolder");
    }
    // The start folder in drive form, or a name in it.
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

    WindowWorld world;
    bool written_ = writeCabinets();
    frmFendlemark& w = world.loaded();
};

} // namespace

// All files of every cabinet (no row or every row selected), under each rule; the tool's two
// names take turns, started in the program folder.
TEST_F(ExtractionRun, AllFilesUnderEachRuleWithTheToolNumbersTakingTurns) {
    fs::create_directories(world.startFolder() + "/has space");
    w.StgExtrSetFolder = QString::fromStdString(at("has space"));
    clickRows(*w.File1, {0, 1, 2});
    const std::string cwd = CurrentWorkingFolder();
    auto run = [&](const std::string& mode) {
        SCOPED_TRACE(mode);
        world.launcher.calls.clear();
        w.StgExtrObName = QString::fromStdString(mode);
        w.StgExtrPreservePath = mode == "obSameFolder" ? 1 : 2;
        extractSelected(w);
        std::vector<std::string> expected;
        for (std::string n : {"a", "b", "c"}) {
            const std::string run = " X " + at(n + ".cab") + " *.* ";
            expected.push_back(mode == "obSameFolder" ? " -p" + run + at() + "\\"
                               : mode == "obSetFolder"
                                   ? run + "\"" + at("has space") + "\"\\"
                                   : run + "\"" + at(n + " Extracted") + "\"\\");
        }
        EXPECT_EQ(sent(), expected);
        EXPECT_EQ(sent(&Call::file),
                  (std::vector<std::string>{"Cabarc1.exe", "Cabarc2.exe", "Cabarc1.exe"}));
        EXPECT_EQ(sent(&Call::folder), std::vector<std::string>(3, world.programFolder()));
    };
    for (const char* mode : {"obSameFolder", "obSetFolder", "obSamePlus", "obsameplus"})
        run(mode); // the last, an unknown name, as obSamePlus
    clickRows(*w.lvwFiles, {0, 11}, Qt::ShiftModifier);
    run("obSamePlus");
    // Made for the run, and removed again: the pretended tool left it empty.
    EXPECT_FALSE(fs::exists(world.startFolder() + "/c Extracted"));
    EXPECT_EQ(CurrentWorkingFolder(), cwd);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("12 files extracted."));
    EXPECT_EQ(w.lblFiles->foreColor(), kColorBlue);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(world.prompt.shown.isEmpty());
}

TEST_F(ExtractionRun, ChosenRowsByNameAndNamesakesWhole) {
    const std::string tail = " " + at() + "\\";
    clickRows(*w.File1, {0, 1});
    clickRows(*w.lvwFiles, {0, 1, 2, 5}); // a1.txt, docs\a2.txt, readme.txt; docs\b2.txt
    w.StgExtrPreservePath = 1;
    extractSelected(w);
    w.StgExtrPreservePath = 0;
    clickRows(*w.lvwFiles, {3}); // one row: only its cabinet
    extractSelected(w);
    // One row selected while the current row is another: the selected row is meant.
    clickRows(*w.lvwFiles, {0, 4, 0});
    ASSERT_EQ(w.lvwFiles->currentRow(), 1);
    extractSelected(w);
    EXPECT_EQ(sent(),
              (std::vector<std::string>{" -p X " + at("a.cab") +
                                            " \"a1.txt\"  \"a2.txt\"  \"\\readme.txt\"" + tail,
                                        " -p X " + at("b.cab") + "  \"b2.txt\"" + tail,
                                        " X " + at("a.cab") + " \"docs\\README.TXT\"" + tail,
                                        " X " + at("b.cab") + " \"b1.txt\"" + tail}));
    EXPECT_EQ(sent(&Call::file), (std::vector<std::string>{"Cabarc1.exe", "Cabarc2.exe",
                                                           "Cabarc1.exe", "Cabarc1.exe"}));
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("1 files extracted."));
}

TEST_F(ExtractionRun, LongSelectionsGoInBatchesOfAtMost256) {
    CabPlan big;
    for (int i = 100; i < 140; ++i)
        big.files.push_back(cabFile("file-with-a-long-name-" + std::to_string(i), "x"));
    big.files.push_back(cabFile(std::string(255, 'n'), "x"));
    big.files[9].name = "z"; // completes a list of exactly 256 characters
    for (const char* name : {"/b.cab", "/ab.cab"})
        writeCabinet(world.startFolder() + name, big);
    w.mRefresh->trigger();       // Options > Refresh
    clickRows(*w.File1, {1, 2}); // ab.cab, b.cab: none of ab.cab's rows may go to b.cab
    clickRows(*w.lvwFiles, {1, 40}, Qt::ShiftModifier); // all of ab.cab's but the first
    clickRows(*w.lvwFiles, {41, 50}, Qt::ControlModifier | Qt::ShiftModifier, Qt::ControlModifier);
    ASSERT_EQ(w.CountSelected(), 50);
    extractSelected(w);

    std::map<std::string, std::vector<std::string>> got, expected;
    std::vector<size_t> perLaunch;
    for (const std::string& p : sent()) {
        const std::vector<std::string> args = SplitCommandLine(p);
        const size_t from = p.find(args[1]) + args[1].size();
        perLaunch.push_back(args.size() - 3);
        EXPECT_TRUE(perLaunch.back() == 1 || p.rfind(' ') - from <= 256) << p;
        got[args[1]].insert(got[args[1]].end(), args.begin() + 2, args.end() - 1);
    }
    for (int i = 0; i < 40; ++i)
        expected[at(i ? "ab.cab" : "b.cab")].push_back(big.files[static_cast<size_t>(i)].name);
    expected[at("ab.cab")].push_back(big.files[40].name);
    for (int i = 1; i < 10; ++i)
        expected[at("b.cab")].push_back(big.files[static_cast<size_t>(i)].name);
    EXPECT_EQ(got, expected);
    // 28 characters a name with its quotes and space, nine to a list, ten with "z"; the long one
    // alone; tool numbers run on.
    EXPECT_EQ(perLaunch, (std::vector<size_t>{10, 9, 9, 9, 2, 1, 10}));
    EXPECT_EQ(sent(&Call::file)[1], "Cabarc2.exe");
}

TEST_F(ExtractionRun, FailuresAreReportedAndEndTheRun) {
    clickRows(*w.File1, {0, 1, 2});
    const QString before = w.lblFiles->text();
    const QString missing = QString::fromStdString(at("no\\such"));
    w.GoExtract = false;
    w.CheckExtractCabs(); // not confirmed: nothing happens
    w.StgExtrObName = QStringLiteral("obSetFolder");
    w.StgExtrSetFolder = missing;
    extractSelected(w);
    w.StgExtrObName = QStringLiteral("obSameFolder");
    world.launcher.refusals = {{1, ENOENT}}; // the others are still tried
    extractSelected(w);
    EXPECT_EQ(world.launcher.calls.size(), 3u);
    EXPECT_EQ(world.launcher.outstanding(), 0u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    world.launcher.refusals.clear();
    world.launcher.ends = {{3, LaunchEnd{false, 1, "x.txt: not in the cabinet"}},
                           {5, LaunchEnd{true, 9, ""}}};
    extractSelected(w);
    EXPECT_EQ(world.launcher.calls.size(), 6u);
    EXPECT_EQ(w.lblFiles->text(), before);

    ASSERT_EQ(world.prompt.shown.size(), 3);
    EXPECT_EQ(world.prompt.shown[0], "Unable to create directory '" + missing + "'.");
    EXPECT_EQ(world.prompt.shown[1].toStdString(),
              "These cabinets were not extracted completely:\n\n" + at("b.cab") +
                  ": could not be started: No such file or directory.");
    EXPECT_EQ(world.prompt.shown[2].toStdString(),
              "These cabinets were not extracted completely:\n\n" + at("a.cab") +
                  ": x.txt: not in the cabinet\n" + at("c.cab") + ": ended by signal 9 (" +
                  strsignal(9) + ")");

    clickRows(*w.File1, {0, 0}); // no cabinet: nothing to launch, the (no) rows reported
    extractSelected(w);
    EXPECT_EQ(world.launcher.calls.size(), 6u);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("0 files extracted."));
}

TEST_F(ExtractionRun, WaitPaintsAsksBeforeClosingAndEndsWhenNoToolIsLeft) {
    clickRows(*w.File1, {0});
    struct : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    w.lblFiles->installEventFilter(&counter);
    world.processes.names = {"init", "mycabarctool.EXE"}; // any case, anywhere in the name
    world.prompt.answers = {false};
    world.processes.onListing = [&](int n) {
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        if (n == 0) {
            w.lblFiles->update();
            w.close(); // No: the run goes on
        } else {
            EXPECT_GT(counter.paints, 0);
            world.processes.names = {"Cabar.exe", "abarc"};
        }
    };
    extractSelected(w);
    EXPECT_EQ(world.processes.listings, 2);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(world.prompt.shown,
              QStringList{"An extraction is running. Cancel the extraction and exit?"});
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("4 files extracted."));
}
