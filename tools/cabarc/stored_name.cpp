#include "stored_name.h"

namespace fm::tool {

namespace {

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDriveDesignation(std::string_view s) {
    return s.size() >= 2 && s[1] == ':' &&
           ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

bool isControl(char c) {
    return (c >= 1 && c <= 31) || c == 127;
}

} // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isControl(c)) {
            out += c;
            continue;
        }
        static const char hex[] = "0123456789abcdef";
        out += '\\';
        switch (c) {
        case '\t':
            out += 't';
            break;
        case '\n':
            out += 'n';
            break;
        case '\r':
            out += 'r';
            break;
        default:
            out += 'x';
            out += hex[(c >> 4) & 0xF];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::vector<std::string> SafeNameParts(std::string_view name) {
    // Strip what would anchor the name elsewhere: "\\", "C:", "C:\", "\C:\..." in any mix.
    for (;;) {
        size_t before = name.size();
        while (!name.empty() && isSeparator(name.front()))
            name.remove_prefix(1);
        if (isDriveDesignation(name))
            name.remove_prefix(2);
        if (name.size() == before)
            break;
    }
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isSeparator(name[i]))
            continue;
        std::string_view part = name.substr(start, i - start);
        if (!part.empty() && part != "." && part != "..") {
            std::string& p = parts.emplace_back(part);
            for (char& c : p) {
                if (isControl(c))
                    c = '_';
            }
        }
        start = i + 1;
    }
    return parts;
}

std::string_view LastNamePart(std::string_view name) {
    size_t cut = name.find_last_of("\\/");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

} // namespace fm::tool
