#pragma once

// Every wait for the tool from the main window: an extraction run's launches, and those of
// opening, dragging out and testing, driven from the main window's event loop.
//
// While the run lasts the window keeps painting and shows the progress in its status line
// ("Extracting: 1,234 of 5,000 cabinets…", plus " (45%)" while one big cabinet holds most of the
// work), but no handler of the window runs except the way out: every control, menu item, shortcut
// and dropped path is shut off (also for screen readers, which cannot press a disabled control),
// the Extract button reads "Cancel" and, like Esc, cancels the run; Exit and closing the window
// ask whether to cancel the extraction and exit. An extract-to dialog still open is hidden, so the
// window can be reached. Everything returns to how it was when the run has ended.

#include "extract/run_queue.h"

#include <vector>

namespace fm {

class frmFendlemark;

struct WindowRunResult {
    std::vector<JobResult> results; // one per job, in order
    bool cancelled = false;
    bool exitAsked = false; // the user chose to exit: the window closes once the caller returns
};

// `doing` begins the status line ("Testing: 1 of 3 cabinets…").
WindowRunResult RunInWindow(frmFendlemark& window, std::vector<RunJob> jobs,
                            const QString& doing = QStringLiteral("Extracting"));

// The status line's text for `done` of `total` cabinets, and the dominant cabinet's share.
QString ProgressText(size_t done, size_t total, std::optional<int> percent,
                     const QString& doing = QStringLiteral("Extracting"));

} // namespace fm
