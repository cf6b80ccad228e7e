#include "controls/vb_label.h"

#include <QAccessible>
#include <QMouseEvent>

namespace fm {

QColor colorFromValue(quint32 value, const QPalette& palette) {
    if (value & 0x80000000u) {
        switch (value & 0xFFu) {
        case 8:
            return palette.color(QPalette::Active, QPalette::WindowText);
        case 17:
            return palette.color(QPalette::Disabled, QPalette::WindowText);
        case 18:
            return palette.color(QPalette::Active, QPalette::ButtonText);
        default:
            return palette.color(QPalette::Active, QPalette::WindowText);
        }
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

VbLabel::VbLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {
    setForeColor(kColorButtonText);
}

void VbLabel::setText(const QString& caption) {
    if (caption == text())
        return;
    QLabel::setText(caption);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void VbLabel::setForeColor(quint32 value) {
    foreColor_ = value;
    QPalette p = palette();
    p.setColor(QPalette::WindowText, colorFromValue(value, QPalette()));
    setPalette(p);
}

void VbLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit click();
}

} // namespace fm
