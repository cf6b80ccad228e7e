#pragma once

// A check box whose value is 0 (clear), 1 (ticked) or 2 (greyed). Its Click event is raised for a
// user's click and whenever the program changes the value, before the setter returns.

#include <QCheckBox>

namespace fm {

class VbCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit VbCheckBox(const QString& caption = {}, QWidget* parent = nullptr);

    int value() const;
    // Values other than 0, 1 and 2 are shown as ticked.
    void setValue(int value);

signals:
    // The Click event (named apart from QAbstractButton::click, which clicks the box).
    void clickEvent();
};

} // namespace fm
