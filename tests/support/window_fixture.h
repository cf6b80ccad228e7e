#pragma once

// A main window in a scratch world: its own program folder (where Fendlemark.ini goes), a start
// folder that is the working folder, scripted message boxes, a fixed 1024 x 768 screen, and a
// launcher and process list that only record and pretend (point `useLauncher` and `useProcesses`
// at real ones before the window is built to launch for real).

#include "app/main_window.h"
#include "platform/drive_map.h"
#include "platform/prompt.h"
#include "platform/screen.h"
#include "support/fake_launcher.h"
#include "support/temp_dir.h"

#include <QAbstractItemView>
#include <QString>
#include <functional>
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
    // Builds and runs the load handler.
    frmFendlemark& loaded();
    // Closes (unloads) the window and drops it.
    void close();

    // The program folder's name under the world (set before window(); the window fixture makes
    // the folder).
    std::string programName = "program";
    std::string programFolder() const { return root.file(programName); }
    std::string startFolder() const { return root.file("start"); }
    std::string iniPath() const { return programFolder() + "/Fendlemark.ini"; }
    // The drive form of a POSIX path under this world.
    QString drivePath(const std::string& posix) const;

    TempDir root;
    DriveMap drives;
    // What Refresh reads as the mount table (set before window()); null: the map stays.
    std::function<DriveMap()> readDrives;
    ScriptedPrompt prompt;
    FixedScreen screen{WorkArea{0, 0, 1024, 738}};
    FakeLauncher launcher;
    FakeProcessList processes;
    Launcher* useLauncher = &launcher;
    const ProcessList* useProcesses = &processes;

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

} // namespace fm::test
