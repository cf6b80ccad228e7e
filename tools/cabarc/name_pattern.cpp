#include "name_pattern.h"

#include "stored_name.h"

#include <algorithm>

namespace fm::tool {

std::string_view WithoutLeadingBackslashes(std::string_view name) {
    name.remove_prefix(std::min(name.find_first_not_of('\\'), name.size()));
    return name;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    return FoldCase(a) == FoldCase(b);
}

NamePattern::NamePattern(std::string_view pattern)
    : text_(pattern), matchesAll_(MatchesEveryName(pattern)),
      wholeName_(pattern.find('\\') != std::string_view::npos) {
    folded_ = FoldCase(wholeName_ ? WithoutLeadingBackslashes(pattern) : pattern);
}

bool NamePattern::matches(std::string_view storedName) const {
    if (matchesAll_)
        return true;
    return WildcardMatch(folded_, FoldCase(wholeName_ ? WithoutLeadingBackslashes(storedName)
                                                      : LastNamePart(storedName)));
}

bool NamePattern::matchesFolded(const std::u32string& wholeName,
                                const std::u32string& lastPart) const {
    return matchesAll_ || WildcardMatch(folded_, wholeName_ ? wholeName : lastPart);
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
