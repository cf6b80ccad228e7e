#pragma once

#include <string>

namespace fm {

// The process's working folder as a POSIX path ("" when it cannot be determined).
std::string CurrentWorkingFolder();
// Makes `posixPath` the working folder; false when that fails.
bool SetCurrentWorkingFolder(const std::string& posixPath);
// This user's home folder: $HOME when absolute, else the one the user database names ("" when
// there is none).
std::string HomeFolder();
// The folder of the running executable as a POSIX path, its bytes as they are ("" when unknown).
std::string ProgramFolder();

} // namespace fm
