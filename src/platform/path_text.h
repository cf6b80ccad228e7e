#pragma once

// Where POSIX names (bytes) become text and back.
//
// A POSIX name need not be UTF-8. Each byte that is not part of valid UTF-8 becomes the lone
// surrogate U+DC80 + byte in the text, and turns back into that byte on the way back, so every
// name the program shows, stores or compares names exactly one file ("surrogateescape").

#include <QString>
#include <string>
#include <string_view>

namespace fm {

// Bytes to text: valid UTF-8 decoded, every other byte escaped as U+DC80 + byte.
QString PathToText(std::string_view bytes);

// Text to bytes: the exact inverse of PathToText; other text is written as UTF-8 (a lone
// surrogate outside the escape range becomes U+FFFD).
std::string TextToPath(const QString& text);

// The text for the eye: each escaped byte shown as the replacement mark U+FFFD.
QString DisplayText(const QString& text);

// The text for a message box: DisplayText, and each control character shown as U+FFFD too, so a
// stored name can neither cut nor garble the message.
QString MessageText(const QString& text);

} // namespace fm
