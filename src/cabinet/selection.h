#pragma once

#include <QPair>
#include <QSet>
#include <QString>

namespace fm {

// A contents-list row as the selection remembers it: the cabinet path (sub-item 3) and the
// row's name. The same name in two cabinets is two different rows.
using RowKey = QPair<QString, QString>;

// True when `row` equals one of `rows`: both parts exact and case-sensitive.
inline bool InCollection(const QSet<RowKey>& rows, const RowKey& row) {
    return rows.contains(row);
}

} // namespace fm
