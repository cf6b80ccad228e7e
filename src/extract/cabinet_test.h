#pragma once

// Testing cabinets: the tool's test mode (T: every file decoded, block checksums and sizes
// checked, nothing written) run on each cabinet, waited for as an extraction run is
// (extract/run_in_window.h): the count in the status line, Cancel or Esc stops the tools at
// work. One box reports the outcome: "N cabinets tested: all files
// intact." or the damaged ones, each with its first bad file and the reason (all of them in the
// box's details, to scroll and copy). A test stopped by Cancel says so and calls nothing intact
// that it did not finish.

#include <QString>
#include <QStringList>

namespace fm {

class frmFendlemark;

// The most damaged cabinets the report names; the rest are counted.
inline constexpr int kDamagedShown = 15;

// Tests the cabinets (drive form) and reports.
void TestCabinets(frmFendlemark& w, const QStringList& cabinets);

// The cabinets selected in the cabinet list (drive form).
QStringList SelectedCabinets(const frmFendlemark& w);

} // namespace fm
