#include "platform/wildcard.h"

#include "platform/cabinet_directory.h"

#include <algorithm>
#include <cstdint>
#include <cwctype>
#include <locale.h>
#include <vector>

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

bool matchesAt(std::u32string_view part, std::u32string_view name, size_t at) {
    for (size_t i = 0; i < part.size(); ++i)
        if (part[i] != U'?' && part[i] != name[at + i])
            return false;
    return true;
}

// Where the leftmost place of `part` (no star, not empty) in `text` at or after `from` ends;
// npos for none. Bit-parallel (shift-and): one pass over the text, a 64-bit word per 64
// characters of the part, whatever the part holds.
size_t findEnd(std::u32string_view part, std::u32string_view text, size_t from) {
    const size_t m = part.size(), words = (m + 63) / 64;
    std::vector<char32_t> letters;
    for (char32_t c : part)
        if (c != U'?')
            letters.push_back(c);
    std::sort(letters.begin(), letters.end());
    letters.erase(std::unique(letters.begin(), letters.end()), letters.end());
    // Bit i of a letter's mask: position i of the part takes that letter; of `any`, any letter.
    std::vector<std::uint64_t> masks((letters.size() + 1) * words), state(words);
    std::uint64_t* any = masks.data() + letters.size() * words;
    for (size_t i = 0; i < m; ++i) {
        const size_t k = part[i] == U'?'
                             ? letters.size()
                             : size_t(std::lower_bound(letters.begin(), letters.end(), part[i]) -
                                      letters.begin());
        masks[k * words + i / 64] |= std::uint64_t{1} << (i % 64);
    }
    for (size_t i = from; i < text.size(); ++i) {
        const auto found = std::lower_bound(letters.begin(), letters.end(), text[i]);
        const std::uint64_t* own = found != letters.end() && *found == text[i]
                                       ? masks.data() + size_t(found - letters.begin()) * words
                                       : nullptr;
        std::uint64_t carry = 1; // a match may start at every character
        for (size_t w = 0; w < words; ++w) {
            const std::uint64_t next = state[w] >> 63;
            state[w] = ((state[w] << 1) | carry) & (any[w] | (own ? own[w] : 0));
            carry = next;
        }
        if ((state[(m - 1) / 64] >> ((m - 1) % 64)) & 1)
            return i + 1;
    }
    return std::u32string_view::npos;
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
    constexpr size_t npos = std::u32string_view::npos;
    const size_t firstStar = pat.find(U'*');
    if (firstStar == npos)
        return pat.size() == name.size() && matchesAt(pat, name, 0);
    // Before the first star the name must start with what the pattern says, after the last it
    // must end so; the parts between stars are taken each at its leftmost place in turn, which
    // leaves the most room for the parts after it.
    const size_t lastStar = pat.rfind(U'*');
    const std::u32string_view head = pat.substr(0, firstStar), tail = pat.substr(lastStar + 1);
    if (head.size() + tail.size() > name.size() || !matchesAt(head, name, 0) ||
        !matchesAt(tail, name, name.size() - tail.size()))
        return false;
    const std::u32string_view middle =
        name.substr(head.size(), name.size() - head.size() - tail.size());
    size_t at = 0;
    for (size_t p = firstStar + 1; p < lastStar;) {
        const size_t star = pat.find(U'*', p);
        if (star > p && (at = findEnd(pat.substr(p, star - p), middle, at)) == npos)
            return false;
        p = star + 1;
    }
    return true;
}

} // namespace fm
