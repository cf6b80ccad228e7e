#include "app/settings_file.h"
#include "support/window_tests.h"

#include <QAction>

#include <sys/inotify.h>
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

// Always the file beside the program, even in a folder named with a backslash.
TEST_F(SettingsFile, FirstRunWritesThePathAndTheFlagsOnly) {
    world.programName = "a\\b";
    frmFendlemark& w = world.loaded();
    EXPECT_TRUE(w.StgExtrObName.isNull());
    world.close();
    EXPECT_EQ(readFile(world.root.file("a\\b/Fendlemark.ini")),
              "[Fendlemark]\nInitialPath=" + start() + "\nExtrAlwaysSame=0\nExtrPreservePath=0\n");
    // Nothing else beside start, program and a\b (no file named a\b\Fendlemark.ini).
    EXPECT_EQ(std::distance(fs::directory_iterator(world.root.path()), {}), 3);
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

// A folder named with the byte E9 comes back as the same folder.
TEST_F(SettingsFile, ReadOnceForTheLoadAndWrittenOnceForTheSave) {
    writeFile(world.iniPath(), "[Fendlemark]\nExtrPreservePath=1\nExtrObName=obSamePlus\n");
    fs::create_directories(world.startFolder() + "/caf\xE9");
    const int events = inotify_init1(IN_NONBLOCK);
    inotify_add_watch(events, world.programFolder().c_str(), IN_OPEN | IN_MOVED_TO);
    frmFendlemark& w = world.loaded();
    EXPECT_EQ(iniEvents(events), std::make_pair(1, 0));
    EXPECT_EQ(w.StgExtrObName, QStringLiteral("obSamePlus"));
    w.Dir1->setPath(PathToText("caf\xE9"));
    world.close();
    EXPECT_EQ(iniEvents(events), std::make_pair(1, 1));
    EXPECT_EQ(ini("ExtrPreservePath"), "1");
    EXPECT_EQ(ini("InitialPath"), start() + "\\caf\xE9");
    EXPECT_EQ(TextToPath(world.loaded().Dir1->path()), start() + "\\caf\xE9");
    close(events);
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
