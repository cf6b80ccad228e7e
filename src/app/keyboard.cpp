#include "app/keyboard.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace fm {

namespace {

constexpr const char* kLabelButton = "fmLabelButton";

// The dotted focus frame of a label that acts as a button, drawn only while it has the focus.
class FocusMark : public QWidget {
public:
    explicit FocusMark(QWidget* label) : QWidget(label) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect();
        p.drawPrimitive(QStyle::PE_FrameFocusRect, option);
    }
};

// Space, Enter and Return press the label; the focus frame follows the focus.
class LabelKeys : public QObject {
public:
    LabelKeys(VbLabel* label, FocusMark* mark) : QObject(label), label_(label), mark_(mark) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
                emit label_->click();
                return true;
            }
            return false;
        }
        case QEvent::FocusIn:
            mark_->setGeometry(label_->rect());
            mark_->show();
            return false;
        case QEvent::FocusOut:
            mark_->hide();
            return false;
        default:
            return false;
        }
    }

private:
    VbLabel* label_;
    FocusMark* mark_;
};

// Screen readers meet such a label as a button with a Press action.
class LabelButtonAccessible : public QAccessibleWidget {
public:
    explicit LabelButtonAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty())
            s = static_cast<QLabel*>(widget())->text();
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name == pressAction())
            emit static_cast<VbLabel*>(widget())->click();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* labelButtonFactory(const QString& className, QObject* object) {
    if (className == u"fm::VbLabel" && object && object->property(kLabelButton).toBool())
        return new LabelButtonAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

// Installed before any window exists (see accessibility.cpp).
const bool labelButtonFactoryInstalled = (QAccessible::installFactory(labelButtonFactory), true);

void makeKeyboardButton(VbLabel* label) {
    label->setProperty(kLabelButton, true);
    label->setFocusPolicy(Qt::TabFocus);
    label->installEventFilter(new LabelKeys(label, new FocusMark(label)));
}

// Puts the mnemonic's ampersand before character `at` of the heading and links it to its list.
void giveMnemonic(VbLabel* label, int at, QWidget* list) {
    QString caption = label->text();
    caption.insert(at, u'&');
    label->setText(caption);
    label->setBuddy(list);
}

} // namespace

void AddKeyboardAccess(frmFendlemark& w) {
    w.mRefresh->setShortcut(QKeySequence(Qt::Key_F5));

    for (int column = 1; column <= 3; ++column) {
        auto* sort = new QAction(&w);
        sort->setObjectName(QStringLiteral("sortByColumn%1").arg(column));
        sort->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_0 + column)));
        w.addAction(sort);
        ListView* list = w.lvwFiles;
        // As the header itself reports a click, so the sort indicator follows the keys too.
        QObject::connect(sort, &QAction::triggered, list, [list, column] {
            if (list->columnCount() >= column)
                emit list->header()->sectionClicked(column - 1);
        });
    }

    // Alt+D, Alt+I, Alt+C: clear of the menus' Alt+F, Alt+O and Alt+H.
    giveMnemonic(w.Label1, 0, w.Dir1);     // "&Double-click folder to view contents:"
    giveMnemonic(w.Label2, 5, w.File1);    // "CAB f&iles:"
    giveMnemonic(w.Label3, 4, w.lvwFiles); // "CAB &contents:"

    makeKeyboardButton(w.lblUnSelAll);
    QWidget::setTabOrder(w.Drive1, w.lblUnSelAll); // its designed place, after the drive list
}

} // namespace fm
