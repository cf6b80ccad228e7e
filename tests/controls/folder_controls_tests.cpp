#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "platform/working_folder.h"
#include "support/temp_dir.h"

#include <QSignalSpy>
#include <filesystem>
#include <gtest/gtest.h>

using namespace fm;
using fm::test::TempDir;
using fm::test::writeFile;

namespace fs = std::filesystem;

class FolderControls : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root.file("start/Sub b"));
        fs::create_directories(root.file("start/a"));
        fs::create_directories(vol.file("top/inner"));
        saved = CurrentWorkingFolder();
        ASSERT_TRUE(SetCurrentWorkingFolder(root.file("start")));
        drives = std::make_unique<DriveMap>(std::vector<std::string>{vol.path()});
    }
    void TearDown() override { SetCurrentWorkingFolder(saved); }
    QString c(const std::string& posix) {
        return QString::fromStdString(drives->toDrive(posix).value());
    }

    TempDir root, vol;
    std::string saved;
    std::unique_ptr<DriveMap> drives;
};

TEST_F(FolderControls, DirListStartsInWorkingFolderAndListsAncestorsThenSubfolders) {
    DirList dir(*drives);
    EXPECT_EQ(dir.path(), c(root.file("start")));
    QStringList shown;
    for (int i = 0; i < dir.count(); ++i)
        shown << dir.item(i)->text().trimmed();
    EXPECT_EQ(shown.front(), QStringLiteral("C:\\"));
    EXPECT_EQ(shown.mid(shown.size() - 3), (QStringList{"start", "a", "Sub b"}));
}

TEST_F(FolderControls, DirListPathForms) {
    DirList dir(*drives);
    QSignalSpy changes(&dir, &DirList::change);
    dir.setPath(QStringLiteral("Sub b"));
    EXPECT_EQ(dir.path(), c(root.file("start/Sub b")));
    dir.setPath(QStringLiteral("..\\.\\a\\"));
    EXPECT_EQ(dir.path(), c(root.file("start/a")));
    dir.setPath(QStringLiteral("D: [ANY LABEL]"));
    EXPECT_EQ(dir.path(), QStringLiteral("D:\\"));
    dir.setPath(QStringLiteral("d:\\top\\..\\..\\..\\top\\inner"));
    EXPECT_EQ(dir.path(), QStringLiteral("D:\\top\\inner"));
    dir.setPath(QStringLiteral("\\top"));
    EXPECT_EQ(dir.path(), QStringLiteral("D:\\top"));
    EXPECT_EQ(changes.count(), 5);
    dir.setPath(QStringLiteral("D:\\top\\"));
    EXPECT_EQ(changes.count(), 5); // the same folder: no change
    dir.setPath(QStringLiteral("C:"));
    EXPECT_EQ(dir.path(), c(root.file("start")));
}

TEST_F(FolderControls, DirListRefusesAndKeepsItsPath) {
    DirList dir(*drives);
    QString before = dir.path();
    QSignalSpy changes(&dir, &DirList::change);
    auto refusal = [&](const QString& value) {
        try {
            dir.setPath(value);
        } catch (const ControlError& e) {
            return e.number();
        }
        return 0;
    };
    writeFile(root.file("start/file.txt"), "x");
    EXPECT_EQ(refusal(QStringLiteral("nope")), ENOENT);
    EXPECT_EQ(refusal(QStringLiteral("file.txt")), ENOTDIR);
    EXPECT_EQ(refusal(QString()), ENOENT);
    EXPECT_EQ(refusal(QStringLiteral("Q:")), ENODEV);
    EXPECT_EQ(refusal(QStringLiteral("\\\\server\\share")), ENOENT);
    EXPECT_EQ(dir.path(), before);
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(ControlError::fromErrno(ENOENT).message(),
              QStringLiteral("Error 2: No such file or directory."));
}

TEST_F(FolderControls, DirListLeavesOutNamesDriveFormCannotShow) {
    fs::create_directories(root.file("start/back\\slash"));
    DirList dir(*drives);
    for (int i = 0; i < dir.count(); ++i)
        EXPECT_FALSE(dir.item(i)->text().contains(u'\\') && i > 0);
    EXPECT_THROW(dir.setPath(c(root.file("start")) + QStringLiteral("\\back\\slash")),
                 ControlError);
}

TEST_F(FolderControls, DriveListEntriesAndChanges) {
    DriveList list(*drives);
    ASSERT_EQ(list.listCount(), 2);
    EXPECT_EQ(list.list(1), QString::fromStdString("d: [" + vol.path() + "]"));
    QSignalSpy changes(&list, &DriveList::change);
    list.setDrive(QStringLiteral("D:\\whatever"));
    EXPECT_TRUE(list.drive().startsWith(u'd'));
    list.setDrive(QStringLiteral("d:"));
    EXPECT_EQ(changes.count(), 1);
    EXPECT_THROW(list.setDrive(QStringLiteral("\\\\")), ControlError);
    EXPECT_THROW(list.setDrive(QStringLiteral("x:")), ControlError);
    EXPECT_TRUE(list.drive().startsWith(u'd'));
}

TEST_F(FolderControls, FileListMatchesCaseInsensitivelyAndSorts) {
    for (const char* n : {"b.CAB", "A.cab", "c.cab.txt", "d.cabx", "e.cab"})
        writeFile(root.file(std::string("start/") + n), "");
    fs::create_directories(root.file("start/folder.cab"));
    fs::create_symlink(root.file("start/e.cab"), root.file("start/link.cab"));
    fs::create_symlink(root.file("start/none"), root.file("start/dangling.cab"));
    FileList files(*drives);
    files.setPattern(QStringLiteral("*.cab"));
    files.setPath(c(root.file("start")));
    QStringList names;
    for (int i = 0; i < files.listCount(); ++i)
        names << files.list(i);
    EXPECT_EQ(names, (QStringList{"A.cab", "b.CAB", "e.cab", "link.cab"}));
    EXPECT_TRUE(FileList::matches(QStringLiteral("a?c*"), QStringLiteral("ABCdef")));
    EXPECT_FALSE(FileList::matches(QStringLiteral("*.cab"), QStringLiteral("x.cabs")));
}

TEST_F(FolderControls, FileListProgramSelectionRaisesClickEveryTime) {
    writeFile(root.file("start/a.cab"), "");
    FileList files(*drives);
    files.setPattern(QStringLiteral("*.cab"));
    files.setPath(c(root.file("start")));
    QSignalSpy clicks(&files, &FileList::click);
    files.setSelected(0, true);
    files.setSelected(0, true);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(files.selectionFlags(), std::vector<bool>{true});
    EXPECT_EQ(files.fileName(), QStringLiteral("a.cab"));
    files.refresh();
    EXPECT_EQ(clicks.count(), 2); // re-reading is not a click
}

TEST_F(FolderControls, UnreadableFolderGivesAnEmptyFileList) {
    FileList files(*drives);
    files.setPath(QStringLiteral("C:\\no\\such\\place"));
    EXPECT_EQ(files.listCount(), 0);
}

TEST(CheckBoxAndLabel, ValuesReadBackAndProgramChangesClick) {
    VbCheckBox box;
    QSignalSpy clicks(&box, &VbCheckBox::clickEvent);
    box.setValue(1);
    box.setValue(1);
    box.setValue(0);
    EXPECT_EQ(clicks.count(), 2);
    box.setValue(2);
    EXPECT_EQ(box.value(), 2);

    VbLabel label;
    EXPECT_EQ(label.foreColor(), kColorButtonText);
    label.setForeColor(kColorBlue);
    EXPECT_EQ(label.foreColor(), 0xFF0000u);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 255));
}
