#pragma once

// Wildcard patterns over names, read alike by the cabinet tool (its file arguments) and the
// program (Select Matching Rows): '*' is any run of characters, none included, '?' exactly one
// character, and letter case is ignored (Unicode simple case mapping). "*" and "*.*" match every
// name, dotted or not.

#include <string>
#include <string_view>

namespace fm {

// One character in the form case-insensitive comparisons use.
char32_t FoldCase(char32_t c);

// UTF-8 text as case-folded code points (invalid bytes become U+FFFD).
std::u32string FoldCase(std::string_view utf8);

// True for the patterns that match every name.
bool MatchesEveryName(std::string_view pattern);

// Whether a folded name matches a folded pattern. Linear in the name for patterns of up to 64
// characters between stars (a step per 64 beyond), whatever the pattern holds.
bool WildcardMatch(std::u32string_view foldedPattern, std::u32string_view foldedName);

} // namespace fm
