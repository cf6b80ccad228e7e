#include "platform/utf8.h"

namespace fm {

bool ClassifyUtf8Lead(unsigned char lead, Utf8Lead& out) {
    out = Utf8Lead{};
    if (lead >= 0xC2 && lead <= 0xDF) {
        out.length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        out.length = 3;
        if (lead == 0xE0)
            out.low = 0xA0;
        else if (lead == 0xED)
            out.high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        out.length = 4;
        if (lead == 0xF0)
            out.low = 0x90;
        else if (lead == 0xF4)
            out.high = 0x8F;
    } else {
        return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace fm
