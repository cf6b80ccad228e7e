#pragma once

// Paths on the tool's command line, in the program's drive form or as POSIX paths.

#include "platform/drive_map.h"

#include <optional>
#include <string>
#include <string_view>

namespace fm::tool {

// The POSIX path an argument names, read with Windows meanings: "C:\x\" through the drive map,
// "\x" from the root of the working folder's drive ("\" alone is that root), a relative path
// from the working folder, a POSIX absolute path as it stands. Backslashes separate folders in
// every form, as they do for the program that passes these paths. Nullopt for a drive the map does
// not know and for network paths ("\\server\share").
std::optional<std::string> ResolveToolPath(std::string_view arg, const DriveMap& drives,
                                           const std::string& workingFolder);

} // namespace fm::tool
