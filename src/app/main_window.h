#pragma once

// frmFendlemark: the main window. It holds every control the user works with (drive, folder and
// cabinet lists, the contents list, Extract and Exit, the menus) and, as fields, the state the
// other windows share: the extract settings, the hand-over flags, and the re-entrancy guards.

#include "cabinet/selection.h"
#include "cabinet/unreadable.h"
#include "platform/cabinet_source.h"
#include "platform/platform.h"

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <optional>
#include <vector>

class QAction;
class QMenu;
class QPushButton;

namespace fm {

class DirList;
class DriveList;
class RunQueue;
struct RunJob;
struct WindowRunResult;
class FileList;
class ListView;
class VbCheckBox;
class VbLabel;
struct CabEntry;
struct ToolLink;

class frmFendlemark : public QMainWindow {
    Q_OBJECT
public:
    explicit frmFendlemark(const Platform& platform, QWidget* parent = nullptr);
    ~frmFendlemark() override;

    // The load handler: runs once, before the window is first shown.
    void Load();

    // Shared fields (other windows read and write them).
    bool ChangeSettings = false;
    bool GoExtract = false;
    qint16 StgExtrAlwaysSame = 0;
    qint16 StgExtrPreservePath = 0;
    QString StgExtrObName;    // null until assigned
    QString StgExtrSetFolder; // null until assigned
    // Why the folder typed for "Set folder" could not be used, as a sentence ("" when it could):
    // set by the extract-to dialog when it falls back, taken by the run, which then asks.
    QString SetFolderRefusal;
    // The folder the last extraction wrote to (the first of several), a POSIX path as text; ""
    // before the first.
    QString LastRunFolder;
    // The code page of names stored without the UTF-8 flag (one of kNameCodePages): the listing
    // reads them in it and the tool is told it, so a file is written under the name its row shows.
    int NameCodePage = 1252;
    // Options > Look Inside Installers and Update Packages: the cabinet list also shows .msu
    // files (cabinets themselves) and the .exe and .msi files that hold cabinets, whose rows then
    // name their cabinet "setup.exe › cabinet at byte 4096" or "product.msi › Cab1.cab".
    bool LookInside = false;

    // Controls, named as in the designer.
    DriveList* Drive1;
    DirList* Dir1;
    FileList* File1;
    VbCheckBox* ckSelAllCabs;
    ListView* lvwFiles;
    QPushButton* cmdExtract;
    QPushButton* cmdClose;
    VbLabel* lblUnSelAll;
    VbLabel* lblFiles;
    VbLabel* Label1;
    VbLabel* Label2;
    VbLabel* Label3;
    QMenu* mFile;
    QAction* mExit;
    QMenu* mOptions;
    QAction* mChangeExtract;
    QAction* mRefresh;
    QAction* mSelectMatching;
    QMenu* mNameEncoding; // its items are checkable, one per code page (the page as data)
    QAction* mLookInside; // checkable
    QMenu* mHelp;
    QAction* mAbout;

    // Settings file.
    void LoadSettings();
    void SaveSettings();

    // Folder navigation and the cabinet file list.
    void SelectAllCabs();
    // Re-reads the folder and cabinet lists (keeping the selected cabinets and the scroll
    // position) and drops the contents-list rows of cabinets that no longer exist.
    void RefreshLists();
    // Rebuilds the drive map from the mount table and the drive list from it. A folder the
    // program holds in drive form (the current folder, the set folder) keeps naming the same
    // place when its volume's letter moves.
    void RefreshDrives();

    // Cabinet listing.
    void ListCabContents();
    void ClearContents();
    // The selected cabinets the last listing could not read whole, and why (cleared with the
    // contents list).
    QList<UnreadableCab> Unreadable;
    // The selected parts of spanned sets listed without a neighbour, and which (cleared alike).
    QList<UnreadableCab> LoneParts;
    // Cabinets inside other files. A row's cabinet (sub-item 3) is a drive-form path for a
    // cabinet file, or for one inside another file the name InnerCabinets knows it by.
    struct InnerCabinet {
        QString file;         // the file that holds it (drive form)
        CabinetSource source; // and where in it
    };
    QHash<QString, InnerCabinet> InnerCabinets;
    // The cabinets of a file in the cabinet list (drive form): its inner cabinets' names once
    // listed, otherwise the file itself.
    QStringList CabinetsIn(const QString& file) const;
    // The real file a row's cabinet lives in (drive form), handed to the tool, whose folder and
    // name the destination rules use.
    QString CabinetFile(const QString& cabinet) const;
    // Tells the tool where in that file the cabinet lies (nothing for a cabinet file).
    void LinkSource(const QString& cabinet, ToolLink& link) const;
    // Sets the cabinet list's patterns for LookInside (re-read).
    void ShowContainers();

    // Selection and status line.
    void UpdateStatus();
    int CountSelected() const;
    void SaveSelection();
    void RestoreSelection();
    // The run's report in the status line: `report`, or "N files extracted." when it is empty.
    void ShowExtracted(int count, const QString& report = {});

    // Extraction: runs ExtractCabs with SelCount when GoExtract is set (the extract-to dialog
    // calls it after storing the settings).
    void CheckExtractCabs();

    // Read-only views of private state, for tests.
    bool isBusy() const { return Busy; }
    bool isLoading() const { return Loading; }
    const QString& prevDrive() const { return PrevDrive; }
    const std::optional<QList<RowKey>>& savedSelection() const { return SavedSel; }
    const Platform& platform() const { return platform_; }
    // True while an extraction run's tools run (the window then answers only its cancel).
    bool isExtracting() const { return activeRun_ != nullptr; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Unload();
    // Sizes the window to the designed outer height with the frame it has now, and centres it.
    void FitToFrame();

    // Event handlers.
    void Drive1_GotFocus();
    void Drive1_Change();
    void Dir1_Change();
    void File1_Click();
    void ckSelAllCabs_Click();
    void lvwFiles_ColumnClick(int index, const QString& key);
    void lvwFiles_Click();
    void lblUnSelAll_Click();
    void cmdClose_Click();
    void mExit_Click();
    void mRefresh_Click();
    void mSelectMatching_Click();
    void mNameEncoding_Click(int codePage);
    void mLookInside_Click();
    void mAbout_Click();
    void mChangeExtract_Click();
    void cmdExtract_Click();

    // The extraction run for `count` selected rows (0: all).
    void ExtractCabs(int count);
    // Widens the status line for a text longer than its designed width, within its row.
    void fitStatusLine();
    int statusWidth_ = -1; // the designed width, once known

    friend WindowRunResult RunInWindow(frmFendlemark& window, std::vector<RunJob> jobs,
                                       const QString& doing);

    Platform platform_;
    RunQueue* activeRun_ = nullptr; // the run in progress
    bool exitAsked_ = false;        // the user chose to cancel it and exit
    QString PrevDrive;
    bool Loading = false;
    bool Busy = false;
    int SelCount = 0;
    std::optional<QList<RowKey>> SavedSel;          // (cabinet path, name) of each selected row
    QHash<QString, QStringList> containerCabinets_; // file -> its inner cabinets, as last listed
    QString LastPattern = QStringLiteral("*.*");    // what Select Matching Rows offers next
    bool unloaded_ = false;
    int fittedFrame_ = -1; // the frame height FitToFrame last sized for; -1 before Load
};

} // namespace fm
