#include "stored_name.h"

#include <cstdint>

namespace fm::tool {

namespace {

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

// Windows-1252 0x80..0x9F; the five unassigned bytes stay C1 controls, as Windows maps them.
constexpr std::uint16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the well-formed UTF-8 sequence at s[i], or 0.
size_t wellFormedLength(std::string_view s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t left = s.size() - i;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return left >= 2 && (b(i + 1) & 0xC0) == 0x80 ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3)
            return 0;
        unsigned char lo = c == 0xE0 ? 0xA0 : 0x80; // no overlong forms
        unsigned char hi = c == 0xED ? 0x9F : 0xBF; // no surrogates
        bool ok = b(i + 1) >= lo && b(i + 1) <= hi && (b(i + 2) & 0xC0) == 0x80;
        return ok ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4)
            return 0;
        unsigned char lo = c == 0xF0 ? 0x90 : 0x80;
        unsigned char hi = c == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        bool ok = b(i + 1) >= lo && b(i + 1) <= hi && (b(i + 2) & 0xC0) == 0x80 &&
                  (b(i + 3) & 0xC0) == 0x80;
        return ok ? 4 : 0;
    }
    return 0;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDriveDesignation(std::string_view s) {
    return s.size() >= 2 && s[1] == ':' &&
           ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

} // namespace

std::string StoredNameText(std::string_view raw, bool isUtf8) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size();) {
        auto c = static_cast<unsigned char>(raw[i]);
        if (c < 0x80) {
            out += raw[i++];
        } else if (!isUtf8) {
            appendUtf8(out, c < 0xA0 ? kCp1252High[c - 0x80] : c);
            ++i;
        } else if (size_t len = wellFormedLength(raw, i)) {
            out.append(raw.substr(i, len));
            i += len;
        } else {
            appendUtf8(out, kReplacement);
            ++i;
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
        if (!part.empty() && part != "." && part != "..")
            parts.emplace_back(part);
        start = i + 1;
    }
    return parts;
}

std::string_view LastNamePart(std::string_view name) {
    size_t cut = name.find_last_of("\\/");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

} // namespace fm::tool
