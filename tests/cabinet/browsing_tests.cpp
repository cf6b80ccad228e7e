// Browsing through the main window's controls: cabinets listed into the contents list, sorting,
// the selection carried across refills, the status line, Select All, drive changes and Refresh.

#include "cabinet/cabinet_enumeration.h"
#include "cabinet/contents_list.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"

#include <QLocale>
#include <filesystem>
#include <gtest/gtest.h>

using namespace fm;
using namespace fm::test;

namespace fs = std::filesystem;

namespace {

CabFilePlan file(const std::string& name, const std::string& data,
                 std::uint16_t date = dosDate(2002, 3, 15)) {
    CabFilePlan f = cabFile(name, data);
    f.date = date;
    return f;
}

// Selects entries of the file list the way a user does (through the view's selection).
void userSelect(FileList& list, std::initializer_list<int> rows) {
    QItemSelection sel;
    for (int r : rows)
        sel.select(list.model()->index(r, 0), list.model()->index(r, 0));
    list.selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
}

void userSelectRows(ListView& list, std::initializer_list<int> rows) {
    QItemSelection sel;
    for (int r : rows)
        sel.select(list.model()->index(r - 1, 0), list.model()->index(r - 1, 0));
    list.selectionModel()->select(sel,
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QStringList column(const ListView& list, int sub) {
    QStringList out;
    for (int i = 1; i <= list.rowCount(); ++i)
        out << (sub == 0 ? list.text(i) : list.subItem(i, sub));
    return out;
}

class Browsing : public ::testing::Test {
protected:
    void SetUp() override {
        CabPlan a;
        a.files = {file("readme.txt", "hello"), file("docs\\setup.txt", "0123456789"),
                   file("shared.dat", "")};
        writeCabinet(world.startFolder() + "/A.cab", a);
        CabPlan b;
        b.folders = {CabCompression::MsZip};
        b.files = {file("shared.dat", std::string(9, 'x'), dosDate(2003, 1, 2)),
                   file("Readme.txt", "other")};
        writeCabinet(world.startFolder() + "/b.cab", b);
    }
    frmFendlemark& w() { return world.loaded(); }
    QString cab(const char* name) {
        return world.drivePath(world.startFolder()) + u'\\' + QString::fromLatin1(name);
    }

    WindowWorld world;
};

} // namespace

TEST_F(Browsing, CabinetsListInOrderWithTheirOwnPaths) {
    frmFendlemark& win = w();
    userSelect(*win.File1, {0, 1});
    EXPECT_EQ(column(*win.lvwFiles, 0), (QStringList{"readme.txt", "docs\\setup.txt", "shared.dat",
                                                     "shared.dat", "Readme.txt"}));
    EXPECT_EQ(column(*win.lvwFiles, 3),
              (QStringList{cab("A.cab"), cab("A.cab"), cab("A.cab"), cab("b.cab"), cab("b.cab")}));
    EXPECT_EQ(column(*win.lvwFiles, 1), (QStringList{"5", "10", "0", "9", "5"}));
    EXPECT_EQ(column(*win.lvwFiles, 4),
              (QStringList{"0000000005", "0000000010", "0000000000", "0000000009", "0000000005"}));
    EXPECT_EQ(win.lvwFiles->subItem(4, 5), QStringLiteral("20030102"));
    EXPECT_EQ(win.lvwFiles->subItem(4, 2),
              QLocale::system().toString(QDate(2003, 1, 2), QLocale::ShortFormat));
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract all."));
    EXPECT_FALSE(win.isBusy());
    EXPECT_TRUE(world.prompt.shown.isEmpty());
}

TEST_F(Browsing, RowLayoutForOddEntries) {
    CabPlan c;
    CabFilePlan bad = file("bad date", "x", dosDate(2001, 0, 1)); // month 0
    CabFilePlan hour24 = file("late", "x");
    hour24.time = static_cast<std::uint16_t>(24 << 11);
    CabFilePlan utf = file("caf\xC3\xA9\\\xE2\x82\xAC.txt", "u");
    utf.attribs |= kAttrNameIsUtf8;
    CabFilePlan latin = file("caf\xE9\x80.txt", "l"); // Windows-1252: e acute, euro sign
    CabFilePlan huge = file("huge", "");
    huge.declaredSize = 0xFFFFFFFFu;
    c.files = {bad, hour24, utf, latin, huge};
    writeCabinet(world.startFolder() + "/c.cab", c);
    frmFendlemark& win = w();
    userSelect(*win.File1, {2});
    ASSERT_EQ(win.lvwFiles->rowCount(), 5);
    EXPECT_EQ(win.lvwFiles->subItem(1, 5), QStringLiteral("16010101"));
    EXPECT_EQ(win.lvwFiles->subItem(2, 5), QStringLiteral("16010101"));
    EXPECT_EQ(win.lvwFiles->text(3), QString::fromUtf8("caf\u00e9\\\u20ac.txt"));
    EXPECT_EQ(win.lvwFiles->text(4), QString::fromUtf8("caf\u00e9\u20ac.txt"));
    EXPECT_EQ(win.lvwFiles->subItem(5, 1), QStringLiteral("4294967295"));
    EXPECT_EQ(win.lvwFiles->subItem(5, 4), QStringLiteral("4294967295"));
}

TEST_F(Browsing, ColumnClicksSortByKeysAndFlipOnRepeat) {
    frmFendlemark& win = w();
    userSelect(*win.File1, {0, 1});
    emit win.lvwFiles->columnClick(2, QStringLiteral("Size"));
    EXPECT_EQ(column(*win.lvwFiles, 1), (QStringList{"0", "5", "5", "9", "10"}));
    emit win.lvwFiles->columnClick(2, QStringLiteral("Size"));
    EXPECT_EQ(column(*win.lvwFiles, 1), (QStringList{"10", "9", "5", "5", "0"}));
    emit win.lvwFiles->columnClick(3, QStringLiteral("Modified"));
    EXPECT_EQ(win.lvwFiles->sortKey(), 5);
    EXPECT_EQ(win.lvwFiles->subItem(5, 5), QStringLiteral("20030102"));
    // Name: key 0 after another key sorts ascending; a second click reverses.
    emit win.lvwFiles->columnClick(1, QStringLiteral("Name"));
    EXPECT_EQ(win.lvwFiles->text(1), QStringLiteral("docs\\setup.txt"));
    emit win.lvwFiles->columnClick(1, QStringLiteral("Name"));
    EXPECT_EQ(win.lvwFiles->text(1), QStringLiteral("shared.dat"));
    // A new listing lands in the active order.
    userSelect(*win.File1, {0});
    EXPECT_EQ(column(*win.lvwFiles, 0),
              (QStringList{"shared.dat", "readme.txt", "docs\\setup.txt"}));
}

TEST_F(Browsing, FirstClickOnNameSortsDescending) {
    frmFendlemark& win = w();
    userSelect(*win.File1, {0});
    emit win.lvwFiles->columnClick(1, QStringLiteral("Name"));
    EXPECT_EQ(win.lvwFiles->sortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(win.lvwFiles->text(1), QStringLiteral("shared.dat"));
}

TEST_F(Browsing, SelectionSurvivesRelistingByExactName) {
    frmFendlemark& win = w();
    userSelect(*win.File1, {0});
    userSelectRows(*win.lvwFiles, {1, 3}); // readme.txt, shared.dat
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("3 files:  Extract 2."));
    EXPECT_TRUE(win.lblUnSelAll->isVisibleTo(&win));
    userSelect(*win.File1, {0, 1});
    // The rows of the first cabinet are selected again; the second cabinet's shared.dat is
    // another file, and Readme.txt differs in case.
    EXPECT_EQ(win.lvwFiles->selectionFlags(), (std::vector<bool>{true, false, true, false, false}));
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract 2."));
}

TEST_F(Browsing, UnselectAllAndExtractionReport) {
    frmFendlemark& win = w();
    userSelect(*win.File1, {0, 1});
    userSelectRows(*win.lvwFiles, {2});
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract 1."));
    emit win.lblUnSelAll->click();
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract all."));
    EXPECT_FALSE(win.lblUnSelAll->isVisibleTo(&win));
    EXPECT_EQ(win.CountSelected(), 0);

    win.ShowExtracted(2);
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("2 files extracted."));
    EXPECT_EQ(win.lblFiles->foreColor(), kColorBlue);
    win.ShowExtracted(0);
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files extracted."));
    // The next click in the list brings back the normal colour and the count.
    userSelectRows(*win.lvwFiles, {1});
    EXPECT_EQ(win.lblFiles->foreColor(), kColorButtonText);
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract 1."));
}

TEST_F(Browsing, EmptyListBlanksStatusButKeepsColour) {
    frmFendlemark& win = w();
    win.ShowExtracted(3);
    win.ClearContents();
    win.UpdateStatus();
    EXPECT_EQ(win.lblFiles->text(), QString());
    EXPECT_EQ(win.lblFiles->foreColor(), kColorBlue);
    EXPECT_FALSE(win.lblUnSelAll->isVisibleTo(&win));
}

TEST_F(Browsing, DamagedAndForeignFilesContributeWhatTheyHave) {
    writeFile(world.startFolder() + "/0-not-a-cabinet.cab", "MZ this is no cabinet");
    std::string truncated = buildCabinet([] {
        CabPlan s;
        s.files = {file("kept.txt", "a"), file("lost.txt", "b")};
        return s;
    }());
    writeFile(world.startFolder() + "/1-truncated.cab", truncated.substr(0, 0x2C + 8 + 30));
    frmFendlemark& win = w();
    userSelect(*win.File1, {0, 1, 2});
    EXPECT_EQ(column(*win.lvwFiles, 0).front(), QStringLiteral("kept.txt"));
    EXPECT_EQ(column(*win.lvwFiles, 0).back(), QStringLiteral("shared.dat"));
    EXPECT_TRUE(world.prompt.shown.isEmpty());
}

TEST_F(Browsing, SelectAllListsEveryCabinetAndUnticksOnPartialChoice) {
    frmFendlemark& win = w();
    win.ckSelAllCabs->click();
    EXPECT_EQ(win.File1->selectionFlags(), (std::vector<bool>{true, true}));
    EXPECT_EQ(win.lvwFiles->rowCount(), 5);
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract all."));
    userSelect(*win.File1, {1});
    EXPECT_EQ(win.ckSelAllCabs->value(), 0);
    EXPECT_EQ(win.lvwFiles->rowCount(), 2);
    // Ticking again selects everything; unticking changes no selection and keeps the rows.
    win.ckSelAllCabs->click();
    userSelectRows(*win.lvwFiles, {2});
    win.ckSelAllCabs->click();
    EXPECT_EQ(win.ckSelAllCabs->value(), 0);
    EXPECT_EQ(win.File1->selectionFlags(), (std::vector<bool>{true, true}));
    EXPECT_EQ(win.lvwFiles->rowCount(), 5);
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("5 files:  Extract 1."));
}

TEST_F(Browsing, SelectAllFollowsIntoAnotherFolder) {
    fs::create_directories(world.startFolder() + "/sub");
    CabPlan s;
    s.files = {file("x", "1")};
    writeCabinet(world.startFolder() + "/sub/one.cab", s);
    writeCabinet(world.startFolder() + "/sub/two.cab", s);
    frmFendlemark& win = w();
    win.ckSelAllCabs->setValue(1);
    userSelectRows(*win.lvwFiles, {1});
    win.Dir1->setPath(QStringLiteral("sub"));
    EXPECT_EQ(win.File1->selectionFlags(), (std::vector<bool>{true, true}));
    EXPECT_EQ(win.lvwFiles->rowCount(), 2);
    EXPECT_EQ(win.CountSelected(), 0); // the old selection is forgotten
    EXPECT_EQ(win.lblFiles->text(), QStringLiteral("2 files:  Extract all."));
    // A folder without cabinets: nothing listed, status blank.
    win.Dir1->setPath(QStringLiteral(".."));
    win.Dir1->setPath(QStringLiteral("sub\\.."));
    fs::create_directories(world.startFolder() + "/empty");
    win.Dir1->setPath(QStringLiteral("empty"));
    EXPECT_EQ(win.lvwFiles->rowCount(), 0);
    EXPECT_EQ(win.lblFiles->text(), QString());
}

TEST_F(Browsing, RefreshKeepsSelectionAndContents) {
    for (int i = 0; i < 40; ++i)
        writeFile(world.startFolder() + "/z" + std::to_string(100 + i) + ".cab", "");
    frmFendlemark& win = w();
    win.show();
    userSelect(*win.File1, {0, 1, 5});
    const int rows = win.lvwFiles->rowCount();
    win.File1->setTopIndex(20);
    const int top = win.File1->topIndex();
    ASSERT_GT(top, 0);
    fs::remove(world.startFolder() + "/b.cab");
    writeFile(world.startFolder() + "/New.cab", "");
    emit win.mRefresh->triggered();
    QStringList selected;
    const auto flags = win.File1->selectionFlags();
    for (int i = 0; i < win.File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            selected << win.File1->list(i);
    EXPECT_EQ(selected, (QStringList{"A.cab", "z103.cab"}));
    EXPECT_EQ(win.File1->list(1), QStringLiteral("New.cab"));
    EXPECT_EQ(win.File1->topIndex(), top);
    EXPECT_EQ(win.lvwFiles->rowCount(), rows); // not re-listed
    EXPECT_FALSE(win.isBusy());
}

class DriveChanges : public ::testing::Test {
protected:
    TempDir stick;
    std::string missing = "/nonexistent-volume-for-tests";
    std::unique_ptr<WindowWorld> world;
    void SetUp() override {
        CabPlan s;
        s.files = {file("x", "1")};
        writeCabinet(stick.file("on-stick.cab"), s);
        world = std::make_unique<WindowWorld>(std::vector<std::string>{stick.path(), missing});
        writeCabinet(world->startFolder() + "/here.cab", s);
    }
};

TEST_F(DriveChanges, ChangeShowsTheDrivesCurrentFolderWithoutSelectingCabinets) {
    frmFendlemark& win = world->loaded();
    win.ckSelAllCabs->setValue(1);
    userSelectRows(*win.lvwFiles, {1});
    ASSERT_TRUE(win.lblUnSelAll->isVisibleTo(&win));
    emit win.Drive1->gotFocus();
    win.Drive1->setDrive(QStringLiteral("d:"));
    EXPECT_EQ(win.Dir1->path(), QStringLiteral("D:\\"));
    EXPECT_EQ(win.File1->list(0), QStringLiteral("on-stick.cab"));
    EXPECT_EQ(win.File1->selectionFlags(), std::vector<bool>{false});
    EXPECT_EQ(win.lvwFiles->rowCount(), 0);
    EXPECT_EQ(win.lblFiles->text(), QString());
    EXPECT_EQ(win.ckSelAllCabs->value(), 1);
    EXPECT_TRUE(win.lblUnSelAll->isVisibleTo(&win));
    EXPECT_FALSE(win.isBusy());
    EXPECT_EQ(win.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(DriveChanges, FailedDriveReportsAndReturnsToTheDriveItHadOnFocus) {
    frmFendlemark& win = world->loaded();
    emit win.Drive1->gotFocus();
    EXPECT_TRUE(win.prevDrive().startsWith(u'c'));
    win.Drive1->setDrive(QStringLiteral("d:"));
    win.Drive1->setDrive(QStringLiteral("e:"));
    ASSERT_EQ(world->prompt.shown.size(), 1);
    EXPECT_EQ(world->prompt.shown[0], QStringLiteral("Error 2: No such file or directory."));
    EXPECT_TRUE(win.Drive1->drive().startsWith(u'c'));
    EXPECT_EQ(win.Dir1->path(), QStringLiteral("D:\\"));
    EXPECT_EQ(win.lblFiles->text(), QString());
    EXPECT_FALSE(win.isBusy());
}

TEST_F(DriveChanges, FailureBeforeAnyFocusFallsBackToTheShownFolder) {
    frmFendlemark& win = world->loaded();
    win.Drive1->setDrive(QStringLiteral("e:"));
    EXPECT_EQ(world->prompt.shown.size(), 1);
    EXPECT_TRUE(win.Drive1->drive().startsWith(u'c'));
}

TEST(ContentsList, SortColumnForHeaders) {
    ListView list;
    for (const char* key : {"Name", "Size", "Modified", "Path", "SortSize", "SortDate"})
        list.addColumn(QString::fromLatin1(key), QString::fromLatin1(key), 10);
    EXPECT_EQ(SortColumnFor(list, 1, QStringLiteral("Name")), 0);
    EXPECT_EQ(SortColumnFor(list, 2, QStringLiteral("Size")), 4);
    EXPECT_EQ(SortColumnFor(list, 3, QStringLiteral("Modified")), 5);
    EXPECT_EQ(SortColumnFor(list, 4, QStringLiteral("Path")), 3);
}
