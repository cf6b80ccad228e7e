#pragma once

// Cabinets a listing could not read whole: named in the status line, marked in the cabinet list,
// and described in one message when none of the selected cabinets could be read. Parts of a
// spanned set listed without their neighbours say so in the same tooltips.

#include <QList>
#include <QString>

namespace fm {

struct UnreadableCab {
    QString name; // the cabinet's file name
    QString why;  // a sentence in plain words
};

// The status line's note on them: "" for none, "2 unreadable." and so on.
QString UnreadableNote(const QList<UnreadableCab>& cabs);

// The status line when nothing was listed: "Cannot read a.cab." or "Cannot read 3 CAB files."
QString UnreadableStatus(const QList<UnreadableCab>& cabs);

// One line per cabinet, "a.cab: This is not a cabinet file.", the first ten and a count of the
// rest; the status line's tooltip and the message's body.
QString UnreadableDetails(const QList<UnreadableCab>& cabs);

// A neighbouring part of a spanned set that a listing of one part goes without.
struct AbsentPart {
    QString name;         // "" when there is none, or it is selected too
    bool missing = false; // no such file in the folder, rather than not selected
};

// "Part of a spanned set: the part before, a.cab, is not selected; the part after, c.cab, is
// missing."; "" when neither part is absent.
QString LonePartNote(const AbsentPart& before, const AbsentPart& after);

// The one message shown when none of the selected cabinets could be read.
QString UnreadableMessage(const QList<UnreadableCab>& cabs);

} // namespace fm
