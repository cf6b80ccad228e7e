#pragma once

// Enter and Return press the button that has the focus, as Space does, in the main window and in
// every dialog. Qt leaves that to "auto default" buttons, and lets a dialog take Enter for its
// default button even while another button has the focus. The default button still answers
// Enter whenever the focus is on something that is not a button.

class QWidget;

namespace fm {

// For every push button inside `window` at the time of the call.
void PressButtonsWithEnter(QWidget& window);

} // namespace fm
