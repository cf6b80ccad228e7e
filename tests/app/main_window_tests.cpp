#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "dialogs/about_box.h"
#include "platform/profile.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace fm;
using fm::test::WindowWorld;
using fm::test::writeFile;

namespace {

QRect designed(int l, int t, int w, int h) {
    return QRect(l / 15, t / 15, w / 15, h / 15);
}

} // namespace

TEST(MainWindow, ControlsSitAtTheirDesignedPlaces) {
    WindowWorld world;
    frmFendlemark& w = world.window();
    EXPECT_EQ(w.Dir1->geometry(), designed(180, 720, 3615, 1890));
    EXPECT_EQ(w.File1->geometry(), designed(3900, 720, 2175, 1845));
    EXPECT_EQ(w.lvwFiles->geometry(), designed(180, 3120, 5055, 2175));
    EXPECT_EQ(w.cmdExtract->geometry(), designed(5385, 3720, 735, 495));
    EXPECT_EQ(w.lblFiles->geometry(), designed(1620, 2880, 1935, 255));
    EXPECT_EQ(w.centralWidget()->size(), QSize(417, 365));
    EXPECT_EQ(w.cmdExtract->text(), QStringLiteral("Extract"));
    EXPECT_EQ(w.cmdClose->text(), QStringLiteral("Exit"));
    EXPECT_EQ(w.ckSelAllCabs->text(), QStringLiteral("Select All"));
    EXPECT_EQ(w.Label1->text().remove(u'&'),
              QStringLiteral("Double-click folder to view contents:"));
    EXPECT_EQ(w.File1->pattern(), QStringLiteral("*.cab"));
    for (const char* name : {"Dir1", "File1", "ckSelAllCabs", "lvwFiles", "cmdExtract", "cmdClose",
                             "Drive1", "lblUnSelAll", "lblFiles", "Label1", "Label2", "Label3"})
        EXPECT_NE(w.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST(MainWindow, TabOrderAndMenus) {
    WindowWorld world;
    frmFendlemark& w = world.window();
    QWidget* expected[] = {w.Dir1, w.File1, w.ckSelAllCabs, w.lvwFiles, w.cmdExtract, w.cmdClose};
    auto nextTabStop = [](QWidget* from) {
        QWidget* next = from->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        return next;
    };
    for (size_t i = 0; i + 1 < std::size(expected); ++i)
        EXPECT_EQ(nextTabStop(expected[i]), expected[i + 1]) << i;
    QStringList menus;
    for (QAction* a : w.menuBar()->actions()) {
        menus << a->text();
        for (QAction* item : a->menu()->actions())
            menus << QStringLiteral("  ") + item->text();
    }
    EXPECT_EQ(menus, (QStringList{"&File", "  E&xit", "&Options", "  &Change extract settings",
                                  "  &Refresh", "&Help", "  &About Fendlemark"}));
}

TEST(MainWindow, LoadLeavesAQuietStartState) {
    WindowWorld world;
    writeFile(world.startFolder() + "/a.cab", "not really");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Fendlemark"));
    EXPECT_EQ(w.lblFiles->text(), QString());
    EXPECT_FALSE(w.lblUnSelAll->isVisibleTo(&w));
    EXPECT_EQ(w.File1->listCount(), 1);
    EXPECT_EQ(w.File1->selectionFlags(), std::vector<bool>{false});
    EXPECT_EQ(w.lvwFiles->rowCount(), 0);
    EXPECT_FALSE(w.isLoading());
    EXPECT_FALSE(w.isBusy());
    // Six columns; the three visible take 47, 23 and 23 hundredths of the list's width.
    ASSERT_EQ(w.lvwFiles->columnCount(), 6);
    EXPECT_EQ(w.lvwFiles->columnKey(5), QStringLiteral("SortSize"));
    EXPECT_EQ(w.lvwFiles->columnWidth(1), static_cast<int>(0.47 * 337));
    EXPECT_EQ(w.lvwFiles->columnWidth(4), 0);
    // Outer height 6165 twips; centred on the work area (no frame offscreen).
    EXPECT_EQ(w.frameGeometry().height(), 411);
    EXPECT_EQ(w.frameGeometry().topLeft(),
              QPoint(qRound((1024 - 417) / 2.0), qRound((738 - 411) / 2.0)));
}

TEST(MainWindow, EveryWayOfClosingSavesTheSettings) {
    auto closeWith = [](auto how) {
        WindowWorld world;
        frmFendlemark& w = world.loaded();
        w.StgExtrPreservePath = 1;
        how(w);
        QApplication::processEvents();
        return GetProfileString(world.iniPath(), "Fendlemark", "ExtrPreservePath");
    };
    EXPECT_EQ(closeWith([](frmFendlemark& w) { w.close(); }), "1");
    EXPECT_EQ(closeWith([](frmFendlemark& w) { w.cmdClose->click(); }), "1");
    EXPECT_EQ(closeWith([](frmFendlemark& w) { w.mExit->trigger(); }), "1");
}

TEST(AboutBox, ShowsIdentityAndSitsOnTheOwner) {
    WindowWorld world;
    QCoreApplication::setApplicationName(QStringLiteral("Fendlemark"));
    frmFendlemark& w = world.loaded();
    w.move(100, 50);
    frmAbout about(w, world.screen);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Fendlemark"));
    EXPECT_EQ(about.lblTitle->text(), QStringLiteral("Fendlemark"));
    EXPECT_EQ(about.lblVersion->text(), QStringLiteral("Version 1.02"));
    EXPECT_EQ(about.size(), QSize(266, 144));
    EXPECT_EQ(about.pos(), QPoint(100 + (417 - 266) / 2 + 1, 50 + 22));
    EXPECT_TRUE(about.cmdOK->isDefault());
}

TEST(AboutBox, VersionTextAndPlacementArithmetic) {
    EXPECT_EQ(frmAbout::VersionText(1, 2), QStringLiteral("Version 1.02"));
    EXPECT_EQ(frmAbout::VersionText(1, 0), QStringLiteral("Version 1.00"));
    EXPECT_EQ(frmAbout::VersionText(3, 10), QStringLiteral("Version 3.10"));
    auto [left, top] = frmAbout::Position(-3000, 100, 6255, 3990, 15);
    EXPECT_FLOAT_EQ(left, -3000 + 6255 / 2.0f - 3990 / 2.0f); // off the screen is fine
    EXPECT_FLOAT_EQ(top, 100 + 22 * 15);
}

TEST(AboutBox, MenuOpensItModallyAndOkClosesIt) {
    WindowWorld world;
    frmFendlemark& w = world.loaded();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        seen = about->isModal();
        about->cmdOK->click();
    });
    w.mAbout->trigger();
    EXPECT_TRUE(seen);
}
