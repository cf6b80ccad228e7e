#pragma once

// Names for screen readers: each list takes its heading's text, the drive list is "Drive";
// buttons and check boxes speak their captions. The status line is a status bar named by what
// it shows, announced whenever that changes.

namespace fm {

class frmFendlemark;

void NameControlsForScreenReaders(frmFendlemark& window);

} // namespace fm
