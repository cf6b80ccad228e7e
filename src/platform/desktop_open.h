#pragma once

// Handing a file or folder to the desktop: its default application for a file, the file manager
// for a folder, through QDesktopServices (xdg-open on this desktop).

#include <QString>
#include <string>

namespace fm {

// Opens `posixPath` as the desktop would on a double-click. "" when it was handed over, else
// why not in plain words: no application is set for its type, or the desktop's opener could not
// be started. Whether an application is set is asked of xdg-mime for the file's type and the
// types it is a kind of, as xdg-open itself would; without xdg-mime that is left to the opener.
QString OpenInDesktop(const std::string& posixPath);

} // namespace fm
