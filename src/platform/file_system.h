#pragma once

// The file-system edges the extraction run needs.

#include <string>
#include <sys/types.h>

namespace fm {

// Which folder a path named when it was checked: a folder handed over later must be this one.
struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

// True when anything (file, folder, link) exists at the POSIX path.
bool PathExists(const std::string& posixPath);

// Creates one folder level, inside its opened parent and never through a link: a link or anything
// else put in its place meanwhile makes it fail. 0 on success, with the new folder's identity in
// `made`, else the errno (the parent missing, the name taken).
int MakeFolder(const std::string& posixPath, FolderId* made = nullptr);

// Opens the folder the POSIX path names (O_DIRECTORY, close-on-exec); -1 with errno ESTALE when it
// is no longer the folder `expected` (gone, replaced, or a link to another put in its place), else
// with the errno of the failure.
int OpenCheckedFolder(const std::string& posixPath, const FolderId& expected);

} // namespace fm
