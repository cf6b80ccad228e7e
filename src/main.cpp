#include "app/main_window.h"
#include "controls/dir_list.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/program_folder.h"
#include "platform/prompt.h"
#include "platform/screen.h"

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
    fm::Platform platform{&drives, &prompt, &screen, fm::PathToText(fm::ProgramFolder())};

    fm::frmFendlemark window(platform);
    window.Load();
    window.show();
    window.Dir1->setFocus();
    return app.exec();
}
