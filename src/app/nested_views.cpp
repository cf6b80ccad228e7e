#include "app/nested_views.h"

#include "app/main_window.h"
#include "app/open_targets.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "extract/paths.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"

#include <QAction>
#include <QMenu>
#include <QSet>
#include <QTimer>

namespace fm {

namespace {

constexpr int kCabinetColumn = 3;

RowKey keyOf(const ListView& list, int row) {
    return {list.subItem(row, kCabinetColumn), list.text(row)};
}

} // namespace

NestedViews::NestedViews(frmFendlemark& w) : QObject(&w), w_(w) {
    back_ = new QAction(QStringLiteral("&Back"), &w);
    back_->setObjectName(QStringLiteral("mBack"));
    // Disabled outside a nested view, so Backspace then reaches the focused control as before.
    back_->setShortcuts({QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Left)});
    back_->setEnabled(false);
    w.mFile->insertAction(w.mExit, back_);
    w.mFile->insertSeparator(w.mExit);
    connect(back_, &QAction::triggered, this, &NestedViews::back);
    connect(w.Dir1, &DirList::change, this, &NestedViews::folderChanged);
}

void NestedViews::view(const std::string& copy, const QString& from) {
    Level level;
    level.folder = w_.Dir1->path();
    for (int i = 0; i < w_.File1->listCount(); ++i)
        if (w_.File1->selected(i))
            level.cabinets << w_.File1->list(i);
    level.top = w_.File1->topIndex();
    const ListView& list = *w_.lvwFiles;
    level.sortKey = list.sortKey();
    level.sortOrder = list.sortOrder();
    level.sorted = list.sorted();
    const std::vector<bool> flags = list.selectionFlags();
    for (size_t i = 0; i < flags.size(); ++i)
        if (flags[i])
            level.rows << keyOf(list, static_cast<int>(i) + 1);
    if (const int current = list.currentRow())
        level.current = keyOf(list, current);

    moving_ = true;
    OpenPaths(w_, {PathToText(copy)});
    moving_ = false;
    if (w_.Dir1->path() == level.folder)
        return; // not shown; OpenPaths has said why
    level.shown = w_.Dir1->path();
    if (levels_.empty())
        names_ = QStringList{SplitPath(from).second};
    names_ << PathToText(copy.substr(copy.rfind('/') + 1));
    levels_.push_back(std::move(level));
    update();
}

void NestedViews::back() {
    if (levels_.empty() || w_.isBusy())
        return;
    const Level level = std::move(levels_.back());
    levels_.pop_back();
    names_.removeLast();
    if (levels_.empty())
        names_.clear();
    moving_ = true;
    restore(level);
    moving_ = false;
    update();
}

void NestedViews::restore(const Level& level) {
    const auto folder = w_.platform().drives->toPosix(TextToPath(level.folder));
    if (!folder) {
        w_.platform().prompt->ok(&w_, QStringLiteral("Could not go back to ") +
                                          MessageText(level.folder) +
                                          QStringLiteral(": its drive is no longer there."));
        return;
    }
    // As the command line would name them: the folder, or its selected cabinets.
    const std::string base = folder->ends_with('/') ? *folder : *folder + '/';
    QStringList paths;
    for (const QString& name : level.cabinets)
        paths << PathToText(base + TextToPath(name));
    OpenPaths(w_, paths.isEmpty() ? QStringList{PathToText(*folder)} : paths);

    FileList* cabinets = w_.File1;
    // After OpenPaths's own scrolling, which waits for the list to be shown.
    QTimer::singleShot(0, cabinets, [cabinets, top = level.top] { cabinets->setTopIndex(top); });
    ListView& list = *w_.lvwFiles;
    list.setSortState(level.sortKey, level.sortOrder, level.sorted);
    const QSet<RowKey> wanted(level.rows.begin(), level.rows.end());
    std::vector<bool> flags(static_cast<size_t>(list.rowCount()));
    int current = 0;
    for (int row = 1; row <= list.rowCount(); ++row) {
        const RowKey key = keyOf(list, row);
        flags[static_cast<size_t>(row - 1)] = wanted.contains(key);
        if (key == level.current)
            current = row;
    }
    list.setSelectionFlags(flags);
    if (current)
        list.setCurrentRow(current);
}

void NestedViews::folderChanged() {
    if (moving_ || levels_.empty() || w_.Dir1->path() == levels_.back().shown)
        return;
    // The user went elsewhere: no view to go back to from there.
    levels_.clear();
    names_.clear();
    update();
}

QString NestedViews::pathText() const {
    QStringList shown;
    for (const QString& name : names_)
        shown << MessageText(name);
    return shown.join(QStringLiteral(" \u203A "));
}

void NestedViews::update() {
    const QString path = pathText();
    w_.setWindowTitle(path.isEmpty() ? QStringLiteral("Fendlemark")
                                     : path + QStringLiteral(" - Fendlemark"));
    back_->setEnabled(nested());
    back_->setText(nested() ? QStringLiteral("&Back to ") +
                                  MessageText(names_[qsizetype(levels_.size()) - 1])
                                      .replace(u'&', QStringLiteral("&&"))
                            : QStringLiteral("&Back"));
    w_.UpdateStatus();
}

void ViewPrivateCopy(frmFendlemark& w, const std::string& copy, const QString& from) {
    if (auto* views = w.findChild<NestedViews*>())
        views->view(copy, from);
    else
        OpenPaths(w, {PathToText(copy)});
}

} // namespace fm
