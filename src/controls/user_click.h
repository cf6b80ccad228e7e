#pragma once

#include <QObject>

class QAbstractItemView;

namespace fm {

// Turns the selection changes a user makes in an item view into one Click each: a change made
// with the mouse is reported when the button is released (a drag is one click), a change from
// the keyboard at once. Changes made while `suppress()` is in force are not reported.
class UserClick : public QObject {
    Q_OBJECT
public:
    explicit UserClick(QAbstractItemView* view);

    // Call around programmatic selection changes.
    void setSuppressed(bool on) { suppressed_ = on; }
    bool suppressed() const { return suppressed_; }

    // To be connected to the view's selection-changed notification.
    void selectionChanged();

signals:
    void click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mouseDown_ = false;
    bool pending_ = false;
    bool suppressed_ = false;
};

} // namespace fm
