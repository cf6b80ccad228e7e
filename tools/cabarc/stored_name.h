#pragma once

// What a stored file name means on this side: its text, and the path it may be extracted to.

#include <string>
#include <string_view>
#include <vector>

namespace fm::tool {

// The stored name as UTF-8. A name with the UTF-8 flag is checked byte by byte: every byte that
// does not start a well-formed sequence (overlong forms, surrogates and values past U+10FFFF
// included) becomes U+FFFD, so no hidden form of '/' or '\' survives. A name without the flag
// is Windows-1252.
std::string StoredNameText(std::string_view raw, bool isUtf8);

// The names of the path a stored name (as UTF-8) is extracted to, below the destination. Both
// '\' and '/' separate folders; leading separators and drive designations ("C:") are dropped,
// empty, "." and ".." parts are removed. Empty when nothing usable is left.
std::vector<std::string> SafeNameParts(std::string_view name);

// The last part of a stored name: what follows its last '\' or '/'.
std::string_view LastNamePart(std::string_view name);

} // namespace fm::tool
