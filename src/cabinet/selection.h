#pragma once

#include <QSet>
#include <QString>

namespace fm {

// True when `name` equals one of `names`: exact, case-sensitive.
inline bool InCollection(const QSet<QString>& names, const QString& name) {
    return names.contains(name);
}

} // namespace fm
