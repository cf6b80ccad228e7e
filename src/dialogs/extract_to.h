#pragma once

// frmExtractTo: the modal dialog in which the user picks where extracted files go (the cabinet's
// folder, a folder named after the cabinet beside it, or a folder of their own) and whether the
// stored folder paths are kept. In extract mode (button "Extract") confirming stores the settings
// in the main window and runs the extraction before the dialog closes; in settings mode (button
// "Enter", chosen by the main window's ChangeSettings) confirming only stores them.
//
// The caller sets the public members, then calls ShowModal. The dialog reads and writes the main
// window's extract settings and hand-over flags directly.

#include <QDialog>
#include <optional>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace fm {

class DriveList;
class VbCheckBox;
class VbLabel;
class VbTextBox;
class frmFendlemark;

class frmExtractTo : public QDialog {
    Q_OBJECT
public:
    explicit frmExtractTo(frmFendlemark& owner);

    // Set by the caller before the dialog is shown.
    bool SingleCab = false;  // exactly one cabinet selected; kept, not consulted
    bool SingleFile = false; // one file of the contents list: show its name
    QString DefaultPath;     // the main window's current folder
    QString DefaultPlusPath; // that folder joined with "<cabinet title> Extracted"
    QString SingleFileNm;    // the one file's stored name

    // Controls, named as in the designer.
    QGroupBox* Frame1;
    QRadioButton* obSameFolder;
    QRadioButton* obSamePlus;
    QRadioButton* obSetFolder;
    VbTextBox* tbSetFolder;
    QPushButton* cmdBrowse;
    VbCheckBox* ckPreservePath;
    VbCheckBox* ckAlwaysSame;
    VbLabel* lblSelFile;
    VbTextBox* tbSelFileNm;
    QPushButton* cmdExtractEnter;
    QPushButton* cmdCancel;

    // Runs the start-up, then shows the dialog modally; returns when it has closed.
    int ShowModal();
    // The start-up: the saved settings into the controls, the button caption by mode.
    void Load();

    // The destination for the rule "Set folder": the typed folder (a POSIX path or "~/..." put
    // into drive form first, see DriveMap::typedToDrive) without leading characters outside
    // 'A'..'z' and with runs of backslashes shrunk to one, when its first two characters name a
    // drive of `drives` and it holds no control character; DefaultPlusPath otherwise, with the
    // reason in plain words in `why`.
    QString ResolveSetFolder(const DriveList& drives, const QString& text,
                             QString* why = nullptr) const;
    // The index of the first entry whose drive designation (its first two characters) equals
    // `text`, case-insensitively; -1 when there is none.
    static int FindListIndex(const DriveList& list, const QString& text);

    frmFendlemark& mainWindow() const { return owner_; }

    // The close, whichever way: the single file is forgotten and settings mode ends.
    void done(int result) override;

private:
    // The drive form of a folder typed in POSIX form, with ~ for the home folder.
    std::optional<QString> typedDriveForm(const QString& text) const;
    void buildControls();
    void ApplySavedSettings();
    void SetFolderBoxState();
    void ShowSelectedFile();
    void optionClick(QRadioButton* option);

    void tbSetFolder_Change();
    void cmdBrowse_Click();
    void cmdExtractEnter_Click();
    void cmdCancel_Click();

    frmFendlemark& owner_;
    bool Loading = false;
    bool InOptionClick = false;
    QString SavedSetFolder;
};

} // namespace fm
