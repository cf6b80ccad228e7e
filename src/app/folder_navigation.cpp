// The upper half of the main window: drive, folder and cabinet-file lists, Select All, Refresh.

#include "app/main_window.h"
#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/tool_link.h"

#include <QHash>
#include <QSet>
#include <sys/stat.h>

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

    // Rows of a cabinet that was deleted or renamed since it was listed cannot be extracted.
    QHash<QString, bool> gone;
    std::vector<bool> doomed(static_cast<size_t>(lvwFiles->rowCount()));
    for (int row = 1; row <= lvwFiles->rowCount(); ++row) {
        const QString cabinet = lvwFiles->subItem(row, 3);
        auto known = gone.constFind(cabinet);
        if (known == gone.constEnd()) {
            const auto posix = platform_.drives->toPosix(TextToPath(CabinetFile(cabinet)));
            struct stat st {};
            known = gone.insert(cabinet,
                                !posix || ::stat(posix->c_str(), &st) != 0 || !S_ISREG(st.st_mode));
        }
        doomed[static_cast<size_t>(row - 1)] = *known;
    }
    const bool dropped = std::find(doomed.begin(), doomed.end(), true) != doomed.end();
    if (dropped)
        lvwFiles->removeRows(doomed);
    setUpdatesEnabled(true);
    Busy = false;
    // A fresh report stays; otherwise the count follows the rows that are left.
    if (dropped && lblFiles->foreColor() != kColorBlue)
        UpdateStatus();
}

void frmFendlemark::RefreshDrives() {
    if (!platform_.readDrives)
        return;
    DriveMap fresh = platform_.readDrives();
    if (ToolLink::mountsOf(fresh) == ToolLink::mountsOf(*platform_.drives))
        return;
    const DriveMap before = *platform_.drives;
    *platform_.drives = std::move(fresh);
    // The same place under the new letters: the drive with the old drive's mount, or, when that
    // volume has gone, the folder as the rest of the tree now shows it. A setting is never put
    // onto another drive that way: it keeps naming the drive that has gone, which a run refuses.
    const auto moved = [&](const QString& path, bool setting = false) {
        const std::string bytes = TextToPath(path);
        const Drive* old = DriveMap::hasDriveDesignation(bytes) ? before.find(bytes[0]) : nullptr;
        if (!old)
            return path;
        for (const Drive& d : platform_.drives->drives())
            if (d.mountPath == old->mountPath)
                return (path[0].isUpper() ? QChar(d.letter).toUpper() : QChar(d.letter)) +
                       path.mid(1);
        if (setting)
            return path;
        const auto posix = before.toPosix(bytes);
        const auto now = posix ? platform_.drives->toDrive(*posix) : std::nullopt;
        return now ? PathToText(*now) : QStringLiteral("C:\\");
    };
    if (!StgExtrSetFolder.isNull())
        StgExtrSetFolder = moved(StgExtrSetFolder, true);
    Busy = true;
    Drive1->setDrives(*platform_.drives);
    Busy = false;
    const QString folder = moved(Dir1->path());
    if (folder != Dir1->path()) {
        try {
            Dir1->setPath(folder);
        } catch (const ControlError&) {
            Dir1->setPath(QStringLiteral("C:\\"));
        }
    }
    Busy = true;
    try {
        Drive1->setDrive(Dir1->path().left(2));
    } catch (const ControlError&) {
    }
    Busy = false;
}

void frmFendlemark::mNameEncoding_Click(int codePage) {
    NameCodePage = codePage;
    // The rows listed show names read in the old code page: read them again.
    File1_Click();
}

void frmFendlemark::mLookInside_Click() {
    LookInside = mLookInside->isChecked();
    QStringList kept;
    const std::vector<bool> flags = File1->selectionFlags();
    for (int i = 0; i < File1->listCount(); ++i)
        if (flags[static_cast<size_t>(i)])
            kept << File1->list(i);
    ShowContainers();
    // The cabinets that stay listed stay selected; the contents follow the list.
    const QSet<QString> wanted(kept.begin(), kept.end());
    std::vector<bool> select(static_cast<size_t>(File1->listCount()));
    for (int i = 0; i < File1->listCount(); ++i)
        select[static_cast<size_t>(i)] = wanted.contains(File1->list(i));
    Busy = true;
    File1->selectEntries(select);
    Busy = false;
    File1_Click();
}

void frmFendlemark::mRefresh_Click() {
    RefreshDrives();
    RefreshLists();
}

} // namespace fm
