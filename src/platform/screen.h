#pragma once

// The desktop's work area and the screen's twips-per-pixel factors.

#include <QRect>

namespace fm {

// Edges in pixels; right and bottom are exclusive, as in a Windows RECT.
struct WorkArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class Screen {
public:
    virtual ~Screen() = default;
    virtual WorkArea workArea() const = 0;
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;
};

// The primary screen: its available geometry, and 1440 / logical DPI twips per pixel.
class PrimaryScreen : public Screen {
public:
    WorkArea workArea() const override;
    double twipsPerPixelX() const override;
    double twipsPerPixelY() const override;
};

// Fixed values, for tests.
class FixedScreen : public Screen {
public:
    FixedScreen(WorkArea area, double tppX = 15, double tppY = 15)
        : area_(area), tppX_(tppX), tppY_(tppY) {}
    WorkArea workArea() const override { return area_; }
    double twipsPerPixelX() const override { return tppX_; }
    double twipsPerPixelY() const override { return tppY_; }

private:
    WorkArea area_;
    double tppX_;
    double tppY_;
};

} // namespace fm

namespace fm {

inline int twipsToPixels(double twips, double twipsPerPixel) {
    return static_cast<int>(twips / twipsPerPixel + 0.5);
}

// A control's rectangle given in twips, in pixels.
inline QRect twipsRect(double left, double top, double width, double height, const Screen& s) {
    return QRect(twipsToPixels(left, s.twipsPerPixelX()), twipsToPixels(top, s.twipsPerPixelY()),
                 twipsToPixels(width, s.twipsPerPixelX()),
                 twipsToPixels(height, s.twipsPerPixelY()));
}

} // namespace fm
