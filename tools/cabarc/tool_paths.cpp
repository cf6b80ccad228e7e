#include "tool_paths.h"

#include <algorithm>

namespace fm::tool {

std::optional<std::string> ResolveToolPath(std::string_view arg, const DriveMap& drives,
                                           const std::string& workingFolder) {
    if (DriveMap::hasDriveDesignation(arg))
        return drives.toPosix(arg);

    std::string path(arg);
    if (path.size() >= 2 && path[0] == '\\' && (path[1] == '\\' || path[1] == '/'))
        return std::nullopt;
    bool rootedOnDrive = !path.empty() && path[0] == '\\';
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!rootedOnDrive) {
        if ((!path.empty() && path[0] == '/') || workingFolder.empty())
            return path;
        return workingFolder + (workingFolder.ends_with('/') ? "" : "/") + path;
    }

    const Drive* drive = drives.driveOf(workingFolder);
    std::string root = drive ? drive->mountPath : std::string("/");
    if (root == "/")
        return path;
    return root + path;
}

} // namespace fm::tool
