// Writes the desktop icons (hicolor PNGs and the scalable SVG) from the window icon's design into
// the folder given as the only argument. Run by the `desktop_icons` target; the results are kept
// in the repository so a build needs no display.

#include "app/window_icon.h"
#include "platform/path_text.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icons FOLDER\n");
        return 2;
    }
    const QDir out(fm::PathToText(argv[1]));
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString name = QStringLiteral("%1x%1/fendlemark.png").arg(size);
        out.mkpath(QStringLiteral("%1x%1").arg(size));
        if (!fm::DrawFendlemarkIcon(size).save(out.filePath(name), "PNG"))
            return 1;
    }
    out.mkpath(QStringLiteral("scalable"));
    QFile svg(out.filePath(QStringLiteral("scalable/fendlemark.svg")));
    if (!svg.open(QIODevice::WriteOnly) || svg.write(fm::FendlemarkIconSvg()) < 0)
        return 1;
    return 0;
}
