#pragma once

// The file-system edges the extraction run needs.

#include <string>

namespace fm {

// True when anything (file, folder, link) exists at the POSIX path.
bool PathExists(const std::string& posixPath);

// Creates one folder level; 0 on success, else the errno (the parent missing, the name taken).
int MakeFolder(const std::string& posixPath);

} // namespace fm
