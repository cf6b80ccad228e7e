#include "stored_name.h"

namespace fm::tool {

namespace {

bool isControl(char c) {
    return (c >= 1 && c <= 31) || c == 127;
}

} // namespace

std::string Printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!isControl(c)) {
            out += c;
            continue;
        }
        static const char hex[] = "0123456789abcdef";
        out += '\\';
        switch (c) {
        case '\t':
            out += 't';
            break;
        case '\n':
            out += 'n';
            break;
        case '\r':
            out += 'r';
            break;
        default:
            out += 'x';
            out += hex[(c >> 4) & 0xF];
            out += hex[c & 0xF];
        }
    }
    return out;
}

std::string_view LastNamePart(std::string_view name) {
    size_t cut = name.find_last_of("\\/");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

} // namespace fm::tool
