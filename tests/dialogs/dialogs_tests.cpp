// The Extract command, the extract-to dialog and its folder picker, driven by mouse and keys.

#include "platform/command_line.h"
#include "support/window_tests.h"

namespace {

void type(const QString& text) {
    for (QChar c : text) // beyond ASCII as text alone, as from an input method
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(),
                            c.unicode() < 0x80 ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown,
                            QString(c), {});
}
QString option(const frmExtractTo& d) {
    for (QRadioButton* b : {d.obSameFolder, d.obSamePlus, d.obSetFolder})
        if (b->isChecked())
            return b->objectName();
    return QString();
}

class Dialogs : public ::testing::Test {
protected:
    Dialogs() {
        win.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &win; }));
    }
    frmFendlemark& loadedOverFiles() {
        writeCabinet(world.startFolder() + "/A.cab",
                     {{cabFile("readme.txt", "hello"), cabFile("docs\\setup.txt", "0123456789")}});
        writeCabinet(world.startFolder() + "/Bee.cab", {{cabFile("other.dat", "x")}});
        std::filesystem::create_directories(world.startFolder() + "/sub");
        return world.loaded();
    }
    void settings(std::function<void(frmExtractTo&)> act) {
        onNextModal(std::move(act));
        win.mChangeExtract->trigger();
    }
    void extract(std::function<void(frmExtractTo&)> act) {
        onNextModal(std::move(act));
        click(*win.cmdExtract);
    }
    void typeFolder(frmExtractTo& d, const QString& text) {
        click(*d.obSetFolder);
        click(*d.tbSetFolder);
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_Delete);
        type(text);
    }

    TempDir vol;
    WindowWorld world{{vol.path()}}; // d:
    frmFendlemark& win = loadedOverFiles();
    QString start = world.drivePath(world.startFolder());
    QString plus = start + "\\'CAB Name' Extracted";
};

// POSIX paths and ~ (here the start folder) are also shown back in drive form once typed.
TEST_F(Dialogs, StartUpShowsTheSavedRule) {
    struct Case {
        QString name, folder, option, text;
        bool editable;
    } cases[] = {
        {QString(), QString(), "obSamePlus", plus, false},
        {"obSameFolder", "D:\\old", "obSameFolder", start, false},
        {"obSetFolder", "", "obSetFolder", start, true},
        {"obSetFolder", "D:\\x y", "obSetFolder", "D:\\x y", true},
        {"obsetfolder", "D:\\x y", QString(), QString(), false}, // names compare exactly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString() + " " + c.folder.toStdString());
        win.StgExtrObName = c.name;
        win.StgExtrSetFolder = c.folder;
        settings([&](frmExtractTo& d) {
            EXPECT_EQ(d.cmdExtractEnter->text(), "Enter");
            EXPECT_EQ(option(d), c.option);
            EXPECT_EQ(d.tbSetFolder->text(), c.text);
            EXPECT_EQ(d.tbSetFolder->locked(), !c.editable);
            EXPECT_EQ(d.tbSetFolder->foreColor(), c.editable ? kColorWindowText : kColorGrayText);
            EXPECT_EQ(d.tbSetFolder->cursorPosition(), c.text.size());
            EXPECT_NE(QApplication::focusWidget(), d.tbSetFolder); // no focus at start-up
            EXPECT_FALSE(d.tbSelFileNm->isVisible() || d.lblSelFile->isVisible());
            key(Qt::Key_Escape);
        });
    }
}

TEST_F(Dialogs, TypedFoldersAreCleanedOrReplacedByTheDefault) {
    const QString posix = PathToText(world.startFolder());
    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", TextToPath(posix).c_str());
    const std::tuple<QString, QString, bool> cases[] = {
        // typed, stored, shown back
        {"  C:\\\\Temp\\\\\\sub dir\\", "C:\\Temp\\sub dir\\", false},
        {"d:\\x", "d:\\x", false}, // the drive list's entry reads "d: [...]"
        {"\"\u00e9C:\\x\"", "C:\\x\"", false},
        {"\\\\server\\share", plus, false},
        {"q:\\x", plus, false},
        {"12 ..", plus, false},
        {"", plus, false},
        {posix + "/sub", start + "\\sub", true},
        {"  " + posix + "/sub/  ", start + "\\sub\\", true},
        {"~", start, true},
        {" ~/out ", start + "\\out", true},
        {"~out", plus, false},
    };
    for (const auto& [typed, stored, shownBack] : cases) {
        SCOPED_TRACE(typed.toStdString());
        settings([&](frmExtractTo& d) {
            typeFolder(d, typed);
            key(Qt::Key_Tab);
            EXPECT_EQ(d.tbSetFolder->text(), shownBack ? stored : typed);
            click(*d.cmdExtractEnter);
        });
        EXPECT_EQ(win.StgExtrObName, "obSetFolder");
        EXPECT_EQ(win.StgExtrSetFolder, stored);
    }
    qputenv("HOME", home);
}

TEST_F(Dialogs, SettingsModeStoresTheRuleAndStartsNothing) {
    win.StgExtrAlwaysSame = 1;
    settings([&](frmExtractTo& d) {
        EXPECT_EQ(d.ckAlwaysSame->value(), 1);
        click(*d.ckAlwaysSame);
        click(*d.ckPreservePath);
        click(*d.obSameFolder);
        click(*d.tbSetFolder);
        type("zz"); // locked under this rule
        EXPECT_EQ(d.tbSetFolder->text(), start);
        click(*d.cmdExtractEnter);
    });
    EXPECT_EQ(win.StgExtrAlwaysSame, 0);
    EXPECT_EQ(win.StgExtrPreservePath, 1);
    EXPECT_EQ(win.StgExtrObName, "obSameFolder");
    EXPECT_EQ(win.StgExtrSetFolder, start);
    EXPECT_FALSE(win.GoExtract || win.ChangeSettings);
    EXPECT_NE(win.lblFiles->foreColor(), kColorBlue);
}

TEST_F(Dialogs, BrowsePicksTheOpenedFolderOnEnterOnly) {
    settings([&](frmExtractTo& d) {
        typeFolder(d, "C:\\typed");
        onNextModal<frmBrowseDir>([&](frmBrowseDir& p) {
            EXPECT_EQ(p.windowTitle(), "Pick a Folder");
            EXPECT_EQ(p.Dir1->path(), start);
            openFolder(*p.Dir1, "sub");
            click(*p.cmdCancel);
        });
        click(*d.cmdBrowse);
        EXPECT_EQ(d.tbSetFolder->text(), "C:\\typed");
        click(*d.obSamePlus);
        onNextModal<frmBrowseDir>([&](frmBrowseDir& p) {
            openFolder(*p.Dir1, "sub");
            p.Dir1->setCurrentRow(0); // merely highlighted: not picked
            p.Drive1->setFocus();
            key(Qt::Key_Return);
        });
        click(*d.cmdBrowse);
        EXPECT_EQ(option(d), "obSetFolder");
        EXPECT_EQ(d.tbSetFolder->text(), start + "\\sub");
        EXPECT_EQ(d.focusWidget(), d.tbSetFolder);
        EXPECT_EQ(d.tbSetFolder->cursorPosition(), d.tbSetFolder->text().size());
        key(Qt::Key_Escape);
    });
}

// A cabinet at the root of d:: the picker opens on d:, not on the first drive, and a folder typed
// with a trailing backslash reaches the tool as that folder, quoted around its space.
TEST_F(Dialogs, ExtractFromTheRootOfAnotherDriveIntoATypedFolder) {
    writeCabinet(vol.file("Root.cab"), {{cabFile("r.txt", "r")}});
    for (const char* folder : {"in", "x y"})
        std::filesystem::create_directories(vol.file(folder));
    win.Dir1->setPath("D:\\");
    clickRows(*win.File1, {0});
    extract([&](frmExtractTo& d) {
        EXPECT_EQ(d.DefaultPlusPath, "D:\\Root Extracted");
        click(*d.obSetFolder);
        onNextModal<frmBrowseDir>([&](frmBrowseDir& p) {
            EXPECT_TRUE(p.Drive1->drive().startsWith("d:")) << p.Drive1->drive().toStdString();
            EXPECT_EQ(p.Dir1->path(), "D:\\");
            openFolder(*p.Dir1, "x y");
            click(*p.cmdEnter);
        });
        click(*d.cmdBrowse);
        EXPECT_EQ(d.tbSetFolder->text(), "D:\\x y");
        typeFolder(d, "D:\\x y\\");
        click(*d.cmdExtractEnter);
    });
    ASSERT_EQ(world.launcher.calls.size(), 1u);
    const auto args = SplitCommandLine(world.launcher.calls[0].parameters);
    ASSERT_GE(args.size(), 2u);
    EXPECT_NE(std::find(args.begin(), args.end(), "D:\\Root.cab"), args.end());
    EXPECT_EQ(world.drives.toPosix(args.back()), vol.file("x y") + "/");
}

TEST_F(Dialogs, DialogIsPreparedFromTheOneSelectedCabinetOrRow) {
    struct Case {
        std::vector<int> cabs, rows; // clicked in order, all but the first with Ctrl
        QString title, file;
    } cases[] = {
        {{1, 0, 0}, {}, "Bee", ""}, // A.cab clicked off again: the focus stays on it
        {{0}, {}, "A", ""},
        {{0, 1}, {0, 2}, "'CAB name'", ""},
        {{0, 1}, {2}, "Bee", "other.dat"},
        {{0, 1}, {1, 2, 2}, "A", "docs\\setup.txt"}, // row 3 is current, row 2 the selected
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        clickRows(*win.File1, c.cabs);
        clickRows(*win.lvwFiles, c.rows);
        const QString before = win.lblFiles->text();
        extract([&](frmExtractTo& d) {
            EXPECT_EQ(d.cmdExtractEnter->text(), "Extract");
            EXPECT_EQ(d.tbSelFileNm->isVisible(), !c.file.isEmpty());
            EXPECT_EQ(d.tbSelFileNm->text(), c.file);
            EXPECT_EQ(d.DefaultPlusPath, start + "\\" + c.title + " Extracted");
            click(*d.cmdCancel);
        });
        EXPECT_EQ(win.lblFiles->text(), before);
    }
}

} // namespace
