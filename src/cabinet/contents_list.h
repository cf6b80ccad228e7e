#pragma once

// The contents list: one row per stored file. Row text is the stored name; sub-items are the
// size text, the date text (the user's short date), the cabinet path, the size key (ten digits,
// zero-padded) and the date key (yyyymmdd); its tag is the file's record index in its cabinet.
// Sorting always compares the keys as text.

#include "controls/list_view.h"

#include <QString>

namespace fm {

struct CabEntry;
class ContentsRows;

// The list's row store for contents rows, set up on an empty list; null when rows of another
// shape are already there.
ContentsRows* ContentsRowsOf(ListView& list);

// Appends the row for one entry.
void AddCabEntry(ListView& list, const CabEntry& entry);

// A row's tooltip: its full name, then the file name of its cabinet.
QString ContentsRowToolTip(const QString& name,
                           const std::array<QString, ListView::kSubItems>& subItems);

// The key column a header click sorts by: Size and Modified sort by their hidden key columns,
// any other header by its own column (Name by the row text, 0).
int SortColumnFor(const ListView& list, int clickedIndex, const QString& clickedKey);

} // namespace fm
