// Browsing through the main window's controls, as a user does: listing, sorting, selecting, drives.

#include "cabinet/unreadable.h"
#include "dialogs/select_matching.h"
#include "support/window_tests.h"

#include <QLineEdit>
#include <QLocale>

namespace {

void clickHeader(frmFendlemark& w, int section) {
    QHeaderView* h = w.lvwFiles->header();
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(section) + 5, 5));
}

// The tooltip the cabinet list shows over an entry, "" for none.
QString tipOver(FileList& list, int row) {
    const QPoint at = list.visualItemRect(list.item(row)).center();
    QHelpEvent help(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list.viewport(), &help);
    const QString tip = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return tip;
}

class Browsing : public ::testing::Test {
protected:
    void SetUp() override {
        writeCabinet(world.startFolder() + "/A.cab",
                     {{cabFile("readme.txt", "hello"), cabFile("docs\\setup.txt", "0123456789"),
                       cabFile("shared.dat", "")}});
        CabFilePlan shared = cabFile("shared.dat", std::string(9, 'x'));
        shared.date = dosDate(2003, 1, 2);
        writeCabinet(world.startFolder() + "/b.cab",
                     {{shared, cabFile("Readme.txt", "other")}, {CabCompression::MsZip}});
    }
    frmFendlemark& w() {
        frmFendlemark& win = world.loaded();
        win.show();
        return win;
    }
    QString cab(const char* name) {
        return world.drivePath(world.startFolder()) + u'\\' + QString::fromLatin1(name);
    }
    WindowWorld world;
};

} // namespace

TEST_F(Browsing, CabinetsListInOrderWithTheirOwnPathsKeysAndTooltipsAndSortByHeaders) {
    frmFendlemark& win = w();
    clickRows(*win.File1, {0, 1});
    EXPECT_EQ(
        columnTexts(*win.lvwFiles, 0),
        (QStringList{"readme.txt", "docs\\setup.txt", "shared.dat", "shared.dat", "Readme.txt"}));
    EXPECT_EQ(columnTexts(*win.lvwFiles, 3),
              (QStringList{cab("A.cab"), cab("A.cab"), cab("A.cab"), cab("b.cab"), cab("b.cab")}));
    EXPECT_EQ(columnTexts(*win.lvwFiles, 1), (QStringList{"5", "10", "0", "9", "5"}));
    EXPECT_EQ(columnTexts(*win.lvwFiles, 4),
              (QStringList{"0000000005", "0000000010", "0000000000", "0000000009", "0000000005"}));
    EXPECT_EQ(win.lvwFiles->subItem(4, 5), QStringLiteral("20030102"));
    EXPECT_EQ(win.lvwFiles->subItem(4, 2),
              QLocale::system().toString(QDate(2003, 1, 2), QLocale::ShortFormat));
    EXPECT_EQ(win.lvwFiles->model()->index(1, 1).data(Qt::ToolTipRole).toString(),
              QStringLiteral("docs\\setup.txt\nA.cab"));
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract all."));
    EXPECT_FALSE(win.isBusy());
    // Header clicks sort by each column's key and flip on a repeat.
    clickRows(*win.File1, {0});
    clickHeader(win, 0); // the first click on Name: descending
    EXPECT_EQ(columnTexts(*win.lvwFiles, 0),
              (QStringList{"shared.dat", "readme.txt", "docs\\setup.txt"}));
    clickRows(*win.File1, {0, 1});
    clickHeader(win, 1);
    EXPECT_EQ(columnTexts(*win.lvwFiles, 1), (QStringList{"0", "5", "5", "9", "10"}));
    clickHeader(win, 1);
    EXPECT_EQ(columnTexts(*win.lvwFiles, 1), (QStringList{"10", "9", "5", "5", "0"}));
    clickHeader(win, 2);
    EXPECT_EQ(win.lvwFiles->sortKey(), 5);
    EXPECT_EQ(win.lvwFiles->subItem(5, 5), QStringLiteral("20030102"));
    clickHeader(win, 0);
    EXPECT_EQ(win.lvwFiles->text(1), QStringLiteral("docs\\setup.txt"));
    // A new listing lands in the active order.
    clickRows(*win.File1, {1});
    EXPECT_EQ(columnTexts(*win.lvwFiles, 0), (QStringList{"Readme.txt", "shared.dat"}));
    // A cabinet named with a byte that is not UTF-8: its rows carry its real path.
    writeCabinet(world.startFolder() + "/c\xFF.cab", {{cabFile("x", "1")}});
    win.File1->refresh();
    clickRows(*win.File1, {2});
    EXPECT_EQ(win.File1->item(2)->text(), QStringLiteral("c\uFFFD.cab"));
    EXPECT_EQ(TextToPath(win.lvwFiles->subItem(1, 3)), TextToPath(cab("")) + "c\xFF.cab");
}

// Cabinets that cannot be read are named in the status line (the reasons in its tooltip),
// marked in the cabinet list, and explained in one message only when nothing could be listed.
TEST_F(Browsing, UnreadableCabinetsAreNamedMarkedAndExplainedOnce) {
    writeFile(world.startFolder() + "/c-bad.cab", "MZ this is no cabinet");
    const CabPlan plan{{cabFile("one", "1"), cabFile("two", "2")}};
    writeFile(world.startFolder() + "/d-cut.cab",
              buildCabinet(plan).substr(0, layoutOf(plan).firstFileEntry + 20));
    frmFendlemark& win = w();
    const QString notCab = QStringLiteral("c-bad.cab: This is not a cabinet file.");
    clickRows(*win.File1, {2});
    EXPECT_EQ(world.prompt.shown,
              QStringList{QStringLiteral("The selected CAB file cannot be read:\n\n") + notCab});
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("Cannot read c-bad.cab."));
    EXPECT_EQ(win.lblFiles->toolTip(), notCab);
    QTest::mouseClick(win.cmdExtract, Qt::LeftButton); // not "Select a CAB file to view."
    EXPECT_EQ(world.prompt.shown.value(1), world.prompt.shown.value(0));

    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton);
    EXPECT_EQ(world.prompt.shown.size(), 2); // rows were listed: no message
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("6 files:  Extract all.  2 unreadable."));
    EXPECT_GE(win.lblFiles->width(),
              win.lblFiles->fontMetrics().horizontalAdvance(win.lblFiles->text()));
    EXPECT_EQ(win.lblFiles->toolTip(),
              notCab + QStringLiteral(
                           "\nd-cut.cab: The cabinet is damaged: 1 of its 2 files could be read."));
    // The marks: a sign, the reason in the tooltip and for screen readers; none on good ones.
    for (int row = 0; row < 4; ++row) {
        const bool bad = row >= 2;
        QListWidgetItem* item = win.File1->item(row);
        EXPECT_EQ(item->icon().isNull(), !bad) << row;
        const QString tip = tipOver(*win.File1, row);
        EXPECT_EQ(tip.startsWith(QStringLiteral("Cannot be read: ")), bad)
            << row << tip.toStdString();
        EXPECT_EQ(item->data(Qt::AccessibleDescriptionRole).toString(), bad ? tip : QString());
    }
}

// A part of a spanned set selected without its neighbours names them, in its tooltip and the
// status line's; the headers name the parts in another letter case.
TEST_F(Browsing, APartSelectedWithoutItsNeighboursNamesThem) {
    const std::string shared = sharedDir();
    if (shared.empty())
        GTEST_SKIP() << "the shared folder with real cabinets is absent";
    for (const char* n : {"/split-1.cab", "/split-2.cab", "/split-3.cab", "/split-4.cab"})
        std::filesystem::copy_file(shared + "/cabs" + n, world.startFolder() + n);
    frmFendlemark& win = w(); // rows: A.cab, b.cab, split-1 .. split-4
    const struct {
        std::vector<int> rows;
        const char* note;
    } cases[] = {
        {{3},
         "the part before, split-1.cab, is not selected; the part after, split-3.cab, is not "
         "selected."},
        {{5},
         "the part before, split-3.cab, is not selected; the part after, Split-5.CAB, is "
         "missing."},
        {{0, 1}, ""},
    };
    for (const auto& c : cases) {
        clickRows(*win.File1, c.rows);
        const int last = c.rows.back();
        const QString note = *c.note ? QStringLiteral("Part of a spanned set: ") + c.note : "";
        EXPECT_EQ(tipOver(*win.File1, last), note) << last;
        EXPECT_EQ(win.lblFiles->toolTip(),
                  note.isEmpty() ? note : win.File1->list(last) + QStringLiteral(": ") + note);
    }
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract all."));
}

TEST_F(Browsing, CtrlFSelectsTheRowsMatchingThePatternTypedIntoItsPrompt) {
    writeCabinet(world.startFolder() + "/c.cab",
                 {{cabFile("drv\\net.INF", "a"), cabFile("notes.txt", "b")}});
    frmFendlemark& win = w();
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton, {}, QPoint(6, 6)); // A, b and c: 7 rows
    clickRows(*win.lvwFiles, {2});
    // Ctrl+F, the offered pattern read, `typed` typed over it, then `key`.
    auto selectMatching = [&](const char* typed, Qt::Key key = Qt::Key_Return) {
        QString offered;
        QApplication::setActiveWindow(&win); // back from the prompt, as a window manager does
        QTimer::singleShot(0, [&] {
            auto* ask = qobject_cast<frmSelectMatching*>(QApplication::activeModalWidget());
            ASSERT_NE(ask, nullptr);
            offered = ask->txtPattern->text();
            QTest::keyClicks(ask->txtPattern, QString::fromUtf8(typed));
            QTest::keyClick(ask->txtPattern, key);
        });
        QTest::keyClick(win.lvwFiles, Qt::Key_F, Qt::ControlModifier);
        return offered;
    };
    const std::pair<const char*, std::vector<bool>> cases[] = {
        // Rows: readme.txt, docs\setup.txt, shared.dat | shared.dat, Readme.txt | drv\net.INF,
        // notes.txt
        {"*.TXT", {true, true, false, false, true, false, true}},
        {"DRV\\*", {false, false, false, false, false, true, false}},    // the whole name
        {"setup.txt", {false, true, false, false, false, false, false}}, // its last part
        {"?EADME.*", {true, false, false, false, true, false, false}},
        {"*.*", std::vector<bool>(7, true)}};
    QString last = QStringLiteral("*.*");
    for (const auto& [pattern, rows] : cases) {
        EXPECT_EQ(selectMatching(pattern), last);
        last = QString::fromUtf8(pattern);
        EXPECT_EQ(win.lvwFiles->selectionFlags(), rows) << pattern;
        EXPECT_EQ(win.lvwFiles->currentRow(),
                  std::find(rows.begin(), rows.end(), true) - rows.begin() + 1)
            << pattern; // the first match
        const auto n = std::count(rows.begin(), rows.end(), true);
        EXPECT_EQ(win.lblFiles->text(), QStringLiteral("7 files:  Extract %1.").arg(n));
        EXPECT_TRUE(win.lblUnSelAll->isVisibleTo(&win));
    }
    EXPECT_EQ(selectMatching("none", Qt::Key_Escape), last); // cancelled: nothing changes
    EXPECT_EQ(win.CountSelected(), 7);
    // No match keeps the selection (none would mean all) and says so.
    EXPECT_EQ(selectMatching("*.zip"), last);
    EXPECT_EQ(win.CountSelected(), 7);
    EXPECT_EQ(world.prompt.shown, QStringList{QStringLiteral("No rows match *.zip.")});
}

TEST_F(Browsing, SelectAllListsEveryCabinetHereAndInTheNextFolder) {
    fs::create_directories(world.startFolder() + "/sub");
    fs::create_directories(world.startFolder() + "/empty");
    for (const char* name : {"/sub/one.cab", "/sub/two.cab"})
        writeCabinet(world.startFolder() + name, {{cabFile("x", "1")}});
    frmFendlemark& win = w();
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton);
    EXPECT_EQ(win.File1->selectionFlags(), (std::vector<bool>{true, true}));
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract all."));
    clickRows(*win.File1, {1});
    EXPECT_EQ(win.ckSelAllCabs->value(), 0);
    EXPECT_EQ(win.lvwFiles->rowCount(), 2);
    // Ticking selects everything; unticking changes no selection and keeps the rows.
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton);
    clickRows(*win.lvwFiles, {1});
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton);
    EXPECT_EQ(win.File1->selectionFlags(), (std::vector<bool>{true, true}));
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract 1."));
    // Into another folder: all its cabinets listed, the old selection forgotten.
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton);
    win.Dir1->setPath(QStringLiteral("sub"));
    EXPECT_EQ(win.File1->selectionFlags(), (std::vector<bool>{true, true}));
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("2 files:  Extract all."));
    win.Dir1->setPath(QStringLiteral("..\\empty"));
    EXPECT_EQ(win.lvwFiles->rowCount(), 0);
    EXPECT_EQ(win.lblFiles->text(), QString());
}

TEST(DriveChanges, PickedFromTheDropDownAndReturningToTheDriveOfTheFocusArrival) {
    TempDir stick;
    writeCabinet(stick.file("on-stick.cab"), {{cabFile("x", "1")}});
    WindowWorld world({stick.path(), "/nonexistent-volume-for-tests"});
    writeCabinet(world.startFolder() + "/here.cab", {{cabFile("x", "1")}});
    frmFendlemark& win = world.loaded();
    win.show();
    QApplication::setActiveWindow(&win);
    win.Dir1->setFocus();
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton);
    clickRows(*win.lvwFiles, {0});
    auto pick = [&] { // open the drop-down with the mouse, choose the next drive with the keys
        QTest::mouseClick(win.Drive1, Qt::LeftButton);
        QApplication::processEvents();
        QTest::keyClick(win.Drive1->view(), Qt::Key_Down);
        QTest::keyClick(win.Drive1->view(), Qt::Key_Return);
        QApplication::processEvents();
    };
    pick();
    EXPECT_TRUE(win.prevDrive().startsWith(u'c'));
    // d: shows its current folder, selects no cabinet, leaves "Unselect All" as it was.
    EXPECT_EQ(win.Dir1->path(), QStringLiteral("D:\\"));
    EXPECT_EQ(win.File1->selectionFlags(), std::vector<bool>{false});
    EXPECT_EQ(win.lvwFiles->rowCount(), 0);
    EXPECT_EQ(win.lblFiles->text(), QString());
    EXPECT_EQ(win.ckSelAllCabs->value(), 1);
    EXPECT_TRUE(win.lblUnSelAll->isVisibleTo(&win));
    pick(); // e: fails, and the list returns to c:, the drive it had when the focus came
    ASSERT_EQ(world.prompt.shown, QStringList{"Error 2: No such file or directory."});
    EXPECT_TRUE(win.Drive1->drive().startsWith(u'c'));
    EXPECT_EQ(win.Dir1->path(), QStringLiteral("D:\\"));
    EXPECT_FALSE(win.isBusy());
    EXPECT_EQ(win.cursor().shape(), Qt::ArrowCursor);
}

// The report of a run stays through the refresh that follows it, also at the root of a drive.
TEST(DriveRoots, TheReportOfARunStaysThroughTheRefreshAfterIt) {
    TempDir volume;
    writeCabinet(volume.file("one.cab"), {{cabFile("a.txt", "1"), cabFile("b.txt", "2")}});
    WindowWorld world({volume.path()});
    QString onC = QStringLiteral("C:") + QString::fromStdString(volume.path());
    onC.replace(u'/', u'\\');
    for (const QString& folder : {onC, QStringLiteral("D:\\")}) {
        frmFendlemark& w = world.loaded();
        w.show();
        w.StgExtrAlwaysSame = 1;
        w.StgExtrObName = QStringLiteral("obSamePlus");
        w.Drive1->setDrive(folder.left(2));
        w.Dir1->setPath(folder);
        clickRows(*w.File1, {0});
        QTest::mouseClick(w.cmdExtract, Qt::LeftButton);
        EXPECT_EQ(w.lblFiles->text(), QStringLiteral("2 files extracted.")) << folder.toStdString();
        world.close();
    }
}

// Ten unreadable cabinets are all named; past ten the rest are counted.
TEST(UnreadableDetails, NameTenAndCountTheRest) {
    for (const int n : {10, 11, 13}) {
        const QList<UnreadableCab> cabs(n, {QStringLiteral("a.cab"), QStringLiteral("Cut short.")});
        const QStringList lines = UnreadableDetails(cabs).split(u'\n');
        EXPECT_EQ(lines.size(), n == 10 ? 10 : 11) << n;
        EXPECT_EQ(lines.back(), n == 10 ? QStringLiteral("a.cab: Cut short.")
                                        : QStringLiteral("... and %1 more.").arg(n - 10))
            << n;
    }
}
