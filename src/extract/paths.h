#pragma once

#include <QString>
#include <utility>

namespace fm {

// The folder, a backslash unless the folder already ends with one, then the name. An empty
// folder gives a backslash followed by the name.
QString JoinPath(const QString& folder, const QString& name);

// (head, tail) around the last backslash, which belongs to neither; a path without one gives an
// empty head and the whole text as tail.
std::pair<QString, QString> SplitPath(const QString& path);

} // namespace fm
