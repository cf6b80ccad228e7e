#include "app/context_menus.h"

#include "app/main_window.h"
#include "controls/dir_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "extract/cabinet_test.h"
#include "extract/drag_out.h"
#include "extract/open_rows.h"
#include "extract/paths.h"
#include "extract/private_copies.h"
#include "platform/desktop_open.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace fm {

namespace {

void showFolder(frmFendlemark& w, const QString& driveForm, const std::string& posix) {
    if (const QString why = OpenInDesktop(posix); !why.isEmpty())
        w.platform().prompt->ok(&w, QStringLiteral("The folder '") + DisplayText(driveForm) +
                                        QStringLiteral("' could not be shown: ") + why);
}

void openFolderOfDriveForm(frmFendlemark& w, const QString& folder) {
    const auto posix = w.platform().drives->toPosix(TextToPath(folder));
    if (!posix)
        w.platform().prompt->ok(&w, QStringLiteral("The folder '") + DisplayText(folder) +
                                        QStringLiteral("' cannot be found."));
    else
        showFolder(w, folder, *posix);
}

// Pops a menu up for the view's context menu request: from the mouse where it points, from the
// Menu key or Shift+F10 at the current entry. Some platforms send both a context menu request
// and the key itself for the Menu key; the key is then passed over.
class MenuKeys : public QObject {
public:
    using Show = std::function<void(const QPoint& at, bool fromKeyboard)>;
    MenuKeys(QAbstractItemView* view, Show show) : QObject(view), view_(view), show_(show) {
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::ContextMenu) {
            auto* e = static_cast<QContextMenuEvent*>(event);
            const bool keyboard = e->reason() == QContextMenuEvent::Keyboard;
            menuKeyAnswered_ = keyboard;
            show(keyboard ? currentPoint() : view_->viewport()->mapFromGlobal(e->globalPos()),
                 keyboard);
            return true;
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* k = static_cast<QKeyEvent*>(event);
        const bool menuKey = k->key() == Qt::Key_Menu && k->modifiers() == Qt::NoModifier;
        const bool shiftF10 = k->key() == Qt::Key_F10 && k->modifiers() == Qt::ShiftModifier;
        if (!menuKey && !shiftF10)
            return false;
        if (!(menuKey && std::exchange(menuKeyAnswered_, false)))
            show(currentPoint(), true);
        return true;
    }

private:
    QPoint currentPoint() const {
        const QRect r = view_->visualRect(view_->currentIndex());
        return r.isValid() ? QPoint(r.left() + 8, r.center().y()) : QPoint(8, 8);
    }
    void show(const QPoint& at, bool keyboard) { show_(at, keyboard); }

    QAbstractItemView* view_;
    Show show_;
    bool menuKeyAnswered_ = false;
};

void popUp(QMenu* menu, QAbstractItemView* view, const QPoint& at) {
    menu->exec(view->viewport()->mapToGlobal(at));
    menu->deleteLater();
}

} // namespace

QMenu* RowsMenu(frmFendlemark& w) {
    auto* menu = new QMenu(&w);
    menu->setObjectName(QStringLiteral("rowsMenu"));
    const bool any = w.lvwFiles->selectedCount() > 0;
    for (const char* name : {"rowsOpen", "rowsExtract", "", "rowsSelectAll", "rowsCopyNames"}) {
        if (!*name) {
            menu->addSeparator();
            continue;
        }
        QAction* action = w.findChild<QAction*>(QString::fromLatin1(name));
        if (action != nullptr) {
            action->setEnabled(any || action->objectName() == u"rowsSelectAll");
            menu->addAction(action);
        }
    }
    menu->setDefaultAction(menu->actions().value(0));
    return menu;
}

QMenu* CabinetMenu(frmFendlemark& w, int cabinetIndex) {
    auto* menu = new QMenu(&w);
    menu->setObjectName(QStringLiteral("cabinetMenu"));
    // The selected cabinets when the one pointed at is among them, else that one alone.
    QStringList cabinets;
    if (cabinetIndex < 0 || w.File1->selected(cabinetIndex))
        cabinets = SelectedCabinets(w);
    else
        cabinets << w.CabinetsIn(JoinPath(w.Dir1->path(), w.File1->list(cabinetIndex)));
    QAction* test =
        menu->addAction(QStringLiteral("&Test"), &w, [&w, cabinets] { TestCabinets(w, cabinets); });
    test->setEnabled(!cabinets.isEmpty());
    menu->addAction(QStringLiteral("Open Containing &Folder"), &w,
                    [&w] { openFolderOfDriveForm(w, w.Dir1->path()); });
    return menu;
}

void AddEverydayActions(frmFendlemark& w) {
    new PrivateCopies(&w);

    ListView* rows = w.lvwFiles;
    // The rows' actions, named for the context menu; Ctrl+A and Ctrl+C also work in the list.
    const auto rowAction = [&](const char* name, const QString& text, std::function<void()> act) {
        auto* a = new QAction(text, &w);
        a->setObjectName(QString::fromLatin1(name));
        QObject::connect(a, &QAction::triggered, &w, act);
        return a;
    };
    rowAction("rowsOpen", QStringLiteral("&Open\tEnter"), [&w] { OpenRows(w, SelectedRows(w)); });
    rowAction("rowsExtract", QStringLiteral("&Extract..."), [&w] { w.cmdExtract->click(); });
    QAction* all = rowAction("rowsSelectAll", QStringLiteral("Select &All Rows"), [&w] {
        w.lvwFiles->setSelectionFlags(std::vector<bool>(size_t(w.lvwFiles->rowCount()), true));
        w.UpdateStatus();
    });
    QAction* copy = rowAction("rowsCopyNames", QStringLiteral("&Copy Names"), [&w] {
        QStringList names;
        for (int row : SelectedRows(w))
            names << w.lvwFiles->text(row);
        if (!names.isEmpty())
            QGuiApplication::clipboard()->setText(names.join(u'\n') + u'\n');
    });
    all->setShortcut(QKeySequence::SelectAll);
    copy->setShortcut(QKeySequence::Copy);
    for (QAction* a : {all, copy}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        rows->addAction(a);
    }
    QObject::connect(rows, &QAbstractItemView::activated, &w, [&w](const QModelIndex& index) {
        const int row = index.row() + 1;
        OpenRows(w, w.lvwFiles->selected(row) ? SelectedRows(w) : std::vector<int>{row});
    });
    rows->setDragOut([&w] { DragRowsOut(w); });

    new MenuKeys(rows, [&w, rows](const QPoint& at, bool keyboard) {
        if (rows->rowCount() == 0)
            return;
        // A right-click on a row outside the selection makes it the selection, as everywhere.
        const QModelIndex pointed = rows->indexAt(at);
        if (!keyboard && pointed.isValid() && !rows->selected(pointed.row() + 1)) {
            rows->setSelectionFlags(std::vector<bool>(size_t(rows->rowCount()), false));
            rows->setSelected(pointed.row() + 1, true);
            rows->setCurrentRow(pointed.row() + 1);
            w.UpdateStatus();
        }
        popUp(RowsMenu(w), rows, at);
    });
    FileList* cabs = w.File1;
    new MenuKeys(cabs, [&w, cabs](const QPoint& at, bool keyboard) {
        const QModelIndex pointed = keyboard ? cabs->currentIndex() : cabs->indexAt(at);
        popUp(CabinetMenu(w, pointed.isValid() ? pointed.row() : -1), cabs, at);
    });

    w.mOptions->addSeparator();
    QAction* test = w.mOptions->addAction(QStringLiteral("&Test Selected Cabinets"));
    test->setObjectName(QStringLiteral("mTestCabs"));
    QObject::connect(test, &QAction::triggered, &w, [&w] { TestCabinets(w, SelectedCabinets(w)); });
    QAction* destination = w.mOptions->addAction(QStringLiteral("Open &Destination Folder"));
    destination->setObjectName(QStringLiteral("mOpenDestination"));
    destination->setEnabled(false);
    QObject::connect(w.mOptions, &QMenu::aboutToShow, destination,
                     [&w, destination] { destination->setEnabled(!w.LastRunFolder.isEmpty()); });
    QObject::connect(destination, &QAction::triggered, &w, [&w] {
        if (w.LastRunFolder.isEmpty())
            return;
        const std::string posix = TextToPath(w.LastRunFolder);
        const auto drive = w.platform().drives->toDrive(posix);
        showFolder(w, PathToText(drive.value_or(posix)), posix);
    });
    w.mOptions->addMenu(w.mNameEncoding);
    w.mOptions->addAction(w.mLookInside);
}

} // namespace fm
