#include "platform/desktop_open.h"

#include "platform/path_text.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace fm {

namespace {

// xdg-mime answers from a few small files; more than this means it hangs.
constexpr int kQueryMilliseconds = 3000;

// Whether xdg-mime knows an application for `type` or a type it is a kind of; true when it
// cannot be asked.
bool applicationSet(const QMimeType& type) {
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty())
        return true;
    QStringList types{type.name()};
    types += type.allAncestors();
    for (const QString& t : types) {
        QProcess p;
        p.start(query, {QStringLiteral("query"), QStringLiteral("default"), t});
        if (!p.waitForFinished(kQueryMilliseconds))
            return true;
        if (!p.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    return false;
}

} // namespace

QString OpenInDesktop(const std::string& posixPath) {
    const QString path = PathToText(posixPath);
    const bool folder = QFileInfo(path).isDir();
    if (!folder) {
        const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
        if (!applicationSet(type))
            return QStringLiteral("no application is set to open files of this type (%1). "
                                  "Choose one in the desktop's settings.")
                .arg(type.comment().isEmpty() ? type.name() : type.comment());
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        return folder ? QStringLiteral("the desktop could not show the folder (is xdg-open, from "
                                       "xdg-utils, installed?)")
                      : QStringLiteral("the desktop could not open it (is xdg-open, from "
                                       "xdg-utils, installed?)");
    return {};
}

} // namespace fm
