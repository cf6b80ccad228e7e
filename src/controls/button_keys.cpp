#include "controls/button_keys.h"

#include <QKeyEvent>
#include <QPushButton>

namespace fm {

namespace {

class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || mods != 0 ||
            key->isAutoRepeat())
            return false;
        auto* button = static_cast<QPushButton*>(watched);
        if (button->isEnabled())
            button->click();
        return true;
    }
};

} // namespace

void PressButtonsWithEnter(QWidget& window) {
    auto* filter = new EnterPresses(&window);
    for (QPushButton* button : window.findChildren<QPushButton*>())
        button->installEventFilter(filter);
}

} // namespace fm
