#include "app/accessibility.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_label.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>

namespace fm {

namespace {

// A heading's text as shown, without a mnemonic's ampersand.
QString shownText(const QLabel* label) {
    QString text = label->text();
    const qsizetype amp = text.indexOf(u'&');
    if (amp >= 0 && amp + 1 < text.size() && text[amp + 1] != u'&')
        text.remove(amp, 1);
    return text;
}

// Qt's own interface for a control with two corrections it cannot be told: the name set on the
// widget wins (Qt names a combo box after its current entry on this platform), and an extended
// selection list says it is multi-selectable. Everything else is Qt's.
class Corrected : public QAccessibleInterface {
public:
    explicit Corrected(QAccessibleInterface* qt) : qt_(qt) {}

    bool isValid() const override { return qt_->isValid(); }
    QObject* object() const override { return qt_->object(); }
    QWindow* window() const override { return qt_->window(); }
    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        return qt_->relations(match);
    }
    QAccessibleInterface* focusChild() const override { return qt_->focusChild(); }
    QAccessibleInterface* childAt(int x, int y) const override { return qt_->childAt(x, y); }
    QAccessibleInterface* parent() const override { return qt_->parent(); }
    QAccessibleInterface* child(int index) const override { return qt_->child(index); }
    int childCount() const override { return qt_->childCount(); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return qt_->indexOfChild(child);
    }
    QString text(QAccessible::Text t) const override {
        const auto* w = static_cast<const QWidget*>(qt_->object());
        if (t == QAccessible::Name && w && !w->accessibleName().isEmpty())
            return w->accessibleName();
        return qt_->text(t);
    }
    void setText(QAccessible::Text t, const QString& text) override { qt_->setText(t, text); }
    QRect rect() const override { return qt_->rect(); }
    QAccessible::Role role() const override { return qt_->role(); }
    QAccessible::State state() const override {
        QAccessible::State s = qt_->state();
        if (auto* list = qobject_cast<const QAbstractItemView*>(qt_->object()))
            s.multiSelectable = list->selectionMode() == QAbstractItemView::ExtendedSelection ||
                                list->selectionMode() == QAbstractItemView::MultiSelection;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return qt_->interface_cast(type);
    }

private:
    QAccessibleInterface* qt_;
};

// The status line: a status bar whose name is what it shows, so a screen reader hears the counts
// and results, not a caption; the reasons behind a note on unreadable cabinets are its
// description. Qt's label announces each new text as a name change.
class StatusLineAccessible : public QAccessibleWidget {
public:
    explicit StatusLineAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::StatusBar) {}

    QString text(QAccessible::Text t) const override {
        const auto* label = static_cast<const QLabel*>(widget());
        if (t == QAccessible::Name)
            return label->text();
        if (t == QAccessible::Description)
            return label->toolTip();
        return QAccessibleWidget::text(t);
    }
};

constexpr const char* kStatusLine = "fmStatusLine";

bool makingQtsOwn = false;

QAccessibleInterface* correctedFactory(const QString& className, QObject* object) {
    if (className == u"fm::VbLabel" && object->property(kStatusLine).toBool())
        return new StatusLineAccessible(static_cast<QWidget*>(object));
    if (makingQtsOwn || (className != u"fm::DriveList" && className != u"fm::FileList"))
        return nullptr;
    // Qt's interface is made (and kept in Qt's cache) first; ours then takes the object's place.
    makingQtsOwn = true;
    QAccessibleInterface* qt = QAccessible::queryAccessibleInterface(object);
    makingQtsOwn = false;
    return qt ? new Corrected(qt) : nullptr;
}

// Installed before any window exists: Qt makes a control's interface as soon as the control is
// built, and keeps it.
const bool correctedFactoryInstalled = (QAccessible::installFactory(correctedFactory), true);

} // namespace

void NameControlsForScreenReaders(frmFendlemark& w) {
    w.Label1->setBuddy(w.Dir1);
    w.Label2->setBuddy(w.File1);
    w.Label3->setBuddy(w.lvwFiles);
    for (VbLabel* heading : {w.Label1, w.Label2, w.Label3})
        heading->buddy()->setAccessibleName(shownText(heading));
    w.Drive1->setAccessibleName(QStringLiteral("Drive"));
    // No fixed name: Qt's label announces a new text only while it has none.
    w.lblFiles->setProperty(kStatusLine, true);
    // Qt may have made and kept the label's interface while the label was being built.
    if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(w.lblFiles);
        made && made->role() != QAccessible::StatusBar)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    w.lblUnSelAll->setAccessibleName(w.lblUnSelAll->text());
}

} // namespace fm
