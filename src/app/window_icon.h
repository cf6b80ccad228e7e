#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>

namespace fm {

// The window icon: a small cabinet drawn at 32 x 32 and 16 x 16 pixels in a 16-colour palette.
QIcon FendlemarkIcon();

// The same cabinet drawn at any size; the installed desktop icons are made from it.
QImage DrawFendlemarkIcon(int size);
// The same design as SVG text (a 16 by 16 view box), the scalable desktop icon.
QByteArray FendlemarkIconSvg();

} // namespace fm
