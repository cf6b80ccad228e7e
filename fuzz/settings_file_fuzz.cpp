// The settings file round trip: from any file text, writing one key changes only that key's line
// (or adds it, with its section when missing); every other line stays byte for byte, line end
// included, the key reads back as written, and writing it again changes nothing.

#include "fuzz_support.h"
#include "platform/profile.h"

#include <strings.h>

#include <vector>

namespace {

using fm::fuzz::Input;

// A line with its own line end ("" for a last line without one).
struct Line {
    std::string text;
    std::string eol;
    bool operator==(const Line&) const = default;
};

std::vector<Line> lines(std::string_view text) {
    std::vector<Line> out;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::size_t eol = end == text.size() ? 0 : text.substr(end, 2) == "\r\n" ? 2 : 1;
        out.push_back({std::string(text.substr(0, end)), std::string(text.substr(end, eol))});
        text.remove_prefix(end + eol);
    }
    return out;
}

std::string_view trim(std::string_view s) {
    const std::size_t b = s.find_first_not_of(" \t");
    return b == std::string_view::npos ? std::string_view()
                                       : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool sameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && (a.empty() || strncasecmp(a.data(), b.data(), a.size()) == 0);
}

bool isKeyLine(std::string_view text, std::string_view key) {
    const std::string_view t = trim(text);
    const std::size_t eq = t.find('=');
    return !t.empty() && t.front() != ';' && eq != std::string_view::npos &&
           sameNoCase(trim(t.substr(0, eq)), key);
}

bool isSectionLine(std::string_view text, std::string_view section) {
    const std::string_view t = trim(text);
    return t.size() >= 2 && t.front() == '[' && t.back() == ']' &&
           sameNoCase(trim(t.substr(1, t.size() - 2)), section);
}

// A name as the program uses them: letters of the program's own names, in any letter case.
std::string name(Input& in, std::string_view base) {
    std::string s(base);
    const std::uint8_t flips = in.byte();
    for (std::size_t i = 0; i < s.size() && i < 8; ++i)
        if (flips & (1u << i))
            s[i] = static_cast<char>(s[i] ^ 0x20);
    return s;
}

std::string describe(const std::string& before, const std::string& after) {
    return "\n--- before\n" + before + "\n--- after\n" + after;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fm::fuzz::ScratchFolder folder;
    static const std::string file = folder.path() + "/Fendlemark.ini";
    static constexpr const char* kSections[] = {"Fendlemark", "Other"};
    static constexpr const char* kKeys[] = {"InitialPath", "ExtrAlwaysSame", "ExtrPreservePath",
                                            "ExtrObName", "ExtrSetFolder"};
    Input in(data, size);
    const std::string section = name(in, kSections[in.byte() % 2]);
    const std::string key = name(in, kKeys[in.byte() % 5]);
    // Any value the program can hold: no line break (a path cannot hold one either) and no NUL.
    const std::string value = in.text();
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return -1;
    const std::string before = in.rest();

    fm::test::writeFile(file, before);
    FM_FUZZ_CHECK(fm::WriteProfileString(file, section, key, value), "write refused");
    const std::string after = fm::test::readFile(file);
    const auto read = fm::GetProfileString(file, section, key);
    FM_FUZZ_CHECK(read && *read == value, "[" + section + "] " + key + " read back as " +
                                              (read ? *read : "nothing") + describe(before, after));

    // Only the key's own line differs, or lines for it (and its section) were added.
    const std::vector<Line> a = lines(before), b = lines(after);
    std::size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    std::vector<Line> removed(a.begin() + head, a.end() - tail),
        added(b.begin() + head, b.end() - tail);
    // A last line without a line end gains one when a line is added after it.
    if (!removed.empty() && removed.front().eol.empty() && !added.empty() &&
        added.front().text == removed.front().text && !added.front().eol.empty()) {
        removed.erase(removed.begin());
        added.erase(added.begin());
    }
    FM_FUZZ_CHECK(removed.size() <= 1 && (removed.empty() || isKeyLine(removed[0].text, key)),
                  "another line changed" + describe(before, after));
    std::size_t keyLines = 0;
    for (const Line& l : added) {
        keyLines += isKeyLine(l.text, key);
        FM_FUZZ_CHECK(isKeyLine(l.text, key) || isSectionLine(l.text, section),
                      "a foreign line added" + describe(before, after));
    }
    // Nothing changes when the key's line already says the same.
    FM_FUZZ_CHECK(keyLines == 1 || (removed.empty() && added.empty()),
                  "the key's line is missing" + describe(before, after));
    if (removed.size() == 1)
        FM_FUZZ_CHECK(added.size() == 1 && added[0].eol == removed[0].eol,
                      "the key's line changed its line end" + describe(before, after));

    FM_FUZZ_CHECK(fm::WriteProfileString(file, section, key, value), "second write refused");
    FM_FUZZ_CHECK(fm::test::readFile(file) == after,
                  "writing the same value again changed the file");
    return 0;
}
