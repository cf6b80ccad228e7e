#pragma once

#include <string>
#include <string_view>

namespace fm {

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t c);

} // namespace fm
