#pragma once

#include <QObject>

class QAbstractItemView;

namespace fm {

// Turns what a user does in an item view into Click events, one per gesture: a mouse gesture
// (press to release) that lands on an entry or changes the selection is one Click, raised when
// the button is released, also when the entry was already selected (a drag is still one Click);
// a selection change from the keyboard is one Click at once. Changes made while `suppress()` is
// in force are not reported.
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
    QAbstractItemView* view_;
    bool mouseDown_ = false;
    bool pending_ = false;
    bool queued_ = false;
    bool suppressed_ = false;
};

} // namespace fm
