#include "support/window_tests.h"

#include <QMenu>

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
    QStringList rows() { return columnTexts(*w.lvwFiles); }
    QAccessibleInterface* access(QObject* o) { return QAccessible::queryAccessibleInterface(o); }
    frmFendlemark& withRealTools() {
        world.useRealTools(FM_PROGRAM_FOLDER);
        return world.loaded();
    }

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
    key(Qt::Key_3, Qt::ControlModifier); // Modified
    EXPECT_EQ(w.lvwFiles->header()->sortIndicatorSection(), 2);
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
    QStringList enabled; // the rows' menu with none selected: only Select All Rows
    QTimer::singleShot(100, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu) << "no menu came up";
        for (QAction* a : menu->actions())
            if (a->isEnabled() && !a->isSeparator())
                enabled << a->objectName();
        menu->close();
    });
    key(Qt::Key_C, Qt::AltModifier);
    key(Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(enabled, QStringList{QStringLiteral("rowsSelectAll")});

    key(Qt::Key_C, Qt::AltModifier);
    key(Qt::Key_End);
    key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract 2."));
    key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w.cmdExtract);
    // In the dialog: from the chosen rule (the default, a folder named after the cabinet) back
    // to "Preserve Path", ticked, and Enter confirms.
    onNextModal<frmExtractTo>([](frmExtractTo&) {
        key(Qt::Key_Tab, Qt::ShiftModifier);
        key(Qt::Key_Space);
        key(Qt::Key_Return);
    });
    key(Qt::Key_Space);
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("2 files extracted."));
    const std::string out = world.startFolder() + "/one Extracted";
    EXPECT_EQ(readFile(out + "/c.txt"), "12");
    EXPECT_EQ(readFile(out + "/docs/b.txt"), "123");
    EXPECT_FALSE(std::filesystem::exists(out + "/a.txt"));
}

// A focus frame shows on the current entry of each list (also a selected one) and on the option
// focused in the Extract dialog; Enter presses the focused button, not the default one.
TEST_F(KeyboardWindow, TheFocusCanBeSeen) {
    // The largest change in grey (0..255) between `w` grabbed with the focus and without it.
    const auto focusShows = [](QWidget& w, QWidget& away, const std::function<void()>& focus) {
        focus();
        EXPECT_TRUE(w.hasFocus()) << w.objectName().toStdString();
        const QImage on = w.grab().toImage();
        away.setFocus();
        const QImage off = w.grab().toImage();
        int most = 0;
        for (int y = 0; y < on.height(); ++y)
            for (int x = 0; x < on.width(); ++x)
                most = std::max(most, std::abs(qGray(on.pixel(x, y)) - qGray(off.pixel(x, y))));
        return most;
    };
    key(Qt::Key_I, Qt::AltModifier);
    key(Qt::Key_Space); // one.cab selected and current, its files listed
    for (auto [mnemonic, list] : {std::pair<Qt::Key, QWidget*>{Qt::Key_D, w.Dir1},
                                  {Qt::Key_I, w.File1},
                                  {Qt::Key_C, w.lvwFiles}})
        EXPECT_GE(focusShows(*list, *w.cmdClose, [&] { key(mnemonic, Qt::AltModifier); }), 120)
            << list->objectName().toStdString();
    bool opened = false;
    onNextModal<frmExtractTo>([&](frmExtractTo& d) {
        opened = true;
        EXPECT_GE(focusShows(*d.obSamePlus, *d.cmdCancel, [] {}), 120);
        key(Qt::Key_Return);
    });
    w.cmdExtract->setFocus();
    key(Qt::Key_Return);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(std::filesystem::exists(world.startFolder() + "/one Extracted"));
    EXPECT_EQ(w.lblFiles->text(), QStringLiteral("3 files:  Extract all."));
    w.cmdClose->setFocus();
    key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(w.isVisible());
}

// The status line is a status bar named by what it shows (its announcements reach AT-SPI only:
// the walk in desktop_session.py hears them); the controls' names are checked by that walk too.
TEST_F(KeyboardWindow, ScreenReadersFindNamesRolesAndLinks) {
    key(Qt::Key_I, Qt::AltModifier);
    key(Qt::Key_Space);
    QAccessibleInterface* status = access(w.lblFiles);
    EXPECT_EQ(status->role(), QAccessible::StatusBar);
    EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("3 files:  Extract all."));
    w.ShowExtracted(0);
    EXPECT_EQ(status->text(QAccessible::Name), QStringLiteral("3 files extracted."));

    w.lvwFiles->setSelected(1, true);
    w.UpdateStatus();
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
