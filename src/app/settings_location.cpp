#include "app/settings_location.h"

#include "platform/profile.h"
#include "platform/working_folder.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace fm {

namespace {

constexpr const char* kFileName = "Fendlemark.ini";

std::string userFolder(const std::string& configHome) {
    return configHome + (configHome.ends_with('/') ? "" : "/") + "fendlemark";
}

// mkdir -p, with the modes the XDG rules ask for.
void makeFolders(const std::string& path) {
    for (size_t i = 1; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '/')
            ::mkdir(path.substr(0, i).c_str(), 0700);
}

} // namespace

bool FolderWritable(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (::geteuid() == 0)
        return (st.st_mode & S_IWUSR) != 0;
    return ::access(folder.c_str(), W_OK) == 0;
}

std::string ConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const std::string home = HomeFolder(); // a relative $HOME names no folder
    return (home.empty() ? std::string("/") : home) + "/.config";
}

SettingsFiles ChooseSettingsFiles(const std::string& programFolder, const std::string& configHome) {
    const std::string beside =
        programFolder + (programFolder.ends_with('/') ? "" : "/") + kFileName;
    if (FolderWritable(programFolder))
        return {beside, beside, beside};
    const std::string own = userFolder(configHome) + "/" + kFileName;
    return {IsOrdinaryFile(own) ? own : beside, own, beside};
}

SettingsFiles SettingsFilesFor(const std::string& programFolder) {
    const std::string home = ConfigHome();
    SettingsFiles files = ChooseSettingsFiles(programFolder, home);
    if (files.writeTo != files.beside)
        makeFolders(userFolder(home));
    return files;
}

} // namespace fm
