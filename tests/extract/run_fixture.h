#pragma once

// The main window ready to extract: `clickRows` (from the window fixture) clicks the controls as a
// user does, and `extractSelected` starts the run as the Extract command does.

#include "app/main_window.h"
#include "support/window_fixture.h"

namespace fm::test {

// What the Extract command does once the user has confirmed: records the selected row count,
// sets GoExtract, and asks the window to run the extraction.
void extractSelected(frmFendlemark& window);

} // namespace fm::test
