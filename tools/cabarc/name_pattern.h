#pragma once

// The file arguments of the extract command: wildcard patterns over stored names.

#include "platform/wildcard.h"

#include <string>
#include <string_view>
#include <vector>

namespace fm::tool {

// One wildcard pattern (platform/wildcard.h). A pattern without a backslash is matched against the
// last part of a stored name, a pattern with one against the whole name, leading backslashes of
// both left out: so
// "\readme.txt" names only a readme.txt stored at the top, not docs\readme.txt, and
// "docs\readme.txt" only that one. (The program passes a row's whole name that way when the
// cabinet holds another file with the same last part.)
class NamePattern {
public:
    explicit NamePattern(std::string_view pattern);

    // `storedName` is the stored name as UTF-8, backslashes as stored.
    bool matches(std::string_view storedName) const;
    // The same, given the case-folded whole name and last part (see FoldCase).
    bool matchesFolded(const std::u32string& wholeName, const std::u32string& lastPart) const;
    const std::string& text() const { return text_; }
    bool matchesAll() const { return matchesAll_; }

private:
    std::string text_;
    std::u32string folded_;
    bool matchesAll_ = false;
    bool wholeName_ = false;
};

// A set of patterns; an empty set matches every name.
class PatternSet {
public:
    explicit PatternSet(const std::vector<std::string>& patterns);
    // True when some pattern matches; marks every pattern that did.
    bool matches(std::string_view storedName);
    // The patterns that have not matched any name so far, "*" and "*.*" left out (all of nothing
    // is no miss).
    std::vector<std::string> unmatched() const;

private:
    std::vector<NamePattern> patterns_;
    std::vector<bool> used_;
};

// A stored name without its leading backslashes, as whole-name patterns see it.
std::string_view WithoutLeadingBackslashes(std::string_view name);

using fm::FoldCase;

// True when two names are equal without regard to letter case.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

} // namespace fm::tool
