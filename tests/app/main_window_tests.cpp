#include "app/open_targets.h"
#include "dialogs/about_box.h"
#include "support/window_tests.h"

#include <QMenu>
#include <QMenuBar>

TEST(MainWindow, ControlsTabOrderAndMenusAsDesigned) {
    WindowWorld world;
    QCoreApplication::setApplicationName(QStringLiteral("Fendlemark"));
    fm::test::writeFile(world.startFolder() + "/a.cab", "not really");
    frmFendlemark& w = world.window();
    auto designed = [](int l, int t, int wd, int h) {
        return QRect(l / 15, t / 15, wd / 15, h / 15);
    };
    EXPECT_EQ(w.Dir1->geometry(), designed(180, 720, 3615, 1890));
    EXPECT_EQ(w.cmdExtract->geometry(), designed(5385, 3720, 735, 495));
    EXPECT_EQ(w.centralWidget()->size(), QSize(417, 365));
    EXPECT_EQ(w.File1->pattern(), QStringLiteral("*.cab"));
    QWidget* order[] = {w.Dir1, w.File1, w.ckSelAllCabs, w.lvwFiles, w.cmdExtract, w.cmdClose};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget* next = order[i]->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        EXPECT_EQ(next, order[i + 1]) << i;
    }
    QStringList menus;
    for (QAction* a : w.menuBar()->actions()) {
        menus << a->text();
        for (QAction* item : a->menu()->actions())
            menus << QStringLiteral("  ") + item->text();
    }
    // The designed menus, then the everyday actions added below a separator.
    EXPECT_EQ(
        menus,
        (QStringList{"&File", "  &Back", "  ", "  E&xit", "&Options", "  &Change extract settings",
                     "  &Refresh", "  Select &Matching Rows\u2026", "  ",
                     "  &Test Selected Cabinets", "  Open &Destination Folder",
                     "  File &Name Encoding", "  &Look Inside Installers and Update Packages",
                     "&Help", "  &About Fendlemark"}));

    // Loaded: a quiet, fixed, centred window.
    world.loaded();
    EXPECT_EQ(w.lblFiles->text(), QString());
    EXPECT_FALSE(w.lblUnSelAll->isVisibleTo(&w));
    EXPECT_EQ(w.File1->selectionFlags(), std::vector<bool>{false});
    EXPECT_EQ(w.lvwFiles->rowCount(), 0);
    EXPECT_FALSE(w.isLoading() || w.isBusy());
    // Six columns; the three visible take 47, 23 and 23 hundredths of the list's width, and only
    // they reach a screen reader.
    ASSERT_EQ(w.lvwFiles->columnCount(), 6);
    EXPECT_EQ(w.lvwFiles->columnWidth(1), static_cast<int>(0.47 * 337));
    EXPECT_EQ(w.lvwFiles->columnWidth(4), 0);
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(w.lvwFiles);
    ASSERT_TRUE(table && table->tableInterface());
    EXPECT_EQ(table->tableInterface()->columnCount(), 3);
    // Outer height 6165 twips (no frame offscreen), a fixed size, centred on the work area.
    EXPECT_EQ(w.frameGeometry().height(), 411);
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(w.frameGeometry().topLeft(),
              QPoint(qRound((1024 - 417) / 2.0), qRound((738 - 411) / 2.0)));

    // About opens modally on the owner.
    w.move(100, 50);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        seen = about->isModal();
        EXPECT_EQ(about->windowTitle(), QStringLiteral("About Fendlemark"));
        EXPECT_EQ(about->lblVersion->text(), QStringLiteral("Version 1.02"));
        EXPECT_EQ(VersionText(), QStringLiteral("Fendlemark 1.02")); // --version, as the package
        EXPECT_EQ(about->size(), QSize(266, 144));
        EXPECT_EQ(about->pos(), QPoint(100 + (417 - 266) / 2 + 1, 50 + 22));
        EXPECT_TRUE(about->cmdOK->isDefault());
        about->cmdOK->click();
    });
    w.mAbout->trigger();
    EXPECT_TRUE(seen);
}

TEST(AboutBox, PlacementMayLeaveTheScreen) {
    auto [left, top] = frmAbout::Position(-3000, 100, 6255, 3990, 15);
    EXPECT_FLOAT_EQ(left, -3000 + 6255 / 2.0f - 3990 / 2.0f); // off the screen is fine
    EXPECT_FLOAT_EQ(top, 100 + 22 * 15);
}
