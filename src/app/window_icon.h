#pragma once

#include <QIcon>

namespace fm {

// The window icon: a small cabinet drawn at 32 x 32 and 16 x 16 pixels in a 16-colour palette.
QIcon FendlemarkIcon();

} // namespace fm
