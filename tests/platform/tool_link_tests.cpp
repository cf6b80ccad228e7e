#include "platform/tool_link.h"

#include <gtest/gtest.h>

using namespace fm;

// Round trips of links, drive maps and quoted arguments are the tool_link fuzz target's.
TEST(ToolLink, RefusesWhatItDidNotWrite) {
    // Cut off, numbers not as written or past 32 bits, escapes cut short or past a byte, drive d:
    // skipped, a relative mount, entries out of order or unknown, a code page not offered.
    const std::string v1 = "fendlemark-link 1\n";
    for (const std::string& text :
         {std::string(), std::string("fendlemark-link 2\n"), v1 + "file 1 a", v1 + "file 01 a\n",
          v1 + "file -1 a\n", v1 + "file 4294967296 a\n", v1 + "file 1\n", v1 + "file 1 a\\12\n",
          v1 + "file 1 a\\400\n", v1 + "file 1 a\\08x\n", v1 + "drive e /m\n", v1 + "drive d m\n",
          v1 + "file 1 a\ndrive d /m\n", v1 + "name 1 a\n", v1 + "codepage 65001\n",
          v1 + "drive d /m\ncodepage 932\n"}) {
        std::string error;
        EXPECT_FALSE(ReadToolLink(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    EXPECT_EQ(ReadToolLink(v1 + "file 0 a\\040b\\134c\\377\n", nullptr).value().records,
              (std::vector<LinkedRecord>{{0, "a b\\c\xff"}}));
}

TEST(ToolLink, OutputPathsStayBelowTheDestination) {
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"docs\\readme.txt", true, "docs/readme.txt"},
        {"docs\\readme.txt", false, "readme.txt"},
        {"x/readme.txt", true, "x/readme.txt"},
        {"C:\\..\\..\\etc\\x\\", false, "x"},
        {"..\\.\\", false, ""},
        {"", false, ""},
    };
    for (const auto& [name, keep, want] : cases)
        EXPECT_EQ(OutputPath(name, keep), want) << name;
}
