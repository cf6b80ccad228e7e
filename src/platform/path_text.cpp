#include "platform/path_text.h"

#include "platform/utf8.h"

namespace fm {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `s[i]` (RFC 3629: no overlongs, no surrogates,
// nothing above U+10FFFF), 0 when the byte there starts none.
size_t validSequence(std::string_view s, size_t i, char32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    Utf8Lead lead;
    if (!ClassifyUtf8Lead(c, lead))
        return 0;
    const auto len = static_cast<size_t>(lead.length);
    if (i + len > s.size() || b(1) < lead.low || b(1) > lead.high)
        return 0;
    for (size_t k = 2; k < len; ++k)
        if (!isContinuation(b(k)))
            return 0;
    cp = c & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (b(k) & 0x3F);
    return len;
}

bool isEscape(char16_t u) {
    return u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF;
}

} // namespace

QString PathToText(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        if (size_t len = validSequence(bytes, i, cp)) {
            out += QString::fromUcs4(&cp, 1);
            i += len;
        } else {
            out += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    return out;
}

std::string TextToPath(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (isEscape(u)) {
            out += static_cast<char>(u - kEscapeBase);
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

QString DisplayText(const QString& text) {
    QString out = text;
    for (QChar& c : out)
        if (isEscape(c.unicode()))
            c = QChar(QChar::ReplacementCharacter);
    return out;
}

QString MessageText(const QString& text) {
    QString out = DisplayText(text);
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar(QChar::ReplacementCharacter);
    return out;
}

} // namespace fm
