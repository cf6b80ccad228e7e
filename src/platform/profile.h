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

// A profile file's whole text in memory, so that a run of look-ups and edits costs one read and
// one write of the file however many keys they touch. Edits change the text in place.
class ProfileText {
public:
    ProfileText() = default;
    explicit ProfileText(std::string text) : text_(std::move(text)) {}

    // The value, or nullopt when the section or the key is absent. Lines may end in LF, CR LF or
    // CR.
    std::optional<std::string> get(std::string_view section, std::string_view key) const;
    // Writes (or with nullopt deletes) one key; false when nothing changes (deleting a key that
    // is absent).
    bool set(std::string_view section, std::string_view key,
             const std::optional<std::string>& value);

    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// The whole file, read once. The file is opened without blocking and must be a regular file
// (checked on the opened descriptor, so a FIFO or device swapped in under the name is refused at
// once). Nullopt when it cannot be read; `error` then holds the errno (ENOENT for an absent file).
std::optional<std::string> ReadProfileFile(const std::string& file, int* error = nullptr);

// Replaces the file's content with `text` in one write: a temporary file renamed over it, with the
// old file's mode (0644 for a new one). False, with nothing written, when the file exists but is
// not a regular file or is read-only (IsReadOnlyFor), or when the temporary file cannot be made.
bool WriteProfileFile(const std::string& file, std::string_view text);

// One key of a file: ReadProfileFile and ProfileText::get.
std::optional<std::string> GetProfileString(const std::string& file, std::string_view section,
                                            std::string_view key);

// One key of a file read, changed and written back; deleting from an absent file creates none.
// Returns false when nothing could be written (see WriteProfileFile).
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

// True when the last part of the path starts with a dot (or is empty).
bool IsHiddenName(std::string_view path);

} // namespace fm
