#include "app/settings_file.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "platform/profile.h"
#include "support/window_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace fm;
using fm::test::readFile;
using fm::test::WindowWorld;
using fm::test::writeFile;

TEST(ToInt16, ConvertsDecimalTextWithBankersRounding) {
    EXPECT_EQ(ToInt16(QStringLiteral(" 1 ")), 1);
    EXPECT_EQ(ToInt16(QStringLiteral("0")), 0);
    EXPECT_EQ(ToInt16(QStringLiteral("-7")), -7);
    EXPECT_EQ(ToInt16(QStringLiteral("1.5")), 2);
    EXPECT_EQ(ToInt16(QStringLiteral("2.5")), 2);
    EXPECT_EQ(ToInt16(QStringLiteral("-0.5")), 0);
    EXPECT_EQ(ToInt16(QStringLiteral("32767")), 32767);
    EXPECT_EQ(ToInt16(QStringLiteral("-32768.5")), -32768);
}

TEST(ToInt16, RejectsWhatDoesNotConvert) {
    for (const char* bad : {"", "  ", "yes", "70000", "32767.5", "-32769", "1x", "0x10", "1,5"})
        EXPECT_EQ(ToInt16(QString::fromLatin1(bad)), std::nullopt) << bad;
    EXPECT_EQ(ToInt16(QString()), std::nullopt);
}

class SettingsFile : public ::testing::Test {
protected:
    std::string ini(const std::string& key) {
        return GetProfileString(world.iniPath(), "Fendlemark", key).value_or("<absent>");
    }
    WindowWorld world;
};

TEST_F(SettingsFile, FirstRunWritesPathAndFlagsOnly) {
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.Dir1->path(), world.drivePath(world.startFolder()));
    EXPECT_EQ(w.StgExtrAlwaysSame, 0);
    EXPECT_TRUE(w.StgExtrObName.isNull());
    world.close();
    EXPECT_EQ(readFile(world.iniPath()),
              "[Fendlemark]\nInitialPath=" + world.drivePath(world.startFolder()).toStdString() +
                  "\nExtrAlwaysSame=0\nExtrPreservePath=0\n");
}

TEST_F(SettingsFile, KeepsForeignContentAndKeyOrder) {
    std::filesystem::create_directories(world.root.file("stored"));
    const std::string stored = world.drivePath(world.root.file("stored")).toStdString();
    writeFile(world.iniPath(), "; my notes\n[Other]\nx=1\n\n[Fendlemark]\nExtrObName=obSetFolder\n"
                               "Unknown=kept\nInitialPath=" +
                                   stored + "\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.Dir1->path().toStdString(), stored);
    EXPECT_EQ(w.StgExtrObName, QStringLiteral("obSetFolder"));
    w.StgExtrAlwaysSame = 1;
    w.StgExtrSetFolder = QString(""); // empty, not null: written as a bare key
    world.close();
    EXPECT_EQ(readFile(world.iniPath()),
              "; my notes\n[Other]\nx=1\n\n[Fendlemark]\nExtrObName=obSetFolder\nUnknown=kept\n"
              "InitialPath=" +
                  stored + "\nExtrAlwaysSame=1\nExtrPreservePath=0\nExtrSetFolder=\n");
}

TEST_F(SettingsFile, EachStepLoadsOnItsOwn) {
    writeFile(world.iniPath(), "[Fendlemark]\nInitialPath=C:\\no\\such\\folder\n"
                               "ExtrAlwaysSame=yes\nExtrPreservePath= 1 \nExtrObName=\n"
                               "ExtrSetFolder=D:\\Unpacked\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.Dir1->path(), world.drivePath(world.startFolder()));
    EXPECT_TRUE(w.Drive1->drive().startsWith(u'c'));
    EXPECT_EQ(w.StgExtrAlwaysSame, 0);
    EXPECT_EQ(w.StgExtrPreservePath, 1);
    EXPECT_TRUE(w.StgExtrObName.isNull());
    EXPECT_EQ(w.StgExtrSetFolder, QStringLiteral("D:\\Unpacked"));
    EXPECT_TRUE(world.prompt.shown.isEmpty());
    world.close();
    // The empty key loaded as null and is removed on exit.
    EXPECT_EQ(ini("ExtrObName"), "<absent>");
    EXPECT_EQ(ini("ExtrAlwaysSame"), "0");
}

TEST_F(SettingsFile, OutOfRangeNumberKeepsField) {
    writeFile(world.iniPath(), "[Fendlemark]\nExtrAlwaysSame=70000\nExtrPreservePath=1\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.StgExtrAlwaysSame, 0);
    EXPECT_EQ(w.StgExtrPreservePath, 1);
}

TEST_F(SettingsFile, LongValuesComeBackCutTo511Characters) {
    std::string longName(600, 'x');
    longName.replace(0, 3, "\xC3\xA9\xC3"); // a two-byte character first, then a broken one
    writeFile(world.iniPath(), "[Fendlemark]\nExtrSetFolder=" + longName + "\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.StgExtrSetFolder.toUcs4().size(), 511);
    EXPECT_TRUE(w.StgExtrSetFolder.startsWith(QStringLiteral("\u00E9")));
}

TEST_F(SettingsFile, NetworkPathIsRefusedSilently) {
    writeFile(world.iniPath(), "[Fendlemark]\nInitialPath=\\\\server\\share\nExtrPreservePath=1\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.Dir1->path(), world.drivePath(world.startFolder()));
    EXPECT_EQ(w.StgExtrPreservePath, 1);
    EXPECT_TRUE(world.prompt.shown.isEmpty());
}

TEST_F(SettingsFile, UnwritableFileLosesTheRunQuietly) {
    writeFile(world.iniPath(), "[Fendlemark]\nExtrPreservePath=1\n");
    std::filesystem::permissions(world.iniPath(), std::filesystem::perms::owner_read);
    frmFendlemark& w = world.loaded();
    w.StgExtrPreservePath = 0;
    world.close();
    EXPECT_EQ(readFile(world.iniPath()), "[Fendlemark]\nExtrPreservePath=1\n");
}

class SettingsOnTwoDrives : public ::testing::Test {
protected:
    fm::test::TempDir volume;
    std::unique_ptr<WindowWorld> world;
    void SetUp() override {
        std::filesystem::create_directories(volume.file("deep/er"));
        world = std::make_unique<WindowWorld>(std::vector<std::string>{volume.path()});
    }
};

TEST_F(SettingsOnTwoDrives, OtherDriveRunsDriveChangeAndLandsOnItsCurrentFolder) {
    writeFile(world->iniPath(), "[Fendlemark]\nInitialPath=D:\\deep\\er\n");
    frmFendlemark& w = world->loaded();
    EXPECT_TRUE(w.Drive1->drive().startsWith(u'd'));
    EXPECT_EQ(w.Dir1->path(), QStringLiteral("D:\\"));
    EXPECT_FALSE(w.isBusy());
    EXPECT_FALSE(w.isLoading());
}

TEST_F(SettingsOnTwoDrives, StartDriveKeepsStoredFolder) {
    std::filesystem::create_directories(world->root.file("here"));
    writeFile(world->iniPath(), "[Fendlemark]\nInitialPath=" +
                                    world->drivePath(world->root.file("here")).toStdString() +
                                    "\n");
    frmFendlemark& w = world->loaded();
    EXPECT_EQ(w.Dir1->path(), world->drivePath(world->root.file("here")));
    EXPECT_TRUE(w.Drive1->drive().startsWith(u'c'));
}
