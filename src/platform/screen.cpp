#include "platform/screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace fm {

WorkArea PrimaryScreen::workArea() const {
    QScreen* s = QGuiApplication::primaryScreen();
    if (!s)
        return {0, 0, 1024, 768};
    QRect r = s->availableGeometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

double PrimaryScreen::twipsPerPixelX() const {
    QScreen* s = QGuiApplication::primaryScreen();
    double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

double PrimaryScreen::twipsPerPixelY() const {
    QScreen* s = QGuiApplication::primaryScreen();
    double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

} // namespace fm
