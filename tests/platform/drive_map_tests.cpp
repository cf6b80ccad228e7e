#include "platform/drive_map.h"

#include <gtest/gtest.h>

using fm::DriveMap;
using Opt = std::optional<std::string>;

TEST(DriveMap, LettersFollowSortedVolumeMountsAndConvertBothWaysOnTheLongestMount) {
    DriveMap map = DriveMap::fromMountTable("sysfs /sys sysfs rw 0 0\n/dev/sda1 / ext4 rw 0 0\n"
                                            "/dev/sdc1 /mnt/backup ext4 rw 0 0\n"
                                            "/dev/sdb1 /media/ann/MY\\040STICK vfat rw 0 0\n"
                                            "/dev/sdb1 /media/ann/MY\\040STICK vfat rw 0 0\n"
                                            "tmpfs /run tmpfs rw 0 0\n"
                                            "/dev/sdd1 /run/media/bob/CD iso9660 ro 0 0\n"
                                            "tmpfs /mnt tmpfs rw 0 0");
    std::vector<std::string> entries;
    for (const auto& d : map.drives())
        entries.push_back(d.entryText());
    EXPECT_EQ(entries, (std::vector<std::string>{"c: [/]", "d: [/media/ann/MY STICK]",
                                                 "e: [/mnt/backup]", "f: [/run/media/bob/CD]"}));
    std::vector<std::string> many;
    for (int i = 0; i < 30; ++i)
        many.push_back("/mnt/v" + std::to_string(i));
    EXPECT_EQ(DriveMap(many).drives().back().letter, 'z');

    // Conversions both ways go by the longest mount.
    map = DriveMap({"/media/ann/STICK", "/media/ann/STICK/inner"});
    const std::pair<const char*, Opt> toPosix[] = {{"C:\\home\\ann", "/home/ann"},
                                                   {"c:\\home\\\\ann\\", "/home/ann/"},
                                                   {"C:", "/"},
                                                   {"C:\\", "/"},
                                                   {"D:\\", "/media/ann/STICK/"},
                                                   {"e:\\", "/media/ann/STICK/inner/"},
                                                   {"D:\\x\\y.cab", "/media/ann/STICK/x/y.cab"},
                                                   {"D:\\x/", "/media/ann/STICK/x/"},
                                                   {"D:", "/media/ann/STICK"},
                                                   {"Q:\\x", std::nullopt},
                                                   {"/home/ann", std::nullopt},
                                                   {"\\\\server\\s", std::nullopt}};
    for (const auto& [in, want] : toPosix)
        EXPECT_EQ(map.toPosix(in), want) << in;
    const std::pair<const char*, Opt> toDrive[] = {{"/", "C:\\"},
                                                   {"/home/Ann/", "C:\\home\\Ann"},
                                                   {"/media/ann/STICK", "D:\\"},
                                                   {"/media/ann/STICK/inner/y", "E:\\y"},
                                                   {"/media/ann/STICKY", "C:\\media\\ann\\STICKY"},
                                                   {"relative/x", std::nullopt},
                                                   {"/home/a\\b", std::nullopt}};
    for (const auto& [in, want] : toDrive) {
        EXPECT_EQ(map.toDrive(in), want) << in;
        if (want && want->back() != '\\' && std::string(in).back() != '/') {
            EXPECT_EQ(map.toPosix(*want), in);
        }
    }
    EXPECT_EQ(map.toPosixAny("/home/ann"), "/home/ann");
}

TEST(DriveMap, BareDrivesAndCurrentFolders) {
    for (const char* bare : {"D:", "D: [/MEDIA/ANN/STICK]"})
        EXPECT_TRUE(DriveMap::isBareDrive(bare)) << bare;
    for (const char* other : {"D:\\", "D", "1: x", "\\\\server"})
        EXPECT_FALSE(DriveMap::isBareDrive(other)) << other;
    DriveMap map({"/media/ann/STICK"});
    EXPECT_EQ(map.currentFolder('c', "/home/ann"), "C:\\home\\ann");
    EXPECT_EQ(map.currentFolder('D', "/home/ann"), "D:\\");
    EXPECT_EQ(map.currentFolder('d', "/media/ann/STICK/sub"), "D:\\sub");
    EXPECT_EQ(map.currentFolder('c', "/media/ann/STICK/sub"), "C:\\");
    EXPECT_EQ(map.currentFolder('x', "/home"), std::nullopt);
}
