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
    std::string beside; // the program folder's own file
};

// The decision, for a program folder and a configuration home (both POSIX paths). Makes no folder.
SettingsFiles ChooseSettingsFiles(const std::string& programFolder, const std::string& configHome);

// The configuration home of this user: $XDG_CONFIG_HOME when absolute, else $HOME/.config.
std::string ConfigHome();

// True when this user may write into the folder (for root: the folder has its owner write bit,
// the rule the settings writer applies to the file).
bool FolderWritable(const std::string& folder);

// The decision for this user, the user's folder made when the file is to be written there.
SettingsFiles SettingsFilesFor(const std::string& programFolder);

} // namespace fm
