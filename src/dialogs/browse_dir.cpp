#include "dialogs/browse_dir.h"

#include "app/design_font.h"
#include "app/main_window.h"
#include "controls/button_keys.h"
#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/vb_label.h"
#include "controls/vb_text_box.h"
#include "dialogs/extract_to.h"
#include "platform/prompt.h"
#include "platform/screen.h"

#include <QPushButton>

namespace fm {

namespace {

constexpr double kClientWidth = 3855;
constexpr double kClientHeight = 3480;

} // namespace

frmBrowseDir::frmBrowseDir(frmExtractTo& owner) : QDialog(&owner), owner_(owner) {
    const Platform& platform = owner.mainWindow().platform();
    const Screen& s = *platform.screen;
    setObjectName(QStringLiteral("frmBrowseDir"));
    setModal(true);
    setFont(DesignFont());
    setWindowTitle(QStringLiteral("Pick a Folder"));
    setFixedSize(twipsToPixels(kClientWidth, s.twipsPerPixelX()),
                 twipsToPixels(kClientHeight, s.twipsPerPixelY()));
    auto place = [&](QWidget* w, const char* name, double l, double t, double wd, double h) {
        w->setParent(this);
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(twipsRect(l, t, wd, h, s));
    };

    // In tab order: the folder list first takes the focus.
    Dir1 = new DirList(*platform.drives);
    place(Dir1, "Dir1", 120, 720, 3615, 2115);
    cmdEnter = new QPushButton(QStringLiteral("Enter"));
    place(cmdEnter, "cmdEnter", 1440, 3000, 975, 375);
    cmdEnter->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"));
    place(cmdCancel, "cmdCancel", 2640, 3000, 975, 375);
    Drive1 = new DriveList(*platform.drives);
    place(Drive1, "Drive1", 120, 360, 2655, 315);
    Label1 = new VbLabel(QStringLiteral("Double-click folder to select:"));
    place(Label1, "Label1", 120, 120, 2055, 255);
    Label1->setFocusPolicy(Qt::NoFocus);
    // Screen readers: the folder list by its label, the drive list as in the main window.
    Label1->setBuddy(Dir1);
    Dir1->setAccessibleName(Label1->text());
    Drive1->setAccessibleName(QStringLiteral("Drive"));

    setTabOrder(Dir1, cmdEnter);
    setTabOrder(cmdEnter, cmdCancel);
    setTabOrder(cmdCancel, Drive1);

    connect(Drive1, &DriveList::gotFocus, this, &frmBrowseDir::Drive1_GotFocus);
    connect(Drive1, &DriveList::change, this, &frmBrowseDir::Drive1_Change);
    connect(Dir1, &DirList::openFailed, this,
            [this, &platform](const ControlError& e) { platform.prompt->ok(this, e.message()); });
    PressButtonsWithEnter(*this);
    connect(cmdEnter, &QPushButton::clicked, this, &frmBrowseDir::cmdEnter_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int frmBrowseDir::ShowModal() {
    Load();
    return exec();
}

void frmBrowseDir::Load() {
    const QString& start = owner_.DefaultPath;
    try {
        Drive1->setDrive(start.left(2));
    } catch (const ControlError&) {
        // No drive of that letter: the list stays where it is.
    }
    try {
        Dir1->setPath(start);
    } catch (const ControlError&) {
        // The folder is gone: the list stays in the folder the drive change led to.
    }
}

void frmBrowseDir::Drive1_GotFocus() {
    PrevDrive = Drive1->drive();
}

void frmBrowseDir::Drive1_Change() {
    setCursor(Qt::WaitCursor);
    try {
        Dir1->setPath(Drive1->drive().toUpper());
    } catch (const ControlError& e) {
        owner_.mainWindow().platform().prompt->ok(this, e.message());
        // Back to the drive the list showed when it got the focus (this runs the change again);
        // before it ever had the focus, to the drive of the folder still shown.
        const QString back = PrevDrive.isEmpty() ? Dir1->path().left(2) : PrevDrive;
        try {
            Drive1->setDrive(back);
        } catch (const ControlError&) {
        }
    }
    unsetCursor();
}

void frmBrowseDir::cmdEnter_Click() {
    owner_.tbSetFolder->setText(Dir1->path());
    accept();
}

} // namespace fm
