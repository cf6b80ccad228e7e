#pragma once

// modExeRunning: is a process running whose executable name contains a text?

#include <QString>

namespace fm {

class ProcessList;

// True when the executable name of some running process contains `text`, letter case ignored
// (ASCII letters; other characters compared as they are). A fresh listing per call, ended at the
// first match; false when the list cannot be read.
bool ExeRunning(const ProcessList& processes, const QString& text);

} // namespace fm
