#include "support/window_fixture.h"

#include "controls/list_view.h"
#include "platform/path_text.h"
#include "platform/working_folder.h"

#include <QCoreApplication>
#include <QTest>
#include <filesystem>
#include <stdexcept>

namespace fm {

// The Extract command records the selected row count in the window's private SelCount before it
// runs the extraction; extractSelected takes its place through this accessor (an explicit
// instantiation may name a private member).
template <int frmFendlemark::*Member> struct SelCountSlot {
    friend int frmFendlemark::*selCountSlot() { return Member; }
};
template struct SelCountSlot<&frmFendlemark::SelCount>;
int frmFendlemark::*selCountSlot();

} // namespace fm

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
        Platform p{&drives,     usePrompt,    &screen,   PathToText(programFolder()),
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

void WindowWorld::useRealTools(const std::string& folder) {
    for (const char* tool : {"/Cabarc1.exe", "/Cabarc2.exe"})
        std::filesystem::copy_file(folder + tool, programFolder() + tool,
                                   std::filesystem::copy_options::overwrite_existing);
    useLauncher = &spawnLauncher;
    useProcesses = &procFsProcesses;
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

void click(QWidget& w, Qt::KeyboardModifiers mods) {
    QTest::mouseClick(&w, Qt::LeftButton, mods, w.rect().center());
}

void key(int k, Qt::KeyboardModifiers mods) {
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }));
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(k), mods);
}

void openFolder(QListWidget& list, const QString& name) {
    const QList<QListWidgetItem*> found = list.findItems(name, Qt::MatchEndsWith);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    list.scrollToItem(found[0]);
    const QPoint at = list.visualItemRect(found[0]).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

QStringList columnTexts(const ListView& list, int sub) {
    QStringList out;
    for (int i = 1; i <= list.rowCount(); ++i)
        out << (sub == 0 ? list.text(i) : list.subItem(i, sub));
    return out;
}

void expectNoModal() {
    QTimer::singleShot(0, [] {
        if (QWidget* m = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "a dialog opened";
            m->close();
        }
    });
}

void extractSelected(frmFendlemark& window) {
    window.*selCountSlot() = window.CountSelected();
    window.GoExtract = true;
    window.CheckExtractCabs();
    window.GoExtract = false;
    window.*selCountSlot() = 0;
}

} // namespace fm::test
