#include "dialogs/about_box.h"

#include "app/design_font.h"
#include "controls/button_keys.h"
#include "platform/screen.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace fm {

namespace {

constexpr double kClientWidth = 3990;
constexpr double kClientHeight = 2160;

} // namespace

QString frmAbout::VersionText(int major, int minor) {
    return QStringLiteral("Version %1.%2").arg(major).arg(minor, 2, 10, QChar(u'0'));
}

std::pair<float, float> frmAbout::Position(float ownerLeft, float ownerTop, float ownerWidth,
                                           float ownWidth, float twipsPerPixelY) {
    float top = ownerTop + 22.0f * twipsPerPixelY;
    float left = ownerLeft + ownerWidth / 2.0f - ownWidth / 2.0f;
    return {left, top};
}

frmAbout::frmAbout(QWidget& owner, const Screen& screen) : QDialog(&owner), screen_(screen) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setFont(DesignFont());
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(twipsToPixels(kClientWidth, screen.twipsPerPixelX()),
                 twipsToPixels(kClientHeight, screen.twipsPerPixelY()));

    auto place = [&](QWidget* w, const char* name, double l, double t, double wd, double h) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(twipsRect(l, t, wd, h, screen));
    };
    QPalette black = palette();
    black.setColor(QPalette::WindowText, Qt::black);

    lblTitle = new QLabel(QStringLiteral("Title"), this);
    place(lblTitle, "lblTitle", 240, 240, 1635, 240);
    lblTitle->setPalette(black);
    lblVersion = new QLabel(QStringLiteral("Version"), this);
    place(lblVersion, "lblVersion", 240, 600, 1485, 255);
    lblDescription =
        new QLabel(QStringLiteral("Lists and extracts the files of cabinet archives."), this);
    place(lblDescription, "lblDescription", 240, 960, 3525, 285);
    lblDescription->setPalette(black);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    place(cmdOK, "cmdOK", 2520, 1680, 1260, 345);
    cmdOK->setDefault(true);
    cmdOK->setFocus();
    PressButtonsWithEnter(*this);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    // Start-up: the application's identity replaces the design captions.
    const QString title = QCoreApplication::applicationName();
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(VersionText(FENDLEMARK_VERSION_MAJOR, FENDLEMARK_VERSION_MINOR));
    lblTitle->setText(title);

    const double tppX = screen.twipsPerPixelX();
    const double tppY = screen.twipsPerPixelY();
    const QRect o = owner.frameGeometry();
    auto [left, top] =
        Position(static_cast<float>(o.left() * tppX), static_cast<float>(o.top() * tppY),
                 static_cast<float>(o.width() * tppX), static_cast<float>(width() * tppX),
                 static_cast<float>(tppY));
    move(static_cast<int>(left / tppX + 0.5f), static_cast<int>(top / tppY + 0.5f));
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // The etched separator: a grey line with a white one a pixel below it.
    QPainter p(this);
    const double tx = screen_.twipsPerPixelX();
    const double ty = screen_.twipsPerPixelY();
    p.setPen(QColor(128, 128, 128));
    p.drawLine(twipsToPixels(240, tx), twipsToPixels(1485, ty), twipsToPixels(3727, tx),
               twipsToPixels(1485, ty));
    p.setPen(Qt::white);
    p.drawLine(twipsToPixels(225, tx), twipsToPixels(1500, ty), twipsToPixels(3727, tx),
               twipsToPixels(1500, ty));
}

} // namespace fm
