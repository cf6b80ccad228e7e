#include "controls/drive_list.h"

#include "controls/control_error.h"
#include "platform/path_text.h"

#include <QFocusEvent>
#include <QSignalBlocker>
#include <cerrno>

namespace fm {

DriveList::DriveList(const DriveMap& drives, QWidget* parent) : QComboBox(parent) {
    setDrives(drives);
    connect(this, &QComboBox::currentIndexChanged, this, &DriveList::change);
}

void DriveList::setDrives(const DriveMap& drives) {
    const QSignalBlocker quiet(this);
    const QString letter = currentText().left(1);
    clear();
    for (const auto& d : drives.drives())
        addItem(DisplayText(PathToText(d.entryText())));
    for (int i = 0; i < count() && !letter.isEmpty(); ++i)
        if (itemText(i).startsWith(letter))
            setCurrentIndex(i);
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
    // Only focus that arrives from elsewhere counts: closing the list's own popup, or the window
    // becoming active again, hands the focus back to a list that never lost it to a control.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        emit gotFocus();
}

} // namespace fm
