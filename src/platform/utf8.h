#pragma once

#include <string>
#include <string_view>

namespace fm {

// What a lead byte of well-formed UTF-8 asks for: the length of its sequence and the range its
// first continuation byte must fall in (excluding overlong forms, surrogates and anything above
// U+10FFFF). False for a byte that cannot lead a sequence of two or more bytes.
struct Utf8Lead {
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};
bool ClassifyUtf8Lead(unsigned char lead, Utf8Lead& out);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t c);

} // namespace fm
