// Everyday actions with the real tool: opening rows (with a stand-in default application; needs
// an X server), nested cabinets, the test mode, the private folder, Test and Open as runs.

#include "extract/private_copies.h"
#include "support/window_tests.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QMessageBox>
#include <fcntl.h>
#include <sys/file.h>

namespace {

class Everyday : public ::testing::Test {
protected:
    Everyday() {
        for (const char* v : {"CACHE", "DATA", "CONFIG"})
            setenv((std::string("XDG_") + v + "_HOME").c_str(),
                   world.root.file("xdg/" + QString(v).toLower().toStdString()).c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "", 1);
        world.useRealTools(FM_PROGRAM_FOLDER);
        // The stand-in default application for plain text: it logs the path it was given.
        const std::string logger = world.root.file("xdg/logger.sh");
        writeFile(logger, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log() + "'\n");
        fs::permissions(logger, fs::perms::owner_all);
        writeFile(world.root.file("xdg/data/applications/fm-logger.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Logger\nExec=" + logger +
                      " %f\nMimeType=text/plain;\n");
        writeFile(world.root.file("xdg/config/mimeapps.list"),
                  "[Default Applications]\ntext/plain=fm-logger.desktop\n");
        plan.folders = {CabCompression::MsZip};
        plan.files = {cabFile("notes.txt", "the notes, line one\nline two\n"),
                      cabFile("NOTES.TXT", "the other notes\n"),
                      cabFile("docs\\guide.txt", "a guide\n"),
                      cabFile("blob.zzq", std::string(300, '\x01')),
                      cabFile("inner.cab", buildCabinet({{cabFile("inside.txt", "nested\n")}}))};
        writeCabinet(world.startFolder() + "/a.cab", plan);
    }
    ~Everyday() override {
        for (const char* v :
             {"XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CURRENT_DESKTOP"})
            unsetenv(v);
    }

    std::string log() const { return world.root.file("xdg/opened.log"); }
    std::string cacheRoot() const { return world.root.file("xdg/cache/fendlemark"); }

    frmFendlemark& listed() {
        frmFendlemark& w = world.loaded();
        w.show();
        clickRows(*w.File1, {0});
        EXPECT_EQ(w.lvwFiles->rowCount(), 5);
        return w;
    }
    int rowNamed(frmFendlemark& w, const QString& name) {
        for (int r = 1; r <= w.lvwFiles->rowCount(); ++r)
            if (w.lvwFiles->text(r) == name)
                return r;
        ADD_FAILURE() << name.toStdString();
        return 0;
    }
    void pressEnterOn(frmFendlemark& w, const std::vector<QString>& names) {
        std::vector<int> rows;
        for (const QString& n : names)
            rows.push_back(rowNamed(w, n) - 1);
        clickRows(*w.lvwFiles, rows);
        w.lvwFiles->setFocus();
        QTest::keyClick(w.lvwFiles, Qt::Key_Return);
    }

    WindowWorld world;
    CabPlan plan;
};

TEST_F(Everyday, EnterOpensEachRowsOwnRecordWithTheDefaultApplication) {
    if (QGuiApplication::platformName() != u"xcb")
        GTEST_SKIP() << "opening through xdg-open needs an X server (the desktop variant has one)";
    frmFendlemark& w = listed();
    pressEnterOn(w, {QStringLiteral("notes.txt"), QStringLiteral("NOTES.TXT"),
                     QStringLiteral("docs\\guide.txt")});
    // Three opens, each in a folder of its own in the private folder (without the stored
    // name's folders), each its own record's bytes.
    QStringList opened;
    for (int i = 0; i < 200 && opened.size() < 4; ++i, QTest::qWait(50))
        opened = fs::exists(log()) ? QString::fromStdString(readFile(log())).split(u'\n') : opened;
    ASSERT_EQ(opened.size(), 4) << "the stand-in application was not started three times";
    opened.removeLast();
    std::sort(opened.begin(), opened.end(), [](auto& a, auto& b) {
        return a.section(u'/', -1) > b.section(u'/', -1); // notes.txt, guide.txt, NOTES.TXT
    });
    EXPECT_EQ(readFile(opened[0].toStdString()), plan.files[0].data);
    EXPECT_EQ(readFile(opened[1].toStdString()), plan.files[2].data);
    EXPECT_EQ(readFile(opened[2].toStdString()), plan.files[1].data);
    for (const QString& o : opened) {
        EXPECT_TRUE(o.startsWith(QString::fromStdString(cacheRoot() + "/session-")))
            << o.toStdString();
        EXPECT_EQ(fs::status(o.section(u'/', 0, -2).toStdString()).permissions() & fs::perms::all,
                  fs::perms::owner_all);
    }
    EXPECT_NE(opened[0].section(u'/', 0, -2), opened[1].section(u'/', 0, -2));
    EXPECT_TRUE(world.prompt.shown.isEmpty()) << world.prompt.shown.join(u'|').toStdString();
    // A type no application is set for is said in plain words, and nothing is started.
    pressEnterOn(w, {QStringLiteral("blob.zzq")});
    EXPECT_TRUE(world.prompt.shown.value(0).contains(u"no application is set"));
    world.close(); // at the end the private copies go
    EXPECT_FALSE(fs::exists(opened[0].section(u'/', 0, -3).toStdString()));
}

TEST_F(Everyday, StaleSessionsGoAtStartLinksAndLiveOnesStay) {
    const std::string elsewhere = world.root.file("elsewhere");
    writeFile(elsewhere + "/precious", "keep me");
    writeFile(cacheRoot() + "/session-dead/copy-1/x.txt", "left by a crash");
    writeFile(cacheRoot() + "/session-live/copy-1/y.txt", "another program's");
    writeFile(cacheRoot() + "/notes", "not a session");
    fs::create_directory_symlink(elsewhere, cacheRoot() + "/session-link");
    const int live = ::open((cacheRoot() + "/session-live").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
    {
        PrivateCopies copies;
        EXPECT_FALSE(fs::exists(cacheRoot() + "/session-dead"));
        EXPECT_TRUE(fs::exists(cacheRoot() + "/session-live/copy-1/y.txt"));
        EXPECT_TRUE(fs::exists(cacheRoot() + "/notes"));
        EXPECT_EQ(readFile(elsewhere + "/precious"), "keep me");
        std::string why;
        const std::string folder = copies.newFolder(&why);
        ASSERT_FALSE(folder.empty()) << why;
        EXPECT_EQ(folder.rfind(copies.session() + "/copy-", 0), 0u);
        // Another program starting meanwhile leaves this live session alone.
        PrivateCopies other;
        EXPECT_TRUE(fs::exists(folder));
    }
    EXPECT_TRUE(fs::exists(cacheRoot() + "/session-link"));
    ::close(live);

    // A "fendlemark" cache folder that is a link is not used at all.
    fs::remove_all(cacheRoot());
    fs::create_directory_symlink(elsewhere, cacheRoot());
    PrivateCopies copies;
    std::string why;
    EXPECT_EQ(copies.newFolder(&why), "");
    EXPECT_NE(why.find("is a link"), std::string::npos) << why;
    EXPECT_EQ(fs::directory_iterator(elsewhere)->path().filename(), "precious");
}

TEST_F(Everyday, TestReportsEachDamagedCabinetsFirstBadFile) {
    writeCabinet(world.startFolder() + "/b.cab", {{cabFile("fine.txt", "fine")}});
    std::string bytes = buildCabinet(plan);
    // MSZIP data of the one folder: every file fails from the first.
    bytes[layoutOf(plan).firstDataBlock + 12] ^= 0x20;
    writeFile(world.startFolder() + "/c.cab", bytes);
    frmFendlemark& w = listed();
    clickRows(*w.File1, {1});
    w.mOptions->findChild<QAction*>(QStringLiteral("mTestCabs"))->trigger();
    ASSERT_EQ(world.prompt.shown.size(), 1);
    EXPECT_EQ(world.prompt.shown[0].toStdString(), "1 cabinet tested: all files intact.");

    clickRows(*w.File1, {0, 1, 2});
    QStringList texts;
    QTimer::singleShot(100, [&] { // the menu, once it is up
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu) << "no menu came up";
        for (QAction* a : menu->actions())
            texts << a->text().remove(u'&');
        menu->actions()[0]->trigger(); // Test
        menu->close();
    });
    w.File1->setFocus();
    QTest::keyClick(w.File1, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(texts.join(u'|').toStdString(), "Test|Open Containing Folder");
    ASSERT_EQ(world.prompt.shown.size(), 2);
    EXPECT_EQ(world.prompt.shown[1].toStdString(),
              "3 cabinets tested; 1 is damaged:\n\n" +
                  world.drivePath(world.startFolder()).toStdString() +
                  "\\c.cab:\n    notes.txt: damaged (bad checksum in a data block)");
    EXPECT_EQ(world.prompt.details[1], world.prompt.shown[1].section(QStringLiteral("\n\n"), 1));
    // Opening a damaged record fails in words; no application starts.
    clickRows(*w.File1, {2});
    pressEnterOn(w, {QStringLiteral("notes.txt")});
    ASSERT_EQ(world.prompt.shown.size(), 3);
    EXPECT_TRUE(world.prompt.shown[2].contains(u"damaged")) << world.prompt.shown[2].toStdString();
    EXPECT_FALSE(fs::exists(log()));
    // Fifteen damaged cabinets are all named, none counted as more.
    for (int i = 11; i < 25; ++i)
        writeFile(world.startFolder() + "/d" + std::to_string(i) + ".cab", bytes);
    w.File1->refresh();
    clickRows(*w.File1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    w.mOptions->findChild<QAction*>(QStringLiteral("mTestCabs"))->trigger();
    ASSERT_EQ(world.prompt.shown.size(), 4);
    EXPECT_TRUE(world.prompt.shown[3].startsWith(u"17 cabinets tested; 15 are damaged:"));
    EXPECT_FALSE(world.prompt.shown[3].contains(u"more")) << world.prompt.shown[3].toStdString();
}

TEST_F(Everyday, LongTestOrOpenWaitsAsARunDoesAndCancels) {
    for (const char* tool : {"/Cabarc1.exe", "/Cabarc2.exe"}) {
        fs::remove(world.programFolder() + tool);
        writeFile(world.programFolder() + tool, "#!/bin/sh\nexec sleep 60\n");
        fs::permissions(world.programFolder() + tool, fs::perms::owner_all);
    }
    frmFendlemark& w = listed();
    for (bool open : {false, true})
        for (int way = 0; way < 3; ++way) {
            SCOPED_TRACE(std::to_string(open) + " " + std::to_string(way));
            QString label;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (!w.isExtracting())
                    return;
                poll.stop();
                label = w.lblFiles->text();
                EXPECT_TRUE(QAccessible::queryAccessibleInterface(w.File1)->state().disabled);
                if (way == 0)
                    click(*w.cmdExtract);
                else if (way == 1)
                    QTest::keyClick(w.cmdExtract, Qt::Key_Escape);
                else
                    QAccessible::queryAccessibleInterface(w.cmdExtract)
                        ->actionInterface()
                        ->doAction(QAccessibleActionInterface::pressAction());
            });
            poll.start(100);
            QElapsedTimer took;
            took.start();
            if (open)
                pressEnterOn(w, {QStringLiteral("notes.txt")});
            else
                w.mOptions->findChild<QAction*>(QStringLiteral("mTestCabs"))->trigger();
            EXPECT_EQ(label.toStdString(),
                      open ? "Extracting: 0 of 1 cabinets…" : "Testing: 0 of 1 cabinets…");
            EXPECT_LT(took.elapsed(), 20000);
            EXPECT_EQ(world.prompt.shown.join(u'|').toStdString(),
                      open ? ""
                           : "The test was stopped before it finished: 0 of 1 cabinet tested.");
            world.prompt.shown.clear();
            EXPECT_TRUE(w.File1->isEnabled());
        }
}

TEST_F(Everyday, QuickTestsReportIsNotCoveredByAProgressWindow) {
    world.usePrompt = &world.boxes;
    frmFendlemark& w = listed();
    bool answered = false;
    QTimer poll; // the box comes after the test's own wait
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        QTest::qWait(700); // past the moment a late progress window would show
        EXPECT_EQ(QApplication::activeModalWidget(), box);
        EXPECT_EQ(box->text().toStdString(), "1 cabinet tested: all files intact.");
        QTest::keyClick(box, Qt::Key_Return);
        answered = true;
    });
    poll.start(50);
    w.mOptions->findChild<QAction*>(QStringLiteral("mTestCabs"))->trigger();
    EXPECT_TRUE(answered);
}

// Open and drag out refuse too many files or too many bytes; Open asks, No its default, past ten.
TEST_F(Everyday, OpenAndDragOutRefuseTooMuchAndOpenAsksPastTen) {
    CabPlan many;
    for (int i = 0; i < 20; ++i)
        many.files.push_back(cabFile("f" + std::to_string(100 + i) + ".txt", "x"));
    many.files.push_back(cabFile("huge.bin", "x"));
    many.files.back().declaredSize = 0x20000000;
    writeCabinet(world.startFolder() + "/many.cab", many);
    frmFendlemark& w = listed();
    clickRows(*w.File1, {1});
    ASSERT_EQ(w.lvwFiles->rowCount(), 21);
    clickRows(*w.lvwFiles, {0});
    QTest::keyClick(w.lvwFiles, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w.lvwFiles, Qt::Key_Return);
    clickRows(*w.lvwFiles, {rowNamed(w, QStringLiteral("huge.bin")) - 1});
    QTest::keyClick(w.lvwFiles, Qt::Key_Return);
    clickRows(*w.lvwFiles, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    QTest::keyClick(w.lvwFiles, Qt::Key_Return); // the scripted box answers its default
    ASSERT_EQ(world.prompt.shown.size(), 3) << world.prompt.shown.join(u'|').toStdString();
    EXPECT_TRUE(world.prompt.shown[0].startsWith(u"Too much to open at once: 21 files"));
    EXPECT_TRUE(world.prompt.shown[1].startsWith(u"Too much to open at once: 1 file,"));
    EXPECT_TRUE(world.prompt.shown[1].endsWith(u"Use Extract instead."));
    EXPECT_TRUE(world.prompt.shown[2].startsWith(u"Open all 11 selected files?"));
    EXPECT_EQ(w.findChild<PrivateCopies*>()->session(), "") << "nothing was copied";
    clickRows(*w.lvwFiles, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    QTest::keyClick(w.lvwFiles, Qt::Key_Return);
    EXPECT_NE(w.findChild<PrivateCopies*>()->session(), "") << "ten open without a question";
    // Dragging the huge one out is refused too (a release ends a drag that would have begun).
    const QModelIndex huge =
        w.lvwFiles->model()->index(rowNamed(w, QStringLiteral("huge.bin")) - 1, 0);
    clickRows(*w.lvwFiles, {huge.row()});
    QWidget* port = w.lvwFiles->viewport();
    const QPoint from = w.lvwFiles->visualRect(huge).center(), to = from + QPoint(0, 40);
    QTest::mousePress(port, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, port->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     {});
    QTimer release; // stops with the test
    release.callOnTimeout([&] { QTest::mouseRelease(port, Qt::LeftButton, {}, to); });
    release.start(300);
    QApplication::sendEvent(port, &move); // the first move makes it a drag, the next begins it
    QApplication::sendEvent(port, &move);
    EXPECT_TRUE(world.prompt.shown.back().startsWith(u"1 files (512.00 MiB) are too many to drag"))
        << world.prompt.shown.back().toStdString();
}

// A cabinet in a cabinet in a cabinet, opened with Enter and left with Backspace, Alt+Left and
// File > Back: each level has its title, and back restores the view left.
TEST_F(Everyday, NestedViewsGoBackOneLevelAtATime) {
    using namespace Qt::StringLiterals;
    plan.files.back() = cabFile(
        "inner.cab",
        buildCabinet({{cabFile("inside.txt", "nested text\n"),
                       cabFile("deep.cab", buildCabinet({{cabFile("deep.txt", "deepest\n")}}))}}));
    writeCabinet(world.startFolder() + "/a.cab", plan);
    frmFendlemark& w = listed();
    QTest::keyClick(&w, Qt::Key_2, Qt::ControlModifier); // by size
    const QString outer = w.Dir1->path(), a = u"a.cab"_s, in = u"a.cab \u203A inner.cab"_s;
    const auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) {
        w.lvwFiles->setFocus();
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };
    const auto expectView = [&](const QString& title, const QString& folder, const QString& cab,
                                const QString& row) {
        EXPECT_EQ(w.windowTitle(), title.isEmpty() ? u"Fendlemark"_s : title + u" - Fendlemark"_s);
        EXPECT_EQ(w.findChild<QAction*>("mBack")->isEnabled(), !title.isEmpty());
        EXPECT_EQ(w.Dir1->path(), folder);
        ASSERT_TRUE(w.File1->selected(0));
        EXPECT_EQ(w.File1->list(0), cab);
        const std::vector<bool> rows = w.lvwFiles->selectionFlags();
        EXPECT_EQ(std::count(rows.begin(), rows.end(), true), row.isEmpty() ? 0 : 1);
        if (!row.isEmpty()) {
            EXPECT_TRUE(w.lvwFiles->selected(rowNamed(w, row)));
        }
    };
    pressEnterOn(w, {QStringLiteral("inner.cab")});
    const QString middle = w.Dir1->path();
    expectView(in, middle, u"inner.cab"_s, {});
    QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier); // by name in here
    pressEnterOn(w, {QStringLiteral("deep.cab")});
    expectView(in + u" \u203A deep.cab"_s, w.Dir1->path(), u"deep.cab"_s, {});
    EXPECT_EQ(w.lblFiles->toolTip(), in + u" \u203A deep.cab"_s);
    key(Qt::Key_Backspace);
    expectView(in, middle, u"inner.cab"_s, u"deep.cab"_s);
    key(Qt::Key_Left, Qt::AltModifier);
    expectView({}, outer, a, u"inner.cab"_s);
    EXPECT_EQ(w.lvwFiles->sortKey(), 4); // still by size
    EXPECT_TRUE(w.lblFiles->toolTip().isEmpty());
    key(Qt::Key_Backspace); // nothing to go back to
    expectView({}, outer, a, u"inner.cab"_s);
    pressEnterOn(w, {QStringLiteral("inner.cab")});
    QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_B);
    expectView({}, outer, a, u"inner.cab"_s);

    // Extracted in the deepest view, the files go beside the outermost real file; no private
    // folder is kept in the settings.
    pressEnterOn(w, {QStringLiteral("inner.cab")});
    pressEnterOn(w, {QStringLiteral("deep.cab")});
    QString shown;
    onNextModal<frmExtractTo>([&](frmExtractTo& d) {
        shown = d.tbSetFolder->text();
        click(*d.cmdExtractEnter);
    });
    click(*w.cmdExtract);
    EXPECT_EQ(shown, world.drivePath(world.startFolder() + "/deep Extracted"));
    EXPECT_EQ(w.lblFiles->text(), u"1 files extracted.");
    world.close();
    EXPECT_EQ(readFile(world.startFolder() + "/deep Extracted/deep.txt"), "deepest\n");
    const std::string ini = readFile(world.iniPath());
    EXPECT_EQ(ini.find(world.drivePath(cacheRoot()).toStdString()), std::string::npos) << ini;
    EXPECT_NE(ini.find("InitialPath=" + outer.toStdString() + "\n"), std::string::npos) << ini;
}

} // namespace
