#include "app/settings_location.h"
#include "platform/working_folder.h"
#include "support/window_tests.h"

#include <sys/stat.h>

// A read-only program folder: the first values come from beside the program, the run's values go
// only to $XDG_CONFIG_HOME/fendlemark/Fendlemark.ini, which is read from then on.
TEST(SettingsLocation, ReadOnlyProgramFolderKeepsSettingsInTheUserFolder) {
    WindowWorld world;
    const std::string program = world.programFolder(), config = world.root.file("config");
    const std::string own = config + "/fendlemark/Fendlemark.ini";
    const std::string seed = "[Fendlemark]\nExtrAlwaysSame=1\n";
    writeFile(world.iniPath(), seed);
    EXPECT_EQ(ChooseSettingsFiles(program, config).writeTo, world.iniPath()); // writable: beside

    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    ::chmod(program.c_str(), 0555); // also read-only for root: the rule looks at the write bit
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.StgExtrAlwaysSame, 1);
    w.StgExtrPreservePath = 1;
    world.close();
    const SettingsFiles after = ChooseSettingsFiles(program, config);
    ::chmod(program.c_str(), 0755);
    qputenv("XDG_CONFIG_HOME", previous);

    EXPECT_EQ(readFile(world.iniPath()), seed);
    EXPECT_EQ(GetProfileString(own, "Fendlemark", "ExtrAlwaysSame"), "1");
    EXPECT_EQ(GetProfileString(own, "Fendlemark", "ExtrPreservePath"), "1");
    EXPECT_EQ(after.readFrom, own);
}

// A relative $XDG_CONFIG_HOME or $HOME names no folder: the settings never go below the
// working folder.
TEST(SettingsLocation, RelativeEnvironmentFoldersAreNotTaken) {
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME"), home = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(ConfigHome().front(), '/');
    qunsetenv("XDG_CONFIG_HOME");
    qputenv("HOME", "relative");
    EXPECT_EQ(ConfigHome().front(), '/');
    EXPECT_EQ(HomeFolder().rfind("relative", 0), std::string::npos);
    xdg.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", xdg);
    qputenv("HOME", home);
}
