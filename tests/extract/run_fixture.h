#pragma once

// The main window ready to extract: helpers that click the controls as a user does and start the
// run as the Extract command does.

#include "app/main_window.h"
#include "support/window_fixture.h"

#include <QAbstractItemView>
#include <initializer_list>

namespace fm::test {

// Clicks the entries (0-based) of an item view, the first with `first` and the others with
// `others` held (Ctrl adds to the selection or takes away, Shift selects a range), letting the
// queued Click run after each.
void clickRows(QAbstractItemView& view, std::initializer_list<int> rows,
               Qt::KeyboardModifiers others = Qt::ControlModifier,
               Qt::KeyboardModifiers first = Qt::NoModifier);

// What the Extract command does once the user has confirmed: records the selected row count,
// sets GoExtract, and asks the window to run the extraction.
void extractSelected(frmFendlemark& window);

} // namespace fm::test
