// The window during a run, with stand-in tools and the real launcher: ways to cancel and to exit.

#include "extract/run_queue.h"
#include "support/window_tests.h"

#include <QElapsedTimer>

namespace {

// Runs `act` once the window's status line reads `status` during a run.
void duringRun(frmFendlemark& w, const QString& status, std::function<void()> act) {
    auto* poll = new QTimer(&w);
    QObject::connect(poll, &QTimer::timeout, [&w, poll, act, status] {
        if (!w.isExtracting() || w.lblFiles->text() != status)
            return;
        poll->deleteLater();
        poll->stop();
        act();
    });
    poll->start(20);
}

class RunControl : public ::testing::Test {
protected:
    RunControl() {
        world.useLauncher = &world.spawnLauncher;
        world.useProcesses = &world.procFsProcesses;
        fs::create_directories(world.programFolder() + "/pids");
    }

    // Stand-in tools: `script` runs with the tool's arguments; each records its process id.
    void tools(const std::string& script) {
        for (const char* name : {"/Cabarc1.exe", "/Cabarc2.exe"}) {
            const std::string path = world.programFolder() + name;
            writeFile(path, "#!/bin/sh\necho $$ > \"${0%/*}/pids/$$\"\n" + script + "\n");
            fs::permissions(path, fs::perms::owner_all);
        }
    }
    frmFendlemark& window(int n) {
        for (int i = 0; i < n; ++i)
            writeCabinet(world.startFolder() + "/c" + std::to_string(i) + ".cab",
                         {{cabFile("d\\f" + std::to_string(i) + ".txt", std::string(10, 'x'))}});
        frmFendlemark& w = world.loaded();
        w.show();
        click(*w.ckSelAllCabs);
        w.StgExtrAlwaysSame = 1;
        w.StgExtrObName = QStringLiteral("obSamePlus");
        return w;
    }
    // Every process group the stand-ins led is gone.
    bool noToolLeft() const {
        for (const auto& e : fs::directory_iterator(world.programFolder() + "/pids"))
            if (ProcessGroupRuns(std::stoi(e.path().filename().string())))
                return false;
        return true;
    }

    WindowWorld world;
};

} // namespace

// A tool that never ends (and its child), ended by each way out. Exit asks first: No keeps the
// run going, Yes ends it and then the window. A tool deaf to the polite request is forced. The
// files already there stay, the folders the run made and left empty go.
enum class Way { Esc, Button, ScreenReaderPress, ExitYes, ExitNoThenEsc, DeafButton };

class RunControlWays : public RunControl, public ::testing::WithParamInterface<Way> {};

TEST_P(RunControlWays, NeverEndingToolEnded) {
    const Way how = GetParam();
    // c0's stand-in writes a file, c2's makes a stored folder, c1's ends well once they have.
    const std::string out = world.startFolder() + "/c0 Extracted",
                      c2 = world.startFolder() + "/c2 Extracted/d";
    tools(std::string(how == Way::DeafButton ? "trap '' TERM; " : "") +
          "case \"$*\" in *c1.cab*) until [ -e '" + out + "/d/f0.txt' ] && [ -d '" + c2 +
          "' ]; do sleep 0.05; done; exit 0;; *c0.cab*) mkdir '" + out + "/d'; echo > '" + out +
          "/d/f0.txt';; *c2.cab*) mkdir '" + c2 + "';; esac; sleep 1000 & wait");
    frmFendlemark& w = window(3);
    w.StgExtrPreservePath = 1;
    writeFile(out + "/kept.txt", "already there");
    world.prompt.answers = {how == Way::ExitYes};
    duringRun(w, QStringLiteral("Extracting: 1 of 3 cabinets…"), [&] {
        EXPECT_EQ(w.cmdExtract->text(), QStringLiteral("Cancel"));
        EXPECT_FALSE(w.File1->isEnabled());
        EXPECT_FALSE(w.mRefresh->isEnabled());
        if (how == Way::Esc)
            QTest::keyClick(w.cmdExtract, Qt::Key_Escape);
        if (how == Way::Button || how == Way::DeafButton)
            click(*w.cmdExtract);
        if (how == Way::ScreenReaderPress) { // a disabled control does nothing; Extract cancels
            EXPECT_TRUE(QAccessible::queryAccessibleInterface(w.File1)->state().disabled);
            QAccessible::queryAccessibleInterface(w.cmdExtract)
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::pressAction());
        }
        if (how == Way::ExitYes || how == Way::ExitNoThenEsc)
            w.mExit->trigger();
        if (how == Way::ExitNoThenEsc)
            QTimer::singleShot(200, [&] {
                EXPECT_TRUE(w.isExtracting());
                QTest::keyClick(w.cmdExtract, Qt::Key_Escape);
            });
    });
    QElapsedTimer t;
    t.start();
    click(*w.cmdExtract);
    QCoreApplication::processEvents();
    EXPECT_EQ(t.elapsed() >= RunQueue::kCancelGraceMs, how == Way::DeafButton) << t.elapsed();
    EXPECT_TRUE(noToolLeft());
    EXPECT_EQ(readFile(out + "/kept.txt"), "already there");
    // c1's stand-in ended well (a real tool would have filled its folder); c2's was stopped.
    EXPECT_TRUE(fs::is_directory(world.startFolder() + "/c1 Extracted"));
    EXPECT_FALSE(fs::exists(world.startFolder() + "/c2 Extracted"));
    QStringList expected;
    if (how == Way::ExitYes || how == Way::ExitNoThenEsc)
        expected << "An extraction is running. Cancel the extraction and exit?";
    if (how != Way::ExitYes)
        expected << "Extraction cancelled: 1 of 3 cabinets extracted in full, 1 in part, 1 not at "
                    "all.";
    EXPECT_EQ(world.prompt.shown, expected);
    EXPECT_EQ(w.isVisible(), how != Way::ExitYes);
    if (how == Way::ExitYes)
        EXPECT_TRUE(fs::exists(world.iniPath())) << "the window was unloaded";
    else
        EXPECT_TRUE(w.cmdExtract->text() == "Extract" && w.File1->isEnabled() &&
                    w.mRefresh->isEnabled());
    EXPECT_EQ(std::distance(fs::directory_iterator(world.programFolder() + "/pids"), {}), 3)
        << "no second run";
}

INSTANTIATE_TEST_SUITE_P(Ways, RunControlWays,
                         ::testing::Values(Way::Esc, Way::Button, Way::ScreenReaderPress,
                                           Way::ExitYes, Way::ExitNoThenEsc, Way::DeafButton));
