#include "app/main_window.h"
#include "app/open_targets.h"
#include "controls/dir_list.h"
#include "platform/drive_map.h"
#include "platform/launcher.h"
#include "platform/path_text.h"
#include "platform/process_list.h"
#include "platform/prompt.h"
#include "platform/screen.h"
#include "platform/working_folder.h"

#include <QApplication>
#include <cstdio>

namespace {

// Prints --help, --version or an argument error; nullopt when the window should open.
std::optional<int> answered(const fm::CommandLine& c) {
    switch (c.action) {
    case fm::CommandLine::Action::Help:
        std::fputs(fm::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case fm::CommandLine::Action::Version:
        std::printf("%s\n", fm::VersionText().toLocal8Bit().constData());
        return 0;
    case fm::CommandLine::Action::Error:
        std::fprintf(stderr, "fendlemark: %s\n%s", c.error.toLocal8Bit().constData(),
                     fm::UsageText().toLocal8Bit().constData());
        return 2;
    case fm::CommandLine::Action::Open:
        break;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    // --help and --version need no display, so they are answered before the application starts
    // (which would fail without one); the remaining checks follow once it has taken its options.
    if (auto early = fm::ParseCommandLine({argv + 1, argv + argc});
        early.action != fm::CommandLine::Action::Error)
        if (auto status = answered(early))
            return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fendlemark"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                            .arg(FENDLEMARK_VERSION_MAJOR)
                                            .arg(FENDLEMARK_VERSION_MINOR)
                                            .arg(FENDLEMARK_VERSION_PATCH));
    const fm::CommandLine command = fm::ParseCommandLine({argv + 1, argv + argc});
    if (auto status = answered(command))
        return *status;

    fm::DriveMap drives = fm::DriveMap::system();
    fm::MessageBoxPrompt prompt;
    fm::PrimaryScreen screen;
    fm::SpawnLauncher launcher;
    const fm::ProcFsProcessList processes;
    // The folder's own bytes: Qt's decoding of a name that is not UTF-8 cannot be undone.
    fm::Platform platform{&drives,
                          &prompt,
                          &screen,
                          fm::PathToText(fm::ProgramFolder()),
                          &launcher,
                          &processes,
                          &fm::DriveMap::system};

    fm::frmFendlemark window(platform);
    window.Load();
    if (!command.paths.isEmpty())
        fm::OpenPaths(window, command.paths);
    window.show();
    window.Dir1->setFocus();
    return app.exec();
}
