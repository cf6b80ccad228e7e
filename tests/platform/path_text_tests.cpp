#include "platform/path_text.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace fm;

// Every byte string comes back unchanged, and two different byte strings never share a text.
TEST(PathText, RoundTripsEveryNameAndKeepsNamesApart) {
    const std::string names[] = {
        "",
        "plain.cab",
        "caf\xc3\xa9.cab",      // é, valid
        "caf\xe9.cab",          // é in Latin-1
        "bad\xff.cab",          // never valid
        "bad\xef\xbf\xbd.cab",  // a real U+FFFD
        "\xe2\x82",             // truncated sequence
        "\xc0\x80",             // overlong NUL
        "\xe0\x80\xaf",         // overlong '/'
        "\xf0\x8f\xbf\xbf",     // overlong U+FFFF
        "\xed\xa0\x80",         // an encoded surrogate
        "\xed\xb3\xbf",         // the encoding of U+DCFF itself
        "\xf4\x90\x80\x80",     // above U+10FFFF
        "\xf0\x9f\x93\xa6 box", // 4-byte sequence
        "\xdf\xbf\xe0\xa0\x80", // U+07FF U+0800: the last of two bytes, the first of three
        "\x80\xbf\xfe",         // lone continuations
    };
    QSet<QString> texts;
    for (const std::string& n : names) {
        const QString t = PathToText(n);
        EXPECT_EQ(TextToPath(t), n) << n;
        texts.insert(t);
    }
    EXPECT_EQ(texts.size(), static_cast<qsizetype>(std::size(names)));
}

TEST(PathText, EscapesEachUndecodableByteAndShowsAReplacementMark) {
    EXPECT_EQ(PathToText("a\xe9z"), QString::fromUtf16(u"a\xdce9z"));
    EXPECT_EQ(PathToText("\xe2\x82z"), QString::fromUtf16(u"\xdce2\xdc82z"));
    EXPECT_EQ(PathToText("caf\xc3\xa9"), QString::fromUtf16(u"caf\xe9"));
    EXPECT_EQ(DisplayText(PathToText("a\xe9z")), QString::fromUtf16(u"a\xfffdz"));
    EXPECT_EQ(DisplayText(QString::fromUtf16(u"caf\xe9")), QString::fromUtf16(u"caf\xe9"));
    // A message shows no control character either.
    EXPECT_EQ(MessageText(PathToText("a\x1f\x7f\xe9 ")),
              QString::fromUtf16(u"a\xfffd\xfffd\xfffd "));
    // Text that did not come from a name is written as UTF-8.
    EXPECT_EQ(TextToPath(QString::fromUtf16(u"\xd83d\xdce6")), "\xf0\x9f\x93\xa6");
    EXPECT_EQ(TextToPath(QString::fromUtf16(u"\xd800")), "\xef\xbf\xbd");
}
