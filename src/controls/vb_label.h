#pragma once

// Labels with a fore colour value in the classic form: 0xBBGGRR (red in the low byte), or
// 0x800000nn for system colour nn (8 window text, 17 grey text, 18 button text). The value reads
// back exactly as set, so a colour can also carry state. A label can act as a button (Click).

#include <QLabel>

namespace fm {

constexpr quint32 kColorButtonText = 0x80000012u; // system colour 18
constexpr quint32 kColorWindowText = 0x80000008u; // system colour 8
constexpr quint32 kColorGrayText = 0x80000011u;   // system colour 17
constexpr quint32 kColorBlue = 0xFF0000u;         // red 0, green 0, blue 255

// The colour a value stands for on this palette.
QColor colorFromValue(quint32 value, const QPalette& palette);

class VbLabel : public QLabel {
    Q_OBJECT
public:
    explicit VbLabel(const QString& caption = {}, QWidget* parent = nullptr);

    // Sets the caption; a new caption is announced to assistive technology as a name change
    // (Qt's label announces none), so a screen reader hears a status line as it changes. Hides
    // QLabel::setText: call it through a VbLabel.
    void setText(const QString& text);

    quint32 foreColor() const { return foreColor_; }
    void setForeColor(quint32 value);

signals:
    void click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    quint32 foreColor_ = kColorButtonText;
};

} // namespace fm
