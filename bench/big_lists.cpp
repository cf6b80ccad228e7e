// Big lists in the real main window, each case in a process of its own so that its peak memory
// (the maximum resident set) is its own, beside the bare libmspack directory read of the same
// cabinets:
//
//   bench_big_lists [rounds]          every case, `rounds` times each (default 3), medians shown
//   bench_big_lists --case NAME DIR   one case (what the driver runs)
//
// Cases: Select All over 10,000 cabinets x 30 files (300,000 rows) and over 200 cabinets x 10,000
// files (2,000,000 rows), with the bare read of each set; sorting the 300,000 rows by each
// column (a header click, the first ascending, the second descending); Select Matching Rows over
// them, with a plain pattern and with a long part after a star. Each window case's time runs from
// the click until the view has taken the rows and painted. bench/big_lists.sh runs this on its own
// X server with the accessibility bridge on, as a user with a screen reader runs the program. The
// cabinets are written once into $FM_BENCH_CABS (default: fendlemark-big-lists in the temporary
// folder) and reused.

#include "app/main_window.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "platform/working_folder.h"
#include "support/cab_writer.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mspack.h>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace fm;
using namespace fm::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct CabinetSet {
    const char* name;
    int cabinets;
    int files;
};
constexpr CabinetSet kMany{"many", 10000, 30};
constexpr CabinetSet kBig{"big", 200, 10000};
constexpr const char* kLayout = "layout 1\n"; // bump when the cabinets below change

// Names, sizes and dates as driver stores and update packages hold them: folders, a few
// extensions (one in ten an .inf), sizes from 0 to a few MB, dates over 25 years.
void writeSet(const fs::path& folder, const CabinetSet& set) {
    static const char* const kExt[] = {".inf", ".sys", ".dll", ".cat", ".exe",
                                       ".dll", ".sys", ".dat", ".txt", ".ini"};
    fs::create_directories(folder);
    for (int c = 0; c < set.cabinets; ++c) {
        CabPlan plan;
        plan.files.reserve(static_cast<size_t>(set.files));
        for (int f = 0; f < set.files; ++f) {
            const unsigned mix = static_cast<unsigned>(c * 7919 + f * 104729);
            CabFilePlan file;
            file.name = "pkg" + std::to_string(c % 97) + "\\amd64\\Drv" + std::to_string(f) + "_" +
                        std::to_string(mix % 1000) + kExt[f % 10];
            file.data = std::string(mix % 24, 'x');
            // The directory is all a listing reads, so the records claim sizes the data lacks.
            file.declaredSize = mix % 3000000;
            file.date = dosDate(1998 + static_cast<int>(mix % 25), 1 + static_cast<int>(mix % 12),
                                1 + static_cast<int>(mix % 28));
            plan.files.push_back(std::move(file));
        }
        char name[32];
        std::snprintf(name, sizeof name, "cab%05d.cab", c);
        writeCabinet((folder / name).string(), plan);
    }
}

fs::path cabinetsFor(const CabinetSet& set) {
    const char* env = std::getenv("FM_BENCH_CABS");
    const fs::path root =
        env && *env ? fs::path(env) : fs::temp_directory_path() / "fendlemark-big-lists";
    const fs::path folder = root / set.name;
    const fs::path stamp = root / (std::string(set.name) + ".done");
    std::ifstream in(stamp);
    std::string line;
    if (std::getline(in, line) && line + "\n" == kLayout)
        return folder;
    std::fprintf(stderr, "Writing %d cabinets of %d files into %s ...\n", set.cabinets, set.files,
                 folder.c_str());
    fs::remove_all(folder);
    writeSet(folder, set);
    std::ofstream(stamp) << kLayout;
    return folder;
}

long peakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A step's start: wall clock and this process's processor time (the machine may be busy with
// other work; the processor time says what the step itself cost).
struct Start {
    Clock::time_point wall = Clock::now();
    double cpu = cpuSeconds();
};

// One result line per measured step: "<step> <wall s> <cpu s> <rows>"; the peak ends the output.
void report(const std::string& step, const Start& t0, long rows) {
    std::printf("%s %.4f %.4f %ld\n", step.c_str(),
                std::chrono::duration<double>(Clock::now() - t0.wall).count(),
                cpuSeconds() - t0.cpu, rows);
}

int bareRead(const fs::path& folder) {
    std::vector<std::string> paths;
    for (const auto& e : fs::directory_iterator(folder))
        paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    const Start t0;
    mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
    long files = 0;
    for (const std::string& p : paths) {
        if (mscabd_cabinet* cab = d->open(d, p.c_str())) {
            for (mscabd_file* f = cab->files; f; f = f->next)
                ++files;
            d->close(d, cab);
        }
    }
    mspack_destroy_cab_decompressor(d);
    report("read", t0, files);
    return 0;
}

// Lets the view take queued rows and paint.
void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

void clickHeader(ListView& list, int section) {
    QHeaderView* h = list.header();
    const QPoint at(h->sectionViewportPosition(section) + h->sectionSize(section) / 2,
                    h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
}

int windowCase(const std::string& name, const fs::path& folder) {
    WindowWorld world;
    if (!SetCurrentWorkingFolder(folder.string()))
        return 2;
    frmFendlemark& win = world.loaded();
    win.show();
    if (!QTest::qWaitForWindowExposed(&win))
        return 2;
    settle();
    ListView& list = *win.lvwFiles;

    Start t0;
    QTest::mouseClick(win.ckSelAllCabs, Qt::LeftButton, {},
                      QPoint(6, win.ckSelAllCabs->height() / 2));
    settle();
    report("select-all", t0, list.rowCount());
    if (!win.lblFiles->text().startsWith(QString::number(list.rowCount()) + " files:"))
        return 3;

    if (name == "sort") {
        for (int section = 0; section < 3; ++section) {
            for (const char* way : {"asc", "desc"}) {
                t0 = Start();
                clickHeader(list, section);
                settle();
                report(
                    "sort-" +
                        list.model()->headerData(section, Qt::Horizontal).toString().toStdString() +
                        "-" + way,
                    t0, list.rowCount());
            }
        }
    } else if (name == "match" || name == "match-slow") {
        // Ctrl+F, then the pattern typed into the dialog and Enter. The slow one: a long part
        // after a star, the worst case of a simple backtracking matcher.
        const QString pattern =
            name == "match" ? QStringLiteral("*.inf") : u'*' + QString(127, u'a') + u'b';
        QApplication::setActiveWindow(&win); // no window manager here to activate it
        QTimer::singleShot(0, [pattern] {
            QWidget* ask = QApplication::activeModalWidget();
            auto* edit = ask ? ask->findChild<QLineEdit*>() : nullptr;
            if (!edit)
                return;
            edit->selectAll();
            QTest::keyClicks(edit, pattern);
            QTest::keyClick(edit, Qt::Key_Return);
        });
        t0 = Start();
        QTest::keyClick(&list, Qt::Key_F, Qt::ControlModifier);
        settle();
        report(name == "match" ? "select-matching" : "select-matching-slow", t0,
               list.selectedCount());
    }
    win.close();
    return 0;
}

int runCase(const std::string& name, const fs::path& folder) {
    if (name == "read")
        return bareRead(folder);
    int argc = 1;
    char arg0[] = "bench_big_lists";
    char* argv[] = {arg0, nullptr};
    QApplication app(argc, argv);
    const int rc = windowCase(name, folder);
    std::fflush(stdout);
    return rc;
}

struct Figures {
    std::map<std::string, std::vector<double>> seconds, cpu;
    std::map<std::string, long> rows;
    std::vector<long> peakKiB;
};

// Runs one case in a child process and collects its lines.
bool runChild(const std::string& self, const std::string& name, const fs::path& folder,
              Figures& out) {
    const std::string command = "'" + self + "' --case " + name + " '" + folder.string() + "'";
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return false;
    char line[512];
    while (std::fgets(line, sizeof line, child)) {
        char step[128];
        double seconds = 0, cpu = 0;
        long rows = 0;
        if (std::sscanf(line, "peak %ld", &rows) == 1) {
            out.peakKiB.push_back(rows);
        } else if (std::sscanf(line, "%127s %lf %lf %ld", step, &seconds, &cpu, &rows) == 4) {
            out.seconds[step].push_back(seconds);
            out.cpu[step].push_back(cpu);
            out.rows[step] = rows;
        }
    }
    return pclose(child) == 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int drive(const std::string& self, int rounds) {
    struct Case {
        const char* title;
        const char* name;
        const CabinetSet* set;
    };
    const Case cases[] = {
        {"bare libmspack read, 10,000 x 30", "read", &kMany},
        {"window, 10,000 x 30", "list", &kMany},
        {"window, 10,000 x 30, then sorts", "sort", &kMany},
        {"window, 10,000 x 30, then Select Matching *.inf", "match", &kMany},
        {"window, 10,000 x 30, then Select Matching *a{127}b", "match-slow", &kMany},
        {"bare libmspack read, 200 x 10,000", "read", &kBig},
        {"window, 200 x 10,000", "list", &kBig},
    };
    std::map<const CabinetSet*, fs::path> folders;
    for (const CabinetSet* set : {&kMany, &kBig})
        folders[set] = cabinetsFor(*set);
    std::printf("%-50s %-20s %8s %8s %8s %9s\n", "case", "step", "rows", "wall s", "cpu s",
                "peak MiB");
    for (const Case& c : cases) {
        Figures f;
        for (int r = 0; r < rounds; ++r) {
            if (!runChild(self, c.name, folders[c.set], f)) {
                std::printf("%-52s FAILED\n", c.title);
                return 1;
            }
        }
        const double peak =
            static_cast<double>(*std::max_element(f.peakKiB.begin(), f.peakKiB.end())) / 1024.0;
        for (const auto& [step, secs] : f.seconds)
            std::printf("%-50s %-20s %8ld %8.3f %8.3f %9.1f\n", c.title, step.c_str(), f.rows[step],
                        median(secs), median(f.cpu[step]), peak);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--case") {
        const int rc = runCase(argv[2], argv[3]);
        std::printf("peak %ld\n", peakKiB());
        return rc;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    return drive(fs::read_symlink("/proc/self/exe").string(), rounds);
}
