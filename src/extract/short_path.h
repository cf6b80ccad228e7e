#pragma once

// The paths of a run as the cabinet tool gets them.
//
// Windows hands the tool short (8.3) paths, which hold no spaces, so the run puts them on the
// command line unquoted. No short names exist here: a path that would be split at a space is
// quoted instead, so the tool still gets the one path.

#include <QString>
#include <optional>
#include <string>

namespace fm {

class DriveMap;

// The POSIX path that `path` names, read as the tool reads its arguments: drive form through the
// drive map, "\x" from the root of the working folder's drive, other paths relative to the
// working folder (left relative) or POSIX absolute; backslashes separate folders. Nullopt for an
// unknown drive and for network paths (\\server\share).
std::optional<std::string> PosixPathOf(const DriveMap& drives, const QString& path,
                                       const std::string& workingFolder);

// A path as one argument: quoted (QuoteArgument) when it holds a space, a tab or a quote,
// otherwise as it is.
QString PathArgument(const QString& path);

} // namespace fm
