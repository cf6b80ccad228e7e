#include "app/main_window.h"
#include "controls/dir_list.h"
#include "platform/drive_map.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "platform/process_list.h"
#include "platform/prompt.h"
#include "platform/screen.h"
#include "platform/working_folder.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fendlemark"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(FENDLEMARK_VERSION_MAJOR)
                                            .arg(FENDLEMARK_VERSION_MINOR)
                                            .arg(FENDLEMARK_VERSION_PATCH));

    const fm::DriveMap drives = fm::DriveMap::system();
    fm::MessageBoxPrompt prompt;
    fm::PrimaryScreen screen;
    fm::SpawnLauncher launcher;
    const fm::ProcFsProcessList processes;
    // The folder's own bytes: Qt's decoding of a name that is not UTF-8 cannot be undone.
    fm::Platform platform{&drives,   &prompt,   &screen, fm::PathToText(fm::ProgramFolder()),
                          &launcher, &processes};

    fm::frmFendlemark window(platform);
    window.Load();
    window.show();
    window.Dir1->setFocus();
    return app.exec();
}
