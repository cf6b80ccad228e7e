#pragma once

// Opening what the user names when starting the program or drops on its window:
// `fendlemark [FOLDER | CABINET...]`. A folder opens there; cabinet files open their folder
// with those cabinets selected, and so listed.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace fm {

class frmFendlemark;

struct CommandLine {
    enum class Action { Open, Help, Version, Error };
    Action action = Action::Open;
    QStringList paths; // as given (PathToText), absolute or relative to the working folder
    QString error;     // for Action::Error
};

// Reads the arguments after the program name: --help (-h) and --version, "--" to end the
// options, Qt's own options (-platform NAME, -style=NAME, ...) passed over for the application
// object, anything else starting with "-" an error; the rest are paths.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The texts --help and --version print. The version is the one the About box shows.
QString UsageText();
QString VersionText();

// Opens the paths in the window as described above. Whatever cannot be opened (a missing path,
// a folder beside other paths, a cabinet outside the first one's folder, a file the cabinet list
// does not show) is named in one message box; the rest still opens.
void OpenPaths(frmFendlemark& window, const QStringList& paths);

// Lets the window take dropped folders and files, opened as OpenPaths opens them.
void AcceptDroppedPaths(frmFendlemark& window);

} // namespace fm
