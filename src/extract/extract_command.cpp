// The Extract command and Options > Change extract settings: the ways into the extract-to dialog
// and into the extraction run.

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"
#include "dialogs/extract_to.h"
#include "extract/paths.h"
#include "extract/private_copies.h"
#include "extract/run_queue.h"
#include "platform/prompt.h"

namespace fm {

namespace {

// A cabinet file name less its extension (".cab"); never fewer than no characters.
QString cabinetTitle(const QString& fileName) {
    return fileName.left(std::max<qsizetype>(0, fileName.size() - 4));
}

// The index (0-based) of the first set flag, or -1.
int firstSelected(const std::vector<bool>& flags) {
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i])
            return static_cast<int>(i);
    return -1;
}

} // namespace

void frmFendlemark::cmdExtract_Click() {
    // While a run lasts the button reads "Cancel": that is all it does then, so no second run
    // can start inside the first.
    if (activeRun_) {
        activeRun_->cancel();
        return;
    }
    SelCount = CountSelected();
    const QString savedCaption = lblFiles->text();
    const quint32 savedColor = lblFiles->foreColor();
    if (lblFiles->foreColor() == kColorBlue) {
        // No leaves the last run's report as it stood.
        if (!platform_.prompt->yesNo(this, QStringLiteral("Extract the same files again?")))
            return;
        UpdateStatus();
    }
    const std::vector<bool> cabFlags = File1->selectionFlags();
    const auto cabsSelected = std::count(cabFlags.begin(), cabFlags.end(), true);

    if (StgExtrAlwaysSame != 0) {
        GoExtract = true;
        ExtractCabs(SelCount);
    } else {
        frmExtractTo dialog(*this);
        QString title;
        if (cabsSelected == 1) {
            dialog.SingleCab = true;
            title = cabinetTitle(File1->fileName());
        } else {
            dialog.SingleCab = false;
            title = QStringLiteral("'CAB name'");
        }
        if (SelCount == 1) {
            // The one selected row, even when the list's current row is another.
            const int row = firstSelected(lvwFiles->selectionFlags()) + 1;
            dialog.SingleFile = true;
            dialog.SingleFileNm = lvwFiles->text(row);
            title = cabinetTitle(SplitPath(lvwFiles->subItem(row, 3)).second);
        } else if (lvwFiles->rowCount() == 0) {
            if (File1->listCount() == 0) {
                platform_.prompt->ok(this, QStringLiteral("Find a CAB file to view."));
                Dir1->setFocus();
            } else if (cabsSelected > 0) {
                // Selected, but nothing listed: say why rather than ask for a selection.
                platform_.prompt->ok(this,
                                     Unreadable.isEmpty()
                                         ? QStringLiteral("The selected CAB file holds no files.")
                                         : UnreadableMessage(Unreadable));
                File1->setFocus();
            } else {
                platform_.prompt->ok(this, QStringLiteral("Select a CAB file to view."));
                File1->setFocus();
            }
            return;
        } else {
            dialog.SingleFile = false;
        }
        // A cabinet opened out of another lies among the private copies: offer the place the run
        // will use, beside the real file, never a folder that goes when the program ends.
        const QString here = RealPlaceText(*this, Dir1->path()).value_or(Dir1->path());
        dialog.DefaultPath = here;
        dialog.DefaultPlusPath = JoinPath(here, title + QStringLiteral(" Extracted"));
        dialog.ShowModal();
    }
    if (!GoExtract) {
        lblFiles->setText(savedCaption);
        lblFiles->setForeColor(savedColor);
    }
    GoExtract = false;
    ChangeSettings = false;
    SetFolderRefusal.clear();
    SelCount = 0;
}

void frmFendlemark::mChangeExtract_Click() {
    ChangeSettings = true;
    frmExtractTo dialog(*this);
    dialog.DefaultPath = Dir1->path();
    dialog.DefaultPlusPath = JoinPath(Dir1->path(), QStringLiteral("'CAB Name' Extracted"));
    dialog.ShowModal();
}

} // namespace fm
