#pragma once

// Windows profile (INI) files: read and write one key of one section.
//
// Section and key names match without regard to ASCII letter case. Reading takes the value after
// the first '=' of the first matching key line, blanks around it removed, and one pair of matching
// surrounding quotes dropped. Writing keeps everything else of the file as it was (other sections,
// unknown keys, comments, blank lines, and each line's own line end; a new line takes the end of
// the line before it): an existing key is replaced in place, a new key is appended to its section,
// a missing section is appended to the file, and a null value deletes the key. The new content goes
// to a temporary file that is then renamed over the old one, so a crash never leaves half a file.

#include <optional>
#include <string>
#include <string_view>

namespace fm {

// The value, or nullopt when the file, the section or the key is absent. Lines may end in LF,
// CR LF or CR.
std::optional<std::string> GetProfileString(const std::string& file, std::string_view section,
                                            std::string_view key);

// Writes (or with nullopt deletes) one key. Returns false when nothing could be written: a
// read-only file (IsReadOnlyFor), which is never replaced, or a folder in which the temporary
// file cannot be made.
bool WriteProfileString(const std::string& file, std::string_view section, std::string_view key,
                        const std::optional<std::string>& value);

// The whole new file text that writing would produce from `text`, or nullopt when nothing
// changes (deleting a key that is absent).
std::optional<std::string> ApplyProfileWrite(std::string_view text, std::string_view section,
                                             std::string_view key,
                                             const std::optional<std::string>& value);

// Whether the profile writer treats an existing file as read-only for the user `uid`: for root,
// a file with no write bit at all; for everyone else, a file they may not write (access W_OK).
bool IsReadOnlyFor(const std::string& file, unsigned mode, unsigned uid);

// True when the path names an existing ordinary file (symlinks followed) that is not hidden
// (its name does not start with a dot).
bool IsOrdinaryFile(const std::string& path);

} // namespace fm
