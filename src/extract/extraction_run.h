#pragma once

// The extraction run (frmFendlemark::ExtractCabs, entered through CheckExtractCabs or the Extract
// command): a destination folder per cabinet, created one level deep when missing; one launch of
// Cabarc1.exe / Cabarc2.exe (alternating) per cabinet, or several when the chosen rows do not fit
// one file-argument list, a few at a time (RunInWindow: progress in the status line, Esc or the
// Extract button cancels); then the report on the status line and a refresh of the folder and
// cabinet lists. Folders the run made and left empty are removed.
//
// The tool's parameter string is the option string (" X " or " -p X "), the cabinet path, the
// file arguments (" *.*" for all files), a space and the destination ending in a backslash. A
// path that holds a space is quoted, the destination's backslash outside the quotes.
//
// A row is passed by the last part of its name: "readme.txt" as "readme.txt" in quotes after the
// separating space, docs\readme.txt as a space and "readme.txt". When the row's cabinet holds
// another file with that last part (letter case ignored), the row's whole name is passed
// instead, in the second form, with a backslash in front when it has none (" "\readme.txt""), so
// the tool, which matches a name with a backslash against whole stored names, extracts exactly
// the chosen file.
//
// Failures: a destination that cannot be made is reported in a message box and ends the run
// before anything is launched (the status line and lists stay). A tool that could not be started,
// exits with a non-zero status or is killed is reported after the run, in one message box naming
// each such cabinet with the first line of its error output or the reason; the run then writes no
// "files extracted." report. A cancelled run says how many of its cabinets were extracted; the
// files already written stay.

namespace fm {

// The text the end of a run looks for in the names of this program's own running processes.
inline constexpr char kToolProcessName[] = "Cabarc";

// The longest file-argument list one launch carries (a row that alone is longer gets a launch of
// its own).
inline constexpr int kFileArgumentsMax = 256;

} // namespace fm
