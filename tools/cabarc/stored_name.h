#pragma once

// What a stored file name means on this side: its text, and the path it may be extracted to.

#include <string>
#include <string_view>
#include <vector>

namespace fm::tool {

// The stored name's text is fm::StoredNameToUtf8 (platform/cabinet_directory.h): the program
// lists names with it and passes their last parts back as patterns, so both must read a name
// alike, invalid bytes included.

// `text` fit for one line of output: each control character (1-31, 127) escaped as \t, \n,
// \r or \xHH, so a stored name can neither forge a line nor drive the terminal.
std::string Printable(std::string_view text);

// The last part of a stored name: what follows its last '\' or '/'.
std::string_view LastNamePart(std::string_view name);

} // namespace fm::tool
