#include "support/window_fixture.h"

#include "platform/path_text.h"
#include "platform/working_folder.h"

#include <QCoreApplication>
#include <QTest>
#include <filesystem>
#include <stdexcept>

namespace fm::test {

WindowWorld::WindowWorld(std::vector<std::string> volumes)
    : drives(std::move(volumes)), previousWorkingFolder_(CurrentWorkingFolder()) {
    std::filesystem::create_directories(programFolder());
    std::filesystem::create_directories(startFolder());
    if (!SetCurrentWorkingFolder(startFolder()))
        throw std::runtime_error("cannot enter the start folder");
}

WindowWorld::~WindowWorld() {
    window_.reset();
    SetCurrentWorkingFolder(previousWorkingFolder_);
}

frmFendlemark& WindowWorld::window() {
    if (!window_) {
        std::filesystem::create_directories(programFolder());
        Platform p{&drives,     &prompt,      &screen,   PathToText(programFolder()),
                   useLauncher, useProcesses, readDrives};
        window_ = std::make_unique<frmFendlemark>(p);
    }
    return *window_;
}

frmFendlemark& WindowWorld::loaded() {
    window().Load();
    return *window_;
}

void WindowWorld::close() {
    if (window_)
        window_->close();
    window_.reset();
}

QString WindowWorld::drivePath(const std::string& posix) const {
    return PathToText(drives.toDrive(posix).value());
}

void clickRows(QAbstractItemView& view, const std::vector<int>& rows, Qt::KeyboardModifiers others,
               Qt::KeyboardModifiers first) {
    QCoreApplication::processEvents(); // rows reach a view in batches
    Qt::KeyboardModifiers held = first;
    for (int row : rows) {
        const QModelIndex index = view.model()->index(row, 0);
        view.scrollTo(index);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, held, view.visualRect(index).center());
        held = others;
        QCoreApplication::processEvents();
    }
}

} // namespace fm::test
