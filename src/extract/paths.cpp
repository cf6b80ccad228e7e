#include "extract/paths.h"

namespace fm {

QString JoinPath(const QString& folder, const QString& name) {
    if (folder.endsWith(u'\\'))
        return folder + name;
    return folder + u'\\' + name;
}

std::pair<QString, QString> SplitPath(const QString& path) {
    const qsizetype at = path.lastIndexOf(u'\\');
    if (at < 0)
        return {QString(), path};
    return {path.left(at), path.mid(at + 1)};
}

} // namespace fm
