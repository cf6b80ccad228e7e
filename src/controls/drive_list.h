#pragma once

// The drive list: one entry per drive of the drive map ("c: [/]"). Change is raised whenever the
// drive changes, by the user or by the program, before the setter returns.

#include "platform/drive_map.h"

#include <QComboBox>

namespace fm {

class DriveList : public QComboBox {
    Q_OBJECT
public:
    DriveList(const DriveMap& drives, QWidget* parent = nullptr);

    // The current entry's text, e.g. "c: [/]".
    QString drive() const;
    // Selects the drive named by the first letter of `text` ("D:", "d: [/mnt/x]", "D:\x").
    // Throws ControlError (device unavailable) when no drive has that letter; the drive stays.
    void setDrive(const QString& text);
    // Lists the drives of `drives` instead, keeping the current letter when it is still there
    // (the first entry otherwise); raises no Change.
    void setDrives(const DriveMap& drives);

    int listCount() const { return count(); }
    QString list(int index) const { return itemText(index); }

signals:
    void change();
    // The focus arrived from another control (not back from the list's own popup, not the
    // window's activation).
    void gotFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
};

} // namespace fm
