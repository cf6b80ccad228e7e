#include "app/window_icon.h"

#include <QPainter>
#include <QPixmap>

namespace fm {

namespace {

// The design on a 16 by 16 grid, drawn in this order with a black outline: body (dark yellow),
// lid (dark red), clasp (yellow), in classic palette colours.
struct Part {
    double x, y, w, h;
    int r, g, b;
};
constexpr Part kParts[] = {
    {1.5, 5.5, 13, 9, 128, 128, 0},
    {1, 2.5, 14, 3.5, 128, 0, 0},
    {6.5, 4.5, 3, 3.5, 255, 255, 0},
};
constexpr double kOutline = 0.75;

} // namespace

QImage DrawFendlemarkIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    const double u = size / 16.0;
    p.setPen(QPen(QColor(0, 0, 0), std::max(1.0, u * kOutline)));
    for (const Part& part : kParts) {
        p.setBrush(QColor(part.r, part.g, part.b));
        p.drawRect(QRectF(part.x * u, part.y * u, part.w * u, part.h * u));
    }
    return image;
}

QByteArray FendlemarkIconSvg() {
    QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                     "viewBox=\"0 0 16 16\">\n";
    for (const Part& part : kParts)
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" "
                              "fill=\"#%5%6%7\" stroke=\"#000000\" stroke-width=\"%8\"/>\n")
                   .arg(part.x)
                   .arg(part.y)
                   .arg(part.w)
                   .arg(part.h)
                   .arg(part.r, 2, 16, QChar(u'0'))
                   .arg(part.g, 2, 16, QChar(u'0'))
                   .arg(part.b, 2, 16, QChar(u'0'))
                   .arg(kOutline)
                   .toLatin1();
    svg += "</svg>\n";
    return svg;
}

QIcon FendlemarkIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(DrawFendlemarkIcon(32)));
    icon.addPixmap(QPixmap::fromImage(DrawFendlemarkIcon(16)));
    return icon;
}

} // namespace fm
