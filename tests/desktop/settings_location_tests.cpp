#include "app/main_window.h"
#include "app/settings_location.h"
#include "platform/profile.h"
#include "support/window_fixture.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace fm;
using fm::test::readFile;
using fm::test::TempDir;
using fm::test::WindowWorld;
using fm::test::writeFile;

namespace {

// A read-only program folder for the test's lifetime (also for root: the rule looks at the
// write bit), writable again afterwards so it can be removed.
struct ReadOnlyFolder {
    explicit ReadOnlyFolder(std::string f) : folder(std::move(f)) { ::chmod(folder.c_str(), 0555); }
    ~ReadOnlyFolder() { ::chmod(folder.c_str(), 0755); }
    std::string folder;
};

} // namespace

TEST(SettingsLocation, ReadOnlyProgramFolderMovesTheFileToTheUserFolder) {
    struct Case {
        bool programWritable;
        bool userFileExists;
        const char* read;
        const char* write;
    } cases[] = {
        {true, true, "program", "program"},
        {false, false, "program", "user"},
        {false, true, "user", "user"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string program = dir.file("program"), home = dir.file("config");
        const std::string beside = program + "/Fendlemark.ini";
        const std::string own = home + "/fendlemark/Fendlemark.ini";
        writeFile(beside, "[Fendlemark]\n");
        if (c.userFileExists)
            writeFile(own, "[Fendlemark]\n");
        std::optional<ReadOnlyFolder> readOnly;
        if (!c.programWritable)
            readOnly.emplace(program);
        const SettingsFiles files = ChooseSettingsFiles(program, home);
        auto where = [&](const std::string& p) { return p == beside ? "program" : "user"; };
        EXPECT_STREQ(where(files.readFrom), c.read) << c.programWritable << c.userFileExists;
        EXPECT_EQ(files.writeTo, std::string(c.write) == "user" ? own : beside);
    }
}

// The whole round through the window: first values from the program folder, the run's values
// written only to $XDG_CONFIG_HOME/fendlemark/Fendlemark.ini.
TEST(SettingsLocation, WindowReadsFirstValuesBesideTheProgramAndWritesToTheUserFolder) {
    WindowWorld world;
    const std::string config = world.root.file("config");
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    const std::string seed = "[Fendlemark]\nExtrAlwaysSame=1\nExtrObName=obSamePlus\n";
    writeFile(world.iniPath(), seed);
    {
        ReadOnlyFolder readOnly(world.programFolder());
        frmFendlemark& w = world.loaded();
        EXPECT_EQ(w.StgExtrAlwaysSame, 1);
        w.StgExtrPreservePath = 1;
        world.close();
    }
    qputenv("XDG_CONFIG_HOME", previous);
    EXPECT_EQ(readFile(world.iniPath()), seed);
    const std::string own = config + "/fendlemark/Fendlemark.ini";
    EXPECT_EQ(GetProfileString(own, "Fendlemark", "ExtrAlwaysSame"), "1");
    EXPECT_EQ(GetProfileString(own, "Fendlemark", "ExtrPreservePath"), "1");
    EXPECT_EQ(GetProfileString(own, "Fendlemark", "ExtrObName"), "obSamePlus");
    EXPECT_EQ(GetProfileString(own, "Fendlemark", "InitialPath"),
              world.drivePath(world.startFolder()).toStdString());
}
