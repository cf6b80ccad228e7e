#include "app/open_targets.h"
#include "support/window_tests.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

TEST(OpenTargets, CabinetsOpenTheirFolderSelectedAndListedAndDropsDoTheSame) {
    WindowWorld world;
    const std::string sub = world.startFolder() + "/sub";
    for (const char* name : {"a.cab", "b.cab", "c.cab"})
        writeCabinet(sub + "/" + name, CabPlan{{cabFile(std::string(name) + ".txt", "x")}});
    writeFile(sub + "/notes.txt", "x");
    frmFendlemark& w = world.loaded();

    OpenPaths(w, {"sub/a.cab", "sub/c.cab", "sub/notes.txt", "sub/gone.cab"});
    EXPECT_EQ(w.Dir1->path(), world.drivePath(sub));
    EXPECT_EQ(w.File1->selectionFlags(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(w.lvwFiles->rowCount(), 2);
    ASSERT_EQ(world.prompt.shown.size(), 1);
    EXPECT_TRUE(world.prompt.shown[0].contains("notes.txt: not a cabinet file."));
    // Named in drive form, as the window names paths.
    EXPECT_TRUE(world.prompt.shown[0].contains(world.drivePath(sub) +
                                               "\\gone.cab: No such file or directory."));
    EXPECT_FALSE(world.prompt.shown[0].contains(u'/'));

    // Dropped on the window showing that folder: only the dropped cabinet stays selected.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(PathToText(sub + "/b.cab"))});
    for (QEvent::Type type : {QEvent::DragEnter, QEvent::Drop}) {
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier,
                         type);
        QApplication::sendEvent(&w, &event);
        EXPECT_TRUE(event.isAccepted()) << type;
    }
    EXPECT_EQ(w.File1->selectionFlags(), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(w.lvwFiles->text(1), QStringLiteral("b.cab.txt"));
}

// Two cabinets named at start, far down the list: both in view once the window shows, and the
// keyboard starts at the first of them.
TEST(OpenTargets, TheNamedCabinetsAreScrolledIntoViewAndTheKeyboardStartsThere) {
    WindowWorld world;
    for (int i = 10; i < 50; ++i)
        writeFile(world.startFolder() + "/c" + std::to_string(i) + ".cab", "");
    writeCabinet(world.startFolder() + "/c30.cab", CabPlan{{cabFile("x", "1")}});
    writeCabinet(world.startFolder() + "/c32.cab", CabPlan{{cabFile("y", "1")}});
    frmFendlemark& w = world.loaded();
    OpenPaths(w, {"c30.cab", "c32.cab"});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QCoreApplication::processEvents();
    for (int row : {20, 22}) {
        EXPECT_TRUE(w.File1->item(row)->isSelected()) << row;
        EXPECT_TRUE(
            w.File1->viewport()->rect().contains(w.File1->visualItemRect(w.File1->item(row))))
            << row;
    }
    key(Qt::Key_I, Qt::AltModifier);
    ASSERT_EQ(QApplication::focusWidget(), w.File1);
    EXPECT_EQ(w.File1->currentRow(), 20);
    key(Qt::Key_Down, Qt::ShiftModifier);
    std::vector<bool> selected(40, false);
    selected[20] = selected[21] = true; // a range from the anchor, as Shift+arrows make
    EXPECT_EQ(w.File1->selectionFlags(), selected);
}

// Qt's options are passed over with their values, given apart or after "="; the rest are ours.
TEST(OpenTargets, CommandLinesPassQtsOptionsOverAndReadTheRest) {
    using Action = CommandLine::Action;
    const struct {
        std::vector<std::string> args;
        Action action;
        QString paths; // or the error
    } cases[] = {
        {{"-platform", "offscreen", "a.cab", "--style=fusion", "b.cab"},
         Action::Open,
         "a.cab|b.cab"},
        {{"-reverse", "--", "-x.cab", "--help"}, Action::Open, "-x.cab|--help"},
        {{"dir", "--stylesheet"}, Action::Open, "dir"},
        {{"-geometry", "--version", "-h"}, Action::Help, ""},
        {{"--widgetcount=1"}, Action::Error, "unknown option: --widgetcount=1"},
    };
    for (const auto& c : cases) {
        const CommandLine got = ParseCommandLine(c.args);
        EXPECT_EQ(got.action, c.action) << c.args[0];
        EXPECT_EQ(c.action == Action::Error ? got.error : got.paths.join(u'|'), c.paths)
            << c.args[0];
    }
}
