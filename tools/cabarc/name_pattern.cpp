#include "name_pattern.h"

#include "platform/cabinet_directory.h"
#include "stored_name.h"

#include <algorithm>
#include <clocale>
#include <cwctype>
#include <locale.h>

namespace fm::tool {

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

char32_t foldOne(char32_t c) {
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    if (locale_t loc = caseLocale())
        return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
    return c;
}

// Decodes text that StoredNameToUtf8 has already made well-formed (or a pattern argument, which
// gets the same treatment first).
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

// Wildcard match with single-star backtracking: linear in practice, never exponential.
bool globMatch(const std::u32string& pat, const std::u32string& name) {
    size_t p = 0, n = 0, starP = std::u32string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == U'?' || pat[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pat.size() && pat[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u32string::npos) {
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

} // namespace

std::string_view WithoutLeadingBackslashes(std::string_view name) {
    name.remove_prefix(std::min(name.find_first_not_of('\\'), name.size()));
    return name;
}

std::u32string FoldCase(std::string_view utf8) {
    std::u32string cps = decode(fm::StoredNameToUtf8(utf8, true));
    for (auto& c : cps)
        c = foldOne(c);
    return cps;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return FoldCase(a) == FoldCase(b);
}

NamePattern::NamePattern(std::string_view pattern)
    : text_(pattern), matchesAll_(pattern == "*" || pattern == "*.*"),
      wholeName_(pattern.find('\\') != std::string_view::npos) {
    folded_ = FoldCase(wholeName_ ? WithoutLeadingBackslashes(pattern) : pattern);
}

bool NamePattern::matches(std::string_view storedName) const {
    if (matchesAll_)
        return true;
    return globMatch(folded_, FoldCase(wholeName_ ? WithoutLeadingBackslashes(storedName)
                                                  : LastNamePart(storedName)));
}

bool NamePattern::matchesFolded(const std::u32string& wholeName,
                                const std::u32string& lastPart) const {
    return matchesAll_ || globMatch(folded_, wholeName_ ? wholeName : lastPart);
}

PatternSet::PatternSet(const std::vector<std::string>& patterns) : used_(patterns.size(), false) {
    for (const auto& p : patterns)
        patterns_.emplace_back(p);
}

bool PatternSet::matches(std::string_view storedName) {
    if (patterns_.empty())
        return true;
    // Fold once for all patterns: the program may pass hundreds of names.
    const std::u32string whole = FoldCase(WithoutLeadingBackslashes(storedName));
    const std::u32string last = FoldCase(LastNamePart(storedName));
    bool any = false;
    for (size_t i = 0; i < patterns_.size(); ++i) {
        if (patterns_[i].matchesFolded(whole, last)) {
            used_[i] = true;
            any = true;
        }
    }
    return any;
}

std::vector<std::string> PatternSet::unmatched() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < patterns_.size(); ++i) {
        if (!used_[i] && !patterns_[i].matchesAll())
            out.push_back(patterns_[i].text());
    }
    return out;
}

} // namespace fm::tool
