#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"
#include "platform/launcher.h"
#include "platform/process_list.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

using namespace fm;
using namespace fm::test;

namespace {

// The main window shown and active on a folder with a cabinet, extracting with the real tool: keys
// go where the user's keys go, to the focus widget through the shortcut map.
class KeyboardWindow : public ::testing::Test {
protected:
    void SetUp() override {
        writeCabinet(world.startFolder() + "/one.cab",
                     CabPlan{{cabFile("docs\\b.txt", "123"), cabFile("a.txt", "1234"),
                              cabFile("c.txt", "12")}});
        w.File1->refresh();
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        w.Dir1->setFocus();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        // After a modal window closes, its owner takes the focus back a little later.
        ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    QStringList rows() {
        QStringList out;
        for (int i = 1; i <= w.lvwFiles->rowCount(); ++i)
            out << w.lvwFiles->text(i);
        return out;
    }
    QAccessibleInterface* access(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

    frmFendlemark& withRealTools() {
        for (const char* tool : {"/Cabarc1.exe", "/Cabarc2.exe"})
            std::filesystem::copy_file(FM_PROGRAM_FOLDER + std::string(tool),
                                       world.programFolder() + tool);
        world.useLauncher = &launcher;
        world.useProcesses = &processes;
        return world.loaded();
    }

    SpawnLauncher launcher;
    ProcFsProcessList processes;
    WindowWorld world;
    frmFendlemark& w = withRealTools();
};

} // namespace

TEST_F(KeyboardWindow, ListSortSelectExtractAndRefreshByKeysAlone) {
    key(Qt::Key_I, Qt::AltModifier); // "CAB f&iles:" leads to the cabinet list
    ASSERT_EQ(QApplication::focusWidget(), w.File1);
    key(Qt::Key_Space);
    ASSERT_EQ(w.lvwFiles->rowCount(), 3);

    key(Qt::Key_2, Qt::ControlModifier); // Size, as a click on its header
    EXPECT_EQ(rows(), (QStringList{"c.txt", "docs\\b.txt", "a.txt"}));
    key(Qt::Key_2, Qt::ControlModifier); // the same header again reverses
    EXPECT_EQ(rows(), (QStringList{"a.txt", "docs\\b.txt", "c.txt"}));
    EXPECT_EQ(w.lvwFiles->header()->sortIndicatorSection(), 1);
    key(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(rows(), (QStringList{"a.txt", "c.txt", "docs\\b.txt"}));

    key(Qt::Key_C, Qt::AltModifier); // "CAB &contents:"
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract 3."));
    for (int i = 0; i < 4; ++i) // Extract, Exit, the drive list, then Unselect All while shown
        key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w.lblUnSelAll);
    key(Qt::Key_Space);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract all."));

    key(Qt::Key_C, Qt::AltModifier);
    key(Qt::Key_End);
    key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract 2."));
    key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w.cmdExtract);
    // In the dialog: from the chosen rule (the default, a folder named after the cabinet) back
    // to "Preserve Path", ticked, and Enter confirms.
    QTimer::singleShot(0, [this] {
        EXPECT_TRUE(QTest::qWaitFor([] {
            return QApplication::activeModalWidget() &&
                   QApplication::activeWindow() == QApplication::activeModalWidget();
        }));
        key(Qt::Key_Tab, Qt::ShiftModifier);
        key(Qt::Key_Space);
        key(Qt::Key_Return);
        if (QWidget* open = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the dialog stayed open";
            open->close();
        }
    });
    key(Qt::Key_Space);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("2 files extracted."));
    const std::string out = world.startFolder() + "/one Extracted";
    EXPECT_EQ(readFile(out + "/c.txt"), "12");
    EXPECT_EQ(readFile(out + "/docs/b.txt"), "123");
    EXPECT_FALSE(std::filesystem::exists(out + "/a.txt"));

    writeCabinet(world.startFolder() + "/two.cab", CabPlan{{cabFile("d.txt", "1")}});
    key(Qt::Key_F5);
    EXPECT_EQ(w.File1->listCount(), 2);
}

TEST_F(KeyboardWindow, ScreenReadersFindNamesRolesAndLinks) {
    w.File1->setSelected(0, true);
    w.lvwFiles->setSelected(1, true);
    w.UpdateStatus();
    // The focusable controls' names are checked by the AT-SPI walk.
    EXPECT_EQ(access(w.lblFiles)->text(QAccessible::Name), QStringLiteral("Status"));
    EXPECT_TRUE(access(w.File1)->state().multiSelectable);
    EXPECT_EQ(w.Label3->buddy(), w.lvwFiles);
    QAccessibleInterface* dir = access(w.Dir1);
    EXPECT_EQ(dir->child(dir->childCount() - 1)->text(QAccessible::Name),
              w.Dir1->path().section(u'\\', -1)); // the current folder, without indentation

    QAccessibleInterface* unselect = access(w.lblUnSelAll);
    EXPECT_EQ(unselect->role(), QAccessible::Button);
    unselect->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(w.lvwFiles->selectedCount(), 0);
}
