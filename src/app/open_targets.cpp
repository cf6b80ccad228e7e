#include "app/open_targets.h"

#include "app/main_window.h"
#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/working_folder.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <algorithm>
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

// What could not be opened, named in drive form as the window names everything.
QString problem(const frmFendlemark& w, const QString& path, const QString& why) {
    const auto shown = w.platform().drives->toDrive(absolute(TextToPath(path)));
    return DisplayText(shown ? PathToText(*shown) : path) + QStringLiteral(": ") + why;
}

// Points the drive list and the folder list at a folder, as the user would: the drive first
// (its change handler moves the folder list to that drive), then the folder itself.
bool openFolder(frmFendlemark& w, const std::string& folder, const QString& given,
                QStringList& problems) {
    const auto drivePath = w.platform().drives->toDrive(folder);
    if (!drivePath) {
        problems << problem(w, given, QStringLiteral("this path cannot be shown."));
        return false;
    }
    const QString target = PathToText(*drivePath);
    try {
        if (w.Drive1->drive().left(1).compare(target.left(1), Qt::CaseInsensitive) != 0)
            w.Drive1->setDrive(target.left(2));
        w.Dir1->setPath(target);
    } catch (const ControlError& e) {
        problems << problem(w, given, e.message());
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
            problems << problem(w, given[i],
                                QStringLiteral("not in the folder of the first cabinet."));
            continue;
        }
        const QString name = PathToText(files[i].substr(folder == "/" ? 1 : folder.size() + 1));
        int found = -1;
        for (int k = 0; k < w.File1->listCount() && found < 0; ++k)
            if (w.File1->list(k) == name)
                found = k;
        if (found < 0)
            problems << problem(w, given[i], QStringLiteral("not a cabinet file."));
        else
            wanted[static_cast<size_t>(found)] = true;
    }
    // Exactly the named cabinets end up selected, also when the folder was already shown.
    for (int k = 0; k < w.File1->listCount(); ++k)
        if (w.File1->selected(k) && !wanted[static_cast<size_t>(k)])
            w.File1->setSelected(k, false);
    w.File1->selectEntries(wanted);
    // The named cabinets in view: the last, then the first, so that all show when they fit.
    // Again once the window is shown: a list not yet shown does not know its height.
    const auto first = std::find(wanted.begin(), wanted.end(), true);
    if (first == wanted.end())
        return;
    const int top = static_cast<int>(first - wanted.begin());
    const int bottom =
        static_cast<int>(wanted.rend() - std::find(wanted.rbegin(), wanted.rend(), true)) - 1;
    FileList* list = w.File1;
    // The keyboard starts at the first named cabinet (Alt+I, Shift+arrows), not at the list's top.
    list->selectionModel()->setCurrentIndex(list->model()->index(top, 0),
                                            QItemSelectionModel::NoUpdate);
    const auto show = [list, top, bottom] {
        if (bottom < list->count() && top < list->count()) {
            list->scrollToItem(list->item(bottom));
            list->scrollToItem(list->item(top));
        }
    };
    show();
    QTimer::singleShot(0, list, show);
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

namespace {

// Qt's own options, which the application object takes out of the arguments (given with one dash
// or two, a value after a space or an equals sign). They are known here so that our options can
// be read, and usage errors reported, before Qt needs a display.
constexpr std::string_view kQtOptionsWithValue[] = {"platform",
                                                    "platformpluginpath",
                                                    "platformtheme",
                                                    "plugin",
                                                    "qwindowgeometry",
                                                    "geometry",
                                                    "qwindowtitle",
                                                    "title",
                                                    "qwindowicon",
                                                    "icon",
                                                    "display",
                                                    "session",
                                                    "style",
                                                    "stylesheet",
                                                    "name",
                                                    "qmljsdebugger"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb",
                                         "testability"};

// 0 when `a` is not one of Qt's options, else how many arguments it takes (1 or 2).
int qtOptionLength(std::string_view a) {
    if (!a.starts_with('-'))
        return 0;
    a.remove_prefix(a.starts_with("--") ? 2 : 1);
    const auto eq = a.find('=');
    const std::string_view name = a.substr(0, eq);
    for (std::string_view o : kQtOptionsWithValue)
        if (name == o)
            return eq == std::string_view::npos ? 2 : 1;
    for (std::string_view f : kQtFlags)
        if (a == f)
            return 1;
    return 0;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine c;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (const int qt = options ? qtOptionLength(a) : 0) {
            i += static_cast<size_t>(qt - 1);
        } else if (options && a == "--") {
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
    return QStringLiteral("Fendlemark " FENDLEMARK_VERSION_TEXT);
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
            problems << problem(w, p, QString::fromLocal8Bit(std::strerror(errno)) + u'.');
        } else if (S_ISDIR(st.st_mode) && folder.empty() && paths.size() == 1) {
            folder = path;
            folderGiven = p;
        } else if (S_ISDIR(st.st_mode)) {
            problems << problem(w, p, QStringLiteral("a folder opens only on its own."));
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
