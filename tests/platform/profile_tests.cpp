#include "platform/profile.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using fm::ApplyProfileWrite;
using fm::GetProfileString;
using fm::WriteProfileString;
using fm::test::readFile;
using fm::test::TempDir;
using fm::test::writeFile;

TEST(Profile, ReadsCaseInsensitivelyWithAnyLineEnds) {
    TempDir dir;
    std::string ini = dir.file("a.ini");
    writeFile(ini, "; comment\r\n[other]\r\nKey=wrong\r\n[ fendlemark ]\rkey = \"quoted\" \r"
                   "Empty=\nnoequals\n");
    EXPECT_EQ(GetProfileString(ini, "Fendlemark", "KEY"), "quoted");
    EXPECT_EQ(GetProfileString(ini, "FENDLEMARK", "empty"), "");
    EXPECT_EQ(GetProfileString(ini, "Fendlemark", "noequals"), std::nullopt);
    EXPECT_EQ(GetProfileString(ini, "Fendlemark", "absent"), std::nullopt);
    EXPECT_EQ(GetProfileString(ini, "Nope", "Key"), std::nullopt);
    EXPECT_EQ(GetProfileString(dir.file("missing.ini"), "Fendlemark", "Key"), std::nullopt);
}

TEST(Profile, ValueKeepsInnerEqualsAndUnmatchedQuotes) {
    TempDir dir;
    std::string ini = dir.file("a.ini");
    writeFile(ini, "[s]\na=x=y\nb=\"half\nc='q'\n;d=comment\n");
    EXPECT_EQ(GetProfileString(ini, "s", "a"), "x=y");
    EXPECT_EQ(GetProfileString(ini, "s", "b"), "\"half");
    EXPECT_EQ(GetProfileString(ini, "s", "c"), "q");
    EXPECT_EQ(GetProfileString(ini, "s", ";d"), std::nullopt);
}

TEST(Profile, WriteKeepsEverythingElseAndReplacesInPlace) {
    std::string text = "; top comment\n[Other]\nx=1\n\n[Fendlemark]\nInitialPath=C:\\old\n"
                       "Unknown=keep\n; inner comment\n\n[Last]\ny=2\n";
    auto out = ApplyProfileWrite(text, "fendlemark", "initialpath", std::string("C:\\new"));
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "; top comment\n[Other]\nx=1\n\n[Fendlemark]\ninitialpath=C:\\new\n"
                    "Unknown=keep\n; inner comment\n\n[Last]\ny=2\n");
    // A new key goes after the section's last non-blank line, before the blank separator.
    out = ApplyProfileWrite(text, "Fendlemark", "ExtrAlwaysSame", std::string("0"));
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "; top comment\n[Other]\nx=1\n\n[Fendlemark]\nInitialPath=C:\\old\n"
                    "Unknown=keep\n; inner comment\nExtrAlwaysSame=0\n\n[Last]\ny=2\n");
}

TEST(Profile, NullDeletesAndEmptyWritesBareKey) {
    std::string text = "[S]\r\nA=1\r\nB=2\r\n";
    auto out = ApplyProfileWrite(text, "S", "a", std::nullopt);
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "[S]\r\nB=2\r\n");
    EXPECT_EQ(ApplyProfileWrite(text, "S", "Z", std::nullopt), std::nullopt);
    out = ApplyProfileWrite(text, "S", "C", std::string());
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "[S]\r\nA=1\r\nB=2\r\nC=\r\n");
}

TEST(Profile, MissingSectionIsAppendedAndFileCreated) {
    auto out = ApplyProfileWrite("[A]\nx=1", "Fendlemark", "K", std::string("v"));
    ASSERT_TRUE(out);
    EXPECT_EQ(*out, "[A]\nx=1\n[Fendlemark]\nK=v\n");

    TempDir dir;
    std::string ini = dir.file("new.ini");
    EXPECT_TRUE(WriteProfileString(ini, "Fendlemark", "InitialPath", std::string("C:\\x")));
    EXPECT_TRUE(WriteProfileString(ini, "Fendlemark", "ExtrAlwaysSame", std::string("0")));
    EXPECT_TRUE(WriteProfileString(ini, "Fendlemark", "ExtrObName", std::nullopt));
    EXPECT_EQ(readFile(ini), "[Fendlemark]\nInitialPath=C:\\x\nExtrAlwaysSame=0\n");
}

TEST(Profile, DeletingFromAbsentFileCreatesNothing) {
    TempDir dir;
    std::string ini = dir.file("none.ini");
    EXPECT_TRUE(WriteProfileString(ini, "S", "K", std::nullopt));
    EXPECT_FALSE(fm::IsOrdinaryFile(ini));
}

TEST(Profile, ReadOnlyFileIsLeftAlone) {
    TempDir dir;
    std::string ini = dir.file("ro.ini");
    writeFile(ini, "[S]\nK=old\n");
    ASSERT_EQ(chmod(ini.c_str(), 0444), 0);
    EXPECT_FALSE(WriteProfileString(ini, "S", "K", std::string("new")));
    EXPECT_EQ(readFile(ini), "[S]\nK=old\n");
}

TEST(Profile, UnwritableFolderLeavesNoTemporaryFile) {
    TempDir dir;
    EXPECT_FALSE(WriteProfileString(dir.file("no/such/folder/x.ini"), "S", "K", std::string("v")));
}

TEST(Profile, KeepsFileModeAndLeavesNoTemporaries) {
    TempDir dir;
    std::string ini = dir.file("m.ini");
    writeFile(ini, "[S]\nK=1\n");
    ASSERT_EQ(chmod(ini.c_str(), 0600), 0);
    EXPECT_TRUE(WriteProfileString(ini, "S", "K", std::string("2")));
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(Profile, OrdinaryFileTest) {
    TempDir dir;
    writeFile(dir.file("Fendlemark.ini"), "");
    writeFile(dir.file(".hidden.ini"), "");
    EXPECT_TRUE(fm::IsOrdinaryFile(dir.file("Fendlemark.ini")));
    EXPECT_FALSE(fm::IsOrdinaryFile(dir.file(".hidden.ini")));
    EXPECT_FALSE(fm::IsOrdinaryFile(dir.path()));
    EXPECT_FALSE(fm::IsOrdinaryFile(dir.file("absent.ini")));
}
