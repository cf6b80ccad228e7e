#pragma once

// Names for screen readers: each list takes its heading's text, the drive list is "Drive", the
// status line "Status"; buttons and check boxes speak their captions.

namespace fm {

class frmFendlemark;

void NameControlsForScreenReaders(frmFendlemark& window);

} // namespace fm
