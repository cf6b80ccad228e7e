#include "support/window_tests.h"

namespace {

QStringList entries(const FileList& files) {
    QStringList out;
    for (int i = 0; i < files.listCount(); ++i)
        out << files.list(i);
    return out;
}

class FolderControls : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(root.file("start/Sub b"));
        fs::create_directories(root.file("start/a"));
        fs::create_directories(vol.file("top/inner"));
        ASSERT_TRUE(SetCurrentWorkingFolder(root.file("start")));
    }
    void TearDown() override { SetCurrentWorkingFolder(saved); }
    QString c(const std::string& posix) { return PathToText(drives.toDrive(posix).value()); }

    TempDir root, vol;
    std::string saved = CurrentWorkingFolder();
    DriveMap drives{std::vector<std::string>{vol.path()}};
};

} // namespace

TEST_F(FolderControls, DirListPathFormsAndChangesFileListMatchesAndSorts) {
    DirList dir(drives);
    EXPECT_EQ(dir.path(), c(root.file("start")));
    EXPECT_EQ(dir.item(0)->text(), QStringLiteral("C:\\"));
    EXPECT_EQ(dir.item(dir.count() - 1)->text().trimmed(), QStringLiteral("Sub b"));
    QSignalSpy changes(&dir, &DirList::change);
    const std::pair<const char*, QString> steps[] = {
        {"Sub b", c(root.file("start/Sub b"))},
        {"..\\.\\a\\", c(root.file("start/a"))},
        {"D: [ANY LABEL]", QStringLiteral("D:\\")},
        {"d:\\top\\..\\..\\..\\top\\inner", QStringLiteral("D:\\top\\inner")},
        {"\\top", QStringLiteral("D:\\top")},
        {"D:\\top\\", QStringLiteral("D:\\top")}, // the same folder: no change
        {"C:", c(root.file("start"))},
    };
    for (const auto& [value, want] : steps) {
        dir.setPath(QString::fromLatin1(value));
        EXPECT_EQ(dir.path(), want) << value;
    }
    EXPECT_EQ(changes.count(), 6);

    // More entries than fit, names late in the alphabet, a pattern that ends in '*'.
    for (int i = 25; i >= 0; --i)
        writeFile(root.file("start/" + std::string(1, char('a' + i)) + "y.CAB"), "");
    for (const char* n : {"Zz.cab", "zZ.cab", "z.cabx", "y.cab.txt", "x.cab", "z"})
        writeFile(root.file(std::string("start/") + n), "");
    const std::string longName(60, 'w');
    writeFile(root.file("start/" + longName + ".cab"), "");
    fs::create_directories(root.file("start/folder.cab"));
    fs::create_symlink(root.file("start/x.cab"), root.file("start/link.cab"));
    fs::create_symlink(root.file("start/none"), root.file("start/dangling.cab"));
    FileList files(drives);
    files.resize(145, 123);
    files.show();
    files.setPattern(QStringLiteral("*.cab"));
    files.setPath(c(root.file("start")));
    QStringList want;
    for (char l = 'a'; l <= 'z'; ++l)
        want << QString(QChar(l)) + QStringLiteral("y.CAB");
    want.insert(11, QStringLiteral("link.cab"));
    want.insert(23, QString::fromStdString(longName + ".cab"));
    want.insert(25, QStringLiteral("x.cab"));
    EXPECT_EQ(entries(files), want << QStringLiteral("Zz.cab") << QStringLiteral("zZ.cab"));
    files.setPattern(QStringLiteral("z*"));
    EXPECT_EQ(entries(files), (QStringList{"z", "z.cabx", "zy.CAB", "Zz.cab", "zZ.cab"}));
    EXPECT_TRUE(FileList::matches(QStringLiteral("a?c*"), QStringLiteral("ABCdef")));
    EXPECT_FALSE(FileList::matches(QStringLiteral("*.cab"), QStringLiteral("x.cabs")));
    EXPECT_TRUE(FileList::matches(QStringLiteral("*.*"), QStringLiteral("z"))); // dot or not
}

TEST(DriveListAndLabels, EntriesChangesAndValues) {
    TempDir vol;
    DriveList list(DriveMap({vol.path()}));
    ASSERT_EQ(list.listCount(), 2);
    EXPECT_EQ(list.list(1), PathToText("d: [" + vol.path() + "]"));
    QSignalSpy changes(&list, &DriveList::change);
    list.setDrive(QStringLiteral("D:\\whatever"));
    list.setDrive(QStringLiteral("d:"));
    EXPECT_EQ(changes.count(), 1);
    for (const char* bad : {"\\\\", "x:", "", "d\\"})
        EXPECT_THROW(list.setDrive(QString::fromLatin1(bad)), ControlError) << bad;
    EXPECT_TRUE(list.drive().startsWith(u'd'));

    VbCheckBox box;
    QSignalSpy clicks(&box, &VbCheckBox::clickEvent);
    for (int v : {1, 1, 0})
        box.setValue(v);
    EXPECT_EQ(clicks.count(), 2);
    VbLabel label;
    EXPECT_EQ(label.foreColor(), kColorButtonText);
    label.setForeColor(kColorBlue);
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(0, 0, 255));
}
