#pragma once

// Opening contents rows as a file manager opens files: each chosen record is extracted exactly
// (its index and listed name reach the tool through the link) into a private folder of its own
// (extract/private_copies.h) and handed to the desktop's default application. A row that is
// itself a cabinet opens in this window instead, as a view nested in the current one
// (app/nested_views.h): its copy's folder becomes the current folder, with it selected and listed.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace fm {

class frmFendlemark;

// Beyond this many rows, opening them all is asked first (No the default); beyond the most, or
// beyond the most bytes a private copy takes (extract/private_copies.h), it is refused.
inline constexpr int kOpenWithoutAsking = 10;
inline constexpr int kOpenMostFiles = 20;

// Extracts exactly these rows (1-based) into `folder` (POSIX, existing), the stored folders kept
// when `keepFolders`: one launch of the tool per cabinet, waited for as an extraction run is
// (extract/run_in_window.h), with its progress and its Cancel. Returns the problems, each a line
// naming the cabinet and the reason; empty when every row was extracted. `stopped` tells whether
// the user cancelled the wait or chose to exit meanwhile.
QStringList ExtractRowsTo(frmFendlemark& w, const std::vector<int>& rows, const std::string& folder,
                          bool keepFolders, bool* stopped);

// Opens these rows (1-based) within the limits above. What could not be opened is told in one
// message.
void OpenRows(frmFendlemark& w, const std::vector<int>& rows);

// The selected rows (1-based), in display order.
std::vector<int> SelectedRows(const frmFendlemark& w);

} // namespace fm
