#pragma once

// A one-line text box with a fore colour value in the classic form (see vb_label.h) and a Locked
// state: a locked box shows and selects its text and takes the focus, but cannot be edited.

#include <QLineEdit>

namespace fm {

class VbTextBox : public QLineEdit {
    Q_OBJECT
public:
    explicit VbTextBox(QWidget* parent = nullptr);

    quint32 foreColor() const { return foreColor_; }
    void setForeColor(quint32 value);

    bool locked() const { return isReadOnly(); }
    void setLocked(bool on) { setReadOnly(on); }

private:
    quint32 foreColor_;
};

} // namespace fm
