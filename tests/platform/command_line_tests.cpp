#include "platform/command_line.h"

#include <gtest/gtest.h>

using fm::SplitCommandLine;
using Args = std::vector<std::string>;

// The examples of the C runtime's documentation, one per rule.
TEST(SplitCommandLine, DocumentedExamples) {
    EXPECT_EQ(SplitCommandLine(R"("a b c" d e)"), (Args{"a b c", "d", "e"}));
    EXPECT_EQ(SplitCommandLine(R"("ab\"c" "\\" d)"), (Args{"ab\"c", "\\", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(a\\\b d"e f"g h)"), (Args{R"(a\\\b)", "de fg", "h"}));
    EXPECT_EQ(SplitCommandLine(R"(a\\\"b c d)"), (Args{R"(a\"b)", "c", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(a\\\\"b c" d e)"), (Args{R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(SplitCommandLine(R"(a"b"" c d)"), (Args{"ab\" c d"}));
}

TEST(SplitCommandLine, BlanksSeparateAndVanishAtTheEnds) {
    EXPECT_EQ(SplitCommandLine(""), Args{});
    EXPECT_EQ(SplitCommandLine(" \t  "), Args{});
    EXPECT_EQ(SplitCommandLine("  a\t\tb   c  "), (Args{"a", "b", "c"}));
    // Only space and tab separate; other control characters belong to the argument.
    EXPECT_EQ(SplitCommandLine("a\nb\rc"), (Args{"a\nb\rc"}));
}

TEST(SplitCommandLine, EmptyQuotedArguments) {
    EXPECT_EQ(SplitCommandLine(R"("")"), (Args{""}));
    EXPECT_EQ(SplitCommandLine(R"(a "" b)"), (Args{"a", "", "b"}));
    EXPECT_EQ(SplitCommandLine(R"("" "")"), (Args{"", ""}));
    // An unterminated quote runs to the end of the text.
    EXPECT_EQ(SplitCommandLine(R"(a "b c)"), (Args{"a", "b c"}));
    EXPECT_EQ(SplitCommandLine(R"(a ")"), (Args{"a", ""}));
}

TEST(SplitCommandLine, QuotesInsideQuotedText) {
    // "" inside quoted text is one quote and the text stays quoted (the 2008 rule).
    EXPECT_EQ(SplitCommandLine(R"("a""b c" d)"), (Args{"a\"b c", "d"}));
    EXPECT_EQ(SplitCommandLine(R"("""")"), (Args{"\""}));
    // Outside quoted text, "" merely opens and closes.
    EXPECT_EQ(SplitCommandLine(R"(a""b c)"), (Args{"ab", "c"}));
    // Quoted parts join the text around them.
    EXPECT_EQ(SplitCommandLine(R"(x"y z"w "p"q)"), (Args{"xy zw", "pq"}));
}

TEST(SplitCommandLine, BackslashesBeforeQuotes) {
    EXPECT_EQ(SplitCommandLine(R"(\")"), (Args{"\""}));
    EXPECT_EQ(SplitCommandLine(R"(\\")"), (Args{"\\"}));
    EXPECT_EQ(SplitCommandLine(R"(\\\" x)"), (Args{"\\\"", "x"}));
    EXPECT_EQ(SplitCommandLine(R"("a\\" b)"), (Args{"a\\", "b"}));
    // An escaped quote inside quoted text does not close it.
    EXPECT_EQ(SplitCommandLine(R"("a\" b" c)"), (Args{"a\" b", "c"}));
}

TEST(SplitCommandLine, BackslashesElsewhereAreLiteral) {
    EXPECT_EQ(SplitCommandLine(R"(C:\Temp\ \ \\server\share\\)"),
              (Args{R"(C:\Temp\)", R"(\)", R"(\\server\share\\)"}));
    EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\x")"), (Args{R"(C:\Program Files\x)"}));
}

// The parameter strings the program builds for the tool.
TEST(SplitCommandLine, ToolCommandLines) {
    EXPECT_EQ(SplitCommandLine(R"( X C:\Temp\Setup.cab *.* C:\Temp\Setup_Extracted\)"),
              (Args{"X", R"(C:\Temp\Setup.cab)", "*.*", R"(C:\Temp\Setup_Extracted\)"}));
    EXPECT_EQ(SplitCommandLine(R"( -p X C:\Temp\a.cab "a.txt"  "b.txt" C:\Temp\out\)"),
              (Args{"-p", "X", R"(C:\Temp\a.cab)", "a.txt", "b.txt", R"(C:\Temp\out\)"}));
    EXPECT_EQ(SplitCommandLine(R"( X C:\Temp\a.cab "read me.txt" \)"),
              (Args{"X", R"(C:\Temp\a.cab)", "read me.txt", "\\"}));
}

TEST(SplitCommandLine, TextEndsAtNul) {
    using namespace std::string_view_literals;
    EXPECT_EQ(SplitCommandLine("a b\0c d"sv), (Args{"a", "b"}));
}
