#pragma once

// The extraction run (frmFendlemark::ExtractCabs, entered through CheckExtractCabs or the Extract
// command): one launch of Cabarc1.exe / Cabarc2.exe (alternating) per cabinet, however many of its
// rows are chosen, a few at a time (RunInWindow: the progress in the status line, Esc or the
// Extract button cancels, Exit asks); then the report and a refresh of the folder, cabinet and
// contents lists. Folders the run made and left empty (a cabinet that failed, the later parts of
// a spanned set) are removed.
//
// Every row reaches the tool as exactly its own record, and every path means to the tool what it
// means to the program: each launch carries a link (platform/tool_link.h) on descriptor 3 with the
// program's drive map of that moment and, for chosen rows, one line per row (its record index and
// its listed name). The parameter strings:
//
//   all files      " [-p ][-n ]-@ /dev/fd/3 -r 4 -d 5 X <cabinet> *.* <destination>\"
//   chosen rows    " [-p ][-n ]-@ /dev/fd/3 -r 4 -d 5 X <cabinet> <destination>\"
//
// -p keeps the stored folders ("Preserve Path"), -n leaves files that exist alone, -d 5 hands the
// destination over open: the folder checked (or made) below, which the tool writes into; when its
// path names another folder by the time the tool starts, the cabinet fails and nothing is written.
// The cabinet and the destination are in drive form, each one argument (PathArgument quotes a path
// holding a space); the destination is never empty and always ends in a backslash.
//
// Destinations: the cabinet's folder ("obSameFolder"), the set folder ("obSetFolder"), or else a
// folder "<cabinet title> Extracted" beside each cabinet, made when missing. A set folder that
// cannot be used (a control character in it, no known drive, the "'CAB name'" placeholder, or the
// dialog's own fallback) gives way to the folder beside each cabinet, once the user agrees.
//
// Before anything is launched or made, one pass checks every cabinet of the run:
//  - a cabinet that no longer exists is not launched and gets no folder;
//  - a "<title> Extracted" that exists as anything but a real folder (a link too) is not used;
//  - two rows that would be written to the same file stop the run: the user is told which;
//  - when files the run would write exist already, the user is asked once: replace them, skip
//    them (-n), or cancel.
// At most one question is asked. Cabinets that failed a check, that the tool could not be started
// for (after the retries a lack of resources earns), or whose tool reported a problem are named
// afterwards in one message box, each with its reason (all of them in its details). The status line
// counts the files actually written, "N files extracted.", and says how many were kept (Skip) or
// not extracted: "0 files extracted, 4 kept."; its tooltip names the folders they went to. A
// cancelled run says so first, "Extraction cancelled: 2 of 9 cabinets extracted in full, 2 in
// part, 5 not at all.", and names them in the details; the files already written stay.
//
// A folder where a file goes is never written over (the tool refuses, also under -n): the
// question names it apart from the existing files, and under Skip its row counts as kept, so the
// cabinet is not reported for it.

#include <QPair>
#include <QString>
#include <QVector>

namespace fm {

class DriveMap;
class Screen;

// The text the end of a run looks for in the names of this program's own running processes.
inline constexpr char kToolProcessName[] = "Cabarc";

// The most cabinets the failure report names; the rest are counted.
inline constexpr int kFailuresShown = 15;

// Why a set folder (drive form) cannot be a destination, in plain words; "" when it can.
QString SetFolderProblem(const QString& folder, const DriveMap& drives);

// The failure report: each cabinet in drive form on a line, its reason indented on the next, for
// at most kFailuresShown cabinets (fewer when the screen is low), then how many more. A line is
// shortened in its middle to what a message box on `screen` shows unwrapped, so the box never
// outgrows the screen; a reason says what went wrong before the path it names, so its words stay.
QString FailureReport(const QVector<QPair<QString, QString>>& failures, const Screen& screen);

// Every failure in full, as FailureReport words them: the message's details, to scroll and copy.
QString FailureDetails(const QVector<QPair<QString, QString>>& failures);

} // namespace fm
