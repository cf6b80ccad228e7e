#include "controls/dir_list.h"

#include "controls/control_error.h"
#include "platform/working_folder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace fm {

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

QStringList splitNames(const QString& s) {
    QStringList out;
    for (const QString& part : s.split(QRegularExpression(QStringLiteral("[\\\\/]"))))
        if (!part.isEmpty())
            out << part;
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
    connect(this, &QListWidget::itemDoubleClicked, this, &DirList::openEntry);
    QString start = QStringLiteral("C:\\");
    if (auto cwd = drives_.toDrive(CurrentWorkingFolder()))
        start = QString::fromStdString(*cwd);
    try {
        setPath(start);
    } catch (const ControlError&) {
        setPath(QStringLiteral("C:\\"));
    }
}

std::string DirList::resolve(const QString& value) const {
    QChar letter = path_.isEmpty() ? QChar(u'C') : path_[0];
    QStringList names = path_.isEmpty() ? QStringList() : splitNames(path_.mid(2));
    QString v = value;
    if (v.isEmpty())
        throw ControlError::fromErrno(ENOENT);
    if (DriveMap::isBareDrive(v.toStdString())) {
        letter = v[0];
        auto cur = drives_.currentFolder(letter.toLatin1(), CurrentWorkingFolder());
        if (!cur)
            throw ControlError::fromErrno(ENODEV);
        names = splitNames(QString::fromStdString(*cur).mid(2));
    } else if (DriveMap::hasDriveDesignation(v.toStdString())) {
        bool rooted = v.size() > 2 && (v[2] == u'\\' || v[2] == u'/');
        if (!drives_.find(v[0].toLatin1()))
            throw ControlError::fromErrno(ENODEV);
        if (!rooted) {
            auto cur = drives_.currentFolder(v[0].toLatin1(), CurrentWorkingFolder());
            names = cur ? splitNames(QString::fromStdString(*cur).mid(2)) : QStringList();
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
    auto posix = drives_.toPosix(joinDrive(letter, normalized(names)).toStdString());
    if (!posix)
        throw ControlError::fromErrno(ENODEV);
    return *posix;
}

void DirList::setPath(const QString& value) {
    std::string posix = resolve(value);
    auto shown = drives_.toDrive(posix);
    if (!shown)
        throw ControlError::fromErrno(EINVAL);
    struct stat st {};
    if (::stat(posix.c_str(), &st) != 0)
        throw ControlError::fromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        throw ControlError::fromErrno(ENOTDIR);
    std::unique_ptr<DIR, DirCloser> probe(::opendir(posix.c_str()));
    if (!probe)
        throw ControlError::fromErrno(errno);
    probe.reset();

    QString newPath = QString::fromStdString(*shown);
    bool changed = newPath != path_;
    path_ = newPath;
    posix_ = posix;
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
        auto* item = new QListWidgetItem(icon, QString(depth * 2, u' ') + text, this);
        item->setData(kPathRole, full);
        item->setData(Qt::AccessibleTextRole, text); // screen readers skip the indentation
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
                subfolders << QString::fromUtf8(n.data(), static_cast<qsizetype>(n.size()));
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

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentItem());
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace fm
