#include "dialogs/extract_to.h"

#include "app/design_font.h"
#include "app/main_window.h"
#include "controls/button_keys.h"
#include "controls/drive_list.h"
#include "controls/focus_frame.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "controls/vb_text_box.h"
#include "dialogs/browse_dir.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/screen.h"
#include "platform/working_folder.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

namespace fm {

namespace {

constexpr double kClientWidth = 7320;
constexpr double kClientHeight = 3015;

} // namespace

frmExtractTo::frmExtractTo(frmFendlemark& owner) : QDialog(&owner), owner_(owner) {
    setObjectName(QStringLiteral("frmExtractTo"));
    setModal(true);
    setFont(DesignFont());
    setWindowTitle(QStringLiteral("Extract"));
    buildControls();
}

void frmExtractTo::buildControls() {
    const Screen& s = *owner_.platform().screen;
    setFixedSize(twipsToPixels(kClientWidth, s.twipsPerPixelX()),
                 twipsToPixels(kClientHeight, s.twipsPerPixelY()));
    auto place = [&](QWidget* w, QWidget* parent, const char* name, double l, double t, double wd,
                     double h) {
        w->setParent(parent);
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(twipsRect(l, t, wd, h, s));
    };

    Frame1 = new QGroupBox(QStringLiteral("Extract to:"));
    place(Frame1, this, "Frame1", 240, 120, 6855, 1575);
    obSameFolder = new QRadioButton(QStringLiteral("Same folder as CAB file"));
    place(obSameFolder, Frame1, "obSameFolder", 120, 360, 2055, 255);
    obSamePlus = new QRadioButton(QStringLiteral("Same folder as CAB file in own folder"));
    place(obSamePlus, Frame1, "obSamePlus", 120, 720, 3015, 255);
    obSamePlus->setToolTip(QStringLiteral("Default."));
    obSetFolder = new QRadioButton(QStringLiteral("Set folder"));
    place(obSetFolder, Frame1, "obSetFolder", 120, 1080, 975, 255);
    obSetFolder->setToolTip(QStringLiteral("Default used if path is invalid."));
    tbSetFolder = new VbTextBox;
    place(tbSetFolder, Frame1, "tbSetFolder", 1200, 1080, 5415, 285);
    tbSetFolder->setAccessibleName(obSetFolder->text());
    cmdBrowse = new QPushButton(QStringLiteral("Browse"));
    place(cmdBrowse, Frame1, "cmdBrowse", 5760, 675, 855, 315);
    ckPreservePath =
        new VbCheckBox(QStringLiteral("Preserve Path (if file in CAB is in a folder)"));
    place(ckPreservePath, this, "ckPreservePath", 360, 1920, 3255, 255);
    ckAlwaysSame = new VbCheckBox(QStringLiteral("Always use this setting"));
    place(ckAlwaysSame, this, "ckAlwaysSame", 3840, 1890, 1935, 255);
    lblSelFile = new VbLabel(QStringLiteral("Selected File:"));
    place(lblSelFile, this, "lblSelFile", 360, 2280, 975, 255);
    lblSelFile->setFocusPolicy(Qt::NoFocus);
    tbSelFileNm = new VbTextBox;
    place(tbSelFileNm, this, "tbSelFileNm", 360, 2520, 4455, 285);
    tbSelFileNm->setLocked(true);
    tbSelFileNm->setForeColor(kColorGrayText);
    tbSelFileNm->setAccessibleName(lblSelFile->text());
    lblSelFile->setBuddy(tbSelFileNm);
    cmdExtractEnter = new QPushButton(QStringLiteral("Extract"));
    place(cmdExtractEnter, this, "cmdExtractEnter", 5160, 2430, 855, 375);
    cmdExtractEnter->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"));
    place(cmdCancel, this, "cmdCancel", 6240, 2430, 855, 375);

    // The designed widths were made for a narrower font: a caption that would be cut widens its
    // control, and the folder box gives way to "Set folder" keeping its right edge.
    for (QWidget* w : std::initializer_list<QWidget*>{obSameFolder, obSamePlus, obSetFolder,
                                                      ckPreservePath, ckAlwaysSame, lblSelFile})
        w->resize(std::max(w->width(), w->sizeHint().width()), w->height());
    if (const int overlap = obSetFolder->geometry().right() + 4 - tbSetFolder->x(); overlap > 0)
        tbSetFolder->setGeometry(tbSetFolder->geometry().adjusted(overlap, 0, 0, 0));

    // The designed tab order; the frame and the label take no focus.
    QWidget* order[] = {obSameFolder,    obSamePlus, obSetFolder,  tbSetFolder,    cmdBrowse,
                        cmdExtractEnter, cmdCancel,  ckAlwaysSame, ckPreservePath, tbSelFileNm};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    for (QRadioButton* option : {obSameFolder, obSamePlus, obSetFolder}) {
        ShowFocusFrame(*option);
        connect(option, &QRadioButton::toggled, this, [this, option](bool on) {
            if (on)
                optionClick(option);
        });
    }
    connect(tbSetFolder, &QLineEdit::textChanged, this, &frmExtractTo::tbSetFolder_Change);
    // A folder typed in POSIX form is shown back in drive form once the typing is done.
    connect(tbSetFolder, &QLineEdit::editingFinished, this, [this] {
        if (auto shown = typedDriveForm(tbSetFolder->text()))
            tbSetFolder->setText(*shown);
    });
    PressButtonsWithEnter(*this);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmExtractTo::cmdBrowse_Click);
    connect(cmdExtractEnter, &QPushButton::clicked, this, &frmExtractTo::cmdExtractEnter_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmExtractTo::cmdCancel_Click);
}

int frmExtractTo::ShowModal() {
    Load();
    return exec();
}

void frmExtractTo::Load() {
    Loading = true;
    // The box and the file line as no rule has set them yet (a saved rule may match none).
    SetFolderBoxState();
    ShowSelectedFile();
    ApplySavedSettings();
    cmdExtractEnter->setText(owner_.ChangeSettings ? QStringLiteral("Enter")
                                                   : QStringLiteral("Extract"));
    // The first focus goes to the options, at the chosen one (the group is one tab stop).
    for (QRadioButton* option : {obSameFolder, obSamePlus, obSetFolder})
        if (option->isChecked())
            option->setFocus();
    Loading = false;
}

void frmExtractTo::ApplySavedSettings() {
    ckAlwaysSame->setValue(owner_.StgExtrAlwaysSame);
    ckPreservePath->setValue(owner_.StgExtrPreservePath);
    const QString name = owner_.StgExtrObName;
    SavedSetFolder = owner_.StgExtrSetFolder;
    if (name.isEmpty()) {
        obSamePlus->setChecked(true);
        tbSetFolder->setText(DefaultPlusPath);
        return;
    }
    for (QRadioButton* option : {obSameFolder, obSamePlus, obSetFolder}) {
        if (name == option->objectName()) {
            option->setChecked(true);
            return;
        }
    }
}

void frmExtractTo::optionClick(QRadioButton* option) {
    InOptionClick = true;
    SetFolderBoxState();
    if (option == obSameFolder) {
        tbSetFolder->setText(DefaultPath);
    } else if (option == obSamePlus) {
        tbSetFolder->setText(DefaultPlusPath);
    } else {
        tbSetFolder->setText(!SavedSetFolder.isEmpty() ? SavedSetFolder : DefaultPath);
        tbSetFolder->setCursorPosition(static_cast<int>(tbSetFolder->text().size()));
        if (!Loading)
            tbSetFolder->setFocus();
    }
    ShowSelectedFile();
    InOptionClick = false;
}

void frmExtractTo::SetFolderBoxState() {
    const bool editable = obSetFolder->isChecked();
    tbSetFolder->setLocked(!editable);
    tbSetFolder->setForeColor(editable ? kColorWindowText : kColorGrayText);
}

void frmExtractTo::ShowSelectedFile() {
    lblSelFile->setVisible(SingleFile);
    tbSelFileNm->setVisible(SingleFile);
    if (SingleFile)
        tbSelFileNm->setText(SingleFileNm);
}

void frmExtractTo::tbSetFolder_Change() {
    if (!Loading && !InOptionClick)
        obSetFolder->setChecked(true);
}

void frmExtractTo::cmdBrowse_Click() {
    obSetFolder->setChecked(true);
    frmBrowseDir picker(*this);
    picker.ShowModal();
    // Back to this window also where no window manager hands the activation back.
    activateWindow();
    tbSetFolder->setFocus();
    tbSetFolder->setCursorPosition(static_cast<int>(tbSetFolder->text().size()));
}

void frmExtractTo::cmdExtractEnter_Click() {
    QString name;
    QString folder;
    if (obSameFolder->isChecked()) {
        name = obSameFolder->objectName();
        folder = DefaultPath;
    } else if (obSamePlus->isChecked()) {
        name = obSamePlus->objectName();
        folder = DefaultPlusPath;
    } else if (obSetFolder->isChecked()) {
        name = obSetFolder->objectName();
        QString why;
        folder = ResolveSetFolder(*owner_.Drive1, tbSetFolder->text(), &why);
        // The run asks before it uses the fallback: the user chose another folder. What is kept
        // is the rule the fallback follows, the folder beside each cabinet, never the one folder
        // it gives for this cabinet; the set folder stays as it was.
        if (!why.isEmpty() && !owner_.ChangeSettings) {
            owner_.SetFolderRefusal = QStringLiteral("The folder '") +
                                      DisplayText(tbSetFolder->text()) +
                                      QStringLiteral("' cannot be used: ") + why + u'.';
            name = obSamePlus->objectName();
            folder = owner_.StgExtrSetFolder;
        }
    } else {
        name = QStringLiteral("");
        folder = QStringLiteral("");
    }
    owner_.StgExtrAlwaysSame = static_cast<qint16>(ckAlwaysSame->value());
    owner_.StgExtrPreservePath = static_cast<qint16>(ckPreservePath->value());
    owner_.StgExtrObName = name;
    owner_.StgExtrSetFolder = folder;
    if (cmdExtractEnter->text() == QStringLiteral("Extract")) {
        owner_.GoExtract = true;
        owner_.CheckExtractCabs();
    }
    accept();
}

void frmExtractTo::cmdCancel_Click() {
    reject();
}

void frmExtractTo::done(int result) {
    SingleFileNm = QStringLiteral("");
    SingleFile = false;
    owner_.ChangeSettings = false;
    QDialog::done(result);
    // The main window takes the activation back also where no window manager hands it over.
    owner_.activateWindow();
}

QString frmExtractTo::ResolveSetFolder(const DriveList& drives, const QString& text,
                                       QString* why) const {
    const auto fallBack = [&](const QString& reason) {
        if (why)
            *why = reason;
        return DefaultPlusPath;
    };
    if (text.isEmpty())
        return fallBack(QStringLiteral("no folder is given"));
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return fallBack(QStringLiteral("its name holds a control character"));
    // A POSIX path (or ~) is first named in drive form, or the cleaning below would strip it.
    QString folder = typedDriveForm(text).value_or(text);
    qsizetype skip = 0;
    while (skip < folder.size() && (folder[skip].unicode() < 65 || folder[skip].unicode() > 122))
        ++skip;
    folder.remove(0, skip);
    while (!folder.isEmpty() && folder.contains(QStringLiteral("\\\\")))
        folder.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    if (folder.isEmpty())
        return fallBack(QStringLiteral("it names no folder"));
    if (FindListIndex(drives, folder.left(2)) < 0)
        return fallBack(QStringLiteral("it does not start with a drive the program knows"));
    return folder;
}

std::optional<QString> frmExtractTo::typedDriveForm(const QString& text) const {
    if (auto mapped = owner_.platform().drives->typedToDrive(TextToPath(text), HomeFolder()))
        return PathToText(*mapped);
    return std::nullopt;
}

int frmExtractTo::FindListIndex(const DriveList& list, const QString& text) {
    const QString wanted = text.toUpper();
    for (int i = 0; i < list.listCount(); ++i)
        if (list.list(i).left(2).toUpper() == wanted)
            return i;
    return -1;
}

} // namespace fm
