#include "controls/vb_check_box.h"

namespace fm {

VbCheckBox::VbCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    connect(this, &QCheckBox::clicked, this, &VbCheckBox::clickEvent);
}

int VbCheckBox::value() const {
    switch (checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Checked:
        break;
    }
    return 1;
}

void VbCheckBox::setValue(int value) {
    Qt::CheckState state = value == 0   ? Qt::Unchecked
                           : value == 2 ? Qt::PartiallyChecked
                                        : Qt::Checked;
    setTristate(state == Qt::PartiallyChecked);
    if (state == checkState())
        return;
    setCheckState(state);
    emit clickEvent();
}

} // namespace fm
