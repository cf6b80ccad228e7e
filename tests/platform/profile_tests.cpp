#include "platform/profile.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fm;
using namespace fm::test;

using Opt = std::optional<std::string>;

class Profile : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(Profile, ReadsCaseInsensitivelyWithAnyLineEndsAndValuesReadBackAsWritten) {
    const std::string ini = dir.file("a.ini");
    writeFile(ini, "; c\r\n[other]\r\nKey=wrong\r\n[ fendlemark ]\rkey = \"quoted\" \rEmpty=\n"
                   "noequals\na=x=y\nb=\"half\nc='q'\n[]\n=v\n");
    const std::tuple<const char*, const char*, Opt> cases[] = {
        {"Fendlemark", "KEY", "quoted"}, {"FENDLEMARK", "empty", ""},
        {"Fendlemark", "a", "x=y"},      {"Fendlemark", "b", "\"half"},
        {"Fendlemark", "c", "q"},        {"Fendlemark", "noequals", std::nullopt},
        {"Nope", "Key", std::nullopt},   {"", "", "v"}, // empty names are names too
    };
    for (const auto& [section, key, want] : cases)
        EXPECT_EQ(GetProfileString(ini, section, key), want) << section << "/" << key;
    EXPECT_EQ(GetProfileString(dir.file("missing.ini"), "S", "K"), std::nullopt);
    // What the reader would change (blanks at either end, one pair of quotes) is written quoted,
    // so every value reads back as it was written.
    for (const char* value : {"C:\\dir ", " x", "\"q\"", "'q'", "\"", "a \"b\" c", "\t"}) {
        ASSERT_TRUE(WriteProfileString(ini, "Fendlemark", "ExtrSetFolder", value)) << value;
        EXPECT_EQ(GetProfileString(ini, "Fendlemark", "ExtrSetFolder"), value) << value;
    }
}

// Written by replacing the file, keeping its mode and leaving no temporary; never where this user
// may not write; and only an ordinary, visible file is taken for one.
TEST_F(Profile, FileReplacedWithItsModeOnlyWhereThisUserMayWrite) {
    const std::string ini = dir.file("new.ini");
    EXPECT_TRUE(WriteProfileString(ini, "S", "K", std::nullopt));
    EXPECT_FALSE(IsOrdinaryFile(ini)); // deleting from no file creates none
    EXPECT_TRUE(WriteProfileString(ini, "Fendlemark", "InitialPath", std::string("C:\\x")));
    ASSERT_EQ(chmod(ini.c_str(), 0600), 0);
    EXPECT_TRUE(WriteProfileString(ini, "Fendlemark", "ExtrAlwaysSame", std::string("0")));
    EXPECT_EQ(readFile(ini), "[Fendlemark]\nInitialPath=C:\\x\nExtrAlwaysSame=0\n");
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_FALSE(WriteProfileString(dir.file("no/such/x.ini"), "S", "K", std::string("v")));

    writeFile(dir.file(".hidden.ini"), "");
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    EXPECT_TRUE(IsOrdinaryFile(ini));
    for (const std::string& p :
         {dir.file(".hidden.ini"), dir.path(), dir.file("absent.ini"), dir.file("fifo.ini")})
        EXPECT_FALSE(IsOrdinaryFile(p)) << p;

    writeFile(ini, "[S]\nK=old\n");
    ASSERT_EQ(chmod(ini.c_str(), 0444), 0);
    EXPECT_FALSE(WriteProfileString(ini, "S", "K", std::string("new")));
    EXPECT_EQ(readFile(ini), "[S]\nK=old\n");
    // Root may write anything with a write bit; others ask access(), whoever owns the file.
    EXPECT_TRUE(IsReadOnlyFor(ini, 0444, 0));
    EXPECT_FALSE(IsReadOnlyFor(ini, 0200, 0));
    ASSERT_EQ(chmod(ini.c_str(), 0644), 0);
    EXPECT_EQ(IsReadOnlyFor(ini, 0644, 1000), access(ini.c_str(), W_OK) != 0);
}

// Many edits on one text in memory give what the same edits give one file write at a time.
TEST_F(Profile, EditsInMemoryMatchEditsOfTheFile) {
    const std::string ini = dir.file("a.ini");
    const std::string start = "x\r\n[Other]\r\nK=1\r\n[S]\nA=1\n\nB=2";
    writeFile(ini, start);
    ProfileText text(start);
    const std::pair<const char*, Opt> edits[] = {
        {"A", std::nullopt}, {"C", "3"}, {"b", "two"}, {"D", std::nullopt}, {"E", "5"}};
    for (const auto& [key, value] : edits) {
        WriteProfileString(ini, "S", key, value);
        text.set("s", key, value);
        EXPECT_EQ(text.get("S", key), value) << key;
    }
    EXPECT_EQ(text.text(), readFile(ini));
    EXPECT_EQ(text.text(), "x\r\n[Other]\r\nK=1\r\n[S]\n\nb=two\nC=3\nE=5\n");
}
