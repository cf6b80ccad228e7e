#include "app/window_icon.h"

#include <QPainter>
#include <QPixmap>

namespace fm {

namespace {

QPixmap drawCabinet(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const double u = size / 16.0;
    // Body (dark yellow), lid (olive), clasp (yellow), outline (black): classic palette colours.
    p.setPen(QPen(QColor(0, 0, 0), std::max(1.0, u * 0.75)));
    p.setBrush(QColor(128, 128, 0));
    p.drawRect(QRectF(1.5 * u, 5.5 * u, 13 * u, 9 * u));
    p.setBrush(QColor(128, 0, 0));
    p.drawRect(QRectF(1 * u, 2.5 * u, 14 * u, 3.5 * u));
    p.setBrush(QColor(255, 255, 0));
    p.drawRect(QRectF(6.5 * u, 4.5 * u, 3 * u, 3.5 * u));
    return pm;
}

} // namespace

QIcon FendlemarkIcon() {
    QIcon icon;
    icon.addPixmap(drawCabinet(32));
    icon.addPixmap(drawCabinet(16));
    return icon;
}

} // namespace fm
