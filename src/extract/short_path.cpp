#include "extract/short_path.h"

#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/tool_link.h"

#include <algorithm>

namespace fm {

std::optional<std::string> PosixPathOf(const DriveMap& drives, const QString& path,
                                       const std::string& workingFolder) {
    std::string bytes = TextToPath(path);
    if (DriveMap::hasDriveDesignation(bytes))
        return drives.toPosix(bytes);
    if (bytes.size() >= 2 && bytes[0] == '\\' && (bytes[1] == '\\' || bytes[1] == '/'))
        return std::nullopt;
    const bool rootedOnDrive = !bytes.empty() && bytes[0] == '\\';
    std::replace(bytes.begin(), bytes.end(), '\\', '/');
    if (!rootedOnDrive)
        return bytes;
    const Drive* drive = drives.driveOf(workingFolder);
    if (!drive || drive->mountPath == "/")
        return bytes;
    return drive->mountPath + bytes;
}

QString PathArgument(const QString& path) {
    return path.isEmpty() ? path : PathToText(fm::PathArgument(TextToPath(path)));
}

} // namespace fm
