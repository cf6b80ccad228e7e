#pragma once

#include <QFont>

namespace fm {

// The font the windows were laid out for: 8 points of a sans serif with the classic dialog
// font's metrics (Liberation Sans, or Arial or Helvetica where that is missing).
QFont DesignFont();

} // namespace fm
