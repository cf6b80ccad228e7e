#include "controls/user_click.h"

#include <QAbstractItemView>
#include <QMouseEvent>

namespace fm {

UserClick::UserClick(QAbstractItemView* view) : QObject(view), view_(view) {
    view->viewport()->installEventFilter(this);
}

void UserClick::selectionChanged() {
    if (suppressed_ || queued_)
        return; // queued_: the view finishing the gesture whose Click is on its way
    if (mouseDown_)
        pending_ = true;
    else
        emit click();
}

bool UserClick::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        mouseDown_ = true;
        // A press on an entry is a click even when it changes nothing (the entry was selected
        // already): the handlers must run again, e.g. to restore the status line.
        const auto* me = static_cast<QMouseEvent*>(event);
        if (view_->indexAt(me->position().toPoint()).isValid())
            pending_ = true;
        break;
    }
    case QEvent::MouseButtonRelease:
        mouseDown_ = false;
        if (pending_) {
            pending_ = false;
            // After the view has handled the release itself, which may still change the selection
            // (a click on a row of a larger selection selects that row alone on release).
            queued_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    queued_ = false;
                    emit click();
                },
                Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace fm
