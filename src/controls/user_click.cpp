#include "controls/user_click.h"

#include <QAbstractItemView>
#include <QEvent>

namespace fm {

UserClick::UserClick(QAbstractItemView* view) : QObject(view) {
    view->viewport()->installEventFilter(this);
}

void UserClick::selectionChanged() {
    if (suppressed_)
        return;
    if (mouseDown_)
        pending_ = true;
    else
        emit click();
}

bool UserClick::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        mouseDown_ = true;
        break;
    case QEvent::MouseButtonRelease:
        mouseDown_ = false;
        if (pending_) {
            pending_ = false;
            // After the view has handled the release itself.
            QMetaObject::invokeMethod(this, &UserClick::click, Qt::QueuedConnection);
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace fm
