#include "platform/cabinet_directory.h"
#include "platform/command_line.h"
#include "platform/drive_map.h"
#include "platform/tool_link.h"

#include <gtest/gtest.h>

#include <random>

using namespace fm;
using Strings = std::vector<std::string>;

namespace {

// Every byte but NUL, weighted towards the ones the quoting and the escapes treat specially.
std::string randomText(std::mt19937& rng, size_t maxLength) {
    static const std::string special = "\\\" \t\n\r*?/:\x7f\x01\xff\xc3";
    std::string s(rng() % (maxLength + 1), 'a');
    for (char& c : s)
        c = rng() % 2 ? special[rng() % special.size()] : static_cast<char>(1 + rng() % 255);
    return s;
}

} // namespace

TEST(ToolLink, RoundTripsAnyNameAndMount) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        ToolLink link;
        for (size_t i = rng() % 4; i > 0; --i)
            link.driveMounts.push_back('/' + randomText(rng, 12));
        for (size_t i = rng() % 6; i > 0; --i)
            link.records.push_back({static_cast<std::uint32_t>(rng()), randomText(rng, 20)});
        link.codePage = kNameCodePages[rng() % std::size(kNameCodePages)];
        const std::string text = WriteToolLink(link);
        std::string error;
        const auto back = ReadToolLink(text, &error);
        ASSERT_TRUE(back) << error;
        EXPECT_EQ(*back, link);
        // One line per entry: nothing in a field may break a line.
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
                  1 + (link.codePage != 1252) +
                      std::ptrdiff_t(link.driveMounts.size() + link.records.size()));
    }
}

TEST(ToolLink, CarriesTheDriveMapLetterForLetter) {
    const DriveMap program({"/media/ann/STICK", "/mnt/my disk"});
    const DriveMap tool =
        ReadToolLink(WriteToolLink({ToolLink::mountsOf(program), {}}), nullptr)->drives();
    for (const char* path : {"D:\\x\\y", "e:\\", "C:\\home"})
        EXPECT_EQ(tool.toPosix(path), program.toPosix(path)) << path;
    EXPECT_EQ(tool.toPosix("E:\\a"), "/mnt/my disk/a");
    EXPECT_EQ(tool.find('f'), nullptr);
}

TEST(ToolLink, RefusesWhatItDidNotWrite) {
    const char* bad[] = {
        "",
        "fendlemark-link 2\n",
        "fendlemark-link 1\nfile 1 a",    // last line cut off
        "fendlemark-link 1\nfile 01 a\n", // not the number written
        "fendlemark-link 1\nfile -1 a\n",
        "fendlemark-link 1\nfile 4294967296 a\n", // past 32 bits
        "fendlemark-link 1\nfile 1\n",
        "fendlemark-link 1\nfile 1 a\\12\n",  // escape cut short
        "fendlemark-link 1\nfile 1 a\\400\n", // past a byte
        "fendlemark-link 1\nfile 1 a\\08x\n",
        "fendlemark-link 1\ndrive e /m\n", // d: skipped
        "fendlemark-link 1\ndrive d m\n",  // relative mount
        "fendlemark-link 1\nfile 1 a\ndrive d /m\n",
        "fendlemark-link 1\nname 1 a\n",
        "fendlemark-link 1\ncodepage 65001\n",
        "fendlemark-link 1\ndrive d /m\ncodepage 932\n",
    };
    for (const char* text : bad) {
        std::string error;
        EXPECT_FALSE(ReadToolLink(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
    EXPECT_EQ(
        ReadToolLink("fendlemark-link 1\nfile 0 a\\040b\\134c\\377\n", nullptr).value().records,
        (std::vector<LinkedRecord>{{0, "a b\\c\xff"}}));
}

TEST(ToolLink, QuotedArgumentsSplitBackExactly) {
    std::mt19937 rng(11);
    for (int round = 0; round < 500; ++round) {
        Strings args;
        std::string line;
        for (size_t i = 1 + rng() % 4; i > 0; --i) {
            std::string arg = randomText(rng, 10);
            line += ' ' + (rng() % 2 ? QuoteArgument(arg) : PathArgument(arg));
            args.push_back(std::move(arg));
        }
        EXPECT_EQ(SplitCommandLine(line), args) << line;
    }
    EXPECT_EQ(PathArgument("C:\\a b Extracted\\"), "\"C:\\a b Extracted\\\\\"");
    EXPECT_EQ(PathArgument("C:\\Temp\\"), "C:\\Temp\\");
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
