#include "app/center_form.h"

#include <QWidget>
#include <cmath>
#include <cstdint>

namespace fm {

qint16 RoundInt16(double value) {
    double r = std::nearbyint(value);
    if (r < -32768.0)
        return -32768;
    if (r > 32767.0)
        return 32767;
    return static_cast<qint16>(r);
}

FormPosition CenterFormPosition(double widthUnits, double heightUnits, ScaleMode mode,
                                double twipsPerPixelX, double twipsPerPixelY, WorkArea area) {
    const std::int32_t tx = RoundInt16(twipsPerPixelX);
    const std::int32_t ty = RoundInt16(twipsPerPixelY);
    std::int32_t hp = 0;
    std::int32_t wp = 0;
    if (mode == ScaleMode::Twips) {
        hp = ty != 0 ? RoundInt16(heightUnits / ty) : 0;
        wp = tx != 0 ? RoundInt16(widthUnits / tx) : 0;
    } else if (mode == ScaleMode::Pixels) {
        hp = RoundInt16(heightUnits);
        wp = RoundInt16(widthUnits);
    }
    FormPosition p;
    p.left = static_cast<double>(((area.right - area.left) - wp) * tx) / 2.0;
    p.top = static_cast<double>(((area.bottom - area.top) - hp) * ty) / 2.0;
    if (p.left < 0)
        p.left = 0;
    if (p.top < 0)
        p.top = 0;
    return p;
}

void CenterForm(QWidget& form, const Screen& screen) {
    const double tppX = screen.twipsPerPixelX();
    const double tppY = screen.twipsPerPixelY();
    const QRect outer = form.frameGeometry();
    FormPosition p = CenterFormPosition(outer.width() * tppX, outer.height() * tppY,
                                        ScaleMode::Twips, tppX, tppY, screen.workArea());
    form.move(static_cast<int>(std::lround(p.left / tppX)),
              static_cast<int>(std::lround(p.top / tppY)));
}

} // namespace fm
