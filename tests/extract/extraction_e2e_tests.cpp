// The whole program with the real tool, driven through its controls, files compared byte for byte.

#include "support/window_tests.h"

namespace {

// Path below `root` ('/' separated) -> content, "/" for a folder; cabinets left out.
std::map<std::string, std::string> treeBelow(const std::string& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.path().extension() != ".cab")
            out[fs::relative(e.path(), root).string()] =
                e.is_directory() ? "/" : readFile(e.path().string());
    return out;
}

// "path=content path=content ..." as pairs of bytes, in order.
std::vector<std::pair<std::string, std::string>> pairs(const char* text) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const QByteArray& w : QByteArray(text).split(' '))
        if (!w.isEmpty())
            out.emplace_back(w.left(w.indexOf('=')).toStdString(),
                             w.mid(w.indexOf('=') + 1).toStdString());
    return out;
}

// The real tool with a TMPDIR that names a missing folder: no part of a run may need it.
class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        world.useRealTools(FM_PROGRAM_FOLDER);
        setenv("TMPDIR", world.root.file("missing").c_str(), 1);
    }
    ~EndToEnd() override { unsetenv("TMPDIR"); }

    WindowWorld world;
};

} // namespace

// Per case: rows clicked (none: all files), the rule and "Preserve Path" chosen in the dialog, the
// answer to "exist already" given; the destination holds exactly the chosen records and the user's
// kept files. Names are read as code page 932 ("\x95\x5C" ends in a backslash byte); a record that
// leaves the cabinet after listing fails alone.
TEST_F(EndToEnd, EachChosenRowGivesExactlyItsOwnRecord) {
    const char *stars = "a*=star abc=abc axe=axe", *twins = "readme.txt=top x/readme.txt=x",
               *jp = "\x95\x5C\\\x83\x65\x83\x58.txt=t \x82\xA0\xFF=a";
    const struct Case {
        const char* files; // name=content, as stored
        std::vector<int> rows;
        int preserve;
        const char *mine, *expected; // the destination's files before and after
        Existing answer;
        int written;
        bool gone = false; // the last record removed after listing
        std::string mode = "obSetFolder";
    } cases[] = {
        {stars, {0}, 0, "abc=mine", "a*=star abc=mine", {}, 1},
        {"README.TXT=up readme.txt=low", {1}, 0, "", "readme.txt=low", {}, 1},
        {"DOCS\\a.txt=up docs\\a.txt=low", {0}, 1, "", "DOCS=/ DOCS/a.txt=up", {}, 1},
        {twins, {0}, 0, "", "readme.txt=top", {}, 1},
        {twins, {1}, 1, "", "x=/ x/readme.txt=x", {}, 1},
        {"tail\\=t ok.txt=ok", {0, 1}, 0, "", "tail=t ok.txt=ok", {}, 2},
        {stars, {}, 0, "abc=mine", "a*=star abc=abc axe=axe", Existing::Replace, 3},
        {stars, {}, 0, "abc=mine", "a*=star abc=mine axe=axe", Existing::Skip, 2},
        {stars, {}, 0, "abc=/", "a*=star abc=/ axe=axe", Existing::Skip, 2}, // a folder is kept
        {stars, {}, 0, "abc=mine", "abc=mine", Existing::Cancel, -1},
        {"d\\a.txt=a b.txt=b", {}, 1, "", "d=/ d/a.txt=a b.txt=b", {}, 2, false, "obSameFolder"},
        {"d\\a.txt=a b.txt=b", {0}, 0, "", "a.txt=a", {}, 1, false, "obSamePlus"},
        {jp, {}, 1, "", "\u8868=/ \u8868/\u30C6\u30B9.txt=t \u3042\uFFFD=a", {}, 2},
        {"a.txt=a b.txt=b c.txt=c", {1, 2}, 0, "", "b.txt=b", {}, 1, true}, // not all: records
    };
    frmFendlemark& win = world.loaded();
    win.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&win));
    QTest::keyClick(&win, Qt::Key_O, Qt::AltModifier);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_N);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_9);
    int caseNo = 0;
    for (const Case& c : cases) {
        const std::string root = world.startFolder() + "/case " + std::to_string(++caseNo);
        const std::string dest = root + (c.mode == "obSetFolder"  ? "/out"
                                         : c.mode == "obSamePlus" ? "/c Extracted"
                                                                  : "");
        SCOPED_TRACE(root);
        CabPlan plan;
        for (const auto& [name, data] : pairs(c.files))
            plan.files.push_back(cabFile(name, data));
        writeCabinet(root + "/c.cab", plan);
        for (const auto& [name, data] : pairs(c.mine))
            data == "/" ? (void)fs::create_directories(root + "/out/" + name)
                        : writeFile(root + "/out/" + name, data);
        win.Dir1->setPath(world.drivePath(root));
        clickRows(*win.File1, {0});
        clickRows(*win.lvwFiles, c.rows);
        if (c.gone) {
            plan.files.pop_back();
            writeCabinet(root + "/c.cab", plan);
        }
        world.prompt.shown.clear();
        world.prompt.choices = {c.answer};
        onNextModal<frmExtractTo>([&](frmExtractTo& d) {
            click(*d.findChild<QRadioButton*>(QString::fromStdString(c.mode)));
            if (d.obSetFolder->isChecked()) {
                QTest::keyClick(d.tbSetFolder, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClicks(d.tbSetFolder, world.drivePath(dest));
            }
            if (d.ckPreservePath->value() != c.preserve)
                click(*d.ckPreservePath);
            click(*d.cmdExtractEnter);
        });
        click(*win.cmdExtract);
        const auto expected = pairs(c.expected);
        EXPECT_EQ(treeBelow(dest),
                  (std::map<std::string, std::string>(expected.begin(), expected.end())));
        // Asked only when a file the run writes is there: all of the cabinet with the user's abc.
        EXPECT_EQ(world.prompt.shown.size(), (c.rows.empty() && *c.mine) || c.gone ? 1 : 0);
        if (c.gone) {
            EXPECT_EQ(world.prompt.shown.value(0).section(u'\n', 2, 2),
                      world.drivePath(root + "/c.cab") + ':');
        }
        if (c.written >= 0) {
            EXPECT_EQ(win.lblFiles->text().toStdString(),
                      std::to_string(c.written) + " files extracted" +
                          (c.answer == Existing::Skip ? ", 1 kept."
                           : c.gone                   ? ", 1 not extracted."
                                                      : "."));
            EXPECT_GE(win.lblFiles->width(), // read in full, not cut off
                      win.lblFiles->fontMetrics().horizontalAdvance(win.lblFiles->text()));
        }
    }
}

// Look Inside on: stubs with no, one and two cabinets, an update package and a wixl package list
// what cabextract finds; first and last rows extract beside them as cabextract writes them.
TEST_F(EndToEnd, CabinetsInsideInstallersListAndExtractBesideThem) {
    const std::string dir = world.startFolder() + "/setups";
    const std::string stub = "MZ" + std::string(98, '\0') + "MSCF" + std::string(3992, '\1');
    std::string noise;
    for (size_t i = 0; i < 100000; ++i)
        noise += static_cast<char>((i * 2654435761u) >> 13);
    const CabPlan one{{cabFile("read me.txt", "first"), cabFile("docs\\deep\\noise.bin", noise)},
                      {CabCompression::MsZip}},
        two{{cabFile("a.txt", "aaa"), cabFile("sub dir\\b.txt", "bbb")}},
        bees{{cabFile("b1.txt", "bee"), cabFile("b2.txt", "buzz")}, {CabCompression::MsZip}};
    writeFile(dir + "/junk.exe", stub);
    writeFile(dir + "/setup.exe", stub + buildCabinet(one));
    writeFile(dir + "/two.exe", stub + buildCabinet(two) + buildCabinet(bees));
    writeCabinet(dir + "/update.msu", CabPlan{{cabFile("Windows-KB1.CAB", buildCabinet(two)),
                                               cabFile("update.xml", "<unattend/>")}});
    const bool wixl = std::system("command -v wixl >/dev/null") == 0;
    if (wixl) {
        writeFile(dir + "/w/a.txt", "alpha");
        writeFile(dir + "/w/b.txt", std::string(5000, 'b'));
        writeFile(dir + "/w/p.wxs",
                  "<Wix xmlns='http://schemas.microsoft.com/wix/2006/wi'><Product Id='*' Name='P' "
                  "Language='1033' Version='1.0' Manufacturer='M' UpgradeCode='12345678-1234-1234-"
                  "1234-123456789012'><Package Compressed='yes'/><Media Id='1' Cabinet='Cab1.cab' "
                  "EmbedCab='yes'/><Directory Id='TARGETDIR' Name='SourceDir'><Component Id='C' "
                  "Guid='11111111-2222-3333-4444-555555555555'><File Id='A' Source='a.txt'/><File "
                  "Id='B' Source='b.txt'/></Component></Directory><Feature Id='F' Level='1'>"
                  "<ComponentRef Id='C'/></Feature></Product></Wix>");
        ASSERT_EQ(std::system(("cd '" + dir + "/w' && wixl -o ../product.msi p.wxs").c_str()), 0);
    }
    frmFendlemark& win = world.loaded();
    win.show();
    win.Dir1->setPath(world.drivePath(dir));
    EXPECT_EQ(win.File1->listCount(), 0); // off: not listed
    ASSERT_TRUE(QTest::qWaitForWindowActive(&win));
    QTest::keyClick(&win, Qt::Key_O, Qt::AltModifier);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_L);
    QStringList listed;
    for (int i = 0; i < win.File1->listCount(); ++i)
        listed << win.File1->list(i);
    EXPECT_EQ(listed.join(u' '),
              QStringLiteral("product.msi setup.exe two.exe update.msu").mid(wixl ? 0 : 12));
    win.StgExtrPreservePath = 1;
    for (int i = 0; i < win.File1->listCount(); ++i) {
        const std::string name = win.File1->list(i).toStdString(), ref = dir + "/ref " + name;
        SCOPED_TRACE(name);
        ASSERT_EQ(
            std::system(("cabextract -q -d '" + ref + "' '" + dir + "/" + name + "'").c_str()), 0);
        std::map<std::string, std::string> files;
        for (const auto& [path, data] : treeBelow(ref))
            if (data != "/")
                files[path] = data;
        clickRows(*win.File1, {i});
        QStringList rows = columnTexts(*win.lvwFiles).replaceInStrings("\\", "/");
        rows.sort();
        QStringList expected;
        for (const auto& [path, data] : files)
            expected << QString::fromStdString(path);
        EXPECT_EQ(rows, expected);
        const int last = win.lvwFiles->rowCount() - 1;
        clickRows(*win.lvwFiles, {0, last});
        extractSelected(win);
        std::map<std::string, std::string> chosen;
        for (int row : {1, last + 1}) {
            const std::string path = win.lvwFiles->text(row).replace("\\", "/").toStdString();
            chosen[path] = files[path];
        }
        std::map<std::string, std::string> out;
        for (const auto& [path, data] :
             treeBelow(dir + "/" + name.substr(0, name.size() - 4) + " Extracted"))
            if (data != "/")
                out[path] = data;
        EXPECT_EQ(out, chosen);
        if (name == "two.exe") {
            EXPECT_NE(win.lvwFiles->subItem(1, 3), win.lvwFiles->subItem(last + 1, 3));
        }
    }
    world.close();
    EXPECT_NE(readFile(world.iniPath()).find("LookInside=1"), std::string::npos);
    if (!wixl)
        GTEST_SKIP() << "wixl is not installed: the .msi case did not run";
}

// The five parts of a spanned set one after another in a program stub, Look Inside turned on
// from the keyboard: each file is listed once, from the part it starts in, and all of them
// (those continued across parts too) extract byte for byte as cabextract writes the set.
TEST_F(EndToEnd, SpannedSetInsideOneFileIsOneSet) {
    const std::string shared = sharedDir(), dir = world.startFolder() + "/spanned";
    if (shared.empty())
        GTEST_SKIP() << "the shared folder with real cabinets is absent";
    std::string exe = "MZ" + std::string(510, '\0');
    for (int i = 1; i <= 5; ++i)
        exe += readFile(shared + "/cabs/split-" + std::to_string(i) + ".cab");
    writeFile(dir + "/setup.exe", exe);
    ASSERT_EQ(std::system(
                  ("cabextract -q -d '" + dir + "/ref' '" + shared + "/cabs/split-1.cab'").c_str()),
              0);
    const std::map<std::string, std::string> files = treeBelow(dir + "/ref");
    frmFendlemark& win = world.loaded();
    win.show();
    win.Dir1->setPath(world.drivePath(dir));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&win));
    QTest::keyClick(&win, Qt::Key_O, Qt::AltModifier);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_L);
    clickRows(*win.File1, {0});
    QStringList rows = columnTexts(*win.lvwFiles), expected;
    rows.sort();
    for (const auto& [path, data] : files)
        expected << QString::fromStdString(path);
    EXPECT_EQ(rows, expected);
    clickRows(*win.lvwFiles, {0, win.lvwFiles->rowCount() - 1}, Qt::ShiftModifier);
    extractSelected(win);
    EXPECT_EQ(treeBelow(dir + "/setup Extracted"), files);
}
