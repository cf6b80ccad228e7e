#include "platform/command_line.h"

#include <gtest/gtest.h>

using fm::SplitCommandLine;
using Args = std::vector<std::string>;

// The C runtime's rules, one or two cases each, and the parameter strings the program builds.
TEST(SplitCommandLine, WindowsRuntimeRules) {
    const std::pair<std::string, Args> cases[] = {
        {R"("a b c" d e)", {"a b c", "d", "e"}},
        {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
        {R"(a\\\b d"e f"g h)", {R"(a\\\b)", "de fg", "h"}},
        {R"(a\\\"b c d)", {R"(a\"b)", "c", "d"}},
        {R"(a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
        {R"(a"b"" c d)", {"ab\" c d"}},
        {"", {}},
        {" \t  ", {}},
        {"  a\t\tb   c  ", {"a", "b", "c"}},
        {"a\nb\rc", {"a\nb\rc"}}, // only space and tab separate
        {R"(a "" b)", {"a", "", "b"}},
        {R"(a "b c)", {"a", "b c"}}, // an open quote runs to the end
        {R"(a ")", {"a", ""}},
        {R"("a""b c" d)", {"a\"b c", "d"}}, // "" inside quotes: one quote, still quoted
        {R"("""")", {"\""}},
        {R"(a""b c)", {"ab", "c"}},
        {R"("a\\" b)", {"a\\", "b"}},
        {R"(C:\Temp\ \ \\server\share\\)", {R"(C:\Temp\)", R"(\)", R"(\\server\share\\)"}},
        {R"( -p X C:\Temp\a.cab "read me.txt"  "b.txt" C:\Temp\out\)",
         {"-p", "X", R"(C:\Temp\a.cab)", "read me.txt", "b.txt", R"(C:\Temp\out\)"}},
        {std::string("a b\0c d", 7), {"a", "b"}}, // the text ends at a NUL
    };
    for (const auto& [line, want] : cases)
        EXPECT_EQ(SplitCommandLine(line), want) << line;
}
