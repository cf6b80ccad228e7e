#pragma once

// frmBrowseDir: the folder picker of the extract-to dialog ("Pick a Folder"). It starts in the
// extract-to dialog's DefaultPath; Enter writes the folder list's current path (the folder last
// opened, not one merely highlighted) into the extract-to dialog's folder box, Cancel writes
// nothing.

#include <QDialog>

class QPushButton;

namespace fm {

class DirList;
class DriveList;
class VbLabel;
class frmExtractTo;

class frmBrowseDir : public QDialog {
    Q_OBJECT
public:
    explicit frmBrowseDir(frmExtractTo& owner);

    // Controls, named as in the designer.
    VbLabel* Label1;
    DriveList* Drive1;
    DirList* Dir1;
    QPushButton* cmdEnter;
    QPushButton* cmdCancel;

    // Runs the start-up, then shows the picker modally; returns when it has closed.
    int ShowModal();
    // The start-up: the drive and folder lists moved to DefaultPath.
    void Load();

    // The drive the list showed when it last got the focus ("" until then), for tests.
    const QString& prevDrive() const { return PrevDrive; }

private:
    void Drive1_GotFocus();
    void Drive1_Change();
    void cmdEnter_Click();

    frmExtractTo& owner_;
    QString PrevDrive;
};

} // namespace fm
