#include "platform/wildcard.h"

#include "platform/cabinet_directory.h"

#include <cwctype>
#include <locale.h>

namespace fm {

namespace {

// A UTF-8 locale for the case mapping, whatever the process's own locale is.
locale_t caseLocale() {
    static locale_t loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, nullptr))
                return l;
        }
        return locale_t{};
    }();
    return loc;
}

// Decodes text that StoredNameToUtf8 has already made well-formed.
std::u32string decode(std::string_view s) {
    std::u32string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += cp;
        i += len;
    }
    return out;
}

} // namespace

char32_t FoldCase(char32_t c) {
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    if (locale_t loc = caseLocale())
        return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
    return c;
}

std::u32string FoldCase(std::string_view utf8) {
    std::u32string cps = decode(StoredNameToUtf8(utf8, true));
    for (auto& c : cps)
        c = FoldCase(c);
    return cps;
}

bool MatchesEveryName(std::string_view pattern) {
    return pattern == "*" || pattern == "*.*";
}

bool WildcardMatch(std::u32string_view pat, std::u32string_view name) {
    size_t p = 0, n = 0, starP = std::u32string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == U'?' || pat[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pat.size() && pat[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == U'*')
        ++p;
    return p == pat.size();
}

} // namespace fm
