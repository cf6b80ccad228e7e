#pragma once

// The file list: the ordinary files of a folder whose names match the pattern (case-insensitive,
// "*" and "?"), sorted case-insensitively, with extended multiple selection. Click is raised for
// every user change of the selection and for every selection set by the program, before the
// setter returns.

#include "platform/drive_map.h"

#include <QHash>
#include <QListWidget>
#include <functional>
#include <vector>

namespace fm {

class UserClick;

class FileList : public QListWidget {
    Q_OBJECT
public:
    FileList(const DriveMap& drives, QWidget* parent = nullptr);

    QString path() const { return path_; }
    // A folder in drive form; the list is re-read. An unreadable folder lists nothing.
    void setPath(const QString& drivePath);
    QString pattern() const { return pattern_; }
    // Patterns apart by ';' ("*.cab;*.msu"): a name matching any of them is listed.
    void setPattern(const QString& pattern);
    // Also required of each matching file (its POSIX path) to be listed, when set; re-reads.
    void setFilter(std::function<bool(const std::string&)> accept);
    // Re-reads the folder.
    void refresh();

    int listCount() const { return count(); }
    // The entry's name as text (bytes that are not UTF-8 escaped as path_text.h does); the list
    // shows it through DisplayText.
    QString list(int index) const;
    bool selected(int index) const;
    void setSelected(int index, bool on);
    // The selection of every entry in one pass (index order).
    std::vector<bool> selectionFlags() const;
    // Selects the entries whose flag is set, from the last to the first, as that many
    // setSelected(i, true) calls would (one Click each), in one update of the view's selection.
    // Entries without a set flag keep their selection.
    void selectEntries(const std::vector<bool>& flags);
    int topIndex() const;
    void setTopIndex(int index);
    // The name of the entry that has the focus, "" when none.
    QString fileName() const;

    // Marks the entry named `name` as unreadable for the reason `why` (a warning sign, the reason
    // in its tooltip and for screen readers), or with an empty `why` takes the mark away. Marks
    // outlive a refresh, not a change of folder.
    void setProblem(const QString& name, const QString& why);
    QString problem(int index) const;
    // Notes for entries' tooltips and screen readers (a part of a spanned set listed without its
    // neighbours), by entry name, replacing the ones before.
    void setNotes(const QHash<QString, QString>& notes);

    // True when `name` matches `pattern` as the list matches it.
    static bool matches(const QString& pattern, const QString& name);

signals:
    void click();

protected:
    bool viewportEvent(QEvent* event) override;

private:
    const DriveMap& drives_;
    UserClick* userClick_;
    void showProblem(QListWidgetItem* item) const;
    // The problem and note of the entry named `name`, one a line.
    QString describe(const QString& name) const;

    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    std::function<bool(const std::string&)> accept_;
    QHash<QString, QString> problems_; // entry name -> why it cannot be read
    QHash<QString, QString> notes_;    // entry name -> note
};

} // namespace fm
