// The tool's command line and its reading of stored names and patterns.

#include "name_pattern.h"
#include "platform/tool_link.h"
#include "problem_words.h"
#include "stored_name.h"
#include "tool_args.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <mspack.h>
#include <sstream>

using namespace fm::tool;
using Strings = std::vector<std::string>;

namespace {

// "input ~ expected | input ~ expected | ..." as pairs.
std::vector<std::pair<std::string, std::string>> table(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find(" | ", start), text.size());
        std::string_view row = text.substr(start, end - start);
        rows.emplace_back(row.substr(0, row.find(" ~ ")), row.substr(row.find(" ~ ") + 3));
        start = end + 3;
    }
    return rows;
}

} // namespace

TEST(ToolArgs, CommandLines) {
    ToolArgs a = *ParseToolArgs({"-p", "X", "C:\\a.cab", "a.txt", "-q", "C:\\out\\"}).args;
    EXPECT_TRUE(a.keepFolders && !a.quiet && a.command == Command::Extract);
    EXPECT_EQ(a.cabinet, "C:\\a.cab");
    EXPECT_EQ(a.patterns, (Strings{"a.txt", "-q"})); // after the command a dash is a name
    EXPECT_EQ(a.destination, "C:\\out\\");
    a = *ParseToolArgs({"-Q", "-o", "-P", "x", "a.cab", "*.*", "out"}).args;
    EXPECT_TRUE(a.keepFolders && a.quiet && a.overwrite && !a.destination);
    EXPECT_EQ(a.patterns, (Strings{"*.*", "out"}));    // no separator at the end: no destination
    a = *ParseToolArgs({"l", "a.cab", "docs\\"}).args; // listing has no destination
    EXPECT_TRUE(a.command == Command::List && a.patterns == Strings{"docs\\"});
    EXPECT_EQ(ParseToolArgs({"X", "a.cab", "/"}).args->destination, "/");
    a = *ParseToolArgs({"-p", "-N", "-@", "/dev/fd/3", "X", "a.cab", "D:\\o\\"}).args;
    EXPECT_TRUE(a.keepFolders && a.skipExisting && a.link == "/dev/fd/3" && a.patterns.empty());
    EXPECT_EQ(ParseToolArgs({"-R", "4", "X", "a.cab"}).args->progressFd, 4);
    EXPECT_EQ(ParseToolArgs({"-C", "932", "L", "a.cab"}).args->codePage, 932);

    // Arguments (split at spaces, '' an empty one) ~ what the refusal names.
    for (const auto& [line, error] : table(
             " ~ no command | -p ~ no command | -z X a ~ -z | -pq X a ~ -pq | Z a ~ unknown command"
             " | T a x ~ takes nothing | X '' ~ no cabinet | X a '' o\\ ~ empty | -@ ~ -@ needs"
             " | -@ '' X a ~ -@ needs | -r ~ -r needs | -r 4x X a ~ -r needs"
             " | -r -1 X a ~ -r needs | -c 65001 L a ~ -c needs")) {
        Strings args;
        std::istringstream words(line);
        for (std::string w; words >> w;)
            args.push_back(w == "''" ? "" : w);
        ParsedArgs p = ParseToolArgs(args);
        EXPECT_FALSE(p.args) << line;
        EXPECT_NE(p.error.find(error), std::string::npos) << p.error;
    }
}

TEST(StoredNames, SafePartsStayInsideAndCanBeTyped) {
    for (const auto& [name, parts] :
         table("..\\..\\etc\\passwd ~ etc/passwd | /etc/x ~ etc/x | \\C:\\D:\\z ~ z | c:y ~ y | "
               "a\\.\\b\\..\\..\\c ~ a/b/c | a\\\\\\b ~ a/b | a\\C:b ~ a/C:b | ...\\x ~ .../x | "
               "\x1f\\\x01 ~ _/_ | .. ~  | \\.\\..\\ ~  | C: ~ ")) {
        EXPECT_EQ(fm::OutputPath(name, true), parts) << name;
    }
    EXPECT_EQ(fm::OutputNameParts("a\nb\\\x1b[1m\x7f\t"), (Strings{"a_b", "_[1m__"}));
    EXPECT_EQ(Printable("a\nb\r\tc\x1b[2J\x7f\x01\x1f\\ü"),
              "a\\nb\\r\\tc\\x1b[2J\\x7f\\x01\\x1f\\ü");
}

TEST(NamePatterns, Matching) {
    // Pattern ~ name. Letters late in the alphabet, trailing stars; without a backslash the
    // pattern meets the last part, with one the whole name, leading backslashes left out.
    auto matching = table(
        "*.TXT ~ readme.txt | r?adme.* ~ README.md | a*b*c ~ aXXbYYbZZc | **x ~ x | x* ~ XYZ.txt | "
        "y?z* ~ YÜZ | ÜBER* ~ über.txt | ?.txt ~ é.txt | * ~ .hidden | *.* ~ noext | "
        "*.* ~ \xEF\xBF\xBD | b.txt ~ docs\\b.txt | DOCS\\*.txt ~ docs\\b.txt | "
        "*\\b.txt ~ x\\docs\\b.txt | \\readme.txt ~ README.TXT | "
        "\\\\docs\\readme.txt ~ \\docs\\readme.txt | docs\\readme.txt ~ \\\\docs\\readme.txt | "
        "*aab ~ aaab | a*?b ~ axb | *b?*b ~ abcb | *ab*ab* ~ abab | ?*?*? ~ abc | a*aa*a ~ aaaa");
    auto different = table(
        "*.txt ~ readme.txt.bak | r?adme.* ~ rADme.md | a*b*c ~ aXXbYYbZZ | xy* ~ xz.txt | "
        "zulu* ~ zul | über.txt ~ uber.txt | a.txt ~ a.txt2 | docs ~ docs\\b.txt | "
        "docs\\*.txt ~ b.txt | docs\\*.txt ~ x\\docs\\b.txt | \\readme.txt ~ docs\\readme.txt | "
        "a*a ~ a | a*?b ~ ab | *ab*ab* ~ aba | ?*?*? ~ ab | a*aa*a ~ aaa | *b?*b ~ abb");
    // A part of more than 64 characters between stars, and the slow case of a simple matcher.
    const std::string a70(70, 'a');
    matching.push_back({"*" + a70 + "*", "x" + a70});
    different.push_back({"*" + a70 + "*", "x" + a70.substr(1) + "x" + a70.substr(1)});
    different.push_back({"*" + a70 + "b", std::string(300, 'a')});
    for (bool match : {true, false}) {
        for (const auto& [pattern, name] : match ? matching : different) {
            EXPECT_EQ(NamePattern(pattern).matches(name), match) << pattern << " ~ " << name;
            EXPECT_EQ(PatternSet({pattern}).matches(name), match) << pattern << " ~ " << name;
        }
    }
    PatternSet set({"a.txt", "*.ini", "missing.dat", "*", "*.*"});
    EXPECT_TRUE(set.matches("x\\A.TXT"));
    EXPECT_EQ(set.unmatched(), (Strings{"*.ini", "missing.dat"}));
    EXPECT_TRUE(PatternSet({"*", "*.*"}).unmatched().empty()); // all of nothing is no miss
    EXPECT_TRUE(SameNameIgnoringCase("ÉTÉ-2.CAB", "été-2.cab"));
    EXPECT_FALSE(SameNameIgnoringCase("split-2.cab", "split-2.cab2"));
}

// Each failure in the words the program's user reads, whatever the system or the library calls it.
TEST(ProblemWords, PlainWordsForEachFailure) {
    const std::pair<std::string, const char*> cases[] = {
        {ErrnoWords(EDQUOT), "no space left on the device"},
        {ErrnoWords(EPERM), "permission denied"},
        {ErrnoWords(EROFS), "the device is read-only"},
        {ErrnoWords(EIO), "the device reported a read or write error"},
        {ErrnoWords(ENAMETOOLONG), "the name is too long"},
        {ErrnoWords(EILSEQ), "the device does not accept this name"},
        {ErrnoWords(ENOTDIR), "another file, folder or link is in the way"},
        {ErrnoWords(EMFILE), "too many open files"},
        {ErrnoWords(EFBIG), "the file is too large for the device"},
        {ErrnoWords(E2BIG), "argument list too long"},
        {MspackWords(MSPACK_ERR_DECRUNCH), "damaged (compressed data that cannot be decoded)"},
        {MspackWords(MSPACK_ERR_SEEK), "damaged (the cabinet is cut short)"},
        {MspackWords(MSPACK_ERR_WRITE), "cannot be written"},
        {MspackWords(MSPACK_ERR_DATAFORMAT),
         "damaged (its data does not match the cabinet's tables)"},
        {CabinetMspackWords(MSPACK_ERR_NOMEMORY), "out of memory"},
        {CabinetMspackWords(MSPACK_ERR_DATAFORMAT), "damaged (its tables cannot be read)"},
    };
    for (const auto& [got, want] : cases)
        EXPECT_EQ(got, want);
}
