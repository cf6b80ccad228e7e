#include "app/open_targets.h"

#include "app/main_window.h"
#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "dialogs/about_box.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/working_folder.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace fm {

namespace {

std::string absolute(const std::string& path) {
    if (path.starts_with('/'))
        return path;
    const std::string cwd = CurrentWorkingFolder();
    return cwd + (cwd.ends_with('/') ? "" : "/") + path;
}

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

QString problem(const QString& path, const QString& why) {
    return DisplayText(path) + QStringLiteral(": ") + why;
}

// Points the drive list and the folder list at a folder, as the user would: the drive first
// (its change handler moves the folder list to that drive), then the folder itself.
bool openFolder(frmFendlemark& w, const std::string& folder, const QString& given,
                QStringList& problems) {
    const auto drivePath = w.platform().drives->toDrive(folder);
    if (!drivePath) {
        problems << problem(given, QStringLiteral("this path cannot be shown."));
        return false;
    }
    const QString target = PathToText(*drivePath);
    try {
        if (w.Drive1->drive().left(1).compare(target.left(1), Qt::CaseInsensitive) != 0)
            w.Drive1->setDrive(target.left(2));
        w.Dir1->setPath(target);
    } catch (const ControlError& e) {
        problems << problem(given, e.message());
        return false;
    }
    return true;
}

void openCabinets(frmFendlemark& w, const QStringList& given, const std::vector<std::string>& files,
                  QStringList& problems) {
    const std::string folder = parentOf(files.front());
    if (!openFolder(w, folder, given.front(), problems))
        return;
    std::vector<bool> wanted(static_cast<size_t>(w.File1->listCount()), false);
    for (size_t i = 0; i < files.size(); ++i) {
        if (parentOf(files[i]) != folder) {
            problems << problem(given[i],
                                QStringLiteral("not in the folder of the first cabinet."));
            continue;
        }
        const QString name = PathToText(files[i].substr(folder == "/" ? 1 : folder.size() + 1));
        int found = -1;
        for (int k = 0; k < w.File1->listCount() && found < 0; ++k)
            if (w.File1->list(k) == name)
                found = k;
        if (found < 0)
            problems << problem(given[i], QStringLiteral("not a cabinet file."));
        else
            wanted[static_cast<size_t>(found)] = true;
    }
    // Exactly the named cabinets end up selected, also when the folder was already shown.
    for (int k = 0; k < w.File1->listCount(); ++k)
        if (w.File1->selected(k) && !wanted[static_cast<size_t>(k)])
            w.File1->setSelected(k, false);
    w.File1->selectEntries(wanted);
}

class DropTaker : public QObject {
public:
    explicit DropTaker(frmFendlemark& w) : QObject(&w), window_(w) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != &window_)
            return false;
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            // Rows dragged out of this window are not dropped back on it.
            if (!drag->source() && !localPaths(drag->mimeData()).isEmpty())
                drag->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = localPaths(drop->mimeData());
            if (paths.isEmpty())
                return true;
            drop->acceptProposedAction();
            OpenPaths(window_, paths);
            return true;
        }
        return false;
    }

private:
    // The dropped local files, their names' bytes taken from the URLs as they are.
    static QStringList localPaths(const QMimeData* data) {
        QStringList paths;
        if (!data || !data->hasUrls())
            return paths;
        for (const QUrl& url : data->urls()) {
            if (!url.isLocalFile())
                return {};
            const QByteArray bytes =
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
            paths << PathToText(std::string_view(bytes.constData(), bytes.size()));
        }
        return paths;
    }

    frmFendlemark& window_;
};

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine c;
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            return {CommandLine::Action::Help, {}, {}};
        } else if (options && a == "--version") {
            return {CommandLine::Action::Version, {}, {}};
        } else if (options && a.size() > 1 && a.starts_with('-')) {
            return {CommandLine::Action::Error,
                    {},
                    QStringLiteral("unknown option: ") + DisplayText(PathToText(a))};
        } else {
            c.paths << PathToText(a);
        }
    }
    return c;
}

QString UsageText() {
    return QStringLiteral(
        "Usage: fendlemark [FOLDER | CABINET...]\n"
        "Find, list and extract Microsoft Cabinet (.cab) archives.\n"
        "\n"
        "  FOLDER      open the window on this folder\n"
        "  CABINET...  open the folder of these cabinet files, with them selected and listed\n"
        "  --help      print this text and exit\n"
        "  --version   print the version and exit\n");
}

QString VersionText() {
    return QStringLiteral("Fendlemark ") +
           frmAbout::VersionText(FENDLEMARK_VERSION_MAJOR, FENDLEMARK_VERSION_MINOR);
}

void OpenPaths(frmFendlemark& w, const QStringList& paths) {
    QStringList problems;
    QStringList cabinetsGiven;
    std::vector<std::string> cabinets;
    std::string folder;
    QString folderGiven;
    for (const QString& p : paths) {
        const std::string path = absolute(TextToPath(p));
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            problems << problem(p, QString::fromLocal8Bit(std::strerror(errno)) + u'.');
        } else if (S_ISDIR(st.st_mode) && folder.empty() && paths.size() == 1) {
            folder = path;
            folderGiven = p;
        } else if (S_ISDIR(st.st_mode)) {
            problems << problem(p, QStringLiteral("a folder opens only on its own."));
        } else {
            cabinets.push_back(path);
            cabinetsGiven << p;
        }
    }
    if (!folder.empty())
        openFolder(w, folder, folderGiven, problems);
    else if (!cabinets.empty())
        openCabinets(w, cabinetsGiven, cabinets, problems);
    if (!problems.isEmpty())
        w.platform().prompt->ok(&w, QStringLiteral("Could not open:\n") + problems.join(u'\n'));
}

void AcceptDroppedPaths(frmFendlemark& window) {
    window.setAcceptDrops(true);
    window.installEventFilter(new DropTaker(window));
}

} // namespace fm
