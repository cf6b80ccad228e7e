#pragma once

// Keyboard access to the main window beyond the designed tab order: F5 for Refresh, Ctrl+1/2/3 to
// sort the contents list by Name, Size or Modified (a header click's effect, through the same
// handler), mnemonics on the list headings, and "Unselect All" reachable by Tab and pressed with
// Space or Enter while it still looks like a label.

namespace fm {

class frmFendlemark;

void AddKeyboardAccess(frmFendlemark& window);

} // namespace fm
