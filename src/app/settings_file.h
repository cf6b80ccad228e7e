#pragma once

// Fendlemark.ini in the program's folder: section "Fendlemark", keys InitialPath,
// ExtrAlwaysSame, ExtrPreservePath, ExtrObName, ExtrSetFolder, NameCodePage (the code page of
// names stored without the UTF-8 flag; absent or unknown: 1252) and LookInside (1: the cabinet
// list shows installers and update packages too; written only then). Read once while the main
// window loads, written once when it unloads.

#include <QString>
#include <optional>
#include <string>

namespace fm {

// The program's folder in drive form (no trailing backslash except at a drive's root), and that
// folder followed by "\Fendlemark.ini". Set by the main window's load handler. A program folder
// that drive form cannot show (a name with a backslash) is kept as a POSIX path.
extern QString AppPath;
extern QString IniFilePath;
// The file those two name, as the POSIX path the profile functions read and write: always the
// program folder's own bytes and "/Fendlemark.ini", whatever its names hold.
extern std::string IniPosixPath;

inline const char* const kSection = "Fendlemark";

// The value of a key as the profile reader gives it, cut to 511 characters; a null string when
// the key or the file is absent or the value is empty.
QString ReadINI(const QString& section, const QString& key);
// Writes one key; a null value removes it. The outcome is not reported.
void WriteINI(const QString& section, const QString& key, const QString& value);

// Decimal text to a 16-bit integer: blanks around it ignored, fractions rounded to the nearest
// integer with halves to even. Null, empty and non-numeric text, and values outside
// -32768..32767, give nullopt.
std::optional<qint16> ToInt16(const QString& text);

} // namespace fm
