#pragma once

// frmAbout: the About box. Shows the application's title, its version ("Version 1.02" for 1.2)
// and a one-line description; placed 22 pixels below the owner's top edge, centred on it.

#include <QDialog>

class QLabel;
class QPushButton;

namespace fm {

class Screen;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    frmAbout(QWidget& owner, const Screen& screen);

    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QPushButton* cmdOK;

    // "Version <major>.<minor as at least two digits>".
    static QString VersionText(int major, int minor);
    // The box's top-left in twips for an owner at (left, top) with the given width (twips), and a
    // box of `ownWidth` twips; single-precision arithmetic.
    static std::pair<float, float> Position(float ownerLeft, float ownerTop, float ownerWidth,
                                            float ownWidth, float twipsPerPixelY);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Screen& screen_;
};

} // namespace fm
