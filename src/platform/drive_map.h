#pragma once

// Drive letters over the POSIX tree.
//
// The program shows, stores and compares paths in drive form (C:\home\ann\a.cab). Drive c: is the
// root of the POSIX tree; the further drives d:, e:, ... are the volumes mounted below /media,
// /run/media and /mnt, lettered in sorted order of their mount paths. The program builds the map
// at start and again on Refresh, and hands it to each tool it launches (tool_link.h), so both
// convert paths alike even when a volume comes or goes in between.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fm {

struct Drive {
    char letter = 'c';     // lower case
    std::string mountPath; // POSIX mount path, "/" for c:

    // The drive list's entry: "c: [/]", "d: [/media/ann/STICK]".
    std::string entryText() const;
};

class DriveMap {
public:
    // c: only, mapped to "/".
    DriveMap();
    // c: plus one drive per mount path, lettered in the order given (at most up to z:).
    explicit DriveMap(const std::vector<std::string>& volumeMounts);

    // Builds the map from the text of a mount table (the format of /proc/self/mounts).
    static DriveMap fromMountTable(std::string_view mountsText);
    // Builds the map from this process's mount table; c: alone when it cannot be read.
    static DriveMap system();

    const std::vector<Drive>& drives() const { return drives_; }
    // The drive with this letter (either case), or null.
    const Drive* find(char letter) const;

    // True when the text starts with a letter and a colon.
    static bool hasDriveDesignation(std::string_view path);
    // True for "D:" alone or "D:" followed by a space and anything ("D: [LABEL]"): a bare drive.
    static bool isBareDrive(std::string_view text);

    // "C:\home\ann" -> "/home/ann", "D:\x" -> "<mount of d:>/x". Backslashes become slashes and
    // runs of separators collapse; a trailing separator is kept. Nullopt when the text has no
    // drive designation or the drive is unknown.
    std::optional<std::string> toPosix(std::string_view drivePath) const;

    // "/home/ann" -> "C:\home\ann" (the longest mount prefix wins). Nullopt for a relative path
    // and for a path with a backslash in one of its names, which drive form cannot show.
    std::optional<std::string> toDrive(std::string_view posixPath) const;

    // A folder typed in POSIX form, in drive form: blanks around it are dropped, "~" and "~/x"
    // stand for `home` and below it, a path starting with "/" is taken as it is; a trailing
    // slash stays as a trailing backslash. Nullopt for text in no POSIX form (drive form, say)
    // and for a path drive form cannot show.
    std::optional<std::string> typedToDrive(std::string_view typed, std::string_view home) const;

    // Accepts either form: drive form is mapped, anything else is taken as a POSIX path as is.
    std::string toPosixAny(std::string_view path) const;

    // The drive that holds a POSIX path (longest mount prefix), or null for a relative path.
    const Drive* driveOf(std::string_view posixPath) const;

    // The current folder of a drive, in drive form: the working folder for its own drive, the
    // drive's root for the others. Nullopt for an unknown drive.
    std::optional<std::string> currentFolder(char letter, std::string_view workingFolder) const;

private:
    std::vector<Drive> drives_;
};

// Decodes the octal escapes (\040 and the like) of a mount table field.
std::string unescapeMountField(std::string_view field);

} // namespace fm
