#include "platform/drive_map.h"

#include <gtest/gtest.h>

using fm::DriveMap;

namespace {

const char* kMounts = "sysfs /sys sysfs rw 0 0\n"
                      "/dev/sda1 / ext4 rw 0 0\n"
                      "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
                      "/dev/sdb1 /media/ann/MY\\040STICK vfat rw 0 0\n"
                      "/dev/sdb1 /media/ann/MY\\040STICK vfat rw 0 0\n"
                      "tmpfs /run tmpfs rw 0 0\n"
                      "/dev/sdd1 /run/media/bob/CD iso9660 ro 0 0\n"
                      "tmpfs /mnt tmpfs rw 0 0\n";

} // namespace

TEST(DriveMap, LettersFollowSortedVolumeMountsAfterRoot) {
    DriveMap map = DriveMap::fromMountTable(kMounts);
    std::vector<std::string> entries;
    for (const auto& d : map.drives())
        entries.push_back(d.entryText());
    // /mnt itself and /run are not volumes; the stacked mount counts once; octal escapes decode.
    EXPECT_EQ(entries, (std::vector<std::string>{"c: [/]", "d: [/media/ann/MY STICK]",
                                                 "e: [/mnt/backup]", "f: [/run/media/bob/CD]"}));
}

TEST(DriveMap, DriveFormToPosix) {
    DriveMap map({"/media/ann/STICK"});
    EXPECT_EQ(map.toPosix("C:\\home\\ann"), "/home/ann");
    EXPECT_EQ(map.toPosix("c:\\home\\\\ann\\"), "/home/ann/");
    EXPECT_EQ(map.toPosix("C:\\"), "/");
    EXPECT_EQ(map.toPosix("C:"), "/");
    EXPECT_EQ(map.toPosix("D:\\x\\y.cab"), "/media/ann/STICK/x/y.cab");
    EXPECT_EQ(map.toPosix("d:\\"), "/media/ann/STICK/");
    EXPECT_EQ(map.toPosix("D:"), "/media/ann/STICK");
    EXPECT_EQ(map.toPosix("Q:\\x"), std::nullopt);
    EXPECT_EQ(map.toPosix("/home/ann"), std::nullopt);
    EXPECT_EQ(map.toPosix("\\\\server\\share"), std::nullopt);
    EXPECT_EQ(map.toPosixAny("/home/ann"), "/home/ann");
}

TEST(DriveMap, PosixToDriveFormUsesLongestMountPrefix) {
    DriveMap map({"/media/ann/STICK", "/media/ann/STICK/inner"});
    EXPECT_EQ(map.toDrive("/"), "C:\\");
    EXPECT_EQ(map.toDrive("/home/ann/"), "C:\\home\\ann");
    EXPECT_EQ(map.toDrive("/media/ann/STICK"), "D:\\");
    EXPECT_EQ(map.toDrive("/media/ann/STICK/x"), "D:\\x");
    EXPECT_EQ(map.toDrive("/media/ann/STICK/inner/y"), "E:\\y");
    // A name that merely starts like a mount path is not on that drive.
    EXPECT_EQ(map.toDrive("/media/ann/STICKY"), "C:\\media\\ann\\STICKY");
    EXPECT_EQ(map.toDrive("relative/x"), std::nullopt);
    EXPECT_EQ(map.toDrive("/home/a\\b"), std::nullopt);
}

TEST(DriveMap, RoundTripKeepsCase) {
    DriveMap map({"/mnt/Data"});
    for (std::string p : {"/Home/Ann/Setup.CAB", "/mnt/Data/Drivers/x.cab", "/"}) {
        auto d = map.toDrive(p);
        ASSERT_TRUE(d) << p;
        EXPECT_EQ(map.toPosix(*d), p);
    }
}

TEST(DriveMap, BareDriveAndDesignation) {
    EXPECT_TRUE(DriveMap::isBareDrive("D:"));
    EXPECT_TRUE(DriveMap::isBareDrive("D: [/MEDIA/ANN/STICK]"));
    EXPECT_FALSE(DriveMap::isBareDrive("D:\\"));
    EXPECT_FALSE(DriveMap::isBareDrive("D"));
    EXPECT_FALSE(DriveMap::isBareDrive("1: x"));
    EXPECT_TRUE(DriveMap::hasDriveDesignation("z:\\a"));
    EXPECT_FALSE(DriveMap::hasDriveDesignation("\\\\server"));
}

TEST(DriveMap, CurrentFolderIsWorkingFolderOnItsOwnDriveOnly) {
    DriveMap map({"/media/ann/STICK"});
    EXPECT_EQ(map.currentFolder('c', "/home/ann"), "C:\\home\\ann");
    EXPECT_EQ(map.currentFolder('D', "/home/ann"), "D:\\");
    EXPECT_EQ(map.currentFolder('d', "/media/ann/STICK/sub"), "D:\\sub");
    EXPECT_EQ(map.currentFolder('c', "/media/ann/STICK/sub"), "C:\\");
    EXPECT_EQ(map.currentFolder('x', "/home"), std::nullopt);
}

TEST(DriveMap, NoMoreThanTwentyThreeVolumes) {
    std::vector<std::string> mounts;
    for (int i = 0; i < 30; ++i)
        mounts.push_back("/mnt/v" + std::to_string(i));
    DriveMap map(mounts);
    EXPECT_EQ(map.drives().size(), 24u);
    EXPECT_EQ(map.drives().back().letter, 'z');
}
