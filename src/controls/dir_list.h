#pragma once

// The folder list: the current folder's ancestors, from the drive's root down, then its
// subfolders. Double-clicking (or Enter on) an entry opens that folder. Change is raised whenever
// the path changes, by the user or by the program, before the setter returns.

#include "platform/drive_map.h"

#include <QElapsedTimer>
#include <QListWidget>

namespace fm {

class ControlError;

class DirList : public QListWidget {
    Q_OBJECT
public:
    // Starts on the working folder (the root of c: when it cannot be shown).
    DirList(const DriveMap& drives, QWidget* parent = nullptr);

    // The current folder in drive form (names that are not UTF-8 escaped as path_text.h does),
    // without a trailing backslash except at a drive's root.
    QString path() const { return path_; }
    // Accepts a folder in drive form, a bare drive designation ("D:" or "D: [LABEL]": that
    // drive's current folder), a path relative to the current folder or rooted at the current
    // drive ("\x"). Throws ControlError with the platform's errno when the folder cannot be read;
    // the old path then stays.
    void setPath(const QString& value);
    // Re-reads the subfolders of the current path.
    void refresh();

    // The POSIX path that `value` would lead to, without reading the file system; throws
    // ControlError for a value that names no folder at all.
    std::string resolve(const QString& value) const;

    // Type-to-find: moves to the first entry after the current one whose name (as shown, without
    // the indentation) starts with the letters typed in quick succession.
    void keyboardSearch(const QString& search) override;

signals:
    void change();
    // Opening a folder from the list (double-click, Enter) failed; the path stays.
    void openFailed(const fm::ControlError& error);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Target {
        QString shown;     // drive form, on the drive the value named
        std::string posix; // the folder itself
    };
    Target target(const QString& value) const;
    void openEntry(QListWidgetItem* item);
    void fill(const std::string& posix);

    const DriveMap& drives_;
    QString typed_;
    QElapsedTimer lastTyped_;
    QString path_;
    std::string posix_;
};

} // namespace fm
