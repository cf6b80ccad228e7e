// The tool's command line, its paths and its reading of stored names and patterns.

#include "name_pattern.h"
#include "stored_name.h"
#include "tool_args.h"
#include "tool_paths.h"

#include <gtest/gtest.h>

using namespace fm::tool;
using Strings = std::vector<std::string>;

namespace {

ToolArgs parse(const Strings& args) {
    ParsedArgs p = ParseToolArgs(args);
    EXPECT_TRUE(p.args) << p.error;
    return p.args.value_or(ToolArgs{});
}

std::string parseError(const Strings& args) {
    ParsedArgs p = ParseToolArgs(args);
    EXPECT_FALSE(p.args);
    return p.error;
}

} // namespace

TEST(ToolArgs, ExtractWithPatternsAndDestination) {
    ToolArgs a = parse({"-p", "X", R"(C:\Temp\a.cab)", "a.txt", "b.txt", R"(C:\Temp\out\)"});
    EXPECT_TRUE(a.keepFolders);
    EXPECT_FALSE(a.overwrite);
    EXPECT_FALSE(a.quiet);
    EXPECT_EQ(a.command, Command::Extract);
    EXPECT_EQ(a.cabinet, R"(C:\Temp\a.cab)");
    EXPECT_EQ(a.patterns, (Strings{"a.txt", "b.txt"}));
    EXPECT_EQ(a.destination, R"(C:\Temp\out\)");
}

TEST(ToolArgs, DestinationOnlyWhenLastArgumentEndsInSeparator) {
    EXPECT_EQ(parse({"X", "a.cab", "out/"}).destination, "out/");
    EXPECT_EQ(parse({"X", "a.cab", "\\"}).destination, "\\");
    ToolArgs noDest = parse({"x", "a.cab", "*.*", "out"});
    EXPECT_FALSE(noDest.destination);
    EXPECT_EQ(noDest.patterns, (Strings{"*.*", "out"}));
    ToolArgs bare = parse({"X", "a.cab"});
    EXPECT_FALSE(bare.destination);
    EXPECT_TRUE(bare.patterns.empty());
    // Listing has no destination: a trailing separator is just a pattern.
    ToolArgs list = parse({"l", "a.cab", "docs\\"});
    EXPECT_EQ(list.command, Command::List);
    EXPECT_FALSE(list.destination);
    EXPECT_EQ(list.patterns, (Strings{"docs\\"}));
}

TEST(ToolArgs, OptionsInAnyCaseAndOrderBeforeTheCommand) {
    ToolArgs a = parse({"-Q", "-o", "-P", "x", "a.cab"});
    EXPECT_TRUE(a.keepFolders);
    EXPECT_TRUE(a.overwrite);
    EXPECT_TRUE(a.quiet);
    // After the command, a leading dash is part of a file name.
    EXPECT_EQ(parse({"X", "a.cab", "-p"}).patterns, (Strings{"-p"}));
}

TEST(ToolArgs, UsageErrors) {
    EXPECT_NE(parseError({}).find("no command"), std::string::npos);
    EXPECT_NE(parseError({"-p"}).find("no command"), std::string::npos);
    EXPECT_NE(parseError({"-z", "X", "a.cab"}).find("-z"), std::string::npos);
    EXPECT_NE(parseError({"-pq", "X", "a.cab"}).find("-pq"), std::string::npos);
    EXPECT_NE(parseError({"N", "a.cab"}).find("unknown command"), std::string::npos);
    EXPECT_NE(parseError({"X"}).find("no cabinet"), std::string::npos);
    EXPECT_NE(parseError({"X", ""}).find("no cabinet"), std::string::npos);
    EXPECT_NE(parseError({"X", "a.cab", "", "out\\"}).find("empty"), std::string::npos);
}

TEST(ToolPaths, DriveFormAndPosixPaths) {
    fm::DriveMap drives({"/media/ann/STICK"});
    const std::string cwd = "/home/ann/work";
    EXPECT_EQ(ResolveToolPath(R"(C:\Temp\a.cab)", drives, cwd), "/Temp/a.cab");
    EXPECT_EQ(ResolveToolPath(R"(d:\Setup\Out\)", drives, cwd), "/media/ann/STICK/Setup/Out/");
    EXPECT_EQ(ResolveToolPath("/home/ann/a.cab", drives, cwd), "/home/ann/a.cab");
    EXPECT_EQ(ResolveToolPath(R"(sub\out\)", drives, cwd), "/home/ann/work/sub/out/");
    EXPECT_EQ(ResolveToolPath("a.cab", drives, "/"), "/a.cab");
    EXPECT_EQ(ResolveToolPath(R"(Q:\x)", drives, cwd), std::nullopt);
    EXPECT_EQ(ResolveToolPath(R"(\\server\share\a.cab)", drives, cwd), std::nullopt);
}

TEST(ToolPaths, RootedPathsAreOnTheWorkingFoldersDrive) {
    fm::DriveMap drives({"/media/ann/STICK"});
    EXPECT_EQ(ResolveToolPath("\\", drives, "/home/ann"), "/");
    EXPECT_EQ(ResolveToolPath(R"(\out\)", drives, "/home/ann"), "/out/");
    EXPECT_EQ(ResolveToolPath("\\", drives, "/media/ann/STICK/Setup"), "/media/ann/STICK/");
    EXPECT_EQ(ResolveToolPath(R"(\out\)", drives, "/media/ann/STICK/Setup"),
              "/media/ann/STICK/out/");
}

TEST(StoredNames, SafePartsNeverLeaveTheDestination) {
    EXPECT_EQ(SafeNameParts(R"(docs\readme.txt)"), (Strings{"docs", "readme.txt"}));
    EXPECT_EQ(SafeNameParts(R"(..\..\etc\passwd)"), (Strings{"etc", "passwd"}));
    EXPECT_EQ(SafeNameParts(R"(\Windows\x.dll)"), (Strings{"Windows", "x.dll"}));
    EXPECT_EQ(SafeNameParts("/etc/x"), (Strings{"etc", "x"}));
    EXPECT_EQ(SafeNameParts(R"(C:\x\y)"), (Strings{"x", "y"}));
    EXPECT_EQ(SafeNameParts("c:y"), (Strings{"y"}));
    EXPECT_EQ(SafeNameParts(R"(\\server\share\z)"), (Strings{"server", "share", "z"}));
    EXPECT_EQ(SafeNameParts(R"(\C:\D:\z)"), (Strings{"z"}));
    EXPECT_EQ(SafeNameParts(R"(a\.\b\..\..\c)"), (Strings{"a", "b", "c"}));
    EXPECT_EQ(SafeNameParts("a/../../b"), (Strings{"a", "b"}));
    EXPECT_EQ(SafeNameParts(R"(a\\\b)"), (Strings{"a", "b"}));
    // A drive designation further in is an ordinary name here.
    EXPECT_EQ(SafeNameParts(R"(a\C:b)"), (Strings{"a", "C:b"}));
    EXPECT_EQ(SafeNameParts("...\\x"), (Strings{"...", "x"}));
    EXPECT_TRUE(SafeNameParts("..").empty());
    EXPECT_TRUE(SafeNameParts(R"(\.\..\)").empty());
    EXPECT_TRUE(SafeNameParts("C:").empty());
    EXPECT_TRUE(SafeNameParts("").empty());
}

TEST(NamePatterns, WildcardsAndCase) {
    EXPECT_TRUE(NamePattern("*.TXT").matches("readme.txt"));
    EXPECT_FALSE(NamePattern("*.txt").matches("readme.txt.bak"));
    EXPECT_TRUE(NamePattern("r?adme.*").matches("README.md"));
    EXPECT_FALSE(NamePattern("r?adme.*").matches("rADme.md"));
    EXPECT_TRUE(NamePattern("a*b*c").matches("aXXbYYbZZc"));
    EXPECT_FALSE(NamePattern("a*b*c").matches("aXXbYYbZZ"));
    EXPECT_TRUE(NamePattern("**x").matches("x"));
    EXPECT_TRUE(NamePattern("ÄRGER.TXT").matches("ärger.txt"));
    EXPECT_TRUE(NamePattern("?.txt").matches("é.txt")); // one character, two bytes
    EXPECT_FALSE(NamePattern("a.txt").matches("a.txt2"));
}

TEST(NamePatterns, StarAndStarDotStarMatchEverything) {
    for (const char* name : {"noext", "a.b.c", "docs\\x", ".hidden", "\xEF\xBF\xBD"}) {
        EXPECT_TRUE(NamePattern("*").matches(name)) << name;
        EXPECT_TRUE(NamePattern("*.*").matches(name)) << name;
    }
}

TEST(NamePatterns, LastPartUnlessThePatternHasABackslash) {
    EXPECT_TRUE(NamePattern("b.txt").matches(R"(docs\b.txt)"));
    EXPECT_TRUE(NamePattern("b.txt").matches("b.txt"));
    EXPECT_FALSE(NamePattern("docs").matches(R"(docs\b.txt)"));
    EXPECT_TRUE(NamePattern(R"(DOCS\*.txt)").matches(R"(docs\b.txt)"));
    EXPECT_FALSE(NamePattern(R"(docs\*.txt)").matches("b.txt"));
    EXPECT_FALSE(NamePattern(R"(docs\*.txt)").matches(R"(other\docs\b.txt)"));
    EXPECT_TRUE(NamePattern(R"(*\b.txt)").matches(R"(other\docs\b.txt)"));
}

TEST(NamePatterns, SetMatchesAnyAndRemembersUnusedPatterns) {
    PatternSet all({});
    EXPECT_TRUE(all.matches("anything"));
    EXPECT_TRUE(all.unmatched().empty());

    PatternSet set({"a.txt", "*.ini", "missing.dat"});
    EXPECT_TRUE(set.matches(R"(x\A.TXT)"));
    EXPECT_TRUE(set.matches("setup.ini"));
    EXPECT_FALSE(set.matches("b.txt"));
    EXPECT_EQ(set.unmatched(), (Strings{"missing.dat"}));
}

TEST(NamePatterns, SameNameIgnoringCase) {
    EXPECT_TRUE(SameNameIgnoringCase("Split-2.CAB", "split-2.cab"));
    EXPECT_TRUE(SameNameIgnoringCase("ÉTÉ.cab", "été.CAB"));
    EXPECT_FALSE(SameNameIgnoringCase("split-2.cab", "split-2.cab2"));
}
