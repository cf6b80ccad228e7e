// The contents list's selection: the status line, "Unselect All", and carrying the selection
// across a refill by cabinet and name.

#include "cabinet/selection.h"
#include "app/main_window.h"
#include "app/nested_views.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"
#include "dialogs/select_matching.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/wildcard.h"

#include <QSet>
#include <algorithm>

namespace fm {

void frmFendlemark::UpdateStatus() {
    if (Busy)
        return;
    const int n = lvwFiles->rowCount();
    // Selected cabinets that could not be read are named, never passed over in silence, and so
    // are the parts of spanned sets listed without a neighbour.
    QStringList tip;
    if (const auto* views = findChild<NestedViews*>(); views && views->nested())
        tip << views->pathText();
    for (const QList<UnreadableCab>* cabs : {&Unreadable, &LoneParts})
        if (!cabs->isEmpty())
            tip << UnreadableDetails(*cabs);
    lblFiles->setToolTip(tip.join(u'\n'));
    if (n == 0) {
        lblFiles->setText(UnreadableStatus(Unreadable));
        lblUnSelAll->setVisible(false);
        fitStatusLine();
        return;
    }
    const int s = CountSelected();
    lblFiles->setForeColor(kColorButtonText);
    QString caption = QString::number(n) + QStringLiteral(" files:");
    if (s != 0) {
        caption += QStringLiteral("  Extract ") + QString::number(s) + u'.';
        lblUnSelAll->setVisible(true);
    } else {
        caption += QStringLiteral("  Extract all.");
        lblUnSelAll->setVisible(false);
    }
    if (!Unreadable.isEmpty())
        caption += QStringLiteral("  ") + UnreadableNote(Unreadable);
    lblFiles->setText(caption);
    fitStatusLine();
}

void frmFendlemark::fitStatusLine() {
    // The designed width, widened for a longer text (a note on unreadable cabinets) as far as
    // "Unselect All" while it shows, else to the contents list's right edge.
    if (statusWidth_ < 0)
        statusWidth_ = lblFiles->width();
    const int limit =
        (lblUnSelAll->isVisibleTo(this) ? lblUnSelAll->x() : lvwFiles->geometry().right()) -
        lblFiles->x();
    const int needed = lblFiles->fontMetrics().horizontalAdvance(lblFiles->text()) + 4;
    lblFiles->resize(std::clamp(needed, statusWidth_, std::max(statusWidth_, limit)),
                     lblFiles->height());
}

int frmFendlemark::CountSelected() const {
    return lvwFiles->selectedCount();
}

void frmFendlemark::SaveSelection() {
    QList<RowKey> rows;
    const std::vector<bool> flags = lvwFiles->selectionFlags();
    for (size_t i = 0; i < flags.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        if (flags[i])
            rows.append({lvwFiles->subItem(row, 3), lvwFiles->text(row)});
    }
    SavedSel = rows;
}

void frmFendlemark::RestoreSelection() {
    const int n = lvwFiles->rowCount();
    if (n == 0)
        return;
    std::vector<bool> flags = lvwFiles->selectionFlags();
    if (int current = lvwFiles->currentRow(); current != 0)
        flags[static_cast<size_t>(current - 1)] = false;
    if (SavedSel && !SavedSel->isEmpty()) {
        const QSet<RowKey> wanted(SavedSel->begin(), SavedSel->end());
        for (int i = 1; i <= n; ++i)
            flags[static_cast<size_t>(i - 1)] =
                InCollection(wanted, {lvwFiles->subItem(i, 3), lvwFiles->text(i)});
    }
    lvwFiles->setSelectionFlags(flags);
}

void frmFendlemark::ShowExtracted(int count, const QString& report) {
    lblFiles->setForeColor(kColorBlue);
    const int shown = count != 0 ? count : lvwFiles->rowCount();
    lblFiles->setText(
        !report.isEmpty() ? report : QString::number(shown) + QStringLiteral(" files extracted."));
    // A report longer than the room before "Unselect All" takes its place until the selection
    // next changes, rather than being cut off.
    if (lblUnSelAll->isVisibleTo(this) &&
        lblFiles->x() + lblFiles->fontMetrics().horizontalAdvance(lblFiles->text()) + 4 >
            lblUnSelAll->x())
        lblUnSelAll->setVisible(false);
    fitStatusLine();
}

void frmFendlemark::lblUnSelAll_Click() {
    if (lvwFiles->rowCount() == 0)
        return;
    lvwFiles->setSelectionFlags({});
    UpdateStatus();
}

namespace {

// A name as case-folded code points (a lone surrogate, which no stored name yields, as U+FFFD).
void foldName(QStringView name, std::u32string& out) {
    out.clear();
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name[i].unicode(), name[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            c = 0xFFFD;
        }
        out += FoldCase(c);
    }
}

std::u32string_view withoutLeadingBackslashes(std::u32string_view s) {
    s.remove_prefix(std::min(s.find_first_not_of(U'\\'), s.size()));
    return s;
}

std::u32string_view lastPart(std::u32string_view s) {
    const size_t slash = s.find_last_of(U"\\/");
    return slash == std::u32string_view::npos ? s : s.substr(slash + 1);
}

} // namespace

std::vector<bool> RowsMatching(const ListView& list, const QString& pattern) {
    const int n = list.rowCount();
    const std::string typed = pattern.toStdString();
    if (MatchesEveryName(typed))
        return std::vector<bool>(static_cast<size_t>(n), true);
    const std::u32string asTyped = FoldCase(typed);
    const std::u32string_view whole = withoutLeadingBackslashes(asTyped);
    std::vector<bool> flags(static_cast<size_t>(n));
    std::u32string name;
    for (int i = 1; i <= n; ++i) {
        foldName(list.text(i), name);
        flags[static_cast<size_t>(i - 1)] = WildcardMatch(whole, withoutLeadingBackslashes(name)) ||
                                            WildcardMatch(asTyped, lastPart(name));
    }
    return flags;
}

void frmFendlemark::mSelectMatching_Click() {
    frmSelectMatching ask(*this, LastPattern);
    if (ask.exec() != QDialog::Accepted)
        return;
    LastPattern = ask.pattern();
    const std::vector<bool> flags = RowsMatching(*lvwFiles, LastPattern);
    const auto first = std::find(flags.begin(), flags.end(), true);
    if (first == flags.end()) {
        // An empty selection would mean every row to Extract: the selection stays as it was.
        platform_.prompt->ok(this,
                             QStringLiteral("No rows match %1.").arg(MessageText(LastPattern)));
        return;
    }
    lvwFiles->setSelectionFlags(flags);
    const int row = static_cast<int>(first - flags.begin()) + 1;
    lvwFiles->setCurrentRow(row);
    lvwFiles->scrollTo(lvwFiles->model()->index(row - 1, 0));
    UpdateStatus();
}

void frmFendlemark::lvwFiles_Click() {
    UpdateStatus();
}

} // namespace fm
