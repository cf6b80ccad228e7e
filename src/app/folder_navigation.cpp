// The upper half of the main window: drive, folder and cabinet-file lists, Select All, Refresh.

#include "app/main_window.h"
#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "platform/prompt.h"

#include <QSet>

namespace fm {

void frmFendlemark::Drive1_GotFocus() {
    PrevDrive = Drive1->drive();
}

void frmFendlemark::Drive1_Change() {
    if (Busy)
        return;
    Busy = true;
    lblFiles->setText(QString());
    setCursor(Qt::WaitCursor);
    try {
        Dir1->setPath(Drive1->drive().toUpper());
    } catch (const ControlError& e) {
        platform_.prompt->ok(this, e.message());
        // Back to the drive the list showed when it got the focus; before it ever had the focus,
        // back to the drive of the folder still shown.
        QString back = PrevDrive.isEmpty() ? Dir1->path().left(2) : PrevDrive;
        try {
            Drive1->setDrive(back);
        } catch (const ControlError&) {
        }
    }
    unsetCursor();
    Busy = false;
}

void frmFendlemark::Dir1_Change() {
    File1->setPath(Dir1->path());
    ClearContents();
    SelectAllCabs();
    SavedSel.reset();
    RestoreSelection();
    UpdateStatus();
}

void frmFendlemark::File1_Click() {
    if (Busy)
        return;
    SaveSelection();
    ClearContents();
    ListCabContents();
    RestoreSelection();
    UpdateStatus();
}

void frmFendlemark::ckSelAllCabs_Click() {
    if (Busy)
        return;
    SaveSelection();
    SelectAllCabs();
    RestoreSelection();
    UpdateStatus();
}

void frmFendlemark::SelectAllCabs() {
    if (Busy)
        return;
    Busy = true;
    if (File1->listCount() == 0 || ckSelAllCabs->value() != 1) {
        Busy = false;
        return;
    }
    ClearContents();
    File1->selectEntries(std::vector<bool>(static_cast<size_t>(File1->listCount()), true));
    ListCabContents();
    Busy = false;
}

void frmFendlemark::RefreshLists() {
    setUpdatesEnabled(false);
    const int top = File1->topIndex();
    QStringList remembered;
    const std::vector<bool> flags = File1->selectionFlags();
    for (int i = 0; i < File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            remembered << File1->list(i);

    Dir1->refresh();
    File1->refresh();

    Busy = true;
    // Names in one folder are unique, so a set lookup selects exactly the entries an exact,
    // case-sensitive comparison with each remembered name would.
    const QSet<QString> wanted(remembered.begin(), remembered.end());
    std::vector<bool> matches(static_cast<size_t>(File1->listCount()));
    for (int i = 0; i < File1->listCount(); ++i)
        matches[static_cast<size_t>(i)] = wanted.contains(File1->list(i));
    File1->selectEntries(matches);
    File1->setTopIndex(top);
    setUpdatesEnabled(true);
    Busy = false;
}

void frmFendlemark::mRefresh_Click() {
    RefreshLists();
}

} // namespace fm
