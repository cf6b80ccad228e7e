#include "controls/file_list.h"

#include "controls/focus_frame.h"
#include "controls/user_click.h"
#include "platform/path_text.h"

#include <QHelpEvent>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>

#include <algorithm>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace fm {

namespace {

bool wildcardMatch(const QString& pattern, int pi, const QString& name, int ni) {
    // Iterative matcher with one backtrack point for the last '*'.
    int starP = -1, starN = 0;
    while (ni < name.size()) {
        if (pi < pattern.size() &&
            (pattern[pi] == u'?' || pattern[pi].toCaseFolded() == name[ni].toCaseFolded())) {
            ++pi;
            ++ni;
        } else if (pi < pattern.size() && pattern[pi] == u'*') {
            starP = pi++;
            starN = ni;
        } else if (starP >= 0) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < pattern.size() && pattern[pi] == u'*')
        ++pi;
    return pi == pattern.size();
}

constexpr int kNameRole = Qt::UserRole + 1;

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

FileList::FileList(const DriveMap& drives, QWidget* parent)
    : QListWidget(parent), drives_(drives), userClick_(new UserClick(this)) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    ShowFocusFrame(*this);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    // The sign on an unreadable cabinet fits the row of a name.
    const int sign = fontMetrics().height() - 2;
    setIconSize(QSize(sign, sign));
    connect(this, &QListWidget::itemSelectionChanged, userClick_, &UserClick::selectionChanged);
    connect(userClick_, &UserClick::click, this, &FileList::click);
}

bool FileList::matches(const QString& pattern, const QString& name) {
    if (pattern == u"*.*")
        return true;
    for (const QString& one : pattern.split(u';'))
        if (wildcardMatch(one, 0, name, 0))
            return true;
    return false;
}

void FileList::setFilter(std::function<bool(const std::string&)> accept) {
    accept_ = std::move(accept);
    refresh();
}

void FileList::setPath(const QString& drivePath) {
    if (drivePath != path_) {
        problems_.clear();
        notes_.clear();
    }
    path_ = drivePath;
    refresh();
}

void FileList::setPattern(const QString& pattern) {
    pattern_ = pattern;
    refresh();
}

void FileList::refresh() {
    QStringList names;
    auto posix = drives_.toPosix(TextToPath(path_));
    if (posix) {
        if (std::unique_ptr<DIR, DirCloser> dir(::opendir(posix->c_str())); dir) {
            std::string base = *posix + (posix->back() == '/' ? "" : "/");
            while (dirent* e = ::readdir(dir.get())) {
                std::string_view n = e->d_name;
                if (n.find('\\') != std::string_view::npos)
                    continue;
                QString name = PathToText(n);
                if (!matches(pattern_, name))
                    continue;
                bool regular = e->d_type == DT_REG;
                if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                    struct stat st {};
                    std::string full = base + std::string(n);
                    regular = ::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode);
                }
                if (regular && (!accept_ || accept_(base + std::string(n))))
                    names << name;
            }
        }
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    userClick_->setSuppressed(true);
    setUpdatesEnabled(false);
    clear();
    for (const QString& name : names) {
        auto* it = new QListWidgetItem(DisplayText(name), this);
        it->setData(kNameRole, name);
        showProblem(it);
    }
    setUpdatesEnabled(true);
    userClick_->setSuppressed(false);
}

QString FileList::list(int index) const {
    auto* it = item(index);
    return it ? it->data(kNameRole).toString() : QString();
}

void FileList::setProblem(const QString& name, const QString& why) {
    if (why.isEmpty() ? problems_.remove(name) == 0 : problems_.value(name) == why)
        return;
    if (!why.isEmpty())
        problems_.insert(name, why);
    for (int i = 0; i < count(); ++i)
        if (list(i) == name)
            showProblem(item(i));
}

QString FileList::problem(int index) const {
    return problems_.value(list(index));
}

void FileList::setNotes(const QHash<QString, QString>& notes) {
    if (notes == notes_)
        return;
    notes_ = notes;
    for (int i = 0; i < count(); ++i)
        showProblem(item(i));
}

QString FileList::describe(const QString& name) const {
    QStringList lines;
    if (const QString why = problems_.value(name); !why.isEmpty())
        lines << QStringLiteral("Cannot be read: ") + why;
    if (const QString note = notes_.value(name); !note.isEmpty())
        lines << note;
    return lines.join(u'\n');
}

void FileList::showProblem(QListWidgetItem* it) const {
    const QString name = it->data(kNameRole).toString();
    it->setIcon(problems_.contains(name) ? style()->standardIcon(QStyle::SP_MessageBoxWarning)
                                         : QIcon());
    const QString description = describe(name);
    it->setData(Qt::AccessibleDescriptionRole,
                description.isEmpty() ? QVariant() : QVariant(description));
}

bool FileList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // A name the list cuts off shows itself whole; a marked entry says why it cannot be read,
        // and a noted one shows its note.
        auto* help = static_cast<QHelpEvent*>(event);
        QListWidgetItem* it = itemAt(help->pos());
        QStringList tip;
        if (it) {
            // The room the style leaves for the text, beside the mark when there is one.
            QStyleOptionViewItem option;
            initViewItemOption(&option);
            option.rect = visualItemRect(it);
            option.rect.setRight(std::min(option.rect.right(), viewport()->width() - 1));
            option.text = it->text();
            option.features |= QStyleOptionViewItem::HasDisplay;
            if (!it->icon().isNull())
                option.features |= QStyleOptionViewItem::HasDecoration;
            const QRect room = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
            if (option.fontMetrics.horizontalAdvance(it->text()) > room.width())
                tip << it->text();
            if (const QString more = describe(it->data(kNameRole).toString()); !more.isEmpty())
                tip << more;
        }
        if (!tip.isEmpty())
            QToolTip::showText(help->globalPos(), tip.join(u'\n'), viewport(), visualItemRect(it));
        else
            QToolTip::hideText();
        return true;
    }
    return QListWidget::viewportEvent(event);
}

bool FileList::selected(int index) const {
    auto* it = item(index);
    return it && it->isSelected();
}

void FileList::setSelected(int index, bool on) {
    auto* it = item(index);
    if (!it)
        return;
    userClick_->setSuppressed(true);
    it->setSelected(on);
    userClick_->setSuppressed(false);
    emit click();
}

void FileList::selectEntries(const std::vector<bool>& flags) {
    QItemSelection selection;
    int clicks = 0;
    const int n = std::min(count(), static_cast<int>(flags.size()));
    for (int i = 0; i < n;) {
        if (!flags[static_cast<size_t>(i)]) {
            ++i;
            continue;
        }
        int j = i;
        while (j + 1 < n && flags[static_cast<size_t>(j + 1)])
            ++j;
        selection.select(model()->index(i, 0), model()->index(j, 0));
        clicks += j - i + 1;
        i = j + 1;
    }
    userClick_->setSuppressed(true);
    selectionModel()->select(selection, QItemSelectionModel::Select);
    userClick_->setSuppressed(false);
    for (int k = 0; k < clicks; ++k)
        emit click();
}

std::vector<bool> FileList::selectionFlags() const {
    std::vector<bool> flags(static_cast<size_t>(count()), false);
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
        flags[static_cast<size_t>(i.row())] = true;
    return flags;
}

int FileList::topIndex() const {
    QModelIndex i = indexAt(QPoint(1, 1));
    return i.isValid() ? i.row() : 0;
}

void FileList::setTopIndex(int index) {
    if (auto* it = item(index))
        scrollToItem(it, QAbstractItemView::PositionAtTop);
}

QString FileList::fileName() const {
    // The focused entry, unless the program selected entries without moving the focus: then the
    // first selected one.
    auto* it = currentItem();
    if (!it || !it->isSelected()) {
        for (int i = 0; i < count(); ++i) {
            if (item(i)->isSelected()) {
                it = item(i);
                break;
            }
        }
    }
    return it ? it->data(kNameRole).toString() : QString();
}

} // namespace fm
