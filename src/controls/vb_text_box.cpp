#include "controls/vb_text_box.h"

#include "controls/vb_label.h"

namespace fm {

VbTextBox::VbTextBox(QWidget* parent) : QLineEdit(parent) {
    setForeColor(kColorWindowText);
}

void VbTextBox::setForeColor(quint32 value) {
    foreColor_ = value;
    QPalette p = palette();
    const QColor c = colorFromValue(value, QPalette());
    p.setColor(QPalette::Active, QPalette::Text, c);
    p.setColor(QPalette::Inactive, QPalette::Text, c);
    setPalette(p);
}

} // namespace fm
