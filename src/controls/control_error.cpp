#include "controls/control_error.h"

#include <cstring>

namespace fm {

ControlError ControlError::fromErrno(int err) {
    return ControlError(err, QString::fromLocal8Bit(std::strerror(err)));
}

QString ControlError::message() const {
    return QStringLiteral("Error %1: %2.").arg(number_).arg(description_);
}

} // namespace fm
