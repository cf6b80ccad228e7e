#pragma once

#include <QPair>
#include <QSet>
#include <QString>
#include <vector>

namespace fm {

class ListView;

// A contents-list row as the selection remembers it: the cabinet path (sub-item 3) and the
// row's name. The same name in two cabinets is two different rows.
using RowKey = QPair<QString, QString>;

// True when `row` equals one of `rows`: both parts exact and case-sensitive.
inline bool InCollection(const QSet<RowKey>& rows, const RowKey& row) {
    return rows.contains(row);
}

// Which rows (in display order) have a name that `pattern` matches: '*' and '?' as wildcards,
// letter case ignored (platform/wildcard.h), against the whole stored name (leading backslashes
// left out of both) or against its last part. "*" and "*.*" match every row.
std::vector<bool> RowsMatching(const ListView& list, const QString& pattern);

} // namespace fm
