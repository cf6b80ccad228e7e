// The program's half of the link against the tool's: what the program quotes, the tool splits
// back into exactly the same arguments; a link written is read back equal; a drive map sent
// through a link maps every path as the program's own map does; and any bytes read as a link
// give a link or a refusal.

#include "fuzz_support.h"
#include "platform/cabinet_directory.h"
#include "platform/command_line.h"
#include "platform/drive_map.h"
#include "platform/tool_link.h"

#include <algorithm>
#include <vector>

namespace {

using fm::fuzz::Input;

std::string join(const std::vector<std::string>& args) {
    std::string s;
    for (const std::string& a : args)
        s += "[" + a + "]";
    return s;
}

// A name or path as the program has it: any bytes but NUL, which no name can hold.
std::string argumentText(Input& in) {
    std::string s = in.text();
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    return s;
}

// The parameter string the program builds, with the separators and the quoting of each name
// chosen by the input, split as the tool splits it.
void quotedArguments(Input& in) {
    static constexpr const char* kSeparators[] = {" ", "\t", "  ", " \t "};
    auto separator = [&] { return std::string(kSeparators[in.byte() % 4]); };
    const std::uint8_t options = in.byte();
    std::vector<std::string> expected;
    std::string parameters = separator();
    for (const char* option : {"-p", "-n"}) {
        if (options & (option[1] == 'p' ? 1 : 2)) {
            parameters += std::string(option) + separator();
            expected.push_back(option);
        }
    }
    parameters += "-@" + separator() + fm::kToolLinkPath + separator() + "X";
    expected.insert(expected.end(), {"-@", fm::kToolLinkPath, "X"});
    const std::string cabinet = argumentText(in);
    parameters += separator() + fm::PathArgument(cabinet);
    expected.push_back(cabinet);
    for (int n = in.byte() % 8; n > 0; --n) {
        const std::string name = argumentText(in);
        parameters +=
            separator() + ((in.byte() & 1) ? fm::QuoteArgument(name) : fm::PathArgument(name));
        expected.push_back(name);
    }
    const std::string destination = argumentText(in);
    parameters += separator() + fm::PathArgument(destination) + "\\";
    expected.push_back(destination + "\\");
    if (options & 4)
        parameters += separator();
    const std::vector<std::string> split = fm::SplitCommandLine(parameters);
    FM_FUZZ_CHECK(split == expected, parameters + " split as " + join(split));
}

// A link as the program fills it: mount paths are absolute, at most d: to z:.
void linkRoundTrip(Input& in) {
    fm::ToolLink link;
    for (int n = in.byte() % 24; n > 0; --n)
        link.driveMounts.push_back("/" + in.text());
    for (int n = in.byte(); n > 0 && !in.empty(); --n) {
        const std::uint32_t index = in.u16() | static_cast<std::uint32_t>(in.u16()) << 16;
        link.records.push_back({index, in.text()});
    }
    link.codePage = fm::kNameCodePages[in.byte() % std::size(fm::kNameCodePages)];
    (in.byte() & 1) ? void(link.sourceStream = in.text()) : void(link.sourceOffset = in.u16());
    const bool source = link.sourceOffset != 0 || !link.sourceStream.empty();
    const std::string text = fm::WriteToolLink(link);
    std::string error;
    const auto back = fm::ReadToolLink(text, &error);
    FM_FUZZ_CHECK(back, error + "\n" + text);
    FM_FUZZ_CHECK(*back == link, "read back differently:\n" + text);
    FM_FUZZ_CHECK(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) ==
                      1 + (link.codePage != 1252) + source + link.driveMounts.size() +
                          link.records.size(),
                  "a field broke its line:\n" + text);
}

// The drive map the program builds from a mount table, sent through a link: the tool's map
// must put every path where the program's does.
void driveMapThroughLink(Input& in) {
    const fm::DriveMap program = fm::DriveMap::fromMountTable(in.bytes(in.u16() % 4096));
    const fm::ToolLink link{fm::ToolLink::mountsOf(program), {}};
    std::string error;
    const auto back = fm::ReadToolLink(fm::WriteToolLink(link), &error);
    FM_FUZZ_CHECK(back, error);
    const fm::DriveMap tool = back->drives();
    FM_FUZZ_CHECK(tool.drives().size() == program.drives().size(), "drive count");
    for (std::size_t i = 0; i < tool.drives().size(); ++i) {
        const fm::Drive &a = program.drives()[i], &b = tool.drives()[i];
        FM_FUZZ_CHECK(a.letter == b.letter && a.mountPath == b.mountPath,
                      a.entryText() + " became " + b.entryText());
    }
    while (!in.empty()) {
        const std::string path = in.text();
        FM_FUZZ_CHECK(program.toPosix(path) == tool.toPosix(path), path);
        FM_FUZZ_CHECK(program.toDrive(path) == tool.toDrive(path), path);
    }
}

// Any bytes: a refusal, or a link that writes back to text read as the same link.
void anyText(Input& in) {
    const std::string text = in.rest();
    std::string error;
    const auto link = fm::ReadToolLink(text, &error);
    if (!link) {
        FM_FUZZ_CHECK(!error.empty(), "a refusal without a reason");
        return;
    }
    const auto again = fm::ReadToolLink(fm::WriteToolLink(*link), &error);
    FM_FUZZ_CHECK(again && *again == *link, "a link read changed when written again: " + error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    static constexpr void (*kModes[])(Input&) = {quotedArguments, linkRoundTrip,
                                                 driveMapThroughLink, anyText};
    kModes[in.byte() % 4](in);
    return 0;
}
