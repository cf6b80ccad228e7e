#include "controls/drive_list.h"

#include "controls/control_error.h"

#include <cerrno>

namespace fm {

DriveList::DriveList(const DriveMap& drives, QWidget* parent) : QComboBox(parent) {
    for (const auto& d : drives.drives())
        addItem(QString::fromStdString(d.entryText()));
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::change);
}

QString DriveList::drive() const {
    return currentText();
}

void DriveList::setDrive(const QString& text) {
    if (text.size() < 2 || text[1] != u':' || !text[0].isLetter() || text[0].unicode() > 0x7f)
        throw ControlError::fromErrno(ENODEV);
    QChar letter = text[0].toLower();
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).startsWith(letter)) {
            setCurrentIndex(i);
            return;
        }
    }
    throw ControlError::fromErrno(ENODEV);
}

void DriveList::focusInEvent(QFocusEvent* event) {
    QComboBox::focusInEvent(event);
    emit gotFocus();
}

} // namespace fm
