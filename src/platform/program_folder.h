#pragma once

#include <string>

namespace fm {

// The folder that holds the running program, as a POSIX path: the real file's folder, with every
// symbolic link on the way resolved (so a launcher link elsewhere still finds the program's own
// folder, its tools and its settings). "" when it cannot be determined.
std::string ProgramFolder();

} // namespace fm
