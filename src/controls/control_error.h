#pragma once

#include <QString>
#include <stdexcept>

namespace fm {

// A control refused a value: the platform's error number and its description
// ("Error 2: No such file or directory." in a message box).
class ControlError : public std::runtime_error {
public:
    ControlError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number),
          description_(description) {}

    // From an errno value, with strerror's text.
    static ControlError fromErrno(int err);

    int number() const { return number_; }
    const QString& description() const { return description_; }
    // "Error <n>: <description>."
    QString message() const;

private:
    int number_;
    QString description_;
};

} // namespace fm
