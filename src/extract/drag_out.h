#pragma once

// Dragging contents rows out onto a file manager or the desktop: when the drag starts, exactly
// the selected records are extracted by the tool into a private folder (extract/private_copies.h),
// the stored folders kept as "Preserve Path" says, and the drag carries the top entries of that
// folder as a text/uri-list, which every file manager takes and copies where it is dropped.
//
// The copies are made before the drag can go anywhere, so a drag is limited to a modest size;
// a larger one is refused with a message that says to use Extract. The copies are read-only, as
// Open's are; when a row cannot be copied nothing is dragged and the others' copies go at once.

namespace fm {

class frmFendlemark;

inline constexpr int kDragMostFiles = 200; // and kCopiesMostBytes (extract/private_copies.h)

// Makes the copies of the selected rows and runs the drag (returns when it has ended).
void DragRowsOut(frmFendlemark& w);

} // namespace fm
