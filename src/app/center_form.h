#pragma once

// Places a window in the middle of the desktop's work area.

#include "platform/screen.h"

class QWidget;

namespace fm {

enum class ScaleMode { Twips, Pixels, Other };

struct FormPosition {
    double left = 0; // twips
    double top = 0;
};

// A value rounded to the nearest 16-bit integer, halves to even.
qint16 RoundInt16(double value);

// The arithmetic: the window's outer size in its scale units, the screen's factors and the work
// area. The window is centred in a rectangle of the work area's size placed at the screen's
// top-left corner (the work area's own left and top are not added), and never placed at a
// negative position.
FormPosition CenterFormPosition(double widthUnits, double heightUnits, ScaleMode mode,
                                double twipsPerPixelX, double twipsPerPixelY, WorkArea area);

// Moves the window (its outer frame) to that position.
void CenterForm(QWidget& form, const Screen& screen);

} // namespace fm
