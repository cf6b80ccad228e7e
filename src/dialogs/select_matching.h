#pragma once

// frmSelectMatching: asks for the wildcard pattern of Select Matching Rows. One line to type in,
// OK (the default, so Enter accepts) and Cancel (Esc).

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace fm {

class frmSelectMatching : public QDialog {
    Q_OBJECT
public:
    // Opens with `pattern` in the line, selected, so typing replaces it.
    frmSelectMatching(QWidget& owner, const QString& pattern);

    QString pattern() const;

    QLineEdit* txtPattern;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};

} // namespace fm
