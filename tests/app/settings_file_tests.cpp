#include "app/settings_file.h"
#include "support/window_tests.h"

#include <QAction>
#include <QMenu>

#include <algorithm>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(ToInt16, DecimalTextWithHalvesToEven) {
    const std::pair<const char*, qint16> numbers[] = {
        {" 1 ", 1},  {"-7", -7},       {"1.5", 2},          {"2.5", 2},
        {"-0.5", 0}, {"32767", 32767}, {"-32768.5", -32768}};
    for (const auto& [text, want] : numbers)
        EXPECT_EQ(ToInt16(QString::fromLatin1(text)), want) << text;
    for (const char* text : {"", "yes", "70000", "32767.5", "1x", "0x10", "1,5"})
        EXPECT_EQ(ToInt16(QString::fromLatin1(text)), std::nullopt) << text;
    EXPECT_EQ(ToInt16(QString()), std::nullopt);
}

class SettingsFile : public ::testing::Test {
protected:
    std::string ini(const std::string& key) {
        return GetProfileString(world.iniPath(), "Fendlemark", key).value_or("<absent>");
    }
    std::string start() { return TextToPath(world.drivePath(world.startFolder())); }
    WindowWorld world;
};

TEST_F(SettingsFile, FirstRunWritesThePathAndTheFlagsOnly) {
    frmFendlemark& w = world.loaded();
    EXPECT_TRUE(w.StgExtrObName.isNull());
    world.close();
    EXPECT_EQ(readFile(world.iniPath()),
              "[Fendlemark]\nInitialPath=" + start() + "\nExtrAlwaysSame=0\nExtrPreservePath=0\n");
}

TEST_F(SettingsFile, KeepsForeignContentAndEachLoadStepStandsAlone) {
    writeFile(world.iniPath(), "; notes\r\n[Other]\nx=1\n\n[Fendlemark]\rExtrObName=\n"
                               "Unknown=kept\nInitialPath=C:\\no\\such\\folder\n"
                               "ExtrAlwaysSame=yes\nExtrPreservePath= 1 \nExtrSetFolder=D:\\Out\n"
                               "NameCodePage=65001\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.NameCodePage, 1252);
    EXPECT_EQ(TextToPath(w.Dir1->path()), start());
    EXPECT_TRUE(w.Drive1->drive().startsWith(u'c'));
    EXPECT_EQ(w.StgExtrAlwaysSame, 0);
    EXPECT_EQ(w.StgExtrPreservePath, 1);
    EXPECT_TRUE(w.StgExtrObName.isNull());
    EXPECT_EQ(w.StgExtrSetFolder, QStringLiteral("D:\\Out"));
    EXPECT_TRUE(world.prompt.shown.isEmpty());
    w.StgExtrSetFolder = QString(""); // empty, not null: a bare key
    world.close();
    EXPECT_EQ(readFile(world.iniPath()),
              "; notes\r\n[Other]\nx=1\n\n[Fendlemark]\rUnknown=kept\nInitialPath=" + start() +
                  "\nExtrAlwaysSame=0\nExtrPreservePath=1\nExtrSetFolder=\n");
}

TEST_F(SettingsFile, TheNameCodePageComesBackWithItsMenuItemChecked) {
    writeFile(world.iniPath(), "[Fendlemark]\nNameCodePage= 932\n");
    frmFendlemark& w = world.loaded();
    QStringList checked;
    for (const QAction* item : w.mNameEncoding->actions())
        if (item->isChecked())
            checked << item->text();
    EXPECT_EQ(checked, QStringList{QStringLiteral("&932 (Japanese)")});
    w.NameCodePage = 1251;
    world.close();
    EXPECT_EQ(ini("NameCodePage"), "1251");
}

TEST_F(SettingsFile, LongValuesAreCutTo511CharactersAndNetworkPathsRefused) {
    std::string longName(600, 'x');
    longName.replace(0, 3, "\xC3\xA9\xC3");
    writeFile(world.iniPath(),
              "[Fendlemark]\nInitialPath=\\\\server\\share\nExtrSetFolder=" + longName + "\n");
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(w.StgExtrSetFolder.toUcs4().size(), 511);
    EXPECT_TRUE(w.StgExtrSetFolder.startsWith(QStringLiteral("\u00E9")));
    EXPECT_EQ(TextToPath(w.Dir1->path()), start());
    // Characters outside the BMP count once, and the cut never splits one.
    world.close();
    std::string wide;
    for (int i = 0; i < 600; ++i)
        wide += "\xF0\x9F\x98\x80";
    writeFile(world.iniPath(), "[Fendlemark]\nExtrSetFolder=" + wide + "\n");
    const std::u32string cut(511, U'\U0001F600');
    EXPECT_EQ(world.loaded().StgExtrSetFolder,
              QString::fromUcs4(cut.data(), static_cast<qsizetype>(cut.size())));
}

TEST_F(SettingsFile, AFolderNamedWithByteE9ComesBackAsTheSameFolder) {
    fs::create_directories(world.startFolder() + "/caf\xE9");
    frmFendlemark& w = world.loaded();
    w.Dir1->setPath(PathToText("caf\xE9"));
    world.close();
    EXPECT_EQ(ini("InitialPath"), start() + "\\caf\xE9");
    frmFendlemark& again = world.loaded();
    EXPECT_EQ(TextToPath(again.Dir1->path()), start() + "\\caf\xE9");
}

TEST_F(SettingsFile, ReadOnlyFileLosesTheRunQuietly) {
    writeFile(world.iniPath(), "[Fendlemark]\nExtrPreservePath=1\n");
    fs::permissions(world.iniPath(), fs::perms::owner_read);
    world.loaded().StgExtrPreservePath = 0;
    world.close();
    EXPECT_EQ(readFile(world.iniPath()), "[Fendlemark]\nExtrPreservePath=1\n");
}

// What happened to Fendlemark.ini in the watched folder since the last call, as the kernel counts
// it: {opens, renames that replace it}.
std::pair<int, int> iniEvents(int inotify) {
    std::pair<int, int> counts;
    alignas(inotify_event) char buffer[65536];
    for (ssize_t n; (n = read(inotify, buffer, sizeof buffer)) > 0;) {
        for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event)) {
            auto* e = reinterpret_cast<inotify_event*>(p);
            if (e->len && std::string(e->name) == "Fendlemark.ini")
                ++(e->mask & IN_OPEN ? counts.first : counts.second);
            p += e->len;
        }
    }
    return counts;
}

TEST_F(SettingsFile, ReadOnceForTheLoadAndWrittenOnceForTheSave) {
    writeFile(world.iniPath(), "[Fendlemark]\nExtrPreservePath=1\nExtrObName=obSamePlus\n");
    const int events = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(events, world.programFolder().c_str(), IN_OPEN | IN_MOVED_TO);
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(iniEvents(events), std::make_pair(1, 0));
    EXPECT_EQ(w.StgExtrObName, QStringLiteral("obSamePlus"));
    world.close();
    EXPECT_EQ(iniEvents(events), std::make_pair(1, 1));
    EXPECT_EQ(ini("ExtrPreservePath"), "1");
    close(events);
}

TEST(SettingsPath, AlwaysTheFileBesideTheProgram) {
    WindowWorld world;
    world.programName = "a\\b";
    world.loaded();
    world.close();
    EXPECT_TRUE(IsOrdinaryFile(world.root.file("a\\b/Fendlemark.ini")));
    // Nothing else beside start, program and a\b (no file named a\b\Fendlemark.ini).
    EXPECT_EQ(std::distance(fs::directory_iterator(world.root.path()), {}), 3);
}

// The stored folder is where the window opens, on whichever drive the program was started.
TEST(SettingsOnTwoDrives, TheStoredFolderOpensFromEitherDrive) {
    TempDir volume;
    fs::create_directories(volume.file("deep/er"));
    WindowWorld world({volume.path()});
    // Stored on c: below the volume's mount point: named by the longest mount, so on d:.
    std::string onC = "C:" + volume.path() + "/deep/er";
    std::replace(onC.begin(), onC.end(), '/', '\\');
    writeFile(world.iniPath(), "[Fendlemark]\nInitialPath=" + onC + "\n");
    frmFendlemark& w = world.loaded();
    EXPECT_TRUE(w.Drive1->drive().startsWith(u'd'));
    EXPECT_EQ(w.Dir1->path(), QStringLiteral("D:\\deep\\er"));
    EXPECT_FALSE(w.isBusy() || w.isLoading());
    world.close();
    // Started on d: from a program folder there, the folder stored on c: opens.
    fs::create_directories(world.root.file("here"));
    const QString here = world.drivePath(world.root.file("here"));
    world.programName = "../" + fs::path(volume.path()).filename().string() + "/program";
    ASSERT_TRUE(SetCurrentWorkingFolder(volume.file("deep")));
    writeFile(world.iniPath(), "[Fendlemark]\nInitialPath=" + TextToPath(here) + "\n");
    frmFendlemark& again = world.loaded();
    EXPECT_EQ(again.Dir1->path(), here);
    EXPECT_TRUE(again.Drive1->drive().startsWith(u'c'));
}

// LookInside: only 1 turns it on (its menu item checked, installers listed too); anything else
// is off, and off is not written.
TEST_F(SettingsFile, LookInsideIsOnOnlyForOne) {
    for (const std::string value : {" 1 ", "yes", "2"}) {
        SCOPED_TRACE(value);
        writeFile(world.iniPath(), "[Fendlemark]\nLookInside=" + value + "\n");
        frmFendlemark& w = world.loaded();
        const bool on = value == " 1 ";
        EXPECT_EQ(w.mLookInside->isChecked(), on);
        EXPECT_EQ(w.File1->pattern(), on ? "*.cab;*.msu;*.exe;*.msi" : "*.cab");
        world.close();
        EXPECT_EQ(ini("LookInside"), on ? "1" : "<absent>");
    }
}
