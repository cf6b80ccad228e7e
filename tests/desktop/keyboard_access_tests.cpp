#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <gtest/gtest.h>

using namespace fm;
using namespace fm::test;

namespace {

// The main window shown and active on a folder with a cabinet: keys go where the user's keys go,
// to the focus widget through the shortcut map.
class KeyboardWindow : public ::testing::Test {
protected:
    void SetUp() override {
        writeCabinet(
            world.startFolder() + "/one.cab",
            CabPlan{{cabFile("b.txt", "1234"), cabFile("a.txt", "12"), cabFile("c.txt", "123")}});
        w.File1->refresh();
        w.show();
        QApplication::setActiveWindow(&w);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        w.Dir1->setFocus();
    }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    QStringList rows() {
        QStringList out;
        for (int i = 1; i <= w.lvwFiles->rowCount(); ++i)
            out << w.lvwFiles->text(i);
        return out;
    }
    QAccessibleInterface* access(QObject* o) { return QAccessible::queryAccessibleInterface(o); }

    WindowWorld world;
    frmFendlemark& w = world.loaded();
};

} // namespace

TEST_F(KeyboardWindow, ListSortSelectUnselectAndRefreshByKeys) {
    key(Qt::Key_I, Qt::AltModifier); // "CAB f&iles:" leads to the cabinet list
    ASSERT_EQ(QApplication::focusWidget(), w.File1);
    key(Qt::Key_Space);
    ASSERT_EQ(w.lvwFiles->rowCount(), 3);

    key(Qt::Key_2, Qt::ControlModifier); // Size, as a click on its header
    EXPECT_EQ(rows(), (QStringList{"a.txt", "c.txt", "b.txt"}));
    key(Qt::Key_2, Qt::ControlModifier); // the same header again reverses
    EXPECT_EQ(rows(), (QStringList{"b.txt", "c.txt", "a.txt"}));
    EXPECT_EQ(w.lvwFiles->header()->sortIndicatorSection(), 1);
    key(Qt::Key_1, Qt::ControlModifier);
    EXPECT_EQ(rows(), (QStringList{"a.txt", "b.txt", "c.txt"}));

    key(Qt::Key_C, Qt::AltModifier); // "CAB &contents:"
    key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract 3."));
    w.Drive1->setFocus(); // Unselect All is the tab stop after the drive list while shown
    key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w.lblUnSelAll);
    key(Qt::Key_Space);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract all."));

    writeCabinet(world.startFolder() + "/two.cab", CabPlan{{cabFile("d.txt", "1")}});
    key(Qt::Key_F5);
    EXPECT_EQ(w.File1->listCount(), 2);
}

TEST_F(KeyboardWindow, ScreenReadersFindNamesRolesAndLinks) {
    w.File1->setSelected(0, true);
    w.lvwFiles->setSelected(1, true);
    w.UpdateStatus();
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (c->isVisible() && (c->focusPolicy() & Qt::TabFocus)) {
            EXPECT_FALSE(access(c)->text(QAccessible::Name).isEmpty()) << c->objectName().data();
        }
    }
    EXPECT_EQ(access(w.Drive1)->text(QAccessible::Name), QStringLiteral("Drive"));
    EXPECT_EQ(access(w.lblFiles)->text(QAccessible::Name), QStringLiteral("Status"));
    EXPECT_EQ(access(w.File1)->text(QAccessible::Name), QStringLiteral("CAB files:"));
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
