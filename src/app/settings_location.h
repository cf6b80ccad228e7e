#pragma once

// Where Fendlemark.ini is read and written.
//
// A program folder this user may write keeps the file beside the program. An installed program's
// folder is read-only; its settings then live in the user's configuration folder,
// $XDG_CONFIG_HOME/fendlemark/Fendlemark.ini (~/.config/... when the variable is unset or not
// absolute). That file is read when it exists; until then the program folder's file, when there
// is one, gives the first values. Either way the file is written only in the user's folder.

#include <QString>
#include <string>

namespace fm {

class DriveMap;

struct SettingsFiles {
    std::string readFrom; // POSIX paths
    std::string writeTo;
};

// The decision, for a program folder and a configuration home (both POSIX paths). Makes no folder.
SettingsFiles ChooseSettingsFiles(const std::string& programFolder, const std::string& configHome);

// The configuration home of this user: $XDG_CONFIG_HOME when absolute, else $HOME/.config.
std::string ConfigHome();

// True when this user may write into the folder (for root: the folder has its owner write bit,
// the rule the settings writer applies to the file).
bool FolderWritable(const std::string& folder);

struct SettingsFilePaths {
    QString read; // in drive form, as IniFilePath holds it
    QString write;
};

// The paths the load handler gives IniFilePath: `appPath` (the program folder in drive form)
// followed by "\Fendlemark.ini" while that folder is writable, else the user's file (its folder
// made when missing), in drive form where the drive map can show it.
SettingsFilePaths SettingsFilePathsFor(const DriveMap& drives, const QString& programFolder,
                                       const QString& appPath);

} // namespace fm
