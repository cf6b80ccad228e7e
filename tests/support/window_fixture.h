#pragma once

// A main window in a scratch world: its own program folder (where Fendlemark.ini goes), a start
// folder that is the working folder, scripted message boxes, a fixed 1024 x 768 screen, and a
// launcher and process list that only record and pretend (`useRealTools`, or pointing
// `useLauncher` and `useProcesses` at real ones before the window is built, launches for real).
// Below it, the gestures the window tests share.

#include "app/main_window.h"
#include "platform/drive_map.h"
#include "platform/prompt.h"
#include "platform/screen.h"
#include "support/fake_launcher.h"
#include "support/temp_dir.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QListWidget>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace fm::test {

class WindowWorld {
public:
    // Extra drives d:, e:, ... are mapped to these POSIX folders.
    explicit WindowWorld(std::vector<std::string> volumes = {});
    ~WindowWorld();

    // Builds the window (not yet loaded); the working folder is the start folder.
    frmFendlemark& window();
    frmFendlemark& loaded(); // built, and its load handler run
    void close();            // unloads the window and drops it

    // The program folder's name under the world (set before window(); the window fixture makes
    // the folder).
    std::string programName = "program";
    std::string programFolder() const { return root.file(programName); }
    std::string startFolder() const { return root.file("start"); }
    std::string iniPath() const { return programFolder() + "/Fendlemark.ini"; }
    // The drive form of a POSIX path under this world.
    QString drivePath(const std::string& posix) const;
    // Copies of the real tool from `folder` in the program folder, started by the real launcher
    // and watched in the real process list (before window()).
    void useRealTools(const std::string& folder);

    TempDir root;
    DriveMap drives;
    // What Refresh reads as the mount table (set before window()); null: the map stays.
    std::function<DriveMap()> readDrives;
    ScriptedPrompt prompt;
    MessageBoxPrompt boxes; // the real boxes, for `usePrompt` (set before window())
    Prompt* usePrompt = &prompt;
    FixedScreen screen{WorkArea{0, 0, 1024, 738}};
    FakeLauncher launcher;
    FakeProcessList processes;
    Launcher* useLauncher = &launcher;
    const ProcessList* useProcesses = &processes;
    SpawnLauncher spawnLauncher;
    ProcFsProcessList procFsProcesses;

private:
    std::string previousWorkingFolder_;
    std::unique_ptr<frmFendlemark> window_;
};

// Clicks the entries (0-based) of an item view, the first with `first` and the others with
// `others` held (Ctrl adds to the selection or takes away, Shift selects a range), letting the
// queued Click run after each.
void clickRows(QAbstractItemView& view, const std::vector<int>& rows,
               Qt::KeyboardModifiers others = Qt::ControlModifier,
               Qt::KeyboardModifiers first = Qt::NoModifier);

void click(QWidget& w, Qt::KeyboardModifiers mods = {});
// A key on the focus widget, once there is one (after a modal window closes, its owner takes the
// focus back a little later).
void key(int k, Qt::KeyboardModifiers mods = {});
// Double-clicks the one entry of a folder list that ends with `name`.
void openFolder(QListWidget& list, const QString& name);
// The texts of a list view's column (0: the row's own text).
QStringList columnTexts(const ListView& list, int sub = 0);

// Runs `act` on the modal window of type W that the next exec() opens, once it has the keyboard;
// one left open fails and is closed.
template <class W> void onNextModal(std::function<void(W&)> act) {
    QTimer::singleShot(0, [act] {
        QPointer<QWidget> m = QApplication::activeModalWidget();
        ASSERT_TRUE(m && qobject_cast<W*>(m.data()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == m; }));
        act(static_cast<W&>(*m));
        if (m && m->isVisible()) {
            ADD_FAILURE() << "left open";
            m->close();
        }
    });
}
// Fails, and closes it, if a modal window opens before the event loop is next idle.
void expectNoModal();

// What the Extract command does once the user has confirmed: records the selected row count,
// sets GoExtract, and asks the window to run the extraction.
void extractSelected(frmFendlemark& window);

} // namespace fm::test
