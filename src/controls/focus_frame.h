#pragma once

// A focus that keyboard users can always see. Qt's own styles (Fusion among them) draw the focus
// frame only after the focus came by Tab or a shortcut, and then faintly; a list that takes the
// focus otherwise, or an option button focused when its dialog opens, shows nothing. A widget
// given this style draws a dotted frame in black or white, whichever stands out from what lies
// beneath (the focused list entry, the focused option's caption), and a focused list's border in
// the highlight colour, however the focus came.

class QWidget;

namespace fm {

void ShowFocusFrame(QWidget& widget);

} // namespace fm
