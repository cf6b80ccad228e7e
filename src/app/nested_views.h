#pragma once

// Nested views: a private copy opened from a contents row (a cabinet inside a cabinet, or a
// cabinet taken out of another container) is shown in the window as a view nested in the one it
// came from. The window title and the status line's tooltip name the way in, the outermost real
// file first ("a.cab › b.cab › c.cab"). File > Back (Backspace, Alt+Left), enabled only in a
// nested view, returns to the view before, one level at a time: its folder, its selected
// cabinets, the contents list's sort, selected rows and current row, and its title. Moving the
// folder list elsewhere by hand ends the nested views.

#include "cabinet/selection.h"

#include <QObject>
#include <QStringList>
#include <string>
#include <vector>

class QAction;

namespace fm {

class frmFendlemark;

class NestedViews : public QObject {
    Q_OBJECT
public:
    // Adds Back to the window's File menu, above Exit.
    explicit NestedViews(frmFendlemark& window);

    // Shows the private copy `copy` (POSIX path of a file) as a view nested in the current one;
    // `from` is the cabinet (drive form) whose row it was taken from. The copy opens as a file
    // named on the command line opens; what cannot be shown is told as it is there.
    void view(const std::string& copy, const QString& from);
    // Back to the view before; nothing outside a nested view.
    void back();

    bool nested() const { return !levels_.empty(); }
    // The way in, "a.cab › b.cab"; "" outside a nested view.
    QString pathText() const;
    QAction* backAction() const { return back_; }

private:
    // A view as it was left for a nested one.
    struct Level {
        QString folder;       // drive form
        QStringList cabinets; // the selected ones' names
        int top = 0;          // the cabinet list's first visible entry
        int sortKey = 0;
        Qt::SortOrder sortOrder = Qt::AscendingOrder;
        bool sorted = false;
        QList<RowKey> rows; // the selected contents rows
        RowKey current;     // the contents list's current row
        QString shown;      // the folder the nested view showed (drive form)
    };

    void folderChanged();
    void restore(const Level& level);
    void update();

    frmFendlemark& w_;
    QAction* back_;
    std::vector<Level> levels_;
    QStringList names_; // the way in, the outermost real file first; one more than levels_
    bool moving_ = false;
};

// The entry point for every private copy to be viewed in the window (see NestedViews::view).
void ViewPrivateCopy(frmFendlemark& window, const std::string& copy, const QString& from);

} // namespace fm
