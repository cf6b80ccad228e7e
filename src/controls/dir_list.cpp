#include "controls/dir_list.h"

#include "controls/control_error.h"
#include "controls/focus_frame.h"
#include "platform/path_text.h"
#include "platform/working_folder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace fm {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

// Split by hand: a regular expression refuses text with the lone surrogates that stand for bytes
// that are not UTF-8, and would leave such a path in one piece.
QStringList splitNames(const QString& s) {
    QStringList out;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == u'\\' || s[i] == u'/') {
            if (i > start)
                out << s.mid(start, i - start);
            start = i + 1;
        }
    }
    return out;
}

// Folds "." and ".." (never above the drive's root).
QStringList normalized(const QStringList& names) {
    QStringList out;
    for (const QString& n : names) {
        if (n == u".")
            continue;
        if (n == u"..") {
            if (!out.isEmpty())
                out.removeLast();
            continue;
        }
        out << n;
    }
    return out;
}

QString joinDrive(QChar letter, const QStringList& names) {
    QString s = QString(letter.toUpper()) + QStringLiteral(":\\");
    return s + names.join(u'\\');
}

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

} // namespace

DirList::DirList(const DriveMap& drives, QWidget* parent) : QListWidget(parent), drives_(drives) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    ShowFocusFrame(*this);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::openEntry);
    QString start = QStringLiteral("C:\\");
    if (auto cwd = drives_.toDrive(CurrentWorkingFolder()))
        start = PathToText(*cwd);
    try {
        setPath(start);
    } catch (const ControlError&) {
        setPath(QStringLiteral("C:\\"));
    }
}

DirList::Target DirList::target(const QString& value) const {
    QChar letter = path_.isEmpty() ? QChar(u'C') : path_[0];
    QStringList names = path_.isEmpty() ? QStringList() : splitNames(path_.mid(2));
    const QString& v = value;
    if (v.isEmpty())
        throw ControlError::fromErrno(ENOENT);
    const std::string bytes = TextToPath(v.left(3));
    if (DriveMap::isBareDrive(bytes)) {
        letter = v[0];
        auto cur = drives_.currentFolder(letter.toLatin1(), CurrentWorkingFolder());
        if (!cur)
            throw ControlError::fromErrno(ENODEV);
        names = splitNames(PathToText(*cur).mid(2));
    } else if (DriveMap::hasDriveDesignation(bytes)) {
        bool rooted = v.size() > 2 && (v[2] == u'\\' || v[2] == u'/');
        if (!drives_.find(v[0].toLatin1()))
            throw ControlError::fromErrno(ENODEV);
        if (!rooted) {
            auto cur = drives_.currentFolder(v[0].toLatin1(), CurrentWorkingFolder());
            names = cur ? splitNames(PathToText(*cur).mid(2)) : QStringList();
        } else {
            names.clear();
        }
        letter = v[0];
        names += splitNames(v.mid(2));
    } else if (v.startsWith(u"\\\\") || v.startsWith(u"//")) {
        throw ControlError::fromErrno(ENOENT); // network paths do not exist here
    } else if (v[0] == u'\\' || v[0] == u'/') {
        names = splitNames(v);
    } else {
        names += splitNames(v);
    }
    // The folder keeps the drive it was named on, even below another drive's mount point:
    // C:\mnt\stick stays a folder of c:, so the drive list and the folder list agree.
    Target t;
    t.shown = joinDrive(letter, normalized(names));
    auto posix = drives_.toPosix(TextToPath(t.shown));
    if (!posix)
        throw ControlError::fromErrno(ENODEV);
    t.posix = *posix;
    return t;
}

std::string DirList::resolve(const QString& value) const {
    return target(value).posix;
}

void DirList::setPath(const QString& value) {
    Target t = target(value);
    struct stat st {};
    if (::stat(t.posix.c_str(), &st) != 0)
        throw ControlError::fromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        throw ControlError::fromErrno(ENOTDIR);
    std::unique_ptr<DIR, DirCloser> probe(::opendir(t.posix.c_str()));
    if (!probe)
        throw ControlError::fromErrno(errno);
    probe.reset();

    bool changed = t.shown != path_;
    path_ = t.shown;
    posix_ = t.posix;
    fill(posix_);
    if (changed)
        emit change();
}

void DirList::refresh() {
    fill(posix_);
}

void DirList::fill(const std::string& posix) {
    setUpdatesEnabled(false);
    clear();
    QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QChar letter = path_[0];
    QStringList names = splitNames(path_.mid(2));
    auto add = [this](const QString& text, const QString& full, const QIcon& icon, int depth) {
        auto* item = new QListWidgetItem(icon, QString(depth * 2, u' ') + DisplayText(text), this);
        item->setData(kPathRole, full);
        item->setData(Qt::AccessibleTextRole, text); // screen readers skip the indentation
        // ... and hear where the folder stands instead
        item->setData(Qt::AccessibleDescriptionRole, DisplayText(full));
        return item;
    };
    QListWidgetItem* current =
        add(QString(letter.toUpper()) + QStringLiteral(":\\"), joinDrive(letter, {}), openIcon, 0);
    for (int i = 0; i < names.size(); ++i)
        current = add(names[i], joinDrive(letter, names.mid(0, i + 1)), openIcon, i + 1);

    QStringList subfolders;
    if (std::unique_ptr<DIR, DirCloser> dir(::opendir(posix.c_str())); dir) {
        while (dirent* e = ::readdir(dir.get())) {
            std::string_view n = e->d_name;
            if (n == "." || n == ".." || n.find('\\') != std::string_view::npos)
                continue;
            bool isDir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                struct stat st {};
                std::string full = posix + (posix.back() == '/' ? "" : "/") + std::string(n);
                isDir = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (isDir)
                subfolders << PathToText(n);
        }
    }
    std::sort(subfolders.begin(), subfolders.end(), [](const QString& a, const QString& b) {
        int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    for (const QString& s : subfolders)
        add(s, joinDrive(letter, names + QStringList{s}), closedIcon, names.size() + 1);

    setCurrentItem(current);
    setUpdatesEnabled(true);
}

void DirList::openEntry(QListWidgetItem* item) {
    if (!item)
        return;
    try {
        setPath(item->data(kPathRole).toString());
    } catch (const ControlError& e) {
        emit openFailed(e);
    }
}

void DirList::keyboardSearch(const QString& search) {
    if (search.isEmpty() || count() == 0)
        return;
    // Letters typed within the platform's interval make one prefix; the same letter again moves
    // on to the next entry that starts with it.
    if (!lastTyped_.isValid() || lastTyped_.elapsed() > QApplication::keyboardInputInterval())
        typed_.clear();
    lastTyped_.restart();
    const bool repeated = typed_.size() == 1 && search.compare(typed_, Qt::CaseInsensitive) == 0;
    if (!repeated)
        typed_ += search;
    const int from = std::max(0, currentRow()) + (typed_.size() == 1 ? 1 : 0);
    for (int k = 0; k < count(); ++k) {
        QListWidgetItem* it = item((from + k) % count());
        if (it->data(Qt::AccessibleTextRole).toString().startsWith(typed_, Qt::CaseInsensitive)) {
            setCurrentItem(it);
            return;
        }
    }
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace fm
